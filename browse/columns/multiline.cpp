// RK_XbpCellGroupMultiLine: lines stored per cell, painted over the cell
// the platform has drawn empty (an array value has no text of its own).
#include "browse/columns/multiline.h"

#include "browse/columns/presentation.h"

#include "platform/dialog/slots.h"
#include "platform/grid/browse.h"
#include "platform/grid/column.h"
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/gui/font.h"
#include "platform/gui/presparam.h"
#include "platform/gui/ps.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/text.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace browse {

namespace {

using G = RK_XbpCellGroupMultiLine;

int rowOf(rt::Args a) { return rt::argAt(a, 0).isNum() ? int(std::clamp<std::int64_t>(a[0].asInt(), 0, 1 << 20)) : 0; }

bool bitTest(long long value, int bit) { return bit >= 1 && bit <= 62 && (value >> (bit - 1)) & 1; }

// Each entry is a line; a block gives its value now, an array all of its
// entries.
std::vector<rt::Value> linesOf(const rt::Value& cell)
{
    std::vector<rt::Value> lines;
    for (const rt::Value& v : cell.asArray().items) {
        if (v.isBlock())
            lines.push_back(rt::eval(v));
        else if (v.isArray())
            lines.insert(lines.end(), v.asArray().items.begin(), v.asArray().items.end());
        else
            lines.push_back(v);
    }
    return lines;
}

// The alignment of the cells: pair 10 or 110 of the column's list, else
// 110 of the browse's, else 4 (centred vertically).
long long alignmentOf(const rt::Value& column, const rt::Value& browse)
{
    if (const rt::Value own = cellAlignment(column, {}); own.isNum())
        return own.asInt();
    const gui::XbpPart* b = gui::asBrowse(browse);
    if (const rt::Value* v = b ? gui::presFind(b->presParams, gui::pp::DaAlignment) : nullptr; v && v->isNum())
        return v->asInt();
    return gui::align::VCenter;
}

double alignText(const QRectF& cell, const QFontMetricsF& fm, long long align, const QString& text)
{
    if (!bitTest(align, 2) && !bitTest(align, 1))
        return cell.left();
    const double textWidth = fm.horizontalAdvance(text);
    return bitTest(align, 2) ? cell.width() - textWidth : (cell.width() - textWidth) / 2;
}

}  // namespace

const rt::ClassInfo& G::staticClass()
{
    static const rt::ClassInfo cls = [] {
        rt::ClassInfo c("RK_XbpCellGroupMultiLine", {&gui::XbpCellGroup::staticClass()});
        c.field<G>("aRows", &G::aRows);
        c.field<G>("column", &G::column);
        c.field<G>("browse", &G::browse);
        c.field<G>("dataLinkMultiLine", &G::dataLinkMultiLine);
        c.method<G>("setCell", [](G& o, rt::Args a) {
            return o.setCell(rowOf(a), rt::argAt(a, 1), rt::argAt(a, 2), !rt::argAt(a, 3).isLogical() || a[3].asBool());
        });
        c.method<G>("drawCell", [](G& o, rt::Args a) {
            o.drawCell(rt::argAt(a, 0));
            return true;
        });
        c.method<G>("hiliteCell", [](G& o, rt::Args a) {
            o.hiliteCell(rowOf(a), !rt::argAt(a, 1).isLogical() || a[1].asBool());
            return true;
        });
        c.method<G>("paint", [](G& o, rt::Args) {
            o.paint();
            return true;
        });
        c.method<G>("setSize", [](G& o, rt::Args a) {
            const auto s = gui::pairOf(rt::argAt(a, 0));
            return s ? o.setSize(QSize(s->x(), s->y())) : false;
        });
        return c;
    }();
    return cls;
}

const rt::ClassInfo& G::classInfo() const { return staticClass(); }

bool G::setCell(int row, const rt::Value& value, const rt::Value& type, bool repaint)
{
    if (row < 1 || row > rowCount())
        return false;
    rt::Value lines;
    if (!value.isNil() && dataLinkMultiLine.isArray()) {
        std::vector<rt::Value> read;
        for (const rt::Value& b : dataLinkMultiLine.asArray().items)
            read.push_back(b.isBlock() ? rt::eval(b) : rt::Value());
        lines = rt::makeArray(std::move(read));
    }
    storeCell(row, lines, type, repaint);
    return true;
}

