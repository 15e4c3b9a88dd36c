#include "platform/gui/xbppart.h"

#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/gui/font.h"
#include "platform/gui/presparam.h"
#include "platform/gui/ps.h"
#include "platform/gui/widgetbase.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

namespace gui {

namespace {
rt::Value rectValue(const QRect& r, int height)
{
    // Platform rectangle {x1, y1, x2, y2}, y2 exclusive like x2.
    return rt::makeArray({r.left(), height - r.top() - r.height(), r.left() + r.width(), height - r.top()});
}

// Detaches a widget from its object and deletes it once control is back in
// the event loop: destroy() may run inside one of the widget's own events.
void retireWidget(QWidget* w)
{
    if (!w)
        return;
    if (PartBinding* b = PartBinding::of(w))
        b->detach();
    w->hide();
    w->deleteLater();
}

// The default handler of a callback slot: evaluates the block with (mp1, mp2, self).
rt::Value runSlot(XbpPart& o, const rt::Value& slot, rt::Args a)
{
    if (!slot.isBlock())
        return {};
    return rt::evalWith(slot, rt::argAt(a, 0), rt::argAt(a, 1), o.self());
}

struct SlotName {
    int event;
    const char* name;
    rt::Value XbpPart::*slot;
};
constexpr SlotName kSlots[] = {
    {ev::LbDown, "lbDown", &XbpPart::cbLbDown},
    {ev::LbUp, "lbUp", &XbpPart::cbLbUp},
    {ev::LbClick, "lbClick", &XbpPart::cbLbClick},
    {ev::LbDblClick, "lbDblClick", &XbpPart::cbLbDblClick},
    {ev::RbDown, "rbDown", &XbpPart::cbRbDown},
    {ev::RbUp, "rbUp", &XbpPart::cbRbUp},
    {ev::Motion, "motion", &XbpPart::cbMotion},
    {ev::Wheel, "wheel", &XbpPart::cbWheel},
    {ev::Keyboard, "keyboard", &XbpPart::cbKeyboard},
    {ev::SetInputFocus, "setInputFocus", &XbpPart::cbSetInputFocus},
    {ev::KillInputFocus, "killInputFocus", &XbpPart::cbKillInputFocus},
    {ev::Resize, "resize", &XbpPart::cbResize},
    {ev::Close, "close", &XbpPart::cbClose},
    {ev::Paint, "paint", &XbpPart::cbPaint},
};

rt::Value sizeValue(QSize s) { return pairValue(s.width(), s.height()); }
rt::Value pointValue(QPoint p) { return pairValue(p.x(), p.y()); }

using P = XbpPart;

// The members and the callback slots.
void addMembers(rt::ClassInfo& c)
{
    c.field<P>("cargo", &P::cargo);
    c.field<P>("tabstop", &P::tabstop);
    c.field<P>("group", &P::group);
    c.field<P>("tooltipText", &P::tooltipText);
    c.field<P>("visible", &P::visible);
    for (const SlotName& s : kSlots) {
        auto slot = s.slot;
        c.callback<P>(s.name, slot, [slot](P& o, rt::Args a) { return runSlot(o, o.*slot, a); });
    }
}

// Life cycle, events and geometry.
void addLifeAndGeometry(rt::ClassInfo& c)
{
    c.method<P>("init", [](P& o, rt::Args a) { return o.init(a); });
    c.method<P>("create", [](P& o, rt::Args a) { return o.create(a); });
    c.method<P>("configure", [](P& o, rt::Args a) { return o.configure(a); });
    c.method<P>("destroy", [](P& o, rt::Args) { return o.destroy(); });
    c.method<P>("status", [](P& o, rt::Args) { return o.status; });
    c.method<P>("handleEvent", [](P& o, rt::Args a) {
        const rt::Value& n = rt::argAt(a, 0);
        return n.isNum() ? o.handleEvent(int(n.asInt()), rt::argAt(a, 1), rt::argAt(a, 2)) : rt::Value();
    });
    c.method<P>("setPos", [](P& o, rt::Args a) {
        const auto p = pairOf(rt::argAt(a, 0));
        return p ? o.setPos(*p) : false;
    });
    c.method<P>("setSize", [](P& o, rt::Args a) {
        const auto s = pairOf(rt::argAt(a, 0));
        return s ? o.setSize(QSize(s->x(), s->y())) : false;
    });
    c.method<P>("setPosAndSize", [](P& o, rt::Args a) {
        const auto p = pairOf(rt::argAt(a, 0));
        const auto s = pairOf(rt::argAt(a, 1));
        return p && s ? o.setPosAndSize(*p, QSize(s->x(), s->y())) : false;
    });
    c.method<P>("currentPos", [](P& o, rt::Args) { return pointValue(o.currentPos()); });
    c.method<P>("currentSize", [](P& o, rt::Args) { return sizeValue(o.currentSize()); });
}

// Visibility, the window's parent, owner and children.
void addFamily(rt::ClassInfo& c)
{
    c.method<P>("show", [](P& o, rt::Args) { o.setVisible(true); return o.status == P::Created; });
    c.method<P>("hide", [](P& o, rt::Args) { o.setVisible(false); return o.status == P::Created; });
    c.method<P>("enable", [](P& o, rt::Args) { o.setEnabled(true); return o.status == P::Created; });
    c.method<P>("disable", [](P& o, rt::Args) { o.setEnabled(false); return o.status == P::Created; });
    c.method<P>("isVisible", [](P& o, rt::Args) { return o.isVisible(); });
    c.method<P>("isEnabled", [](P& o, rt::Args) { return o.isEnabled(); });
    c.method<P>("setParent", [](P& o, rt::Args a) {
        const rt::Value previous = o.parent;
        if (!a.empty() && (a[0].isNil() || asPart(a[0])))
            o.reparent(a[0]);
        return previous;
    });
    c.method<P>("setOwner", [](P& o, rt::Args a) {
        const rt::Value previous = o.owner;
        if (!a.empty() && (a[0].isNil() || a[0].isObject()))
            o.owner = a[0];
        return previous;
    });
    c.method<P>("childList", [](P& o, rt::Args) {
        std::vector<rt::Value> out;
        for (XbpPart* child : o.children())
            out.push_back(child->self());
        return rt::makeArray(std::move(out));
    });
}

// Colours, font, presentation, painting and focus.
void addLook(rt::ClassInfo& c)
{
    c.method<P>("setColorFG", [](P& o, rt::Args a) {
        const long long previous = o.colorFG();
        if (!a.empty() && (a[0].isNum() || a[0].isArray()))
            o.setColorFG(colorNumber(a[0]));
        return rt::Value(previous);
    });
    c.method<P>("setColorBG", [](P& o, rt::Args a) {
        const long long previous = o.colorBG();
        if (!a.empty() && (a[0].isNum() || a[0].isArray()))
            o.setColorBG(colorNumber(a[0]));
        return rt::Value(previous);
    });
    c.method<P>("setFontCompoundName", [](P& o, rt::Args a) {
        const std::string previous = o.fontCompoundName();
        if (!a.empty() && a[0].isChar())
            o.setFontCompoundName(a[0].asString());
        return rt::Value(previous);
    });
    c.method<P>("setPresParam", [](P& o, rt::Args a) {
        const rt::Value previous = presCopy(o.presParams);
        if (!a.empty() && a[0].isArray())
            o.setPresParam(a[0]);
        return previous;
    });
    c.method<P>("lockUpdate", [](P& o, rt::Args a) {
        o.lockUpdate(!rt::argAt(a, 0).isLogical() || rt::argAt(a, 0).asBool());
        return true;
    });
    c.method<P>("invalidateRect", [](P& o, rt::Args a) {
        const rt::Value& r = rt::argAt(a, 0);
        if (const auto rc = rectOf(r))
            o.invalidateRect(QRect(QPoint(int((*rc)[0]), int((*rc)[1])), QPoint(int((*rc)[2]) - 1, int((*rc)[3]) - 1)));
        else
            o.invalidateRect();
        return true;
    });
    c.method<P>("lockPS", [](P& o, rt::Args) { return o.lockPS().self(); });
    c.method<P>("unlockPS", [](P& o, rt::Args) {
        o.unlockPS();
        return true;
    });
    c.method<P>("setInputFocusTo", [](P& o, rt::Args) { return setAppFocus(o.self()); });
    c.method<P>("toFront", [](P& o, rt::Args) {
        if (o.widget())
            o.widget()->raise();
        return true;
    });
}

rt::ClassInfo makeClass()
{
    rt::ClassInfo c("XbpWindow");
    addMembers(c);
    addLifeAndGeometry(c);
    addFamily(c);
    addLook(c);
    return c;
}
}  // namespace

// --- helpers

std::optional<QPoint> pairOf(const rt::Value& v)
{
    if (!v.isArray() || v.asArray().size() < 2)
        return std::nullopt;
    const rt::Value& a = v.asArray().items[0];
    const rt::Value& b = v.asArray().items[1];
    if (!a.isNum() || !b.isNum())
        return std::nullopt;
    auto clampInt = [](double d) { return int(std::clamp(d, -1.0e6, 1.0e6)); };
    return QPoint(clampInt(a.asDouble()), clampInt(b.asDouble()));
}

rt::Value pairValue(int a, int b) { return rt::makeArray({a, b}); }

XbpPart* asPart(const rt::Value& v)
{
    return v.isObject() ? dynamic_cast<XbpPart*>(&v.asObject()) : nullptr;
}

// --- class

XbpPart::XbpPart() : presParams(rt::Value::array()), visible(true) {}

XbpPart::~XbpPart()
{
    if (ps_.isObject())
        asPS(ps_)->end();
    canvasPainter_.reset();
    retireWidget(widget_);
}

const rt::ClassInfo& XbpPart::staticClass()
{
    static const rt::ClassInfo cls = makeClass();
    return cls;
}

const rt::ClassInfo& XbpPart::classInfo() const { return staticClass(); }

XbpPart* XbpPart::fromWidget(const QWidget* w)
{
    const PartBinding* b = PartBinding::of(w);
    return b ? b->part() : nullptr;
}

rt::Value XbpPart::init(rt::Args a)
{
    takeGeometryArgs(a);
    return self();
}

rt::Value XbpPart::create(rt::Args a)
{
    takeGeometryArgs(a);
    if (!widget_)
        adoptWidget(new PartWidget<QWidget>());
    return self();
}

rt::Value XbpPart::configure(rt::Args a)
{
    takeGeometryArgs(a);
    if (widget_) {
        placeWidget();
        applyPresParams();
        widget_->setVisible(!visible.isLogical() || visible.asBool());
    }
    return self();
}

rt::Value XbpPart::destroy()
{
    const rt::Value keep = self();
    for (XbpPart* child : children())
        child->destroy();
    if (ps_.isObject())
        asPS(ps_)->end();
    canvasPainter_.reset();
    canvas_.reset();
    lockDepth_ = 0;
    QWidget* w = widget_;
    widget_.clear();
    status = NotCreated;
    retireWidget(w);
    return self();
}

rt::Value XbpPart::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    for (const SlotName& s : kSlots)
        if (s.event == nEvent)
            return fire(s.name, mp1, mp2);
    return {};
}

