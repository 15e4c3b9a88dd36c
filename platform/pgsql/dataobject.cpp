// The data object: its class and methods, values between the server's text
// and the runtime, the record buffer and its writes. The session
// (dataobject_session.cpp) and the schema step (dataobject_schema.cpp) stand
// apart.
#include "dataobject.h"

#include "connection.h"
#include "dataobject_sql.h"

#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/ops.h"
#include "platform/runtime/positional_args.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_map>

namespace pgsql {

using detail::Result;
using rt::Args;
using rt::Value;

namespace {

std::string textAt(Args a, std::size_t i)
{
    const Value& v = rt::argAt(a, i);
    return v.isChar() ? v.str() : std::string();
}

// The object that dataarea hands out; it only forwards goTo to its owner.
class DataArea final : public rt::Object {
public:
    explicit DataArea(DataObject* o) : owner(o) {}
    [[nodiscard]] const rt::ClassInfo& classInfo() const override
    {
        static const rt::ClassInfo cls = [] {
            rt::ClassInfo c("SpSqlArea");
            c.method<DataArea>("goTo", [](DataArea& d, Args a) {
                return d.owner && rt::argAt(a, 0).isNum() && d.owner->goTo(rt::argAt(a, 0).asInt());
            });
            return c;
        }();
        return cls;
    }
    DataObject* owner;
};

std::string paramNumber(const Value& v)
{
    if (v.isInteger())
        return std::to_string(v.asInt());
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v.asDouble());
    return std::string(buf, res.ptr);
}

}  // namespace

// ------------------------------------------------------------------ the class

DataObject::DataObject() : lError(false)
{
    info_ = std::make_unique<rt::ClassInfo>("PGSQL", std::vector<const rt::ClassInfo*>{&staticClass()});
    dataarea = Value(static_cast<rt::Object*>(new DataArea(this)));
}

DataObject::~DataObject()
{
    static_cast<DataArea&>(dataarea.asObject()).owner = nullptr;
}

const rt::ClassInfo& DataObject::staticClass()
{
    using D = DataObject;
    static const rt::ClassInfo cls = [] {
        rt::ClassInfo c("SpSql");
        c.field<D>("lError", &D::lError);
        c.addVar("dataarea", [](rt::Object& o) { return static_cast<D&>(o).dataarea; });
        c.addVar("cError", [](rt::Object& o) { return Value(static_cast<D&>(o).errorText()); });
        c.method<D>("new", [](D& o, Args) {
            if (!o.opened_)
                o.open();
            return Value(static_cast<rt::Object*>(&o));
        });
        c.method<D>("SQLViewSkip", [](D& o, Args a) {
            return Value::integer(o.skip(rt::argAt(a, 0).isNum() ? rt::argAt(a, 0).asInt() : 1));
        });
        c.method<D>("GoTop", [](D& o, Args) { return o.goTop(); });
        c.method<D>("GoBottom", [](D& o, Args) { return o.goBottom(); });
        c.method<D>("getNum", [](D& o, Args) { return Value::integer(o.getNum()); });
        c.method<D>("LastRec", [](D& o, Args) { return Value::integer(o.lastRec()); });
        c.method<D>("Bof", [](D& o, Args) { return o.bof(); });
        c.method<D>("eof", [](D& o, Args) { return o.eof(); });
        c.method<D>("RecordGet", [](D& o, Args) { return o.recordGet(); });
        c.method<D>("RecordBlank", [](D& o, Args) { o.recordBlank(); return true; });
        c.method<D>("RecordPut", [](D& o, Args a) { return o.recordPut(textAt(a, 0)); });
        c.method<D>("RecordCancel", [](D& o, Args) { o.recordCancel(); return true; });
        c.method<D>("RecordDelete", [](D& o, Args a) { return o.recordDelete(textAt(a, 0)); });
        c.method<D>("Refresh", [](D& o, Args) { return o.refresh(); });
        c.method<D>("seek", [](D& o, Args a) { return o.seek(rt::argAt(a, 0), textAt(a, 1)); });
        c.method<D>("locate", [](D& o, Args a) { return o.locate(textAt(a, 0)); });
        c.method<D>("LocateNext", [](D& o, Args) { return o.locateNext(); });
        c.method<D>("sort", [](D& o, Args a) -> Value {
            if (rt::argAt(a, 0).isChar() && !rt::isEmpty(a[0]) && !o.sort(a[0].str()))
                return false;
            return Value(o.orderColumn());
        });
        c.method<D>("SetFilter", [](D& o, Args a) { return o.setFilter(rt::argAt(a, 0)); });
        c.method<D>("FCount", [](D& o, Args) { return Value::integer(o.fieldCount()); });
        c.method<D>("FieldName", [](D& o, Args a) {
            return Value(o.fieldName(rt::argAt(a, 0).isNum() ? rt::argAt(a, 0).asInt() : 0));
        });
        c.method<D>("FieldType", [](D& o, Args a) { return Value(o.fieldType(textAt(a, 0))); });
        c.method<D>("FieldGet", [](D& o, Args a) { return o.fieldGet(textAt(a, 0)); });
        c.method<D>("FieldGetPicture", [](D& o, Args a) { return o.fieldGetPicture(textAt(a, 0)); });
        c.method<D>("FieldPutPicture", [](D& o, Args a) {
            o.fieldPutPicture(textAt(a, 0));
            return true;
        });
        c.method<D>("DESTROY", [](D& o, Args) { o.destroy(); });
        return c;
    }();
    return cls;
}

