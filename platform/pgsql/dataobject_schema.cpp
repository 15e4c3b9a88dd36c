// The data object's schema step: the table's columns as the catalog gives
// them, the picture column, the listed, audit and ordering columns, the
// members and the ordering index; run once, by open().
#include "dataobject.h"

#include "collation.h"
#include "connection.h"
#include "dataobject_sql.h"

#include "platform/runtime/text.h"

#include <algorithm>

namespace pgsql {

using detail::Result;
using rt::Value;

std::string DataObject::bare(std::string_view name)
{
    std::string n = rt::lower(rt::alltrim(name));
    const auto dot = n.rfind('.');
    return dot == std::string::npos ? n : n.substr(dot + 1);
}

std::string DataObject::table() const
{
    const Connection* c = conn();
    return c ? c->qualified(table_) : quoteIdent(table_);
}

int DataObject::columnIndex(const std::string& name) const
{
    const std::string n = bare(name);
    for (std::size_t i = 0; i < cols_.size(); ++i)
        if (cols_[i].name == n)
            return static_cast<int>(i);
    return -1;
}

bool DataObject::readColumns()
{
    Sql q;
    q << "SELECT a.attname, format_type(a.atttypid, a.atttypmod), t.typname, a.atttypmod, t.typcategory "
         "FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_type t ON t.oid = a.atttypid WHERE a.attrelid = ";
    q.param(table(), "regclass") << " AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum";
    Result r;
    if (!run(q, r))
        return false;
    cols_.clear();
    hasPicture_ = false;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        Column c;
        const std::string real = PQgetvalue(r.get(), i, 0);
        c.name = rt::lower(real);
        c.real = real;
        c.ident = quoteIdent(real);
        c.sqlType = PQgetvalue(r.get(), i, 1);
        const std::string typname = PQgetvalue(r.get(), i, 2);
        const int typmod = std::atoi(PQgetvalue(r.get(), i, 3));
        const char cat = PQgetvalue(r.get(), i, 4)[0];
        c.text = cat == 'S';
        if (!pictureCol_.empty() && c.name == pictureCol_) {
            hasPicture_ = true;
            continue;
        }
        if (typname == "bpchar" || typname == "varchar") {
            c.letter = 'C';
            c.length = typmod > 4 ? typmod - 4 : 0;
            c.padded = c.length > 0;
            c.bpchar = typname == "bpchar";
            // "character" alone would mean character(1); an explicit cast to
            // varchar(n) would silently cut a longer value.
            c.sqlType = c.bpchar ? "bpchar" : "varchar";
        } else if (cat == 'N') {
            c.letter = 'N';
            if (typname == "numeric" && typmod > 4) {
                c.length = ((typmod - 4) >> 16) & 0xffff;
                c.decimals = (typmod - 4) & 0xffff;
            } else if (typname == "float4" || typname == "float8") {
                c.decimals = -1;  // as the value shows
            }
        } else if (typname == "date") {
            c.letter = 'D';
            c.length = 8;
        } else if (cat == 'B') {
            c.letter = 'L';
            c.length = 1;
        } else if (cat == 'S' && typname != "text") {
            c.letter = 'C';
        } else {
            c.letter = cat == 'D' ? 'C' : 'M';  // timestamps read as text
        }
        cols_.push_back(std::move(c));
    }
    if (cols_.empty())
        return fail("table " + table_ + " has no columns"), false;
    recnoCol_ = columnIndex("recno");
    if (recnoCol_ < 0)
        return fail("table " + table_ + " has no recno column"), false;
    return true;
}

bool DataObject::ensurePictureColumn()
{
    if (pictureCol_.empty() || hasPicture_)
        return true;
    Sql q;
    q << "ALTER TABLE " << table() << " ADD COLUMN IF NOT EXISTS " << quoteIdent(pictureCol_) << " text";
    Result r;
    if (!run(q, r))
        return false;
    hasPicture_ = true;
    return true;
}

// Index names are stable, so every data object (and every run) finds the
// index built before; names over PostgreSQL's 63 bytes are cut and tagged.
std::string DataObject::indexName(const std::string& column, const char* suffix) const
{
    std::string name = "dxo_" + table_ + "_" + column + suffix;
    if (name.size() > 63) {
        const std::size_t h = std::hash<std::string>{}(name);
        char tag[20];
        std::snprintf(tag, sizeof tag, "_%08zx", h & 0xffffffffu);
        name = name.substr(0, 50) + tag;
    }
    return name;
}

