// Fonts by compound name: "<points>.<face> [Bold] [Italic] [Underline]
// [Strikeout]", e.g. "10.Tahoma Bold Italic" or "8.Arial".
//
// Faces are matched to the installed fonts through a short substitution
// table (common Windows faces to DejaVu), so a missing face still gives a
// font of the asked size and style. Symbol faces (the arrow and check glyphs
// of "Marlett") have no installed font: their letters are drawn as the
// matching Unicode symbols (mapSymbolText).
#pragma once

#include "platform/runtime/object.h"

#include <QFont>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace gui {

struct CompoundName {
    double points = 0;  // 0 when the name has no size
    std::string face;   // as written, style words removed
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};
// Splits a compound name; the style words are matched without regard to
// case at the end of the name. Never fails: "" gives an empty face.
[[nodiscard]] CompoundName parseCompoundName(std::string_view name);
// The QFont of a compound name: the face or its substitute, the point size
// (default: the application font's), the styles. A symbol face keeps its
// name in QFont::family() so drawing code can recognise it.
[[nodiscard]] QFont fontFromCompoundName(std::string_view name);
// The compound name of a font: "10.DejaVu Sans Bold".
[[nodiscard]] std::string compoundNameOf(const QFont& f);

// True for a symbol face whose letters mapSymbolText turns into symbols.
[[nodiscard]] bool isSymbolFont(const QFont& f);
// The text to draw for `text` in font `f`: unchanged for ordinary fonts;
// for a symbol face each mapped letter becomes its Unicode symbol
// ("t" up triangle, "u" down triangle, "a" check mark, ...).
[[nodiscard]] QString mapSymbolText(const QFont& f, const QString& text);
// The font to draw a symbol face's mapped text with (DejaVu Sans at the
// same size); `f` itself for an ordinary font.
[[nodiscard]] QFont drawingFont(const QFont& f);

// XbpFont: a font object. new(oPS), then create(cCompoundName) or
// configure(cCompoundName); members compoundName, familyName,
// nominalPointSize, bold, italic, underscore, strikeOut, height, width
// (average character), baseLine (descent) and fixed.
class XbpFont : public rt::Object {
public:
    XbpFont();
    explicit XbpFont(const QFont& f);
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    rt::Value init(rt::Args a);
    rt::Value create(rt::Args a);  // create([cCompoundName])
    rt::Value configure(rt::Args a);
    rt::Value destroy();

    [[nodiscard]] const QFont& font() const noexcept { return font_; }
    void setFont(const QFont& f);
    [[nodiscard]] rt::Value self() { return rt::Value(static_cast<rt::Object*>(this)); }

    rt::Value ps;  // the presentation space given to new, if any
    rt::Value compoundName;
    int status = 0;

private:
    QFont font_;
};

// The XbpFont behind a value, or null.
[[nodiscard]] XbpFont* asFont(const rt::Value& v);
// A font value: an XbpFont object or a compound name; nullopt otherwise.
[[nodiscard]] std::optional<QFont> fontOf(const rt::Value& v);

}  // namespace gui