void DataObject::configure(Args a)
{
    connValue_ = rt::argAt(a, 0);
    table_ = rt::lower(rt::alltrim(textAt(a, 1)));
    columnList_ = textAt(a, 3);
    orderArg_ = textAt(a, 8);
    if (rt::argAt(a, 14).isArray())
        for (const Value& v : rt::argAt(a, 14).asArray().items)
            auditNames_.push_back(v.isChar() ? bare(v.asString()) : std::string());
    auditBlocks_ = rt::argAt(a, 15);
    pictureCol_ = bare(textAt(a, 16));
}

std::vector<Value> DataObject::Settings::args() const
{
    const Value audit =
        auditColumns.empty() ? Value() : rt::makeArray(std::vector<Value>(auditColumns.begin(), auditColumns.end()));
    const Value picture = pictureColumn.empty() ? Value() : Value(pictureColumn);
    return rt::positionalArgs(17, {{0, connection}, {1, table}, {3, columns}, {6, Value::array()},
                                   {7, Value::array()}, {8, order}, {11, false}, {12, startRow}, {13, false},
                                   {14, audit}, {15, auditValues}, {16, picture}});
}

void DataObject::configure(const Settings& settings) { configure(settings.args()); }

// ------------------------------------------------------------------ values

Value DataObject::emptyOf(const Column& c) const
{
    switch (c.letter) {
    case 'N': return Value::integer(0).withDecimals(std::max(c.decimals, 0));
    case 'D': return Value(rt::Date{});
    case 'L': return Value(false);
    case 'C': return Value(std::string(static_cast<std::size_t>(c.length), ' '));
    default: return Value("");
    }
}

