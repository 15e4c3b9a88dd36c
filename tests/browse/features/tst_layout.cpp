// Column layout and its persistence over browses whose columns the dialog
// library's column class builds, as the reader builds them.
#include "browse/core/tst_browse_fixture.h"
#include "browse/columns/column.h"
#include "browse/features/features.h"

#include "platform/dialog/storage.h"
#include "platform/grid/column.h"
#include "platform/runtime/text.h"

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace {

namespace slot = dlg::slot;

using rt::Value;
using tb::Elements;

class Layout : public tb::BrowseTest {
protected:
    static void SetUpTestSuite()
    {
        tb::BrowseTest::SetUpTestSuite();
        browse::registerBrowseFeatures();
    }

    // A browse over `rows` rows with `columns` RK columns, column i showing
    // element i of the row (the fixture rows have 3; more read NIL).
    static Elements dialog(int rows, int columns)
    {
        Elements e;
        const Value data = tb::rows(rows);
        e.add(dlg::type::Browse).set(slot::DataSource, rt::makeBlock([data](rt::Args) { return data; }));
        for (int i = 1; i <= columns; ++i)
            e.add(dlg::type::Column).set(slot::Caption, "C" + std::to_string(i)).set(slot::ArrayPointer, std::min(i, 3)).set(slot::Width, 10);
        return e;
    }

    void build(const Elements& e)
    {
        make(e);
        ASSERT_NE(b, nullptr);
        b->create({});
        const std::size_t n = e.list.asArray().size();
        for (std::size_t i = 2; i <= n; ++i) {
            dlg::asGetList(getList)->getListPointer = static_cast<long long>(i);
            const Value args[] = {bv, getList};
            rt::newObject("RK_XbpColumn", rt::Args(args, 2));
        }
        b->widget()->show();
        settle();
    }

    // The designed ordinals of the columns, in display order: "2 1 3".
    std::string order() const
    {
        std::string s;
        for (int i = 1; i <= b->colCount(); ++i)
            s += (i > 1 ? " " : "") + rt::xtoc(browse::asRkColumn(b->columnAt(i)->self())->columnPos);
        return s;
    }

    Value send(const char* m, std::initializer_list<Value> args)
    {
        const std::vector<Value> v(args);
        return rt::send(bv, m, rt::Args(v.data(), v.size()));
    }
};

TEST_F(Layout, MoveColumnClampsAndTheSortColumnFollows)
{
    const struct {
        const char* name;
        int pos, by, sortColumn;
        const char* order;
        int sortAfter;
    } cases[] = {
        {"last column right", 4, 1, 0, "1 2 3 4", 0},
        {"first column left", 1, -1, 0, "1 2 3 4", 0},
        {"2 by 5 clamps to the end", 2, 5, 0, "1 3 4 2", 0},
        {"3 by -5 clamps to the start", 3, -5, 0, "3 1 2 4", 0},
        {"the sorted column carries its marker", 2, 1, 2, "1 3 2 4", 3},
        {"a column across the sorted one leaves it", 1, 2, 2, "2 3 1 4", 2},
    };
    for (const auto& c : cases) {
        build(dialog(5, 4));
        b->sortColumn = c.sortColumn;
        send("MoveColumn", {c.by, c.pos});
        EXPECT_EQ(order(), c.order) << c.name;
        EXPECT_EQ(b->sortColumn.asInt(), c.sortAfter) << c.name;
        b->destroy();
        b = nullptr;
    }
}

TEST_F(Layout, HeaderSortClicksFollowTheirColumnsAfterAMove)
{
    Elements e;
    const Value data = tb::rows(5);
    e.add(dlg::type::Browse).set(slot::DataSource, rt::makeBlock([data](rt::Args) { return data; }));
    const Value accept = rt::makeBlock([](rt::Args) { return Value(true); });
    for (int i = 1; i <= 3; ++i)
        e.add(dlg::type::Column).set(slot::Caption, "C" + std::to_string(i)).set(slot::ArrayPointer, i).set(slot::Width, 10)
            .set(slot::Options, rt::makeArray({accept, {}, {}, {}, {}, true, {}, false}));
    build(e);
    send("MoveColumn", {1, 1});
    ASSERT_EQ(order(), "2 1 3");
    // A click on a header sorts by the column it now stands on.
    for (int pos : {2, 1}) {
        const Value click = rt::getMember(b->columnAt(pos)->heading, "lbDown");
        ASSERT_TRUE(click.isBlock()) << pos;
        rt::evalWith(click, rt::makeArray({5, 5}), Value(), b->columnAt(pos)->heading);
        EXPECT_EQ(b->sortColumn.asInt(), pos) << "header of column " << pos;
    }
}

TEST_F(Layout, CursorStaysOnTheMovedColumn)
{
    build(dialog(5, 4));
    b->gotoItem(1, 2);
    send("MoveColumn", {1});
    EXPECT_EQ(b->colPos(), 3);
    EXPECT_EQ(rt::xtoc(browse::asRkColumn(b->columnAt(b->colPos())->self())->columnPos), "2");
}

TEST_F(Layout, OptimizeOnNoRowsIsTheMarginAndBack)
{
    build(dialog(0, 1));
    gui::XbpColumn* c = b->columnAt(1);
    const int designed = c->currentSize().width();
    browse::optimizeColumn(c->heading);
    EXPECT_EQ(c->currentSize().width(), 10);
    browse::optimizeColumn(c->heading);
    EXPECT_EQ(c->currentSize().width(), designed + 10);  // the margin is added going back too
}

TEST_F(Layout, SaveDividesByTheScaleAndRestoreDoesNotScaleBack)
{
    build(dialog(5, 3));
    dlg::asGetList(getList)->scaleFactor = rt::makeArray({1, 1, 1.25});
    b->columnAt(1)->setSize(QSize(100, b->columnAt(1)->currentSize().height()));
    const Value saved = send("Save", {});
    EXPECT_EQ(rt::entryOf(rt::entryOf(rt::entryOf(rt::entryOf(saved, 3), 1), 2), 1).asInt(), 80);
    EXPECT_TRUE(rt::isTrue(send("Restore", {saved})));
    EXPECT_EQ(b->columnAt(1)->currentSize().width(), 80);
}

TEST_F(Layout, RestoreNamingTwoColumnsKeepsThoseTwo)
{
    build(dialog(5, 3));
    const Value config = rt::makeArray({rt::makeArray({0, 0}), rt::makeArray({300, 200}),
                                        rt::makeArray({rt::makeArray({2, rt::makeArray({50, 20})}),
                                                       rt::makeArray({1, rt::makeArray({60, 20})})})});
    EXPECT_TRUE(rt::isTrue(send("Restore", {config})));
    EXPECT_EQ(order(), "2 1");
    EXPECT_EQ(b->columnAt(1)->currentSize().width(), 50);
}

TEST_F(Layout, DamagedLayoutFilesAreRefusedAndChangeNothing)
{
    build(dialog(5, 3));
    send("MoveColumn", {1, 1});
    const std::string file = "/tmp/layout_" + std::to_string(getpid());
    send("Save", {file});
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::string& bad : {text.substr(0, text.size() / 2), std::string("A 3\nnonsense\n"), std::string()}) {
        std::ofstream(file, std::ios::trunc) << bad;
        EXPECT_FALSE(rt::isTrue(send("Restore", {file})));
        EXPECT_EQ(order(), "2 1 3");
    }
    EXPECT_FALSE(rt::isTrue(send("Restore", {42})));
    std::remove(file.c_str());
}

