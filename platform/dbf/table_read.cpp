// Reading records: a window of records read ahead, and each field's
// bytes decoded to the runtime's value.
#include "table_impl.h"

#include "platform/runtime/codepage.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace dbf {

namespace {

constexpr std::size_t kWindowBytes = 256 * 1024;  // sequential read-ahead
constexpr std::size_t kRandomBytes = 4096;        // read around a random go
constexpr std::int64_t kMsPerDay = 86400000;

// What a field holds before its bytes are decoded. This is the one place
// that says, for every type, which bytes are the type's blank (read as the
// language's empty value) and which mean no value at all.
enum class Stored : std::uint8_t { Value, Blank, Overflow };

bool allOf(const char* p, std::size_t n, std::string_view set)
{
    for (std::size_t i = 0; i < n; ++i)
        if (std::memchr(set.data(), p[i], set.size()) == nullptr)
            return false;
    return true;
}

constexpr std::string_view kBlanks(" \0", 2);

bool isBlank(char c) { return c == ' ' || c == '\0'; }

Stored storedKind(const FieldInfo& fi, const char* p)
{
    const std::size_t n = fi.len;
    if (n == 0)
        return Stored::Blank;  // a field of length 0 holds nothing, ever
    switch (fi.codec) {
    case Codec8::Number: {
        const char* first = std::find_if_not(p, p + n, isBlank);
        // dBASE IV writes an empty decimal as blanks and its point; a lone
        // sign is no number either.
        if (first == p + n || allOf(p, n, std::string_view(" \0+-.", 6)))
            return Stored::Blank;
        if (*first != '*')
            return Stored::Value;
        // Writers fill a number too wide for its field with "*"; some
        // shapefile writers write them for no value.
        const char* last = std::find_if(first, p + n, isBlank);
        return allOf(first, std::size_t(last - first), "*") && allOf(last, std::size_t(p + n - last), kBlanks)
                   ? Stored::Overflow
                   : Stored::Value;
    }
    case Codec8::Date:
        return (*p >= '1' && *p <= '9') || !allOf(p, n, std::string_view(" 0\0", 3)) ? Stored::Value : Stored::Blank;
    case Codec8::DateText: return allOf(p, n, std::string_view(" 0-/.\0", 6)) ? Stored::Blank : Stored::Value;
    case Codec8::Logical: return allOf(p, 1, std::string_view(" ?\0", 3)) ? Stored::Blank : Stored::Value;
    case Codec8::MemoText:
    case Codec8::MemoRaw:
        if (fi.binaryPointer)
            return allOf(p, 4, std::string_view("\0", 1)) ? Stored::Blank : Stored::Value;
        return allOf(p, n, std::string_view(" 0\0", 3)) ? Stored::Blank : Stored::Value;
    case Codec8::DoubleSorted:
    case Codec8::DateTime:
    case Codec8::Timestamp: return allOf(p, n, std::string_view("\0", 1)) ? Stored::Blank : Stored::Value;
    default: return Stored::Value;
    }
}

// An L field's byte that reads as true; any other reads as false.
bool isTrue(char c) { return c == 'T' || c == 't' || c == 'Y' || c == 'y'; }

// The language's empty value of a field's type.
rt::Value blankValue(const FieldInfo& fi)
{
    switch (fi.codec) {
    case Codec8::Number:
    case Codec8::DoubleSorted: return fi.dec > 0 ? rt::Value::number(0.0, fi.dec) : rt::Value::integer(0);
    case Codec8::Date:
    case Codec8::DateText: return rt::Value(rt::Date{});
    case Codec8::Logical: return rt::Value(false);
    default: return rt::Value(std::string_view());
    }
}

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The digits of an N or F field without its padding; false when the text is
// no plain decimal number ([sign] digits [. digits]).
bool plainDecimal(const char* p, std::size_t n, std::string_view& text, bool& negative, std::string_view& whole,
                  std::string_view& fraction)
{
    std::size_t i = 0, end = n;
    while (i < n && (p[i] == ' ' || p[i] == '\0'))
        ++i;
    while (end > i && (p[end - 1] == ' ' || p[end - 1] == '\0'))
        --end;
    text = std::string_view(p + i, end - i);
    std::size_t at = i;
    negative = at < end && p[at] == '-';
    if (at < end && (p[at] == '-' || p[at] == '+'))
        ++at;
    const std::size_t wholeStart = at;
    while (at < end && p[at] >= '0' && p[at] <= '9')
        ++at;
    whole = std::string_view(p + wholeStart, at - wholeStart);
    std::size_t fracStart = at;
    if (at < end && p[at] == '.') {
        fracStart = ++at;
        while (at < end && p[at] >= '0' && p[at] <= '9')
            ++at;
    }
    fraction = std::string_view(p + fracStart, at - fracStart);
    return at == end && !(whole.empty() && fraction.empty());
}

// The number in an N or F field; false when the text is no number. One
// pass for the usual digits; long digit strings and exponents go the slow,
// exact way.
bool parseNumber(const char* p, std::size_t n, int dec, rt::Value& out)
{
    std::size_t i = 0, end = n;
    while (i < n && (p[i] == ' ' || p[i] == '\0'))
        ++i;
    while (end > i && (p[end - 1] == ' ' || p[end - 1] == '\0'))
        --end;
    bool negative = false;
    std::size_t at = i;
    if (at < end && (p[at] == '-' || p[at] == '+'))
        negative = p[at++] == '-';
    std::uint64_t mantissa = 0;
    int digits = 0, fraction = 0;
    bool point = false;
    for (; at < end; ++at) {
        const char c = p[at];
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + std::uint64_t(c - '0');
            ++digits;
            fraction += point;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    const int shown = std::max(dec, fraction);
    if (at == end && digits > 0 && digits <= 18) {
        if (!point && dec == 0) {
            const auto v = static_cast<std::int64_t>(mantissa);
            out = rt::Value::integer(negative ? -v : v);
        } else {
            const double v = double(mantissa) / kPow10[fraction];
            out = rt::Value::number(negative ? -v : v, shown);
        }
        return true;
    }
    if (i == end)
        return false;
    double v = 0;
    const char* from = p + i + (p[i] == '+');
    const auto r = std::from_chars(from, p + end, v);
    if (r.ec != std::errc() || r.ptr != p + end || !std::isfinite(v))
        return false;
    out = rt::Value::number(v, shown);
    return true;
}

// A double as the fewest digits that read back the same.
std::string shortestText(double d)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

// The parts plainDecimal() found, as exact text with at least `dec` decimals.
void appendDecimal(std::string& out, bool negative, std::string_view whole, std::string_view fraction, int dec)
{
    while (whole.size() > 1 && whole[0] == '0')
        whole.remove_prefix(1);
    if (negative)
        out += '-';
    out += whole.empty() ? std::string_view("0") : whole;
    if (!fraction.empty() || dec > 0)
        out.append(".").append(fraction).append(std::size_t(std::max<int>(0, dec - int(fraction.size()))), '0');
}

// The exact text of an N or F field with at least `dec` decimals: "-12.50",
// "0.500"; "" when it is no plain decimal number.
std::string exactDecimal(const char* p, std::size_t n, int dec)
{
    std::string_view text, whole, fraction;
    bool negative = false;
    if (!plainDecimal(p, n, text, negative, whole, fraction))
        return {};
    std::string out;
    appendDecimal(out, negative, whole, fraction, dec);
    return out;
}

// A currency field's int64 count of ten-thousandths as exact decimal text.
std::string currencyText(std::int64_t units)
{
    const bool negative = units < 0;
    const std::uint64_t u = negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%llu.%04llu", negative ? "-" : "", static_cast<unsigned long long>(u / 10000),
                  static_cast<unsigned long long>(u % 10000));
    return buf;
}

// dBASE 7 keeps doubles big-endian with the sign bit inverted (all bits
// when negative), so that they sort as bytes.
double sortedDouble(const unsigned char* p)
{
    std::uint64_t u = be64(p);
    u = (u & 0x8000000000000000ull) ? u ^ 0x8000000000000000ull : ~u;
    double d;
    std::memcpy(&d, &u, 8);
    return d;
}

// "yyyy-mm-dd hh:mm:ss[.fff]"; false when the day is outside years 1 to 9999.
bool dateTimeText(std::int64_t julian, std::int64_t ms, std::string& out)
{
    if (julian <= 0 || julian > 0x7FFFFFFF || ms < 0 || ms >= kMsPerDay)
        return false;
    int y = 0, mo = 0, dd = 0;
    rt::splitDate(rt::Date{static_cast<std::int32_t>(julian)}, y, mo, dd);
    if (y <= 0 || y > 9999)
        return false;
    char buf[40];
    const auto s = static_cast<unsigned>(ms / 1000);
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:%02u", y, mo, dd, s / 3600, s / 60 % 60, s % 60);
    if (ms % 1000)
        n += std::snprintf(buf + n, sizeof buf - std::size_t(n), ".%03u", static_cast<unsigned>(ms % 1000));
    out.assign(buf, std::size_t(n));
    return true;
}

// A date of 8 digits "yyyymmdd", or of 10 "yyyy-mm-dd" or "dd/mm/yyyy".
rt::Date parseDate(const char* p, std::size_t n)
{
    int digit[10];
    for (std::size_t k = 0; k < n; ++k)
        digit[k] = p[k] - '0';
    auto num = [&](std::size_t from, std::size_t count) {
        int v = 0;
        for (std::size_t k = from; k < from + count; ++k) {
            if (digit[k] < 0 || digit[k] > 9)
                return -1;
            v = v * 10 + digit[k];
        }
        return v;
    };
    int y = -1, m = -1, d = -1;
    if (n == 8) {
        y = num(0, 4), m = num(4, 2), d = num(6, 2);
    } else if (n == 10 && p[4] == '-' && p[7] == '-') {
        y = num(0, 4), m = num(5, 2), d = num(8, 2);
    } else if (n == 10 && p[2] == '/' && p[5] == '/') {
        d = num(0, 2), m = num(3, 2), y = num(6, 4);
    } else if (n == 10 && isBlank(p[8]) && isBlank(p[9])) {
        y = num(0, 4), m = num(4, 2), d = num(6, 2);  // an 8-byte date in a field of 10
    }
    if (y < 0 || m < 0 || d < 0)
        return {};
    return rt::makeDate(y, m, d);
}

}  // namespace

