// Presentation spaces and the graphics functions.
//
// An XbpPS draws through a QPainter in the platform's coordinates: {x, y}
// from the bottom-left corner of the device, y growing upwards. The PS flips
// y itself (device y = height - y), so callers never see Qt's top-left
// origin. A PS is bound to a painter only while something draws (a paint
// event, lockPS/unlockPS, an ImagePS); an unbound PS still measures text
// (GraQueryTextBox) but draws nothing, and the drawing functions then
// return false.
//
// The current font, colours and attribute bundles belong to the PS and
// outlive a binding, so a font set once stays set for the next paint.
#pragma once

#include "platform/runtime/object.h"

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <array>
#include <optional>

class QPainter;
class QImage;

namespace gui {

// Entries of the string attribute array (SetAttrString / setAttrString),
// 12 entries, 1-based as the language sees them; NIL keeps an attribute.
namespace gra_as {
constexpr int Color = 1;      // text colour
constexpr int BackColor = 2;  // background behind the text (with BgMixMode opaque)
constexpr int MixMode = 3;
constexpr int BgMixMode = 4;  // 1 opaque (fill the text box with BackColor), else transparent
constexpr int HorizAlign = 7; // 0 left, 1 centre, 2 right of the start point
constexpr int VertAlign = 8;  // 0 base line, 1 top, 2 centre, 3 bottom at the start point
constexpr int Count = 12;
}  // namespace gra_as

// GraBox fill modes.
namespace gra_fill {
constexpr int Outline = 1;
constexpr int Fill = 2;
constexpr int OutlineFill = 3;
}  // namespace gra_fill

class XbpPS : public rt::Object {
public:
    XbpPS();
    ~XbpPS() override;
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    [[nodiscard]] rt::Value self() { return rt::Value(static_cast<rt::Object*>(this)); }

    // Binds the PS to `p`, which draws on a device `height` pixels high;
    // the painter's state is saved and restored by end(). Nested begin()
    // calls are not allowed (the previous binding is ended first).
    void begin(QPainter* p, int height);
    void end();
    [[nodiscard]] bool isBound() const noexcept { return painter_ != nullptr; }
    [[nodiscard]] QPainter* painter() const noexcept { return painter_; }
    [[nodiscard]] int height() const noexcept { return height_; }

    [[nodiscard]] QPointF toDevice(double x, double y) const noexcept { return {x, height_ - y}; }
    // The device rectangle between two corners given in any order.
    [[nodiscard]] QRectF toDevice(QPointF a, QPointF b) const noexcept;

    // --- attributes
    [[nodiscard]] const QFont& font() const noexcept { return font_; }
    // GraSetFont: an XbpFont object or a compound name; returns the
    // previous font object (NIL for the PS's initial font).
    rt::Value setFont(const rt::Value& font);
    void setQFont(const QFont& f);
    // GraSetColor / setColor: foreground and background of every bundle;
    // NIL keeps a colour. Returns { previous fg, previous bg }.
    rt::Value setColor(const rt::Value& fg, const rt::Value& bg);
    // SetAttrString: entries of a 12-entry array; NIL entries keep their
    // attribute. Returns the previous array (all 12 entries, the colours
    // in effect filled in), which set back restores them.
    rt::Value setAttrString(const rt::Value& attrs);
    [[nodiscard]] rt::Value attrString() const { return attrs_; }

    [[nodiscard]] QColor textColor() const;
    [[nodiscard]] QColor backColor() const;  // invalid: transparent
    [[nodiscard]] QColor lineColor() const;
    [[nodiscard]] QColor areaColor() const;

    // The window object the PS belongs to (lockPS), else NIL.
    rt::Value window;

private:
    QPainter* painter_ = nullptr;
    int height_ = 0;
    QFont font_;
    rt::Value fontObject_;
    long long fg_ = -1;
    long long bg_ = -1;
    rt::Value attrs_;  // 12-entry string attribute array
};

// The XbpPS behind a value, or null.
[[nodiscard]] XbpPS* asPS(const rt::Value& v);

// A presentation space drawing on a QImage, bound while it lives.
class ImagePS {
public:
    explicit ImagePS(QImage& image);
    ~ImagePS();
    ImagePS(const ImagePS&) = delete;
    ImagePS& operator=(const ImagePS&) = delete;
    [[nodiscard]] XbpPS& ps() noexcept { return *static_cast<XbpPS*>(&ps_.asObject()); }
    [[nodiscard]] const rt::Value& value() const noexcept { return ps_; }

private:
    QPainter* painter_;
    rt::Value ps_;
};

// --- the graphics functions in C++ (each registered under its Gra name).

// GraStringAt: text starting at `pos`, which is on the base line (the string
// attributes' alignment may move it). False when the PS is not drawing.
bool graStringAt(XbpPS& ps, QPointF pos, const QString& text);

// GraQueryTextBox: the box of `text` relative to the start point, the base
// line at y 0: ascent above it, descent below. The concatenation point is
// where the next string would start.
struct TextBox {
    QPointF topLeft, bottomLeft, topRight, bottomRight, concat;
};
[[nodiscard]] TextBox graQueryTextBox(const XbpPS& ps, const QString& text);
// The box as the language sees it: { {x, y} x 5 } in the order above.
[[nodiscard]] rt::Value textBoxValue(const TextBox& box);

// GraCaptionStr: `text` inside the rectangle spanned by p1 and p2, placed
// by align:: flags (presparam.h) and clipped to it.
bool graCaptionStr(XbpPS& ps, QPointF p1, QPointF p2, const QString& text, int align);
// GraBox with a gra_fill mode; GraLine from p1 to p2 (line colour).
bool graBox(XbpPS& ps, QPointF p1, QPointF p2, int fill = gra_fill::Outline);
bool graLine(XbpPS& ps, QPointF p1, QPointF p2);

// A point value {x, y}; nullopt unless it is an array of two numbers.
[[nodiscard]] std::optional<QPointF> pointOf(const rt::Value& v);
// A rectangle value {x1, y1, x2, y2} (platform coordinates); nullopt unless
// four numbers.
[[nodiscard]] std::optional<std::array<double, 4>> rectOf(const rt::Value& v);

}  // namespace gui
