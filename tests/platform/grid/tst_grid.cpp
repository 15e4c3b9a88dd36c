// The grid on real widgets (offscreen): an array-like source navigated
// through its blocks, real key and mouse events, then the queue dispatched.
#include "platform/grid/browse.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/grid/scrollbar.h"
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/gui/ps.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QApplication>
#include <QFontMetrics>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

namespace {

using gui::XbpBrowse;
using gui::XbpCellGroup;
using gui::XbpColumn;

// Rows 1..size; the value of a cell comes from `cell`, so a million rows
// cost nothing. The blocks move `element` as an array navigation does.
struct Source {
    long long size = 0;
    long long element = 1;
    long long evals = 0;
    long long skips = 0;
    long long maxSkip = 0;  // > 0: the skipper moves at most this far per call
    std::map<long long, std::string> changed;

    rt::Value value(long long el, int field) const
    {
        if (auto it = changed.find(el * 100 + field); it != changed.end())
            return rt::Value(it->second);
        return rt::Value("R" + std::to_string(el) + "C" + std::to_string(field));
    }

    void install(XbpBrowse& b)
    {
        element = size > 0 ? 1 : 0;
        b.skipBlock = rt::makeBlock([this](rt::Args a) {
            ++skips;
            long long n = rt::argAt(a, 0).asInt();
            if (maxSkip > 0)
                n = std::clamp(n, -maxSkip, maxSkip);
            if (size == 0)
                return rt::Value(0);
            const long long to = std::clamp(element + n, 1LL, size);
            const long long did = to - element;
            element = to;
            return rt::Value(did);
        });
        b.goTopBlock = rt::makeBlock([this](rt::Args) { element = size > 0 ? 1 : 0; });
        b.goBottomBlock = rt::makeBlock([this](rt::Args) { element = size; });
        b.posBlock = rt::makeBlock([this](rt::Args) { return rt::Value(element); });
        b.phyPosBlock = rt::makeBlock([this](rt::Args) { return rt::Value(element); });
        b.firstPosBlock = rt::makeBlock([](rt::Args) { return rt::Value(1); });
        b.lastPosBlock = rt::makeBlock([this](rt::Args) { return rt::Value(size); });
    }

    rt::Value column(int field, const char* caption = nullptr)
    {
        auto* c = new XbpColumn();
        rt::Value v = c->self();
        c->dataLink = rt::makeBlock([this, field](rt::Args) {
            ++evals;
            return value(element, field);
        });
        if (caption)
            c->headingGroup()->storeCell(1, rt::Value(caption), {}, false);
        c->presParams = rt::makeArray({rt::makeArray({116, 8})});
        return v;
    }
};

class Grid : public ::testing::Test {
protected:
    void make(long long rows, int columns, QSize size = {400, 200})
    {
        src.size = rows;
        bv = (new XbpBrowse())->self();
        b = gui::asBrowse(bv);
        src.install(*b);
        for (int i = 1; i <= columns; ++i)
            b->addColumn(src.column(i, ("Col " + std::to_string(i)).c_str()));
        const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0),
                                  gui::pairValue(size.width(), size.height()), rt::Value(), true};
        b->create(rt::Args(args, 6));
        b->widget()->show();
        settle();
    }
    void settle()
    {
        gui::dispatchPending();
        gui::dispatchPending();
    }
    void TearDown() override
    {
        if (b)
            b->destroy();
        gui::clearAppEvents();
    }
    XbpColumn* col(int i) const { return b->columnAt(i); }
    QWidget* area(int i) const { return col(i)->dataGroup()->widget(); }
    QString text(int c, int row) const { return col(c)->dataGroup()->cellText(row); }
    QPoint rowCenter(int c, int row) const { return col(c)->dataGroup()->rowRect(row).center(); }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::keyClick(area(b->colPos()), Qt::Key(k), m);
        settle();
    }

    Source src;
    rt::Value bv;
    XbpBrowse* b = nullptr;
};

