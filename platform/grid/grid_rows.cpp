#include "platform/grid/grid_rows.h"

#include <algorithm>
#include <utility>

namespace gui {

RowWindow::RowWindow(Source src, Sink sink) : src_(std::move(src)), sink_(std::move(sink)), stale_(1, 0) {}

bool RowWindow::isStable() const noexcept
{
    return !all_ && std::none_of(stale_.begin(), stale_.end(), [](char c) { return c != 0; });
}

bool RowWindow::isStale(int row) const noexcept
{
    if (row < 1 || row > rows_)
        return false;
    return all_ || stale_[row - 1] != 0;
}

void RowWindow::setRowCount(int rows)
{
    rows = std::max(1, rows);
    if (rows == rows_)
        return;
    rows_ = rows;
    stale_.assign(rows_, 0);
    // The cursor record stays the same; it is shown on the last row when
    // the window got too short for its old place.
    rowPos_ = std::min(rowPos_, rows_);
    filled_ = std::min(filled_, rows_);
    all_ = true;
}

// Skippers are untrusted: a result of the wrong sign or larger than asked
// is taken as the nearest possible move.
long long RowWindow::skip(long long n)
{
    if (n == 0 || !src_.skip)
        return 0;
    const long long got = src_.skip(n);
    return n > 0 ? std::clamp(got, 0LL, n) : std::clamp(got, n, 0LL);
}

void RowWindow::markStale(int row)
{
    if (row >= 1 && row <= rows_)
        stale_[row - 1] = 1;
}

void RowWindow::markAll() { all_ = true; }

void RowWindow::clearFrom(int row)
{
    for (int r = std::max(1, row); r <= rows_; ++r) {
        if (sink_.clear)
            sink_.clear(r);
        stale_[r - 1] = 0;
    }
}

// Moves the window without reading: rows still on screen keep their
// contents, rows that come in are stale.
static std::vector<char> shifted(const std::vector<char>& stale, int filled, int delta)
{
    const int rows = int(stale.size());
    std::vector<char> out(rows, 1);
    for (int r = 1; r <= rows; ++r) {
        const int from = r + delta;
        if (from >= 1 && from <= rows && from <= filled)
            out[r - 1] = stale[from - 1];
    }
    return out;
}

long long RowWindow::down()
{
    hitTop_ = hitBottom_ = false;
    if (filled_ == 0) {
        hitBottom_ = true;
        return 0;
    }
    const long long s = skip(1);
    if (s == 0) {
        hitBottom_ = true;
        return 0;
    }
    if (rowPos_ < rows_) {
        ++rowPos_;
        if (rowPos_ > filled_) {  // the source grew below the last row shown
            filled_ = rowPos_;
            markStale(rowPos_);
        }
    } else {
        stale_ = shifted(stale_, filled_, 1);
        filled_ = rows_;
        if (sink_.shift)
            sink_.shift(1);
    }
    return s;
}

long long RowWindow::up()
{
    hitTop_ = hitBottom_ = false;
    if (filled_ == 0) {
        hitTop_ = true;
        return 0;
    }
    const long long s = skip(-1);
    if (s == 0) {
        hitTop_ = true;
        return 0;
    }
    if (rowPos_ > 1) {
        --rowPos_;
    } else {
        stale_ = shifted(stale_, filled_, -1);
        filled_ = std::min(rows_, filled_ + 1);
        if (sink_.shift)
            sink_.shift(-1);
    }
    return s;
}

long long RowWindow::pageDown()
{
    hitTop_ = hitBottom_ = false;
    if (filled_ == 0) {
        hitBottom_ = true;
        return 0;
    }
    const long long s = skip(rows_);
    if (s == 0) {
        hitBottom_ = true;
        return 0;
    }
    if (s == rows_) {
        stale_.assign(rows_, 1);
        filled_ = rows_;
        if (sink_.shift)
            sink_.shift(rows_);
    } else {
        // A short move ends on the last row: show the last page.
        hitBottom_ = true;
        rowPos_ = rows_;
        markAll();
    }
    return s;
}

long long RowWindow::pageUp()
{
    hitTop_ = hitBottom_ = false;
    if (filled_ == 0) {
        hitTop_ = true;
        return 0;
    }
    const long long s = skip(-rows_);
    if (s == 0) {
        hitTop_ = true;
        return 0;
    }
    if (-s == rows_) {
        stale_.assign(rows_, 1);
        filled_ = rows_;
        if (sink_.shift)
            sink_.shift(-rows_);
    } else {
        hitTop_ = true;
        rowPos_ = 1;
        markAll();
    }
    return s;
}

void RowWindow::goTop()
{
    hitTop_ = hitBottom_ = false;
    if (src_.goTop)
        src_.goTop();
    rowPos_ = 1;
    markAll();
}

void RowWindow::goBottom()
{
    hitTop_ = hitBottom_ = false;
    if (src_.goBottom)
        src_.goBottom();
    rowPos_ = rows_;
    markAll();
}

long long RowWindow::gotoRow(int row)
{
    hitTop_ = hitBottom_ = false;
    if (all_)
        stabilise();
    row = std::clamp(row, 1, std::max(1, filled_));
    const long long s = skip(row - rowPos_);
    rowPos_ = int(rowPos_ + s);
    return s;
}

void RowWindow::repositioned()
{
    hitTop_ = hitBottom_ = false;
    markAll();
}

void RowWindow::refreshAll() { markAll(); }

void RowWindow::refreshRow(int row)
{
    if (row <= filled_)
        markStale(row);
}

void RowWindow::touchAll()
{
    for (int r = 1; r <= filled_; ++r)
        markStale(r);
}

void RowWindow::stabilise()
{
    try {
        if (!all_ && partial())
            return;
        refill();
    } catch (...) {
        all_ = true;
        throw;
    }
}

// Reads the whole window around the cursor record. Rows below the cursor
// are kept where the source has them; when it ends early the window slides
// up so that the screen stays full, which moves the cursor down the screen.
void RowWindow::refill()
{
    all_ = true;
    if (sink_.rereadAll)
        sink_.rereadAll();
    const int below = rows_ - rowPos_;
    const long long d = skip(below);
    const long long back = -skip(-(rows_ - 1));
    long long u = back - d;  // rows shown above the cursor
    if (u < 0)               // the source shrank while we walked: start from here
        u = 0;
    if (back == 0 && d == 0) {
        bool lone = true;
        if (below == 0) {
            if (const long long s = skip(1); s > 0) {
                skip(-s);
                lone = false;
            }
        }
        if (lone && rows_ == 1) {
            if (const long long s = skip(-1); s < 0) {
                skip(-s);
                lone = false;
            }
        }
        if (lone && src_.looksEmpty && src_.looksEmpty()) {
            rowPos_ = 1;
            filled_ = 0;
            clearFrom(1);
            all_ = false;
            return;
        }
    }
    rowPos_ = int(u + 1);
    std::fill(stale_.begin(), stale_.end(), 0);
    sink_.read(1);
    int n = 1;
    while (n < rows_ && skip(1) == 1) {
        ++n;
        sink_.read(n);
    }
    filled_ = n;
    clearFrom(n + 1);
    rowPos_ = std::min(rowPos_, n);
    const long long want = rowPos_ - n;
    const long long got = skip(want);
    rowPos_ = int(std::max(1LL, n + got));
    all_ = false;
}

bool RowWindow::partial()
{
    int at = rowPos_;
    for (int r = 1; r <= rows_; ++r) {
        if (!stale_[r - 1])
            continue;
        if (r > filled_) {
            clearFrom(r);
            break;
        }
        const long long want = r - at;
        const long long got = skip(want);
        at = int(at + got);
        if (got != want) {
            if (want < 0 || at < rowPos_) {  // rows vanished above: read it all again
                skip(rowPos_ - at);
                return false;
            }
            filled_ = at;  // the source ends above row r
            clearFrom(at + 1);
            break;
        }
        sink_.read(r);
        stale_[r - 1] = 0;
    }
    const long long want = rowPos_ - at;
    return skip(want) == want;
}

}  // namespace gui