std::size_t detail::textEnd(const char* p, std::size_t n)
{
    if (n == 0 || p[n - 1] != '\0')
        return n;
    return std::size_t(static_cast<const char*>(std::memchr(p, '\0', n)) - p);
}

// --- reading ---

void Table::Impl::load(std::uint32_t n)
{
    const std::uint32_t perWindow = std::max<std::uint32_t>(1, std::uint32_t(kWindowBytes / recLen));
    const std::uint32_t perRandom = std::max<std::uint32_t>(1, std::uint32_t(kRandomBytes / recLen));
    std::uint32_t first = n;
    std::uint32_t want = perWindow;
    if (lastGo != 0 && n + 1 == lastGo) {
        // Reading backwards: a grid going to the bottom walks back one page
        // and no further, so the window starts small and doubles while the
        // walk goes on.
        want = std::min(perWindow, std::max(perRandom, backRun * 2));
        first = n >= want ? n - want + 1 : 1;
        want = n - first + 1;
        backRun = want;
    } else {
        backRun = 0;
        if (lastGo == 0 || n != lastGo + 1)
            want = perRandom;
    }
    want = std::min(want, count - first + 1);
    window.resize(std::size_t(want) * recLen);
    const std::uint64_t at = headerLen + std::uint64_t(first - 1) * recLen;
    const std::size_t got = file.readSome(at, window.data(), window.size()) / recLen;
    if (got < n - first + 1) {
        windowCount = 0;
        fail(kErrRecordPastEnd, path, "Record " + std::to_string(n) + " lies past the end of the file",
             static_cast<long long>(headerLen + std::uint64_t(n - 1) * recLen), {}, {rt::Value(static_cast<long long>(n))});
    }
    windowFirst = first;
    windowCount = static_cast<std::uint32_t>(got);
}


