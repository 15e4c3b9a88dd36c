// XbpColumn: one column of a grid. It owns three cell groups (`heading`,
// `dataArea`, `footing`, XbpCellGroup or a derived class assigned before the
// column is created) and says how a row becomes a cell: `dataLink` (a block
// evaluated with no argument while the data sits on the row), `picture`
// (Transform picture, or a block giving one), `colorBlock` (evaluated with
// the value, the screen row and the column; a {fg, bg} or {fg, bg, hilite
// fg, hilite bg} result colours the cell, anything else keeps the platform
// colours) and `type`.
//
// The browse calls the row hooks (drawRow, scrolled), so a derived class
// may follow the rows: DrawRow(nRow, lCursor) before the cells of a screen
// row are read, ScrollUp(n, .T.) and ScrollDown(n, .T.) when the rows on
// screen move n rows up or down the data; a class defined by name names
// them as members.
//
// Width: setSize({w, h}) in pixels, else presentation pair 106 (pixels),
// else 116 (characters of the cell font), else measured from the caption
// and the first rows shown.
#pragma once

#include "platform/grid/grid_host.h"
#include "platform/gui/xbppart.h"

#include <QString>

namespace gui {

class XbpCellGroup;

class XbpColumn : public XbpPart, public CellOwner {
public:
    XbpColumn();
    ~XbpColumn() override;
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    rt::Value init(rt::Args a) override;
    rt::Value create(rt::Args a) override;
    rt::Value configure(rt::Args a) override;
    rt::Value destroy() override;
    bool setSize(QSize s) override;
    void setVisible(bool on) override;
    void applyPresParams() override;

    [[nodiscard]] GridHost* host() const override;  // the grid that holds the column, or null
    [[nodiscard]] XbpColumn* gridColumn() override { return this; }
    [[nodiscard]] XbpPart& columnPart() override { return *this; }
    [[nodiscard]] XbpCellGroup* headingGroup() const;
    [[nodiscard]] XbpCellGroup* dataGroup() const;
    [[nodiscard]] XbpCellGroup* footingGroup() const;

    // Width in pixels as laid out; measureWidth() when none was set.
    [[nodiscard]] int width() const;
    [[nodiscard]] bool hasFixedWidth() const;
    // True until the first rows shown have decided the width: only then is
    // a value read worth measuring (hasFixedWidth scans the presentation).
    [[nodiscard]] bool isMeasuring() const noexcept { return measuring_; }
    // Called by the browse with the text of a value just read, until the
    // column has a width: the widest decides.
    void measure(const QString& text);
    void fixMeasuredWidth();
    // The first rows were shown while the width was fixed: measuring stops,
    // and starts again should the presentation drop the fixed width.
    void skipMeasuring() noexcept;

    // The row hooks a derived class names, asked by name once per class
    // (the browse asks for every cell it reads).
    enum Hook : unsigned { DrawRowHook = 1, ScrollUpHook = 2, ScrollDownHook = 4 };
    [[nodiscard]] bool hasHook(Hook h) const;
    // What the browse calls for the row hooks: a member named by the class
    // when there is one (an error in it is reported once, and the grid goes
    // on), else nothing. A
    // C++ column overrides these and spares the call by name.
    virtual void drawRow(int row, bool cursor);
    virtual void scrolled(int rows, bool down);
    [[nodiscard]] bool isShown() const;  // not hidden by hide()

    // The text of a data value: through `picture` when it is given.
    [[nodiscard]] QString format(const rt::Value& v) const override;

    // Creates the cell groups inside the column's widget (the browse calls
    // this when it creates or adopts the column).
    void createGroups();

    rt::Value dataLink, colorBlock, type, picture, drawMode, hideBlock, whenBlock, protectBlock;
    rt::Value heading, dataArea, footing;

private:
    int width_ = -1;     // set by setSize
    int measured_ = -1;  // from the captions and the first values
    bool measuring_ = true;
    bool measureSkipped_ = false;  // skipMeasuring() stopped it
    mutable bool hooksKnown_ = false;
    mutable unsigned hooks_ = 0;
    bool hookFailing_ = false;  // a row hook raised: told once until one completes
    CastCache<XbpCellGroup> dataCast_;  // of dataArea
    CastCache<GridHost> hostCast_;      // of parent
};

[[nodiscard]] XbpColumn* asColumn(const rt::Value& v);

}  // namespace gui
