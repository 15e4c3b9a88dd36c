// RK_SetTimerEvent: runs a block on the GUI thread every interval until
// destroy. new(nInterval, bBlock), the interval in hundredths of a second.
// Errors raised by the block go to the standard error handler; the timer
// keeps running.
#pragma once

#include "platform/runtime/object.h"

#include <memory>

class QTimer;

namespace gui {

class SetTimerEvent : public rt::Object {
public:
    SetTimerEvent();
    ~SetTimerEvent() override;
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    [[nodiscard]] rt::Value self() { return rt::Value(static_cast<rt::Object*>(this)); }

    // Starts the timer; an interval below 1 or a non-block raises an
    // argument error. A running timer is restarted with the new values.
    rt::Value init(rt::Args a);
    rt::Value destroy();
    [[nodiscard]] bool isActive() const noexcept;

    rt::Value interval, block, cargo;

private:
    void tick();
    void stop() noexcept;
    QTimer* timer_ = nullptr;  // deleted later: destroy may run inside tick()
};

}  // namespace gui
