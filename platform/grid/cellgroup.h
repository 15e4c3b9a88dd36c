// XbpCellGroup: one area of a grid column, a stack of cells painted by
// hand. A column has three: `heading` (caption lines), `dataArea` (one cell
// per visible row of the browse) and `footing`.
//
// The cells hold values the browse hands over (setCell); painting goes to a
// retained image, so drawCell and hiliteCell may be called at any time and
// lockPS gives a presentation space over that image. The grid reaches the
// drawing members by name (paint, drawCell, hiliteCell, setCell, setSize,
// create), so a derived class that paints its cells itself replaces them.
//
// Rows count from 1 at the top. Cell rectangles are {x1, y1, x2, y2} with
// y growing upwards, x2 and y2 exclusive: cellRect(n, .T.) in the cell
// group's own window, cellRect(n, .F.) in the browse's.
#pragma once

#include "platform/gui/xbppart.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QPainter;

namespace gui {

class CellOwner;
class GridHost;
class XbpColumn;
class XbpPS;

class XbpCellGroup : public XbpPart {
public:
    enum Area { Heading = 1, DataArea = 2, Footing = 3 };

    XbpCellGroup();
    ~XbpCellGroup() override;
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    rt::Value create(rt::Args a) override;
    rt::Value destroy() override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;
    bool translateEvent(QEvent* e) override;
    void applyPresParams() override;
    void setColorFG(long long c) override;
    void setColorBG(long long c) override;
    void setFontCompoundName(std::string_view name) override;
    bool setSize(QSize s) override;

    [[nodiscard]] Area area() const noexcept { return area_; }
    void setArea(Area a) noexcept { area_ = a; }
    [[nodiscard]] XbpColumn* column() const;
    [[nodiscard]] CellOwner* cellOwner() const;  // the column, as its cell groups see it
    [[nodiscard]] GridHost* host() const;  // the grid of its column, or null

    // --- cells
    [[nodiscard]] int rowCount() const noexcept { return int(cells_.size()); }
    void setRowCount(int rows);
    // Stores a value; with `repaint` the cell is drawn at once.
    void storeCell(int row, const rt::Value& value, const rt::Value& type, bool repaint);
    [[nodiscard]] rt::Value cellValue(int row) const;
    // The text the cell shows (a failed data link shows kErrorMark).
    [[nodiscard]] QString cellText(int row);
    // A data link failed on this row: the cell shows kErrorMark.
    void storeError(int row);
    // Colours of a data row from the colour block: {fg, bg[, hilite fg, hilite bg]};
    // -1 keeps the area's colour.
    void setRowColors(int row, long long fg, long long bg, long long hfg, long long hbg);
    void clearRow(int row);
    // The browse window moved `delta` rows through the data.
    void shiftRows(int delta);
    // Effective colours {fg, bg} of a cell as drawn.
    [[nodiscard]] std::pair<long long, long long> cellColors(int row, bool hilite) const;

    // --- geometry
    [[nodiscard]] int rowHeight() const;     // of the rows this group shows now
    [[nodiscard]] int lineHeight() const;    // of one text line in its font
    [[nodiscard]] int preferredHeight() const;  // heading and footing: the band they want
    [[nodiscard]] QRect rowRect(int row) const;  // Qt coordinates in the widget
    [[nodiscard]] rt::Value cellRect(int row, bool inGroup) const;
    [[nodiscard]] int cellFromPos(QPoint platformPos) const;  // 0 when outside
    [[nodiscard]] bool hasCaption() const;
    // The width a cell needs to show `text` whole in this group's font: the
    // text, its margins and the grid line.
    [[nodiscard]] int cellWidthFor(const QString& text) const;

    // --- drawing
    void markDirty(int row);
    void markAllDirty();
    [[nodiscard]] QFont cellFont() const;
    rt::Value lockPSValue();
    void unlockPSValue();
    void paintCells();                     // every row, then the cursor row
    void drawCells(const rt::Value& rows);  // a row number or an array of them
    void drawOne(int row, bool hilite);
    void paintWidget(QPainter& p);         // from the widget's paint event
    [[nodiscard]] bool showsCursor() const;

    // The text a failed data link leaves in its cell.
    static constexpr const char* kErrorMark = "#ERR";

    // The drawing members a derived class replaces, asked by name once per
    // class (the grid asks for every cell it stores or draws).
    enum Hook : unsigned { SetCellHook = 1, SetSizeHook = 2, DrawCellHook = 4, HiliteCellHook = 8, PaintHook = 16 };
    [[nodiscard]] bool hasHook(Hook h) const;

    rt::Value maxRow, useVisualStyle, drawMode;

private:
    struct Cell {
        rt::Value value;
        rt::Value type;
        QString text;
        bool textValid = false;
        bool error = false;
        long long fg = -1, bg = -1, hfg = -1, hbg = -1;
    };

    [[nodiscard]] QString textOf(Cell& c) const;
    [[nodiscard]] int alignment() const;
    [[nodiscard]] const rt::Value* ownCaption() const;
    [[nodiscard]] QColor areaColor(bool foreground, bool hilite) const;
    bool ownerDrawn(int row, bool hilite, const QRect& r);
    void callDraw(int row, bool hilite);
    void forgetAskedRepaints() noexcept;
    void repaintBacking();

    Area area_ = DataArea;
    std::vector<Cell> cells_;
    QImage back_;
    std::unique_ptr<QPainter> backPainter_;
    int psDepth_ = 0;
    bool inPaint_ = false;
    bool allDirty_ = true;
    std::vector<char> dirty_;
    long long fgSet_ = -1, bgSet_ = -1;
    std::string fontSet_;
    int fixedHeight_ = -1;  // heading and footing: a height asked for by setSize or create
    // Repaints asked of Qt since the last paint: one per row, or the whole
    // widget, is enough while nothing is painted in between.
    bool wholeAsked_ = false;
    std::vector<char> rowAsked_;
    mutable bool hooksKnown_ = false;
    mutable unsigned hooks_ = 0;
    bool paintFailing_ = false;  // a derived paint raised: told once until it paints again
    CastCache<CellOwner> ownerCast_;  // of parent
};

[[nodiscard]] XbpCellGroup* asCellGroup(const rt::Value& v);

}  // namespace gui
