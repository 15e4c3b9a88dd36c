// The query cursor over one libpq result. See cursor.h for the contract.
#include "cursor.h"

#include "connection.h"
#include "pq_internal.h"

#include "platform/runtime/array.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/ops.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace pgsql {

namespace {

using rt::Args;
using rt::Value;

// Type oids of the server's catalog (pg_type.dat); they never change.
constexpr unsigned kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701,
                   kDate = 1082, kNumeric = 1700;

char letterOf(unsigned oid)
{
    switch (oid) {
    case kBool: return 'L';
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
    case kFloat4:
    case kFloat8:
    case kNumeric: return 'N';
    case kDate: return 'D';
    default: return 'C';
    }
}

// Decimals a numeric's text shows ("12.50" -> 2).
int decimalsOf(const char* text)
{
    const char* dot = std::strchr(text, '.');
    if (!dot)
        return 0;
    int n = 0;
    for (const char* p = dot + 1; *p >= '0' && *p <= '9'; ++p)
        ++n;
    return n;
}

// "2024-01-31" as a date; nullopt for what the runtime's dates cannot hold
// (infinity, years before 1 or after 9999, BC).
std::optional<rt::Date> isoDate(const char* s)
{
    int y = 0, m = 0, d = 0;
    const std::size_t n = std::strlen(s);
    if (n != 10 || s[4] != '-' || s[7] != '-')
        return std::nullopt;
    if (std::from_chars(s, s + 4, y).ptr != s + 4 || std::from_chars(s + 5, s + 7, m).ptr != s + 7 ||
        std::from_chars(s + 8, s + 10, d).ptr != s + 10)
        return std::nullopt;
    const rt::Date date = rt::makeDate(y, m, d);
    if (date.empty())
        return std::nullopt;
    return date;
}

// A parameter as the server reads it in text form; nullopt for NULL.
std::optional<std::string> paramText(const Value& v)
{
    switch (v.kind()) {
    case rt::Kind::Nil: return std::nullopt;
    case rt::Kind::Char: return detail::withoutNul(v.asString());
    case rt::Kind::Num: return rt::numberText(v);
    case rt::Kind::Logical: return std::string(v.asBool() ? "true" : "false");
    case rt::Kind::Date: {
        if (v.asDate().empty())
            return std::nullopt;
        const std::string s = rt::dtos(v.asDate());
        return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2);
    }
    default: return rt::var2char(v);
    }
}

bool asciiOnly(const char* s)
{
    for (; *s; ++s)
        if (static_cast<unsigned char>(*s) >= 0x80)
            return false;
    return true;
}

// Two texts compared byte by byte after Upper(): a side whose flag is set
// is ASCII and folded on the fly, the other is already upper-cased.
int compareFolded(const char* a, bool foldA, const char* b, bool foldB)
{
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (foldA && x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (foldB && y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y || x == 0)
            return x < y ? -1 : x > y;
    }
}

void clearResult(pg_result* r)
{
    if (r)
        PQclear(r);
}

}  // namespace

struct Cursor::Field {
    std::string name;
    unsigned oid = 0;
    char letter = 'C';
};

// ------------------------------------------------------------ FieldOrder

FieldOrder::FieldOrder(int field, bool descend, std::string text)
    : Block(std::move(text)), field_(field), descend_(descend)
{
}

int FieldOrder::compareValues(const Value& x, const Value& y)
{
    if (x.isNil() || y.isNil())
        return x.isNil() == y.isNil() ? 0 : x.isNil() ? -1 : 1;
    if (x.isChar() && y.isChar()) {
        const int c = rt::upper(x.asString()).compare(rt::upper(y.asString()));
        return c < 0 ? -1 : c > 0;
    }
    return rt::compare(x, y);
}

Value FieldOrder::call(Args args)
{
    const Value& x = rt::entryOf(rt::argAt(args, 0), std::size_t(field_));
    const Value& y = rt::entryOf(rt::argAt(args, 1), std::size_t(field_));
    const int c = compareValues(x, y);
    return Value(descend_ ? c > 0 : c < 0);
}

// ------------------------------------------------------------ Cursor

Cursor::Cursor() : lError(false), result_(nullptr, clearResult) {}

Cursor::~Cursor() = default;

