// Header sorting, hiding, resizing presses and the row hooks of
// RK_XbpColumn on a real browse, driven by real mouse presses on the
// headers (offscreen).
#include "tst_column_fixture.h"

#include "browse/columns/column_sort.h"

#include "platform/grid/cellgroup.h"
#include "platform/gui/static.h"
#include "platform/runtime/error.h"

#include <QTest>
#include <QWidget>

namespace {

using namespace coltest;

class SortTest : public ColumnTest {
protected:
    void SetUp() override
    {
        ColumnTest::SetUp();
        browse::registerSortFunctions();
        b->descending = false;
        b->descendToggle = true;
        b->sortColumn = 0;
        b->dataSourceType = 1;
        b->isTrapErrors = false;
    }

    // A column over row element `e` sorted by `block` on a left click; no
    // default sort unless asked.
    RK_XbpColumn* sortable(int e, const Value& block, const Value& sortDefault = false)
    {
        return column([&](const Value& rec) {
            set(rec, 3, "C" + std::to_string(e));
            set(rec, 29, e);
            setOption(rec, 1, block);
            setOption(rec, 6, true);
            setOption(rec, 8, sortDefault);
        });
    }

    // A real left press in the middle of a column's header.
    void clickHeader(RK_XbpColumn* c)
    {
        QWidget* w = gui::asCellGroup(c->heading)->widget();
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
        settle();
    }

    static const gui::XbpStatic* arrowOf(const RK_XbpColumn* c)
    {
        for (gui::XbpPart* p : gui::asCellGroup(c->heading)->children())
            if (p->cargo.isChar() && p->cargo.asString() == browse::kSortArrowCargo)
                return dynamic_cast<const gui::XbpStatic*>(p);
        return nullptr;
    }
    static std::string arrowText(const RK_XbpColumn* c)
    {
        const gui::XbpStatic* a = arrowOf(c);
        return a && a->caption.isChar() ? a->caption.str() : std::string("none");
    }

    // The first elements of the browse's rows.
    std::string firsts() const
    {
        std::string out;
        for (const Value& r : b->dataSource.asArray().items)
            out += r.asArray().items[0].str() + " ";
        return out;
    }

