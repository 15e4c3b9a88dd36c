// GridHost: what a grid's columns and cell groups know of the grid that
// holds them; CellOwner: what a cell group knows of its column. The grid
// and the column implement them; the children include this header, never
// their parent's, so the user's input on a cell reaches the grid as events
// through one interface (as a header view emits and its table view
// listens) and the grid alone decides what they mean.
//
// Positions count from 1 in display order; rows are screen rows from 1.
#pragma once

#include "platform/runtime/value.h"

#include <QString>

class QWidget;

namespace gui {

class XbpCellGroup;
class XbpColumn;
class XbpPart;

// cursorMode: no cursor, a cell cursor, a row cursor.
namespace cursor {
constexpr int None = 1;
constexpr int Cell = 2;
constexpr int Row = 3;
}  // namespace cursor

class GridHost {
public:
    // --- what the children read
    // The grid as a window part: its object, presentation and widget.
    [[nodiscard]] virtual XbpPart& gridPart() = 0;
    [[nodiscard]] virtual QWidget* viewport() const = 0;  // where the columns' widgets live
    [[nodiscard]] virtual int colNum(const XbpColumn* c) const = 0;  // 0 when not in the grid
    [[nodiscard]] virtual int rowPos() const = 0;
    [[nodiscard]] virtual int filledRows() const = 0;
    [[nodiscard]] virtual int cursorMode() const = 0;
    [[nodiscard]] virtual bool isCurrentColumn(const XbpColumn* c) const = 0;
    [[nodiscard]] virtual bool ownerDraws(const XbpColumn* c) const = 0;
    [[nodiscard]] virtual int dataRowHeight() const = 0;
    [[nodiscard]] virtual bool sizesColumns() const = 0;  // a border drag may resize a column
    [[nodiscard]] virtual bool isSizing() const = 0;      // a border drag is under way

    // --- what the children ask of it
    virtual void relayout() = 0;
    virtual void stabiliseForPaint() = 0;
    virtual void refreshColumn(XbpColumn* c) = 0;
    virtual rt::Value delColumn(int pos) = 0;

    // --- events of the cell groups
    virtual void cellClicked(XbpColumn* c, int row) = 0;
    virtual void cellActivated() = 0;  // a double click on a data cell
    virtual void cellRightClicked(const rt::Value& aPos, XbpColumn* c, int row) = 0;
    virtual void areaKeyPressed(XbpCellGroup* area, int key) = 0;
    virtual void areaWheeled(const rt::Value& delta) = 0;
    virtual void areaFocusChanged(bool in) = 0;
    // A data cell offered to the grid's owner drawing first, with its
    // presentation space and {nRow, oCellGroup, nState, aRect, nColPos,
    // oColumn}; true when the owner drew it.
    virtual bool ownerDrawCell(const rt::Value& ps, const rt::Value& info) = 0;
    // A left press in a heading or footing (aPos in the group's window);
    // true when it started a border drag, which the next two follow.
    virtual bool borderPressed(const rt::Value& aPos, XbpColumn* c, int area) = 0;
    virtual void borderDragged(int gridX) = 0;  // x in the grid's widget
    virtual void borderReleased() = 0;

protected:
    ~GridHost() = default;
};

class CellOwner {
public:
    [[nodiscard]] virtual XbpColumn* gridColumn() = 0;  // the column itself
    [[nodiscard]] virtual XbpPart& columnPart() = 0;    // as a window part: its object and presentation
    [[nodiscard]] virtual GridHost* host() const = 0;   // its grid, or null
    // The text of a data value as the column shows it.
    [[nodiscard]] virtual QString format(const rt::Value& v) const = 0;

protected:
    ~CellOwner() = default;
};

}  // namespace gui
