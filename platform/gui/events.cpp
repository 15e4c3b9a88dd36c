#include "platform/gui/events.h"

#include "platform/gui/widgetbase.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/error.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QTimer>
#include <QWheelEvent>

#include <deque>

namespace gui {

namespace {
struct QueuedEvent {
    int nEvent;
    rt::Value mp1, mp2, target;
    int modifiers = kUnknownModifiers;  // of the input that made it
};

// The modifiers of the Qt input event being translated now: the events it
// posts carry them.
int gTranslating = kUnknownModifiers;
// The modifiers of the event being handled: fetched last by appEvent, or
// being dispatched by dispatchPending.
int gHandling = kUnknownModifiers;

// Holds `slot` at `value` for a scope.
class ScopedModifiers {
public:
    ScopedModifiers(int& slot, int value) : slot_(slot), saved_(slot) { slot_ = value; }
    ~ScopedModifiers() { slot_ = saved_; }
    ScopedModifiers(const ScopedModifiers&) = delete;
    ScopedModifiers& operator=(const ScopedModifiers&) = delete;

private:
    int& slot_;
    int saved_;
};

bool isInput(QEvent::Type t)
{
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease: return true;
    default: return false;
    }
}

std::deque<QueuedEvent>& queue()
{
    static std::deque<QueuedEvent> q;
    return q;
}

// Qt keys that the platform reports as virtual-key codes.
int virtualKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Pause: return 19;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 112 + (qtKey - Qt::Key_F1);
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return qtKey;  // VK codes of digits and letters are their ASCII codes
    return 0;
}

// Keys that are navigation or editing keys even though Qt gives them text.
bool isControlKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Backspace:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Delete: return true;
    default: return false;
    }
}

int plainControlCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Backspace: return key::Backspace;
    case Qt::Key_Tab: return key::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return key::Enter;
    case Qt::Key_Escape: return key::Esc;
    default: return 0;
    }
}

// Qt passes input a widget ignores on to its parent; the platform reports it
// to the innermost window object only. True when `w` is the innermost bound
// widget at `p` (its own coordinates).
bool innermostAt(QWidget* w, QPointF p)
{
    for (QWidget* c = w ? w->childAt(p.toPoint()) : nullptr; c && c != w; c = c->parentWidget())
        if (XbpPart::fromWidget(c))
            return false;
    return true;
}

// True when `w` is the bound widget nearest to the focus widget.
bool ownsFocus(QWidget* w)
{
    for (QWidget* f = QApplication::focusWidget(); f; f = f->parentWidget())
        if (f == w || XbpPart::fromWidget(f))
            return f == w;
    return true;  // a key sent straight to the widget (no focus widget)
}

rt::Value mousePos(const XbpPart& part, QPointF p)
{
    const auto [x, y] = part.fromQt(p.toPoint());
    return pairValue(x, y);
}
}  // namespace

// --- key codes

bool isModifierKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock: return true;
    default: return false;
    }
}

int keyCode(const QKeyEvent& e)
{
    const int k = e.key();
    if (isModifierKey(k))
        return 0;
    const Qt::KeyboardModifiers m = e.modifiers();
    const bool shift = m & Qt::ShiftModifier;
    const bool ctrl = m & Qt::ControlModifier;
    const bool alt = m & Qt::AltModifier;
    const int flags = (shift ? key::ShiftFlag : 0) | (ctrl ? key::CtrlFlag : 0) | (alt ? key::AltFlag : 0);

    if (isControlKey(k)) {
        const int plain = plainControlCode(k);
        if (plain && !shift && !ctrl && !alt)
            return plain;
        if (k == Qt::Key_Backtab)
            return key::Vk + 9 + key::ShiftFlag + (flags & ~key::ShiftFlag);
        return key::Vk + virtualKey(k) + flags;
    }
    // Ctrl+letter is the control character, as on a terminal.
    if (ctrl && !alt && k >= Qt::Key_A && k <= Qt::Key_Z)
        return shift ? key::Vk + k + flags : k - Qt::Key_A + 1;
    if (!ctrl && !alt) {
        const QString text = e.text();
        if (!text.isEmpty()) {
            const char32_t cp = text.size() >= 2 && text[0].isHighSurrogate()
                                    ? QChar::surrogateToUcs4(text[0], text[1])
                                    : char32_t(text[0].unicode());
            if (cp >= 32 && cp != 127)
                return int(cp);
        }
    }
    const int vk = virtualKey(k);
    if (vk == 0)
        return 0;
    if (vk == 32 && !ctrl && !alt)
        return key::Space;
    return key::Vk + vk + flags;
}

