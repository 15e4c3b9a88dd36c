// Export of what a browse shows, and the accessors of array and object
// browses.
//
// The export walks the browse itself (its goTop and skip navigation blocks,
// until a skip no longer moves), so it writes the rows and values the user
// sees, in the browse's order, whatever order or scope the source has.
// Only alias and array sources are exported.
#include "browse/addons/addons.h"

#include "browse/core/browse.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dialog/library.h"
#include "platform/grid/column.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include <unistd.h>

namespace addons {

namespace fs = std::filesystem;
using rt::Value;

namespace {

// Alias and array sources only.
bool supported(const browse::RK_XbpBrowse& b)
{
    const Value& kind = b.dataSourceType;
    return kind.isNum() && (kind.asInt() == 1 || (kind.asInt() == 2 && b.dataSource.isChar()));
}

std::vector<Value> columnLinks(const browse::RK_XbpBrowse& b)
{
    std::vector<Value> links;
    for (int i = 1; i <= b.colCount(); ++i)
        links.push_back(b.columnAt(i)->dataLink);
    return links;
}

std::vector<Value> rowValues(const std::vector<Value>& links)
{
    std::vector<Value> row;
    row.reserve(links.size());
    for (const Value& l : links)
        row.push_back(l.isBlock() ? rt::evalWith(l) : Value());
    return row;
}

dbf::WorkArea* sourceArea(const browse::RK_XbpBrowse& b)
{
    return b.dataSource.isChar() ? dbf::findArea(b.dataSource.asString()) : nullptr;
}

// The browse's own navigation from its top: one call per row until the
// skip block no longer moves; then the browse shows where the source stopped.
void walk(browse::RK_XbpBrowse& b, const std::function<void(const std::vector<Value>&)>& row)
{
    const std::vector<Value> links = columnLinks(b);
    const Value self = b.self();
    if (b.goTopBlock.isBlock())
        rt::evalWith(b.goTopBlock, self);
    // A table whose view shows nothing (every record deleted and hidden,
    // an empty scope) has no row: its blank phantom record is none.
    if (const dbf::WorkArea* area = sourceArea(b); area && area->onPhantom()) {
        b.refreshAll();
        b.forceStable();
        return;
    }
    for (;;) {
        row(rowValues(links));
        const Value moved = b.skipBlock.isBlock() ? rt::evalWith(b.skipBlock, 1, self) : Value(0);
        if (!moved.isNum() || moved.asInt() < 1)
            break;
    }
    b.refreshAll();
    b.forceStable();
}

// A value converted for a field of type `type`, as the export writes it.
Value forField(const Value& v, char type)
{
    if (v.typeLetter() == type)
        return v;
    if (v.isChar() && (type == 'N' || type == 'F'))
        return rt::val(v.asString());
    if (v.isChar() && type == 'D')
        return Value(rt::ctod(v.asString()));
    if (type == 'C')
        return Value(rt::xtoc(v));
    return v;
}

// A file next to the target that no one else writes: renamed over it at the end.
fs::path tempPathFor(const fs::path& target)
{
    return target.parent_path() / (".~" + target.stem().string() + "." + std::to_string(::getpid()) + ".dbf");
}

// The memo file that belongs to a table file, when there is one.
std::optional<fs::path> memoOf(const fs::path& table)
{
    for (const char* ext : {".fpt", ".FPT", ".dbt", ".DBT"}) {
        fs::path m = table;
        m.replace_extension(ext);
        if (fs::exists(m))
            return m;
    }
    return std::nullopt;
}

void removeQuietly(const fs::path& p)
{
    std::error_code ec;
    fs::remove(p, ec);
    if (auto m = memoOf(p))
        fs::remove(*m, ec);
}

// The file's base name as alias, as a table opened without one gets; when
// that alias is taken (the browse's own table exported under its name), the
// first free one of NAME_2, NAME_3, ...
std::string freeAlias(const std::string& base)
{
    std::string alias = base;
    for (int n = 2; dbf::findArea(alias); ++n)
        alias = base + "_" + std::to_string(n);
    return alias;
}

struct Target {
    std::string name;  // field name
    char type;
    int index = -1;    // in the new table
};

std::vector<Target> targetsOf(const Value& aStru)
{
    std::vector<Target> t;
    for (const Value& f : aStru.asArray().items) {
        const Value& type = rt::entryOf(f, 2);
        t.push_back({rt::entryOf(f, 1).isChar() ? rt::alltrim(rt::entryOf(f, 1).asString()) : std::string(),
                     type.isChar() && !type.asString().empty() ? char(std::toupper(type.asString()[0])) : 'C'});
    }
    return t;
}

}  // namespace

bool browse2Dbf(const Value& oBrowse, const std::string& cDbfName, const Value& aStru)
{
    browse::RK_XbpBrowse* b = browse::asRkBrowse(oBrowse);
    if (!b)
        return false;
    if (!supported(*b) || !aStru.isArray() || aStru.asArray().size() != std::size_t(b->colCount()))
        return false;

    fs::path target(rt::alltrim(cDbfName));
    if (!target.has_extension())
        target += ".dbf";
    const fs::path temp = tempPathFor(target);
    const std::string alias = freeAlias(rt::upper(target.stem().string()));
    std::vector<Target> fields = targetsOf(aStru);
    const int before = dbf::currentAreaNumber();
    try {
        rt::callWith("DbCreate", temp.string(), aStru);
        dbf::WorkArea& out = dbf::useArea(true, "", temp.string(), alias, false, false);
        const int outArea = out.number();
        for (Target& f : fields)
            f.index = out.table().fieldIndex(f.name);
        dbf::selectArea(before);
        dbf::WorkArea* source = sourceArea(*b);
        walk(*b, [&](const std::vector<Value>& row) {
            out.append();
            // The new table has no orders to keep: its record is written
            // straight, and the engine batches the appended records.
            for (std::size_t i = 0; i < fields.size() && i < row.size(); ++i)
                if (fields[i].index >= 0)
                    out.table().put(fields[i].index, forField(row[i], fields[i].type));
            // A deleted record the browse shows (deleted records not hidden)
            // keeps its mark.
            if (source && source->deleted())
                out.table().setDeleted(true);
            out.locks().erase(out.recno());
        });
        out.commit();
        fs::rename(temp, target);
        if (auto memo = memoOf(temp)) {
            fs::path m = target;
            m.replace_extension(memo->extension());
            fs::rename(*memo, m);
        }
        dbf::selectArea(outArea);
    } catch (...) {
        if (dbf::WorkArea* open = dbf::findArea(alias); open && open->number() != before) {
            dbf::SelectGuard g(open->number());
            dbf::closeArea();
        }
        removeQuietly(temp);
        throw;
    }
    return true;
}

void walkBrowse(const Value& oBrowse, const std::function<void(const std::vector<Value>&)>& row)
{
    browse::RK_XbpBrowse* b = browse::asRkBrowse(oBrowse);
    if (!b || !supported(*b))
        rt::raise("Argument error", "walkBrowse", {oBrowse});
    walk(*b, row);
}

// ------------------------------------------------------------ accessors

Value getColArray(const Value& nElement, const Value& oBrowse, const Value& xVar)
{
    const Value aArray = rt::getMember(oBrowse, "dataSource");
    const Value pointer = rt::getMember(oBrowse, "arrayElement");
    const std::int64_t n = pointer.isNum() ? pointer.asInt() : 0;
    const std::int64_t rows = aArray.isArray() ? std::int64_t(aArray.asArray().size()) : 0;
    if (n <= 0 || n > rows)
        return Value("");
    const Value& row = aArray.asArray().items[std::size_t(n) - 1];
    if (nElement.isNil())
        return row;
    if (nElement.isNum() && nElement.asInt() <= 0)
        return Value::integer(n);
    if (aArray.asArray().items.front().isNil())
        return Value(0);
    if (!row.isArray() || !nElement.isNum() || std::size_t(nElement.asInt()) > row.asArray().size())
        return {};
    Value& cell = row.asArray().items[std::size_t(nElement.asInt()) - 1];
    if (xVar.kind() == cell.kind() && !xVar.isNil())
        cell = xVar;
    return cell;
}

Value browseRow(const Value& oBrowse, const Value& nElement)
{
    if (!oBrowse.isObject())
        return Value(0);
    const Value cargo = rt::getMember(oBrowse, "cargo");
    Value old = rt::entryOf(cargo, 4);
    const Value& data = rt::entryOf(cargo, 5);
    if (nElement.isNum() && nElement.asInt() > 0 && data.isArray() &&
        std::size_t(nElement.asInt()) <= data.asArray().size() && cargo.asArray().size() >= 4) {
        cargo.asArray().items[3] = nElement;
        rt::setMember(oBrowse, "arrayElement", nElement);
    }
    return old;
}

Value getBrowArray(const Value& oBrowse, const Value& aArray)
{
    if (aArray.isArray()) {
        if (rt::isDerivedFrom(oBrowse, "XbpBrowse")) {
            const Value cargo = rt::getMember(oBrowse, "cargo");
            if (cargo.isArray() && cargo.asArray().size() >= 5)
                cargo.asArray().items[4] = aArray;
        }
        rt::setMember(oBrowse, "dataSource", aArray);
    }
    return rt::getMember(oBrowse, "dataSource");
}

Value objectVarBlock(const Value& cVar, const Value& nElement)
{
    return rt::makeBlock([cVar, nElement](rt::Args a) { return objectAccess(rt::argAt(a, 0), rt::argAt(a, 1), cVar, nElement); },
                         "{|u, o| _ObjectAccess(u, o, " + rt::literalText(cVar) + ", " + rt::literalText(nElement) + ")}");
}

namespace {

// The object a column over an array of objects shows in the current row,
// NIL for none; `empty` receives the value for no row at all.
std::optional<Value> currentObject(const Value& oColumn, const Value& nElement, Value& empty)
{
    // The platform's columns keep their browse as their parent window.
    const gui::XbpPart* part = gui::asPart(oColumn);
    const Value oBrowse = part ? part->parent : rt::getMember(oColumn, "parent");
    const Value aData = rt::getMember(oBrowse, "dataSource");
    const Value pointer = rt::getMember(oBrowse, "arrayElement");
    const std::int64_t n = pointer.isNum() ? pointer.asInt() : 0;
    if (!aData.isArray() || aData.asArray().size() == 0 || n <= 0 || n > std::int64_t(aData.asArray().size())) {
        const Value type = rt::hasMember(oColumn, "type") ? rt::getMember(oColumn, "type") : Value();
        empty = type.isNum() && (type.asInt() == 4 || type.asInt() == 7) ? Value("") : Value(0);
        return std::nullopt;
    }
    const Value& row = aData.asArray().items[std::size_t(n) - 1];
    if (!nElement.isNum())
        return row;
    const std::int64_t e = nElement.asInt();
    if (row.isArray() && e >= 1 && e <= std::int64_t(row.asArray().size()))
        return row.asArray().items[std::size_t(e) - 1];
    return Value();
}

}  // namespace

Value objectAccess(const Value& u, const Value& oColumn, const Value& cVar, const Value& nElement)
{
    if (!oColumn.isObject())
        return Value("");
    Value result;
    const std::string name = cVar.isChar() ? cVar.str() : rt::xtoc(cVar);
    const bool ok = rt::guarded([&] {
        Value empty;
        const std::optional<Value> object = currentObject(oColumn, nElement, empty);
        if (!object) {
            result = empty;
            return;
        }
        if (!object->isObject()) {
            result = Value("<not an object>");
            return;
        }
        if (name.find('{') == std::string::npos) {
            if (u.isNil())
                result = rt::getMember(*object, rt::alltrim(name));
            else {
                rt::setMember(*object, rt::alltrim(name), u);
                result = u;
            }
            return;
        }
        // The compiled text sees the object and the value under these names
        // for the duration of the call.
        rt::publicSet("_oObject", *object);
        rt::publicSet("_uData", u);
        struct Release {
            ~Release()
            {
                rt::publicRelease("_oObject");
                rt::publicRelease("_uData");
            }
        } release;
        const Value block = dlg::getBlock(Value(name));
        result = u.isNil() ? rt::evalWith(block, *object) : rt::evalWith(block, *object, u);
    });
    return ok ? result : Value("<" + name + ":undefined>");
}

}  // namespace addons
