// Window objects, the event queue, key codes and timers, driven by real Qt
// key and mouse events on the offscreen platform.
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/gui/functions.h"
#include "platform/gui/static.h"
#include "platform/gui/timer.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <vector>

namespace {

using rt::Value;

struct Fired {
    int nEvent;
    Value mp1, mp2;
};

// A window object that records what handleEvent receives.
class RecordingPart final : public gui::XbpPart {
public:
    Value handleEvent(int nEvent, const Value& mp1, const Value& mp2) override
    {
        fired.push_back({nEvent, mp1, mp2});
        return XbpPart::handleEvent(nEvent, mp1, mp2);
    }
    std::vector<Fired> fired;
};

class GuiBase : public ::testing::Test {
protected:
    void SetUp() override
    {
        gui::registerGuiFunctions();
        gui::clearAppEvents();
    }
    void TearDown() override
    {
        for (Value& v : made)
            if (auto* p = gui::asPart(v))
                p->destroy();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        gui::clearAppEvents();
    }

    template <class T = gui::XbpPart>
    T& make(Value parent, QPoint pos, QSize size)
    {
        made.emplace_back(static_cast<rt::Object*>(new T()));
        T& part = static_cast<T&>(made.back().asObject());
        const Value args[] = {parent, Value(), gui::pairValue(pos.x(), pos.y()),
                              gui::pairValue(size.width(), size.height())};
        part.create(rt::Args(args, 4));
        return part;
    }

    // The keyboard codes queued since the last call, other events dropped.
    static std::vector<int> queuedKeys()
    {
        std::vector<int> keys;
        Value mp1, mp2, target;
        while (gui::nextAppEvent() != gui::ev::None) {
            if (gui::appEvent(mp1, mp2, target, 1) == gui::ev::Keyboard)
                keys.push_back(int(mp1.asInt()));
        }
        return keys;
    }