TEST_F(Layout, ConstructionRestoresFromTheStoreAndAMismatchIsDiscarded)
{
    std::map<std::string, Value> store;
    const Value block = rt::makeBlock([&store](rt::Args a) -> Value {
        const std::string name = rt::argAt(a, 0).str();
        if (a.size() >= 2)
            store[name] = a[1];
        else if (store.count(name) && !store[name].isNil())
            return store[name];
        return {};
    });
    const Value setting = rt::makeArray({block, "Layouts"});
    browse::autoRestoreBrowse(rt::Args(&setting, 1));

    Elements e = dialog(5, 3);
    e.browseSlot(slot::Id, "GRID");
    build(e);
    send("MoveColumn", {2, 1});
    ASSERT_EQ(order(), "2 3 1");
    b->destroy();  // saves
    b = nullptr;
    ASSERT_EQ(store.size(), 1u);

    Elements again = dialog(5, 3);
    again.browseSlot(slot::Id, "GRID");
    build(again);
    EXPECT_EQ(order(), "2 3 1");
    EXPECT_EQ(rt::var2char(tb::at(again.record(2), 45)), "{1, 2}");
    // Twice: the designed columns come back once.
    send("RestoreDefaults", {});
    EXPECT_EQ(order(), "1 2 3");
    send("MoveColumn", {1, 1});
    send("RestoreDefaults", {});
    EXPECT_EQ(order(), "2 1 3");
    b->destroy();
    b = nullptr;

    dlg::MessageCapture capture;
    Elements fewer = dialog(5, 2);
    fewer.browseSlot(slot::Id, "GRID");
    build(fewer);
    EXPECT_EQ(order(), "1 2");
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_NE(capture.messages[0].text.find("Your Saved Browse configuration cannot be restored:"), std::string::npos);
    b->destroy();  // while the store lives
    b = nullptr;
    browse::resetGlobals();
}

