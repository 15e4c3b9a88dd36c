// XbpStatic: text, frames, boxes, lines and pictures on any window.
//
// `type` picks what is shown (static_type::); `caption` is the text of a
// text or group-box static and the picture (XbpBitmap, XbpIcon or a
// resource number) of a bitmap or icon static; `options` holds align::
// flags (presparam.h) for text and pictures, plus static_opt::Scaled to
// stretch a picture over the static. A text in a symbol font ("12.Marlett")
// is drawn as its symbols, fitted into the static.
#pragma once

#include "platform/gui/xbppart.h"

class QPainter;

namespace gui {

namespace static_type {
constexpr int Text = 1;
constexpr int GroupBox = 2;
constexpr int Icon = 3;
constexpr int SysIcon = 4;
constexpr int Bitmap = 5;
constexpr int FgndRect = 6;
constexpr int HalftoneRect = 7;
constexpr int BgndRect = 8;
constexpr int FgndFrame = 9;
constexpr int HalftoneFrame = 10;
constexpr int BgndFrame = 11;
constexpr int RaisedBox = 12;
constexpr int RecessedBox = 13;
constexpr int RaisedRect = 14;
constexpr int RecessedRect = 15;
constexpr int RaisedLine = 16;
constexpr int RecessedLine = 17;
}  // namespace static_type

namespace static_opt {
constexpr int Scaled = 256;  // pictures: stretch over the whole static
}

class XbpStatic : public XbpPart {
public:
    XbpStatic();
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    rt::Value create(rt::Args a) override;
    // Sets and shows the caption; false for a caption the type cannot show.
    bool setCaption(const rt::Value& caption);
    void applyPresParams() override;
    // Draws the static's content (called by its widget's paint event).
    void paintStatic(QPainter& p);

    rt::Value type, caption, options, autoSize;

private:
    void paintText(QPainter& p, const QRect& r);
    void paintPicture(QPainter& p, const QRect& r);
    void paintShape(QPainter& p, const QRect& r, int t);
};

}  // namespace gui
