// RK_XbpBrowse: keeping the grid in step with its data. The full and the
// timed refresh, re-reading in place, detaching the data, guarded
// stabilisation, the navigation hook, when/hide/protect and teardown.
#include "browse/core/browse.h"

#include "browse/core/features.h"
#include "browse/core/navigation.h"

#include "platform/dbf/workarea.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/gui/timer.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/ops.h"

#include <vector>

namespace browse {

namespace {

using B = RK_XbpBrowse;

constexpr int kRefreshEvent = gui::ev::User + 2000;
// Mouse motion that arrives while Refresh drains the queue is stale by the
// time it would be handled again.
constexpr int kDroppedEvent = gui::ev::Motion;
constexpr int kKindArray = 1;
constexpr int kKindAlias = 2;
constexpr int kKindObject = 4;

int kindOf(const B& b) { return b.dataSourceType.isNum() ? int(b.dataSourceType.asInt()) : 0; }


// The work area of an alias source, or null.
dbf::WorkArea* areaOf(const rt::Value& ds) { return ds.isChar() ? dbf::findArea(ds.asString()) : nullptr; }

void setCargo(B& b, std::size_t entry, const rt::Value& v)
{
    if (b.cargo.isArray() && b.cargo.asArray().size() >= entry)
        b.cargo.asArray().items[entry - 1] = v;
}

// A function of the runtime evaluated in the alias's work area.
rt::Value inArea(int area, const char* fn, rt::Args args = {})
{
    const dbf::SelectGuard select(area);
    return rt::callFunction(fn, args);
}

// RefreshAll, alias source: when a dialog-library scope is set, a record
// that the scope no longer shows sends the browse to the top.
void revalidateScopedRecord(B& b)
{
    dbf::WorkArea* area = areaOf(b.dataSource);
    if (!area)
        return;
    const int n = area->number();
    const rt::Value one[] = {1}, zero[] = {0}, back[] = {-1};
    if (!rt::isEmpty(inArea(n, "DbScope", one)) || rt::isEmpty(inArea(n, "RK_SetScope", zero)))
        return;
    const std::uint32_t before = area->recno();
    inArea(n, "RK_DbSkip", one);
    inArea(n, "RK_DbSkip", back);
    if (area->bof() || area->eof() || area->recno() != before) {
        inArea(n, "RK_DbGoTop");
        b.goTop();
    }
}

// RefreshAll, object source: a record that vanished sends the browse to the top.
void revalidateObjectRecord(B& b)
{
    const rt::Value& ds = b.dataSource;
    const rt::Value before = rt::sendWith(ds, "Recno");
    rt::sendWith(ds, "Skip");
    rt::sendWith(ds, "Skip", -1);
    if (rt::isTrue(rt::sendWith(ds, "Bof")) || rt::isTrue(rt::sendWith(ds, "Eof"))) {
        b.goTop();
        return;
    }
    const rt::Value after = rt::sendWith(ds, "Recno");
    if (after.kind() != before.kind() || !rt::exactEqual(after, before))
        b.goTop();
}

// RefreshAll, array source: the current element stays within the array.
void clampArrayElement(B& b)
{
    if (!b.dataSource.isArray())
        return;
    const auto length = std::int64_t(b.dataSource.asArray().size());
    std::int64_t e = b.arrayElement.isNum() ? b.arrayElement.asInt() : 0;
    e = std::min(e, length);
    if (length > 0 && e <= 0)
        e = 1;
    b.arrayElement = e;
    setCargo(b, 4, b.arrayElement);
    if (b.pointerBlock.isBlock())
        rt::evalWith(b.pointerBlock, b.arrayElement);
}

// Events queued now, taken off the queue; mouse motion is dropped.
struct QueuedEvent {
    int nEvent;
    rt::Value mp1, mp2, target;
    int modifiers;
};

std::vector<QueuedEvent> drainEvents()
{
    std::vector<QueuedEvent> kept;
    for (;;) {
        QueuedEvent e{};
        e.nEvent = gui::appEvent(e.mp1, e.mp2, e.target, 1);
        if (e.nEvent == gui::ev::None)
            break;
        e.modifiers = gui::appEventModifiers();
        if (e.nEvent != kDroppedEvent)
            kept.push_back(std::move(e));
    }
    return kept;
}

rt::Value zeroBlock() { return rt::makeBlock([](rt::Args) { return rt::Value(0); }); }

}  // namespace

// --- events

rt::Value RK_XbpBrowse::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    if (nEvent != kRefreshEvent)
        return gui::XbpBrowse::handleEvent(nEvent, mp1, mp2);
    if (isVisible() && (rt::isEmpty(refreshWhenBlock) || rt::isTrue(rt::evalWith(refreshWhenBlock, self())))) {
        if (refreshBlock.isBlock())
            rt::evalWith(refreshBlock, self());
        else
            Refresh();
    }
    return self();
}

