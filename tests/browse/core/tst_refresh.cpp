// Refresh, the timed refresh, detaching the data, guarded stabilisation,
// when/hide, teardown and the process-wide settings.
#include "tst_browse_fixture.h"

#include "platform/dbf/workarea.h"
#include "platform/grid/cellgroup.h"
#include "platform/gui/timer.h"

namespace {

using rt::Value;
using tb::at;
using tb::BrowseTest;
using tb::Elements;

constexpr int kRefreshEvent = gui::ev::User + 2000;

Value counter(int& n)
{
    return rt::makeBlock([&n](rt::Args) { return Value(++n); });
}

TEST_F(BrowseTest, RefreshEventRunsOnlyOnAVisibleBrowseWhenAllowed)
{
    int refreshes = 0, pointer = 0;
    bool allowed = false;
    Elements e = tb::arrayDialog(tb::rows(5));
    e.browseSlot(41, counter(pointer));
    e.option(47, counter(refreshes)).option(48, rt::makeBlock([&allowed](rt::Args) { return allowed; }));
    make(e);
    create();
    b->setVisible(false);
    b->handleEvent(kRefreshEvent, {}, {});
    b->setVisible(true);
    b->handleEvent(kRefreshEvent, {}, {});
    EXPECT_EQ(refreshes, 0);
    allowed = true;
    EXPECT_EQ(rt::sendWith(bv, "handleEvent", kRefreshEvent).cell(), bv.cell());
    EXPECT_EQ(refreshes, 1);
    rt::sendWith(bv, "XbpBrowsehandleEvent", kRefreshEvent);  // the platform's handler knows no refresh
    EXPECT_EQ(refreshes, 1);

    // Without a refresh block the event runs Refresh (which re-reads the array).
    b->refreshBlock = Value();
    pointer = 0;
    b->handleEvent(kRefreshEvent, {}, {});
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(pointer, 1);
}

TEST_F(BrowseTest, TimerPostsTheRefreshEventAndDiesWithTheBrowse)
{
    for (const Value& interval : {Value(0), Value("10")}) {
        Elements e = tb::arrayDialog(tb::rows(2));
        e.option(32, interval);
        make(e);
        b->setTimerRefresh();
        EXPECT_TRUE(b->timer.isNil());
        EXPECT_EQ(b->refreshInterval.asInt(), 0);
    }
    int refreshes = 0;
    Elements e = tb::arrayDialog(tb::rows(2));
    e.option(32, 50).option(47, counter(refreshes));
    make(e);
    create();
    b->setTimerRefresh();
    auto* timer = dynamic_cast<gui::SetTimerEvent*>(&b->timer.asObject());
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    rt::eval(timer->block, {});  // one tick
    EXPECT_EQ(refreshes, 0);     // only posted
    settle();
    EXPECT_EQ(refreshes, 1);
    rt::sendWith(bv, "Destroy");
    b = nullptr;
    EXPECT_FALSE(timer->isActive());
}

TEST_F(BrowseTest, RefreshAllKeepsTheArrayElementInsideTheArray)
{
    const Value data = tb::rows(10);
    int pointer = 0;
    Elements e = tb::arrayDialog(data);
    e.browseSlot(41, counter(pointer));
    make(e);
    b->arrayElement = 8;
    b->RefreshAll();  // not created yet: nothing happens
    EXPECT_EQ(b->arrayElement.asInt(), 8);
    create();
    b->arrayElement = 8;
    data.asArray().items.resize(3);
    pointer = 0;
    b->RefreshAll();
    EXPECT_EQ(b->arrayElement.asInt(), 3);
    EXPECT_EQ(at(b->cargo, 4).asInt(), 3);
    EXPECT_EQ(pointer, 1);
    data.asArray().items.clear();
    b->RefreshAll();
    EXPECT_EQ(b->arrayElement.asInt(), 0);
    settle();
    EXPECT_EQ(b->filledRows(), 0);

    const Value other = tb::rows(4);
    b->RefreshAll(other);
    EXPECT_EQ(b->dataSource.cell(), other.cell());
    EXPECT_EQ(at(b->cargo, 5).cell(), other.cell());
    EXPECT_EQ(b->arrayElement.asInt(), 1);
    settle();
    EXPECT_EQ(b->filledRows(), 4);
}

TEST_F(BrowseTest, DataDisplayDetachesAndRestoresTheSameElement)
{
    make(tb::arrayDialog(tb::rows(6)));
    create();
    for (int i = 0; i < 3; ++i)
        b->down();
    settle();
    ASSERT_EQ(b->arrayElement.asInt(), 4);
    const Value skip = b->skipBlock;

    b->DataDisplay(false);
    settle();
    EXPECT_EQ(b->arrayElement.asInt(), 0);
    EXPECT_FALSE(b->dataEnabled.asBool());
    EXPECT_EQ(b->filledRows(), 0);
    EXPECT_EQ(rt::evalWith(b->skipBlock, 1, bv).asInt(), 0);
    ASSERT_EQ(b->navBlocks.asArray().size(), 9u);
    b->DataDisplay(false);  // a second detach keeps what the first saved
    b->Refresh();           // nothing while detached
    EXPECT_EQ(b->arrayElement.asInt(), 0);

    b->DataDisplay(true);
    settle();
    EXPECT_TRUE(b->dataEnabled.asBool());
    EXPECT_EQ(b->arrayElement.asInt(), 4);
    EXPECT_EQ(b->skipBlock.cell(), skip.cell());
    EXPECT_EQ(b->filledRows(), 6);
}

TEST_F(BrowseTest, RefreshViewKeepsTheCurrentScreenRow)
{
    make(tb::arrayDialog(tb::rows(40)));
    create();
    for (int i = 0; i < 3; ++i)
        b->down();
    settle();
    ASSERT_EQ(b->rowPos(), 4);
    b->RefreshView();
    settle();
    EXPECT_EQ(b->rowPos(), 4);
    EXPECT_EQ(b->arrayElement.asInt(), 4);
}

TEST_F(BrowseTest, RefreshRequeuesPendingEventsButMouseMotion)
{
    make(tb::arrayDialog(tb::rows(3)));
    create();
    gui::clearAppEvents();
    gui::postAppEvent(gui::ev::User + 50, 1, {}, {});
    gui::postAppEvent(gui::ev::Motion, rt::makeArray({1, 1}), {}, bv);
    gui::postAppEvent(gui::ev::User + 51, 2, {}, {});
    b->Refresh();
    std::vector<int> seen;
    Value mp1, mp2, target;
    for (int n; (n = gui::appEvent(mp1, mp2, target, 1)) != gui::ev::None;)
        if (n == gui::ev::User + 50 || n == gui::ev::User + 51 || n == gui::ev::Motion || n == gui::nav::NavigateEvent)
            seen.push_back(n);
    EXPECT_EQ(seen, (std::vector<int>{gui::ev::User + 50, gui::ev::User + 51, gui::nav::NavigateEvent}));
}

TEST_F(BrowseTest, RefreshGoesBackToTheRecordOfAnAliasSource)
{
    openTable("PEOPLE", 20);
    Elements e;
    e.add(dlg::type::Browse).add(dlg::type::Column);
    make(e);
    ASSERT_TRUE(b->initialised());
    b->create({});
    b->widget()->show();
    settle();
    b->down();
    b->down();
    settle();
    dbf::WorkArea* area = dbf::findArea("PEOPLE");
    ASSERT_EQ(area->recno(), 3u);
    b->Refresh();
    EXPECT_EQ(area->recno(), 3u);
}

// A data block that raises on row 3 of five: trapped, nothing is heard of
// it; untrapped, the standard handler reports it. The grid goes on either way.
TEST_F(BrowseTest, DataBlockErrorsTrappedOrReported)
{
    auto& errors = captureErrors();
    for (bool trap : {true, false}) {
        errors.clear();
        make(tb::arrayDialog(tb::rows(5)));
        b->isTrapErrors = trap;
        b->create({});
        auto* c = new gui::XbpColumn();
        c->dataLink = rt::makeBlock([this](rt::Args) -> Value {
            if (b->arrayElement.asInt() == 3)
                rt::raise("Bound error", "array access");
            return at(current(), 2);
        });
        b->addColumn(c->self());
        b->widget()->show();
        settle();
        const auto text = [this](int row) { return b->columnAt(1)->dataGroup()->cellText(row); };
        EXPECT_EQ(text(3), gui::XbpCellGroup::kErrorMark);
        EXPECT_EQ(text(5), "row 5");
        EXPECT_EQ(errors.size(), trap ? 0u : 1u);
        b->RefreshAll();
        if (trap)
            EXPECT_NO_THROW(b->ForceStable());
        else
            EXPECT_THROW(b->ForceStable(), rt::Error);
        b->down();
        settle();
        EXPECT_EQ(b->arrayElement.asInt(), 2);
        b->destroy();
    }
    b = nullptr;
}

TEST_F(BrowseTest, WhenAndHideBlocksDriveTheWindow)
{
    bool on = false, protectedCalled = false;
    Elements e = tb::arrayDialog(tb::rows(2));
    e.browseSlot(13, rt::makeBlock([&on](rt::Args) { return on; }));
    e.browseSlot(53, rt::makeBlock([&on](rt::Args) { return !on; }));
    e.browseSlot(32, rt::makeBlock([&protectedCalled](rt::Args) { return protectedCalled = true; }));
    make(e);
    create();
    b->WhenHideEval({}, {}, {});
    EXPECT_FALSE(b->isEnabled());
    EXPECT_FALSE(b->isVisible());
    EXPECT_FALSE(protectedCalled);
    on = true;
    rt::sendWith(bv, "WhenHideEval", Value(), Value(), true);
    EXPECT_TRUE(b->isEnabled());
    EXPECT_TRUE(b->isVisible());
    EXPECT_TRUE(protectedCalled);
}

TEST(BrowseGlobals, AccessorsReturnThePreviousValueAndTakeOnlyTheirKind)
{
    browse::registerBrowseLibrary();
    browse::resetGlobals();
    EXPECT_FALSE(rt::callWith("RK_BrowseTrapErrors", true).asBool());
    EXPECT_TRUE(rt::callWith("RK_BrowseTrapErrors", "no").asBool());
    EXPECT_TRUE(rt::callFunction("RK_BrowseTrapErrors").asBool());

    const Value sort = rt::callFunction("RK_BrowseSort");
    ASSERT_EQ(sort.asArray().size(), 11u);
    EXPECT_TRUE(std::all_of(sort.asArray().items.begin(), sort.asArray().items.end(), [](const Value& v) { return v.isNil(); }));
    rt::callWith("RK_BrowseSort", rt::makeArray({1, 2}));
    EXPECT_EQ(at(rt::callWith("RK_BrowseSort", "x"), 2).asInt(), 2);

    EXPECT_TRUE(rt::callWith("RK_AutoRestoreBrowse", rt::makeArray({"HKCU", "Software\\Dxc"})).isNil());
    const Value held = rt::callFunction("RK_AutoRestoreBrowse");
    ASSERT_EQ(held.asArray().size(), 3u);
    EXPECT_TRUE(at(held, 3).asBool());

    const Value first = rt::callFunction("RK_XbpBrowseDefault");
    EXPECT_NE(rt::callFunction("RK_XbpBrowseDefault").cell(), first.cell());  // not kept
    EXPECT_TRUE(rt::getMember(first, "useVisualStyleScrollBars").asBool());
    const Value mine = rt::sendWith(rt::callFunction("RK_XbpBrowseConfig"), "new");
    rt::callWith("RK_XbpBrowseDefault", mine);
    EXPECT_EQ(rt::callWith("RK_XbpBrowseDefault", 5).cell(), mine.cell());

    const Value msg = rt::makeBlock([](rt::Args) { return Value(); });
    EXPECT_TRUE(rt::callWith("RK_BrowseConfigMessageBlock", msg).isNil());
    EXPECT_EQ(rt::callWith("RK_BrowseConfigMessageBlock", 1).cell(), msg.cell());
    EXPECT_FALSE(rt::callWith("RK_GetWhenOnBrowseItemMarked", "on").asBool());
    EXPECT_FALSE(rt::callFunction("RK_GetWhenOnBrowseItemMarked").asBool());
    browse::resetGlobals();
}

}  // namespace
