// The runtime's work-area and order functions, and the field hooks.
#include "dbf.h"

#include "ads.h"
#include "table.h"

#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <array>
#include <filesystem>

namespace dbf {

namespace {

using rt::Args;
using rt::Value;

bool logArg(Args a, std::size_t i, const char* op, bool def)
{
    const Value& v = rt::argAt(a, i);
    if (v.isNil())
        return def;
    if (!v.isLogical())
        rt::raiseArg(op, a);
    return v.asBool();
}

// Field number (1-based) argument as a 0-based index; -1 when out of range.
int fieldArg(WorkArea& area, Args a, const char* op)
{
    const std::int64_t n = rt::numArg(a, 0, op).asInt();
    const auto count = static_cast<std::int64_t>(area.table().fields().size());
    return n >= 1 && n <= count ? static_cast<int>(n - 1) : -1;
}

// --------------------------------------------------------- engines and areas

Value fnDbeLoad(Args a) { return Value(loadEngine(rt::textArg(a, 0, "DBELOAD"))); }

Value fnDbeSetDefault(Args a)
{
    if (rt::argAt(a, 0).isNil())
        return Value(defaultEngine());
    return Value(setDefaultEngine(rt::textArg(a, 0, "DBESETDEFAULT")));
}

Value fnDbUseArea(Args a)
{
    const bool newArea = logArg(a, 0, "DBUSEAREA", false);
    const std::string driver = std::string(rt::textArgOr(a, 1, "DBUSEAREA"));
    const std::string file = std::string(rt::textArg(a, 2, "DBUSEAREA"));
    const std::string alias = std::string(rt::textArgOr(a, 3, "DBUSEAREA"));
    useArea(newArea, driver, file, alias, logArg(a, 4, "DBUSEAREA", false), logArg(a, 5, "DBUSEAREA", false));
    return {};
}

Value fnDbSelectArea(Args a)
{
    const Value& x = rt::argAt(a, 0);
    if (x.isNum())
        selectArea(static_cast<int>(std::clamp<std::int64_t>(x.asInt(), -1, 1 << 20)));
    else if (x.isChar())
        selectAlias(x.asString());
    else
        rt::raiseArg("DBSELECTAREA", a);
    return {};
}

Value fnSelect(Args a)
{
    const Value& x = rt::argAt(a, 0);
    if (x.isNil())
        return Value(currentAreaNumber());
    if (!x.isChar())
        rt::raiseArg("SELECT", a);
    WorkArea* area = findArea(x.asString());
    return Value(area ? area->number() : 0);
}

Value fnAlias(Args a)
{
    const int n = static_cast<int>(rt::intArg(a, 0, "ALIAS", currentAreaNumber()));
    WorkArea* area = areaAt(n);
    return Value(area ? area->alias() : std::string());
}

Value fnUsed(Args) { return Value(currentArea() != nullptr); }

Value fnDbCloseArea(Args)
{
    closeArea();
    return {};
}

Value fnDbCloseAll(Args)
{
    closeAllAreas();
    return {};
}

// --------------------------------------------------------- structure

Value fnDbStruct(Args) { return dbStruct(); }

std::vector<FieldSpec> structArg(Args a)
{
    const Value& s = rt::argAt(a, 1);
    if (!s.isArray() || s.asArray().items.empty())
        rt::raiseArg("DBCREATE", a);
    std::vector<FieldSpec> specs;
    for (const Value& row : s.asArray().items) {
        if (!row.isArray() || row.asArray().size() < 2)
            rt::raiseArg("DBCREATE", a);
        const auto& r = row.asArray().items;
        const Value& len = r.size() > 2 ? r[2] : rt::nil();
        const Value& dec = r.size() > 3 ? r[3] : rt::nil();
        if (!r[0].isChar() || !r[1].isChar() || r[1].asString().empty() || !(len.isNum() || len.isNil()) ||
            !(dec.isNum() || dec.isNil()))
            rt::raiseArg("DBCREATE", a);
        const std::int64_t l = len.isNil() ? 0 : len.asInt();
        const std::int64_t d = dec.isNil() ? 0 : dec.asInt();
        if (l < 0 || l > 65535 || d < 0 || d > 255)
            rt::raiseArg("DBCREATE", a);
        specs.push_back({rt::upperAscii(rt::alltrim(r[0].asString())), rt::upperAscii(r[1].asString().substr(0, 1))[0],
                         static_cast<int>(l), static_cast<int>(d)});
    }
    return specs;
}

Value fnDbCreate(Args a)
{
    std::string file = rt::alltrim(rt::textArg(a, 0, "DBCREATE"));
    const std::string driver = std::string(rt::textArgOr(a, 2, "DBCREATE"));
    if (!rt::alltrim(driver).empty() && !engineLoaded(driver)) {
        rt::Error e("Database engine not loaded", "DBCREATE", {Value(driver)});
        e.subsystem = "DBF";
        rt::raise(std::move(e));
    }
    const std::vector<FieldSpec> specs = structArg(a);
    if (!std::filesystem::path(file).has_extension())
        file += ".dbf";
    Table::create(file, specs, Format::FoxPro);
    return Value(true);
}

Value fnFCount(Args)
{
    WorkArea* area = currentArea();
    return Value(area ? static_cast<int>(area->table().fields().size()) : 0);
}

Value fnFieldName(Args a)
{
    WorkArea* area = currentArea();
    if (!area)
        return Value(std::string());
    const int i = fieldArg(*area, a, "FIELDNAME");
    return Value(i < 0 ? std::string() : area->table().fields()[static_cast<std::size_t>(i)].name);
}

Value fnFieldPos(Args a)
{
    const std::string_view name = rt::textArg(a, 0, "FIELDPOS");
    WorkArea* area = currentArea();
    return Value(area ? area->table().fieldIndex(rt::upperAscii(rt::alltrim(name))) + 1 : 0);
}

// --------------------------------------------------------- records

Value fnFieldGet(Args a)
{
    WorkArea* area = currentArea();
    if (!area)
        return {};
    const int i = fieldArg(*area, a, "FIELDGET");
    return i < 0 ? Value() : area->fieldGet(i);
}

Value fnFieldPut(Args a)
{
    WorkArea& area = requireArea("FIELDPUT");
    const int i = fieldArg(area, a, "FIELDPUT");
    if (i < 0)
        return {};
    area.fieldPut(i, rt::argAt(a, 1));
    return rt::argAt(a, 1);
}

Value fnDbAppend(Args a)
{
    WorkArea& area = requireArea("DBAPPEND");
    if (logArg(a, 0, "DBAPPEND", true))
        area.locks().clear();
    area.append();
    return {};
}

Value fnDbDelete(Args)
{
    requireArea("DBDELETE").setDeleted(true);
    return {};
}

Value fnDbRecall(Args)
{
    requireArea("DBRECALL").setDeleted(false);
    return {};
}

Value fnDeleted(Args)
{
    WorkArea* area = currentArea();
    return Value(area && area->deleted());
}

Value fnDbCommit(Args)
{
    if (WorkArea* area = currentArea())
        area->commit();
    return {};
}

std::uint32_t recArg(WorkArea& area, Args a, const char* op)
{
    const std::int64_t n = rt::intArg(a, 0, op, area.recno());
    return n < 0 || n > 0xFFFFFFFFLL ? 0 : static_cast<std::uint32_t>(n);
}

Value fnDbRLock(Args a)
{
    WorkArea& area = requireArea("DBRLOCK");
    const std::uint32_t r = recArg(area, a, "DBRLOCK");
    if (r < 1 || r > area.lastRec())
        return Value(false);
    area.locks().insert(r);
    return Value(true);
}

Value fnDbRUnlock(Args a)
{
    WorkArea* area = currentArea();
    if (!area)
        return {};
    if (rt::argAt(a, 0).isNil())
        area->locks().clear();
    else
        area->locks().erase(recArg(*area, a, "DBRUNLOCK"));
    return {};
}

Value fnDbUnlock(Args)
{
    if (WorkArea* area = currentArea())
        area->locks().clear();
    return {};
}

Value fnDbRLockList(Args)
{
    std::vector<Value> out;
    if (WorkArea* area = currentArea())
        for (std::uint32_t r : area->locks())
            out.emplace_back(r);
    return rt::makeArray(std::move(out));
}

// --------------------------------------------------------- moves

Value fnDbGoTop(Args)
{
    requireArea("DBGOTOP").goTop();
    return {};
}

Value fnDbGoBottom(Args)
{
    requireArea("DBGOBOTTOM").goBottom();
    return {};
}

Value fnDbSkip(Args a)
{
    WorkArea& area = requireArea("DBSKIP");
    area.skip(rt::intArg(a, 0, "DBSKIP", 1));
    return {};
}

Value fnDbGoto(Args a)
{
    WorkArea& area = requireArea("DBGOTO");
    area.goTo(rt::numArg(a, 0, "DBGOTO").asInt());
    return {};
}

Value fnDbSkipper(Args a)
{
    WorkArea& area = requireArea("DBSKIPPER");
    return Value::integer(area.skipper(rt::intArg(a, 0, "DBSKIPPER", 1)));
}

Value fnDbPosition(Args a)
{
    WorkArea* area = currentArea();
    return Value(area ? area->position(logArg(a, 1, "DBPOSITION", false)) : 0);
}

Value fnDbGoPosition(Args a)
{
    WorkArea& area = requireArea("DBGOPOSITION");
    area.goPosition(rt::numArg(a, 0, "DBGOPOSITION").asDouble(), logArg(a, 1, "DBGOPOSITION", false));
    return {};
}

Value fnDbSetDescend(Args a)
{
    WorkArea& area = requireArea("DBSETDESCEND");
    if (rt::argAt(a, 0).isNil())
        return Value(area.descend());
    return Value(area.setDescend(logArg(a, 0, "DBSETDESCEND", false)));
}

Value fnRecNo(Args)
{
    WorkArea* area = currentArea();
    return Value::integer(area ? area->recno() : 0);
}

Value fnLastRec(Args)
{
    WorkArea* area = currentArea();
    return Value::integer(area ? area->lastRec() : 0);
}

Value fnEof(Args)
{
    WorkArea* area = currentArea();
    return Value(!area || area->eof());
}

Value fnBof(Args)
{
    WorkArea* area = currentArea();
    return Value(!area || area->bof());
}

Value fnFound(Args)
{
    WorkArea* area = currentArea();
    return Value(area && area->found());
}

Value fnSetDeleted(Args a)
{
    const bool previous = deletedHidden();
    if (!rt::argAt(a, 0).isNil())
        setDeletedHidden(logArg(a, 0, "SETDELETED", false));
    return Value(previous);
}

// --------------------------------------------------------- orders

// The order an argument names: a number, a name, or NIL for the focus; 0 when none.
int orderArg(WorkArea& area, Args a, std::size_t i, const char* op)
{
    const Value& x = rt::argAt(a, i);
    if (x.isNil())
        return area.focus();
    if (x.isNum()) {
        const std::int64_t n = x.asInt();
        return n >= 0 && n <= area.orderCount() ? static_cast<int>(n) : 0;
    }
    if (x.isChar())
        return area.findOrder(x.asString());
    rt::raiseArg(op, a);
}

[[noreturn]] void orderNotFound(WorkArea& area, const Value& which)
{
    rt::Error e("Order not found", "ORDSETFOCUS", {which});
    if (which.isChar())
        for (const auto& [name, why] : area.brokenTags())
            if (rt::sameNameNoCase(name, rt::alltrim(which.asString())))
                e.description = "Order cannot be used (" + why + ")";
    e.subsystem = "DBF";
    e.genCode = rt::gen::NoOrder;
    e.filename = area.table().path();
    rt::raise(std::move(e));
}

Value fnOrdCreate(Args a)
{
    WorkArea& area = requireArea("ORDCREATE");
    const std::string bag = std::string(rt::textArgOr(a, 0, "ORDCREATE"));
    std::string tag = rt::alltrim(std::string(rt::textArgOr(a, 1, "ORDCREATE")));
    std::string key = std::string(rt::textArgOr(a, 2, "ORDCREATE"));
    const Value& block = rt::argAt(a, 3);
    if (rt::alltrim(key).empty() && block.isBlock())
        key = block.asBlock().text();
    if (tag.empty())
        tag = std::filesystem::path(rt::alltrim(bag)).stem().string();
    if (tag.empty() || rt::alltrim(key).empty())
        rt::raiseArg("ORDCREATE", a);
    OrderSpec spec{tag, key, std::string(rt::textArgOr(a, 5, "ORDCREATE")), logArg(a, 4, "ORDCREATE", false),
                   logArg(a, 6, "ORDCREATE", false)};
    area.createOrder(std::move(spec));
    area.goTop();
    return {};
}

Value fnOrdSetFocus(Args a)
{
    WorkArea* area = currentArea();
    if (!area)
        return Value(std::string());
    const std::string previous = area->focus() ? area->order(area->focus()).name() : std::string();
    const Value& x = rt::argAt(a, 0);
    if (x.isNil())
        return Value(previous);
    const int n = orderArg(*area, a, 0, "ORDSETFOCUS");
    if (n == 0 && !(x.isNum() && x.asInt() == 0) && !(x.isChar() && rt::alltrim(x.asString()).empty()))
        orderNotFound(*area, x);
    area->setFocus(n);
    return Value(previous);
}

Value fnOrdNumber(Args a)
{
    WorkArea* area = currentArea();
    return Value(area ? orderArg(*area, a, 0, "ORDNUMBER") : 0);
}

Value fnOrdName(Args a)
{
    WorkArea* area = currentArea();
    const int n = area ? orderArg(*area, a, 0, "ORDNAME") : 0;
    return Value(n ? area->order(n).name() : std::string());
}

Value fnOrdKey(Args a)
{
    WorkArea* area = currentArea();
    const int n = area ? orderArg(*area, a, 0, "ORDKEY") : 0;
    return Value(n ? area->order(n).spec().key : std::string());
}

Value fnOrdCount(Args)
{
    WorkArea* area = currentArea();
    return Value(area ? area->orderCount() : 0);
}

Value fnOrdDestroy(Args a)
{
    WorkArea& area = requireArea("ORDDESTROY");
    area.destroyOrder(orderArg(area, a, 0, "ORDDESTROY"));
    return {};
}

Value fnOrdKeyNo(Args)
{
    WorkArea* area = currentArea();
    return Value::integer(area ? area->keyNo() : 0);
}

Value fnOrdKeyCount(Args)
{
    WorkArea* area = currentArea();
    return Value::integer(area ? area->keyCount() : 0);
}

Value fnDbSeek(Args a)
{
    WorkArea& area = requireArea("DBSEEK");
    return Value(area.seek(rt::argAt(a, 0), logArg(a, 1, "DBSEEK", false), logArg(a, 2, "DBSEEK", false)));
}

// The engine keeps no scope of its own (see dbf.h).
Value fnDbScope(Args) { return {}; }

// --------------------------------------------------------- field hooks

bool hookGet(std::string_view name, Value& out)
{
    WorkArea* area = currentArea();
    if (!area)
        return false;
    const int i = area->table().fieldIndex(name);
    if (i < 0)
        return false;
    out = area->fieldGet(i);
    return true;
}

bool hookPut(std::string_view name, const Value& v)
{
    WorkArea* area = currentArea();
    if (!area)
        return false;
    const int i = area->table().fieldIndex(name);
    if (i < 0)
        return false;
    area->fieldPut(i, v);
    return true;
}

WorkArea& aliasArea(std::string_view alias)
{
    WorkArea* area = findArea(alias);
    if (!area)
        rt::raiseNoAlias(std::string(alias));
    return *area;
}

int aliasField(WorkArea& area, std::string_view field)
{
    const int i = area.table().fieldIndex(field);
    if (i < 0)
        rt::raiseNoField(area.alias() + "->" + std::string(field), "DBF", area.table().path());
    return i;
}

// aliasField for the reads of alias->field, which a grid makes for every
// cell: the field numbers of the names last asked are kept until an area
// opens or closes.
int cachedAliasField(WorkArea& area, std::string_view field)
{
    struct Entry {
        const WorkArea* area = nullptr;
        std::uint64_t generation = 0;
        char name[16];
        std::size_t len = 0;
        int index = -1;
    };
    static std::array<Entry, 32> cache;
    static std::size_t next = 0;
    const std::uint64_t generation = areasGeneration();
    for (const Entry& e : cache)
        if (e.area == &area && e.generation == generation && std::string_view(e.name, e.len) == field)
            return e.index;
    const int index = aliasField(area, field);
    if (field.size() <= sizeof(Entry::name)) {
        Entry& e = cache[next++ % cache.size()];
        e.area = &area;
        e.generation = generation;
        std::copy(field.begin(), field.end(), e.name);
        e.len = field.size();
        e.index = index;
    }
    return index;
}

Value hookAliasGet(std::string_view alias, std::string_view field)
{
    WorkArea& area = aliasArea(alias);
    return area.fieldGet(cachedAliasField(area, field));
}

void hookAliasPut(std::string_view alias, std::string_view field, const Value& v)
{
    WorkArea& area = aliasArea(alias);
    const int i = aliasField(area, field);
    SelectGuard in(area.number());
    area.fieldPut(i, v);
}

Value hookAliasEval(std::string_view alias, Value (*thunk)(void*), void* ctx)
{
    WorkArea& area = aliasArea(alias);
    SelectGuard in(area.number());
    return thunk(ctx);
}

}  // namespace

Value dbStruct()
{
    std::vector<Value> rows;
    if (WorkArea* area = currentArea())
        for (const Field& f : area->table().fields())
            rows.push_back(rt::makeArray({Value(f.name), Value(std::string(1, f.type)), Value(f.len), Value(f.dec)}));
    return rt::makeArray(std::move(rows));
}

void registerDbfFunctions()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    struct Entry {
        const char* name;
        rt::NativeFn fn;
    };
    static constexpr Entry entries[] = {
        {"DbeLoad", fnDbeLoad},
        {"DbeSetDefault", fnDbeSetDefault},
        {"DbUseArea", fnDbUseArea},
        {"DbSelectArea", fnDbSelectArea},
        {"Select", fnSelect},
        {"Alias", fnAlias},
        {"Used", fnUsed},
        {"DbCloseArea", fnDbCloseArea},
        {"DbCloseAll", fnDbCloseAll},
        {"DbStruct", fnDbStruct},
        {"DbCreate", fnDbCreate},
        {"FCount", fnFCount},
        {"FieldName", fnFieldName},
        {"FieldPos", fnFieldPos},
        {"FieldGet", fnFieldGet},
        {"FieldPut", fnFieldPut},
        {"DbAppend", fnDbAppend},
        {"DbDelete", fnDbDelete},
        {"DbRecall", fnDbRecall},
        {"Deleted", fnDeleted},
        {"DbCommit", fnDbCommit},
        {"DbRLock", fnDbRLock},
        {"DbRUnlock", fnDbRUnlock},
        {"DbUnlock", fnDbUnlock},
        {"DbRLockList", fnDbRLockList},
        {"DbGoTop", fnDbGoTop},
        {"DbGoBottom", fnDbGoBottom},
        {"DbSkip", fnDbSkip},
        {"DbGoto", fnDbGoto},
        {"DbSkipper", fnDbSkipper},
        {"DbPosition", fnDbPosition},
        {"DbGoPosition", fnDbGoPosition},
        {"DbSetDescend", fnDbSetDescend},
        {"RecNo", fnRecNo},
        {"RecCount", fnLastRec},
        {"LastRec", fnLastRec},
        {"Eof", fnEof},
        {"Bof", fnBof},
        {"Found", fnFound},
        {"SetDeleted", fnSetDeleted},
        {"OrdCreate", fnOrdCreate},
        {"OrdSetFocus", fnOrdSetFocus},
        {"OrdNumber", fnOrdNumber},
        {"OrdName", fnOrdName},
        {"OrdKey", fnOrdKey},
        {"OrdCount", fnOrdCount},
        {"OrdDestroy", fnOrdDestroy},
        {"OrdKeyNo", fnOrdKeyNo},
        {"OrdKeyCount", fnOrdKeyCount},
        {"DbSeek", fnDbSeek},
        {"DbScope", fnDbScope},
    };
    for (const Entry& e : entries)
        rt::registerFunction(e.name, e.fn);
    detail::registerWorkAreaLibrary();
    registerAdsFunctions();

    rt::FieldHooks& h = rt::fieldHooks();
    h.get = hookGet;
    h.put = hookPut;
    h.aliasGet = hookAliasGet;
    h.aliasPut = hookAliasPut;
    h.aliasEval = hookAliasEval;
}

}  // namespace dbf