Value DataObject::valueOf(const Column& c, const std::optional<std::string>& cell) const
{
    if (!cell)
        return emptyOf(c);
    const std::string& s = *cell;
    switch (c.letter) {
    case 'N': {
        if (c.decimals == 0 && s.find_first_of(".eE") == std::string::npos) {
            std::int64_t n = 0;
            if (std::from_chars(s.data(), s.data() + s.size(), n).ec == std::errc())
                return Value::integer(n);
        }
        const double d = std::strtod(s.c_str(), nullptr);
        int dec = c.decimals;
        if (dec < 0) {
            const auto dot = s.find('.');
            dec = dot == std::string::npos ? 0 : static_cast<int>(s.size() - dot - 1);
        }
        return Value::number(d, dec);
    }
    case 'D': {
        int y = 0, m = 0, d = 0;
        if (std::sscanf(s.c_str(), "%d-%d-%d", &y, &m, &d) == 3)
            return Value(rt::makeDate(y, m, d));
        return Value(rt::Date{});
    }
    case 'L': return Value(s == "t");
    case 'C': {
        Value v(s);
        if (c.padded && v.charLen() < static_cast<std::size_t>(c.length))
            return Value(s + std::string(c.length - v.charLen(), ' '));
        return v;
    }
    default: return Value(s);
    }
}

std::optional<std::string> DataObject::paramOf(const Column& c, const Value& v) const
{
    switch (c.letter) {
    case 'N':
        if (v.isNum())
            return paramNumber(v);
        break;
    case 'D':
        if (v.isDate())
            return v.asDate().empty() ? std::nullopt : std::optional<std::string>(dtoq(v, false));
        if (v.isChar()) {
            const rt::Date d = rt::ctod(v.asString());
            return d.empty() ? std::nullopt : std::optional<std::string>(dtoq(Value(d), false));
        }
        return std::nullopt;
    case 'L':
        if (v.isLogical())
            return std::string(v.asBool() ? "t" : "f");
        break;
    default:
        if (v.isChar()) {
            // Blanks past the text are padding, except where they count.
            if (!c.bpchar && c.padded)
                return rt::rtrim(v.asString());
            return v.str();
        }
        break;
    }
    if (v.isNil())
        return std::nullopt;
    if (v.isChar())
        return v.str();
    if (v.isNum())
        return paramNumber(v);
    if (v.isDate())
        return v.asDate().empty() ? std::nullopt : std::optional<std::string>(dtoq(v, false));
    if (v.isLogical())
        return std::string(v.asBool() ? "t" : "f");
    return std::nullopt;
}

void DataObject::clearBuffer()
{
    for (std::size_t i = 0; i < cols_.size(); ++i)
        buffer_[i] = emptyOf(cols_[i]);
    if (recnoCol_ >= 0)
        buffer_[recnoCol_] = Value::integer(0);
}

void DataObject::loadBuffer()
{
    newRow_ = false;
    pendingPicture_.reset();
    if (cur_ < 0 || cur_ >= static_cast<std::int64_t>(win_.size())) {
        clearBuffer();
        return;
    }
    const Row& r = win_[cur_];
    for (std::size_t i = 0; i < cols_.size(); ++i)
        buffer_[i] = valueOf(cols_[i], r.cells[i]);
    buffer_[recnoCol_] = Value::integer(r.recno);
}

std::int64_t DataObject::recno() const
{
    if (newRow_ || cur_ < 0 || cur_ >= static_cast<std::int64_t>(win_.size()))
        return 0;
    return win_[cur_].recno;
}

// The row by its number (within the filter when asked); nullopt with lError
// on failure, and an empty optional row without lError when it is gone.
std::optional<DataObject::Row> DataObject::readRow(std::int64_t recno, bool filtered)
{
    Sql q;
    q << "SELECT " << selectList() << " FROM " << table() << " WHERE \"recno\" = ";
    q.param(std::to_string(recno), "bigint");
    if (filtered)
        addFilter(q);
    std::vector<Row> rows;
    if (!fetchQuery(q, rows) || rows.empty())
        return std::nullopt;
    return rows.front();
}

// ------------------------------------------------------------------ columns

std::string DataObject::fieldName(std::int64_t n) const
{
    if (n < 1 || n > fieldCount())
        return {};
    return cols_[listed_[n - 1]].name;
}

std::string DataObject::fieldType(const std::string& column) const
{
    const int i = columnIndex(column);
    if (i >= 0)
        return std::string(1, cols_[i].letter);
    return hasPicture_ && bare(column) == pictureCol_ ? "M" : "U";
}