    std::vector<Value> made;
};

// --- key codes through real key events

struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    int code;
};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class KeyCodes : public GuiBase, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyCodes, QueuedAsPlatformCode)
{
    const KeyCase& c = GetParam();
    auto& part = make(Value(), {0, 0}, {50, 20});
    QWidget* w = part.widget();
    w->setFocusPolicy(Qt::StrongFocus);
    w->show();
    QTest::keyClick(w, c.key, c.mods);
    const std::vector<int> want = c.code < 0 ? std::vector<int>{} : std::vector<int>{c.code};
    EXPECT_EQ(queuedKeys(), want) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeyCodes,
    ::testing::Values(KeyCase{"ShiftDown", Qt::Key_Down, Qt::ShiftModifier, 589864},
                      KeyCase{"CtrlDown", Qt::Key_Down, Qt::ControlModifier, 196648},
                      KeyCase{"ShiftDelete", Qt::Key_Delete, Qt::ShiftModifier, 589870},
                      KeyCase{"Down", Qt::Key_Down, Qt::NoModifier, 65536 + 40},
                      KeyCase{"CtrlShiftEnd", Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier,
                              65536 + 35 + 524288 + 131072},
                      KeyCase{"Enter", Qt::Key_Return, Qt::NoModifier, 13},
                      KeyCase{"KeypadEnter", Qt::Key_Enter, Qt::KeypadModifier, 13},
                      KeyCase{"Tab", Qt::Key_Tab, Qt::NoModifier, 9},
                      KeyCase{"ShiftTab", Qt::Key_Backtab, Qt::ShiftModifier, 589833},
                      KeyCase{"Backspace", Qt::Key_Backspace, Qt::NoModifier, 8},
                      KeyCase{"Escape", Qt::Key_Escape, Qt::NoModifier, 27},
                      KeyCase{"CtrlEnter", Qt::Key_Return, Qt::ControlModifier, 65536 + 13 + 131072},
                      KeyCase{"F1", Qt::Key_F1, Qt::NoModifier, 65536 + 112},
                      KeyCase{"PageDown", Qt::Key_PageDown, Qt::NoModifier, 65536 + 34},
                      KeyCase{"LetterA", Qt::Key_A, Qt::NoModifier, 'a'},
                      KeyCase{"CtrlA", Qt::Key_A, Qt::ControlModifier, 1},
                      KeyCase{"Digit", Qt::Key_7, Qt::NoModifier, '7'},
                      KeyCase{"Space", Qt::Key_Space, Qt::NoModifier, 32},
                      KeyCase{"BareShift", Qt::Key_Shift, Qt::ShiftModifier, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GuiBase, AccentedAndNonLatinCharactersArriveAsCodePoints)
{
    auto& part = make(Value(), {0, 0}, {50, 20});
    QWidget* w = part.widget();
    w->setFocusPolicy(Qt::StrongFocus);
    w->show();
    for (const char* text : {"ñ", "É", "€", "ü"})
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString::fromUtf8(text), Qt::NoModifier);
    // Shift with a letter: the platform sends the capital as text.
    QTest::sendKeyEvent(QTest::Click, w, Qt::Key_A, QStringLiteral("A"), Qt::ShiftModifier);
    EXPECT_EQ(queuedKeys(), (std::vector<int>{0xF1, 0xC9, 0x20AC, 0xFC, 'A'}));
}

// --- mouse, queue and handleEvent

TEST_F(GuiBase, ClickOnStaticReachesLbClickThroughQueue)
{
    auto& top = make(Value(), {0, 0}, {200, 100});
    auto& label = make<gui::XbpStatic>(top.self(), {10, 20}, {80, 30});
    Value seen;
    rt::setMember(label.self(), "lbClick", rt::makeBlock([&](rt::Args a) {
                      seen = rt::makeArray({rt::argAt(a, 0), rt::argAt(a, 2)});
                  }));
    top.widget()->show();
    QTest::mouseClick(label.widget(), Qt::LeftButton, {}, QPoint(5, 4));
    ASSERT_TRUE(seen.isNil()) << "callbacks run only when the queue is dispatched";

    // The dialog loop: fetch, then hand to the target's handleEvent.
    Value mp1, mp2, target;
    int n;
    std::vector<int> order;
    while ((n = gui::appEvent(mp1, mp2, target, 1)) != gui::ev::None) {
        order.push_back(n);
        rt::sendWith(target, "handleEvent", n, mp1, mp2);
    }
    const std::vector<int> mouse = [&] {
        std::vector<int> m;
        for (int e : order)
            if (e == gui::ev::LbDown || e == gui::ev::LbUp || e == gui::ev::LbClick)
                m.push_back(e);
        return m;
    }();
    EXPECT_EQ(mouse, (std::vector<int>{gui::ev::LbDown, gui::ev::LbUp, gui::ev::LbClick}));
    ASSERT_TRUE(seen.isArray());
    const auto& pos = seen.asArray().at1(1).asArray();
    EXPECT_EQ(pos.at1(1).asInt(), 5);
    EXPECT_EQ(pos.at1(2).asInt(), 30 - 1 - 4) << "y counts upwards from the bottom row";
    EXPECT_EQ(seen.asArray().at1(2).cell(), label.self().cell());
}

TEST_F(GuiBase, PostAppEventKeepsOrderAndNextAppEventPeeks)
{
    auto& part = make<RecordingPart>(Value(), {0, 0}, {10, 10});
    for (int i = 1; i <= 3; ++i)
        gui::postAppEvent(gui::ev::User + i, i * 10, Value(), part.self());
    Value mp1;
    EXPECT_EQ(gui::nextAppEvent(&mp1), gui::ev::User + 1);
    EXPECT_EQ(mp1.asInt(), 10);
    EXPECT_EQ(gui::appEventCount(), 3u);
    EXPECT_EQ(gui::dispatchPending(), 3);
    ASSERT_EQ(part.fired.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(part.fired[i].nEvent, gui::ev::User + i + 1);
        EXPECT_EQ(part.fired[i].mp1.asInt(), (i + 1) * 10);
    }
}

TEST_F(GuiBase, AppEventTimesOutWithZero)
{
    Value mp1 = 5, mp2 = 6, target = 7;
    EXPECT_EQ(gui::appEvent(mp1, mp2, target, 1), 0);
    EXPECT_TRUE(mp1.isNil() && mp2.isNil() && target.isNil());
}

TEST_F(GuiBase, RegisteredEventFunctionsFillTheOutArray)
{
    rt::evalText("PostAppEvent(134217728 + 5, 'one', 2)");
    rt::publicSet("aOut", Value::array());
    EXPECT_EQ(rt::evalText("AppEvent(aOut, NIL, NIL, 1)").asInt(), gui::ev::User + 5);
    const Value& out = rt::publicGet("aOut");
    ASSERT_EQ(out.asArray().size(), 3u);
    EXPECT_EQ(out.asArray().at1(1).str(), "one");
    EXPECT_EQ(out.asArray().at1(2).asInt(), 2);
    EXPECT_EQ(rt::evalText("AppEvent(aOut, NIL, NIL, 1)").asInt(), 0);
    EXPECT_THROW(rt::evalText("PostAppEvent('x')"), rt::Error);
    rt::publicRelease("aOut");
}

TEST_F(GuiBase, TimerPostsAnEventThatHandleEventReceives)
{
    auto& part = make<RecordingPart>(Value(), {0, 0}, {10, 10});
    const Value target = part.self();
    int ticks = 0;
    const Value block = rt::makeBlock([&](rt::Args) {
        ++ticks;
        gui::postAppEvent(gui::ev::User + 2000, Value(), Value(), target);
    });
    const Value args[] = {1, block};
    Value timer = gui::newObject("RK_SetTimerEvent", rt::Args(args, 2));
    Value mp1, mp2, to;
    const int n = gui::appEvent(mp1, mp2, to, 500);
    ASSERT_EQ(n, gui::ev::User + 2000);
    gui::asPart(to)->handleEvent(n, mp1, mp2);
    ASSERT_FALSE(part.fired.empty());
    EXPECT_EQ(part.fired.back().nEvent, gui::ev::User + 2000);

    rt::sendWith(timer, "destroy");
    const int after = ticks;
    gui::clearAppEvents();
    gui::appEvent(mp1, mp2, to, 5);
    EXPECT_EQ(ticks, after) << "no tick after destroy";
    EXPECT_EQ(gui::appEventCount(), 0u);
}

TEST_F(GuiBase, TimerRefusesBadArguments)
{
    const Value args[] = {0, rt::makeBlock([](rt::Args) {})};
    EXPECT_THROW(gui::newObject("RK_SetTimerEvent", rt::Args(args, 2)), rt::Error);
    const Value noBlock[] = {10, 5};
    EXPECT_THROW(gui::newObject("RK_SetTimerEvent", rt::Args(noBlock, 2)), rt::Error);
}

// --- geometry, look and life cycle

TEST_F(GuiBase, ChildKeepsItsDistanceToTheBottomWhenTheParentGrows)
{
    auto& top = make(Value(), {0, 0}, {200, 100});
    auto& child = make(top.self(), {10, 5}, {30, 20});
    EXPECT_EQ(child.widget()->geometry(), QRect(10, 100 - 5 - 20, 30, 20));
    top.setSize(QSize(200, 160));
    EXPECT_EQ(child.widget()->y(), 160 - 5 - 20);
    EXPECT_EQ(child.currentPos(), QPoint(10, 5));
    EXPECT_EQ(rt::sendWith(child.self(), "currentSize").asArray().at1(1).asInt(), 30);
}

TEST_F(GuiBase, ColorsAndFontWithoutArgumentReturnTheCurrentValue)
{
    auto& part = make<gui::XbpStatic>(Value(), {0, 0}, {40, 20});
    const Value self = part.self();
    rt::sendWith(self, "setColorFG", 2);
    EXPECT_EQ(rt::sendWith(self, "setColorFG").asInt(), 2);
    EXPECT_EQ(part.widget()->palette().color(QPalette::WindowText), QColor(Qt::red));
    const Value rgb = rt::evalText("GraMakeRGBColor({1, 2, 3})");
    rt::sendWith(self, "setColorBG", rgb);
    EXPECT_EQ(rt::sendWith(self, "setColorBG").asInt(), rgb.asInt());
    rt::sendWith(self, "setFontCompoundName", "9.Arial Bold");
    EXPECT_EQ(rt::sendWith(self, "setFontCompoundName").str(), "9.Arial Bold");
    EXPECT_TRUE(part.widget()->font().bold());
    const Value pp = rt::sendWith(self, "setPresParam");
    EXPECT_EQ(pp.asArray().size(), 3u) << "colours and font show in the presentation list";
}

TEST_F(GuiBase, DeletedWidgetLeavesNoDanglingPointer)
{
    auto& top = make(Value(), {0, 0}, {100, 100});
    auto& child = make(top.self(), {0, 0}, {10, 10});
    EXPECT_EQ(top.children().size(), 1u);
    delete top.widget();  // Qt deletes the child widget with it
    EXPECT_EQ(child.widget(), nullptr);
    EXPECT_EQ(child.status, gui::XbpPart::NotCreated);
    EXPECT_EQ(top.status, gui::XbpPart::NotCreated);
    EXPECT_FALSE(child.isVisible());
}

TEST_F(GuiBase, WidgetHoldsItsObjectUntilDestroy)
{
    Value part = gui::newObject("XbpStatic", {});
    rt::sendWith(part, "create", Value(), Value(), gui::pairValue(0, 0), gui::pairValue(10, 10));
    QPointer<QWidget> w = gui::asPart(part)->widget();
    const rt::HeapCell* cell = part.cell();
    EXPECT_EQ(cell->refCount(), 2) << "the value and the widget";
    part = Value();
    ASSERT_TRUE(w);
    // Qt input still reaches a live object.
    QTest::mouseClick(w, Qt::LeftButton);
    EXPECT_EQ(gui::XbpPart::fromWidget(w)->self().cell(), cell);
    gui::XbpPart::fromWidget(w)->destroy();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w);
    gui::clearAppEvents();  // the queued mouse events held the last references
}