bool Cursor::open(Connection& conn, const std::string& sql, const std::vector<Value>& params)
{
    result_.reset();
    fields_.clear();
    order_.clear();
    cur_ = 0;
    eof_ = bof_ = true;
    error_.clear();
    lError = true;
    if (!conn.handle()) {
        error_ = conn.errorText().empty() ? "not connected" : conn.errorText();
        return false;
    }
    std::vector<std::optional<std::string>> texts;
    for (const Value& p : params)
        texts.push_back(paramText(p));
    std::vector<const char*> values;
    for (const auto& t : texts)
        values.push_back(t ? t->c_str() : nullptr);
    const std::string text = detail::withoutNul(sql);
    pg_result* r = PQexecParams(conn.handle(), text.c_str(), int(values.size()), nullptr, values.data(), nullptr,
                                nullptr, 0);
    const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) {
        error_ = detail::errorOf(conn.handle(), r);
        if (const char* pos = r ? PQresultErrorField(r, PG_DIAG_STATEMENT_POSITION) : nullptr)
            error_ += " (position " + std::string(pos) + ")";
        clearResult(r);
        return false;
    }
    result_.reset(r);
    for (int i = 0; i < PQnfields(r); ++i)
        fields_.push_back(Field{PQfname(r, i), PQftype(r, i), letterOf(PQftype(r, i))});
    order_.resize(std::size_t(PQntuples(r)));
    for (std::size_t i = 0; i < order_.size(); ++i)
        order_[i] = std::uint32_t(i);
    lError = false;
    goTop();
    return true;
}

std::int64_t Cursor::skipper(std::int64_t n)
{
    const std::int64_t count = recCount();
    if (count == 0)
        return 0;
    const std::int64_t to = std::clamp<std::int64_t>(cur_ + n, 1, count);
    const std::int64_t moved = to - cur_;
    eof_ = n > 0 && moved < n;
    bof_ = n < 0 && moved > n;
    cur_ = to;
    return moved;
}

void Cursor::goTop()
{
    cur_ = order_.empty() ? 0 : 1;
    eof_ = bof_ = order_.empty();
}

void Cursor::goBottom()
{
    cur_ = recCount();
    eof_ = bof_ = order_.empty();
}

bool Cursor::goTo(std::int64_t n)
{
    if (n < 1 || n > recCount())
        return false;
    cur_ = n;
    eof_ = bof_ = false;
    return true;
}

int Cursor::fCount() const noexcept { return static_cast<int>(fields_.size()); }

std::string Cursor::fieldName(int n) const
{
    return n >= 1 && n <= fCount() ? fields_[std::size_t(n) - 1].name : std::string();
}

int Cursor::fieldPos(std::string_view name) const
{
    const std::string want = rt::alltrim(name);
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (rt::sameNameNoCase(fields_[i].name, want))
            return int(i) + 1;
    return 0;
}

std::string Cursor::fieldType(int n) const
{
    return n >= 1 && n <= fCount() ? std::string(1, fields_[std::size_t(n) - 1].letter) : std::string();
}

const char* Cursor::cell(std::int64_t row, int n) const
{
    if (row < 1 || row > recCount() || n < 1 || n > fCount())
        return nullptr;
    const int r = int(order_[std::size_t(row) - 1]);
    return PQgetisnull(result_.get(), r, n - 1) ? nullptr : PQgetvalue(result_.get(), r, n - 1);
}

Value Cursor::convert(const Field& f, const char* text) const
{
    switch (f.oid) {
    case kBool: return Value(text[0] == 't');
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid: {
        long long n = 0;
        const char* end = text + std::strlen(text);
        if (std::from_chars(text, end, n).ptr == end)
            return Value(n);
        return Value(std::string_view(text));
    }
    case kFloat4:
    case kFloat8: return Value(std::strtod(text, nullptr));
    case kNumeric:
        if (std::strcmp(text, "NaN") == 0)
            return Value(std::string_view(text));
        return Value::number(std::strtod(text, nullptr), decimalsOf(text));
    case kDate:
        if (const auto d = isoDate(text))
            return Value(*d);
        return Value(std::string_view(text));
    default: return Value(std::string_view(text));
    }
}