Value DataObject::fieldGet(const std::string& column)
{
    begin();
    const int i = columnIndex(column);
    if (i >= 0)
        return cur_ >= 0 && !newRow_ ? valueOf(cols_[i], win_[cur_].cells[i]) : emptyOf(cols_[i]);
    if (!(hasPicture_ && bare(column) == pictureCol_)) {
        fail("FieldGet: unknown column " + bare(column));
        return {};
    }
    if (recno() <= 0)
        return Value("");
    Sql q;
    q << "SELECT " << quoteIdent(pictureCol_) << " FROM " << table() << " WHERE \"recno\" = ";
    q.param(std::to_string(recno()), "bigint");
    Result r;
    if (!run(q, r) || PQntuples(r.get()) == 0 || PQgetisnull(r.get(), 0, 0))
        return Value("");
    return Value(std::string_view(PQgetvalue(r.get(), 0, 0), PQgetlength(r.get(), 0, 0)));
}

// ------------------------------------------------------------------ buffer

bool DataObject::recordGet()
{
    begin();
    if (cur_ < 0) {
        loadBuffer();
        return false;
    }
    // Read again, so the form shows what others saved meanwhile.
    std::optional<Row> fresh = readRow(win_[cur_].recno, false);
    if (lError.asBool())
        return false;
    if (fresh)
        win_[cur_] = std::move(*fresh);
    loadBuffer();
    return true;
}

void DataObject::recordBlank()
{
    begin();
    clearBuffer();
    newRow_ = true;
    pendingPicture_.reset();
}

void DataObject::recordCancel()
{
    // Read again: after a refused save the row shown is the one stored now.
    if (!recordGet())
        loadBuffer();
}

namespace {

// Text compares without its trailing blanks: an entry field pads what it writes back.
bool sameValue(const Value& a, const Value& b)
{
    if (a.isChar() && b.isChar())
        return rt::rtrim(a.str()) == rt::rtrim(b.str());
    if (a.kind() != b.kind())
        return rt::isEmpty(a) && rt::isEmpty(b);
    if (a.isArray() || a.isBlock() || a.isObject())
        return false;
    return rt::exactEqual(a, b);
}

}  // namespace

bool DataObject::changed() const
{
    if (pendingPicture_)
        return true;
    const bool onRow = !newRow_ && cur_ >= 0 && cur_ < static_cast<std::int64_t>(win_.size());
    for (int i : listed_) {
        if (i == recnoCol_)
            continue;
        const Value stored = onRow ? valueOf(cols_[i], win_[cur_].cells[i]) : emptyOf(cols_[i]);
        if (!sameValue(buffer_[i], stored))
            return true;
    }
    return false;
}

// The listed columns from the buffer, then the audit columns from their
// blocks (evaluated first: a block that fails leaves nothing written).
std::vector<std::pair<int, Value>> DataObject::writeValues() const
{
    std::vector<std::pair<int, Value>> values;
    for (int i : listed_)
        if (i != recnoCol_)
            values.emplace_back(i, buffer_[i]);
    for (std::size_t k = 0; k < auditNames_.size(); ++k) {
        const Value& b = rt::entryOf(auditBlocks_, k + 1);
        const Value v = b.isBlock() ? rt::eval(b) : b;
        const int i = columnIndex(auditNames_[k]);
        auto it = std::find_if(values.begin(), values.end(), [i](const auto& p) { return p.first == i; });
        if (it != values.end())
            it->second = v;
        else
            values.emplace_back(i, v);
    }
    return values;
}