// The timer only posts the refresh event: the refresh itself runs when the
// dialog loop hands the event to the browse.
rt::Value RK_XbpBrowse::setTimerRefresh()
{
    if (!refreshInterval.isNum())
        refreshInterval = 0;
    if (refreshInterval.asDouble() <= 0)
        return self();
    if (auto* old = dynamic_cast<gui::SetTimerEvent*>(timer.isObject() ? &timer.asObject() : nullptr))
        old->destroy();
    auto* t = new gui::SetTimerEvent();
    timer = t->self();
    // The timer's unit is a hundredth of a second; less cannot be timed.
    const rt::Value args[] = {rt::Value(std::max(refreshInterval.asDouble(), 1.0)),
                              selfBlock([](B& b, rt::Args) {
                                  gui::postAppEvent(kRefreshEvent, {}, {}, b.self());
                                  return rt::Value();
                              })};
    t->init(rt::Args(args, 2));
    return self();
}

rt::Value RK_XbpBrowse::Navigate(const rt::Value& mp1, const rt::Value& mp2)
{
    if (navigateBlock.isBlock())
        rt::eval(navigateBlock);
    const int command = mp1.isNum() ? int(mp1.asInt()) : 0;
    if (command == gui::nav::Stable)
        gui::XbpBrowse::forceStable();
    return navigate(command, mp2);
}

// --- refresh

rt::Value RK_XbpBrowse::Refresh()
{
    if (!rt::isTrue(dataEnabled) || status != Created)
        return self();
    const int kind = kindOf(*this);
    rt::Value record;
    if (dbf::WorkArea* area = kind == kKindAlias ? areaOf(dataSource) : nullptr)
        record = rt::Value(static_cast<long long>(area->recno()));
    else if (kind == kKindObject)
        record = rt::sendWith(dataSource, "Recno");

    gui::postAppEvent(gui::nav::NavigateEvent, gui::nav::Stable, 13, self());
    if (freezeLeft.isArray() && frozen(true).asArray().size() == 0)
        setFrozen(true, freezeLeft);
    if (freezeRight.isArray() && frozen(false).asArray().size() == 0)
        setFrozen(false, freezeRight);
    for (int i = 1; i <= colCount(); ++i)
        rt::sendWith(columnAt(i)->self(), "refresh");
    RefreshAll();

    // Events that arrived meanwhile go back to the queue in their order.
    for (QueuedEvent& e : drainEvents())
        gui::postAppEvent(e.nEvent, e.mp1, e.mp2, e.target, e.modifiers);

    if (record.isNil())
        return self();
    if (kind == kKindAlias) {
        if (dbf::WorkArea* area = areaOf(dataSource))
            area->goTo(record.asInt());
    } else {
        rt::sendWith(dataSource, "DbGoto", record);
    }
    return self();
}

rt::Value RK_XbpBrowse::RefreshAll(const rt::Value& cDataSource)
{
    if (!rt::isEmpty(cDataSource)) {
        dataSource = cDataSource;
        setCargo(*this, 5, dataSource);
    }
    if (!rt::isTrue(dataEnabled) || status != Created)
        return self();
    switch (kindOf(*this)) {
    case kKindAlias: revalidateScopedRecord(*this); break;
    case kKindObject: revalidateObjectRecord(*this); break;
    case kKindArray: clampArrayElement(*this); break;
    default: break;
    }
    if (thumbRecords.isBlock() && dataSource.isChar())
        installPositionBlocks(*this, thumbLocked(*this));
    gui::XbpBrowse::refreshAll();
    return self();
}

// The data moves back to the top screen row while everything is marked for
// reading, and forward again, so the current row keeps its screen row.
rt::Value RK_XbpBrowse::RefreshView()
{
    const int up = rowPos() - 1;
    const rt::Value me = self();
    for (int i = 0; i < up && skipBlock.isBlock(); ++i)
        rt::evalWith(skipBlock, -1, me);
    gui::XbpBrowse::refreshAll();
    for (int i = 0; i < up && skipBlock.isBlock(); ++i)
        rt::evalWith(skipBlock, 1, me);
    return self();
}

