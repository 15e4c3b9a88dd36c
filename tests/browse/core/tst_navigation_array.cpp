// Array data sources: skip arithmetic in both orders, the filter walk, the
// start element, and real grids over them.
#include "tst_navigation_fixture.h"

#include "platform/dialog/element_parts.h"
#include "platform/runtime/compiler.h"

using namespace navtest;

namespace {

class ArrayNav : public NavTest {
protected:
    void at(long long e) { b->arrayElement = Value(e); }
    // Column 2 of the current row, counting the reads.
    Value nameLink()
    {
        return rt::makeBlock([this](rt::Args) {
            ++reads;
            return b->dataSource.asArray().at1(element()).asArray().at1(2);
        });
    }
    long long reads = 0;
};

TEST_F(ArrayNav, SkipArithmeticOverTenRows)
{
    struct Case {
        const char* name;
        bool descending;
        long long from, want, did, to;
    } cases[] = {
        {"ascending, 8 + 5 stops at the last", false, 8, 5, 2, 10},
        {"ascending, 3 - 5 stops at the first", false, 3, -5, -2, 1},
        {"descending, 3 + 5 stops at element 1", true, 3, 5, 2, 1},
        {"descending, 3 - 9 stops at element 10", true, 3, -9, -7, 10},
        {"shrunk below the element, forward", false, 15, 1, 0, 10},
        {"shrunk below the element, back", false, 15, -1, -1, 9},
        {"huge skip", true, 5, -(1LL << 62), -5, 10},
    };
    install(numberedRows(10), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        b->descending = Value(c.descending);
        at(c.from);
        EXPECT_EQ(skip(c.want), c.did);
        EXPECT_EQ(element(), c.to);
        EXPECT_EQ(b->cargo.asArray().items[3].asInt(), c.to);
    }
    // Descending, the first row shown (element 10) stands at 1 of 1..10.
    top();
    EXPECT_EQ(pos(), 1);
    bottom();
    EXPECT_EQ(pos(), 10);
    EXPECT_EQ(rt::callWith("ArrayPos", bv).asInt(), 10);
    EXPECT_DOUBLE_EQ(rt::callWith("ArrayGoPos", bv, 35).asDouble(), 3.5) << "not rounded";
    EXPECT_THROW(rt::callWith("RK_SkipArray", 1, Value("no browse")), rt::Error);
}

TEST_F(ArrayNav, EvenOnlyFilter)
{
    b->filter = rt::compile("{|r| r[1] % 2 == 0}");
    install(numberedRows(10), 1);
    EXPECT_EQ(element(), 2);
    struct Case {
        bool descending;
        long long from, want, did, to;
    } cases[] = {
        {false, 2, 2, 2, 6}, {false, 10, 1, 0, 10}, {false, 8, 5, 1, 10}, {false, 2, -1, 0, 2},
        {false, 6, -9, -2, 2}, {true, 6, 1, 1, 4}, {true, 6, -5, -2, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " + " << c.want << (c.descending ? " descending" : ""));
        b->descending = Value(c.descending);
        at(c.from);
        EXPECT_EQ(skip(c.want), c.did);
        EXPECT_EQ(element(), c.to);
    }
    top();
    EXPECT_EQ(element(), 10);
    bottom();
    EXPECT_EQ(element(), 2);
}

TEST_F(ArrayNav, EmptyArrayAndAFilterThatAcceptsNothingShowNoRow)
{
    install(numberedRows(0), 1);
    EXPECT_EQ(element(), 1);
    EXPECT_EQ(skip(1) + skip(-1), 0);
    top();
    EXPECT_EQ(element(), 0);
    b->descending = Value(true);
    install(numberedRows(0), 1);
    EXPECT_EQ(element(), 0);

    b->filter = rt::compile("{|r| .F.}");
    install(numberedRows(5), 1);
    EXPECT_EQ(element(), 0);
    EXPECT_EQ(skip(1) + skip(-1), 0);
    EXPECT_EQ(phy(), 0);
    createGrid({nameLink()});
    b->goBottom();
    settle();
    EXPECT_EQ(b->filledRows(), 0);
    EXPECT_EQ(reads, 0) << "no row of the array is read";
}

TEST_F(ArrayNav, StartElement)
{
    const Value record = Value::array(45);
    b->initParts(dlg::makeGetList(rt::makeArray({record})), Value(1));
    const Value four = rt::compile("{|| 4}");
    const Value over6 = rt::compile("{|r| r[1] > 6}");
    struct Case {
        Value slot40;
        bool descending;
        Value pointer, filter;
        long long start;
    } cases[] = {
        {Value(7), true, {}, {}, 7},   {Value(11), false, {}, {}, 1}, {Value(11), true, {}, {}, 10},
        {Value(), false, four, {}, 4}, {Value(2), false, four, {}, 2}, {Value(3), false, {}, over6, 7},
        {Value(3), true, {}, over6, 10},
    };
    for (const Case& c : cases) {
        record.asArray().items[39] = c.slot40;
        b->descending = Value(c.descending);
        b->pointerBlock = c.pointer;
        b->filter = c.filter;
        install(numberedRows(10), 1);
        EXPECT_EQ(element(), c.start) << &c - cases;
    }
}

TEST_F(ArrayNav, GridOverTenThousandRowsPagesAndGoesBottom)
{
    install(numberedRows(10000), 1);
    createGrid({nameLink()});
    const int rows = b->rowCount();
    ASSERT_GT(rows, 2);
    EXPECT_EQ(b->filledRows(), rows);
    for (int i = 0; i < 3; ++i) {
        b->pageDown();
        settle();
    }
    EXPECT_EQ(element(), 1 + 3LL * rows);
    EXPECT_EQ(cell(b->rowPos()), QString("R%1").arg(element()));
    EXPECT_EQ(reads, 4LL * rows) << "each page reads the rows shown, nothing more";
    b->goBottom();
    settle();
    EXPECT_EQ(element(), 10000);
    EXPECT_EQ(b->rowPos(), rows);
    EXPECT_EQ(cell(1), QString("R%1").arg(10001 - rows));
    b->down();
    settle();
    EXPECT_TRUE(b->hitBottom.asBool());
    EXPECT_EQ(element(), 10000);
}

}  // namespace