TEST_F(Grid, FirstPaintReadsTheVisibleRowsOnly)
{
    make(10, 2);
    const int rows = b->rowCount();
    ASSERT_GE(rows, 3);
    ASSERT_LT(rows, 10);
    EXPECT_EQ(src.evals, 2 * rows);
    EXPECT_EQ(text(1, 1), "R1C1");
    EXPECT_EQ(text(2, rows), QString("R%1C2").arg(rows));
    EXPECT_EQ(src.element, 1) << "the data sits on the cursor row";
}

TEST_F(Grid, KeysMoveTheCursorAndHitTheEnds)
{
    make(10, 2);
    const int rows = b->rowCount();
    key(Qt::Key_Down);
    EXPECT_EQ(b->rowPos(), 2);
    EXPECT_EQ(src.element, 2);
    key(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(src.element, 10);
    EXPECT_EQ(b->rowPos(), rows);
    EXPECT_EQ(text(1, rows), "R10C1");
    key(Qt::Key_Down);
    EXPECT_TRUE(b->hitBottom.asBool());
    EXPECT_EQ(src.element, 10);
    key(Qt::Key_PageUp, Qt::ControlModifier);
    key(Qt::Key_Up);
    EXPECT_TRUE(b->hitTop.asBool());
    EXPECT_EQ(src.element, 1);
    key(Qt::Key_Right);
    EXPECT_EQ(b->colPos(), 2);
    key(Qt::Key_Left);
    EXPECT_EQ(b->colPos(), 1);
}

TEST_F(Grid, PagingAMillionRowsCostsTheSameAsAThousand)
{
    auto cost = [this](long long size) {
        make(size, 3);
        src.evals = src.skips = 0;
        for (int i = 0; i < 10; ++i) {
            b->pageDown();
            b->forceStable();
        }
        const auto c = std::pair(src.evals, src.skips);
        EXPECT_EQ(src.element, 1 + 10LL * b->rowCount());
        b->goBottom();
        b->forceStable();
        EXPECT_EQ(text(1, b->rowPos()), QString("R%1C1").arg(size));
        b->destroy();
        b = nullptr;
        return c;
    };
    const auto small = cost(1000);
    const auto large = cost(1000000);
    EXPECT_EQ(small, large);
}

TEST_F(Grid, OnlyStaleRowsAreReadAgain)
{
    make(100, 2);
    const int rows = b->rowCount();
    src.evals = 0;
    for (int i = 1; i < rows; ++i)
        b->down();
    b->forceStable();
    EXPECT_EQ(src.evals, 0) << "moving inside the page reads nothing";
    b->down();
    b->forceStable();
    EXPECT_EQ(src.evals, 2) << "one row scrolled in";
    src.evals = 0;
    b->refreshCurrent();
    b->forceStable();
    EXPECT_EQ(src.evals, 2);
    src.evals = 0;
    b->refreshAll();
    b->forceStable();
    EXPECT_EQ(src.evals, 2 * rows);
}

TEST_F(Grid, RefreshShowsChangedDataAndAShrunkSource)
{
    make(10, 1);
    src.changed[2 * 100 + 1] = "changed";
    b->refreshAll();
    settle();
    EXPECT_EQ(text(1, 2), "changed");
    key(Qt::Key_PageDown, Qt::ControlModifier);
    src.size = 3;
    src.element = 3;  // as an array navigation clamps its element
    b->refreshAll();
    settle();
    EXPECT_EQ(b->filledRows(), 3);
    EXPECT_EQ(b->rowPos(), 3);
    EXPECT_EQ(text(1, 4), "");
}

TEST_F(Grid, EmptySourceShowsNoRowAndReadsNothing)
{
    make(0, 2);
    EXPECT_EQ(b->filledRows(), 0);
    EXPECT_EQ(src.evals, 0);
    key(Qt::Key_Down);
    key(Qt::Key_PageDown);
    EXPECT_EQ(src.evals, 0);
    EXPECT_TRUE(b->hitBottom.asBool());
}

TEST_F(Grid, ShortSkipperKeepsTheRowsConsistent)
{
    src.maxSkip = 1;
    make(50, 1);
    const int rows = b->rowCount();
    b->pageDown();
    b->forceStable();
    // The cursor stays where the data is, whatever the skipper did.
    EXPECT_EQ(text(1, b->rowPos()), QString("R%1C1").arg(src.element));
    EXPECT_EQ(b->filledRows(), rows);
    for (int r = 1; r <= rows; ++r)
        EXPECT_EQ(text(1, r), QString("R%1C1").arg(src.element - b->rowPos() + r));
}

TEST_F(Grid, FailingDataLinkShowsAMarkerAndTheGridGoesOn)
{
    make(10, 2);
    col(2)->dataLink = rt::makeBlock([this](rt::Args) -> rt::Value {
        if (src.element == 3)
            rt::raise("Bound error", "array access");
        return src.value(src.element, 2);
    });
    b->refreshAll();
    settle();
    EXPECT_EQ(text(2, 3), XbpCellGroup::kErrorMark);
    EXPECT_EQ(text(2, 2), "R2C2");
    EXPECT_EQ(text(1, 3), "R3C1");
    key(Qt::Key_Down);
    EXPECT_EQ(src.element, 2);
}

struct ColorCase {
    const char* name;
    std::function<rt::Value(long long)> result;
    bool colored;
};
void PrintTo(const ColorCase& c, std::ostream* os) { *os << c.name; }

class GridColors : public Grid, public ::testing::WithParamInterface<ColorCase> {};

TEST_P(GridColors, ColourBlockPerRow)
{
    make(10, 1);
    const ColorCase& c = GetParam();
    col(1)->colorBlock = rt::makeBlock([this, &c](rt::Args) { return c.result(src.element); });
    b->refreshAll();
    settle();
    const QImage shot = area(1)->grab().toImage();
    const QColor red(255, 0, 0), plain = shot.pixelColor(1, col(1)->dataGroup()->rowRect(3).center().y());
    for (int row : {2, 3, 4}) {
        const QColor px = shot.pixelColor(1, col(1)->dataGroup()->rowRect(row).center().y());
        const bool wantRed = c.colored && row % 2 == 0;
        EXPECT_EQ(px == red, wantRed) << "row " << row << " " << px.name().toStdString();
    }
    if (!c.colored) {
        EXPECT_NE(plain, red);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, GridColors,
    ::testing::Values(
        ColorCase{"PairOnEvenRows",
                  [](long long el) {
                      if (el % 2 != 0)
                          return rt::Value();
                      return rt::makeArray({gui::makeRgbColor(0, 0, 0), gui::makeRgbColor(255, 0, 0)});
                  },
                  true},
        ColorCase{"RgbArrays",
                  [](long long el) {
                      if (el % 2 != 0)
                          return rt::Value();
                      rt::Value rgb = rt::makeArray({255, 0, 0});
                      return rt::makeArray({rt::Value(), rgb});
                  },
                  true},
        ColorCase{"NilKeepsThePlatformColours", [](long long) { return rt::Value(); }, false},
        ColorCase{"WrongKindKeepsThePlatformColours", [](long long) { return rt::Value("red"); }, false},
        ColorCase{"ThreeEntriesAreNotAColourPair",
                  [](long long) { return rt::makeArray({1, gui::makeRgbColor(255, 0, 0), 3}); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Grid, ShiftAndCtrlKeysReachTheKeyboardCallback)
{
    make(10, 2);
    std::vector<long long> keys;
    b->cbKeyboard = rt::makeBlock([&](rt::Args a) { keys.push_back(rt::argAt(a, 0).asInt()); });
    key(Qt::Key_Down, Qt::ShiftModifier);
    key(Qt::Key_Down, Qt::ControlModifier);
    key(Qt::Key_Insert, Qt::ShiftModifier);
    key(Qt::Key_Down);
    EXPECT_EQ(keys, (std::vector<long long>{589864, 196648, 589869, 65576}));
    EXPECT_EQ(src.element, 2) << "only the plain Down moves";
}

TEST_F(Grid, ItemSelectedOnEnterAndDoubleClick)
{
    make(10, 2);
    int selected = 0, marked = 0;
    b->cbItemSelected = rt::makeBlock([&](rt::Args) { ++selected; });
    b->cbItemMarked = rt::makeBlock([&](rt::Args) { ++marked; });
    key(Qt::Key_Return);
    EXPECT_EQ(selected, 1);
    QTest::mouseDClick(area(2), Qt::LeftButton, {}, rowCenter(2, 3));
    settle();
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(b->rowPos(), 3);
    EXPECT_EQ(b->colPos(), 2);
    EXPECT_EQ(src.element, 3);
    EXPECT_GE(marked, 1);
}

TEST_F(Grid, ClickMovesTheCursorAndFiresTheCellGroupCallbacks)
{
    make(10, 2);
    rt::Value clicked;
    col(2)->dataGroup()->cbLbClick = rt::makeBlock([&](rt::Args a) { clicked = rt::argAt(a, 2); });
    rt::Value rb;
    b->cbItemRbDown = rt::makeBlock([&](rt::Args a) { rb = rt::argAt(a, 1); });
    QTest::mouseClick(area(2), Qt::LeftButton, {}, rowCenter(2, 4));
    settle();
    EXPECT_EQ(b->rowPos(), 4);
    EXPECT_EQ(clicked.cell(), col(2)->dataArea.cell());
    QTest::mouseClick(area(1), Qt::RightButton, {}, rowCenter(1, 2));
    settle();
    ASSERT_TRUE(rb.isArray());
    EXPECT_EQ(rb.asArray().items[0].cell(), col(1)->self().cell());
    EXPECT_EQ(rb.asArray().items[1].asInt(), 2);
}

TEST_F(Grid, ThumbDragCallsGoPosOnRelease)
{
    make(1000, 1);
    std::vector<long long> calls;
    b->goPosBlock = rt::makeBlock([&](rt::Args a) {
        calls.push_back(rt::argAt(a, 0).asInt());
        src.element = std::clamp<long long>(rt::argAt(a, 0).asInt(), 1, src.size);
    });
    auto* bar = dynamic_cast<gui::XbpScrollBar*>(gui::asPart(b->vScrollBar))->bar();
    ASSERT_NE(bar, nullptr);
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = Qt::Vertical;
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = opt.sliderValue = bar->value();
    opt.pageStep = bar->pageStep();
    opt.singleStep = bar->singleStep();
    const QRect handle = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar);
    QTest::mousePress(bar, Qt::LeftButton, {}, handle.center());
    QTest::mouseMove(bar, handle.center() + QPoint(0, bar->height() / 2));
    settle();
    EXPECT_TRUE(calls.empty()) << "soft tracking waits for the release";
    QTest::mouseRelease(bar, Qt::LeftButton, {}, handle.center() + QPoint(0, bar->height() / 2));
    settle();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_GT(calls[0], 300);
    EXPECT_EQ(text(1, b->rowPos()), QString("R%1C1").arg(src.element));
}

TEST_F(Grid, HeaderBorderDragResizesTheColumn)
{
    make(10, 3);
    QWidget* head = col(1)->headingGroup()->widget();
    ASSERT_TRUE(head && head->isVisible());
    const int before = col(1)->width();
    const QPoint border(head->width() - 2, head->height() / 2);
    QTest::mousePress(head, Qt::LeftButton, {}, border);
    QTest::mouseMove(head, border + QPoint(30, 0));
    QTest::mouseRelease(head, Qt::LeftButton, {}, border + QPoint(30, 0));
    settle();
    EXPECT_EQ(col(1)->width(), before + 30);
    EXPECT_EQ(col(2)->widget()->x(), before + 30);
    // A press in the middle does not size.
    QTest::mousePress(head, Qt::LeftButton, {}, QPoint(head->width() / 2, 3));
    EXPECT_FALSE(b->isSizing());
    QTest::mouseRelease(head, Qt::LeftButton, {}, QPoint(head->width() / 2, 3));
}

TEST_F(Grid, FrozenColumnStaysWhilePanning)
{
    make(10, 8, {260, 200});
    b->setFrozen(true, rt::makeArray({1}));
    EXPECT_EQ(b->frozen(true).asArray().size(), 1u);
    for (int i = 0; i < 3; ++i)
        b->panRight();
    settle();
    EXPECT_TRUE(col(1)->widget()->isVisible());
    EXPECT_EQ(col(1)->widget()->x(), 0);
    EXPECT_FALSE(col(2)->widget()->isVisible());
    EXPECT_TRUE(col(5)->widget()->isVisible());
    EXPECT_EQ(text(5, 1), "R1C5") << "a column panned into view is read";
    b->setFrozen(true, rt::Value::array());
    EXPECT_EQ(b->frozen(true).asArray().size(), 0u);
}

TEST_F(Grid, AddInsertAndDeleteColumns)
{
    make(10, 2);
    b->setColPos(2);
    b->insColumn(1, src.column(7, "Seven"));
    settle();
    EXPECT_EQ(b->colCount(), 3);
    EXPECT_EQ(b->colPos(), 3) << "the current column stays current";
    EXPECT_EQ(text(1, 2), "R2C7");
    const rt::Value gone = b->delColumn(1);
    EXPECT_EQ(gui::asColumn(gone)->dataGroup()->cellText(1), "R1C7");
    EXPECT_EQ(b->colCount(), 2);
    EXPECT_EQ(b->colPos(), 2);
    EXPECT_TRUE(b->delColumn(9).isNil());
    b->addColumn(gone);
    settle();
    EXPECT_EQ(b->colNum(gui::asColumn(gone)), 3);
    EXPECT_EQ(text(3, 1), "R1C7");
}

TEST_F(Grid, MultiLineHeadingsTakeTheirLines)
{
    src.size = 10;
    bv = (new XbpBrowse())->self();
    b = gui::asBrowse(bv);
    src.install(*b);
    rt::Value cv = src.column(1);
    auto* c = gui::asColumn(cv);
    c->headingGroup()->maxRow = 2;
    b->addColumn(cv);
    b->addColumn(src.column(2, "Single"));
    const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0), gui::pairValue(300, 200), rt::Value(), true};
    b->create(rt::Args(args, 6));
    b->widget()->show();
    rt::sendWith(c->heading, "setCell", 1, "First");
    rt::sendWith(c->heading, "setCell", 2, "Name");
    settle();
    XbpCellGroup* h = c->headingGroup();
    EXPECT_EQ(h->rowCount(), 2);
    EXPECT_GE(h->widget()->height(), 2 * h->lineHeight());
    EXPECT_EQ(col(2)->headingGroup()->widget()->height(), h->widget()->height()) << "one band for all headings";
    const rt::Value r1 = rt::send(c->heading, "cellRect", std::vector<rt::Value>{1, true});
    const rt::Value r2 = rt::send(c->heading, "cellRect", std::vector<rt::Value>{2, true});
    EXPECT_GT(r1.asArray().items[1].asInt(), r2.asArray().items[1].asInt()) << "line 1 above line 2 (y up)";
    EXPECT_EQ(h->cellText(2), "Name");
}

// A browse that paints its cells itself, as a derived class does.
class OwnerBrowse : public XbpBrowse {
public:
    const rt::ClassInfo& classInfo() const override
    {
        static const rt::ClassInfo cls = [] {
            rt::ClassInfo c("OwnerBrowse", {&XbpBrowse::staticClass()});
            c.method<OwnerBrowse>("CustomDrawCell", [](OwnerBrowse& o, rt::Args a) {
                ++o.calls;
                o.lastInfo = rt::argAt(a, 1);
                gui::XbpPS* ps = gui::asPS(rt::argAt(a, 0));
                const auto r = gui::rectOf(o.lastInfo.asArray().items[3]);
                if (!ps || !r)
                    return true;
                ps->setColor(rt::Value(gui::makeRgbColor(0, 0, 255)), rt::Value(gui::makeRgbColor(0, 0, 255)));
                gui::graBox(*ps, {(*r)[0], (*r)[1]}, {(*r)[2], (*r)[3]}, gui::gra_fill::Fill);
                return false;
            });
            return c;
        }();
        return cls;
    }
    int calls = 0;
    rt::Value lastInfo;
};

TEST_F(Grid, OwnerDrawnCellsGoThroughTheHook)
{
    src.size = 10;
    bv = (new OwnerBrowse())->self();
    b = gui::asBrowse(bv);
    src.install(*b);
    b->drawMode = 1;
    b->addColumn(src.column(1, "Painted"));
    const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0), gui::pairValue(300, 200), rt::Value(), true};
    b->create(rt::Args(args, 6));
    b->widget()->show();
    settle();
    const QImage shot = area(1)->grab().toImage();
    auto* ob = static_cast<OwnerBrowse*>(b);
    EXPECT_GE(ob->calls, b->rowCount());
    ASSERT_TRUE(ob->lastInfo.isArray());
    ASSERT_EQ(ob->lastInfo.asArray().size(), 6u);
    EXPECT_EQ(ob->lastInfo.asArray().items[4].asInt(), 1);
    EXPECT_EQ(ob->lastInfo.asArray().items[5].cell(), col(1)->self().cell());
    EXPECT_EQ(shot.pixelColor(rowCenter(1, 2)), QColor(0, 0, 255));
    ob->lastInfo = {};  // it holds the column, which holds the browse
}

