// How one field of a DBF record goes to its column, through COPY (binary)
// or an INSERT (SQL literals). One writer per column kind serves both, so
// both paths send the same values and the same NULLs. A field is NULL when
// it holds no value: the DBF stores none (Table::isEmpty: a blank number,
// date or logical, a memo without a block, a null flag), the engine cannot
// read it (a fault, told by the engine), or it is blank character text or
// an empty memo. A stored 0 or false, and a memo of blanks, are values.
#include "app/import_internal.h"

#include "platform/pgsql/connection.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

#include <charconv>
#include <cmath>

namespace app::import {

namespace {

// The server counts days and microseconds from 2000-01-01.
constexpr std::int32_t kJulian2000 = 2451545;

// Text that Empty() reads as blank: only blanks, tabs and line ends.
bool blank(std::string_view t) { return t.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// A day the server's date holds: years 1..9999 (as DtoQ makes it).
bool storable(rt::Date day)
{
    static const std::int32_t first = rt::makeDate(1, 1, 1).julian, last = rt::makeDate(9999, 12, 31).julian;
    return !day.empty() && day.julian >= first && day.julian <= last;
}

// "yyyy-mm-dd hh:mm:ss[.fff]" (as the engine gives T and @ values) in
// microseconds from 2000-01-01; false for another text.
bool timestampOf(std::string_view t, std::int64_t& micros)
{
    const auto digits = [&t](std::size_t at, std::size_t n, int& out) {
        out = 0;
        if (at + n > t.size())
            return false;
        for (std::size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    int y, mo, d, h, mi, sec, ms = 0;
    if (!digits(0, 4, y) || !digits(5, 2, mo) || !digits(8, 2, d) || !digits(11, 2, h) || !digits(14, 2, mi) ||
        !digits(17, 2, sec) || (t.size() != 19 && (t.size() != 23 || t[19] != '.' || !digits(20, 3, ms))))
        return false;
    const rt::Date day = rt::makeDate(y, mo, d);
    if (day.empty() || h > 23 || mi > 59 || sec > 59)
        return false;
    micros = ((std::int64_t(day.julian - kJulian2000) * 24 + h) * 60 + mi) * 60 + sec;
    micros = micros * 1000000 + std::int64_t(ms) * 1000;
    return true;
}

// Bytes as the server's bytea input reads them: \x and two hex digits a byte.
std::string byteaText(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 + 2 * bytes.size());
    text += "\\x";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        text += kHex[u >> 4];
        text += kHex[u & 0xF];
    }
    return text;
}

// The forms a value takes in binary COPY. The server pads character(n)
// again, so trailing blanks need not travel; NULs no text holds are dropped.
class BinaryOut {
public:
    static constexpr bool kDirect = true;  // reads fields straight from the record
    BinaryOut(pgsql::BinaryRow& row, std::string& room) : row_(row), room_(room) {}
    void null() { row_.null(); }
    void text(std::string_view t) { row_.bytes(pgsql::withoutNul(t, room_)); }
    void padded(std::string_view t) { text(t.substr(0, t.find_last_not_of(' ') + 1)); }
    bool number(std::string_view decimal) { return row_.numeric(decimal); }
    void int4(std::int32_t v) { row_.int4(v); }
    void float8(double v, std::string_view) { row_.float8(v); }
    void date(rt::Date day) { row_.date(day.julian - kJulian2000); }
    void boolean(bool v) { row_.boolean(v); }
    bool timestamp(std::string_view t)
    {
        std::int64_t micros = 0;
        if (!timestampOf(t, micros))
            return false;
        row_.timestamp(micros);
        return true;
    }
    void bytes(std::string_view b) { row_.bytes(b); }

private:
    pgsql::BinaryRow& row_;
    std::string& room_;
};

// The forms a value takes as an SQL literal of an INSERT.
class LiteralOut {
public:
    static constexpr bool kDirect = false;  // the statement shows the value as get() gives it
    explicit LiteralOut(std::string& sql) : sql_(sql) {}
    void null() {}
    void text(std::string_view t) { pgsql::appendStoq(sql_, t); }
    void padded(std::string_view t) { text(t); }
    bool number(std::string_view decimal)
    {
        sql_ += decimal;
        return true;
    }
    void int4(std::int32_t v) { sql_ += std::to_string(v); }
    // NaN and the infinities are no numeric literal: the server reads them
    // quoted, as binary COPY sends them.
    void float8(double v, std::string_view shown)
    {
        if (std::isnan(v))
            sql_ += "'NaN'";
        else if (std::isinf(v))
            sql_ += v < 0 ? "'-Infinity'" : "'Infinity'";
        else
            sql_ += shown;
    }
    void date(rt::Date day) { sql_ += pgsql::dtoq(rt::Value(day)); }
    void boolean(bool v) { sql_ += v ? "'t'" : "'f'"; }
    bool timestamp(std::string_view t)
    {
        text(t);
        return true;
    }
    void bytes(std::string_view b) { text(byteaText(b)); }

private:
    std::string& sql_;
};

// A C, N, D or L field straight from the record, no value built (most of a
// bulk load's work per field). nullopt when the engine cannot read the field
// so: get() then decides, and tells a fault.
template <class Out>
std::optional<bool> writeDirect(Out& out, const dbf::Table& t, int field, Column column, std::string& room)
{
    switch (column) {
    case Column::Padded: {
        std::string_view text;
        bool nul = false;
        if (!t.textOf(field, text, nul))
            return std::nullopt;
        if (blank(text))
            return false;
        out.text(text);
        return true;
    }
    case Column::Numeric:
        room.clear();
        if (!t.appendNumber(field, room) || !out.number(room))
            return std::nullopt;
        return true;
    case Column::Date: {
        rt::Date day;
        if (!t.dateOf(field, day))
            return std::nullopt;
        if (!storable(day))
            return false;
        out.date(day);
        return true;
    }
    case Column::Boolean: {
        bool truth = false;
        if (!t.logicalOf(field, truth))
            return std::nullopt;
        out.boolean(truth);
        return true;
    }
    default: return std::nullopt;
    }
}

// The text a text column receives for a value of another kind.
std::string textOfValue(const dbf::Table& t, int field, const rt::Value& v)
{
    if (v.isNum())
        return t.numberText(field, v);
    if (v.isDate())
        return pgsql::dtoq(v, false);
    if (v.isLogical())
        return v.asBool() ? "t" : "f";
    return rt::var2char(v);
}

// The field's value as get() gives it; false for NULL. Raises on a value of
// a kind its column cannot take.
template <class Out>
bool writeValue(Out& out, const dbf::Table& t, int field, Column column, const rt::Value& v)
{
    // Only a character field's blanks are no value (its width pads it); a
    // memo holds what was stored, blanks too, and only nothing is NULL.
    const bool character = t.fields()[std::size_t(field)].type == 'C';
    if (v.isNil() || (v.isChar() && (character ? blank(v.asString()) : v.asString().empty())) ||
        (v.isDate() && !storable(v.asDate())))
        return false;
    bool fits = true;
    switch (column) {
    case Column::Numeric: fits = v.isNum() && out.number(t.numberText(field, v)); break;
    case Column::Int4:
        if ((fits = v.isNum() && v.isInteger()))
            out.int4(static_cast<std::int32_t>(v.asInt()));
        break;
    case Column::Float8:
        if ((fits = v.isNum()))
            out.float8(v.asDouble(), t.numberText(field, v));
        break;
    case Column::Date:
        if ((fits = v.isDate()))
            out.date(v.asDate());
        break;
    case Column::Boolean:
        if ((fits = v.isLogical()))
            out.boolean(v.asBool());
        break;
    case Column::Timestamp: fits = v.isChar() && out.timestamp(v.asString()); break;
    case Column::Bytea:
        if ((fits = v.isChar()))
            out.bytes(v.asString());
        break;
    case Column::Padded:
    case Column::Text:
        if (!v.isChar())
            out.text(textOfValue(t, field, v));
        else if (column == Column::Padded)
            out.padded(v.asString());
        else
            out.text(v.asString());
        break;
    }
    if (!fits)
        rt::raise("Data type error", "import",
                  {rt::Value(t.fields()[std::size_t(field)].name), rt::Value(std::string(1, v.typeLetter()))});
    return true;
}

// The one writer: NULL for a field without value, else its value.
template <class Out>
bool writeField(Out& out, const dbf::Table& t, int field, Column column, std::string& room)
{
    if (t.isEmpty(field))
        return false;
    if constexpr (Out::kDirect)
        if (const std::optional<bool> wrote = writeDirect(out, t, field, column, room))
            return *wrote;
    return writeValue(out, t, field, column, t.get(field));
}

}  // namespace

Column columnOf(const dbf::Field& f)
{
    if (f.binary)
        return Column::Bytea;
    switch (f.type) {
    case 'C': return f.len >= 1 ? Column::Padded : Column::Text;
    case 'N':
    case 'F':
    case 'Y': return Column::Numeric;
    case 'I': return Column::Int4;
    case 'B': return Column::Float8;
    case 'D': return Column::Date;
    case 'L': return Column::Boolean;
    case 'T': return Column::Timestamp;
    case 'G':
    case 'P':
    case 'W':
    case 'Q': return Column::Bytea;
    default: return Column::Text;
    }
}

bool writeBinary(pgsql::BinaryRow& row, const dbf::Table& table, int field, Column column, std::string& room)
{
    BinaryOut out(row, room);
    if (writeField(out, table, field, column, room))
        return true;
    row.null();
    return false;
}

bool writeLiteral(std::string& sql, const dbf::Table& table, int field, Column column)
{
    LiteralOut out(sql);
    std::string room;
    return writeField(out, table, field, column, room);
}

}  // namespace app::import