Value Cursor::valueAt(std::int64_t row, int n) const
{
    const char* text = cell(row, n);
    return text ? convert(fields_[std::size_t(n) - 1], text) : Value();
}

Value Cursor::fieldGet(int n) const { return valueAt(cur_, n); }

Value Cursor::rowArray(std::int64_t row) const
{
    std::vector<Value> items;
    items.reserve(fields_.size());
    for (int n = 1; n <= fCount(); ++n)
        items.push_back(valueAt(row, n));
    return rt::makeArray(std::move(items));
}

void Cursor::sort(const Value& bBefore)
{
    if (!bBefore.isBlock())
        rt::raise("Argument error", "sort", {bBefore});
    if (const auto* by = dynamic_cast<const FieldOrder*>(&bBefore.asBlock())) {
        sortNative(*by);
        return;
    }
    sortByBlock(bBefore);
}

// The order of a FieldOrder over the cells themselves: text through its
// upper-cased form, numbers and dates through their values; NULL first.
// Each row gets a 16-byte key (the first 8 bytes of the folded text in
// byte order, or the number) so that most comparisons stay in one
// contiguous array; only texts whose first 8 bytes tie are read whole.
void Cursor::sortNative(const FieldOrder& by)
{
    const int n = by.field();
    if (n < 1 || n > fCount() || order_.size() < 2)
        return;
    const Field& f = fields_[std::size_t(n) - 1];
    pg_result* r = result_.get();
    struct Key {
        double number = 0;        // numbers and dates
        std::uint64_t prefix = 0; // text: the first 8 folded bytes, big-endian
        std::uint32_t row = 0;
        bool null = false;
    };
    const bool text = f.letter == 'C' || f.letter == 'L';
    std::vector<std::string> folded(text ? std::size_t(PQntuples(r)) : 0);  // non-ASCII cells only
    std::vector<char> ascii(folded.size(), 1);
    std::vector<Key> keys;
    keys.reserve(order_.size());
    for (std::uint32_t row : order_) {
        Key k;
        k.row = row;
        k.null = PQgetisnull(r, int(row), n - 1);
        const char* t = k.null ? "" : PQgetvalue(r, int(row), n - 1);
        if (!k.null && text) {
            if (!asciiOnly(t)) {
                ascii[row] = 0;
                folded[row] = rt::upper(t);
                t = folded[row].c_str();
            }
            for (int i = 0; i < 8 && *t; ++i, ++t) {
                unsigned char c = static_cast<unsigned char>(*t);
                if (ascii[row] && c >= 'a' && c <= 'z')
                    c = static_cast<unsigned char>(c - 32);
                k.prefix |= std::uint64_t(c) << (56 - 8 * i);
            }
        } else if (!k.null) {
            const Value v = convert(f, t);
            k.number = v.isNum() ? v.asDouble() : v.isDate() ? double(v.asDate().julian) : 0.0;
        }
        keys.push_back(k);
    }
    auto ascending = [&](const Key& a, const Key& b) -> int {
        if (a.null || b.null)
            return a.null == b.null ? 0 : a.null ? -1 : 1;
        if (!text)
            return a.number < b.number ? -1 : a.number > b.number;
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix ? -1 : 1;
        return compareFolded(ascii[a.row] ? PQgetvalue(r, int(a.row), n - 1) : folded[a.row].c_str(), ascii[a.row],
                             ascii[b.row] ? PQgetvalue(r, int(b.row), n - 1) : folded[b.row].c_str(), ascii[b.row]);
    };
    if (by.descend())
        std::stable_sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) { return ascending(b, a) < 0; });
    else
        std::stable_sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) { return ascending(a, b) < 0; });
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    for (const Key& k : keys)
        order.push_back(k.row);
    applyOrder(std::move(order));
}

// Any other block: evaluated with two row arrays per comparison. The rows
// are built once; the block's error leaves the order as it was.
void Cursor::sortByBlock(const Value& block)
{
    if (order_.size() < 2)
        return;
    std::vector<Value> rows(std::size_t(PQntuples(result_.get())));
    for (std::size_t pos = 0; pos < order_.size(); ++pos)
        rows[order_[pos]] = rowArray(std::int64_t(pos) + 1);
    std::vector<std::uint32_t> order = order_;
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return rt::isTrue(rt::evalWith(block, rows[a], rows[b]));
    });
    applyOrder(std::move(order));
}

