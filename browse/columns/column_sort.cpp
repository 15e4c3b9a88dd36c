// RK_XbpColumn:Sort and the header look of sorted, sortable and plain
// columns; SortClear for the browse.
//
// The browse holds the sort state (sortColumn, descending); the column only
// asks its sort block to reorder the data. The browse is reached by name:
// it is any object with the members read here.
#include "browse/columns/column.h"
#include "browse/columns/column_sort.h"
#include "browse/columns/members.h"

#include "platform/grid/browse.h"
#include "platform/gui/static.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

namespace browse {

namespace {

const MemberRef kSortColumn("sortColumn");
const MemberRef kDescending("descending");
const MemberRef kDescendToggle("descendToggle");
const MemberRef kDataSource("dataSource");
const MemberRef kDataSourceType("dataSourceType");
const MemberRef kIsTrapErrors("isTrapErrors");

constexpr int kSqlKind = 3;
constexpr int kObjectKind = 4;
constexpr const char* kArrowFont = "12.Marlett";

// One header look: colour and font members of the browse. A member of the
// wrong kind leaves the header as it is.
struct Look {
    const char* fg;
    const char* bg;
    const char* font;  // null: fonts are left alone
};
constexpr Look kSelected{"sortColorSelectedFG", "sortColorSelectedBG", "sortFontSelected"};
constexpr Look kUnSelected{"sortColorUnSelectedFG", "sortColorUnSelectedBG", "sortFontUnSelected"};
constexpr Look kNonSelectable{"sortColorNonselectableFG", "sortColorNonselectableBG", "sortFontNonSelectable"};

void applyLook(const rt::Value& browse, const rt::Value& heading, const Look& look)
{
    if (!heading.isObject())
        return;
    if (const rt::Value fg = rt::getMember(browse, look.fg); fg.isNum())
        rt::sendWith(heading, "setColorFG", fg);
    if (const rt::Value bg = rt::getMember(browse, look.bg); bg.isNum())
        rt::sendWith(heading, "setColorBG", bg);
    if (look.font)
        if (const rt::Value font = rt::getMember(browse, look.font); font.isChar())
            rt::sendWith(heading, "setFontCompoundName", font);
}

bool isArrow(const gui::XbpPart* p)
{
    return dynamic_cast<const gui::XbpStatic*>(p) && p->cargo.isChar() && p->cargo.asString() == kSortArrowCargo;
}

gui::XbpStatic* findArrow(const rt::Value& heading)
{
    const auto* g = dynamic_cast<gui::XbpPart*>(heading.isObject() ? &heading.asObject() : nullptr);
    if (!g || g->status <= 0)
        return nullptr;
    for (gui::XbpPart* child : g->children())
        if (isArrow(child))
            return static_cast<gui::XbpStatic*>(child);
    return nullptr;
}

void makeArrow(const rt::Value& heading)
{
    auto* g = dynamic_cast<gui::XbpPart*>(&heading.asObject());
    auto* arrow = new gui::XbpStatic();
    const rt::Value keep = arrow->self();
    arrow->type = gui::static_type::Text;
    arrow->cargo = kSortArrowCargo;
    const rt::Value args[] = {heading, {}, gui::pairValue(g->currentSize().width() - 15, 6), gui::pairValue(12, 12),
                              rt::makeArray({}), true};
    arrow->create(rt::Args(args, 6));
    arrow->setFontCompoundName(kArrowFont);
}

int kindOf(const rt::Value& browse)
{
    const rt::Value k = kDataSourceType.get(browse);
    return k.isNum() ? int(k.asInt()) : 0;
}

// The sort block's answer; with the browse trapping errors a block that
// raises counts as a refusal.
rt::Value runSortBlock(const rt::Value& block, const rt::Value& browse, rt::Args args)
{
    if (!rt::isTrue(kIsTrapErrors.get(browse)))
        return rt::eval(block, args);
    rt::Value result = false;
    rt::guarded([&] { result = rt::eval(block, args); });
    return result;
}

// The repeated-click path: flips or forces the direction. Returns false when
// the sort block refused.
bool changeDirection(const rt::Value& browse, const rt::Value& block, const rt::Value& a, const rt::Value& colPos,
                     long long mode)
{
    bool descending = rt::isTrue(kDescending.get(browse));
    if (mode == 1) {
        descending = false;
        kDescending.set(browse, false);
    } else if (mode == 2) {
        descending = true;
        kDescending.set(browse, true);
    } else {
        descending = !descending;
        kDescending.set(browse, descending);
        if (descending) {
            rt::sendWith(browse, "goBottom");
            rt::sendWith(browse, "forceStable");
        }
    }
    const int kind = kindOf(browse);
    if (kind == kObjectKind) {
        // An object without a descending order (the PostgreSQL data object)
        // keeps its order; the flip then only changes the arrow.
        const rt::Value ds = kDataSource.get(browse);
        if (rt::hasMember(ds, "DbSetDescend"))
            rt::sendWith(ds, "DbSetDescend", descending);
        if (rt::hasMember(ds, "DbGoTop"))
            rt::sendWith(ds, "DbGoTop");
    } else if (kind == kSqlKind) {
        const rt::Value args[] = {a, colPos, descending};
        const rt::Value r = runSortBlock(block, browse, rt::Args(args, 3));
        return !(r.isLogical() && !r.asBool());
    }
    return true;
}

}  // namespace

// Sort(a, nColPos, nMode): a the header click position (empty when called
// by program: only the look and sortColumn change), nMode 0 toggle, 1
// ascending, 2 descending. A sort block answering .F. cancels the click.
rt::Value RK_XbpColumn::Sort(const rt::Value& a, const rt::Value& nColPos, const rt::Value& nMode)
{
    const long long mode = nMode.isNum() ? nMode.asInt() : 0;
    if (!sortBlock.isBlock())
        return self();
    const rt::Value browse = parent;
    const rt::Value keep = self();
    const rt::Value sorted = kSortColumn.get(browse);
    const bool sameColumn = sorted.isNum() && nColPos.isNum() && sorted.asInt() == nColPos.asInt();
    const bool toggle = rt::isTrue(kDescendToggle.get(browse));
    if (!rt::isEmpty(a)) {
        if (kindOf(browse) != kSqlKind && (!sameColumn || !toggle)) {
            if (toggle)
                kDescending.set(browse, false);
            const rt::Value args[] = {a, nColPos, browse};
            const rt::Value r = runSortBlock(sortBlock, browse, rt::Args(args, 3));
            if (r.isLogical() && !r.asBool())
                return self();
        } else if (!changeDirection(browse, sortBlock, a, nColPos, mode)) {
            return self();
        }
        const rt::Value ds = kDataSource.get(browse);
        if (ds.isArray() || ds.isObject())
            rt::sendWith(browse, "goTop");
        rt::sendWith(browse, "refreshAll");
    }
    markSorted(browse, nColPos);
    return self();
}

void markSorted(const rt::Value& browse, const rt::Value& colPos)
{
    const rt::Value sorted = kSortColumn.get(browse);
    const bool changed = !(sorted.isNum() && colPos.isNum() && sorted.asInt() == colPos.asInt());
    const rt::Value n = rt::sendWith(browse, "colCount");
    const bool descending = rt::isTrue(kDescending.get(browse));
    for (long long i = 1; n.isNum() && i <= n.asInt(); ++i) {
        const rt::Value column = rt::sendWith(browse, "getColumn", i);
        const rt::Value heading = column.isObject() ? rt::getMember(column, "heading") : rt::Value();
        if (colPos.isNum() && i == colPos.asInt()) {
            if (changed)
                applyLook(browse, heading, kSelected);
            const gui::XbpPart* g = dynamic_cast<gui::XbpPart*>(heading.isObject() ? &heading.asObject() : nullptr);
            if (!g || g->status <= 0)
                continue;
            gui::XbpStatic* arrow = findArrow(heading);
            if (!arrow && rt::isTrue(kDescendToggle.get(browse))) {
                makeArrow(heading);
                arrow = findArrow(heading);
            }
            if (arrow)
                arrow->setCaption(descending ? "u" : "t");
        } else if (changed) {
            const rt::Value block = column.isObject() ? rt::getMember(column, "sortBlock") : rt::Value();
            applyLook(browse, heading, !rt::isEmpty(block) ? kUnSelected : kNonSelectable);
            removeArrows(heading);
        }
    }
    kSortColumn.set(browse, colPos);
}

void removeArrows(const rt::Value& heading)
{
    const auto* g = dynamic_cast<gui::XbpPart*>(heading.isObject() ? &heading.asObject() : nullptr);
    if (!g || g->status <= 0)
        return;
    for (gui::XbpPart* child : g->children())
        if (isArrow(child))
            child->destroy();
}

void sortClear(const rt::Value& browse)
{
    const rt::Value n = rt::sendWith(browse, "colCount");
    const Look plain{kNonSelectable.fg, kNonSelectable.bg, nullptr};
    for (long long i = 1; n.isNum() && i <= n.asInt(); ++i) {
        const rt::Value column = rt::sendWith(browse, "getColumn", i);
        const rt::Value heading = column.isObject() ? rt::getMember(column, "heading") : rt::Value();
        applyLook(browse, heading, plain);
        removeArrows(heading);
    }
}

}  // namespace browse
