// Column layout: moving a column, sharing out or spreading the browse's
// width over the columns, sizing a column to its widest value, and the
// guarded size and resize overrides of the browse.
#include "browse/columns/column.h"
#include "browse/columns/column_parts.h"
#include "browse/core/browse.h"
#include "browse/features/features.h"
#include "browse/features/widths.h"

#include "platform/dbf/workarea.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/grid/scrollbar.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

#include <QFontMetrics>

#include <cmath>

namespace browse {

namespace {

rt::Value memberOr(const rt::Value& obj, std::string_view name)
{
    return obj.isObject() && rt::hasMember(obj, name) ? rt::getMember(obj, name) : rt::Value();
}

void setMemberIf(const rt::Value& obj, std::string_view name, const rt::Value& v)
{
    if (obj.isObject() && rt::hasMember(obj, name))
        rt::setMember(obj, name, v);
}

long long numOr(const rt::Value& v, long long d) { return v.isNum() ? v.asInt() : d; }

void resizeColumn(gui::XbpColumn& c, double width)
{
    c.setSize(QSize(std::max(kMinColumnWidth, int(std::lround(width))), c.currentSize().height()));
}

void relayout(RK_XbpBrowse& b) { b.gui::XbpBrowse::setSize(b.currentSize()); }

// What a column keeps of its look across delColumn/insColumn.
struct ColumnLook {
    rt::Value headingBG, headingLbDown, headingRbDown, dataRbDown, styles, drawModes, cargo;
    QSize size, headingSize;
};

const char* const kGroups[] = {"heading", "dataArea", "footing"};

ColumnLook lookOf(gui::XbpColumn& c)
{
    ColumnLook l;
    const rt::Value col = c.self();
    if (c.heading.isObject() && rt::hasMember(c.heading, "setColorBG"))
        l.headingBG = rt::send(c.heading, "setColorBG", {});
    l.headingLbDown = memberOr(c.heading, "lbDown");
    l.headingRbDown = memberOr(c.heading, "rbDown");
    l.dataRbDown = memberOr(c.dataArea, "rbDown");
    std::vector<rt::Value> styles, modes;
    for (const char* g : kGroups) {
        const rt::Value group = memberOr(col, g);
        styles.push_back(memberOr(group, "useVisualStyle"));
        modes.push_back(memberOr(group, "drawMode"));
    }
    l.styles = rt::makeArray(std::move(styles));
    l.drawModes = rt::makeArray(std::move(modes));
    l.cargo = c.cargo;
    l.size = layoutSize(c);
    if (const gui::XbpCellGroup* h = c.headingGroup())
        l.headingSize = h->currentSize();
    return l;
}

// A header click block that sorts is made for its column's position; after
// a move it is made again for the new one. Other blocks stay as they were.
rt::Value rewired(const rt::Value& block, RK_XbpBrowse& b, gui::XbpColumn& c, int pos)
{
    if (!block.isBlock() || block.asBlock().text().find("oColumn:Sort") == std::string::npos)
        return block;
    return headerDown(b.self(), c.self(), pos);
}

void rewireSortBlocks(RK_XbpBrowse& b, gui::XbpColumn& c, int pos)
{
    for (const char* m : {"lbDown", "rbDown"})
        setMemberIf(c.heading, m, rewired(memberOr(c.heading, m), b, c, pos));
}

void restoreLook(gui::XbpColumn& c, const ColumnLook& l)
{
    setMemberIf(c.heading, "lbDown", l.headingLbDown);
    setMemberIf(c.heading, "rbDown", l.headingRbDown);
    if (!rt::isEmpty(l.dataRbDown))
        setMemberIf(c.dataArea, "rbDown", l.dataRbDown);
    if (l.headingBG.isNum())
        rt::sendWith(c.heading, "setColorBG", l.headingBG);
    c.setSize(l.size);
    if (gui::XbpCellGroup* h = c.headingGroup(); h && l.headingSize.isValid())
        h->setSize(l.headingSize);
    // Styles, draw modes and cargo stay with the column they were read from,
    // so a moved column looks as it did.
    const rt::Value col = c.self();
    for (std::size_t i = 0; i < 3; ++i) {
        const rt::Value group = memberOr(col, kGroups[i]);
        setMemberIf(group, "useVisualStyle", rt::entryOf(l.styles, i + 1));
        setMemberIf(group, "drawMode", rt::entryOf(l.drawModes, i + 1));
    }
    c.cargo = l.cargo;
}

// The widest text of the column's values, in the heading's font.
std::optional<int> widestValue(RK_XbpBrowse& b, gui::XbpColumn& c, const QFontMetrics& fm)
{
    int width = 0;
    const auto measure = [&] {
        const rt::Value v = c.dataLink.isBlock() ? rt::eval(c.dataLink) : rt::Value();
        width = std::max(width, fm.horizontalAdvance(QString::fromStdString(rt::xtoc(v))) + 2);
    };
    if (b.dataSource.isArray()) {
        const std::size_t n = b.dataSource.asArray().size();
        for (std::size_t i = 1; i <= n; ++i) {
            b.arrayElement = static_cast<long long>(i);
            measure();
        }
        return width;
    }
    dbf::WorkArea* area = b.dataSource.isChar() ? dbf::findArea(b.dataSource.str()) : nullptr;
    if (!area)
        return std::nullopt;
    const std::uint32_t saved = area->recno();
    for (area->goTop(); !area->eof(); area->skip(1))
        measure();
    area->goTo(saved);
    return width;
}

}  // namespace

rt::Value moveColumn(RK_XbpBrowse& b, rt::Args a)
{
    const int count = b.colCount();
    long long n = numOr(rt::argAt(a, 0), 0);
    const long long pos = numOr(rt::argAt(a, 1), b.colPos());
    const bool refresh = !rt::argAt(a, 2).isLogical() || rt::argAt(a, 2).asBool();
    const bool moveLeft = pos < count;
    if (n > 0 && pos + n > count)
        n = count - pos;
    if (n < 0 && pos + n < 1)
        n = 1 - pos;
    if (n == 0 || (pos == 1 && n < 0) || (pos == count && n > 0) || pos < 1 || pos > count)
        return b.self();
    if (b.sortColumn.isNum() && b.sortColumn.asInt() == pos)
        b.sortColumn = pos + n;

    b.lockUpdate(true);
    gui::XbpColumn* moved = b.columnAt(int(pos));
    const rt::Value keep = moved->self();
    ColumnLook look = lookOf(*moved);
    b.delColumn(int(pos));
    b.lockUpdate(false);
    const int newPos = int(pos + n);
    b.insColumn(newPos, keep);
    for (const char* m : {"setHeaderCaption", "setFooterCaption"})
        if (rt::hasMember(keep, m))
            rt::send(keep, m, {});
    if (b.cursorMode() == gui::cursor::Cell) {
        for (long long i = 0; i < std::abs(n); ++i) {
            if (n > 0)
                b.gui::XbpBrowse::right();
            else if (moveLeft)
                b.left();
        }
    }
    look.headingLbDown = rewired(look.headingLbDown, b, *moved, newPos);
    look.headingRbDown = rewired(look.headingRbDown, b, *moved, newPos);
    restoreLook(*moved, look);
    if (gui::XbpColumn* other = b.columnAt(int(pos)))
        rewireSortBlocks(b, *other, int(pos));
    relayout(b);
    b.gui::XbpBrowse::forceStable();
    if (refresh)
        b.gui::XbpBrowse::refreshAll();
    return b.self();
}

rt::Value fitColumns(RK_XbpBrowse& b, rt::Args)
{
    double browseWidth = b.currentSize().width();
    for (gui::XbpPart* child : b.children())
        if (child->isDerivedFrom("XbpScrollBar")) {
            const rt::Value type = rt::getMember(child->self(), "type");
            if (type.isNum() && type.asInt() == gui::sb::Vertical && child->widget() && child->widget()->isVisible())
                browseWidth -= child->currentSize().width();
        }
    const int count = b.colCount();
    if (count > 0) {
        double columnsWidth = 0;
        for (int i = 1; i <= count; ++i)
            columnsWidth += b.columnAt(i)->width();
        const double delta = (browseWidth - columnsWidth) / count;
        for (int i = 1; i <= count; ++i)
            resizeColumn(*b.columnAt(i), b.columnAt(i)->width() + delta);
    }
    relayout(b);
    return {};
}

rt::Value resizeColumns(RK_XbpBrowse& b, rt::Args a)
{
    if (b.status != gui::XbpPart::Created)
        return {};
    std::vector<gui::XbpColumn*> spread;
    for (int i = 1; i <= b.colCount(); ++i)
        if (!rt::isTrue(memberOr(b.columnAt(i)->self(), "noAutoResizeColumn")))
            spread.push_back(b.columnAt(i));
    const auto oldSize = gui::pairOf(rt::argAt(a, 0));
    const auto newSize = gui::pairOf(rt::argAt(a, 1));
    if (spread.empty() || !oldSize || !newSize)
        return {};
    const long long delta = (newSize->x() - oldSize->x()) / static_cast<long long>(spread.size());
    for (gui::XbpColumn* c : spread)
        resizeColumn(*c, c->width() + double(delta));
    relayout(b);
    return {};
}

rt::Value optimize(RK_XbpBrowse& b, rt::Args)
{
    for (int i = 1; i <= b.colCount(); ++i)
        optimizeColumn(b.columnAt(i)->heading);
    return b.self();
}

rt::Value optimizeColumn(const rt::Value& heading)
{
    const auto* group = heading.isObject() ? dynamic_cast<gui::XbpCellGroup*>(&heading.asObject()) : nullptr;
    gui::XbpColumn* c = group ? group->column() : nullptr;
    auto* b = c ? dynamic_cast<RK_XbpBrowse*>(group->host()) : nullptr;
    if (!b)
        return {};
    const rt::Value keepColumn = c->self(), keepBrowse = b->self();
    const int column = b->colPos();
    const rt::Value pointer = b->arrayElement;
    const rt::Value before = memberOr(keepColumn, "columnSize");
    int width = 0;
    if (rt::isEmpty(before)) {
        const auto widest = widestValue(*b, *c, QFontMetrics(group->cellFont()));
        if (!widest)
            return {};
        setMemberIf(keepColumn, "columnSize", c->width());
        width = *widest;
    } else {
        width = int(before.asInt());
        setMemberIf(keepColumn, "columnSize", 0);
    }
    b->arrayElement = pointer;
    const rt::Value current = c->dataLink.isBlock() ? rt::eval(c->dataLink) : rt::Value();
    width += current.isNum() ? 30 : 10;
    resizeColumn(*c, width);
    relayout(*b);
    b->firstCol();
    for (int i = 1; i < column; ++i)
        b->gui::XbpBrowse::right();
    b->gui::XbpBrowse::forceStable();
    return {};
}

rt::Value resize(RK_XbpBrowse& b, rt::Args a)
{
    b.RefreshAll();
    if (b.widget())
        b.widget()->update();
    if (rt::isTrue(b.resizeColumns))
        resizeColumns(b, a);
    return b.platformResize(a);
}

rt::Value setSize(RK_XbpBrowse& b, rt::Args a)
{
    const auto s = gui::pairOf(rt::argAt(a, 0));
    if (!s)
        return {};
    rt::Value result;
    rt::guarded([&] { result = b.gui::XbpBrowse::setSize(QSize(s->x(), s->y())); });
    return result;
}

}  // namespace browse
