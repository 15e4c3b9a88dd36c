// RK_XbpColumn after construction: hiding and re-showing by the hide
// block, the when and protect blocks, resizing, moving, and the row hooks
// that keep the zebra stripes with their data rows.
#include "browse/columns/column.h"

#include "browse/columns/members.h"

#include "platform/grid/browse.h"
#include "platform/grid/cellgroup.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"

#include <algorithm>
#include <cstdlib>

namespace browse {

namespace {

const MemberRef kFreezeLeft("freezeLeft");
const MemberRef kEvenRow("evenRow");

long long columnPosOf(const gui::XbpColumn* c)
{
    const auto* rk = dynamic_cast<const RK_XbpColumn*>(c);
    return rk && rk->columnPos.isNum() ? rk->columnPos.asInt() : 0;
}

// The browse's position of the column built at nColumn, 0 when absent.
int placeOf(const gui::XbpBrowse& b, long long nColumn)
{
    for (int j = 1; j <= b.colCount(); ++j)
        if (columnPosOf(b.columnAt(j)) == nColumn)
            return j;
    return 0;
}

// Where a re-shown column goes: after the last column built before it.
int insertPlace(const gui::XbpBrowse& b, long long nColumn)
{
    if (b.colCount() == 0)
        return 1;
    int last = 0;
    for (int j = 1; j <= b.colCount(); ++j)
        if (columnPosOf(b.columnAt(j)) < nColumn)
            last = j;
    return (last == 0 ? 1 : last) + (nColumn > 1 ? 1 : 0);
}

void setGroupStyle(const rt::Value& group, const rt::Value& style, const rt::Value& mode)
{
    if (!group.isObject())
        return;
    rt::setMember(group, "useVisualStyle", style);
    rt::setMember(group, "drawMode", mode);
}

}  // namespace

// WhenHideEval(lEnable, lShow, lProtect): a column whose hide block yields
// .T. leaves the browse and comes back at its designed place when it yields
// .F.; the frozen columns stay frozen. *lProtect, when given as a logical,
// receives the protect block's value.
rt::Value RK_XbpColumn::WhenHideEval(rt::Value* lProtect)
{
    const rt::Value keep = self();
    gui::XbpBrowse* b = gui::asBrowse(parent);
    if (gui::XbpColumn::hideBlock.isBlock() && b) {
        const long long nColumn = columnPos.isNum() ? columnPos.asInt() : 0;
        const rt::Value frozen = kFreezeLeft.get(parent);
        const bool refreeze = frozen.isArray() && !frozen.asArray().items.empty();
        bool changed = false;
        if (rt::isTrue(rt::evalWith(gui::XbpColumn::hideBlock, keep))) {
            if (const int j = placeOf(*b, nColumn)) {
                b->lockUpdate(true);
                if (refreeze)
                    b->setFrozen(true, rt::Value::array());
                b->delColumn(j);
                changed = true;
            }
        } else if (placeOf(*b, nColumn) == 0) {
            const int at = insertPlace(*b, nColumn);
            b->lockUpdate(true);
            if (refreeze)
                b->setFrozen(true, rt::Value::array());
            b->insColumn(at, keep);
            const rt::Value groups[] = {heading, dataArea, footing};
            for (std::size_t i = 0; i < 3; ++i)
                setGroupStyle(groups[i], rt::entryOf(visualStyleArray, i + 1), rt::entryOf(drawModeArray, i + 1));
            changed = true;
        }
        if (changed) {
            if (refreeze)
                b->setFrozen(true, frozen);
            b->lockUpdate(false);
            rt::sendWith(parent, "forceStable");
            rt::sendWith(parent, "refreshAll");
            b->invalidateRect();
        }
    }
    if (gui::XbpColumn::whenBlock.isBlock())
        setEnabled(rt::isTrue(rt::evalWith(gui::XbpColumn::whenBlock, keep)));
    if (lProtect && lProtect->isLogical() && gui::XbpColumn::protectBlock.isBlock())
        *lProtect = rt::evalWith(gui::XbpColumn::protectBlock, keep);
    return keep;
}

// resizeColumn(aOldSize, aNewSize): grows by the difference of the widths,
// then the browse lays its columns out again.
rt::Value RK_XbpColumn::resizeColumn(const rt::Value& aOldSize, const rt::Value& aNewSize)
{
    const auto before = gui::pairOf(aOldSize);
    const auto after = gui::pairOf(aNewSize);
    if (!before || !after)
        return self();
    const QSize now = currentSize();
    setSize(QSize(width() + after->x() - before->x(), now.height()));
    if (gui::XbpBrowse* b = gui::asBrowse(parent))
        b->setSize(b->currentSize());
    return self();
}

// MoveColumn(nMove): the browse's current column moves nMove places and the
// cursor follows it.
rt::Value RK_XbpColumn::MoveColumn(const rt::Value& nMove)
{
    gui::XbpBrowse* b = gui::asBrowse(parent);
    if (!b || !nMove.isNum())
        return self();
    const rt::Value keep = self();
    const int move = int(nMove.asInt());
    b->lockUpdate(true);
    const int from = b->colPos();
    b->moveColumn(from, from + move);
    if (move >= 1)
        b->left();
    else
        b->right();
    b->lockUpdate(false);
    rt::sendWith(parent, "forceStable");
    return keep;
}

// The row hooks: the data row under a drawn row is its screen row plus the
// rows scrolled, so a row keeps its stripe while the rows move. The
// platform's own hooks do nothing (and by name would come back here).
void RK_XbpColumn::drawRow(int row, bool)
{
    const long long last = row + (nOffset.isNum() ? nOffset.asInt() : 0);
    LastRow = last;
    kEvenRow.set(parent, std::llabs(last) % 2 == 0);
}

void RK_XbpColumn::scrolled(int rows, bool down)
{
    const long long n = nOffset.isNum() ? nOffset.asInt() : 0;
    nOffset = down ? n + rows : n - rows;
}

}  // namespace browse