    int countingGoBottom()
    {
        const Value inner = b->goBottomBlock;
        b->goBottomBlock = rt::makeBlock([this, inner](rt::Args a) {
            ++bottoms;
            return rt::eval(inner, a);
        });
        return 0;
    }
    int bottoms = 0;
};

Value mixedRows()
{
    return makeArray({makeArray({"bob", 2}), makeArray({"Ann", 1}), makeArray({"carl", 3}), makeArray({"ann", 4}),
                      makeArray({"Bob", 5})});
}

TEST_F(SortTest, RepeatedClicksFlipTheArrowAndJumpToTheLastRowWhenDescending)
{
    useRows(mixedRows());
    create();
    countingGoBottom();
    RK_XbpColumn* c = sortable(1, browse::arraySortBlock(1));
    clickHeader(c);
    EXPECT_EQ(firsts(), "ann Ann bob Bob carl ") << "letters first, case only breaks ties (lower first)";
    EXPECT_EQ(b->sortColumn.asInt(), 1);
    EXPECT_EQ(arrowText(c), "t");
    EXPECT_EQ(bottoms, 0);

    clickHeader(c);
    EXPECT_TRUE(b->descending.asBool());
    EXPECT_EQ(arrowText(c), "u");
    EXPECT_EQ(bottoms, 1) << "the browse went to its last row first";
    EXPECT_EQ(firsts(), "ann Ann bob Bob carl ") << "a flip does not sort again";

    clickHeader(c);
    EXPECT_FALSE(b->descending.asBool());
    EXPECT_EQ(arrowText(c), "t");
    EXPECT_EQ(bottoms, 1);
}

TEST_F(SortTest, WithoutDescendToggleEveryClickSortsAgainAndNoArrowIsMade)
{
    b->descendToggle = false;
    useRows(mixedRows());
    create();
    int runs = 0;
    RK_XbpColumn* c = sortable(1, rt::makeBlock([&runs](rt::Args) {
        ++runs;
        return Value(true);
    }));
    clickHeader(c);
    clickHeader(c);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(arrowOf(c), nullptr);
    EXPECT_FALSE(b->descending.asBool());
}

TEST_F(SortTest, SqlSourceAlwaysPassesTheDirection)
{
    useRows(mixedRows());
    b->dataSourceType = 3;
    create();
    countingGoBottom();
    std::vector<Value> thirds;
    RK_XbpColumn* c = sortable(1, rt::makeBlock([&thirds](rt::Args a) {
        thirds.push_back(rt::argAt(a, 2));
        return Value();
    }));
    clickHeader(c);
    ASSERT_EQ(thirds.size(), 1u);
    EXPECT_TRUE(thirds[0].isLogical() && thirds[0].asBool()) << "the first click flips, never sorts afresh";
    EXPECT_EQ(bottoms, 1);

    b->descending = false;
    c->Sort(gui::pairValue(5, 5), 1, 2);
    ASSERT_EQ(thirds.size(), 2u);
    EXPECT_TRUE(thirds[1].asBool());
    EXPECT_EQ(bottoms, 1) << "forcing descending does not jump to the last row";
}

TEST_F(SortTest, RefusingOrFailingSortBlocksCancelTheClick)
{
    useRows(mixedRows());
    create();
    RK_XbpColumn* refuses = sortable(1, rt::makeBlock([](rt::Args) { return Value(false); }));
    clickHeader(refuses);
    EXPECT_EQ(b->sortColumn.asInt(), 0);
    EXPECT_EQ(arrowOf(refuses), nullptr);

    RK_XbpColumn* fails = sortable(2, rt::makeBlock([](rt::Args) -> Value { rt::raise(rt::Error("boom")); }));
    b->isTrapErrors = true;
    fails->Sort(gui::pairValue(5, 5), 2, {});
    EXPECT_EQ(b->sortColumn.asInt(), 0) << "a trapped error is a quiet refusal";
    b->isTrapErrors = false;
    EXPECT_FALSE(rt::guarded([&] { fails->Sort(gui::pairValue(5, 5), 2, {}); }))
        << "untrapped, the error reaches the standard handler";
}

TEST_F(SortTest, HeaderLooksFollowTheSettingsOfTheRightKind)
{
    using namespace gui::clr;
    b->sortColorSelectedBG = Yellow;
    b->sortColorSelectedFG = Value("not a colour");
    b->sortColorUnSelectedBG = PaleGray;
    b->sortColorNonselectableBG = DarkGray;
    useRows(mixedRows());
    create();
    RK_XbpColumn* first = sortable(1, browse::arraySortBlock(1), Value());
    RK_XbpColumn* second = sortable(2, browse::arraySortBlock(2), Value());
    RK_XbpColumn* plain = fieldColumn(1, "P");
    const auto bg = [](RK_XbpColumn* c) { return gui::asCellGroup(c->heading)->cellColors(0, false).second; };
    EXPECT_EQ(b->sortColumn.asInt(), 2) << "the last default-sorted column ends up marked";
    EXPECT_EQ(bg(second), rgbOf(Yellow));
    EXPECT_EQ(bg(first), rgbOf(PaleGray));
    EXPECT_EQ(bg(plain), rgbOf(DarkGray));
    const long long fgBefore = gui::asCellGroup(first->heading)->cellColors(0, false).first;

    clickHeader(first);
    EXPECT_EQ(bg(first), rgbOf(Yellow));
    EXPECT_EQ(bg(second), rgbOf(PaleGray));
    EXPECT_EQ(gui::asCellGroup(first->heading)->cellColors(0, false).first, fgBefore)
        << "a colour that is not a number leaves the header alone";
    EXPECT_EQ(firsts(), "ann Ann bob Bob carl ");

    rt::sendWith(bv, "SortClear");
    EXPECT_EQ(bg(first), rgbOf(DarkGray));
    EXPECT_EQ(arrowOf(first), nullptr);
    EXPECT_EQ(b->sortColumn.asInt(), 1) << "SortClear keeps the sort state";
}

// --- the row hooks and the stripes

TEST_F(SortTest, ScrollDownMakesScreenRowOneTheSecondDataRow)
{
    useRows(threeRows());
    RK_XbpColumn* c = fieldColumn(1, "A");
    rt::sendWith(c->self(), "ScrollDown", 1, true);
    rt::sendWith(c->self(), "DrawRow", 1, false);
    EXPECT_EQ(c->LastRow.asInt(), 2);
    EXPECT_TRUE(b->evenRow.asBool());
    rt::sendWith(c->self(), "ScrollUp", 1, true);
    rt::sendWith(c->self(), "DrawRow", 1, false);
    EXPECT_FALSE(b->evenRow.asBool());
}

TEST_F(SortTest, ZebraStripesStayWithTheirRowsWhileScrolling)
{
    using namespace gui::clr;
    Value rows = Value::array();
    for (int i = 1; i <= 40; ++i)
        rows.asArray().items.push_back(makeArray({Value("r" + std::to_string(i))}));
    useRows(rows);
    create(120);
    RK_XbpColumn* c = column([this](const Value& rec) {
        set(rec, 29, 1);
        set(rec, 22, makeArray({rt::makeBlock([this](rt::Args) {
                                    return rt::sendWith(bv, "ZebraColor", makeArray({Red, Yellow}), makeArray({Blue, Green}));
                                }),
                                kNil}));
    });
    settle();
    const auto bgOf = [&](const std::string& text) {
        for (int r = 1; r <= b->rowCount(); ++r)
            if (c->dataGroup()->cellText(r) == QString::fromStdString(text))
                return c->dataGroup()->cellColors(r, false).second;
        return -1LL;
    };
    const long long r2 = bgOf("r2"), r3 = bgOf("r3");
    ASSERT_NE(r2, r3);
    for (int step = 0; step < 3; ++step) {
        b->goBottom();
        b->forceStable();
        b->goTop();
        b->forceStable();
        b->down();
        b->forceStable();
    }
    b->pageDown();
    b->forceStable();
    b->up();
    b->forceStable();
    for (int i = 0; i < b->rowCount(); ++i)
        b->up();
    b->forceStable();
    EXPECT_EQ(bgOf("r2"), r2);
    EXPECT_EQ(bgOf("r3"), r3);
}

// --- visibility and resizing presses

TEST_F(SortTest, HiddenColumnsLeaveAndComeBackAtTheirPlace)
{
    useRows(threeRows());
    create();
    bool hide3 = false;
    std::vector<RK_XbpColumn*> cols;
    for (int i = 1; i <= 5; ++i)
        cols.push_back(column([&, i](const Value& rec) {
            set(rec, 29, 1);
            set(rec, 3, "C" + std::to_string(i));
            if (i == 3)
                set(rec, 53, rt::makeBlock([&hide3](rt::Args) { return Value(hide3); }));
        }));
    b->freezeLeft = makeArray({1});
    b->setFrozen(true, b->freezeLeft);
    cols[2]->WhenHideEval();
    EXPECT_EQ(b->colCount(), 5) << "a shown column that stays shown changes nothing";

    hide3 = true;
    cols[2]->WhenHideEval();
    ASSERT_EQ(b->colCount(), 4);
    EXPECT_EQ(b->columnAt(3), cols[3]);
    EXPECT_EQ(b->frozen(true).asArray().size(), 1u) << "the frozen columns stay frozen";

    hide3 = false;
    cols[2]->WhenHideEval();
    ASSERT_EQ(b->colCount(), 5);
    EXPECT_EQ(b->columnAt(3), cols[2]);
}

TEST_F(SortTest, NoResizeColumnsAreNotSizedFromEitherBorder)
{
    useRows(threeRows());
    create();
    RK_XbpColumn* fixed = column([](const Value& rec) {
        set(rec, 29, 1);
        set(rec, 3, "Fixed");
        setOption(rec, 9, true);
    });
    RK_XbpColumn* free = fieldColumn(2, "Free");
    settle();
    const Value pressed3In[] = {gui::pairValue(3, 5), makeArray({free->self(), 1})};
    rt::send(bv, "HFLbDown", rt::Args(pressed3In, 2));
    EXPECT_FALSE(b->isSizing()) << "3 pixels into the right neighbour of a fixed column";

    const int w = free->width();
    const Value rightBorder[] = {gui::pairValue(w - 2, 5), makeArray({free->self(), 1})};
    rt::send(bv, "HFLbDown", rt::Args(rightBorder, 2));
    EXPECT_TRUE(b->isSizing()) << "the free column's own right border";
    b->endSizing();
    (void)fixed;
}

}  // namespace
