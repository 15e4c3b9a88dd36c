#include "platform/grid/scrollbar.h"

#include "platform/gui/events.h"
#include "platform/gui/widgetbase.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"

#include <QScrollBar>

#include <climits>

namespace gui {

namespace {
// The bar's own scale; wider platform ranges are mapped onto it.
constexpr long long kBarSpan = 1000000000;

rt::ClassInfo makeClass()
{
    using S = XbpScrollBar;
    rt::ClassInfo c("XbpScrollBar", {&XbpPart::staticClass()});
    c.field<S>("type", &S::type);
    c.field<S>("scrollBoxSize", &S::scrollBoxSize);
    c.field<S>("autoTrack", &S::autoTrack);
    c.field<S>("useVisualStyle", &S::useVisualStyle);
    c.field<S>("isVisualStyle", &S::isVisualStyle);
    c.callback<S>("scroll", &S::cbScroll, [](S& o, rt::Args a) -> rt::Value {
        if (!o.cbScroll.isBlock())
            return {};
        return rt::evalWith(o.cbScroll, rt::argAt(a, 0), rt::argAt(a, 1), o.self());
    });
    c.method<S>("setData", [](S& o, rt::Args a) {
        const long long previous = o.data();
        if (rt::argAt(a, 0).isNum())
            o.setData(a[0].asInt());
        return rt::Value(previous);
    });
    c.method<S>("getData", [](S& o, rt::Args) { return rt::Value(o.data()); });
    c.method<S>("setRange", [](S& o, rt::Args a) {
        rt::Value previous = rt::makeArray({o.rangeMin(), o.rangeMax()});
        if (const auto r = pairOf(rt::argAt(a, 0)))
            o.setRange(r->x(), r->y());
        return previous;
    });
    c.method<S>("setScrollBoxSize", [](S& o, rt::Args a) {
        const rt::Value previous = o.scrollBoxSize;
        if (rt::argAt(a, 0).isNum())
            o.setScrollBoxSize(a[0].asInt());
        return previous;
    });
    return c;
}

int commandOf(int action)
{
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return sb::PrevPos;
    case QAbstractSlider::SliderSingleStepAdd: return sb::NextPos;
    case QAbstractSlider::SliderPageStepSub: return sb::PrevPage;
    case QAbstractSlider::SliderPageStepAdd: return sb::NextPage;
    case QAbstractSlider::SliderMove: return sb::SliderTrack;
    default: return sb::SliderPos;
    }
}
}  // namespace

XbpScrollBar::XbpScrollBar() : type(sb::Vertical), scrollBoxSize(1), autoTrack(true), useVisualStyle(true), isVisualStyle(true) {}

const rt::ClassInfo& XbpScrollBar::staticClass()
{
    static const rt::ClassInfo cls = makeClass();
    return cls;
}

const rt::ClassInfo& XbpScrollBar::classInfo() const { return staticClass(); }

int XbpScrollBar::kind() const
{
    return type.isNum() && type.asInt() == sb::Horizontal ? sb::Horizontal : sb::Vertical;
}

QScrollBar* XbpScrollBar::bar() const { return qobject_cast<QScrollBar*>(widget_.data()); }

rt::Value XbpScrollBar::create(rt::Args a)
{
    takeGeometryArgs(a);
    auto* w = new PartWidget<QScrollBar>(kind() == sb::Horizontal ? Qt::Horizontal : Qt::Vertical);
    w->setFocusPolicy(Qt::NoFocus);
    QObject::connect(w, &QAbstractSlider::actionTriggered, w, [this, w](int action) {
        if (applying_ || action == QAbstractSlider::SliderNoAction)
            return;
        postAppEvent(sb::ScrollEvent, rt::makeArray({fromBar(w->sliderPosition()), commandOf(action)}), {}, self());
    });
    QObject::connect(w, &QAbstractSlider::sliderReleased, w, [this, w] {
        postAppEvent(sb::ScrollEvent, rt::makeArray({fromBar(w->sliderPosition()), sb::EndTrack}), {}, self());
    });
    adoptWidget(w);
    applyToBar();
    return self();
}

rt::Value XbpScrollBar::configure(rt::Args a)
{
    XbpPart::configure(a);
    if (QScrollBar* b = bar())
        b->setOrientation(kind() == sb::Horizontal ? Qt::Horizontal : Qt::Vertical);
    applyToBar();
    return self();
}

rt::Value XbpScrollBar::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    if (nEvent != sb::ScrollEvent)
        return XbpPart::handleEvent(nEvent, mp1, mp2);
    if (mp1.isArray() && mp1.asArray().size() >= 2 && mp1.asArray().items[0].isNum() &&
        mp1.asArray().items[1].isNum()) {
        const long long pos = mp1.asArray().items[0].asInt();
        const int command = int(mp1.asArray().items[1].asInt());
        if (command == sb::SliderTrack || command == sb::EndTrack || command == sb::SliderPos)
            pos_ = std::clamp(pos, lo_, std::max(lo_, hi_));
        if (onScroll)
            onScroll(command, pos);
    }
    return fire("scroll", mp1, mp2);
}

void XbpScrollBar::setRange(long long lo, long long hi)
{
    lo_ = lo;
    hi_ = std::max(lo, hi);
    pos_ = std::clamp(pos_, lo_, hi_);
    applyToBar();
}

void XbpScrollBar::setData(long long pos)
{
    pos_ = std::clamp(pos, lo_, hi_);
    applyToBar();
}

long long XbpScrollBar::data() const { return pos_; }

void XbpScrollBar::setScrollBoxSize(long long n)
{
    scrollBoxSize = rt::Value(std::max(1LL, n));
    applyToBar();
}

int XbpScrollBar::toBar(long long pos) const
{
    const long long span = hi_ - lo_;
    if (span <= kBarSpan)
        return int(pos - lo_);
    return int(double(pos - lo_) * double(kBarSpan) / double(span));
}

long long XbpScrollBar::fromBar(int v) const
{
    const long long span = hi_ - lo_;
    if (span <= kBarSpan)
        return lo_ + v;
    return lo_ + (long long)(double(v) * double(span) / double(kBarSpan));
}

void XbpScrollBar::applyToBar()
{
    QScrollBar* b = bar();
    if (!b)
        return;
    applying_ = true;
    const long long span = hi_ - lo_;
    const int top = int(std::min(span, kBarSpan));
    b->setRange(0, top);
    long long box = scrollBoxSize.isNum() ? std::max(1LL, (long long)scrollBoxSize.asInt()) : 1;
    if (span > kBarSpan)
        box = std::max(1LL, box * kBarSpan / span);
    b->setPageStep(int(std::min<long long>(box, INT_MAX / 2)));
    if (!b->isSliderDown())
        b->setValue(toBar(pos_));
    applying_ = false;
}

}  // namespace gui