// With trapping on, any runtime error abandons the stabilisation silently.
// Without it, errors reach the caller and from there the standard handler;
// a cell whose block raised shows the error mark and the first such error
// is raised once the grid is complete.
rt::Value RK_XbpBrowse::ForceStable()
{
    const rt::Value keep = self();
    cellFailure_.reset();
    collectingFailures_ = true;
    struct Stop {
        bool& flag;
        ~Stop() { flag = false; }
    } stop{collectingFailures_};
    if (rt::isTrue(isTrapErrors)) {
        rt::guarded([this] { gui::XbpBrowse::forceStable(); });
        return self();
    }
    gui::XbpBrowse::forceStable();
    if (cellFailure_) {
        const rt::Error e = *cellFailure_;
        cellFailure_.reset();
        rt::raise(e);
    }
    return self();
}

void RK_XbpBrowse::cellFailed(const rt::Error& e)
{
    if (collectingFailures_ && !cellFailure_)
        cellFailure_ = std::make_unique<rt::Error>(e);
}

// --- detaching the data

rt::Value RK_XbpBrowse::DataDisplay(const rt::Value& lEnable)
{
    rt::Value* const blocks[] = {&posBlock,  &firstPosBlock, &lastPosBlock,  &goPosBlock,
                                 &skipBlock, &goTopBlock,    &goBottomBlock, &phyPosBlock};
    // The set is saved again whenever the data is detached, so a set
    // installed since (RefreshAll re-installs position blocks) is the one
    // restored; detaching twice must not save the detached set.
    const bool attached = !dataEnabled.isLogical() || dataEnabled.asBool();
    const bool detaching = attached && lEnable.isLogical() && !lEnable.asBool();
    const bool kept = navBlocks.isArray() && navBlocks.asArray().size() > std::size(blocks);
    if (!kept || detaching) {
        std::vector<rt::Value> saved;
        for (rt::Value* v : blocks)
            saved.push_back(*v);
        saved.push_back(arrayElement);
        navBlocks = rt::makeArray(std::move(saved));
    }
    if (!lEnable.isLogical())
        return self();
    if (lEnable.asBool()) {
        if (!attached) {
            const auto& saved = navBlocks.asArray().items;
            for (std::size_t i = 0; i < std::size(blocks); ++i)
                *blocks[i] = saved[i];
            arrayElement = saved[8];
            setCargo(*this, 4, arrayElement);
        }
        dataEnabled = true;
        gui::XbpBrowse::refreshAll();
        return self();
    }
    if (!attached)
        return self();
    for (rt::Value* v : blocks)
        *v = zeroBlock();
    if (dbf::WorkArea* area = areaOf(dataSource)) {
        const std::uint32_t record = area->recno();
        area->goBottom();
        area->skip(1);
        gui::XbpBrowse::refreshAll();
        area->goTo(record);
    } else if (dataSource.isArray()) {
        arrayElement = 0;
        setCargo(*this, 4, arrayElement);
        gui::XbpBrowse::refreshAll();
    } else {
        gui::XbpBrowse::refreshAll();
    }
    dataEnabled = false;
    return self();
}

// --- when, hide, protect

rt::Value RK_XbpBrowse::WhenHideEval(rt::Value lEnable, rt::Value lShow, const rt::Value& lProtect)
{
    if (whenBlock.isBlock()) {
        lEnable = rt::evalWith(whenBlock, self());
        if (rt::isTrue(lEnable) && !isEnabled())
            setEnabled(true);
        else if (lEnable.isLogical() && !lEnable.asBool() && isEnabled())
            setEnabled(false);
    }
    if (hideBlock.isBlock()) {
        lShow = !rt::isTrue(rt::evalWith(hideBlock, self()));
        setVisible(lShow.asBool());
    }
    if (lProtect.isLogical() && protectBlock.isBlock())
        rt::evalWith(protectBlock, self());
    return self();
}

// --- teardown

rt::Value RK_XbpBrowse::destroy()
{
    const rt::Value keep = self();
    if (rt::isDerivedFrom(timer, "RK_SetTimerEvent"))
        rt::sendWith(timer, "destroy");
    autoSave();
    return gui::XbpBrowse::destroy();
}

void RK_XbpBrowse::autoSave()
{
    if (features().autoSave)
        features().autoSave(*this);
}

// --- field access of object sources

rt::Value RK_XbpBrowse::FieldBlock(const rt::Value& nField)
{
    return selfBlock([nField](B& b, rt::Args a) {
        if (a.empty())
            return rt::sendWith(b.dataSource, "fieldGet", nField);
        return rt::sendWith(b.dataSource, "fieldPut", nField, a[0]);
    });
}

}  // namespace browse