// INSERT ... SELECT ... WHERE NOT EXISTS (condition): a row the condition
// already matches (an existing code) is not added again.
void DataObject::insertSql(Sql& q, const std::vector<std::pair<int, Value>>& values, const std::string& cond) const
{
    q << "INSERT INTO " << table() << " (";
    for (std::size_t k = 0; k < values.size(); ++k)
        q << (k ? ", " : "") << cols_[values[k].first].ident;
    if (pendingPicture_)
        q << (values.empty() ? "" : ", ") << quoteIdent(pictureCol_);
    q << ") SELECT ";
    for (std::size_t k = 0; k < values.size(); ++k) {
        const Column& c = cols_[values[k].first];
        q << (k ? ", " : "");
        q.param(paramOf(c, values[k].second), c.sqlType);
    }
    if (pendingPicture_) {
        q << (values.empty() ? "" : ", ");
        q.param(*pendingPicture_, "text");
    }
    if (!cond.empty())
        q << " WHERE NOT EXISTS (SELECT 1 FROM " << table() << " WHERE (" << cond << "))";
    q << " RETURNING \"recno\"";
}

// UPDATE of the current row only, only as it was read (xmin), and only when
// the condition still describes it.
void DataObject::updateSql(Sql& q, const std::vector<std::pair<int, Value>>& values, const std::string& cond) const
{
    q << "UPDATE " << table() << " SET ";
    for (std::size_t k = 0; k < values.size(); ++k) {
        const Column& c = cols_[values[k].first];
        q << (k ? ", " : "") << c.ident << " = ";
        q.param(paramOf(c, values[k].second), c.sqlType);
    }
    if (pendingPicture_) {
        q << (values.empty() ? "" : ", ") << quoteIdent(pictureCol_) << " = ";
        q.param(*pendingPicture_, "text");
    }
    if (values.empty() && !pendingPicture_)
        q << "\"recno\" = \"recno\"";
    q << " WHERE \"recno\" = ";
    q.param(std::to_string(recno()), "bigint");
    q << " AND xmin::text = ";
    q.param(win_[cur_].version, "text");
    if (!cond.empty())
        q << " AND (" << cond << ")";
    q << " RETURNING \"recno\"";
}

// Why an update or a delete wrote nothing: the row changed or went away
// since it was read, or the condition names another row.
void DataObject::explainUnwritten()
{
    Sql v;
    v << "SELECT xmin::text FROM " << table() << " WHERE \"recno\" = ";
    v.param(std::to_string(recno()), "bigint");
    Result r;
    if (!run(v, r))
        return;
    if (PQntuples(r.get()) == 0) {
        fail(FailureKind::Gone, "the row was deleted by another user", v.text);
    } else {
        const bool same = win_[cur_].version == PQgetvalue(r.get(), 0, 0);
        fail(same ? FailureKind::NoMatch : FailureKind::Conflict,
             same ? "the row does not meet the condition" : "the row was changed by another user", v.text);
    }
    report();
}

bool DataObject::recordPut(const std::string& condition)
{
    begin();
    if (!opened_ || destroyed_)
        return fail("the data object is not open"), false;
    if (!newRow_ && recno() <= 0)
        return fail("no current row"), false;
    const auto values = writeValues();
    const std::string cond = rt::alltrim(condition).empty() ? std::string() : condition;
    Sql q;
    if (newRow_)
        insertSql(q, values, cond);
    else
        updateSql(q, values, cond);
    Result r;
    if (!run(q, r)) {
        if (failure_.kind != FailureKind::ConnectionLost)
            report();
        return false;
    }
    if (PQntuples(r.get()) == 0) {
        if (newRow_) {
            fail(FailureKind::DuplicateKey, "a row meeting the condition exists", q.text);
            report();
        } else {
            explainUnwritten();
        }
        return false;
    }
    const std::int64_t saved = std::atoll(PQgetvalue(r.get(), 0, 0));
    const bool inserted = newRow_;
    newRow_ = false;
    pendingPicture_.reset();
    if (inserted && exact_)
        ++count_;
    // Saved but outside the filter: shown anyway, where it would stand.
    std::optional<Row> row = readRow(saved, true);
    if (!row && !lError.asBool())
        row = readRow(saved, false);
    if (row) {
        const bool keepNum = !inserted && cur_ >= 0 && keyOf(win_[cur_]) == keyOf(*row);
        placeAround(*row, keepNum);
    }
    noteOwnWrite();
    begin();  // written; a failed re-read only leaves the old rows shown
    return true;
}

