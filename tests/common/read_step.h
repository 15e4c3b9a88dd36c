// Steps of a test that drives a running read: each runs from the read's
// own event loop once the events queued ahead of it, and those they queue in
// turn, were handled.
#pragma once

#include "platform/dialog/dialog.h"
#include "platform/gui/events.h"
#include "platform/runtime/object.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>
#include <utility>

namespace testread {

class Step final : public rt::Object {
public:
    explicit Step(std::function<void()> f) : fn_(std::move(f)) {}
    [[nodiscard]] const rt::ClassInfo& classInfo() const override
    {
        static const rt::ClassInfo cls = [] {
            rt::ClassInfo c("TestReadStep");
            c.method<Step>("handleEvent", [](Step& s, rt::Args) { s.run(); });
            return c;
        }();
        return cls;
    }

private:
    void run()
    {
        if (gui::appEventCount() > 0 && deferrals_++ < 100) {
            gui::postAppEvent(gui::ev::User, rt::Value(), rt::Value(), rt::Value(static_cast<rt::Object*>(this)));
            return;
        }
        fn_();
    }
    std::function<void()> fn_;
    int deferrals_ = 0;
};

// Queues `next` as a step.
inline void then(std::function<void()> next)
{
    gui::postAppEvent(gui::ev::User, rt::Value(), rt::Value(), rt::Value(static_cast<rt::Object*>(new Step(std::move(next)))));
}

// A read a test fails to end is ended after `ms` (and the test failed)
// rather than hanging the run; a box opened over the read goes first.
inline void startReadWatchdog(QTimer& watchdog, int ms = 20000)
{
    watchdog.setInterval(ms);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget()); box && box != dlg::activeDialog())
            box->reject();
        if (QDialog* d = dlg::activeDialog()) {
            ADD_FAILURE() << "a read was left running";
            d->reject();
        }
    });
    watchdog.start();
}

}  // namespace testread
