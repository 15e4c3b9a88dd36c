// Browses built by the dialog reader, as the application's dialogs build them.
#include "tst_browse_fixture.h"

#include "platform/gui/timer.h"

namespace {

namespace slot = dlg::slot;

using rt::Value;
using tb::BrowseTest;
using tb::Elements;

TEST_F(BrowseTest, ReadGuiBuildsTimedBrowsesAndSkipsOnesWithoutData)
{
    int refreshes = 0;
    Elements e;
    e.add(dlg::type::Browse).set(slot::DataSource, rt::makeBlock([](rt::Args) { return tb::rows(4); })).set(slot::Id, "GRID");
    e.set(slot::Width, 30).set(slot::Height, 8);
    tb::at(e.record(1), 21).asArray().items[31] = 20;
    tb::at(e.record(1), 21).asArray().items[46] = rt::makeBlock([&refreshes](rt::Args) { return Value(++refreshes); });
    e.add(dlg::type::Column).add(dlg::type::Column);
    e.add(dlg::type::Browse).set(slot::Id, "EMPTY").set(slot::Row, 10.0);  // no data source, no work area
    e.add(dlg::type::Column);

    Value grid, empty;
    bool timerRunning = false;
    const Value receiver = rt::makeBlock([&](rt::Args) {
        grid = dlg::getObject(e.list, "GRID");
        empty = dlg::getObject(e.list, "EMPTY");
        if (auto* g = browse::asRkBrowse(grid))
            timerRunning = rt::sendWith(g->timer, "isActive").asBool();
        gui::postAppEvent(gui::ev::User + 2000, {}, {}, grid);
        dlg::readGuiEvent(6, e.list);
        return Value();
    });
    dlg::MessageCapture capture;
    EXPECT_TRUE(dlg::readGui(dlg::ReadSetup{.getList = e.list, .title = "Browses", .dialogReceiver = receiver}));

    auto* g = browse::asRkBrowse(grid);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->initialised());
    EXPECT_TRUE(timerRunning);
    EXPECT_EQ(refreshes, 1);
    EXPECT_TRUE(empty.isNil());
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0].text, "RK_ReadGui() error! Browse has no data source");
    rt::sendWith(grid, "Destroy");
    EXPECT_FALSE(rt::sendWith(g->timer, "isActive").asBool());
}

}  // namespace