TEST_F(Layout, NoRestoreNeitherSavesNorRestoresButRestoreConfigStill)
{
    int calls = 0;
    const Value block = rt::makeBlock([&calls](rt::Args) { ++calls; return Value(); });
    const Value setting = rt::makeArray({block, "Layouts"});
    browse::autoRestoreBrowse(rt::Args(&setting, 1));
    Elements e = dialog(5, 3);
    e.browseSlot(slot::Id, "GRID").option(dlg::browseOption::NoRestore, true);
    build(e);
    b->destroy();
    b = nullptr;
    EXPECT_EQ(calls, 0);

    // A layout the dialog hands over still applies.
    const Value config = rt::makeArray({rt::makeArray({0, 0}), rt::makeArray({300, 200}),
                                        rt::makeArray({rt::makeArray({3, rt::makeArray({40, 20})}),
                                                       rt::makeArray({1, rt::makeArray({40, 20})}),
                                                       rt::makeArray({2, rt::makeArray({40, 20})})})});
    Elements given = dialog(5, 3);
    given.browseSlot(slot::Id, "GRID").option(dlg::browseOption::NoRestore, true);
    given.browseSlot(63, rt::makeBlock([config](rt::Args a) {
        rt::setMember(rt::argAt(a, 0), "restoreConfig", config);
        return Value();
    }));
    build(given);
    EXPECT_EQ(order(), "3 1 2");
    b->destroy();
    b = nullptr;
    EXPECT_EQ(calls, 0);
    browse::resetGlobals();
}

// Spare width is shared out over the columns: the vertical scroll bar's
// width is left free when the bar shows, a negative spare shrinks every
// column alike, and a column that would vanish keeps the least width. The
// columns scrolled out of view count with their own widths.
TEST_F(Layout, FitColumnsSharesTheSpareWidth)
{
    const struct {
        const char* name;
        bool bar;
        std::vector<int> widths;
    } cases[] = {
        {"without a vertical bar", false, {40, 50, 60}},
        {"with the bar", true, {40, 50, 60}},
        {"too wide, the last ones out of view", true, {200, 210, 220}},
        {"too wide, a narrow column", true, {30, 200, 200}},
    };
    for (const auto& c : cases) {
        Elements e;
        const Value data = tb::rows(60);
        e.add(dlg::type::Browse).set(slot::DataSource, rt::makeBlock([data](rt::Args) { return data; }));
        e.option(dlg::browseOption::NoVScroll, !c.bar);
        for (int i = 1; i <= 3; ++i)
            e.add(dlg::type::Column).set(slot::Caption, "C" + std::to_string(i)).set(slot::ArrayPointer, 2).set(slot::Width, c.widths[i - 1]).set(slot::PixelWidth, true);
        build(e);
        auto* bar = gui::asPart(b->vScrollBar);
        ASSERT_EQ(bar && bar->widget() && bar->widget()->isVisible(), c.bar) << c.name;
        for (int i = 1; i <= 3; ++i)
            ASSERT_EQ(b->columnAt(i)->width(), c.widths[std::size_t(i) - 1]) << c.name;
        send("FitColumns", {});
        const int free = b->currentSize().width() - (c.bar ? bar->currentSize().width() : 0);
        const double delta = (free - (c.widths[0] + c.widths[1] + c.widths[2])) / 3.0;
        for (int i = 1; i <= 3; ++i) {
            const long long want = std::max(8L, std::lround(c.widths[std::size_t(i) - 1] + delta));
            EXPECT_EQ(b->columnAt(i)->width(), want) << c.name << ", column " << i;
        }
        // What a saved layout holds is what the columns are now.
        const Value saved = send("Save", {});
        EXPECT_EQ(rt::entryOf(rt::entryOf(rt::entryOf(rt::entryOf(saved, 3), 3), 2), 1).asInt(), b->columnAt(3)->width())
            << c.name;
        b->destroy();
        b = nullptr;
    }
}

