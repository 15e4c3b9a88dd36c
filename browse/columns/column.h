// RK_XbpColumn: a column of RK_XbpBrowse, made by the dialog reader for a
// column element (type 29) that follows a browse element:
// new(oBrowse, oGetList[, lTest]) reads the element record and the browse's
// settings (by name: the browse is any object with the members the column
// reads) and adds itself to the browse.
//
// RK_MultiLineCellGroup: the heading and footing of every column, sized for
// several caption rows.
//
// A column whose data block is an array of blocks (a multi-line column)
// gets an RK_XbpCellGroupMultiLine as its data area (multiline.h).
#pragma once

#include "platform/dialog/element_parts.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"

namespace browse {

class RK_XbpColumn : public gui::XbpColumn, public dlg::ElementParts {
public:
    RK_XbpColumn();
    ~RK_XbpColumn() override;
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    // Init(oParent, oGetList, lTest).
    rt::Value init(rt::Args a) override;
    // Also lets go of the browse in the data tool-tip array, which lives on
    // in the element record the browse keeps (through its cargo and list).
    rt::Value destroy() override;

    rt::Value setHeaderCaption(const rt::Value& bcHeader);
    rt::Value setFooterCaption(const rt::Value& bcFooter);
    rt::Value setHeaderColor(const rt::Value& bColor);
    rt::Value setFooterColor(const rt::Value& bColor);
    // Re-applies captions and colours (after a layout change).
    rt::Value Refresh();
    // Sort(a, nColPos, nMode): header sorting (column_sort.cpp).
    rt::Value Sort(const rt::Value& a, const rt::Value& nColPos, const rt::Value& nMode);
    // Visibility, size, place and the row hooks (column_visibility.cpp).
    rt::Value WhenHideEval(rt::Value* lProtect = nullptr);
    rt::Value resizeColumn(const rt::Value& aOldSize, const rt::Value& aNewSize);
    rt::Value MoveColumn(const rt::Value& nMove);
    void drawRow(int row, bool cursor) override;
    void scrolled(int rows, bool down) override;

    // The element's picture (member `picture`). When the data link formats
    // through it, the platform's own picture stays NIL so no cell is
    // formatted twice.
    [[nodiscard]] const rt::Value& pictureSource() const noexcept { return picture_; }
    void setPictureSource(const rt::Value& v);

    // Instance variables, in definition order (1 and 2 not exported).
    rt::Value nOffset;          // 1
    rt::Value LastRow;          // 2
    rt::Value validBlock;       // 3
    rt::Value sortBlock;        // 4
    rt::Value cellEditGetList;  // 5
    rt::Value cellEditExitKey;  // 6
    rt::Value getsetBlock;      // 7
    rt::Value headerBlock;      // 8
    rt::Value headerCaption;    // 9
    rt::Value headerFont;       // 10
    rt::Value headerHeight;     // 11
    rt::Value dataSource;       // 12
    // 13 `parent` and 14 `picture` are the platform's own members (the
    // column's parent window is its browse; the platform formats with picture).
    rt::Value cellEditID;          // 15
    rt::Value footerBlock;         // 16
    rt::Value footerCaption;       // 17
    rt::Value footerFont;          // 18
    rt::Value footerHeight;        // 19
    rt::Value pointer;             // 20
    rt::Value presArray;           // 21
    rt::Value columnPos;           // 22
    rt::Value arrayPointer;        // 23
    rt::Value headerColorBlock;    // 24
    rt::Value footerColorBlock;    // 25
    rt::Value sortDefault;         // 26
    rt::Value cellEditor;          // 27
    rt::Value noResize;            // 28
    rt::Value dataLinkMultiLine;   // 29
    rt::Value columnSize;          // 30
    rt::Value noAutoResizeColumn;  // 31
    rt::Value validateAlways;      // 32
    rt::Value origFonts;           // 33
    rt::Value visualStyleArray;    // 34
    rt::Value drawModeArray;       // 35

private:
    friend class ColumnBuilder;
    rt::Value picture_;
    rt::Value tips_;              // the data tool-tip array (element slot 44)
    bool formatsItself_ = false;  // the data link applies picture_
};

class RK_MultiLineCellGroup : public gui::XbpCellGroup {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    // Create(oParent, oOwner, aPos, aSize, aPP, lVisible).
    rt::Value create(rt::Args a) override;

    rt::Value width, presentation, rows, noResize;
    rt::Value referenceString;  // `ReferenceString`: the text a caption row is measured by
};

// The RK_XbpColumn behind a value, or null.
[[nodiscard]] RK_XbpColumn* asRkColumn(const rt::Value& v);

// Registers RK_XbpColumn and RK_MultiLineCellGroup (class functions).
void registerColumnClasses();

}  // namespace browse