bool Table::Impl::firstTelling(int i) const
{
    if (faultRecno != recno) {
        faultRecno = recno;
        faultFields.clear();
    }
    if (std::find(faultFields.begin(), faultFields.end(), i) != faultFields.end())
        return false;
    faultFields.push_back(i);
    return true;
}

void Table::Impl::tellNuls(int i, std::string_view text) const
{
    const auto nuls = std::count(text.begin(), text.end(), '\0');
    if (nuls == 0 || !firstTelling(i))
        return;
    ++faults;
    if (onFault) {
        ValueFault f{ValueFault::Kind::NulBytes, recno, i, std::string(cur + info[i].offset, info[i].len),
                     "Text holds " + std::to_string(nuls) + " NUL bytes"};
        f.nuls = nuls;
        onFault(f);
    }
}

rt::Value Table::Impl::fault(int i, ValueFault::Kind kind, const std::string& why, std::int64_t memoBlock,
                             std::int64_t memoLength) const
{
    if (!firstTelling(i))
        return {};
    ++faults;
    if (onFault)
        onFault(ValueFault{kind, recno, i, std::string(cur + info[i].offset, info[i].len), why, memoBlock, memoLength});
    return {};
}

rt::Value Table::Impl::decode(int i, const FieldInfo& fi, const char* p) const
{
    switch (fi.codec) {
    case Codec8::Char:
    case Codec8::Raw:
    case Codec8::VarChar:
    case Codec8::VarRaw: return decodeText(fi, p);
    case Codec8::Number: return decodeNumber(i, fi, p);
    case Codec8::Date:
    case Codec8::DateText: return decodeDate(i, fi, p);
    case Codec8::Logical: return rt::Value(isTrue(*p));
    case Codec8::MemoText:
    case Codec8::MemoRaw: return readMemo(i, fi.codec == Codec8::MemoText);
    case Codec8::Int32:
    case Codec8::Int32Sorted:
    case Codec8::Double:
    case Codec8::DoubleSorted:
    case Codec8::Currency: return decodeBinaryNumber(fi, p);
    case Codec8::DateTime:
    case Codec8::Timestamp: return decodeDateTime(i, fi, p);
    }
    return {};
}