void Cursor::applyOrder(std::vector<std::uint32_t> order)
{
    const std::uint32_t current = cur_ >= 1 ? order_[std::size_t(cur_) - 1] : 0;
    order_ = std::move(order);
    if (cur_ >= 1)
        cur_ = std::find(order_.begin(), order_.end(), current) - order_.begin() + 1;
}

// ------------------------------------------------------------ runtime class

namespace {

int fieldArg(const Cursor& c, Args a)
{
    const Value& v = rt::argAt(a, 0);
    if (v.isChar())
        return c.fieldPos(v.asString());
    return v.isNum() ? int(v.asInt()) : 0;
}

rt::ClassInfo makeDataSetClass()
{
    // The methods every SQL cursor offers, as a browse and the SQL browse
    // builder call them.
    rt::ClassInfo c("SQLDataSet");
    using C = Cursor;
    c.method<C>("Skipper", [](C& o, Args a) { return Value::integer(o.skipper(rt::intArg(a, 0, "Skipper", 1))); });
    c.method<C>("goTop", [](C& o, Args) { o.goTop(); });
    c.method<C>("goBottom", [](C& o, Args) { o.goBottom(); });
    c.method<C>("goTo", [](C& o, Args a) { return o.goTo(rt::intArg(a, 0, "goTo", 0)); });
    c.method<C>("skip", [](C& o, Args a) { o.skipper(rt::intArg(a, 0, "skip", 1)); });
    c.method<C>("RecNo", [](C& o, Args) { return Value::integer(o.recNo()); });
    c.method<C>("RecCount", [](C& o, Args) { return Value::integer(o.recCount()); });
    c.method<C>("LastRec", [](C& o, Args) { return Value::integer(o.recCount()); });
    c.method<C>("Eof", [](C& o, Args) { return o.eof(); });
    c.method<C>("Bof", [](C& o, Args) { return o.bof(); });
    c.method<C>("fCount", [](C& o, Args) { return o.fCount(); });
    c.method<C>("fieldName", [](C& o, Args a) { return Value(o.fieldName(fieldArg(o, a))); });
    c.method<C>("fieldPos", [](C& o, Args a) {
        const Value& v = rt::argAt(a, 0);
        return v.isChar() ? o.fieldPos(v.asString()) : 0;
    });
    c.method<C>("fieldType", [](C& o, Args a) { return Value(o.fieldType(fieldArg(o, a))); });
    c.method<C>("fieldGet", [](C& o, Args a) { return o.fieldGet(fieldArg(o, a)); });
    c.method<C>("sort", [](C& o, Args a) { o.sort(rt::argAt(a, 0)); });
    c.method<C>("errorText", [](C& o, Args) { return Value(o.errorText()); });
    c.field<C>("lError", &C::lError);
    return c;
}

const rt::ClassInfo& dataSetClass()
{
    static const rt::ClassInfo cls = makeDataSetClass();
    return cls;
}

// PGCursor(oConn, cSql[, aParams])
Value fnCursor(Args a)
{
    auto* conn = rt::argAt(a, 0).isObject() ? dynamic_cast<Connection*>(&a[0].asObject()) : nullptr;
    if (!conn || !rt::argAt(a, 1).isChar())
        rt::raiseArg("PGCursor", a);
    std::vector<Value> params;
    if (const Value& p = rt::argAt(a, 2); p.isArray())
        params = p.asArray().items;
    Value v(static_cast<rt::Object*>(new Cursor()));
    static_cast<Cursor&>(v.asObject()).open(*conn, a[1].str(), params);
    return v;
}

}  // namespace

const rt::ClassInfo& Cursor::staticClass()
{
    static const rt::ClassInfo cls("PGCursor", {&dataSetClass()});
    return cls;
}

const rt::ClassInfo& Cursor::classInfo() const { return staticClass(); }

Cursor* asCursor(const Value& v) { return v.isObject() ? dynamic_cast<Cursor*>(&v.asObject()) : nullptr; }

void registerCursorFunctions() { rt::registerFunction("PGCursor", fnCursor); }

}  // namespace pgsql
