// Work-area data sources (an alias name) and table handles.
//
// The set installed is the first of these that applies:
//   ACE wrapper      the runtime offers "AceWBlock": blocks that hand it
//                    the alias as a value;
//   native scope     the alias's work area has a scope of the runtime's own
//                    at construction, i.e. DbScope(0) (top) or DbScope(1)
//                    (bottom) answers a non-empty value there. Our engine
//                    keeps no such scope (its DbScope answers NIL), so this
//                    set serves runtimes that replace DbScope;
//   dialog scope     isScope is set and RK_ScopeExpress() holds in the area;
//   table handle     the kind is 6 (dataSource a handle of platform/dbf/ads.h);
//   plain alias      anything else.
// The first three need an alias name; a number never reaches them.
//
// A call "in the alias" selects the alias's work area for its duration and
// selects the previous area back, also when the call raises. The alias is
// read from the browse on every call, so RefreshAll(cAlias) moves the
// browse to another work area.
#include "browse/core/browse.h"
#include "browse/core/navigation.h"

#include "platform/dbf/workarea.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

namespace browse {

namespace {

using rt::isTrue;
using detail::wantedRows;
using rt::Args;
using rt::Value;

dbf::WorkArea* areaOf(const Value& alias) noexcept
{
    return alias.isChar() ? dbf::findArea(alias.asString()) : nullptr;
}

// Runs f with the alias's work area selected.
template <class F>
Value inAlias(const Value& alias, F&& f)
{
    dbf::WorkArea* area = areaOf(alias);
    if (!area)
        rt::raiseNoAlias("RK_XbpBrowse", {alias});
    const dbf::SelectGuard in(area->number());
    return f();
}

// Calls function fn with the alias's work area selected.
template <class... A>
Value aliasCall(const RK_XbpBrowse& b, const char* fn, const A&... a)
{
    return inAlias(b.dataSource, [&] { return rt::callWith(fn, a...); });
}

// The same for a move of the plain alias set: navigateBlock runs after it.
template <class... A>
Value navCall(const RK_XbpBrowse& b, const char* fn, const A&... a)
{
    Value r = aliasCall(b, fn, a...);
    if (b.navigateBlock.isBlock())
        rt::eval(b.navigateBlock);
    return r;
}

// A block that calls fn, without arguments, in the alias.
Value aliasBlock(RK_XbpBrowse* self, const char* fn)
{
    return detail::navBlock(*self, [fn](RK_XbpBrowse* self, rt::Args) { return aliasCall(*self, fn); });
}

bool descending(const RK_XbpBrowse& b) { return isTrue(b.descending); }

bool aceWrapperApplies(const RK_XbpBrowse& b)
{
    return b.dataSource.isChar() && rt::findFunction("AceWBlock") != nullptr;
}

bool nativeScopeActive(const RK_XbpBrowse& b)
{
    dbf::WorkArea* area = areaOf(b.dataSource);
    if (!area || !rt::findFunction("DbScope"))
        return false;
    bool active = false;
    const dbf::SelectGuard in(area->number());
    // A DbScope that raises offers no scope.
    rt::guarded([&] { active = !rt::isEmpty(rt::callWith("DbScope", 0)) || !rt::isEmpty(rt::callWith("DbScope", 1)); });
    return active;
}

bool dialogScopeActive(const RK_XbpBrowse& b)
{
    dbf::WorkArea* area = areaOf(b.dataSource);
    if (!area || !isTrue(b.isScope))
        return false;
    const dbf::SelectGuard in(area->number());
    return isTrue(rt::callWith("RK_ScopeExpress"));
}

// phyPos of the alias sets: with a record number, go there; the record number.
Value recordIdentityBlock(RK_XbpBrowse* self)
{
    return detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args a) {
        const Value n = rt::argAt(a, 0);
        return inAlias(self->dataSource, [&] {
            dbf::WorkArea& area = dbf::requireArea("DBGOTO");
            if (n.isNum())
                area.goTo(n.asInt());
            return Value::integer(area.recno());
        });
    });
}

// --- ACE wrapper: blocks that hand the alias to the wrapper as a value

// The alias as the wrapper knows it: upper case, without "->" and blanks.
std::string aceAlias(const Value& ds)
{
    std::string name = rt::upper(ds.asString());
    for (std::size_t at; (at = name.find("->")) != std::string::npos;)
        name.erase(at, 2);
    return rt::alltrim(name);
}