rt::Value XbpPart::fire(std::string_view name, const rt::Value& mp1, const rt::Value& mp2)
{
    const rt::Value argv[] = {mp1, mp2};
    return rt::send(self(), name, rt::Args(argv, 2));
}

void XbpPart::takeGeometryArgs(rt::Args a)
{
    if (!rt::argAt(a, 0).isNil())
        parent = a[0];
    if (!rt::argAt(a, 1).isNil())
        owner = a[1];
    if (pairOf(rt::argAt(a, 2)))
        pos = rt::aClone(a[2]);
    if (pairOf(rt::argAt(a, 3)))
        size = rt::aClone(a[3]);
    if (rt::argAt(a, 4).isArray())
        presParams = rt::aClone(a[4]);
    if (rt::argAt(a, 5).isLogical())
        visible = a[5];
}

QWidget* XbpPart::parentWidget() const
{
    const XbpPart* p = asPart(parent);
    return p && p != this ? p->widget() : nullptr;
}

void XbpPart::adoptWidget(QWidget* w)
{
    if (widget_ && widget_ != w)
        retireWidget(widget_);
    widget_ = w;
    if (!w) {
        status = Failed;
        return;
    }
    if (QWidget* pw = parentWidget(); w->parentWidget() != pw)
        w->setParent(pw);
    if (!PartBinding::of(w))
        new PartBinding(w, this);
    w->setMouseTracking(true);
    status = Created;
    placeWidget();
    applyPresParams();
    if (tooltipText.isChar())
        w->setToolTip(QString::fromUtf8(tooltipText.asString().data(), qsizetype(tooltipText.asString().size())));
    w->setVisible(!visible.isLogical() || visible.asBool());
}

