// The query cursor over one libpq result. See cursor.h for the contract.
#include "cursor.h"

#include "connection.h"
#include "pq_internal.h"

#include "platform/runtime/array.h"
#include "platform/runtime/collation.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/ops.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace pgsql {

namespace {

using rt::Args;
using rt::Value;

// Type oids of the server's catalog (pg_type.dat); they never change.
constexpr unsigned kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701,
                   kMoney = 790, kDate = 1082, kNumeric = 1700;

// Text blocks of at least this size hold the cells.
constexpr std::size_t kBlockBytes = std::size_t(1) << 20;
// Digits a double holds exactly, text to double and back.
constexpr int kDoubleDigits = 15;
constexpr int kMaxDecimals = 30;

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

// Significant digits of a numeric's text ("-0.0120" -> 3).
int significantDigits(const char* text)
{
    int n = 0;
    for (const char* p = text; *p; ++p)
        if (*p >= '0' && *p <= '9' && (n > 0 || *p != '0'))
            ++n;
    return n;
}

// A decimal number's text taken apart: its class, sign and digits without
// leading zeros (whole part) or trailing zeros (fraction).
struct Decimal {
    int rank = 1;  // 0 -Infinity, 1 a number, 2 Infinity, 3 NaN
    bool negative = false;
    std::string whole, fraction;
};

// The separator of a money text's decimals: '.' or ',' as its locale writes
// them ("$1,234.56", "1.234,56 €"); 0 for none.
char decimalMark(std::string_view t)
{
    const std::size_t dot = t.rfind('.'), comma = t.rfind(',');
    if (dot != std::string_view::npos && comma != std::string_view::npos)
        return dot > comma ? '.' : ',';
    if (dot != std::string_view::npos)
        return t.find('.') == dot ? '.' : 0;
    if (comma == std::string_view::npos || t.find(',') != comma)
        return 0;
    std::size_t digits = 0;
    for (std::size_t i = comma + 1; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i)
        ++digits;
    return digits == 3 ? 0 : ',';  // "1,234" groups thousands
}

Decimal parseDecimal(std::string_view t)
{
    Decimal d;
    d.negative = t.find('-') != std::string_view::npos || t.find('(') != std::string_view::npos;
    if (t.find("NaN") != std::string_view::npos) {
        d.rank = 3;
        return d;
    }
    if (t.find("Infinity") != std::string_view::npos) {
        d.rank = d.negative ? 0 : 2;
        return d;
    }
    const char mark = decimalMark(t);
    bool inFraction = false;
    for (char c : t) {
        if (c == mark)
            inFraction = true;
        else if (c >= '0' && c <= '9' && (inFraction || c != '0' || !d.whole.empty()))
            (inFraction ? d.fraction : d.whole) += c;
    }
    while (!d.fraction.empty() && d.fraction.back() == '0')
        d.fraction.pop_back();
    if (d.whole.empty() && d.fraction.empty())
        d.negative = false;  // -0 is 0
    return d;
}

// The nearest double; -HUGE_VAL and HUGE_VAL for the infinities and NaN.
double approximate(const Decimal& d)
{
    if (d.rank != 1)
        return d.rank == 0 ? -HUGE_VAL : HUGE_VAL;
    const std::string text = (d.negative ? "-" : "") + (d.whole.empty() ? std::string("0") : d.whole) + "." + d.fraction;
    return std::strtod(text.c_str(), nullptr);
}

int compareMagnitude(const Decimal& a, const Decimal& b)
{
    if (a.whole.size() != b.whole.size())
        return a.whole.size() < b.whole.size() ? -1 : 1;
    if (const int c = a.whole.compare(b.whole))
        return c < 0 ? -1 : 1;
    const int c = a.fraction.compare(b.fraction);  // no trailing zeros: text order is number order
    return c < 0 ? -1 : c > 0;
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

}  // namespace

int compareDecimalText(std::string_view x, std::string_view y)
{
    const Decimal a = parseDecimal(x), b = parseDecimal(y);
    if (a.rank != b.rank)
        return a.rank < b.rank ? -1 : 1;
    if (a.rank != 1)
        return 0;
    if (a.negative != b.negative)
        return a.negative ? -1 : 1;
    const int c = compareMagnitude(a, b);
    return a.negative ? -c : c;
}

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
    if (x.isNum() != y.isNum() && (x.isNum() || x.isChar()) && (y.isNum() || y.isChar()))  // an exact numeric beside a double
        return compareDecimalText(x.isNum() ? rt::numberText(x) : x.str(), y.isNum() ? rt::numberText(y) : y.str());
    if (x.isChar() && y.isChar())
        return rt::collate(x.asString(), y.asString());
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

Cursor::Cursor() : lError(false) {}

Cursor::~Cursor()
{
    if (pending_)
        cancel();
}

void Cursor::reset()
{
    if (pending_)
        cancel();
    fields_.clear();
    blocks_.clear();
    blockUsed_ = blockSize_ = 0;
    cells_.clear();
    rows_ = 0;
    order_.clear();
    cur_ = 0;
    eof_ = bof_ = true;
    error_.clear();
    failure_ = {};
    cancelled_ = false;
    lastOrder_ = Value();
    lError = true;
}

bool Cursor::open(Connection& conn, const std::string& sql, const std::vector<Value>& params)
{
    if (!start(conn, sql, params))
        return false;
    fetch(true);
    if (rt::isTrue(lError)) {  // as a whole or not at all
        const std::string why = error_;
        Failure failure = failure_;
        reset();
        error_ = why;
        failure_ = std::move(failure);
        return false;
    }
    return true;
}

bool Cursor::send(Connection& conn, const std::string& sql, const std::vector<Value>& params)
{
    reset();
    if (!conn.handle()) {
        failure_ = conn.errorText().empty() ? localFailure("not connected") : conn.failure();
        error_ = failure_.serverText;
        return false;
    }
    std::vector<std::optional<std::string>> texts;
    for (const Value& p : params)
        texts.push_back(paramText(p));
    std::vector<const char*> values;
    for (const auto& t : texts)
        values.push_back(t ? t->c_str() : nullptr);
    const std::string text = detail::withoutNul(sql);
    PGconn* c = conn.handle();
    if (!PQsendQueryParams(c, text.c_str(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0)) {
        failure_ = detail::failureOf(c, nullptr, text);
        error_ = failure_.serverText;
        return false;
    }
    PQsetSingleRowMode(c);  // rows one by one, as they come
    pending_ = c;
    lError = false;
    return true;
}

bool Cursor::start(Connection& conn, const std::string& sql, const std::vector<Value>& params)
{
    if (!send(conn, sql, params))
        return false;
    fetch(true, 1);
    if (rt::isTrue(lError) && rows_ == 0) {
        fields_.clear();
        return false;
    }
    goTop();
    return true;
}

void Cursor::fail(PGconn* conn, pg_result* r)
{
    failure_ = detail::failureOf(conn, r);
    // The runtime's errorText names the place too, as dxc-sql reads it.
    error_ = failure_.serverText;
    if (failure_.position > 0)
        error_ += " (position " + std::to_string(failure_.position) + ")";
    lError = true;
}

void Cursor::keepRow(pg_result* r)
{
    const int nf = int(fields_.size());
    for (int f = 0; f < nf; ++f) {
        if (PQgetisnull(r, 0, f)) {
            cells_.push_back(nullptr);
            continue;
        }
        const std::size_t len = std::size_t(PQgetlength(r, 0, f)) + 1;
        if (blockUsed_ + len > blockSize_) {
            blockSize_ = std::max(kBlockBytes, len);
            blocks_.push_back(std::make_unique<char[]>(blockSize_));
            blockUsed_ = 0;
        }
        char* to = blocks_.back().get() + blockUsed_;
        std::memcpy(to, PQgetvalue(r, 0, f), len);
        blockUsed_ += len;
        cells_.push_back(to);
    }
    ++rows_;
}

bool Cursor::take(pg_result* r)
{
    if (!r) {
        finish();
        return false;
    }
    const ExecStatusType st = PQresultStatus(r);
    if ((st == PGRES_SINGLE_TUPLE || st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK) && fields_.empty())
        for (int i = 0; i < PQnfields(r); ++i)
            fields_.push_back(Field{PQfname(r, i), PQftype(r, i), letterOf(PQftype(r, i))});
    if (st == PGRES_SINGLE_TUPLE)
        keepRow(r);
    else if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK && !cancelled_)
        fail(pending_, r);
    PQclear(r);
    return true;
}

void Cursor::growOrder()
{
    const bool wasEmpty = order_.empty();
    for (std::uint32_t row = std::uint32_t(order_.size()); row < rows_; ++row)
        order_.push_back(row);
    if (wasEmpty && !order_.empty())
        goTop();
}

void Cursor::finish()
{
    pending_ = nullptr;
    growOrder();
    if (lastOrder_.isBlock() && order_.size() > 1) {
        const Value by = lastOrder_;
        sort(by);
    }
}

std::int64_t Cursor::fetch(bool wait, std::int64_t limit)
{
    const std::uint32_t before = rows_;
    // Without waiting: what the socket holds now, read once (reading it
    // per row would move libpq's buffer each time).
    if (pending_ && !wait && !PQconsumeInput(pending_)) {
        fail(pending_, nullptr);
        finish();
    }
    while (pending_ && (limit < 0 || std::int64_t(rows_ - before) < limit) && (wait || !PQisBusy(pending_)))
        take(PQgetResult(pending_));
    growOrder();
    return std::int64_t(rows_ - before);
}

void Cursor::drain(RowSink row, void* context)
{
    std::vector<const char*> cells;
    std::vector<int> lengths;
    while (pending_) {
        pg_result* r = PQgetResult(pending_);
        if (r && PQresultStatus(r) == PGRES_SINGLE_TUPLE) {
            if (fields_.empty())
                take(r), r = nullptr;
            else {
                const int nf = PQnfields(r);
                cells.resize(std::size_t(nf));
                lengths.resize(std::size_t(nf));
                for (int f = 0; f < nf; ++f) {
                    cells[std::size_t(f)] = PQgetisnull(r, 0, f) ? nullptr : PQgetvalue(r, 0, f);
                    lengths[std::size_t(f)] = PQgetlength(r, 0, f);
                }
                row(context, cells.data(), lengths.data(), nf);
                PQclear(r);
                continue;
            }
        }
        if (r)
            take(r);
        else
            take(nullptr);
    }
}

void Cursor::cancel()
{
    if (!pending_)
        return;
    if (PGcancel* c = PQgetCancel(pending_)) {
        char why[256];
        cancelled_ = PQcancel(c, why, int(sizeof why)) != 0;
        PQfreeCancel(c);
    }
    // What the server sent before it stopped stays; its "canceling
    // statement" error is the end asked for, not a failure.
    while (pending_)
        take(PQgetResult(pending_));
}

unsigned Cursor::fieldOid(int n) const noexcept
{
    return n >= 1 && n <= fCount() ? fields_[std::size_t(n) - 1].oid : 0;
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

bool Cursor::fieldIsAmount(int n) const
{
    return n >= 1 && n <= fCount() && (fields_[std::size_t(n) - 1].letter == 'N' || fields_[std::size_t(n) - 1].oid == kMoney);
}

const char* Cursor::cell(std::int64_t row, int n) const
{
    if (row < 1 || row > recCount() || n < 1 || n > fCount())
        return nullptr;
    return rowCell(order_[std::size_t(row) - 1], n);
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
    case kNumeric: {
        // Beyond what a double holds the digits stay text: never a digit lost.
        const int decimals = decimalsOf(text);
        if (significantDigits(text) > kDoubleDigits || decimals > kMaxDecimals || std::isalpha(text[0] & 0x7F))
            return Value(std::string_view(text));
        return Value::number(std::strtod(text, nullptr), decimals);
    }
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
    if (pending_)
        lastOrder_ = bBefore;  // again once the rest has come
    if (const auto* by = dynamic_cast<const FieldOrder*>(&bBefore.asBlock())) {
        sortNative(*by);
        return;
    }
    sortByBlock(bBefore);
}

// The order of a FieldOrder over the cells themselves: text in the user's
// collation (platform/runtime/collation.h), numbers and dates through their
// values; NULL first.
// Each row gets a 16-byte key (the first 8 bytes of the collation key in
// byte order, or the number) so that most comparisons stay in one
// contiguous array; only texts whose first 8 bytes tie are read whole, and
// numeric and money cells whose doubles tie are compared as decimals.
void Cursor::sortNative(const FieldOrder& by)
{
    const int n = by.field();
    if (n < 1 || n > fCount() || order_.size() < 2)
        return;
    const Field& f = fields_[std::size_t(n) - 1];
    struct Key {
        double number = 0;        // numbers and dates
        std::uint64_t prefix = 0; // text: the first 8 folded bytes, big-endian
        std::uint32_t row = 0;
        bool null = false;
    };
    const bool decimal = f.oid == kNumeric || f.oid == kMoney;
    const bool text = !decimal && (f.letter == 'C' || f.letter == 'L');
    std::vector<std::string> folded(text ? std::size_t(rows_) : 0);  // non-ASCII cells only
    std::vector<char> ascii(folded.size(), 1);
    std::vector<Key> keys;
    keys.reserve(order_.size());
    for (std::uint32_t row : order_) {
        Key k;
        k.row = row;
        const char* t = rowCell(row, n);
        k.null = !t;
        if (k.null) {
        } else if (text) {
            // Text in the user's collation: its key orders byte by byte.
            ascii[row] = 0;
            folded[row] = rt::collationKey(t);
            t = folded[row].c_str();
            for (int i = 0; i < 8 && *t; ++i, ++t) {
                unsigned char c = static_cast<unsigned char>(*t);
                if (ascii[row] && c >= 'a' && c <= 'z')
                    c = static_cast<unsigned char>(c - 32);
                k.prefix |= std::uint64_t(c) << (56 - 8 * i);
            }
        } else if (decimal) {
            // Rounding to a double keeps the order, so the double decides
            // unless two tie; NaN and the infinities tie at the top and bottom.
            k.number = approximate(parseDecimal(t));
        } else {
            const Value v = convert(f, t);
            k.number = v.isNum() ? v.asDouble() : v.isDate() ? double(v.asDate().julian) : 0.0;
        }
        keys.push_back(k);
    }
    auto ascending = [&](const Key& a, const Key& b) -> int {
        if (a.null || b.null)
            return a.null == b.null ? 0 : a.null ? -1 : 1;
        if (!text) {
            if (a.number != b.number)
                return a.number < b.number ? -1 : 1;
            return decimal ? compareDecimalText(rowCell(a.row, n), rowCell(b.row, n)) : 0;
        }
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix ? -1 : 1;
        return compareFolded(ascii[a.row] ? rowCell(a.row, n) : folded[a.row].c_str(), ascii[a.row],
                             ascii[b.row] ? rowCell(b.row, n) : folded[b.row].c_str(), ascii[b.row]);
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
    std::vector<Value> rows(rows_);
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
    c.method<C>("fieldIsAmount", [](C& o, Args a) { return o.fieldIsAmount(fieldArg(o, a)); });
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
