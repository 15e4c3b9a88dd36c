// Column layout: moving a column, sharing out or spreading the browse's
// width over the columns, sizing a column to its widest value, and the
// guarded size and resize overrides of the browse.
#include "browse/columns/column.h"
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

    // The column moves whole: its look, cargo and header sort blocks (which
    // ask it for its place) go with it.
    const int newPos = int(pos + n);
    const rt::Value moved = b.columnAt(int(pos))->self();
    b.lockUpdate(true);
    b.moveColumn(int(pos), newPos);
    b.lockUpdate(false);
    for (const char* m : {"setHeaderCaption", "setFooterCaption"})
        if (rt::hasMember(moved, m))
            rt::send(moved, m, {});
    if (b.cursorMode() == gui::cursor::Cell) {
        for (long long i = 0; i < std::abs(n); ++i) {
            if (n > 0)
                b.gui::XbpBrowse::right();
            else if (moveLeft)
                b.left();
        }
    }
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
    rt::runReporting([&] { result = b.gui::XbpBrowse::setSize(QSize(s->x(), s->y())); });
    return result;
}

}  // namespace browse