void XbpPart::placeWidget()
{
    if (!widget_)
        return;
    QSize s = widget_->size();
    if (const auto sz = pairOf(size))
        s = QSize(std::max(0, sz->x()), std::max(0, sz->y()));
    const QPoint p = pairOf(pos).value_or(QPoint(0, 0));
    int parentHeight = 0;
    if (QWidget* pw = widget_->parentWidget())
        parentHeight = pw->height();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        parentHeight = screen->geometry().height();
    widget_->setGeometry(p.x(), parentHeight - p.y() - s.height(), s.width(), s.height());
}

QPoint XbpPart::toQt(int x, int y) const
{
    const int h = widget_ ? widget_->height() : 0;
    return {x, h - 1 - y};
}

std::pair<int, int> XbpPart::fromQt(QPoint p) const
{
    const int h = widget_ ? widget_->height() : 0;
    return {p.x(), h - 1 - p.y()};
}

// --- geometry

QPoint XbpPart::currentPos() const
{
    if (!widget_)
        return pairOf(pos).value_or(QPoint(0, 0));
    const QRect g = widget_->geometry();
    int parentHeight = 0;
    if (QWidget* pw = widget_->parentWidget())
        parentHeight = pw->height();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        parentHeight = screen->geometry().height();
    return {g.x(), parentHeight - g.y() - g.height()};
}

