// Ready sort blocks for header sorting over an array, a work area and the
// PostgreSQL data object.
#include "browse/columns/column_sort.h"

#include "browse/columns/members.h"

#include "platform/dbf/table.h"
#include "platform/dbf/workarea.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/collation.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <algorithm>

namespace browse {

namespace {

const MemberRef kDataSource("dataSource");

// Kinds sort apart, in this order, before their values compare.
enum Rank { Nil, Logical, Number, Date, Text, Other };

struct SortKey {
    Rank rank = Nil;
    double number = 0;
    std::string text;  // the collation key
};

SortKey keyOf(const rt::Value& v)
{
    SortKey k;
    if (v.isLogical()) {
        k.rank = Logical;
        k.number = v.asBool() ? 1 : 0;
    } else if (v.isNum()) {
        k.rank = Number;
        k.number = v.asDouble();
    } else if (v.isDate()) {
        k.rank = Date;
        k.number = v.asDate().julian;
    } else if (v.isChar()) {
        k.rank = Text;
        k.text = rt::collationKey(v.asString());
    } else if (!v.isNil()) {
        k.rank = Other;
    }
    return k;
}

bool lessKey(const SortKey& a, const SortKey& b)
{
    if (a.rank != b.rank)
        return a.rank < b.rank;
    if (a.rank == Text)
        return a.text < b.text;
    return a.number < b.number;
}

// The row element the column at nColPos shows.
long long elementOfColumn(const rt::Value& browse, const rt::Value& colPos)
{
    if (!browse.isObject() || !colPos.isNum())
        return 0;
    const rt::Value column = rt::sendWith(browse, "getColumn", colPos);
    const rt::Value e = column.isObject() ? rt::getMember(column, "arrayPointer") : rt::Value();
    return e.isNum() ? e.asInt() : 0;
}

void sortRows(rt::Array& rows, std::size_t element)
{
    std::vector<std::pair<SortKey, std::size_t>> keys;
    keys.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const rt::Value& row = rows.items[i];
        const bool has = row.isArray() && row.asArray().size() >= element;
        keys.emplace_back(keyOf(has ? row.asArray().items[element - 1] : rt::Value()), i);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return lessKey(a.first, b.first); });
    std::vector<rt::Value> sorted;
    sorted.reserve(rows.size());
    for (const auto& k : keys)
        sorted.push_back(rows.items[k.second]);
    rows.items = std::move(sorted);
}

// An order of the area on the field, its text in the user's collation,
// read from the record (a field's name, which may come from any file, is
// never compiled); an order on any other key takes the expression itself.
dbf::OrderSpec orderSpec(dbf::WorkArea& area, const std::string& key, int field)
{
    const dbf::Table& t = area.table();
    // A field's own name, blanks and all, before the name lookup.
    for (std::size_t i = 0; field < 0 && i < t.fields().size(); ++i)
        if (rt::sameNameNoCase(t.fields()[i].name, key))
            field = int(i);
    if (field < 0)
        field = t.fieldIndex(rt::alltrim(key));
    dbf::OrderSpec spec{{}, key, {}, false, false};
    if (field >= 0 && std::size_t(field) < t.fields().size()) {
        spec.field = field;
        spec.fold = dbf::KeyFold::Collate;
        spec.key = "field " + std::to_string(field + 1);
    }
    return spec;
}

int findOrder(const dbf::WorkArea& area, const dbf::OrderSpec& want)
{
    for (int n = 1; n <= area.orderCount(); ++n) {
        const dbf::OrderSpec& s = area.order(n).spec();
        const bool same = want.field >= 0 ? s.field == want.field && s.fold == want.fold
                                          : s.field < 0 && rt::sameNameNoCase(s.key, want.key);
        if (same && s.forExpr.empty() && !s.unique)
            return n;
    }
    return 0;
}

rt::Value areaSortBlock(const std::string& key, int field)
{
    return rt::makeBlock([key, field](rt::Args a) -> rt::Value {
        const rt::Value browse = rt::argAt(a, 2);
        const rt::Value alias = browse.isObject() ? kDataSource.get(browse) : rt::Value();
        dbf::WorkArea* area = alias.isChar() ? dbf::findArea(alias.asString()) : nullptr;
        if (!area)
            return false;
        dbf::OrderSpec spec = orderSpec(*area, key, field);
        if (const int n = findOrder(*area, spec)) {
            area->setFocus(n);
            return true;
        }
        // A name of its own per order, so orders of the table's index stay.
        spec.name = "RKSORT" + std::to_string(area->orderCount() + 1);
        for (int i = area->orderCount() + 2; area->findOrder(spec.name) > 0; ++i)
            spec.name = "RKSORT" + std::to_string(i);
        area->createOrder(std::move(spec));
        return true;
    });
}

}  // namespace

rt::Value arraySortBlock(const rt::Value& element)
{
    return rt::makeBlock([element](rt::Args a) -> rt::Value {
        const rt::Value browse = rt::argAt(a, 2);
        const rt::Value rows = browse.isObject() ? kDataSource.get(browse) : rt::Value();
        const long long e = element.isNum() ? element.asInt() : elementOfColumn(browse, rt::argAt(a, 1));
        if (!rows.isArray() || e < 1)
            return false;
        sortRows(rows.asArray(), std::size_t(e));
        return true;
    });
}

rt::Value aliasSortBlock(const std::string& key) { return areaSortBlock(key, -1); }

rt::Value aliasFieldSortBlock(int field) { return areaSortBlock({}, field - 1); }

rt::Value dataObjectSortBlock(const rt::Value& data, const std::string& column)
{
    return rt::makeBlock([data, column](rt::Args) -> rt::Value {
        const rt::Value r = rt::sendWith(data, "sort", column);
        return r.isLogical() ? r : rt::Value(true);
    });
}

void registerSortFunctions()
{
    rt::registerFunction("RK_ArraySortBlock", [](rt::Args a) { return arraySortBlock(rt::argAt(a, 0)); });
    rt::registerFunction("RK_AliasSortBlock", [](rt::Args a) { return aliasSortBlock(rt::argAt(a, 0).str()); });
    rt::registerFunction("RK_DataObjectSortBlock",
                         [](rt::Args a) { return dataObjectSortBlock(rt::argAt(a, 0), rt::argAt(a, 1).str()); });
}

}  // namespace browse
