// Pictures: XbpBitmap and XbpIcon, and the table of built-in images that
// resource numbers name.
//
// Both load BMP, JPG, PNG, GIF and ICO files (the format is told by the
// content, not the file name) and draw scaled into a rectangle of a
// presentation space. A file that is missing, unreadable or not a picture
// raises a runtime error naming the file and the reason.
#pragma once

#include "platform/runtime/object.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <array>
#include <optional>

namespace gui {

class XbpPS;

// Built-in resource numbers (load(NIL, nId) and numeric captions).
namespace res {
constexpr int SortAscend = 100;   // small up triangle
constexpr int SortDescend = 101;  // small down triangle
constexpr int CheckMark = 102;    // check mark
constexpr int BoxUnchecked = 103; // empty check box
constexpr int BoxChecked = 104;   // ticked check box
constexpr int Cross = 105;        // cross (delete, close)
constexpr int ArrowRight = 106;   // current-row marker
}  // namespace res

// The image of a resource number, or nullopt when no such resource exists.
[[nodiscard]] std::optional<QImage> resourceImage(int id);
// Adds or replaces a resource (the application's own pictures).
void registerResource(int id, const QImage& image);

// Raster operations of draw(); others draw as SrcCopy.
namespace rop {
constexpr int SrcCopy = 0xCC0020;    // 13369376
constexpr int SrcPaint = 0xEE0086;   // source OR destination
constexpr int SrcAnd = 0x8800C6;     // source AND destination
constexpr int SrcInvert = 0x660046;  // source XOR destination
}  // namespace rop

// Reads a picture file; `want` picks the closest image of an icon file
// holding several sizes. Raises a runtime error ("op" names the caller).
[[nodiscard]] QImage readImageFile(const QString& path, const char* op, QSize want = {});

// Draws `img` (the part `source` of it, in image coordinates with y upwards;
// all of it when source is null) into the platform rectangle target
// {x1, y1, x2, y2} of `ps`, scaled. False when the PS is not drawing.
bool drawImage(XbpPS& ps, const QImage& img, const std::array<double, 4>& target,
               const std::optional<std::array<double, 4>>& source = std::nullopt, int rasterOp = rop::SrcCopy);

class XbpPicture : public rt::Object {
public:
    [[nodiscard]] rt::Value self() { return rt::Value(static_cast<rt::Object*>(this)); }
    [[nodiscard]] const QImage& image() const noexcept { return image_; }
    void setImage(QImage img) { image_ = std::move(img); }
    [[nodiscard]] int xSize() const noexcept { return image_.width(); }
    [[nodiscard]] int ySize() const noexcept { return image_.height(); }

    rt::Value create(rt::Args a);
    rt::Value destroy();
    // loadFile(cFile [, nWidth, nHeight]): true; raises on a bad file.
    rt::Value loadFile(rt::Args a, const char* op);
    // load(cDll, nId [, nWidth, nHeight]): a built-in resource; false when unknown.
    rt::Value load(rt::Args a);

    rt::Value ps, cargo;
    int status = 0;

protected:
    static void registerCommon(rt::ClassInfo& c, const char* loadOp);
    QImage image_;
};

// XbpBitmap: draw(oPS, aTarget, aSource, nRop, nMode) draws into aTarget
// {x1, y1, x2, y2} (or at {x, y} in its own size) the part aSource of the
// bitmap (all of it by default).
class XbpBitmap : public XbpPicture {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value draw(rt::Args a);
};

// XbpIcon: draw(oPS, aPos or aRect, nMode).
class XbpIcon : public XbpPicture {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value draw(rt::Args a);
};

// The picture object behind a value (bitmap or icon), or null.
[[nodiscard]] XbpPicture* asPicture(const rt::Value& v);
// The image of a picture value: an XbpBitmap/XbpIcon or a resource number.
[[nodiscard]] std::optional<QImage> imageOf(const rt::Value& v);

}  // namespace gui
