// Table handles over the engine's work areas.
#include "ads.h"

#include "platform/runtime/array.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <cmath>
#include <string>
#include <vector>

namespace dbf {

namespace {

using rt::Args;
using rt::Value;

// One handle per area as opened: the area's number and object, and its
// alias. An area closed and another opened in its slot differs in object
// or alias, so the old handle is refused rather than reaching the new table.
struct HandleEntry {
    int number = 0;
    const WorkArea* area = nullptr;
    std::string alias;
};

// Handle h is entry h - 1; handles are never reused.
std::vector<HandleEntry>& handles()
{
    static std::vector<HandleEntry> table;
    return table;
}

bool live(const HandleEntry& e) noexcept
{
    const WorkArea* now = areaAt(e.number);
    return now && now == e.area && now->alias() == e.alias;
}

[[noreturn]] void raiseInvalid(const char* op, const Value& h)
{
    rt::Error e("Invalid table handle", op, {h});
    e.subsystem = "DBF";
    e.genCode = rt::gen::NotIndexed;
    rt::raise(std::move(e));
}

Value fnGetTableHandle(Args a)
{
    const Value& alias = rt::argAt(a, 0);
    if (alias.isNil())
        return Value::integer(tableHandle(requireArea("ADSGETTABLEHANDLE")));
    WorkArea* area = findArea(rt::textArg(a, 0, "ADSGETTABLEHANDLE"));
    if (!area)
        rt::raiseNoAlias("ADSGETTABLEHANDLE", {alias});
    return Value::integer(tableHandle(*area));
}

Value fnGotoTop(Args a)
{
    requireHandleArea(rt::argAt(a, 0), "ADSGOTOTOP").goTop();
    return Value(0);
}

Value fnGotoBottom(Args a)
{
    requireHandleArea(rt::argAt(a, 0), "ADSGOTOBOTTOM").goBottom();
    return Value(0);
}

Value fnGetRecordNum(Args a)
{
    WorkArea& area = requireHandleArea(rt::argAt(a, 0), "ADSGETRECORDNUM");
    const std::int64_t mode = rt::intArg(a, 1, "ADSGETRECORDNUM", 2);
    if (mode != 1 && mode != 2)
        rt::raiseArg("ADSGETRECORDNUM", a);
    const Value recno = Value::integer(area.onPhantom() ? 0 : area.recno());
    if (const Value& cell = rt::argAt(a, 2); cell.isArray()) {
        auto& items = cell.asArray().items;
        if (items.empty())
            items.emplace_back();
        items[0] = recno;
    }
    return recno;
}

Value fnSkipper(Args a)
{
    WorkArea& area = requireHandleArea(rt::argAt(a, 0), "RK_ADSSKIPPER");
    return Value::integer(area.skipper(rt::intArg(a, 1, "RK_ADSSKIPPER", 1)));
}

// The scale 1..100 of the browse's thumb, as RK_DbPosition gives it.
Value fnPosition(Args a)
{
    WorkArea& area = requireHandleArea(rt::argAt(a, 0), "RK_ADSPOSITION");
    return Value(1 + static_cast<int>(std::lround(area.position() * 99 / 100.0)));
}

Value fnGoPosition(Args a)
{
    WorkArea& area = requireHandleArea(rt::argAt(a, 0), "RK_ADSGOPOSITION");
    const double n = rt::numArg(a, 1, "RK_ADSGOPOSITION").asDouble();
    area.goPosition((n - 1.0) * 100.0 / 99.0);
    return Value(0);
}

}  // namespace

std::int64_t tableHandle(WorkArea& area)
{
    auto& table = handles();
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].area == &area && live(table[i]))
            return static_cast<std::int64_t>(i) + 1;
    table.push_back({area.number(), &area, area.alias()});
    return static_cast<std::int64_t>(table.size());
}

WorkArea* handleArea(std::int64_t handle) noexcept
{
    const auto& table = handles();
    if (handle < 1 || handle > static_cast<std::int64_t>(table.size()))
        return nullptr;
    const HandleEntry& e = table[static_cast<std::size_t>(handle - 1)];
    return live(e) ? areaAt(e.number) : nullptr;
}

WorkArea& requireHandleArea(const Value& h, const char* op)
{
    // A fraction is no handle: truncating it could reach another table.
    const bool whole = h.isNum() && std::floor(h.asDouble()) == h.asDouble();
    WorkArea* area = whole ? handleArea(h.asInt()) : nullptr;
    if (!area)
        raiseInvalid(op, h);
    return *area;
}

void registerAdsFunctions()
{
    rt::registerFunction("AdsGetTableHandle", fnGetTableHandle);
    rt::registerFunction("AdsGotoTop", fnGotoTop);
    rt::registerFunction("AdsGotoBottom", fnGotoBottom);
    rt::registerFunction("AdsGetRecordNum", fnGetRecordNum);
    rt::registerFunction("RK_AdsSkipper", fnSkipper);
    rt::registerFunction("RK_AdsPosition", fnPosition);
    rt::registerFunction("RK_AdsGoPosition", fnGoPosition);
}

}  // namespace dbf
