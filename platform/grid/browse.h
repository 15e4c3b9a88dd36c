// XbpBrowse: a grid painted by hand that pulls its rows from a data source
// it never counts.
//
// The data is reached only through eight navigation blocks:
//   skipBlock(n, oBrowse)   moves n rows (negative: back), returns the rows moved;
//                           fewer than asked means the top or bottom was hit
//   goTopBlock(oBrowse), goBottomBlock(oBrowse)
//   posBlock(), firstPosBlock(), lastPosBlock()   the position and its scale,
//                           which drive the vertical scroll thumb
//   goPosBlock(n)           moves to position n (default: go top, skip n - first)
//   phyPosBlock([x])        the identity of the current row
// Between calls the data sits on the cursor row. Navigation moves it and
// marks the rows whose contents changed; forceStable() (run by itself soon
// after, and before painting) reads only those rows, so paging costs the
// rows on screen whatever the size of the source.
//
// cursorMode: 1 no cursor, 2 a cell cursor, 3 a row cursor. Callbacks:
// itemMarked({nRow, nCol}) after the user moved the cursor, itemSelected
// ({nRow, nCol}) on Enter and double click, itemRbDown(aPos, {oColumn,
// nRow}), keyboard(nKey), setInputFocus, killInputFocus, resize. With
// drawMode 1 every data cell is offered to CustomDrawCell(oPS, aInfo) first
// (called by name; aInfo = {nRow, oCellGroup, nState (1 = cursor), {x1, y1,
// x2, y2}, nColPos, oColumn}); a result of .F. means the cell is drawn.
//
// navigate(nCommand, xValue) takes the nav:: commands; the events
// ev::Navigate and ev::User + 10 call it with their two parameters.
#pragma once

#include "platform/grid/grid_host.h"
#include "platform/grid/grid_rows.h"
#include "platform/gui/xbppart.h"

#include <QPointer>

#include <memory>
#include <vector>

namespace rt {
class Error;
}

namespace gui {

class XbpCellGroup;
class XbpColumn;
class XbpScrollBar;

namespace nav {
constexpr int Skip = 1;       // xValue rows
constexpr int NextLine = 2;
constexpr int PrevLine = 3;
constexpr int NextPage = 4;
constexpr int PrevPage = 5;
constexpr int GoTop = 6;
constexpr int GoBottom = 7;
constexpr int GoPos = 8;      // xValue: a position between firstPos and lastPos
constexpr int NextCol = 9;
constexpr int PrevCol = 10;
constexpr int FirstCol = 11;
constexpr int Stable = 12;    // stabilise and report the current item again
constexpr int LastCol = 13;
constexpr int GotoRow = 14;   // xValue: a screen row
constexpr int NavigateEvent = 134217738;  // ev::User + 10, posted by the browse library
}  // namespace nav

class XbpBrowse : public XbpPart, public GridHost {
public:
    XbpBrowse();
    ~XbpBrowse() override;
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    rt::Value init(rt::Args a) override;
    rt::Value create(rt::Args a) override;
    rt::Value configure(rt::Args a) override;
    rt::Value destroy() override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;
    void applyPresParams() override;
    bool setSize(QSize s) override;

    // --- columns (positions from 1)
    [[nodiscard]] int colCount() const noexcept { return int(columns_.size()); }
    [[nodiscard]] XbpColumn* columnAt(int pos) const;
    [[nodiscard]] int colNum(const XbpColumn* c) const override;  // 0 when not ours
    void addColumn(const rt::Value& column);
    void insColumn(int pos, const rt::Value& column);
    rt::Value delColumn(int pos) override;
    // Moves the column shown at `from` to `to`, as QHeaderView::moveSection
    // does: the column object, its cells and all it holds stay as they are,
    // only the display order changes. colPos changes as a removal at `from`
    // and an insertion at `to` would change it, so callers that step the
    // cursor after a move keep doing so.
    void moveColumn(int from, int to);
    void setFrozen(bool left, const rt::Value& positions);
    [[nodiscard]] rt::Value frozen(bool left) const;

    // --- cursor and navigation
    [[nodiscard]] int rowPos() const noexcept override { return rows_.rowPos(); }
    [[nodiscard]] int rowCount() const noexcept { return rows_.rowCount(); }
    [[nodiscard]] int filledRows() const noexcept override { return rows_.filled(); }
    [[nodiscard]] int colPos() const noexcept { return colPos_; }
    void setColPos(int pos);
    [[nodiscard]] int cursorMode() const override;
    [[nodiscard]] bool isStable() const noexcept { return rows_.isStable(); }
    void up();
    void down();
    void pageUp();
    void pageDown();
    void goTop();
    void goBottom();
    void goPos(long long pos);
    void left();
    void right();
    void firstCol();
    void lastCol();
    void home();
    void end();
    void panLeft();
    void panRight();
    void gotoItem(int row, int col);
    rt::Value navigate(int command, const rt::Value& value);
    void refreshAll();
    void refreshCurrent();
    void refreshColumn(XbpColumn* c) override;
    // The platform's stabilisation: reads the stale rows, updates the thumb.
    void forceStable();
    // A full refresh and a stabilisation as the browse's own class runs them
    // (a derived browse rereads its data source, traps or reports errors):
    // what code below that class asks of a browse it was handed.
    virtual void refreshWhole() { refreshAll(); }
    void stabilise() { stabiliseByItself(); }

