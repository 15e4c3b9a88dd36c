#include "platform/gui/ps.h"

#include "platform/gui/color.h"
#include "platform/gui/font.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/error.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>

#include <cmath>

namespace gui {

namespace {
const rt::Value& attr(const rt::Value& attrs, int i)
{
    return attrs.isArray() && std::size_t(i) <= attrs.asArray().size() ? attrs.asArray().items[i - 1] : rt::nil();
}

int attrInt(const rt::Value& attrs, int i, int def)
{
    const rt::Value& v = attr(attrs, i);
    return v.isNum() ? int(std::clamp<std::int64_t>(v.asInt(), -1000, 1000)) : def;
}

QFontMetricsF metricsOf(const XbpPS& ps)
{
    const QFont f = drawingFont(ps.font());
    return ps.painter() && ps.painter()->device() ? QFontMetricsF(f, ps.painter()->device()) : QFontMetricsF(f);
}

rt::ClassInfo makePSClass()
{
    rt::ClassInfo c("XbpPresSpace");
    using S = XbpPS;
    c.method<S>("init", [](S& o, rt::Args) { return o.self(); });
    c.method<S>("create", [](S& o, rt::Args) { return o.self(); });
    c.method<S>("configure", [](S& o, rt::Args) { return o.self(); });
    c.method<S>("destroy", [](S& o, rt::Args) {
        o.end();
        return o.self();
    });
    c.method<S>("setColor", [](S& o, rt::Args a) { return o.setColor(rt::argAt(a, 0), rt::argAt(a, 1)); });
    c.method<S>("setFont", [](S& o, rt::Args a) { return o.setFont(rt::argAt(a, 0)); });
    c.method<S>("setAttrString", [](S& o, rt::Args a) { return o.setAttrString(rt::argAt(a, 0)); });
    c.method<S>("isDrawing", [](S& o, rt::Args) { return o.isBound(); });
    c.field<S>("window", &S::window);
    return c;
}
}  // namespace

XbpPS::XbpPS() : font_(QGuiApplication::font()), attrs_(rt::Value::array(gra_as::Count)) {}

XbpPS::~XbpPS() { end(); }

const rt::ClassInfo& XbpPS::staticClass()
{
    static const rt::ClassInfo cls = makePSClass();
    return cls;
}

const rt::ClassInfo& XbpPS::classInfo() const { return staticClass(); }

XbpPS* asPS(const rt::Value& v) { return v.isObject() ? dynamic_cast<XbpPS*>(&v.asObject()) : nullptr; }

void XbpPS::begin(QPainter* p, int height)
{
    end();
    if (!p)
        return;
    painter_ = p;
    height_ = height;
    p->save();
}

void XbpPS::end()
{
    if (!painter_)
        return;
    painter_->restore();
    painter_ = nullptr;
}

QRectF XbpPS::toDevice(QPointF a, QPointF b) const noexcept
{
    return QRectF(toDevice(a.x(), a.y()), toDevice(b.x(), b.y())).normalized();
}

rt::Value XbpPS::setFont(const rt::Value& font)
{
    if (!fontObject_.isObject())
        fontObject_ = rt::Value(static_cast<rt::Object*>(new XbpFont(font_)));
    rt::Value previous = fontObject_;
    if (XbpFont* f = asFont(font)) {
        font_ = f->font();
        fontObject_ = font;
    } else if (font.isChar() && !font.asString().empty()) {
        font_ = fontFromCompoundName(font.asString());
        fontObject_ = rt::Value(static_cast<rt::Object*>(new XbpFont(font_)));
    }
    return previous;
}

void XbpPS::setQFont(const QFont& f)
{
    font_ = f;
    fontObject_ = rt::Value();
}

rt::Value XbpPS::setColor(const rt::Value& fg, const rt::Value& bg)
{
    rt::Value previous = rt::makeArray({rt::Value(fg_), rt::Value(bg_)});
    auto& a = attrs_.asArray().items;
    if (fg.isNum() || fg.isArray()) {
        fg_ = colorNumber(fg);
        a[gra_as::Color - 1] = rt::Value();
    }
    if (bg.isNum() || bg.isArray()) {
        bg_ = colorNumber(bg);
        a[gra_as::BackColor - 1] = rt::Value();
    }
    return previous;
}

rt::Value XbpPS::setAttrString(const rt::Value& attrs)
{
    // The previous attributes as in effect, colours included, so that
    // setting them back restores what GraSetColor had chosen.
    rt::Value previous = rt::aClone(attrs_);
    auto& prev = previous.asArray().items;
    if (prev[gra_as::Color - 1].isNil())
        prev[gra_as::Color - 1] = rt::Value(fg_);
    if (prev[gra_as::BackColor - 1].isNil())
        prev[gra_as::BackColor - 1] = rt::Value(bg_);
    if (!attrs.isArray())
        return previous;
    const auto& in = attrs.asArray().items;
    auto& a = attrs_.asArray().items;
    for (std::size_t i = 0; i < in.size() && i < a.size(); ++i)
        if (!in[i].isNil())
            a[i] = in[i];
    return previous;
}

QColor XbpPS::textColor() const
{
    const rt::Value& c = attr(attrs_, gra_as::Color);
    const long long n = c.isNum() || c.isArray() ? colorNumber(c) : fg_;
    return toQColor(n, QGuiApplication::palette().color(QPalette::WindowText));
}

QColor XbpPS::backColor() const
{
    const rt::Value& c = attr(attrs_, gra_as::BackColor);
    const long long n = c.isNum() || c.isArray() ? colorNumber(c) : bg_;
    return toQColor(n);
}

QColor XbpPS::lineColor() const { return toQColor(fg_, QGuiApplication::palette().color(QPalette::WindowText)); }

QColor XbpPS::areaColor() const { return lineColor(); }

// --- ImagePS

ImagePS::ImagePS(QImage& image)
    : painter_(new QPainter(&image)), ps_(static_cast<rt::Object*>(new XbpPS()))
{
    ps().begin(painter_, image.height());
}

ImagePS::~ImagePS()
{
    ps().end();
    delete painter_;
}

// --- graphics functions

TextBox graQueryTextBox(const XbpPS& ps, const QString& text)
{
    const QFontMetricsF fm = metricsOf(ps);
    const double w = std::ceil(fm.horizontalAdvance(mapSymbolText(ps.font(), text)));
    const double up = std::ceil(fm.ascent());
    const double down = -std::ceil(fm.descent());
    return {{0, up}, {0, down}, {w, up}, {w, down}, {w, 0}};
}

rt::Value textBoxValue(const TextBox& box)
{
    auto pt = [](QPointF p) { return rt::makeArray({rt::Value(long(std::lround(p.x()))), rt::Value(long(std::lround(p.y())))}); };
    return rt::makeArray({pt(box.topLeft), pt(box.bottomLeft), pt(box.topRight), pt(box.bottomRight), pt(box.concat)});
}

bool graStringAt(XbpPS& ps, QPointF pos, const QString& text)
{
    QPainter* p = ps.painter();
    if (!p)
        return false;
    const QString shown = mapSymbolText(ps.font(), text);
    const QFontMetricsF fm = metricsOf(ps);
    QPointF at = ps.toDevice(pos.x(), pos.y());
    const double w = fm.horizontalAdvance(shown);
    switch (attrInt(ps.attrString(), gra_as::HorizAlign, 0)) {
    case 1: at.rx() -= w / 2; break;
    case 2: at.rx() -= w; break;
    default: break;
    }
    switch (attrInt(ps.attrString(), gra_as::VertAlign, 0)) {
    case 1: at.ry() += fm.ascent(); break;
    case 2: at.ry() += (fm.ascent() - fm.descent()) / 2; break;
    case 3: at.ry() -= fm.descent(); break;
    default: break;
    }
    p->save();
    if (const QColor bg = ps.backColor(); bg.isValid() && attrInt(ps.attrString(), gra_as::BgMixMode, 0) == 1)
        p->fillRect(QRectF(at.x(), at.y() - fm.ascent(), w, fm.ascent() + fm.descent()), bg);
    p->setFont(drawingFont(ps.font()));
    p->setPen(ps.textColor());
    p->drawText(at, shown);
    p->restore();
    return true;
}

bool graCaptionStr(XbpPS& ps, QPointF p1, QPointF p2, const QString& text, int alignFlags)
{
    QPainter* p = ps.painter();
    if (!p)
        return false;
    const QRectF r = ps.toDevice(p1, p2);
    p->save();
    p->setClipRect(r, Qt::IntersectClip);
    if (const QColor bg = ps.backColor(); bg.isValid() && attrInt(ps.attrString(), gra_as::BgMixMode, 0) == 1)
        p->fillRect(r, bg);
    p->setFont(drawingFont(ps.font()));
    p->setPen(ps.textColor());
    p->drawText(r, toQtAlignment(alignFlags), mapSymbolText(ps.font(), text));
    p->restore();
    return true;
}

bool graBox(XbpPS& ps, QPointF p1, QPointF p2, int fill)
{
    QPainter* p = ps.painter();
    if (!p)
        return false;
    // Corners are inclusive pixels, as the platform draws them.
    const QRectF r = ps.toDevice(p1, p2).adjusted(0, -1, 1, 0);
    p->save();
    if (fill == gra_fill::Fill || fill == gra_fill::OutlineFill)
        p->fillRect(r, ps.areaColor());
    if (fill != gra_fill::Fill) {
        p->setPen(QPen(ps.lineColor(), 0));
        p->setBrush(Qt::NoBrush);
        p->drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    }
    p->restore();
    return true;
}

bool graLine(XbpPS& ps, QPointF p1, QPointF p2)
{
    QPainter* p = ps.painter();
    if (!p)
        return false;
    p->save();
    p->setPen(QPen(ps.lineColor(), 0));
    // Pixel centres: platform y covers device rows height - y - 1.
    p->drawLine(ps.toDevice(p1.x() + 0.5, p1.y() + 0.5), ps.toDevice(p2.x() + 0.5, p2.y() + 0.5));
    p->restore();
    return true;
}

std::optional<QPointF> pointOf(const rt::Value& v)
{
    if (!v.isArray() || v.asArray().size() < 2)
        return std::nullopt;
    const auto& a = v.asArray().items;
    if (!a[0].isNum() || !a[1].isNum())
        return std::nullopt;
    return QPointF(std::clamp(a[0].asDouble(), -1.0e7, 1.0e7), std::clamp(a[1].asDouble(), -1.0e7, 1.0e7));
}

std::optional<std::array<double, 4>> rectOf(const rt::Value& v)
{
    if (!v.isArray() || v.asArray().size() < 4)
        return std::nullopt;
    std::array<double, 4> r{};
    for (std::size_t i = 0; i < 4; ++i) {
        const rt::Value& e = v.asArray().items[i];
        if (!e.isNum())
            return std::nullopt;
        r[i] = std::clamp(e.asDouble(), -1.0e7, 1.0e7);
    }
    return r;
}

}  // namespace gui
