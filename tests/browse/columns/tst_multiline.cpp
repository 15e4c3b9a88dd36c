// Multi-line columns on a real browse (offscreen): the lines a cell keeps,
// and where they are painted, read back from the grabbed pixels.
#include "tst_column_fixture.h"

#include "browse/columns/multiline.h"

#include "platform/gui/presparam.h"
#include "platform/gui/ps.h"

#include <QImage>
#include <QWidget>

namespace {

using namespace coltest;

class MultiLineTest : public ColumnTest {
protected:
    RK_XbpColumn* multiLine(const Value& lineBlocks, long long align = -1)
    {
        return column([&](const Value& rec) {
            set(rec, 4, lineBlocks);
            if (align >= 0)
                set(rec, 42, align);
        });
    }

    static browse::RK_XbpCellGroupMultiLine* area(RK_XbpColumn* c)
    {
        return dynamic_cast<browse::RK_XbpCellGroupMultiLine*>(&c->dataArea.asObject());
    }

    // The rows of a cell (Qt coordinates, 0 at its top) that hold dark pixels.
    static std::vector<int> inkedRows(RK_XbpColumn* c, int row)
    {
        QWidget* w = c->dataGroup()->widget();
        const QImage img = w->grab().toImage();
        const QRect r = c->dataGroup()->rowRect(row);
        std::vector<int> out;
        for (int y = r.top(); y < r.bottom(); ++y)
            for (int x = r.left() + 1; x < r.right() - 1; ++x)
                if (qGray(img.pixel(x, y)) < 100) {
                    out.push_back(y - r.top());
                    break;
                }
        return out;
    }
};

Value lineBlock(const char* text)
{
    return rt::makeBlock([t = std::string(text)](rt::Args) { return Value(t); });
}

TEST_F(MultiLineTest, CellsKeepTheLinesOfTheirRowAndShowNoPlatformText)
{
    useRows(threeRows());
    int reads = 0;
    RK_XbpColumn* c = multiLine(makeArray({rt::makeBlock([this, &reads](rt::Args) {
                                               ++reads;
                                               return b->dataSource.asArray().items[std::size_t(b->arrayElement.asInt()) - 1]
                                                   .asArray()
                                                   .items[0];
                                           }),
                                           lineBlock("second")}));
    create();
    ASSERT_NE(area(c), nullptr);
    const Value cell = c->dataGroup()->cellValue(2);
    ASSERT_TRUE(cell.isArray());
    EXPECT_EQ(cell.asArray().items[0].str(), "Bob");
    EXPECT_EQ(cell.asArray().items[1].str(), "second");
    EXPECT_EQ(c->dataGroup()->cellText(2), "") << "the lines are painted, not the platform's text";
    EXPECT_EQ(reads, 3);
    EXPECT_EQ(area(c)->aRows.asArray().size(), std::size_t(c->dataGroup()->rowCount()));
}

// Three lines of a font 16 or so high in a 40-pixel cell do not fit: they
// are spaced 40 / 3 apart from the cell's top edge and all show.
TEST_F(MultiLineTest, ThreeLinesAreSqueezedIntoAShortCell)
{
    useRows(threeRows());
    b->setPresParam(makeArray({makeArray({gui::pp::DaRowHeight, 40})}));
    RK_XbpColumn* c = multiLine(makeArray({lineBlock("AAAA"), lineBlock("BBBB"), lineBlock("CCCC")}));
    create(300);
    ASSERT_EQ(c->dataGroup()->rowRect(2).height(), 40);
    const std::vector<int> ink = inkedRows(c, 2);
    ASSERT_FALSE(ink.empty());
    int bands = 1;
    for (std::size_t i = 1; i < ink.size(); ++i)
        if (ink[i] != ink[i - 1] + 1)
            ++bands;
    EXPECT_GE(bands, 2) << "more than one line shows";
    EXPECT_LE(ink.back() - ink.front(), 40);
}

TEST_F(MultiLineTest, BlocksAndArraysAmongTheLineValuesAndNilCells)
{
    useRows(threeRows());
    RK_XbpColumn* c = multiLine(makeArray({lineBlock("x")}));
    create();
    browse::RK_XbpCellGroupMultiLine* a = area(c);
    a->dataLinkMultiLine = makeArray({rt::makeBlock([](rt::Args) { return lineBlock("later"); }),
                                      rt::makeBlock([](rt::Args) { return makeArray({"p", "q"}); }),
                                      rt::makeBlock([](rt::Args) { return Value(7); })});
    ASSERT_TRUE(a->setCell(2, Value::array(), kNil, true));
    const Value cell = a->cellValue(2);
    ASSERT_TRUE(cell.isArray());
    ASSERT_EQ(cell.asArray().size(), 3u);
    EXPECT_TRUE(cell.asArray().items[0].isBlock()) << "a block among the lines runs when the cell is drawn";
    EXPECT_FALSE(inkedRows(c, 2).empty());

    ASSERT_TRUE(a->setCell(3, kNil, kNil, true));
    EXPECT_TRUE(a->cellValue(3).isNil());
    EXPECT_TRUE(inkedRows(c, 3).empty()) << "a NIL cell draws nothing";
}

}  // namespace
