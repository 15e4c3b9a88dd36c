// The row window of the grid over a counting source: every read is checked
// against the record the source is on, and the source refuses to leave its
// range, so a read past an end shows up as a wrong record.
#include "platform/grid/grid_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct CountingSource {
    long long size = 0;
    long long at = 1;  // current record, 1-based; 0 when empty
    long long skipCalls = 0;
    std::vector<long long> shown;  // record shown per screen row (0 = blank)
    int reads = 0;
    int shifts = 0;

    explicit CountingSource(long long n, int rows) : size(n), at(n > 0 ? 1 : 0), shown(rows, -1) {}

    gui::RowWindow make()
    {
        gui::RowWindow::Source src;
        src.skip = [this](long long n) {
            ++skipCalls;
            if (size == 0)
                return 0LL;
            const long long to = std::clamp(at + n, 1LL, size);
            const long long did = to - at;
            at = to;
            return did;
        };
        src.goTop = [this] { at = size > 0 ? 1 : 0; };
        src.goBottom = [this] { at = size; };
        src.looksEmpty = [this] { return size == 0; };
        gui::RowWindow::Sink sink;
        sink.read = [this](int row) {
            ++reads;
            shown.at(row - 1) = at;
        };
        sink.clear = [this](int row) { shown.at(row - 1) = 0; };
        sink.shift = [this](int delta) {
            ++shifts;
            std::vector<long long> out(shown.size(), -1);
            for (int r = 1; r <= int(shown.size()); ++r)
                if (r + delta >= 1 && r + delta <= int(shown.size()))
                    out[r - 1] = shown[r + delta - 1];
            shown = out;
        };
        gui::RowWindow w(src, sink);
        w.setRowCount(int(shown.size()));
        return w;
    }
    // The screen must show consecutive records with the cursor on `at`.
    void expectConsistent(const gui::RowWindow& w) const
    {
        ASSERT_TRUE(w.isStable());
        if (size == 0) {
            EXPECT_EQ(w.filled(), 0);
            return;
        }
        EXPECT_EQ(shown[w.rowPos() - 1], at) << "the data must sit on the cursor row";
        for (int r = 1; r <= w.filled(); ++r)
            EXPECT_EQ(shown[r - 1], at - w.rowPos() + r) << "row " << r;
        for (int r = w.filled() + 1; r <= w.rowCount(); ++r)
            EXPECT_EQ(shown[r - 1], 0) << "row " << r << " must be blank";
    }
};

TEST(RowWindow, FirstStabiliseReadsOnePage)
{
    CountingSource s(100, 10);
    auto w = s.make();
    w.stabilise();
    s.expectConsistent(w);
    EXPECT_EQ(w.filled(), 10);
    EXPECT_EQ(s.reads, 10);
}

TEST(RowWindow, CursorMovesWithinThePageReadNothing)
{
    CountingSource s(100, 10);
    auto w = s.make();
    w.stabilise();
    s.reads = 0;
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(w.down(), 1);
    w.stabilise();
    EXPECT_EQ(s.reads, 0);
    EXPECT_EQ(w.rowPos(), 10);
    // One more row scrolls: only the row that comes in is read.
    EXPECT_EQ(w.down(), 1);
    w.stabilise();
    EXPECT_EQ(s.reads, 1);
    EXPECT_EQ(s.shifts, 1);
    s.expectConsistent(w);
}

TEST(RowWindow, HittingTopAndBottom)
{
    CountingSource s(10, 4);
    auto w = s.make();
    w.stabilise();
    EXPECT_EQ(w.up(), 0);
    EXPECT_TRUE(w.hitTop());
    w.goBottom();
    w.stabilise();
    s.expectConsistent(w);
    EXPECT_EQ(s.at, 10);
    EXPECT_EQ(w.rowPos(), 4);
    EXPECT_EQ(w.down(), 0);
    EXPECT_TRUE(w.hitBottom());
    EXPECT_FALSE(w.hitTop());
}

struct PageCase {
    const char* name;
    long long size;
    int rows;
    int pageDowns;
    long long wantAt;
    int wantRowPos;
};
void PrintTo(const PageCase& c, std::ostream* os) { *os << c.name; }

class RowWindowPaging : public ::testing::TestWithParam<PageCase> {};