QSize XbpPart::currentSize() const
{
    if (widget_)
        return widget_->size();
    const auto s = pairOf(size);
    return s ? QSize(s->x(), s->y()) : QSize(0, 0);
}

bool XbpPart::setPos(QPoint p)
{
    pos = pointValue(p);
    placeWidget();
    return status == Created;
}

bool XbpPart::setSize(QSize s)
{
    // Keep the bottom-left corner where it is, as the platform does.
    if (widget_ && !pairOf(pos))
        pos = pointValue(currentPos());
    size = sizeValue(s);
    placeWidget();
    return status == Created;
}

bool XbpPart::setPosAndSize(QPoint p, QSize s)
{
    pos = pointValue(p);
    size = sizeValue(s);
    placeWidget();
    return status == Created;
}

// --- state

void XbpPart::setVisible(bool on)
{
    visible = on;
    if (widget_)
        widget_->setVisible(on);
}

bool XbpPart::isVisible() const { return widget_ && widget_->isVisible(); }

void XbpPart::setEnabled(bool on)
{
    if (widget_)
        widget_->setEnabled(on);
}

bool XbpPart::isEnabled() const { return widget_ && widget_->isEnabled(); }

// --- look

long long XbpPart::colorFG() const
{
    if (const rt::Value* v = presFind(presParams, pp::FgClr))
        return colorNumber(*v);
    return widget_ ? rgbNumber(widget_->palette().color(QPalette::WindowText)) : clr::Default;
}

long long XbpPart::colorBG() const
{
    if (const rt::Value* v = presFind(presParams, pp::BgClr))
        return colorNumber(*v);
    return widget_ ? rgbNumber(widget_->palette().color(QPalette::Window)) : clr::Default;
}

void XbpPart::setColorFG(long long c)
{
    presSet(presParams, pp::FgClr, rt::Value(c));
    applyPresParams();
}

void XbpPart::setColorBG(long long c)
{
    presSet(presParams, pp::BgClr, rt::Value(c));
    applyPresParams();
}

std::string XbpPart::fontCompoundName() const
{
    if (const rt::Value* v = presFind(presParams, pp::CompoundName); v && v->isChar())
        return v->str();
    return widget_ ? compoundNameOf(widget_->font()) : std::string();
}

void XbpPart::setFontCompoundName(std::string_view name)
{
    presSet(presParams, pp::CompoundName, rt::Value(name));
    applyPresParams();
}

void XbpPart::setPresParam(const rt::Value& list)
{
    if (!presParams.isArray())
        presParams = rt::Value::array();
    presMerge(presParams, list);
    applyPresParams();
}

void XbpPart::applyPresParams()
{
    if (!widget_)
        return;
    QPalette pal = widget_->palette();
    const QPalette app = QGuiApplication::palette();
    const auto fg = presColor(presParams, pp::FgClr);
    const auto bg = presColor(presParams, pp::BgClr);
    // The text colour given is that of an enabled window; a disabled one
    // keeps the system's greyed text, so it does not seem to take input.
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool enabled = group != QPalette::Disabled;
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            pal.setColor(group, role, enabled && fg ? *fg : app.color(group, role));
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
            pal.setColor(group, role, bg.value_or(app.color(group, role)));
    }
    widget_->setPalette(pal);
    widget_->setAutoFillBackground(bg.has_value());
    if (const auto f = presFont(presParams, pp::CompoundName))
        widget_->setFont(*f);
}