// An index that the order or a seek needs; a failure (no right to create
// one) only costs speed. The order of a text column under the ICU collation
// needs an index built with it, under a name of its own.
void DataObject::ensureIndex(int col, bool withRecno)
{
    if (col < 0 || col == recnoCol_)
        return;
    const bool collated = withRecno && cols_[col].text && !collation_.empty();
    const std::string name = indexName(cols_[col].name, !withRecno ? "_k" : collated ? "_oi" : "_o");
    if (!indexed_.insert(name).second)
        return;
    Sql q;
    q << "CREATE INDEX IF NOT EXISTS " << quoteIdent(name) << " ON " << table() << " (" << cols_[col].ident
      << (collated ? " COLLATE " + quoteIdent(collation_) : std::string()) << (withRecno ? ", \"recno\")" : ")");
    Result r;
    if (!run(q, r))
        indexed_.erase(name);  // tried again next time
    begin();
}

void DataObject::ensureLikeIndex(int col)
{
    if (col < 0 || col == recnoCol_ || !cols_[col].text)
        return;
    const std::string name = indexName(cols_[col].name, "_l");
    if (!indexed_.insert(name).second)
        return;
    Connection* c = conn();
    if (!c)
        return;
    const auto lookUp = [&] {
        return c->value("SELECT n.nspname FROM pg_catalog.pg_opclass o JOIN pg_catalog.pg_namespace n ON n.oid = "
                        "o.opcnamespace WHERE o.opcname = 'gin_trgm_ops' LIMIT 1");
    };
    if (trgmSchema_.empty()) {
        std::optional<std::string> schema = lookUp();
        // Trusted since PostgreSQL 13: the database's owner may add it.
        if (!schema && c->execute("CREATE EXTENSION IF NOT EXISTS pg_trgm"))
            schema = lookUp();
        trgmSchema_ = schema ? *schema : "-";
    }
    if (trgmSchema_ == "-")
        return;
    Sql q;
    q << "CREATE INDEX IF NOT EXISTS " << quoteIdent(name) << " ON " << table() << " USING gin (("
      << foldSql(cols_[col].ident) << ") " << quoteIdent(trgmSchema_) << ".gin_trgm_ops)";
    Result r;
    if (!run(q, r))
        indexed_.erase(name);
    begin();
}

void DataObject::addMembers()
{
    const auto isListed = [this](int i) {
        return std::find(listed_.begin(), listed_.end(), i) != listed_.end();
    };
    for (int i = 0; i < static_cast<int>(cols_.size()); ++i) {
        // A column named like a method stays reachable through FieldGet.
        if (i == recnoCol_ || staticClass().find(cols_[i].name))
            continue;
        std::function<void(rt::Object&, const Value&)> set;
        if (isListed(i))
            set = [i](rt::Object& o, const Value& v) { static_cast<DataObject&>(o).buffer_[i] = v; };
        info_->addVar(
            cols_[i].name, [i](rt::Object& o) { return static_cast<DataObject&>(o).buffer_[i]; }, set);
    }
    info_->addVar("recno", [](rt::Object& o) { return Value::integer(static_cast<DataObject&>(o).recno()); });
}

bool DataObject::open()
{
    begin();
    opened_ = true;
    if (!conn())
        return fail("PGSQL: argument 1 is not a connection"), false;
    if (table_.empty())
        return fail("PGSQL: no table"), false;
    if (!readSchema())
        return false;
    startFollowingWrites();
    if (!countRows())
        return false;
    return goTop();
}

// The schema step: the table's columns, the picture column added when
// missing, the listed, audit and ordering columns checked, the members
// made and the ordering index built.
bool DataObject::readSchema()
{
    if (!readColumns() || !ensurePictureColumn())
        return false;
    std::string list = columnList_;
    std::size_t pos = 0;
    while (pos <= list.size()) {
        const std::size_t comma = std::min(list.find(',', pos), list.size());
        const std::string name = bare(std::string_view(list).substr(pos, comma - pos));
        pos = comma + 1;
        if (name.empty())
            continue;
        if (name == "*") {
            for (int i = 0; i < static_cast<int>(cols_.size()); ++i)
                listed_.push_back(i);
            continue;
        }
        const int i = columnIndex(name);
        if (i < 0)
            return fail("PGSQL: unknown column " + name), false;
        listed_.push_back(i);
    }
    if (listed_.empty())
        for (int i = 0; i < static_cast<int>(cols_.size()); ++i)
            listed_.push_back(i);
    for (const std::string& a : auditNames_)
        if (columnIndex(a) < 0)
            return fail("PGSQL: unknown audit column " + a), false;
    order_ = orderArg_.empty() ? recnoCol_ : columnIndex(orderArg_);
    if (order_ < 0)
        return fail("PGSQL: unknown ordering column " + bare(orderArg_)), false;
    buffer_.resize(cols_.size());
    clearBuffer();
    addMembers();
    if (Connection* c = conn())
        collation_ = c->textCollation();
    ensureIndex(order_, true);
    return true;
}

void DataObject::destroy()
{
    win_.clear();
    cur_ = -1;
    num_ = 0;
    destroyed_ = true;
}

}  // namespace pgsql