TEST_P(RowWindowPaging, PageDownLandsWhereExpected)
{
    const PageCase& c = GetParam();
    CountingSource s(c.size, c.rows);
    auto w = s.make();
    w.stabilise();
    for (int i = 0; i < c.pageDowns; ++i) {
        w.pageDown();
        w.stabilise();
        s.expectConsistent(w);
    }
    EXPECT_EQ(s.at, c.wantAt);
    EXPECT_EQ(w.rowPos(), c.wantRowPos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RowWindowPaging,
    ::testing::Values(PageCase{"FullPages", 100, 10, 3, 31, 1},
                      PageCase{"ShortLastPageShowsTheLastRows", 25, 10, 3, 25, 10},
                      PageCase{"SourceShorterThanTheScreen", 3, 10, 1, 3, 3},
                      PageCase{"ExactMultiple", 20, 10, 2, 20, 10},
                      PageCase{"SingleRow", 1, 10, 2, 1, 1},
                      PageCase{"Empty", 0, 10, 2, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RowWindow, PageUpFromTheBottomReachesTheTop)
{
    CountingSource s(25, 10);
    auto w = s.make();
    w.goBottom();
    w.stabilise();
    while (w.pageUp() != 0)
        w.stabilise();
    w.stabilise();
    s.expectConsistent(w);
    EXPECT_EQ(s.at, 1);
    EXPECT_TRUE(w.hitTop());
}

TEST(RowWindow, PagingCostsThePageWhateverTheSourceSize)
{
    auto cost = [](long long size) {
        CountingSource s(size, 40);
        auto w = s.make();
        w.stabilise();
        s.reads = 0;
        s.skipCalls = 0;
        for (int i = 0; i < 20; ++i) {
            w.pageDown();
            w.stabilise();
        }
        return std::pair(s.reads, s.skipCalls);
    };
    EXPECT_EQ(cost(1000), cost(1000000));
    EXPECT_EQ(cost(1000000).first, 20 * 40);
}

TEST(RowWindow, RefreshAfterTheSourceShrankKeepsTheScreenFull)
{
    CountingSource s(50, 10);
    auto w = s.make();
    w.stabilise();
    for (int i = 0; i < 3; ++i)
        w.pageDown();
    w.stabilise();
    ASSERT_EQ(s.at, 31);
    s.size = 33;  // rows deleted under the grid
    w.refreshAll();
    w.stabilise();
    s.expectConsistent(w);
    EXPECT_EQ(w.filled(), 10);
    EXPECT_EQ(s.at, 31);
    EXPECT_EQ(w.rowPos(), 8);
}

TEST(RowWindow, PartialReadNoticesTheEnd)
{
    CountingSource s(12, 10);
    auto w = s.make();
    w.stabilise();
    w.pageDown();  // a full page from row 1 to record 11
    w.stabilise();
    s.expectConsistent(w);
    EXPECT_EQ(w.filled(), 2);
}

TEST(RowWindow, GotoRowIsClampedToTheRowsWithData)
{
    CountingSource s(3, 10);
    auto w = s.make();
    w.stabilise();
    EXPECT_EQ(w.gotoRow(8), 2);
    EXPECT_EQ(w.rowPos(), 3);
    EXPECT_EQ(s.at, 3);
}

TEST(RowWindow, LiarSkipperIsClamped)
{
    // A skipper that claims more rows than asked must not make the window
    // run past what was asked.
    int reads = 0;
    gui::RowWindow::Source src;
    src.skip = [](long long n) { return n * 3; };
    gui::RowWindow::Sink sink;
    sink.read = [&](int) { ++reads; };
    gui::RowWindow w(src, sink);
    w.setRowCount(5);
    w.stabilise();
    EXPECT_EQ(w.filled(), 5);
    EXPECT_EQ(w.down(), 1);
    EXPECT_EQ(w.rowPos(), 2);
}

TEST(RowWindow, SkipperErrorLeavesTheWindowToBeReadAgain)
{
    bool fail = false;
    long long at = 1;
    gui::RowWindow::Source src;
    src.skip = [&](long long n) -> long long {
        if (fail)
            throw std::runtime_error("skip failed");
        const long long to = std::clamp(at + n, 1LL, 100LL);
        const long long did = to - at;
        at = to;
        return did;
    };
    gui::RowWindow::Sink sink;
    sink.read = [](int) {};
    gui::RowWindow w(src, sink);
    w.setRowCount(5);
    fail = true;
    EXPECT_THROW(w.stabilise(), std::runtime_error);
    EXPECT_FALSE(w.isStable());
    fail = false;
    w.stabilise();
    EXPECT_TRUE(w.isStable());
}

}  // namespace
