// The visible rows of a pull-model grid: where the cursor is, how many
// screen rows hold data, and which rows must be read again.
//
// The grid never knows how many rows its data source has. It moves the data
// only through a skipper (skip(n) returns the rows actually moved; fewer
// than asked means the top or the bottom was hit) and keeps one invariant
// between calls: the data sits on the cursor row. Navigation moves the data
// and the cursor at once, so it knows whether it hit an end, and marks the
// rows whose contents changed; stabilise() then visits those rows only,
// hands each to the reader with the data positioned on it, and leaves the
// data on the cursor row again. A page costs the rows on screen, whatever
// the size of the source.
#pragma once

#include <functional>
#include <vector>

namespace gui {

class RowWindow {
public:
    struct Source {
        std::function<long long(long long)> skip;  // moves up to n rows, returns the rows moved
        std::function<void()> goTop;
        std::function<void()> goBottom;
        std::function<bool()> looksEmpty;  // asked only when a lone row was found
    };
    struct Sink {
        std::function<void(int row)> read;   // the data is on screen row `row` (1-based)
        std::function<void(int row)> clear;  // screen row `row` shows no data
        // The window moved `delta` rows through the data (positive: down);
        // screen row r now shows what row r + delta showed.
        std::function<void(int delta)> shift;
        std::function<void()> rereadAll;  // every row is about to be read afresh
    };

    RowWindow(Source src, Sink sink);

    [[nodiscard]] int rowCount() const noexcept { return rows_; }
    [[nodiscard]] int rowPos() const noexcept { return rowPos_; }
    // Screen rows 1..filled() show data; 0 for an empty source.
    [[nodiscard]] int filled() const noexcept { return filled_; }
    [[nodiscard]] bool isStable() const noexcept;
    [[nodiscard]] bool isStale(int row) const noexcept;
    [[nodiscard]] bool hitTop() const noexcept { return hitTop_; }
    [[nodiscard]] bool hitBottom() const noexcept { return hitBottom_; }

    // A new number of screen rows (at least 1); everything is read again.
    void setRowCount(int rows);

    // Moves; each returns the rows the data moved (negative: up) and sets
    // hitTop/hitBottom when it asked for more than the source had.
    long long down();
    long long up();
    long long pageDown();
    long long pageUp();
    void goTop();
    void goBottom();
    // Moves the cursor to screen row `row` (clamped to the rows with data).
    long long gotoRow(int row);
    // The data was moved elsewhere by the caller (a position jump); the
    // cursor keeps its screen row and every row is read again.
    void repositioned();

    void refreshAll();        // read every row again, keeping the cursor row where the data allows
    void refreshRow(int row); // read one row again
    void touchAll();          // visit every row with data without moving the window

    // Reads the stale rows. A runtime error from the skipper leaves the
    // window marked for a full re-read and goes on to the caller.
    void stabilise();

private:
    long long skip(long long n);
    void markStale(int row);
    void markAll();
    void clearFrom(int row);
    void refill();
    bool partial();  // false when the data did not move as the rows said

    Source src_;
    Sink sink_;
    int rows_ = 1;
    int rowPos_ = 1;
    int filled_ = 1;  // assumed until the first read says otherwise
    bool all_ = true;
    bool hitTop_ = false;
    bool hitBottom_ = false;
    std::vector<char> stale_;  // per screen row, index row - 1
};

}  // namespace gui
