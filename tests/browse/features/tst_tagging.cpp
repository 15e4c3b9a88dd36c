// Row tagging driven by real keys and clicks on the offscreen platform.
#include "browse/core/tst_browse_fixture.h"
#include "browse/features/features.h"

#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"

#include "platform/runtime/text.h"

#include <QTest>

namespace {

using rt::Value;
using tb::Elements;

class Tagging : public tb::BrowseTest {
protected:
    static void SetUpTestSuite()
    {
        tb::BrowseTest::SetUpTestSuite();
        browse::registerBrowseFeatures();
    }

    // An array browse of `n` rows {i, "row i", .F.} tagging on element 3.
    void build(int n, int tagMode = 0)
    {
        data = tb::rows(n);
        Elements e = tb::arrayDialog(data);
        e.option(dlg::browseOption::TagEnable, true).option(dlg::browseOption::TagElement, 3);
        e.option(dlg::browseOption::TagMode, tagMode);
        make(e);
        create();
    }

    QWidget* area() const { return b->columnAt(1)->dataGroup()->widget(); }

    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::keyClick(area(), k, m);
        settle();
    }

    std::string tags() const
    {
        std::string s;
        for (const Value& row : data.asArray().items)
            s += rt::isTrue(tb::at(row, 3)) ? 'x' : '.';
        return s;
    }

    Value data;
};