// A browse resized by its window spreads the change over the columns that
// take part, when the dialog asked for it.
TEST_F(Layout, AResizeSpreadsOverTheColumnsWhenResizeColumnsIsSet)
{
    const struct {
        const char* name;
        bool resizeColumns;
        int optOut;  // a column with noAutoResizeColumn, 0 none
        int grow;
        std::vector<int> deltas;
    } cases[] = {
        {"not asked for", false, 0, 90, {0, 0, 0}},
        {"three columns share 90", true, 0, 90, {30, 30, 30}},
        {"column 2 opts out", true, 2, 90, {45, 0, 45}},
        {"a shrink by 31 truncates toward zero", true, 0, -31, {-10, -10, -10}},
    };
    for (const auto& c : cases) {
        Elements e = dialog(5, 3);
        e.option(dlg::browseOption::ResizeColumns, c.resizeColumns);
        if (c.optOut) {
            Value& options = e.record(std::size_t(c.optOut) + 1).asArray().items[dlg::index(dlg::slot::Options)];
            if (!options.isArray())
                options = Value::array(dlg::kColumnOptions);
            options.asArray().items[dlg::index(dlg::columnOption::NoAutoResizeColumn)] = true;
        }
        build(e);
        std::vector<int> before;
        for (int i = 1; i <= 3; ++i)
            before.push_back(b->columnAt(i)->currentSize().width());
        const QSize size = b->widget()->size();
        b->widget()->resize(size.width() + c.grow, size.height());
        settle();
        for (int i = 1; i <= 3; ++i)
            EXPECT_EQ(b->columnAt(i)->currentSize().width() - before[std::size_t(i) - 1], c.deltas[std::size_t(i) - 1])
                << c.name << ", column " << i;
        b->destroy();
        b = nullptr;
    }
}

// The height-type presentation pairs of the browse are scaled by the
// dialog's factor at construction; the caller's array is never touched.
TEST_F(Layout, ConstructionScalesHeightPairsByTheDialogFactor)
{
    const struct {
        const char* name;
        Value scale;
        long long h122, h107, h129, w106;
    } cases[] = {
        {"no factor", Value(), 20, -1, 10, 50},
        {"factor 1", 1, 20, -1, 10, 50},
        {"factor 1.5", 1.5, 30, -1, 15, 50},
    };
    for (const auto& c : cases) {
        const Value pres = rt::makeArray({rt::makeArray({122, 20}), rt::makeArray({107, -1}),
                                          rt::makeArray({129, 10}), rt::makeArray({106, 50})});
        const std::string given = rt::var2char(pres);
        Elements e = dialog(5, 2);
        getList = dlg::makeGetList(e.list);
        dlg::asGetList(getList)->getListPointer = 1;
        dlg::asGetList(getList)->scaleFactor = rt::makeArray({1, 1, 1, c.scale});
        const Value args[] = {Value(), Value(), rt::makeArray({0, 0}), rt::makeArray({300, 200}), pres, true, getList};
        bv = rt::newObject("RK_XbpBrowse", rt::Args(args, 7));
        b = browse::asRkBrowse(bv);
        ASSERT_NE(b, nullptr) << c.name;
        const auto valueOf = [this](long long id) -> long long {
            for (const Value& pair : b->browsePres.asArray().items)
                if (rt::entryOf(pair, 1).isNum() && rt::entryOf(pair, 1).asInt() == id)
                    return std::llround(rt::entryOf(pair, 2).asDouble());
            return -999;
        };
        EXPECT_EQ(valueOf(122), c.h122) << c.name;
        EXPECT_EQ(valueOf(107), c.h107) << c.name << ": -1 is never scaled";
        EXPECT_EQ(valueOf(129), c.h129) << c.name;
        EXPECT_EQ(valueOf(106), c.w106) << c.name << ": a width is not a height";
        EXPECT_EQ(rt::var2char(pres), given) << c.name;
        b->destroy();
        b = nullptr;
    }
}

}  // namespace
