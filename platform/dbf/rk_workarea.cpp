// The dialog library's work-area family: scope-aware moves, positions for
// scroll bars, the key and record-list scopes, and record tags. Each acts
// on the current work area; callers select the browse's alias around them.
#include "dbf.h"

#include "table.h"

#include "platform/runtime/array.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <algorithm>
#include <cmath>

namespace dbf::detail {

namespace {

using rt::Args;
using rt::Value;

// Scroll bars of the platform hold positions up to this.
constexpr std::int64_t kScrollMax = 32000;

bool flagArg(Args a, std::size_t i, const char* op)
{
    const Value& v = rt::argAt(a, i);
    if (v.isNil())
        return false;
    if (!v.isLogical())
        rt::raiseArg(op, a);
    return v.asBool();
}

Value fnSkipper(Args a)
{
    WorkArea& area = requireArea("RK_DBSKIPPER");
    const std::int64_t n = rt::intArg(a, 0, "RK_DBSKIPPER", 1);
    return Value::integer(area.skipper(n, flagArg(a, 2, "RK_DBSKIPPER"), flagArg(a, 3, "RK_DBSKIPPER")));
}

Value fnGoTop(Args a)
{
    requireArea("RK_DBGOTOP").goTop(flagArg(a, 0, "RK_DBGOTOP"));
    return {};
}

Value fnGoBottom(Args a)
{
    requireArea("RK_DBGOBOTTOM").goBottom(flagArg(a, 0, "RK_DBGOBOTTOM"));
    return {};
}

Value fnSkip(Args a)
{
    requireArea("RK_DBSKIP").skip(rt::intArg(a, 0, "RK_DBSKIP", 1));
    return {};
}

Value fnGoTo(Args a)
{
    requireArea("RK_DBGOTO").goTo(rt::numArg(a, 0, "RK_DBGOTO").asInt());
    return {};
}

Value fnBof(Args)
{
    WorkArea* area = currentArea();
    return Value(!area || area->bof());
}

Value fnEof(Args)
{
    WorkArea* area = currentArea();
    return Value(!area || area->eof());
}

Value fnKeyNo(Args)
{
    WorkArea* area = currentArea();
    return Value::integer(area ? area->keyNo() : 0);
}

Value fnKeyCount32k(Args)
{
    WorkArea* area = currentArea();
    const std::int64_t count = area ? area->keyCount() : 0;
    return Value::integer(std::clamp<std::int64_t>(count, 1, kScrollMax));
}

// The key position scaled into 1..RK_KeyCount32k(); the phantom stands at the end.
Value fnKeyNo32k(Args)
{
    WorkArea* area = currentArea();
    if (!area)
        return Value(1);
    const std::int64_t count = area->keyCount();
    const std::int64_t scaledCount = std::clamp<std::int64_t>(count, 1, kScrollMax);
    if (area->onPhantom())
        return Value::integer(scaledCount);
    const std::int64_t no = std::max<std::int64_t>(area->keyNo(), 1);
    if (count <= kScrollMax)
        return Value::integer(std::min(no, scaledCount));
    const auto scaled =
        static_cast<std::int64_t>(std::llround(static_cast<double>(no) * kScrollMax / static_cast<double>(count)));
    return Value::integer(std::clamp<std::int64_t>(scaled, 1, kScrollMax));
}

// Positions 1..100, as the browse's thumb range is.
Value fnPosition(Args a)
{
    WorkArea* area = currentArea();
    if (!area)
        return Value(1);
    const int p = area->position(flagArg(a, 1, "RK_DBPOSITION"));
    return Value(1 + static_cast<int>(std::lround(p * 99 / 100.0)));
}

Value fnGoPosition(Args a)
{
    WorkArea& area = requireArea("RK_DBGOPOSITION");
    const double n = rt::numArg(a, 0, "RK_DBGOPOSITION").asDouble();
    area.goPosition((n - 1.0) * 100.0 / 99.0, flagArg(a, 1, "RK_DBGOPOSITION"));
    return {};
}

Value fnScopeExpress(Args)
{
    WorkArea* area = currentArea();
    return Value(area && (!area->scope(0).isNil() || !area->scope(1).isNil() || area->recordList().has_value()));
}

// RK_SetScope(nWhich[, xValue]): without a value the scope in force; with
// one (NIL clears) the scope replaced.
Value fnSetScope(Args a)
{
    WorkArea* area = currentArea();
    const std::int64_t which = rt::intArg(a, 0, "RK_SETSCOPE", 0);
    if (which != 0 && which != 1)
        rt::raiseArg("RK_SETSCOPE", a);
    if (!area)
        return {};
    Value previous = area->scope(static_cast<int>(which));
    if (a.size() >= 2)
        area->setScope(static_cast<int>(which), a[1]);
    return previous;
}

Value fnClrScope(Args)
{
    if (WorkArea* area = currentArea())
        area->clearScope();
    return {};
}

Value recordListValue(const WorkArea& area)
{
    if (!area.recordList())
        return {};
    std::vector<Value> out;
    for (std::uint32_t r : *area.recordList())
        out.emplace_back(r);
    return rt::makeArray(std::move(out));
}

// RK_SetScopeArray(aRecNos): the area shows only these records, in its
// current order; NIL shows all again. Returns the list it replaced.
Value fnSetScopeArray(Args a)
{
    WorkArea& area = requireArea("RK_SETSCOPEARRAY");
    const Value& list = rt::argAt(a, 0);
    Value previous = recordListValue(area);
    if (list.isNil()) {
        area.setRecordList(std::nullopt);
        return previous;
    }
    if (!list.isArray())
        rt::raiseArg("RK_SETSCOPEARRAY", a);
    std::vector<std::uint32_t> recnos;
    for (const Value& v : list.asArray().items)
        if (v.isNum() && v.asInt() >= 1 && v.asInt() <= 0xFFFFFFFFLL)
            recnos.push_back(static_cast<std::uint32_t>(v.asInt()));
    area.setRecordList(std::move(recnos));
    return previous;
}

Value fnAddRec(Args)
{
    requireArea("RK_ADDREC").append();
    return Value(true);
}

std::uint32_t tagRecArg(WorkArea& area, Args a, const char* op)
{
    if (rt::argAt(a, 0).isNil())
        return area.onPhantom() ? 0 : area.recno();
    const std::int64_t n = rt::numArg(a, 0, op).asInt();
    return n >= 1 && n <= area.lastRec() ? static_cast<std::uint32_t>(n) : 0;
}

// Flips the tag of the current record (or of record n); returns whether it is tagged now.
Value fnRecTagToggle(Args a)
{
    WorkArea& area = requireArea("RK_RECTAGTOGGLE");
    const std::uint32_t r = tagRecArg(area, a, "RK_RECTAGTOGGLE");
    if (r == 0)
        return Value(false);
    if (area.tags().erase(r))
        return Value(false);
    area.tags().insert(r);
    return Value(true);
}

Value fnRecTagClear(Args)
{
    if (WorkArea* area = currentArea())
        area->tags().clear();
    return {};
}

// The tagged record numbers, ascending.
Value fnRecTagArray(Args)
{
    std::vector<Value> out;
    if (WorkArea* area = currentArea())
        for (std::uint32_t r : area->tags())
            out.emplace_back(r);
    return rt::makeArray(std::move(out));
}

Value fnTagged(Args a)
{
    WorkArea* area = currentArea();
    if (!area)
        return Value(false);
    const std::uint32_t r = tagRecArg(*area, a, "RK_TAGGED");
    return Value(r != 0 && area->tags().count(r) != 0);
}

Value fnLoadRdds(Args) { return Value(loadRdds()); }

}  // namespace

void registerWorkAreaLibrary()
{
    rt::registerFunction("RK_DbSkipper", fnSkipper);
    rt::registerFunction("RK_DbGoTop", fnGoTop);
    rt::registerFunction("RK_DbGoBottom", fnGoBottom);
    rt::registerFunction("RK_DbSkip", fnSkip);
    rt::registerFunction("RK_DbGoTo", fnGoTo);
    rt::registerFunction("RK_Bof", fnBof);
    rt::registerFunction("RK_Eof", fnEof);
    rt::registerFunction("RK_KeyNo", fnKeyNo);
    rt::registerFunction("RK_KeyNo32k", fnKeyNo32k);
    rt::registerFunction("RK_KeyCount32k", fnKeyCount32k);
    rt::registerFunction("RK_DbPosition", fnPosition);
    rt::registerFunction("RK_DbGoPosition", fnGoPosition);
    rt::registerFunction("RK_ScopeExpress", fnScopeExpress);
    rt::registerFunction("RK_SetScope", fnSetScope);
    rt::registerFunction("RK_ClrScope", fnClrScope);
    rt::registerFunction("RK_SetScopeArray", fnSetScopeArray);
    rt::registerFunction("RK_AddRec", fnAddRec);
    rt::registerFunction("RK_RecTagToggle", fnRecTagToggle);
    rt::registerFunction("RK_RecTagClear", fnRecTagClear);
    rt::registerFunction("RK_RecTagArray", fnRecTagArray);
    rt::registerFunction("RK_Tagged", fnTagged);
    rt::registerFunction("RK_LoadRdds", fnLoadRdds);
}

}  // namespace dbf::detail

namespace dbf {
bool loadRdds() { return loadEngine("FOXCDX"); }
}  // namespace dbf