rt::Value Table::Impl::decodeText(const FieldInfo& fi, const char* p) const
{
    std::size_t n = fi.len;
    if (fi.codec == Codec8::VarChar || fi.codec == Codec8::VarRaw) {
        if (flagBit(fi.lengthBit))
            n = std::min<std::size_t>(static_cast<unsigned char>(p[n - 1]), n - 1);
        return fi.codec == Codec8::VarRaw ? rt::Value(std::string_view(p, n)) : codec->decode(p, n);
    }
    if (fi.codec == Codec8::Raw)
        return rt::Value(std::string_view(p, n));
    // NUL padding reads as blanks.
    const std::size_t text = textEnd(p, n);
    if (text == n)
        return codec->decode(p, n);
    return rt::Value(codec->decode(p, text).str() + std::string(n - text, ' '));
}

rt::Value Table::Impl::decodeNumber(int i, const FieldInfo& fi, const char* p) const
{
    rt::Value v;
    if (!parseNumber(p, fi.len, fi.dec, v))
        return fault(i, ValueFault::Kind::NotANumber, "Text \"" + std::string(p, fi.len) + "\" is not a number");
    return v;
}

rt::Value Table::Impl::decodeDate(int i, const FieldInfo& fi, const char* p) const
{
    const rt::Date date = parseDate(p, fi.len);
    if (date.empty())
        return fault(i, ValueFault::Kind::NotADate, "Text \"" + std::string(p, fi.len) + "\" is not a date");
    return rt::Value(date);
}

rt::Value Table::Impl::decodeBinaryNumber(const FieldInfo& fi, const char* p) const
{
    const unsigned char* b = bytes(p);
    switch (fi.codec) {
    case Codec8::Int32: return rt::Value::integer(static_cast<std::int32_t>(le32(b)));
    case Codec8::Int32Sorted: return rt::Value::integer(static_cast<std::int32_t>(be32(b) ^ 0x80000000u));
    case Codec8::Currency: return rt::Value::number(double(static_cast<std::int64_t>(le64(b))) / 10000.0, 4);
    case Codec8::DoubleSorted: return rt::Value::number(sortedDouble(b), fi.dec);
    default: {
        const std::uint64_t raw = le64(b);
        double v;
        std::memcpy(&v, &raw, 8);
        return rt::Value::number(v, fi.dec);
    }
    }
}

rt::Value Table::Impl::decodeDateTime(int i, const FieldInfo& fi, const char* p) const
{
    std::int64_t julian = 0, ms = 0;
    if (fi.codec == Codec8::DateTime) {
        julian = static_cast<std::int32_t>(le32(bytes(p)));
        ms = le32(bytes(p) + 4);
    } else {
        const double total = sortedDouble(bytes(p));
        if (std::isfinite(total) && total >= 0 && total < 1e17) {
            const auto whole = static_cast<std::int64_t>(total);
            julian = whole / kMsPerDay;
            ms = whole % kMsPerDay;
        }
    }
    std::string text;
    if (!dateTimeText(julian, ms, text))
        return fault(i, ValueFault::Kind::NotADateTime,
                     "Date-time has day " + std::to_string(julian) + " and " + std::to_string(ms) + " ms");
    return rt::Value(text);
}