// A data area that paints its own lines and rebuilds on setSize, reached by name.
class LinesGroup : public XbpCellGroup {
public:
    const rt::ClassInfo& classInfo() const override
    {
        static const rt::ClassInfo cls = [] {
            rt::ClassInfo c("LinesGroup", {&XbpCellGroup::staticClass()});
            c.method<LinesGroup>("paint", [](LinesGroup& o, rt::Args a) {
                ++o.paints;
                return XbpCellGroup::staticClass().find("paint")->call(o, a);
            });
            c.method<LinesGroup>("setSize", [](LinesGroup& o, rt::Args a) {
                ++o.sizes;
                return XbpCellGroup::staticClass().find("setSize")->call(o, a);
            });
            return c;
        }();
        return cls;
    }
    int paints = 0, sizes = 0;
};

TEST_F(Grid, DerivedCellGroupPaintsByName)
{
    src.size = 10;
    bv = (new XbpBrowse())->self();
    b = gui::asBrowse(bv);
    src.install(*b);
    rt::Value cv = src.column(1, "Lines");
    auto* g = new LinesGroup();
    gui::asColumn(cv)->dataArea = g->self();
    b->addColumn(cv);
    const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0), gui::pairValue(300, 200), rt::Value(), true};
    b->create(rt::Args(args, 6));
    b->widget()->show();
    settle();
    (void)area(1)->grab();
    EXPECT_GE(g->paints, 1);
    EXPECT_GE(g->sizes, 1);
    EXPECT_EQ(g->cellText(1), "R1C1");
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The grid asks Qt for one repaint per row (or for the widget) until the
// next paint; a change after that paint must ask again.
TEST_F(Grid, CellStoredAfterAPaintIsPaintedAgain)
{
    make(10, 2);
    XbpCellGroup* g = col(1)->dataGroup();
    PaintCounter counter(g->widget());
    for (int round = 1; round <= 3; ++round) {
        const int before = counter.paints;
        for (int row = 1; row <= 4; ++row)
            g->storeCell(row, rt::Value("round " + std::to_string(round)), {}, false);
        settle();
        EXPECT_GT(counter.paints, before) << "round " << round;
        EXPECT_EQ(g->cellText(2).toStdString(), "round " + std::to_string(round));
    }
    // A whole-area repaint, then a single row: both reach the screen.
    const int before = counter.paints;
    g->markAllDirty();
    settle();
    g->setRowColors(3, gui::clr::Red, gui::clr::Blue, -1, -1);
    settle();
    EXPECT_GE(counter.paints, before + 2);
    const QPoint pastText(g->widget()->width() - 5, rowCenter(1, 3).y());
    EXPECT_EQ(g->widget()->grab().toImage().pixelColor(pastText), gui::toQColor(gui::clr::Blue));
}