void XbpPart::lockUpdate(bool on)
{
    if (on) {
        if (updateLocks_++ == 0 && widget_)
            widget_->setUpdatesEnabled(false);
    } else if (updateLocks_ > 0 && --updateLocks_ == 0 && widget_) {
        widget_->setUpdatesEnabled(true);
        widget_->update();
    }
}

void XbpPart::invalidateRect(std::optional<QRect> r)
{
    if (!widget_)
        return;
    if (!r) {
        widget_->update();
        return;
    }
    // r holds platform corners (x1, y1)-(x2-1, y2-1).
    const int h = widget_->height();
    widget_->update(QRect(r->left(), h - 1 - r->bottom(), r->width(), r->height()));
}

// --- tree

std::vector<XbpPart*> XbpPart::children() const
{
    std::vector<XbpPart*> out;
    if (!widget_)
        return out;
    for (QObject* o : widget_->children())
        if (auto* w = qobject_cast<QWidget*>(o))
            if (XbpPart* p = fromWidget(w))
                out.push_back(p);
    return out;
}

void XbpPart::reparent(const rt::Value& newParent)
{
    parent = newParent;
    if (!widget_)
        return;
    const bool shown = !visible.isLogical() || visible.asBool();
    widget_->setParent(parentWidget());
    placeWidget();
    widget_->setVisible(shown);
}

// --- drawing

rt::Value XbpPart::psValue()
{
    if (!ps_.isObject()) {
        ps_ = rt::Value(static_cast<rt::Object*>(new XbpPS()));
        asPS(ps_)->window = rt::Value();  // no back reference: it would keep this object alive
    }
    return ps_;
}

XbpPS& XbpPart::lockPS()
{
    XbpPS& ps = *asPS(psValue());
    if (lockDepth_++ > 0 || ps.isBound())
        return ps;
    if (widget_)
        ps.setQFont(presFont(presParams, pp::CompoundName).value_or(widget_->font()));
    if (paintPainter_) {
        ps.begin(paintPainter_, widget_ ? widget_->height() : 0);
        return ps;
    }
    const QSize s = widget_ ? widget_->size() : QSize(1, 1);
    if (!canvas_ || canvas_->size() != s) {
        canvas_ = std::make_unique<QImage>(s.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        canvas_->fill(Qt::transparent);
    }
    canvasPainter_ = std::make_unique<QPainter>(canvas_.get());
    ps.begin(canvasPainter_.get(), canvas_->height());
    return ps;
}

void XbpPart::unlockPS()
{
    if (lockDepth_ == 0 || --lockDepth_ > 0)
        return;
    if (canvasPainter_) {
        asPS(ps_)->end();
        canvasPainter_.reset();
        if (widget_)
            widget_->update();
    }
}

void XbpPart::paintOver(QPainter& p, const QRect& dirty)
{
    if (!widget_)
        return;
    XbpPS& ps = *asPS(psValue());
    const bool bind = !ps.isBound();
    paintPainter_ = &p;
    if (bind) {
        ps.setQFont(presFont(presParams, pp::CompoundName).value_or(widget_->font()));
        ps.begin(&p, widget_->height());
    }
    if (cbPaint.isBlock() || &classInfo() != &staticClass())
        rt::runReporting([&] { handleEvent(ev::Paint, rectValue(dirty, widget_->height()), rt::Value()); });
    if (bind && ps.painter() == &p)
        ps.end();
    paintPainter_ = nullptr;
    if (canvas_)
        p.drawImage(0, 0, *canvas_);
}

// --- weak references

WeakPart::WeakPart(XbpPart& part) : part_(&part)
{
    if (!part.alive_)
        part.alive_ = std::make_shared<char>();
    alive_ = part.alive_;
}

WeakPart WeakPart::from(const rt::Value& v)
{
    if (XbpPart* p = asPart(v))
        return WeakPart(*p);
    WeakPart w;
    w.other_ = v;
    return w;
}

rt::Value WeakPart::lock() const
{
    if (XbpPart* p = get())
        return p->self();
    return part_ ? rt::Value() : other_;
}

void XbpPart::widgetGone() noexcept
{
    if (ps_.isObject())
        asPS(ps_)->end();
    canvasPainter_.reset();
    canvas_.reset();
    lockDepth_ = 0;
    widget_.clear();
    status = NotCreated;
}

}  // namespace gui