rt::Value Table::Impl::readMemo(int i, bool text) const
{
    const char* p = cur + fields[i].offset;
    std::uint64_t block = 0;
    if (info[i].binaryPointer) {
        block = le32(bytes(p));
    } else {
        for (int k = 0; k < fields[i].len; ++k) {
            const char c = p[k];
            if (c >= '0' && c <= '9')
                block = block * 10 + std::uint64_t(c - '0');
            else if (c != ' ' && c != '\0')
                return fault(i, ValueFault::Kind::BadMemo, "Memo block number is not a number");
            if (block > 0xFFFFFFFFull)
                return fault(i, ValueFault::Kind::BadMemo, "Memo block number is too large");
        }
    }
    if (!memo) {
        if (firstTelling(i))
            ++missingMemos;
        return {};
    }
    std::string data;
    try {
        data = memo->read(static_cast<std::uint32_t>(block));
    } catch (const rt::Error& e) {
        if (e.genCode != kErrCorrupt)
            throw;
        // The memo file raises with the length its block declares, when known.
        const std::int64_t length = !e.args.empty() && e.args[0].isNum() ? e.args[0].asInt() : -1;
        return fault(i, ValueFault::Kind::BadMemo, e.description, static_cast<std::int64_t>(block), length);
    }
    return text ? codec->decode(data.data(), data.size()) : rt::Value(std::string_view(data));
}

void Table::go(std::uint32_t recno)
{
    Impl& t = *d;
    t.flushRecord();
    if (recno == 0 || recno > t.count) {
        t.recno = 0;
        t.cur = t.blank.data();
        return;
    }
    if (recno < t.windowFirst || recno >= std::uint64_t(t.windowFirst) + t.windowCount) {
        if (t.recno == recno && t.cur == t.appended.data())
            return;  // the record just appended is current and written
        t.load(recno);
    }
    t.cur = t.window.data() + std::size_t(recno - t.windowFirst) * t.recLen;
    t.recno = recno;
    t.lastGo = recno;
}

bool Table::deleted() const { return d->recno != 0 && d->cur[0] == '*'; }

std::string_view Table::rawRecord() const { return {d->cur, d->recLen}; }

rt::Value Table::get(int field) const
{
    const Impl& t = *d;
    if (static_cast<std::size_t>(field) >= t.info.size())
        fail(kErrRead, t.path, "Field number " + std::to_string(field + 1) + " does not exist", -1, "get");
    const FieldInfo& fi = t.info[std::size_t(field)];
    const char* p = t.cur + fi.offset;
    if (t.isNull(field))
        return {};
    switch (storedKind(fi, p)) {
    case Stored::Blank: return blankValue(fi);
    case Stored::Overflow:
        return t.fault(field, ValueFault::Kind::Overflow, "Number \"" + std::string(p, fi.len) + "\" overflowed");
    case Stored::Value: break;
    }
    rt::Value v = t.decode(field, fi, p);
    if (t.nulFaults && v.isChar() && !isBinaryCodec(fi.codec) && fi.codec != Codec8::Timestamp &&
        fi.codec != Codec8::DateTime)
        t.tellNuls(field, v.asString());
    return v;
}

bool Table::isEmpty(int field) const
{
    const Impl& t = *d;
    if (static_cast<std::size_t>(field) >= t.info.size())
        return false;
    const FieldInfo& fi = t.info[std::size_t(field)];
    const char* p = t.cur + fi.offset;
    if (t.isNull(field))
        return true;
    switch (storedKind(fi, p)) {
    case Stored::Blank: return true;
    case Stored::Overflow: return false;
    case Stored::Value: break;
    }
    // Bytes are a value, even blanks; text of blanks is none.
    switch (fi.codec) {
    case Codec8::Char: return allOf(p, textEnd(p, fi.len), kBlanks);
    case Codec8::VarChar: {
        std::size_t n = fi.len;
        if (t.flagBit(fi.lengthBit))
            n = std::min<std::size_t>(static_cast<unsigned char>(p[n - 1]), n - 1);
        return allOf(p, n, kBlanks);
    }
    default: return false;
    }
}

void Table::setNulFaults(bool on) { d->nulFaults = on; }

std::string Table::numberText(int field) const { return numberText(field, get(field)); }

std::string Table::numberText(int field, const rt::Value& v) const
{
    if (!v.isNum())
        return {};
    const FieldInfo& fi = d->info[std::size_t(field)];
    const char* p = d->cur + fi.offset;
    switch (fi.codec) {
    case Codec8::Number:
        if (std::string exact = exactDecimal(p, fi.len, fi.dec); !exact.empty())
            return exact;
        break;
    case Codec8::Currency: return currencyText(static_cast<std::int64_t>(le64(bytes(p))));
    case Codec8::Double:
    case Codec8::DoubleSorted: return shortestText(v.asDouble());
    default: break;
    }
    return rt::numberText(v);
}