TEST_F(Grid, TextLongerThanItsCellEndsInAnEllipsis)
{
    make(10, 2);
    XbpCellGroup* g = col(1)->dataGroup();
    const QRect cell = g->rowRect(2);
    const QString whole(60, QLatin1Char('W'));
    const QString cut = QFontMetrics(g->cellFont()).elidedText(whole, Qt::ElideRight, cell.width() - 6);  // margins
    ASSERT_TRUE(cut.endsWith(QChar(0x2026)));
    auto shown = [&](const QString& text) {
        g->storeCell(2, rt::Value(text.toStdString()), {}, false);
        settle();
        return g->widget()->grab(cell).toImage();
    };
    EXPECT_EQ(shown(whole), shown(cut));
}

// A column class that follows the rows through the hooks it names.
class HookedColumn : public XbpColumn {
public:
    const rt::ClassInfo& classInfo() const override
    {
        static const rt::ClassInfo cls = [] {
            rt::ClassInfo c("HookedColumn", {&XbpColumn::staticClass()});
            c.method<HookedColumn>("DrawRow", [](HookedColumn& o, rt::Args a) {
                o.drawn.push_back(int(rt::argAt(a, 0).asInt()));
                return o.self();
            });
            c.method<HookedColumn>("ScrollDown", [](HookedColumn& o, rt::Args a) {
                o.scrolled += int(rt::argAt(a, 0).asInt());
                return o.self();
            });
            return c;
        }();
        return cls;
    }
    std::vector<int> drawn;
    int scrolled = 0;
};

