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

}  // namespace
