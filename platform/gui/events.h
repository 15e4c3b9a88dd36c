// The platform's event numbers, key codes and the application event queue.
//
// Qt input on our windows is turned into platform events and queued; the
// dialog loop fetches them with AppEvent and hands each to the target's
// handleEvent, which runs the callbacks. All of it runs on the GUI thread.
#pragma once

#include "platform/runtime/value.h"

class QKeyEvent;

namespace gui {

namespace ev {
constexpr int None = 0;
constexpr int Keyboard = 1048580;
// Mouse events of a window (mp1: position {x, y} with y growing upwards).
constexpr int Motion = 1048976;
constexpr int LbDown = 1048977;
constexpr int LbUp = 1048978;
constexpr int LbClick = 1048979;
constexpr int LbDblClick = 1048980;
constexpr int Wheel = 1048981;  // queued while the wheel turns; paint may skip a redraw
constexpr int RbDown = 1048982;
constexpr int RbUp = 1048983;
constexpr int RbClick = 1048984;
// Window events.
constexpr int SetInputFocus = 1048590;
constexpr int KillInputFocus = 1048591;
constexpr int Resize = 1048592;
constexpr int Close = 1048593;
constexpr int Paint = 1048594;
// Browse events.
constexpr int ItemSelected = 1048700;
constexpr int ItemMarked = 1048701;
constexpr int ItemRbDown = 1048702;
constexpr int HFLbDown = 1048703;
constexpr int Navigate = 1048704;
constexpr int User = 134217728;
}  // namespace ev

namespace key {
constexpr int Backspace = 8;
constexpr int Tab = 9;
constexpr int Enter = 13;
constexpr int Esc = 27;
constexpr int Space = 32;
constexpr int Vk = 65536;  // virtual-key codes are offset by this
constexpr int ShiftFlag = 524288;
constexpr int CtrlFlag = 131072;
constexpr int AltFlag = 262144;
constexpr int VkShift = Vk + 16;
constexpr int VkCtrl = Vk + 17;
constexpr int VkAlt = Vk + 18;
constexpr int PgUp = Vk + 33;
constexpr int PgDn = Vk + 34;
constexpr int End = Vk + 35;
constexpr int Home = Vk + 36;
constexpr int Left = Vk + 37;
constexpr int Up = Vk + 38;
constexpr int Right = Vk + 39;
constexpr int Down = Vk + 40;
constexpr int Ins = Vk + 45;
constexpr int Del = Vk + 46;
constexpr int F1 = Vk + 112;  // F1..F12 follow
}  // namespace key

// The platform key code of a Qt key event, 0 for a bare modifier or a key
// we do not map:
//   printable text                 its code point ('a' 97, 'A' 65, 'ñ' 241)
//   Enter, Tab, Backspace, Escape  13, 9, 8, 27 (alone)
//   Ctrl+letter                    1 to 26
//   other keys and combinations    Vk + virtual-key code, plus ShiftFlag,
//                                  CtrlFlag, AltFlag as held (Shift+Down
//                                  589864, Ctrl+Down 196648, Shift+Tab
//                                  589833, Ctrl+Enter 196621)
[[nodiscard]] int keyCode(const QKeyEvent& e);
// Shift, Ctrl, Alt, Meta and the lock keys: pressed alone they type nothing.
[[nodiscard]] bool isModifierKey(int qtKey);

// Queue. target is the window object (or NIL). timeout in hundredths of a
// second; 0 waits without limit. Qt's own events are processed while waiting.
// Events come out in the order they were posted. Without a Qt application
// appEvent does not wait.
//
// Registered as functions: PostAppEvent(nEvent, mp1, mp2, oXbp) returns
// .T.; AppEvent(aOut, , , nTimeout) returns the event number (0 on timeout)
// and, when its first argument is an array, fills it with { mp1, mp2, oXbp }
// (compiled text has no by-reference arguments); NextAppEvent(aOut) the same
// without removing the event.
void postAppEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2, const rt::Value& target);
// The same with the modifiers of the input it stands for (an event put
// back in the queue keeps its own).
void postAppEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2, const rt::Value& target, int modifiers);
int appEvent(rt::Value& mp1, rt::Value& mp2, rt::Value& target, int timeout);
[[nodiscard]] std::size_t appEventCount() noexcept;
void clearAppEvents();
// The next queued event without removing it (ev::None when empty).
int nextAppEvent(rt::Value* mp1 = nullptr, rt::Value* mp2 = nullptr, rt::Value* target = nullptr);
// Fetches and dispatches (handleEvent) queued events until the queue is
// empty; processes Qt events first. Returns the number dispatched.
int dispatchPending();
// Gives the keyboard focus to a window object's widget; returns the object
// that had it (NIL when none of ours).
rt::Value setAppFocus(const rt::Value& window);
[[nodiscard]] rt::Value appFocus();
// 1 while the virtual key (VkShift, VkCtrl, VkAlt) is held, else 0.
// Input events carry the modifiers held when they were made; the events
// they post keep them, and while such an event is handled (fetched last by
// appEvent, or dispatched) appKeyState answers with them.
[[nodiscard]] int appKeyState(int vkCode);
constexpr int kUnknownModifiers = -1;
// The modifiers (Qt::KeyboardModifiers) of the event being handled, or
// kUnknownModifiers when it was not made by input.
[[nodiscard]] int appEventModifiers() noexcept;

// Registers PostAppEvent, AppEvent, NextAppEvent, SetAppFocus, AppKeyState,
// the graphics functions and the platform classes' constructors by name.
void registerGuiFunctions();

}  // namespace gui