TEST_F(Grid, RowHooksOfADerivedColumnFollowTheRows)
{
    src.size = 100;
    bv = (new XbpBrowse())->self();
    b = gui::asBrowse(bv);
    src.install(*b);
    auto* hooked = new HookedColumn();
    const rt::Value hv = hooked->self();
    hooked->dataLink = rt::makeBlock([this](rt::Args) { return src.value(src.element, 1); });
    b->addColumn(hv);
    b->addColumn(src.column(2));
    const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0), gui::pairValue(300, 200), rt::Value(), true};
    b->create(rt::Args(args, 6));
    b->widget()->show();
    settle();
    ASSERT_EQ(int(hooked->drawn.size()), b->rowCount()) << "one DrawRow per row read";
    EXPECT_EQ(hooked->drawn.front(), 1);
    hooked->drawn.clear();
    b->pageDown();
    b->forceStable();
    EXPECT_EQ(hooked->scrolled, b->rowCount()) << "the window moved a page down the data";
    EXPECT_EQ(int(hooked->drawn.size()), b->rowCount());
    EXPECT_FALSE(col(2)->hasHook(XbpColumn::DrawRowHook));
    EXPECT_TRUE(hooked->hasHook(XbpColumn::ScrollDownHook) && !hooked->hasHook(XbpColumn::ScrollUpHook));
}