TEST_F(GuiBase, DestroyInsideACallbackIsSafe)
{
    auto& part = make<gui::XbpStatic>(Value(), {0, 0}, {20, 20});
    rt::setMember(part.self(), "lbDown", rt::makeBlock([](rt::Args a) { rt::sendWith(rt::argAt(a, 2), "destroy"); }));
    part.widget()->show();
    QTest::mousePress(part.widget(), Qt::LeftButton);
    gui::dispatchPending();
    EXPECT_EQ(part.status, gui::XbpPart::NotCreated);
    EXPECT_EQ(part.widget(), nullptr);
}

TEST_F(GuiBase, CompiledTextMakesAStaticWithChildList)
{
    rt::publicSet("oTop", make(Value(), {0, 0}, {100, 50}).self());
    const Value st = rt::evalText(
        "XbpStatic():new(oTop, NIL, {5, 6}, {12, 12}):create()");
    EXPECT_EQ(rt::sendWith(st, "classname").str(), "XbpStatic");
    EXPECT_TRUE(rt::isDerivedFrom(st, "XbpWindow"));
    EXPECT_EQ(rt::sendWith(st, "status").asInt(), 1);
    const Value kids = rt::evalText("oTop:childList()");
    ASSERT_EQ(kids.asArray().size(), 1u);
    EXPECT_EQ(kids.asArray().at1(1).cell(), st.cell());
    rt::sendWith(st, "destroy");
    rt::publicRelease("oTop");
}