bool Table::isNull(int field) const { return static_cast<std::size_t>(field) < d->info.size() && d->isNull(field); }

bool Table::textOf(int field, std::string_view& out, bool& nul) const
{
    const Impl& t = *d;
    const FieldInfo* fi = t.fieldOf(field, Codec8::Char);
    if (!fi)
        return false;
    const char* p = t.cur + fi->offset;
    std::size_t n = fi->len;
    n = textEnd(p, n);  // NUL padding reads as blanks, which are dropped here
    if (t.codec->trimsBytes()) {
        constexpr std::uint64_t kEightBlanks = 0x2020202020202020ull;
        for (std::uint64_t w; n >= 8 && (std::memcpy(&w, p + n - 8, 8), w == kEightBlanks);)
            n -= 8;
        if (n >= 8)  // the blanks that end the last word are its high bytes
            n -= std::size_t(std::countl_zero(le64(bytes(p + n - 8)) ^ kEightBlanks) / 8);
        else
            while (n > 0 && p[n - 1] == ' ')
                --n;
        out = t.codec->text(p, n, t.scratch, nul);
    } else {
        t.scratch = t.codec->decode(p, n).str();
        t.scratch.erase(t.scratch.find_last_not_of(' ') + 1);
        nul = t.scratch.find('\0') != std::string::npos;
        out = t.scratch;
    }
    if (nul && t.nulFaults)
        t.tellNuls(field, out);
    return true;
}

bool Table::appendText(int field, std::string& out) const
{
    std::string_view text;
    bool nul = false;
    if (!textOf(field, text, nul))
        return false;
    out += text;
    return true;
}

bool Table::appendNumber(int field, std::string& out) const
{
    const Impl& t = *d;
    const FieldInfo* fi = t.fieldOf(field, Codec8::Number);
    if (!fi)
        return false;
    std::string_view text, whole, fraction;
    bool negative = false;
    // Up to 18 digits parseNumber() reads without fail: no fault to tell.
    if (!plainDecimal(t.cur + fi->offset, fi->len, text, negative, whole, fraction) ||
        whole.size() + fraction.size() > 18)
        return false;
    // Most writers store the exact text already: no sign "+", no leading
    // zero, at least the field's decimals. It goes out in one piece.
    const bool hasPoint = text.size() > std::size_t(whole.data() + whole.size() - text.data());
    if (text[0] != '+' && !whole.empty() && (whole.size() == 1 || whole[0] != '0') &&
        (hasPoint ? !fraction.empty() && fraction.size() >= std::size_t(fi->dec) : fi->dec == 0)) {
        out += text;
        return true;
    }
    appendDecimal(out, negative, whole, fraction, fi->dec);
    return true;
}

bool Table::dateOf(int field, rt::Date& out) const
{
    const Impl& t = *d;
    const FieldInfo* fi = t.fieldOf(field, Codec8::Date);
    if (!fi && !(fi = t.fieldOf(field, Codec8::DateText)))
        return false;
    const char* p = t.cur + fi->offset;
    // The common case, "yyyymmdd" from year 1000 on, read at once.
    if (fi->codec == Codec8::Date && *p >= '1' && *p <= '9') {
        int v[8];
        unsigned bad = 0;
        for (int k = 0; k < 8; ++k)
            bad |= unsigned(v[k] = p[k] - '0') > 9;
        if (!bad) {
            const rt::Date date = rt::makeDate(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5],
                                               v[6] * 10 + v[7]);
            if (date.empty())
                return false;
            out = date;
            return true;
        }
    }
    if (storedKind(*fi, p) == Stored::Blank) {
        out = {};
        return true;
    }
    const rt::Date date = parseDate(p, fi->len);
    if (date.empty())
        return false;
    out = date;
    return true;
}

bool Table::logicalOf(int field, bool& out) const
{
    const Impl& t = *d;
    const FieldInfo* fi = t.fieldOf(field, Codec8::Logical);
    if (!fi)
        return false;
    out = isTrue(t.cur[fi->offset]);
    return true;
}

void Table::setFaultHandler(FaultHandler handler) { d->onFault = std::move(handler); }
std::uint64_t Table::faultCount() const noexcept { return d->faults; }

}  // namespace dbf