// The first rows shown decide a measured width; a fixed width stops the
// measuring until the presentation drops it.
TEST_F(Grid, MeasuredAndFixedWidths)
{
    const std::string wide(24, 'W');
    src.changed[1 * 100 + 2] = wide;
    make(10, 2);
    const int firstWidth = col(1)->width();
    const int fixedWidth = col(2)->width();
    EXPECT_FALSE(col(1)->isMeasuring());
    EXPECT_FALSE(col(2)->isMeasuring());
    EXPECT_LT(fixedWidth, QFontMetrics(col(2)->dataGroup()->cellFont()).horizontalAdvance(QString::fromStdString(wide)));

    // Later values do not widen a measured column.
    src.changed[2 * 100 + 1] = wide;
    b->refreshAll();
    b->forceStable();
    EXPECT_EQ(col(1)->width(), firstWidth);

    // Column 2 without its character width: measured from its rows.
    col(2)->setPresParam(rt::makeArray({rt::makeArray({116, 0})}));
    settle();
    b->forceStable();
    const QFontMetrics fm(col(2)->dataGroup()->cellFont());
    EXPECT_GE(col(2)->width(), fm.horizontalAdvance(QString::fromStdString(wide)));
}

// Columns and their cell groups point back at their owners: destroying the
// browse must leave no pair that keeps itself alive.
TEST_F(Grid, DestroyedBrowseFreesItsColumnsAndCellGroups)
{
    make(10, 2);
    const gui::WeakPart browse(*b), column(*col(1)), data(*col(1)->dataGroup()), heading(*col(2)->headingGroup());
    b->destroy();
    b = nullptr;
    bv = rt::Value();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(browse.get(), nullptr);
    EXPECT_EQ(column.get(), nullptr);
    EXPECT_EQ(data.get(), nullptr);
    EXPECT_EQ(heading.get(), nullptr);
}

