// A browse read from a dialog is freed with its columns and its data once
// the dialog closes: no block it keeps holds it (or a column) in a cycle.
#include "tst_browse_fixture.h"

#include "platform/grid/cellgroup.h"
#include "platform/gui/xbppart.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

namespace slot = dlg::slot;

using rt::Value;
using tb::BrowseTest;
using tb::Elements;

// Rows {n, "row n", lTagged}.
Value taggedRows(int count)
{
    Value a = tb::rows(count);
    for (int i = 1; i <= count; i += 3)
        tb::at(a, std::size_t(i)).asArray().items[2] = true;
    return a;
}

void setColumnOption(const Value& record, int n, const Value& v)
{
    Value& options = record.asArray().items.at(20);
    if (!options.isArray())
        options = Value::array(13);
    options.asArray().items.resize(std::max<std::size_t>(options.asArray().size(), std::size_t(n)));
    options.asArray().items.at(std::size_t(n) - 1) = v;
}

// Everything the browse and its columns make blocks for: an array source,
// tagging, optimising, row colours from RK_BrowseColor, a picture, a colour
// block, a sortable header, an element column and a data-block column.
Elements fullDialog(const Value& data)
{
    Elements e;
    e.add(dlg::type::Browse).set(slot::DataSource, rt::makeBlock([data](rt::Args) { return data; })).set(slot::Id, "GRID");
    e.option(41, true).option(42, 3).option(21, true);
    e.add(dlg::type::Column).set(slot::Caption, "Code").set(slot::ArrayPointer, 1).set(slot::Picture, "9999");
    setColumnOption(e.record(2), 1, rt::makeBlock([](rt::Args) { return Value(); }));
    e.add(dlg::type::Column).set(slot::Caption, "Name").set(slot::DataBlock, rt::compile("{|x, o| 'n'}"));
    e.set(slot::Colors, rt::makeArray({rt::makeBlock([](rt::Args) { return rt::makeArray({1, 2}); }), Value()}));
    return e;
}

TEST_F(BrowseTest, ClosedDialogFreesTheBrowseItsColumnsAndItsData)
{
    Value data = taggedRows(40);
    const Value colors = rt::makeArray({1, 2, 3, 4});
    browse::browseColor(rt::Args(&colors, 1));
    gui::WeakPart grid, column, group;
    int shownRows = 0;
    {
        Elements e = fullDialog(data);
        const Value receiver = rt::makeBlock([&](rt::Args) {
            const Value g = dlg::getObject(e.list, "GRID");
            if (auto* b = browse::asRkBrowse(g); b && b->colCount() == 2) {
                grid = gui::WeakPart(*b);
                column = gui::WeakPart(*b->columnAt(1));
                group = gui::WeakPart(*b->columnAt(2)->dataGroup());
                rt::sendWith(g, "pageDown");
                rt::sendWith(g, "ForceStable");
                shownRows = b->filledRows();
            }
            dlg::readGuiEvent(6, e.list);
            return Value();
        });
        dlg::MessageCapture capture;
        EXPECT_TRUE(dlg::readGui(dlg::ReadSetup{.getList = e.list, .title = "Lifetime", .dialogReceiver = receiver}));
        EXPECT_TRUE(capture.messages.empty());
    }
    gui::clearAppEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_GT(shownRows, 0) << "the grid showed rows";
    EXPECT_EQ(grid.get(), nullptr) << "the browse was freed";
    EXPECT_EQ(column.get(), nullptr) << "its column was freed";
    EXPECT_EQ(group.get(), nullptr) << "its cell group was freed";
    EXPECT_EQ(data.cell()->refCount(), 1) << "nothing else holds the data";
}

}  // namespace