TEST_F(Tagging, KeysToggleTagAllAndUntagAll)
{
    build(5);
    key(Qt::Key_Space);
    EXPECT_EQ(tags(), "x....");
    key(Qt::Key_Down, Qt::ShiftModifier);  // toggles row 1 off and moves down
    EXPECT_EQ(tags(), ".....");
    EXPECT_EQ(b->arrayElement.asInt(), 2);
    key(Qt::Key_Space);
    EXPECT_EQ(tags(), ".x...");
    EXPECT_EQ(b->lastTagRec.asInt(), 2);
    key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(tags(), "xxxxx");
    EXPECT_EQ(browse::taggedCount(*b), 5);
    key(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(tags(), ".....");
}

TEST_F(Tagging, KeysOutsideTheFilterChangeNothing)
{
    build(3);
    key(Qt::Key_Space);
    const Value anchor = b->lastTagRec;
    for (Qt::Key k : {Qt::Key_A, Qt::Key_F5, Qt::Key_Insert}) {
        key(k);
        EXPECT_EQ(tags(), "x..") << k;
    }
    EXPECT_EQ(b->lastTagRec.asInt(), anchor.asInt());
}

TEST_F(Tagging, SpaceOnANonLogicalTagElementChangesNothing)
{
    build(3);
    tb::at(data, 1).asArray().items[2] = "no";
    key(Qt::Key_Space);
    EXPECT_TRUE(tb::at(tb::at(data, 1), 3).isChar());
    EXPECT_EQ(b->lastTagRec.asInt(), 0);
}

TEST_F(Tagging, PlainClickClearsAndWithModeOneSelectsTheRow)
{
    for (int mode : {0, 1}) {
        build(4, mode);
        key(Qt::Key_Insert, Qt::ShiftModifier);
        const QRect r = b->columnAt(1)->dataGroup()->rowRect(3);
        QTest::mouseClick(area(), Qt::LeftButton, Qt::NoModifier, r.center());
        settle();
        rt::send(bv, "Tag", {});  // what a data-area click of the browse's own columns runs
        EXPECT_EQ(tags(), mode == 1 ? "..x." : "....") << "tagMode " << mode;
        EXPECT_EQ(b->lastTagRec.asInt(), 3) << "tagMode " << mode;
        b->destroy();
        b = nullptr;
    }
}

TEST_F(Tagging, WorkAreaTagAllAndPlainClickWithoutTags)
{
    openTable("TAGS", 50);
    Elements e;
    e.add(dlg::type::Browse).set(25, "TAGS").add(dlg::type::Column);
    e.option(dlg::browseOption::TagEnable, true);
    make(e);
    create(1);
    // A plain click over a work area without tags: no anchor is set.
    const Value none[] = {Value(), Value(), 0};
    rt::send(bv, "Tag", rt::Args(none, 3));
    EXPECT_EQ(b->lastTagRec.asInt(), 0);
    key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(browse::taggedCount(*b), 50);
    EXPECT_EQ(rt::var2char(rt::evalText("RK_RecTagArray()")).substr(0, 10), "{1, 2, 3, ");
    key(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(browse::taggedCount(*b), 0);
}

// Copies and other users of the tags meet the tagged rows in the order on
// screen, and the current row stays current.
TEST_F(Tagging, ForEachTaggedFollowsTheOrderOnScreen)
{
    openTable("TAGS", 12);
    Elements e;
    e.add(dlg::type::Browse).set(25, "TAGS").add(dlg::type::Column);
    make(e);
    create(1);
    dbf::WorkArea& area = *dbf::findArea("TAGS");
    for (std::uint32_t r : {9u, 2u, 5u})
        area.tags().insert(r);
    area.goTo(7);
    for (bool descending : {false, true}) {
        b->descending = descending;
        std::vector<std::uint32_t> seen;
        EXPECT_EQ(browse::forEachTagged(*b, [&] { seen.push_back(area.recno()); }), 3);
        const std::vector<std::uint32_t> onScreen = descending ? std::vector<std::uint32_t>{9, 5, 2}
                                                               : std::vector<std::uint32_t>{2, 5, 9};
        EXPECT_EQ(seen, onScreen);
        EXPECT_EQ(area.recno(), 7u);
    }
}

// Tagging through the data-area handlers of dialog columns, driven by real
// mouse events: Tag reads Ctrl and Shift from the key-state query, which
// must answer with the modifiers of the event being handled.
class MouseTagging : public Tagging {
protected:
    // An array browse of `n` rows {i, "row i", .F.} tagging on element 3.
    void buildArray(int n, int tagMode = 0)
    {
        data = tb::rows(n);
        Elements e = tb::arrayDialog(data, 0);
        e.option(dlg::browseOption::TagEnable, true).option(dlg::browseOption::TagElement, 3);
        e.option(dlg::browseOption::TagMode, tagMode);
        for (int i = 1; i <= 2; ++i)
            e.add(dlg::type::Column).set(3, "C" + std::to_string(i)).set(29, i).set(9, 10);
        build(e);
    }

    // A browse over the work area TAGS of `n` records.
    void buildArea(int n, int tagMode)
    {
        openTable("TAGS", n);
        Elements e;
        e.add(dlg::type::Browse).set(25, "TAGS");
        e.option(dlg::browseOption::TagEnable, true).option(dlg::browseOption::TagMode, tagMode);
        e.add(dlg::type::Column).set(3, "NAME").set(9, 10);
        e.set(4, rt::makeBlock([](rt::Args) { return rt::fieldHooks().aliasGet("TAGS", "NAME"); }));
        build(e);
    }

    void build(const Elements& e)
    {
        make(e, {}, {300, 300});
        b->create({});
        for (std::size_t i = 2; i <= e.list.asArray().size(); ++i) {
            dlg::asGetList(getList)->getListPointer = static_cast<long long>(i);
            const Value args[] = {bv, getList};
            rt::newObject("RK_XbpColumn", rt::Args(args, 2));
        }
        b->widget()->show();
        settle();
    }

    QPoint rowAt(int row) const { return b->columnAt(1)->dataGroup()->rowRect(row).center(); }

    // A click on screen row `row`, handled before the next input.
    void click(int row, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::mouseClick(area(), Qt::LeftButton, m, rowAt(row));
        settle();
    }

    // Ctrl and the left button held from screen row `from` to `to`, one
    // move per row, released there.
    void ctrlDrag(int from, int to)
    {
        QTest::mousePress(area(), Qt::LeftButton, Qt::ControlModifier, rowAt(from));
        settle();
        for (int r = from + 1; r <= to; ++r) {
            QTest::mouseEvent(QTest::MouseMove, area(), Qt::NoButton, Qt::ControlModifier, rowAt(r));
            settle();
        }
        QTest::mouseRelease(area(), Qt::LeftButton, Qt::ControlModifier, rowAt(to));
        settle();
    }

    std::string areaTags() const { return rt::var2char(rt::evalText("TAGS->(RK_RecTagArray())")); }
};

TEST_F(MouseTagging, ClicksWithModifiersOverAnArray)
{
    const struct {
        const char* name;
        std::vector<std::pair<int, Qt::KeyboardModifiers>> clicks;
        const char* tags;
        int anchor;
    } cases[] = {
        {"a Ctrl click toggles the row", {{2, Qt::NoModifier}, {3, Qt::ControlModifier}}, "..x...", 3},
        {"a second Ctrl click untoggles it", {{3, Qt::ControlModifier}, {3, Qt::ControlModifier}}, "......", 3},
        {"a Shift click tags from the anchor", {{2, Qt::ControlModifier}, {5, Qt::ShiftModifier}}, ".xxxx.", 2},
        {"a Shift click above the anchor", {{5, Qt::ControlModifier}, {2, Qt::ShiftModifier}}, ".xxxx.", 5},
        {"Shift clicks measure from one anchor",
         {{3, Qt::ControlModifier}, {6, Qt::ShiftModifier}, {1, Qt::ShiftModifier}}, "xxx...", 3},
        {"a Shift click on the anchor leaves no row tagged",
         {{2, Qt::ControlModifier}, {4, Qt::ControlModifier}, {4, Qt::ShiftModifier}}, "......", 4},
        {"a first Shift click only toggles", {{4, Qt::ShiftModifier}}, "...x..", 0},
        {"a plain click clears and anchors", {{2, Qt::ControlModifier}, {5, Qt::NoModifier}}, "......", 5},
    };
    for (const auto& c : cases) {
        buildArray(6);
        for (const auto& [row, mods] : c.clicks)
            click(row, mods);
        EXPECT_EQ(tags(), c.tags) << c.name;
        EXPECT_EQ(b->lastTagRec.asInt(), c.anchor) << c.name;
        b->destroy();
        b = nullptr;
    }
}

TEST_F(MouseTagging, ACtrlClickHandledAfterLaterInputStillSeesCtrl)
{
    buildArray(6);
    // Both reach the queue before either is handled, as when the program
    // is busy: the click must not take the key's modifiers (none).
    QTest::mouseClick(area(), Qt::LeftButton, Qt::ControlModifier, rowAt(3));
    QTest::keyClick(area(), Qt::Key_A);
    settle();
    EXPECT_EQ(tags(), "..x...");
    QTest::mouseClick(area(), Qt::LeftButton, Qt::ShiftModifier, rowAt(5));
    QTest::keyClick(area(), Qt::Key_A, Qt::ControlModifier);
    settle();
    EXPECT_EQ(tags(), "..xxx.");
}

TEST_F(MouseTagging, CtrlDragTagsTheRowsPassedAndNeverUntags)
{
    const struct {
        const char* name;
        int tagged, from, to;
        const char* tags;
    } cases[] = {
        // The moves tag the rows entered; the release is a Ctrl click too,
        // toggling the row the press put the cursor on.
        {"over untagged rows", 0, 2, 5, ".xxxx."},
        {"over a tagged row", 4, 2, 5, ".xxxx."},
        {"starting on a tagged row", 2, 2, 4, "..xx.."},
    };
    for (const auto& c : cases) {
        buildArray(6);
        if (c.tagged)
            click(c.tagged, Qt::ControlModifier);
        ctrlDrag(c.from, c.to);
        EXPECT_EQ(tags(), c.tags) << c.name;
        EXPECT_FALSE(rt::isTrue(b->isLeftMouseButton)) << c.name;
        b->destroy();
        b = nullptr;
    }
}

TEST_F(MouseTagging, DragWithoutCtrlTagsNothing)
{
    buildArray(6);
    QTest::mousePress(area(), Qt::LeftButton, Qt::NoModifier, rowAt(2));
    settle();
    for (int r = 3; r <= 5; ++r) {
        QTest::mouseEvent(QTest::MouseMove, area(), Qt::NoButton, Qt::NoModifier, rowAt(r));
        settle();
    }
    QTest::mouseRelease(area(), Qt::LeftButton, Qt::NoModifier, rowAt(5));
    settle();
    EXPECT_EQ(tags(), "......");
}

TEST_F(MouseTagging, ShiftRangesOverAWorkArea)
{
    const struct {
        const char* name;
        int tagMode, to;
        const char* tags;
    } cases[] = {
        // The anchor is record 2 (a plain click after a Ctrl click on 1).
        {"mode 0 down", 0, 5, "{2, 3, 4, 5}"},
        {"mode 0 up", 0, 1, "{1, 2}"},
        {"mode 1 down starts past the anchor", 1, 5, "{3, 4, 5}"},
        {"mode 1 up starts past the anchor", 1, 1, "{1}"},
        {"mode 1 on the anchor", 1, 2, "{}"},
    };
    for (const auto& c : cases) {
        buildArea(8, c.tagMode);
        click(1, Qt::ControlModifier);
        click(2);
        ASSERT_EQ(b->lastTagRec.asInt(), 2) << c.name;
        ASSERT_EQ(areaTags(), c.tagMode == 1 ? "{2}" : "{}") << c.name;
        click(c.to, Qt::ShiftModifier);
        EXPECT_EQ(areaTags(), c.tags) << c.name;
        EXPECT_EQ(rt::evalText("TAGS->(RecNo())").asInt(), c.to) << c.name;
        b->destroy();
        b = nullptr;
        dbf::closeAllAreas();
    }
}

}  // namespace