void G::drawCell(const rt::Value& rows)
{
    drawCells(rows);
    gui::XbpPS& ps = *gui::asPS(lockPSValue());
    const auto one = [&](const rt::Value& r) {
        if (r.isNum() && r.asInt() >= 1 && r.asInt() <= rowCount())
            drawLines(ps, int(r.asInt()));
    };
    if (rows.isArray())
        for (const rt::Value& r : rows.asArray().items)
            one(r);
    else
        one(rows);
    unlockPSValue();
}

void G::hiliteCell(int row, bool hilite)
{
    if (row < 1 || row > rowCount())
        return;
    gui::XbpPS& ps = *gui::asPS(lockPSValue());
    drawOne(row, hilite);
    if (!cellValue(row).isNil()) {
        if (hilite) {
            long long colour = gui::clr::SysHighlightText;
            const gui::XbpPart* b = gui::asBrowse(browse);
            const rt::Value* v = b ? gui::presFind(b->presParams, gui::pp::DaHiliteFgClr) : nullptr;
            if (!v && b)
                v = gui::presFind(b->presParams, gui::pp::HiliteFgClr);
            if (v && (v->isNum() || v->isArray()))
                colour = gui::colorNumber(*v);
            rt::Value attrs = rt::Value::array(gui::gra_as::Count);
            attrs.asArray().items[dlg::index(gui::gra_as::Color)] = colour;
            const rt::Value previous = ps.setAttrString(attrs);
            drawLines(ps, row);
            ps.setAttrString(previous);
        } else {
            drawLines(ps, row);
        }
    }
    unlockPSValue();
}

void G::paint()
{
    if (gui::nextAppEvent() != kResizePending)
        drawCell(aRows);
    const gui::XbpBrowse* b = gui::asBrowse(browse);
    if (!b || b->filledRows() == 0)
        return;
    const int mode = b->cursorMode();
    const gui::XbpColumn* own = gui::asColumn(column);
    if (mode == gui::cursor::Row || (mode == gui::cursor::Cell && b->isCurrentColumn(own)))
        hiliteCell(b->rowPos(), true);
}

bool G::setSize(QSize s)
{
    const bool ok = gui::XbpCellGroup::setSize(s);
    std::vector<rt::Value> rows;
    for (int i = 1; i <= rowCount(); ++i)
        rows.emplace_back(i);
    aRows = rt::makeArray(std::move(rows));
    return ok;
}

// The lines go from the top, the bottom or the middle of the cell, one
// font height apart, or closer when they do not fit. The y positions are
// base lines, as GraStringAt takes them.
void G::drawLines(gui::XbpPS& ps, int row)
{
    const rt::Value cell = cellValue(row);
    if (!cell.isArray())
        return;
    const std::vector<rt::Value> lines = linesOf(cell);
    if (lines.empty())
        return;
    const rt::Value rect = cellRect(row, true);
    const auto& r = rect.asArray().items;
    const QRectF box(QPointF(r[0].asDouble(), r[1].asDouble()), QPointF(r[2].asDouble(), r[3].asDouble()));
    const double cellHeight = box.height();
    // One font and pen for all lines of the cell: the PS's, measured once.
    QPainter* p = ps.painter();
    if (!p)
        return;
    const QFont font = gui::drawingFont(ps.font());
    const QFontMetricsF fm(font);
    const double fontHeight = fm.ascent() + fm.descent();
    const long long align = alignmentOf(column, browse);
    const double n = double(lines.size());
    double space = fontHeight, offset = 3;
    if (space * n + offset > cellHeight) {
        if (align == gui::align::VCenter)
            offset = 0;
        space = cellHeight / n;
    }
    const double y1 = box.top();
    double y = y1 + cellHeight - fontHeight + offset;
    if (align != 0 && bitTest(align, 4))
        y = y1 + space * n - space;
    else if (align != 0 && bitTest(align, 3))
        y = y1 + (cellHeight + space * n) / 2 - space + offset;
    p->save();
    p->setFont(font);
    p->setPen(ps.textColor());
    for (const rt::Value& line : lines) {
        const QString text = gui::mapSymbolText(ps.font(), QString::fromStdString(rt::var2lchar(line)));
        p->drawText(ps.toDevice(alignText(box, fm, align, text), y), text);
        y -= space;
    }
    p->restore();
}

}  // namespace browse
