#include "platform/gui/timer.h"

#include "platform/runtime/block.h"
#include "platform/runtime/error.h"

#include <QTimer>

#include <algorithm>

namespace gui {

namespace {
rt::ClassInfo makeTimerClass()
{
    rt::ClassInfo c("RK_SetTimerEvent");
    using T = SetTimerEvent;
    c.method<T>("init", [](T& o, rt::Args a) { return o.init(a); });
    c.method<T>("destroy", [](T& o, rt::Args) { return o.destroy(); });
    c.method<T>("isActive", [](T& o, rt::Args) { return o.isActive(); });
    c.addVar("interval", [](rt::Object& o) { return static_cast<T&>(o).interval; });
    c.addVar("block", [](rt::Object& o) { return static_cast<T&>(o).block; });
    c.field<T>("cargo", &T::cargo);
    return c;
}
}  // namespace

SetTimerEvent::SetTimerEvent() = default;

SetTimerEvent::~SetTimerEvent() { stop(); }

const rt::ClassInfo& SetTimerEvent::staticClass()
{
    static const rt::ClassInfo cls = makeTimerClass();
    return cls;
}

const rt::ClassInfo& SetTimerEvent::classInfo() const { return staticClass(); }

rt::Value SetTimerEvent::init(rt::Args a)
{
    const rt::Value& n = rt::argAt(a, 0);
    const rt::Value& b = rt::argAt(a, 1);
    if (!n.isNum() || n.asDouble() < 1 || !b.isBlock())
        rt::raiseArg("RK_SetTimerEvent:new", a);
    destroy();
    interval = n;
    block = b;
    // Hundredths of a second; at most a day, so the milliseconds fit an int.
    const int ms = int(std::min(n.asDouble(), 8640000.0) * 10);
    timer_ = new QTimer();
    timer_->setInterval(ms);
    // The connection keeps the object alive until destroy, as the timer must
    // run even when nobody holds it.
    QObject::connect(timer_, &QTimer::timeout, [this, keep = self()] { tick(); });
    timer_->start();
    return self();
}

rt::Value SetTimerEvent::destroy()
{
    const rt::Value keep = self();
    stop();
    return keep;
}

void SetTimerEvent::stop() noexcept
{
    if (!timer_)
        return;
    timer_->stop();
    // The connection's reference goes with the QTimer, once control is back
    // in the event loop (destroy may run inside tick).
    timer_->deleteLater();
    timer_ = nullptr;
}

bool SetTimerEvent::isActive() const noexcept { return timer_ && timer_->isActive(); }

void SetTimerEvent::tick()
{
    // The block may destroy the timer or drop the last reference to it.
    const rt::Value keep = self();
    const rt::Value b = block;
    rt::runReporting([&] { rt::evalWith(b, keep); });
}

}  // namespace gui