// --- queue

void postAppEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2, const rt::Value& target)
{
    postAppEvent(nEvent, mp1, mp2, target, gTranslating);
}

void postAppEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2, const rt::Value& target, int modifiers)
{
    queue().push_back({nEvent, mp1, mp2, target, modifiers});
    // Wake an appEvent() that sleeps in the Qt event loop.
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::postEvent(app, new QEvent(QEvent::User));
}

std::size_t appEventCount() noexcept { return queue().size(); }

void clearAppEvents() { queue().clear(); }

int appEventModifiers() noexcept { return gHandling; }

int appEvent(rt::Value& mp1, rt::Value& mp2, rt::Value& target, int timeout)
{
    gHandling = kUnknownModifiers;  // the event fetched before is done with
    if (QCoreApplication::instance()) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const QDeadlineTimer deadline =
            timeout > 0 ? QDeadlineTimer(qint64(timeout) * 10) : QDeadlineTimer(QDeadlineTimer::Forever);
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        while (queue().empty()) {
            // Re-armed each round: a timer may fire a little early, and a
            // wait with nothing left to wake it would never return.
            const qint64 left = deadline.remainingTime();
            if (left == 0)
                break;
            if (left > 0)
                wake.start(int(std::min<qint64>(left, INT32_MAX)));
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
        }
    }
    if (queue().empty()) {
        mp1 = mp2 = target = rt::Value();
        return ev::None;
    }
    QueuedEvent e = std::move(queue().front());
    queue().pop_front();
    gHandling = e.modifiers;
    mp1 = std::move(e.mp1);
    mp2 = std::move(e.mp2);
    target = std::move(e.target);
    return e.nEvent;
}

int nextAppEvent(rt::Value* mp1, rt::Value* mp2, rt::Value* target)
{
    if (queue().empty())
        return ev::None;
    const QueuedEvent& e = queue().front();
    if (mp1)
        *mp1 = e.mp1;
    if (mp2)
        *mp2 = e.mp2;
    if (target)
        *target = e.target;
    return e.nEvent;
}

int dispatchPending()
{
    if (QCoreApplication::instance()) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    int n = 0;
    // Only the events queued now: a handler that posts again does not loop forever.
    for (std::size_t todo = queue().size(); todo > 0 && !queue().empty(); --todo) {
        QueuedEvent e = std::move(queue().front());
        queue().pop_front();
        // Input that was queued before its window was destroyed is dropped:
        // its callbacks would act on a window that no longer exists.
        const XbpPart* p = asPart(e.target);
        if (p && p->status != XbpPart::Created && e.nEvent < ev::User)
            continue;
        const ScopedModifiers handling(gHandling, e.modifiers);
        // By name, so a class that overrides handleEvent gets the event.
        if (e.target.isObject())
            rt::sendWith(e.target, "handleEvent", e.nEvent, e.mp1, e.mp2);
        ++n;
    }
    return n;
}

// --- focus and keys

rt::Value setAppFocus(const rt::Value& window)
{
    rt::Value previous = appFocus();
    if (XbpPart* p = asPart(window); p && p->widget()) {
        p->widget()->setFocus(Qt::OtherFocusReason);
        if (QWidget* top = p->widget()->window())
            top->activateWindow();
    }
    return previous;
}

rt::Value appFocus()
{
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (XbpPart* p = XbpPart::fromWidget(w))
            return p->self();
    return {};
}