TEST(GridCompiled, ArrayBlocksCompiledFromText)
{
    // The array navigation written as the language's own blocks.
    std::vector<rt::Value> rows;
    for (int i = 1; i <= 10; ++i)
        rows.push_back(rt::makeArray({rt::Value("Row " + std::to_string(i))}));
    rt::publicSet("aGridData", rt::makeArray(rows));
    rt::publicSet("nGridEl", 1);
    rt::Value bv = (new XbpBrowse())->self();
    XbpBrowse* b = gui::asBrowse(bv);
    b->skipBlock = rt::compile(
        "{|n| nGridOld := nGridEl, nGridEl := Max(1, Min(Len(aGridData), nGridEl + n)), nGridEl - nGridOld}");
    b->goTopBlock = rt::compile("{|| nGridEl := 1}");
    b->goBottomBlock = rt::compile("{|| nGridEl := Len(aGridData)}");
    b->posBlock = rt::compile("{|| nGridEl}");
    b->firstPosBlock = rt::compile("{|| 1}");
    b->lastPosBlock = rt::compile("{|| Len(aGridData)}");
    auto* c = new XbpColumn();
    rt::Value cv = c->self();
    c->dataLink = rt::compile("{|| aGridData[nGridEl][1]}");
    b->addColumn(cv);
    const rt::Value args[] = {rt::Value(), rt::Value(), gui::pairValue(0, 0), gui::pairValue(200, 120), rt::Value(), true};
    b->create(rt::Args(args, 6));
    gui::dispatchPending();
    b->goBottom();
    b->forceStable();
    EXPECT_EQ(c->dataGroup()->cellText(b->rowPos()), "Row 10");
    EXPECT_EQ(rt::publicGet("nGridEl").asInt(), 10);
    b->destroy();
}

}  // namespace