    // --- for the cell groups and columns (GridHost)
    [[nodiscard]] XbpPart& gridPart() override { return *this; }
    [[nodiscard]] int dataRowHeight() const noexcept override { return rowHeight_; }
    [[nodiscard]] bool ownerDraws(const XbpColumn* c) const override;
    [[nodiscard]] bool isCurrentColumn(const XbpColumn* c) const override;
    [[nodiscard]] bool sizesColumns() const override { return sizeCols.isLogical() && sizeCols.asBool(); }
    void relayout() override;
    void stabiliseSoon();
    void stabiliseForPaint() override;
    void cellClicked(XbpColumn* c, int row) override;
    void cellActivated() override;
    void cellRightClicked(const rt::Value& aPos, XbpColumn* c, int row) override;
    void areaKeyPressed(XbpCellGroup* area, int key) override;
    void areaWheeled(const rt::Value& delta) override { wheel(delta); }
    void areaFocusChanged(bool in) override;
    bool ownerDrawCell(const rt::Value& ps, const rt::Value& info) override;
    bool borderPressed(const rt::Value& aPos, XbpColumn* c, int area) override;
    void borderDragged(int gridX) override;
    void borderReleased() override { endSizing(); }
    // Header border drags (HFLbDown starts one).
    rt::Value startSizing(const rt::Value& aPos, const rt::Value& aValues);
    [[nodiscard]] bool isSizing() const noexcept override { return sizingCol_ > 0; }
    void endSizing() { sizingCol_ = 0; }
    [[nodiscard]] QWidget* viewport() const override { return viewport_; }
    [[nodiscard]] int scrollExtent() const;  // thickness of the scroll bars: nScrollHeight or the style's

    // Navigation blocks and settings, as members.
    rt::Value skipBlock, goTopBlock, goBottomBlock, posBlock, phyPosBlock, firstPosBlock, lastPosBlock, goPosBlock;
    rt::Value cursorModeVar, vScroll, hScroll, softTrack, sizeCols, drawMode, useVisualStyle, nScrollHeight;
    rt::Value hitTop, hitBottom;
    rt::Value cbItemSelected, cbItemMarked, cbItemRbDown;
    rt::Value vScrollBar, hScrollBar;

protected:
    // A cell's data or colour block raised while the grid read it; the cell
    // shows the error mark and the grid goes on. Derived grids may report it.
    virtual void cellFailed(const rt::Error& e) {}
    // The stabilisation the grid runs by itself: after a move by the user,
    // soon after a change, before painting. Derived grids that guard or
    // report their stabilisation override it.
    virtual void stabiliseByItself() { forceStable(); }

private:
    struct Placed {
        int pos;  // column position
        int x, w;
    };

    RowWindow::Source makeSource();
    RowWindow::Sink makeSink();
    long long skipRows(long long n);
    [[nodiscard]] bool sourceLooksEmpty();
    void readRow(int row);
    void clearRow(int row);
    void shiftRows(int delta);
    void readCell(XbpColumn* c, int row);
    void afterMove(int oldRow, int oldCol, bool user);
    void moveRows(void (*move)(RowWindow&));
    void toShownColumn(int from, int step);
    void markCursorRows(int row, int col);
    void updateThumbs();
    void updateHitFlags();
    void ensureColVisible(int pos);
    [[nodiscard]] bool isFrozenPos(int pos) const;
    [[nodiscard]] std::vector<int> unfrozenPositions() const;
    [[nodiscard]] int shownWidth(const std::vector<int>& positions) const;  // of the shown columns among them
    // relayout's jobs.
    QSize layoutViewport();
    int layoutRows(int vpH);
    std::size_t arrangeColumns(int vpW);
    bool showColumns(const std::vector<Placed>& before, int vpH, int dataH);
    void updateHScroll(int vpW, std::size_t scrolled);
    void attachColumn(XbpColumn* c);
    void afterColumnsChanged();
    void onVScroll(int command, long long pos);
    void onHScroll(int command, long long pos);
    bool handleKey(int key);  // true when the key was a navigation key
    void wheel(const rt::Value& delta);
    [[nodiscard]] bool holdsFocus() const;
    void updateFocusProxy(bool hadFocus);

    [[nodiscard]] std::vector<char>& validAt(int pos) { return valid_[std::size_t(visual_[std::size_t(pos) - 1])]; }

    RowWindow rows_;
    // The columns in the order they were added (logical); visual_ gives the
    // order they are shown in, so a move changes no column.
    std::vector<rt::Value> columns_;
    std::vector<XbpColumn*> columnPtrs_;  // the objects of columns_, which keeps them alive
    std::vector<std::vector<char>> valid_;  // per column, per screen row: the cell holds the row's value
    std::vector<int> visual_;  // display position - 1 -> index into columns_
    std::vector<int> leftFrozen_, rightFrozen_;
    std::vector<Placed> placed_;
    int colPos_ = 1;
    int leftIndex_ = 0;  // first scrolled column shown, as an index into unfrozenPositions()
    int rowHeight_ = 20;
    int headHeight_ = 0, footHeight_ = 0;
    bool inLayout_ = false;
    int layoutHolds_ = 0;  // > 0: a column is being attached, its layout comes after
    bool stablePending_ = false;
    bool autoFailed_ = false;  // the last automatic stabilisation raised: wait for the next move
    bool focused_ = false;
    bool areaSizeFailing_ = false;  // a derived data area's setSize raised: told once
    int sizingCol_ = 0, sizingStartX_ = 0, sizingStartW_ = 0;
    QPointer<QWidget> viewport_;
};

[[nodiscard]] XbpBrowse* asBrowse(const rt::Value& v);

}  // namespace gui