// Darkest pixel count of a grabbed widget.
int darkPixels(QWidget* w)
{
    const QImage img = w->grab().toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += qGray(img.pixel(x, y)) < 100;
    return n;
}

TEST_F(GuiBase, PaintCallbackDrawsThroughLockPS)
{
    auto& part = make<gui::XbpStatic>(Value(), {0, 0}, {60, 30});
    rt::sendWith(part.self(), "setColorBG", gui::clr::White);
    EXPECT_EQ(darkPixels(part.widget()), 0);
    int calls = 0;
    rt::setMember(part.self(), "paint", rt::makeBlock([&](rt::Args a) {
                      ++calls;
                      const Value ps = rt::sendWith(rt::argAt(a, 2), "lockPS");
                      rt::callWith("GraBox", ps, gui::pairValue(0, 0), gui::pairValue(9, 9), 2);
                      rt::sendWith(rt::argAt(a, 2), "unlockPS");
                  }));
    const QImage img = part.widget()->grab().toImage();
    EXPECT_GT(calls, 0);
    EXPECT_LT(qGray(img.pixel(5, 25)), 100) << "box at the bottom-left";
    EXPECT_GT(qGray(img.pixel(5, 5)), 200);
}

TEST_F(GuiBase, LockPSOutsidePaintDrawsOnARetainedCanvas)
{
    auto& part = make<gui::XbpStatic>(Value(), {0, 0}, {40, 40});
    rt::sendWith(part.self(), "setColorBG", gui::clr::White);
    const Value ps = rt::sendWith(part.self(), "lockPS");
    rt::callWith("GraBox", ps, gui::pairValue(30, 30), gui::pairValue(39, 39), 2);
    rt::sendWith(part.self(), "unlockPS");
    const QImage img = part.widget()->grab().toImage();
    EXPECT_LT(qGray(img.pixel(35, 5)), 100) << "top-right corner";
    EXPECT_EQ(darkPixels(part.widget()), 100) << "kept for the next paint";
}