namespace {
// Right to and past the last column and Left to and before the first stay
// in the grid, also when the move pans the focused column out of sight.
TEST_F(Grid, ArrowsAtTheEndsKeepTheFocusInTheGrid)
{
    QWidget host;
    auto* before = new QPushButton("antes", &host);
    make(5, 8, {160, 150});  // narrower than its columns: moving pans
    b->cursorModeVar = 3;      // a row cursor: Left and Right pan
    b->widget()->setParent(&host);
    b->widget()->move(0, 30);
    auto* after = new QPushButton("después", &host);
    after->move(0, 200);
    host.resize(320, 240);
    host.show();
    before->setFocus();
    area(1)->setFocus();
    settle();
    const auto inGrid = [&] { return b->widget()->isAncestorOf(QApplication::focusWidget()); };
    const auto press = [&](Qt::Key k) {  // where a user's key goes: the focus widget
        QTest::keyClick(QApplication::focusWidget(), k);
        settle();
    };
    ASSERT_TRUE(inGrid());
    for (int i = 0; i < 9; ++i)
        press(Qt::Key_Right);
    EXPECT_TRUE(inGrid()) << "Right on the last column";
    for (int i = 0; i < 9; ++i)
        press(Qt::Key_Left);
    EXPECT_TRUE(inGrid()) << "Left on the first column";
    press(Qt::Key_Down);
    EXPECT_EQ(b->rowPos(), 2) << "the keys still reach the grid";
    b->widget()->setParent(nullptr);
}
}  // namespace
