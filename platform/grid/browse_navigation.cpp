// XbpBrowse: the cursor and the moves through rows and columns.
#include "platform/grid/browse.h"

#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"

#include <algorithm>

namespace gui {

// --- cursor and navigation

int XbpBrowse::cursorMode() const
{
    const int m = cursorModeVar.isNum() ? int(cursorModeVar.asInt()) : cursor::Cell;
    return m == cursor::Row || m == cursor::None ? m : cursor::Cell;
}

bool XbpBrowse::isCurrentColumn(const XbpColumn* c) const { return c && columnAt(colPos_) == c; }

bool XbpBrowse::ownerDraws(const XbpColumn* c) const
{
    const auto isOne = [](const rt::Value& v) { return v.isNum() && v.asInt() == 1; };
    return isOne(drawMode) || (c && isOne(c->drawMode));
}

void XbpBrowse::markCursorRows(int row, int col)
{
    if (cursorMode() == cursor::Row) {
        for (int i = 1; i <= colCount(); ++i)
            if (XbpCellGroup* g = columnAt(i)->dataGroup())
                g->markDirty(row);
    } else if (XbpColumn* c = columnAt(col)) {
        if (XbpCellGroup* g = c->dataGroup())
            g->markDirty(row);
    }
}

void XbpBrowse::updateHitFlags()
{
    hitTop = rows_.hitTop();
    hitBottom = rows_.hitBottom();
}

void XbpBrowse::afterMove(int oldRow, int oldCol, bool user)
{
    autoFailed_ = false;
    markCursorRows(oldRow, oldCol);
    markCursorRows(rowPos(), colPos_);
    updateHitFlags();
    if (!user) {
        stabiliseSoon();
        return;
    }
    // The user sees the move at once and handlers find the data on the row.
    const rt::Value keep = self();  // the browse outlives its stabilisation
    if (!rt::runReporting([&] { stabiliseByItself(); }))
        autoFailed_ = true;
    markCursorRows(rowPos(), colPos_);
    if (rowPos() != oldRow || colPos_ != oldCol || (!rows_.hitTop() && !rows_.hitBottom()))
        fire("itemMarked", rt::makeArray({rowPos(), colPos_}));
}

void XbpBrowse::moveRows(void (*move)(RowWindow&))
{
    const int r = rowPos();
    move(rows_);
    afterMove(r, colPos_, false);
}

void XbpBrowse::up() { moveRows([](RowWindow& r) { r.up(); }); }

void XbpBrowse::down() { moveRows([](RowWindow& r) { r.down(); }); }

void XbpBrowse::pageUp() { moveRows([](RowWindow& r) { r.pageUp(); }); }

void XbpBrowse::pageDown() { moveRows([](RowWindow& r) { r.pageDown(); }); }

void XbpBrowse::goTop() { moveRows([](RowWindow& r) { r.goTop(); }); }

void XbpBrowse::goBottom() { moveRows([](RowWindow& r) { r.goBottom(); }); }

// Without a goPosBlock: go to the top and skip to the position.
void XbpBrowse::goPos(long long pos)
{
    const int r = rowPos();
    if (goPosBlock.isBlock()) {
        rt::evalWith(goPosBlock, pos);
    } else {
        if (goTopBlock.isBlock())
            rt::evalWith(goTopBlock, self());
        const rt::Value first = firstPosBlock.isBlock() ? rt::eval(firstPosBlock) : rt::Value();
        skipRows(pos - (first.isNum() ? first.asInt() : 0));
    }
    rows_.repositioned();
    afterMove(r, colPos_, false);
}

void XbpBrowse::setColPos(int pos)
{
    if (colCount() == 0)
        return;
    const int old = colPos_;
    colPos_ = std::clamp(pos, 1, colCount());
    ensureColVisible(colPos_);
    if (old != colPos_) {
        markCursorRows(rowPos(), old);
        markCursorRows(rowPos(), colPos_);
        updateFocusProxy(holdsFocus());
    }
}

// The cursor to the first shown column from position `from` on, in steps
// of `step`; it stays when there is none.
void XbpBrowse::toShownColumn(int from, int step)
{
    for (int p = from; p >= 1 && p <= colCount(); p += step)
        if (columnAt(p)->isShown()) {
            setColPos(p);
            return;
        }
}

void XbpBrowse::left() { toShownColumn(colPos_ - 1, -1); }

void XbpBrowse::right() { toShownColumn(colPos_ + 1, 1); }

void XbpBrowse::firstCol() { toShownColumn(1, 1); }

void XbpBrowse::lastCol() { toShownColumn(colCount(), -1); }

void XbpBrowse::home()
{
    if (!placed_.empty())
        setColPos(std::min_element(placed_.begin(), placed_.end(), [](auto& a, auto& b) { return a.x < b.x; })->pos);
}

void XbpBrowse::end()
{
    const int vpW = viewport_ ? viewport_->width() : 0;
    int best = 0, bestX = -1;
    for (const Placed& p : placed_)
        if (p.x + p.w <= vpW && p.x > bestX) {
            best = p.pos;
            bestX = p.x;
        }
    if (best == 0 && !placed_.empty())
        best = placed_.back().pos;
    if (best)
        setColPos(best);
}

void XbpBrowse::panLeft()
{
    if (leftIndex_ == 0)
        return;
    --leftIndex_;
    relayout();
    if (std::none_of(placed_.begin(), placed_.end(), [&](const Placed& p) { return p.pos == colPos_; }))
        end();
}

void XbpBrowse::panRight()
{
    const std::vector<int> free = unfrozenPositions();
    if (leftIndex_ + 1 >= int(free.size()))
        return;
    ++leftIndex_;
    relayout();
    if (std::none_of(placed_.begin(), placed_.end(), [&](const Placed& p) { return p.pos == colPos_; }))
        home();
}

void XbpBrowse::gotoItem(int row, int col)
{
    const int r = rowPos(), c = colPos_;
    rows_.gotoRow(row);
    if (columnAt(col))
        setColPos(col);
    afterMove(r, c, false);
}

rt::Value XbpBrowse::navigate(int command, const rt::Value& value)
{
    const auto n = [&](long long def) { return value.isNum() ? value.asInt() : def; };
    switch (command) {
    case nav::Skip: {
        const long long want = n(0);
        for (long long i = 0; i < std::min<long long>(std::abs(want), 1LL << 20); ++i) {
            if (want > 0)
                down();
            else
                up();
            if (rows_.hitTop() || rows_.hitBottom())
                break;
        }
        break;
    }
    case nav::NextLine: down(); break;
    case nav::PrevLine: up(); break;
    case nav::NextPage: pageDown(); break;
    case nav::PrevPage: pageUp(); break;
    case nav::GoTop: goTop(); break;
    case nav::GoBottom: goBottom(); break;
    case nav::GoPos: goPos(n(0)); break;
    case nav::NextCol: right(); break;
    case nav::PrevCol: left(); break;
    case nav::FirstCol: firstCol(); break;
    case nav::LastCol: lastCol(); break;
    case nav::GotoRow: gotoItem(int(std::clamp<long long>(n(rowPos()), 1, rowCount())), colPos_); break;
    case nav::Stable:
        forceStable();
        fire("itemMarked", rt::makeArray({rowPos(), colPos_}));
        break;
    default: break;
    }
    return self();
}

}  // namespace gui