TEST_F(GuiBase, BitmapStaticShowsItsPicture)
{
    auto& top = make(Value(), {0, 0}, {40, 40});
    const Value bmp = gui::newObject("XbpBitmap", {});
    rt::sendWith(bmp, "load", Value(), 104);  // built-in ticked check box
    gui::XbpStatic* st = new gui::XbpStatic();
    made.emplace_back(static_cast<rt::Object*>(st));
    st->type = gui::static_type::Bitmap;
    st->caption = bmp;
    rt::sendWith(st->self(), "create", top.self(), Value(), gui::pairValue(2, 2),
                 gui::pairValue(rt::getMember(bmp, "xSize").asInt(), rt::getMember(bmp, "ySize").asInt()));
    EXPECT_GT(darkPixels(st->widget()), 5);
    EXPECT_FALSE(st->setCaption(99999)) << "no such resource";
}

TEST_F(GuiBase, SetAppFocusReturnsThePreviousFocus)
{
    auto& top = make(Value(), {0, 0}, {100, 50});
    auto& a = make(top.self(), {0, 0}, {20, 20});
    auto& b = make(top.self(), {30, 0}, {20, 20});
    a.widget()->setFocusPolicy(Qt::StrongFocus);
    b.widget()->setFocusPolicy(Qt::StrongFocus);
    top.widget()->show();
    QApplication::setActiveWindow(top.widget());
    gui::setAppFocus(a.self());
    EXPECT_EQ(gui::appFocus().cell(), a.self().cell());
    EXPECT_EQ(rt::callWith("SetAppFocus", b.self()).cell(), a.self().cell());
    EXPECT_EQ(gui::appFocus().cell(), b.self().cell());
    EXPECT_THROW(rt::callWith("SetAppFocus", 5), rt::Error);
}

TEST_F(GuiBase, AppKeyStateFollowsShiftAndCtrl)
{
    auto& part = make(Value(), {0, 0}, {20, 20});
    part.widget()->show();
    QTest::keyPress(part.widget(), Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_EQ(rt::evalText("AppKeyState(65552)").asInt(), 1);
    EXPECT_EQ(rt::evalText("AppKeyState(65553)").asInt(), 0);
    QTest::keyPress(part.widget(), Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(rt::evalText("AppKeyState(65553)").asInt(), 1);
    QTest::keyRelease(part.widget(), Qt::Key_Control, Qt::ShiftModifier);
    QTest::keyRelease(part.widget(), Qt::Key_Shift, Qt::NoModifier);
    EXPECT_EQ(rt::evalText("AppKeyState(65552)").asInt(), 0);
    EXPECT_EQ(rt::evalText("AppKeyState(65553)").asInt(), 0);
    EXPECT_EQ(rt::evalText("AppKeyState(27)").asInt(), 0) << "keys we do not track";
}

}  // namespace
