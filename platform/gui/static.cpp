#include "platform/gui/static.h"

#include "platform/gui/bitmap.h"
#include "platform/gui/color.h"
#include "platform/gui/font.h"
#include "platform/gui/presparam.h"
#include "platform/gui/widgetbase.h"
#include "platform/runtime/text.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <qdrawutil.h>

namespace gui {

namespace {
class StaticWidget final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* e) override
    {
        auto* part = dynamic_cast<XbpStatic*>(XbpPart::fromWidget(this));
        if (!part)
            return;
        QPainter p(this);
        part->paintStatic(p);
        part->paintOver(p, e->rect());
    }
};

QString captionText(const rt::Value& v)
{
    if (v.isNil())
        return {};
    const std::string s = v.isChar() ? v.str() : rt::var2char(v);
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

int intOf(const rt::Value& v, int def) { return v.isNum() ? int(std::clamp<std::int64_t>(v.asInt(), 0, 1 << 20)) : def; }

rt::ClassInfo makeStaticClass()
{
    rt::ClassInfo c("XbpStatic", {&XbpPart::staticClass()});
    using S = XbpStatic;
    c.method<S>("create", [](S& o, rt::Args a) { return o.create(a); });
    c.field<S>("type", &S::type);
    c.field<S>("options", &S::options);
    c.field<S>("autoSize", &S::autoSize);
    c.addVar("caption", [](rt::Object& o) { return static_cast<S&>(o).caption; },
             [](rt::Object& o, const rt::Value& v) { static_cast<S&>(o).setCaption(v); });
    c.method<S>("setCaption", [](S& o, rt::Args a) { return o.setCaption(rt::argAt(a, 0)); });
    return c;
}
}  // namespace

XbpStatic::XbpStatic() : type(static_type::Text), caption(""), options(0), autoSize(false) {}

const rt::ClassInfo& XbpStatic::staticClass()
{
    static const rt::ClassInfo cls = makeStaticClass();
    return cls;
}

const rt::ClassInfo& XbpStatic::classInfo() const { return staticClass(); }

rt::Value XbpStatic::create(rt::Args a)
{
    takeGeometryArgs(a);
    auto* w = new StaticWidget();
    w->setFocusPolicy(Qt::NoFocus);
    if (autoSize.isLogical() && autoSize.asBool() && intOf(type, 0) == static_type::Text) {
        const QFont f = drawingFont(presFont(presParams, pp::CompoundName).value_or(w->font()));
        const QSize s = QFontMetrics(f).size(0, mapSymbolText(f, captionText(caption)));
        size = pairValue(s.width() + 2, s.height());
    }
    adoptWidget(w);
    return self();
}

bool XbpStatic::setCaption(const rt::Value& v)
{
    caption = v;
    if (widget_)
        widget_->update();
    const int t = intOf(type, static_type::Text);
    if (t == static_type::Bitmap || t == static_type::Icon || t == static_type::SysIcon)
        return imageOf(v).has_value();
    return v.isNil() || v.isChar() || v.isNum();
}

void XbpStatic::applyPresParams()
{
    XbpPart::applyPresParams();
    if (widget_)
        widget_->update();
}

void XbpStatic::paintStatic(QPainter& p)
{
    if (!widget_)
        return;
    const QRect r = widget_->rect();
    switch (const int t = intOf(type, static_type::Text)) {
    case static_type::Text: paintText(p, r); break;
    case static_type::GroupBox:
        qDrawShadeRect(&p, r.adjusted(0, p.fontMetrics().height() / 2, 0, 0), widget_->palette(), true);
        if (const QString text = captionText(caption); !text.isEmpty()) {
            const QRect label(8, 0, p.fontMetrics().horizontalAdvance(text) + 4, p.fontMetrics().height());
            p.fillRect(label, widget_->palette().color(QPalette::Window));
            p.setPen(widget_->palette().color(QPalette::WindowText));
            p.drawText(label, Qt::AlignCenter, text);
        }
        break;
    case static_type::Icon:
    case static_type::SysIcon:
    case static_type::Bitmap: paintPicture(p, r); break;
    default: paintShape(p, r, t); break;
    }
}

void XbpStatic::paintText(QPainter& p, const QRect& r)
{
    const QFont font = presFont(presParams, pp::CompoundName).value_or(widget_->font());
    const QString text = mapSymbolText(font, captionText(caption));
    QFont shown = drawingFont(font);
    int flags = toQtAlignment(intOf(options, 0));
    if (isSymbolFont(font)) {
        // Symbol glyphs fill their box: fit the size to the static, centred.
        shown.setPixelSize(std::max(4, std::min(r.height(), r.width())));
        flags = Qt::AlignCenter;
    }
    p.setFont(shown);
    p.setPen(widget_->palette().color(widget_->isEnabled() ? QPalette::Active : QPalette::Disabled,
                                      QPalette::WindowText));
    p.drawText(r, flags, text);
}

void XbpStatic::paintPicture(QPainter& p, const QRect& r)
{
    const auto img = imageOf(caption);
    if (!img)
        return;
    const int opts = intOf(options, 0);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (opts & static_opt::Scaled) {
        p.drawImage(r, *img);
        return;
    }
    const QSize s = img->size();
    const int x = (opts & align::Right) ? r.width() - s.width() : (opts & align::HCenter) ? (r.width() - s.width()) / 2 : 0;
    // Pictures sit at the bottom-left by default, as everything does here.
    const int y = (opts & align::VCenter) ? (r.height() - s.height()) / 2 : (opts & align::Bottom) || opts == 0
                                                                             ? r.height() - s.height()
                                                                             : 0;
    p.drawImage(QPoint(x, y), *img);
}

void XbpStatic::paintShape(QPainter& p, const QRect& r, int t)
{
    const QPalette& pal = widget_->palette();
    const QColor fg = pal.color(QPalette::WindowText);
    const QColor bg = pal.color(QPalette::Window);
    const QColor half = pal.color(QPalette::Mid);
    switch (t) {
    case static_type::FgndRect: p.fillRect(r, fg); break;
    case static_type::HalftoneRect: p.fillRect(r, half); break;
    case static_type::BgndRect: p.fillRect(r, bg); break;
    case static_type::FgndFrame:
    case static_type::HalftoneFrame:
    case static_type::BgndFrame:
        p.setPen(t == static_type::FgndFrame ? fg : t == static_type::HalftoneFrame ? half : bg);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        break;
    case static_type::RaisedBox:
    case static_type::RecessedBox: qDrawShadePanel(&p, r, pal, t == static_type::RecessedBox, 1, &pal.brush(QPalette::Button)); break;
    case static_type::RaisedRect:
    case static_type::RecessedRect: qDrawShadeRect(&p, r, pal, t == static_type::RecessedRect); break;
    case static_type::RaisedLine:
    case static_type::RecessedLine: {
        const bool horizontal = r.width() >= r.height();
        const QPoint a = horizontal ? QPoint(r.left(), r.center().y()) : QPoint(r.center().x(), r.top());
        const QPoint b = horizontal ? QPoint(r.right(), r.center().y()) : QPoint(r.center().x(), r.bottom());
        qDrawShadeLine(&p, a, b, pal, t == static_type::RecessedLine);
        break;
    }
    default: break;
    }
}

}  // namespace gui
