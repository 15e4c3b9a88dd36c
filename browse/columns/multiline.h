// RK_XbpCellGroupMultiLine: the data area of a multi-line column (its data
// block is an array of line blocks). A cell holds the lines read from the
// row when it was stored and paints them one under the other, squeezed
// into a cell too short for them, aligned by the column's presentation
// (ids 10 or 110: align:: flags; 4, centred vertically, by default).
#pragma once

#include "platform/grid/cellgroup.h"


namespace gui {
class XbpPS;
}

namespace browse {

class RK_XbpCellGroupMultiLine : public gui::XbpCellGroup {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    // setCell(nRowPos, xValue, nType, lRepaint): a value other than NIL
    // stores the lines of the current row (the line blocks' values).
    bool setCell(int row, const rt::Value& value, const rt::Value& type, bool repaint);
    // drawCell(xRowPos, lRepaint): a row number or an array of them.
    void drawCell(const rt::Value& rows);
    void hiliteCell(int row, bool hilite);
    // paint(aRect): every row, then the cursor row; the rows are left alone
    // when a resize (event 1048981) is next in the queue.
    void paint();
    bool setSize(QSize s) override;
    // _DrawCell: the lines of one cell on the locked presentation space.
    void drawLines(gui::XbpPS& ps, int row);

    rt::Value aRows;  // {1, ..., rowCount()}
    rt::Value column, browse, dataLinkMultiLine;
};

// Event code of a pending resize: paint skips the rows it would redraw.
inline constexpr int kResizePending = 1048981;

}  // namespace browse