// DELETE of the current row when the condition still describes it; the
// companions' rows go in the same statement, so both or neither are gone.
void DataObject::deleteSql(Sql& q, const std::string& cond, const std::vector<Companion>& companions) const
{
    const auto where = [&] {
        q << " WHERE \"recno\" = ";
        q.param(std::to_string(recno()), "bigint");
        if (!cond.empty())
            q << " AND (" << cond << ")";
    };
    for (std::size_t k = 0; k < companions.size(); ++k) {
        const Connection* c = conn();
        const Companion& m = companions[k];
        const std::string column = quoteIdent(rt::lower(m.column));
        q << (k ? ", " : "WITH ") << quoteIdent("companion" + std::to_string(k + 1)) << " AS (DELETE FROM "
          << (c ? c->qualified(m.table) : quoteIdent(m.table)) << " WHERE " << column << " IN (SELECT " << column
          << " FROM " << table();
        where();
        q << ")) ";
    }
    q << "DELETE FROM " << table();
    where();
}

// Why a delete removed nothing: the row is gone already, or the condition
// does not describe it.
void DataObject::explainUndeleted()
{
    Sql v;
    v << "SELECT 1 FROM " << table() << " WHERE \"recno\" = ";
    v.param(std::to_string(recno()), "bigint");
    Result r;
    if (!run(v, r))
        return;
    if (PQntuples(r.get()) == 0)
        fail(FailureKind::Gone, "the row was deleted by another user", v.text);
    else
        fail(FailureKind::NotDeleted, "the row does not meet the condition", v.text);
    report();
}

bool DataObject::recordDelete(const std::string& condition, const std::vector<Companion>& companions)
{
    begin();
    if (newRow_ || recno() <= 0)
        return fail("no current row"), false;
    Sql q;
    deleteSql(q, rt::alltrim(condition).empty() ? std::string() : condition, companions);
    Result r;
    if (!run(q, r)) {
        if (failure_.kind != FailureKind::ConnectionLost)
            report();
        return false;
    }
    if (std::atoll(PQcmdTuples(r.get())) == 0) {
        explainUndeleted();
        return false;
    }
    if (exact_ && count_ > 0)
        --count_;
    noteOwnWrite();
    const Row gone = win_[cur_];
    win_.erase(win_.begin() + cur_);
    if (cur_ >= static_cast<std::int64_t>(win_.size()) && !atEnd_) {
        std::vector<Row> more;
        if (fetch(true, win_.empty() ? &gone : &win_.back(), kPage, more)) {
            atEnd_ = static_cast<std::int64_t>(more.size()) < kPage;
            win_.insert(win_.end(), more.begin(), more.end());
        }
    }
    if (cur_ >= static_cast<std::int64_t>(win_.size())) {
        atEnd_ = true;
        if (win_.empty()) {
            goBottom();  // the row deleted was the last: the one before it
            begin();
            return true;
        }
        cur_ = static_cast<std::int64_t>(win_.size()) - 1;
        --num_;
    }
    if (!exact_ && count_ > 1)
        --count_;
    loadBuffer();
    begin();
    return true;
}

// ------------------------------------------------------------------ registration

namespace {

Value fnPGSQL(Args a)
{
    auto* o = new DataObject;
    const Value v(static_cast<rt::Object*>(o));
    o->configure(a);
    return v;
}

}  // namespace

Value sqlRefreshFunction(Args a);

void registerDataObjectFunctions()
{
    rt::registerFunction("PGSQL", fnPGSQL);
    rt::registerFunction("SQLRefresh", sqlRefreshFunction);
}

}  // namespace pgsql
