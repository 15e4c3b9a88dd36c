// The font dialogs are laid out with, and a text row and column in pixels.
// Elements and the reader both size themselves by these.
#include "platform/dialog/dialog.h"

#include "platform/gui/font.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace dlg {

namespace {

constexpr const char* kDialogFont = "9.Tahoma";
// An entry field's frame and inner margin, above and below its text: a row
// is as high as an entry field, so entries on consecutive rows do not overlap.
constexpr int kEntryFramePx = 6;

struct Metrics {
    int row;
    int col;
};

// A column is the average width of the letters, rounded up, plus a pixel:
// a caption of n characters then fits in n columns even when wide letters
// crowd it ("NumberPort:" before an entry ten columns in), where fonts' own
// average width is narrower than mixed-case text.
const Metrics& metrics()
{
    static const Metrics m = [] {
        const QFontMetricsF fm(dialogFont());
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        const int col = int(std::ceil(fm.horizontalAdvance(letters) / letters.size())) + 1;
        return Metrics{int(std::ceil(fm.lineSpacing())) + kEntryFramePx, std::max(1, col)};
    }();
    return m;
}

}  // namespace

const QFont& dialogFont()
{
    static const QFont font = gui::fontFromCompoundName(kDialogFont);
    return font;
}

double rowPixels() { return metrics().row; }
double colPixels() { return metrics().col; }

}  // namespace dlg