// {|[n]| AceWBlock(cAlias, {|[x]| fn([x])}[, n])}: built here, not compiled,
// so an alias (which may come from a file's name) is never read as code.
// The block's text says what it does.
Value aceBlock(const std::string& alias, const char* fn, bool withArg)
{
    const std::string param = withArg ? "x" : "";
    const Value inner = rt::makeBlock(
        [fn, withArg](Args a) { return withArg ? rt::callWith(fn, rt::argAt(a, 0)) : rt::callWith(fn); },
        "{|" + param + "| " + fn + "(" + param + ")}");
    std::string text = "{|" + std::string(withArg ? "n" : "") + "| AceWBlock(";
    text += rt::literalText(Value(alias)) + ", " + inner.asBlock().text() + (withArg ? ", n" : "") + ")}";
    return rt::makeBlock(
        [alias, inner, withArg](Args a) {
            return withArg ? rt::callWith("AceWBlock", Value(alias), inner, rt::argAt(a, 0))
                           : rt::callWith("AceWBlock", Value(alias), inner);
        },
        text);
}

void installAceWrapper(RK_XbpBrowse& b)
{
    const std::string name = aceAlias(b.dataSource);
    // The wrapper's answer is held to the rows asked; the block keeps its text.
    const Value skipper = aceBlock(name, "_DbSkipper", true);
    b.skipBlock = rt::makeBlock(
        [skipper](Args a) {
            const long long want = wantedRows(a);
            return Value(detail::movedWithin(want, rt::evalWith(skipper, want)));
        },
        skipper.asBlock().text());
    b.goTopBlock = aceBlock(name, "_DbGoTop", false);
    b.goBottomBlock = aceBlock(name, "_DbGoBottom", false);
    b.phyPosBlock = rt::makeBlock([name](Args) { return rt::callWith("AceWRecNo", Value(name)); },
                                  "{|| AceWRecNo(" + rt::literalText(Value(name)) + ")}");
    const Value order = rt::callWith("AceWBlock", Value(name), rt::makeBlock([](Args) { return rt::callWith("OrdNumber"); }));
    if (rt::isEmpty(order)) {
        // No controlling order: the thumb follows record numbers.
        b.posBlock = aceBlock(name, "_RecNo", false);
        b.goPosBlock = aceBlock(name, "_DbGoTo", true);
        b.lastPosBlock = aceBlock(name, "_LastRec", false);
        b.firstPosBlock = detail::constantBlock(1);
    } else {
        b.posBlock = aceBlock(name, "_DbPosition", false);
        b.goPosBlock = aceBlock(name, "_DbGoPosition", true);
        b.lastPosBlock = detail::constantBlock(100);
        b.firstPosBlock = detail::constantBlock(0);
    }
}

// --- native scope: the runtime's own moves, turned round when descending

void installNativeScope(RK_XbpBrowse& b)
{
    RK_XbpBrowse* self = &b;
    b.skipBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args a) {
        const long long want = wantedRows(a);
        const long long sign = descending(*self) ? -1 : 1;
        const Value did = aliasCall(*self, "DbSkipper", sign * want);
        return Value(detail::movedWithin(want, Value(did.isNum() ? sign * did.asInt() : 0)));
    });
    b.goTopBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { return aliasCall(*self, descending(*self) ? "DbGoBottom" : "DbGoTop"); });
    b.goBottomBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { return aliasCall(*self, descending(*self) ? "DbGoTop" : "DbGoBottom"); });
    b.posBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { return aliasCall(*self, "DbPosition", Value(), descending(*self)); });
    b.phyPosBlock = aliasBlock(self, "RecNo");
    b.firstPosBlock = detail::constantBlock(1);
    b.lastPosBlock = detail::constantBlock(100);
    b.goPosBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args a) { return aliasCall(*self, "DbGoPosition", rt::argAt(a, 0), descending(*self)); });
}

// --- the dialog library's scope

void dialogScopePositions(RK_XbpBrowse& b, bool locked)
{
    b.posBlock = locked ? detail::constantBlock(50) : aliasBlock(&b, "RK_KeyNo32k");
    b.lastPosBlock = locked ? detail::constantBlock(100) : aliasBlock(&b, "RK_KeyCount32k");
}

void installDialogScope(RK_XbpBrowse& b, bool locked)
{
    RK_XbpBrowse* self = &b;
    b.skipBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args a) {
        const long long want = wantedRows(a);
        return Value(detail::movedWithin(want, aliasCall(*self, "RK_DbSkipper", want)));
    });
    b.goTopBlock = aliasBlock(self, "RK_DbGoTop");
    b.goBottomBlock = aliasBlock(self, "RK_DbGoBottom");
    b.phyPosBlock = recordIdentityBlock(self);
    b.firstPosBlock = detail::constantBlock(1);
    b.goPosBlock = {};
    dialogScopePositions(b, locked);
}

