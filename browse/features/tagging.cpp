// Row tagging: every input path (keys, clicks, mouse moves with Ctrl and the
// left button held) calls Tag with what it has. Tags live in the data: a
// logical element of each row of an array source, or the work area's set of
// tagged record numbers for an alias source.
#include "browse/core/browse.h"
#include "browse/features/features.h"

#include "platform/dbf/workarea.h"
#include "platform/grid/cellgroup.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"

#include <set>

namespace browse {

namespace {

namespace key = gui::key;

constexpr int kUntagAll = key::Del + key::ShiftFlag;     // 589870
constexpr int kTagAll = key::Ins + key::ShiftFlag;       // 589869
constexpr int kToggleDown = key::Down + key::ShiftFlag;  // 589864
constexpr int kToggleUp = key::Up + key::ShiftFlag;      // 589862
constexpr int kCtrlDown = key::Down + key::CtrlFlag;     // 196648

bool filtered(long long k)
{
    return k == kToggleDown || k == kToggleUp || k == key::Space || k == kTagAll || k == kUntagAll || k == kCtrlDown;
}

// The rows of an array source, or null.
rt::Array* rowsOf(RK_XbpBrowse& b) { return b.dataSource.isArray() ? &b.dataSource.asArray() : nullptr; }

std::size_t tagIndex(const RK_XbpBrowse& b)
{
    return b.tagElement.isNum() && b.tagElement.asInt() > 0 ? std::size_t(b.tagElement.asInt()) : 0;
}

// The tag element of row i when the row can carry a tag: the row exists,
// is long enough and holds a logical there.
rt::Value* tagOfRow(RK_XbpBrowse& b, long long i)
{
    rt::Array* rows = rowsOf(b);
    const std::size_t e = tagIndex(b);
    if (!rows || e == 0 || i < 1 || std::size_t(i) > rows->size())
        return nullptr;
    rt::Value& row = rows->items[std::size_t(i) - 1];
    if (!row.isArray() || row.asArray().size() < e)
        return nullptr;
    rt::Value& flag = row.asArray().items[e - 1];
    return flag.isLogical() ? &flag : nullptr;
}

long long current(const RK_XbpBrowse& b) { return b.arrayElement.isNum() ? b.arrayElement.asInt() : 0; }

// Sweeps write the tag element of every row; a row too short to have one
// is passed over rather than grown (or raising half-way through).
void setRange(RK_XbpBrowse& b, long long from, long long to, bool on)
{
    rt::Array* rows = rowsOf(b);
    const std::size_t e = tagIndex(b);
    if (!rows || e == 0)
        return;
    for (long long i = std::max(from, 1LL); i <= to && std::size_t(i) <= rows->size(); ++i)
        if (rt::Value& row = rows->items[std::size_t(i) - 1]; row.isArray() && row.asArray().size() >= e)
            row.asArray().items[e - 1] = on;
}

void setAll(RK_XbpBrowse& b, bool on)
{
    if (const rt::Array* rows = rowsOf(b))
        setRange(b, 1, static_cast<long long>(rows->size()), on);
}

// The work area of an alias source, or null.
dbf::WorkArea* areaOf(const RK_XbpBrowse& b)
{
    return b.dataSource.isChar() ? dbf::findArea(b.dataSource.str()) : nullptr;
}

void toggleRecord(dbf::WorkArea& area)
{
    if (area.onPhantom())
        return;
    const std::uint32_t r = area.recno();
    if (!area.tags().erase(r))
        area.tags().insert(r);
}

bool held(int vk) { return gui::appKeyState(vk) == 1; }

void setAnchor(RK_XbpBrowse& b)
{
    if (dbf::WorkArea* area = areaOf(b)) {
        b.lastTagRec = static_cast<long long>(area->recno());
        b.lastTagPos = area->keyNo();
    } else if (rowsOf(b)) {
        b.lastTagRec = current(b);
        b.lastTagPos = current(b);
    }
}

// A single toggle of the current row; the anchor's record follows it.
void toggleCurrent(RK_XbpBrowse& b)
{
    if (rt::Value* flag = tagOfRow(b, current(b))) {
        *flag = !flag->asBool();
        b.lastTagRec = current(b);
    } else if (dbf::WorkArea* area = areaOf(b)) {
        toggleRecord(*area);
        b.lastTagRec = static_cast<long long>(area->recno());
    }
}

// Ctrl and the left button held over the data area: the row under the
// pointer is tagged, never untagged. Work areas are left alone.
void dragOver(RK_XbpBrowse& b, const rt::Value& oCell, const rt::Value& mp1)
{
    if (!rt::isTrue(b.isLeftMouseButton))
        return;
    const auto* cell = oCell.isObject() ? dynamic_cast<const gui::XbpCellGroup*>(&oCell.asObject()) : nullptr;
    const auto pos = gui::pairOf(mp1);
    if (!cell || !pos)
        return;
    const long long row = current(b) + (cell->cellFromPos(*pos) - b.rowPos());
    rt::Value* flag = tagOfRow(b, row);
    if (!flag || flag->asBool())
        return;
    *flag = true;
    b.lastTagRec = row;
    b.gui::XbpBrowse::refreshAll();
}

// The records between the anchor and the current one, in the view's order.
// With tagMode 1 the walk starts one record past the anchor.
void tagAreaRange(RK_XbpBrowse& b, dbf::WorkArea& area)
{
    const std::uint32_t saved = area.recno();
    const std::int64_t currPos = area.keyNo();
    const std::int64_t anchorPos = b.lastTagPos.isNum() ? b.lastTagPos.asInt() : 0;
    const bool skipAnchor = b.tagMode.isNum() && b.tagMode.asInt() == 1;
    area.tags().clear();
    if (currPos > anchorPos) {
        area.goTo(b.lastTagRec.asInt());
        if (skipAnchor)
            area.skip(1);
        for (std::int64_t k = area.keyNo(); k <= currPos && !area.eof(); ++k) {
            toggleRecord(area);
            area.skip(1);
        }
    } else if (currPos < anchorPos) {
        area.goTo(b.lastTagRec.asInt());
        if (skipAnchor)
            area.skip(-1);
        for (std::int64_t k = area.keyNo(); k >= currPos && !area.bof(); --k) {
            toggleRecord(area);
            area.skip(-1);
            if (k <= 1)
                break;
        }
    }
    area.goTo(saved);
}

}  // namespace

// Shift held: tag from the anchor to the current row; without an anchor
// only the current row toggles.
void tagRange(RK_XbpBrowse& b)
{
    const long long anchor = b.lastTagRec.isNum() ? b.lastTagRec.asInt() : 0;
    if (anchor == 0) {
        const rt::Value keep = b.lastTagRec;
        toggleCurrent(b);
        b.lastTagRec = keep;
        b.refreshCurrent();
        return;
    }
    if (tagOfRow(b, current(b))) {
        const long long curr = current(b);
        setAll(b, false);
        if (curr != anchor)
            setRange(b, std::min(curr, anchor), std::max(curr, anchor), true);
    } else if (dbf::WorkArea* area = areaOf(b)) {
        tagAreaRange(b, *area);
    }
    b.gui::XbpBrowse::refreshAll();
}

namespace {

// No modifier: the tags go (with tagMode 1 the current row is tagged
// instead). Returns false when nothing was there to clear.
bool plainClick(RK_XbpBrowse& b)
{
    const bool selectCurrent = b.tagMode.isNum() && b.tagMode.asInt() == 1;
    if (dbf::WorkArea* area = areaOf(b)) {
        if (area->tags().empty())
            return false;
        area->tags().clear();
        if (selectCurrent)
            toggleRecord(*area);
        return true;
    }
    const rt::Array* rows = rowsOf(b);
    if (!rows || rows->size() == 0)
        return false;
    setAll(b, false);
    if (selectCurrent)
        if (rt::Value* flag = tagOfRow(b, current(b)))
            *flag = true;
    return true;
}

}  // namespace

rt::Value tag(RK_XbpBrowse& b, rt::Args a)
{
    const rt::Value& oCell = rt::argAt(a, 0);
    const rt::Value& mp1 = rt::argAt(a, 1);
    const long long nKey = rt::argAt(a, 2).isNum() ? rt::argAt(a, 2).asInt() : 0;
    if (nKey > 0 && !filtered(nKey))
        return {};
    const bool ctrl = held(key::VkCtrl);
    const bool toggleKey = nKey == kToggleDown || nKey == kToggleUp || nKey == key::Space;

    if (nKey == kUntagAll || nKey == kTagAll) {
        const bool on = nKey == kTagAll;
        if (tagOfRow(b, current(b))) {
            setAll(b, on);
        } else if (dbf::WorkArea* area = areaOf(b)) {
            const std::uint32_t saved = area->recno();
            area->tags().clear();
            if (on) {
                for (area->goTop(); !area->eof(); area->skip(1))
                    area->tags().insert(area->recno());
                area->goTo(saved);
            }
        }
        b.gui::XbpBrowse::refreshAll();
        setAnchor(b);
        return {};
    }
    if (ctrl || toggleKey) {
        if (oCell.isObject()) {
            dragOver(b, oCell, mp1);
            return {};
        }
        toggleCurrent(b);
        b.refreshCurrent();
        if (nKey == kToggleDown || nKey == kToggleUp)
            gui::postAppEvent(gui::ev::Keyboard, nKey == kToggleDown ? key::Down : key::Up, {}, b.self());
        return {};
    }
    if (held(key::VkShift)) {
        tagRange(b);
        return {};
    }
    if (!rt::isEmpty(oCell) || !plainClick(b))
        return {};
    b.gui::XbpBrowse::refreshAll();
    setAnchor(b);
    return {};
}

long long taggedCount(const RK_XbpBrowse& b)
{
    if (const dbf::WorkArea* area = areaOf(b))
        return static_cast<long long>(const_cast<dbf::WorkArea*>(area)->tags().size());
    if (!b.dataSource.isArray())
        return 0;
    const std::size_t e = tagIndex(b);
    long long n = 0;
    for (const rt::Value& row : b.dataSource.asArray().items)
        if (e && row.isArray() && row.asArray().size() >= e) {
            const rt::Value& flag = row.asArray().items[e - 1];
            n += flag.isLogical() && flag.asBool();
        }
    return n;
}

namespace {

// The tagged records of a work area in the browse's order. In record order
// (no order, no list, not descending) the set is that order already;
// otherwise the view is walked until every tag is met.
long long forEachTaggedRecord(dbf::WorkArea& area, bool reverse, const std::function<void()>& row)
{
    const std::set<std::uint32_t> tags(area.tags().begin(), area.tags().end());
    if (tags.empty())
        return 0;
    const std::uint32_t saved = area.recno();
    long long n = 0;
    if (area.focus() == 0 && !area.recordList() && !area.descend() && !reverse) {
        for (std::uint32_t r : tags) {
            area.goTo(r);
            row();
            ++n;
        }
    } else {
        for (area.goTop(reverse); !area.eof() && std::size_t(n) < tags.size(); area.skip(1, reverse))
            if (tags.count(area.recno())) {
                row();
                ++n;
            }
    }
    area.goTo(saved);
    return n;
}

}  // namespace

long long forEachTagged(RK_XbpBrowse& b, const std::function<void()>& row)
{
    if (dbf::WorkArea* area = areaOf(b))
        return forEachTaggedRecord(*area, rt::isTrue(b.descending), row);
    const rt::Array* rows = rowsOf(b);
    const std::size_t e = tagIndex(b);
    if (!rows || e == 0)
        return 0;
    const rt::Value saved = b.arrayElement;
    long long n = 0;
    for (std::size_t i = 0; i < rows->size(); ++i)
        if (rt::isTrue(rt::entryOf(rows->items[i], e))) {
            b.arrayElement = static_cast<long long>(i + 1);
            row();
            ++n;
        }
    b.arrayElement = saved;
    return n;
}

}  // namespace browse