// The modifiers of the input being handled when there is one, so that a
// click handled after later input was queued still sees the keys held when
// it was made; else the keyboard's state now.
int appKeyState(int vkCode)
{
    const int known = gTranslating != kUnknownModifiers ? gTranslating : gHandling;
    const Qt::KeyboardModifiers m = known != kUnknownModifiers ? Qt::KeyboardModifiers(known)
                                                               : QGuiApplication::queryKeyboardModifiers();
    switch (vkCode) {
    case key::VkShift: return (m & Qt::ShiftModifier) ? 1 : 0;
    case key::VkCtrl: return (m & Qt::ControlModifier) ? 1 : 0;
    case key::VkAlt: return (m & Qt::AltModifier) ? 1 : 0;
    default: return 0;
    }
}

// --- Qt input to platform events

namespace {

// Whether a Qt input event is this part's: the mouse over no inner part,
// the keyboard with the focus in it.
bool reachesPart(QWidget* w, QEvent* e)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: return innermostAt(w, static_cast<QMouseEvent*>(e)->position());
    case QEvent::Wheel: return innermostAt(w, static_cast<QWheelEvent*>(e)->position());
    case QEvent::KeyPress: return ownsFocus(w);
    default: return true;
    }
}

// The platform events of a mouse button or move.
void postMouse(XbpPart& part, QMouseEvent* me)
{
    const rt::Value none;
    const rt::Value at = mousePos(part, me->position());
    const rt::Value self = part.self();
    const Qt::MouseButton button = me->button();
    switch (me->type()) {
    case QEvent::MouseButtonPress:
        if (button == Qt::LeftButton)
            postAppEvent(ev::LbDown, at, none, self);
        else if (button == Qt::RightButton)
            postAppEvent(ev::RbDown, at, none, self);
        break;
    case QEvent::MouseButtonRelease: {
        const bool inside = part.widget() && part.widget()->rect().contains(me->position().toPoint());
        if (button == Qt::LeftButton) {
            postAppEvent(ev::LbUp, at, none, self);
            if (inside)
                postAppEvent(ev::LbClick, at, none, self);
        } else if (button == Qt::RightButton) {
            postAppEvent(ev::RbUp, at, none, self);
            if (inside)
                postAppEvent(ev::RbClick, at, none, self);
        }
        break;
    }
    case QEvent::MouseButtonDblClick:
        if (button == Qt::LeftButton)
            postAppEvent(ev::LbDblClick, at, none, self);
        break;
    case QEvent::MouseMove: postAppEvent(ev::Motion, at, none, self); break;
    default: break;
    }
}

}  // namespace

bool XbpPart::translateEvent(QEvent* e)
{
    const ScopedModifiers translating(
        gTranslating, isInput(e->type()) ? int(static_cast<QInputEvent*>(e)->modifiers().toInt()) : gTranslating);
    if (!reachesPart(widget_, e))
        return false;
    const rt::Value none;
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: postMouse(*this, static_cast<QMouseEvent*>(e)); return false;
    case QEvent::Wheel: {
        auto* we = static_cast<QWheelEvent*>(e);
        postAppEvent(ev::Wheel, mousePos(*this, we->position()), pairValue(0, we->angleDelta().y()), self());
        return false;
    }
    case QEvent::KeyPress: {
        if (const int code = keyCode(*static_cast<QKeyEvent*>(e)))
            postAppEvent(ev::Keyboard, code, none, self());
        return false;
    }
    case QEvent::FocusIn:
        postAppEvent(ev::SetInputFocus, none, none, self());
        return false;
    case QEvent::FocusOut:
        postAppEvent(ev::KillInputFocus, none, none, self());
        return false;
    case QEvent::Resize: {
        auto* re = static_cast<QResizeEvent*>(e);
        if (re->oldSize().isValid() && re->oldSize() != re->size()) {
            postAppEvent(ev::Resize, pairValue(re->oldSize().width(), re->oldSize().height()),
                         pairValue(re->size().width(), re->size().height()), self());
            // Children keep their distance to the bottom edge.
            for (XbpPart* child : children())
                child->placeWidget();
        }
        return false;
    }
    case QEvent::Close:
        // The window stays: the close callback decides (destroy ends it).
        postAppEvent(ev::Close, none, none, self());
        e->ignore();
        return true;
    default: return false;
    }
}

}  // namespace gui