// --- table handles (platform/dbf/ads.h); the handle is fixed at construction

void installTableHandle(RK_XbpBrowse& b)
{
    const Value h = b.dataSource;
    b.skipBlock = rt::makeBlock([h](Args a) {
        const long long want = wantedRows(a);
        return Value(detail::movedWithin(want, rt::callWith("RK_AdsSkipper", h, want)));
    });
    b.goTopBlock = rt::makeBlock([h](Args) { return rt::callWith("AdsGotoTop", h); });
    b.goBottomBlock = rt::makeBlock([h](Args) { return rt::callWith("AdsGotoBottom", h); });
    b.posBlock = rt::makeBlock([h](Args) { return rt::callWith("RK_AdsPosition", h); });
    // The record number comes back in the cell passed for it.
    b.phyPosBlock = rt::makeBlock([h](Args) {
        const Value cell = Value::array(1);
        rt::callWith("AdsGetRecordNum", h, 2, cell);
        return cell.asArray().items[0];
    });
    b.firstPosBlock = detail::constantBlock(1);
    b.lastPosBlock = detail::constantBlock(100);
    b.goPosBlock = rt::makeBlock([h](Args a) { return rt::callWith("RK_AdsGoPosition", h, rt::argAt(a, 0)); });
}

// --- plain alias: descending order, unique keys, navigateBlock after moves

void plainPositions(RK_XbpBrowse& b, bool locked)
{
    RK_XbpBrowse* self = &b;
    b.lastPosBlock = detail::constantBlock(100);
    b.posBlock = locked ? detail::constantBlock(50) : detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) {
        return aliasCall(*self, "RK_DbPosition", Value(), descending(*self));
    });
}

void installPlainAlias(RK_XbpBrowse& b, bool locked)
{
    RK_XbpBrowse* self = &b;
    b.skipBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args a) {
        const long long want = wantedRows(a);
        // The busiest call of the grid: the work area's own skipper (what
        // RK_DbSkipper runs), without looking the function up by name.
        const Value did = inAlias(self->dataSource, [&] {
            return Value::integer(dbf::requireArea("RK_DBSKIPPER")
                                      .skipper(want, descending(*self), isTrue(self->skipUnique)));
        });
        if (self->navigateBlock.isBlock())
            rt::eval(self->navigateBlock);
        return Value(detail::movedWithin(want, did));
    });
    b.goTopBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { return navCall(*self, descending(*self) ? "RK_DbGoBottom" : "RK_DbGoTop"); });
    b.goBottomBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args) { return navCall(*self, descending(*self) ? "RK_DbGoTop" : "RK_DbGoBottom"); });
    b.phyPosBlock = recordIdentityBlock(self);
    b.firstPosBlock = detail::constantBlock(1);
    b.goPosBlock = detail::navBlock(*self, [](RK_XbpBrowse* self, rt::Args a) { return navCall(*self, "RK_DbGoPosition", rt::argAt(a, 0), descending(*self)); });
    plainPositions(b, locked);
}

}  // namespace

bool thumbLocked(RK_XbpBrowse& b)
{
    if (b.thumbRecords.isBlock())
        return isTrue(rt::evalWith(b.thumbRecords, b.self()));
    if (!b.dataSource.isChar())
        return false;
    if (!b.thumbRecords.isNum())
        b.thumbRecords = Value(32000);
    const long long limit = b.thumbRecords.asInt();
    if (limit == 0)
        return true;
    dbf::WorkArea* area = areaOf(b.dataSource);
    return area && static_cast<long long>(area->lastRec()) > limit;
}

// Only the dialog-scope and plain-alias sets have a thumb lock; the ACE
// wrapper and native-scope sets keep their own positions. Leaving a dialog
// scope also resets lastPosBlock, which the scope had on its key scale.
void installPositionBlocks(RK_XbpBrowse& b, bool locked)
{
    if (!b.dataSource.isChar() || aceWrapperApplies(b) || nativeScopeActive(b))
        return;
    if (dialogScopeActive(b))
        dialogScopePositions(b, locked);
    else
        plainPositions(b, locked);
}

namespace detail {

void installAliasBlocks(RK_XbpBrowse& b, bool locked)
{
    if (aceWrapperApplies(b))
        installAceWrapper(b);
    else if (nativeScopeActive(b))
        installNativeScope(b);
    else if (dialogScopeActive(b))
        installDialogScope(b, locked);
    else if (b.dataSourceType.isNum() && b.dataSourceType.asInt() == 6)
        installTableHandle(b);
    else
        installPlainAlias(b, locked);
}

}  // namespace detail

}  // namespace browse
