// The table file.
//
// Header (numbers little-endian)
//   OFFSET SIZE  DESCRIPTION
//   0      1     version: 0x03 dBASE III and plain FoxPro, 0x83 dBASE III
//                with .DBT, 0x04 0x8B ... dBASE IV and 7, 0xF5 0xFB FoxPro
//                with .FPT, 0x30 0x31 0x32 Visual FoxPro (0x02, dBASE II,
//                has another header and is refused)
//   1      3     last update: year - 1900, month, day
//   4      4     record count
//   8      2     header length: the first record starts here
//   10     2     record length, the deleted flag included
//   28     1     table flags: 0x01 structural index, 0x02 memo (Visual FoxPro)
//   29     1     language driver: names the code page (0 means 850 here)
//   32     32*n  field descriptors, ended by 0x0D; Visual FoxPro writes 263
//                more bytes after it, which the header length covers. Some
//                writers end them with 0x00 or 0x0A, or not at all when the
//                header length ends with the last descriptor. No descriptor
//                at all (header length 33) is a table of records without
//                fields.
//
// Field descriptor
//   0      11    name, NUL-padded, in the table's code page
//   11     1     type letter
//   16     1     length (for C the decimals byte is the high byte of the length)
//   17     1     decimals
//   18     1     Visual FoxPro flags: 0x01 system, 0x02 nullable, 0x04 binary
//
// dBASE 7 (version bits 0-2 = 4) differs: a 32-byte language driver name
// ("DBWINUS0", "DB850WE0") follows the header, and field descriptors of 48
// bytes start at 68 (name 0..31, type 32, length 33, decimals 34); its I and
// + fields are 4 bytes big-endian with the sign bit inverted, O doubles and
// @ timestamps (milliseconds from Julian day 0) 8 bytes big-endian with the
// sign bit inverted (all bits when negative), so that all sort as bytes.
//
// Record: the deleted flag ('*' deleted, ' ' not), then the fields in order.
// The file may end with 0x1A. Visual FoxPro keeps bits in the hidden system
// field _NullFlags: in field order, one for each V or Q field (set: the
// field's last byte holds the length of its value) and then one for each
// nullable field (set: NULL).
#include "platform/dbf/table.h"

#include "cdx.h"
#include "memo.h"
#include "table_format.h"

#include "platform/runtime/codepage.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_map>

namespace dbf {

using namespace detail;

namespace {

constexpr std::size_t kWindowBytes = 256 * 1024;  // sequential read-ahead
constexpr std::size_t kAppendBlockBytes = 256 * 1024;  // appended records written at once
constexpr std::size_t kRandomBytes = 4096;        // read around a random go
constexpr std::uint32_t kVfpBacklink = 263;
constexpr std::int64_t kMsPerDay = 86400000;

int g_codePageOverride = 0;

// How the bytes of a field become a value.
enum class Codec8 : std::uint8_t {
    Char,          // C, decoded from the code page
    Raw,           // C with the binary flag: bytes as they are
    VarChar,       // V: C whose last byte may hold the value's length
    VarRaw,        // Q, and V with the binary flag
    Number,        // N F: ASCII digits
    Date,          // D: "yyyymmdd"
    DateText,      // D of 10 bytes: "yyyy-mm-dd" or "dd/mm/yyyy"
    Logical,       // L
    MemoText,      // M
    MemoRaw,       // G P W, dBASE B, binary M
    Int32,         // I
    Int32Sorted,   // I and + of dBASE 7: big-endian, sign bit inverted
    Double,        // B (8 bytes)
    DoubleSorted,  // O of dBASE 7
    Currency,      // Y: int64 / 10000
    DateTime,      // T: Julian day and milliseconds
    Timestamp,     // @ of dBASE 7: milliseconds from Julian day 0 as a sorted double
};

// What get() needs of a field, packed close together.
struct FieldInfo {
    std::uint32_t offset = 0;
    std::uint32_t len = 0;
    std::int16_t dec = 0;
    std::int16_t nullBit = -1;    // bit in _NullFlags, -1 when not nullable
    std::int16_t lengthBit = -1;  // V Q: bit in _NullFlags set when the last byte holds the length
    Codec8 codec = Codec8::Char;
    bool binaryPointer = false;  // memo block number as int32 instead of 10 digits
};

bool isBinaryCodec(Codec8 c)
{
    return c == Codec8::Raw || c == Codec8::VarRaw || c == Codec8::MemoRaw;
}

// Fields whose blank value is bytes 0, not blanks.
bool isZeroFilled(const FieldInfo& fi)
{
    switch (fi.codec) {
    case Codec8::Int32:
    case Codec8::Int32Sorted:
    case Codec8::Double:
    case Codec8::DoubleSorted:
    case Codec8::Currency:
    case Codec8::DateTime:
    case Codec8::Timestamp: return true;
    default: return fi.binaryPointer;
    }
}

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

// Where the text of a C field of n bytes ends: writers of C strings end it
// at a NUL and pad with NULs (the last byte tells), and that padding is no
// text.
std::size_t textEnd(const char* p, std::size_t n)
{
    if (n == 0 || p[n - 1] != '\0')
        return n;
    return std::size_t(static_cast<const char*>(std::memchr(p, '\0', n)) - p);
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

bool knownVersion(unsigned char version, Format& format)
{
    switch (version) {
    case 0x03:
    case 0x83: format = Format::DBase3; return true;
    case 0x04:
    case 0x05:
    case 0x43:
    case 0x63:
    case 0x8B:
    case 0x8C:
    case 0x8E:
    case 0xCB: format = Format::DBase4; return true;
    case 0xF5:
    case 0xFB: format = Format::FoxPro; return true;
    case 0x30:
    case 0x31:
    case 0x32: format = Format::VisualFoxPro; return true;
    default: return false;
    }
}

// Where a field descriptor keeps its parts: dBASE 7 widened the name.
struct Layout {
    std::uint32_t first, size, nameLen, type, len, dec;
};
constexpr Layout kLayout32{32, 32, 11, 11, 16, 17};
constexpr Layout kLayout48{68, 48, 32, 32, 33, 34};

std::string hexByte(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
    return buf;
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

void needLength(const std::string& path, const Field& f, std::initializer_list<int> lens, const std::string& label,
                long long where)
{
    if (std::find(lens.begin(), lens.end(), f.len) == lens.end())
        fail(kErrCorrupt, path, label + " of type " + std::string(1, f.type) + " cannot have length " + std::to_string(f.len),
             where);
}

}  // namespace

struct Table::Impl {
    File file;
    std::string path;
    Format format = Format::DBase3;
    unsigned char version = 0x03;
    int codePage = 850;
    const char* codePageSource = "header";
    std::vector<std::string> storedNames;  // field names as stored, decoded once the code page is known
    const Codec* codec = nullptr;
    bool readOnly = false;
    bool shared = false;
    std::string writeBlocker;  // index file whose presence forbids writes
    std::vector<Field> fields;
    std::vector<FieldInfo> info;
    std::unordered_map<std::string, int> byName;
    std::vector<IndexTag> tags;
    std::unique_ptr<MemoFile> memo;
    std::string memoPath;
    bool memoMissing = false;
    mutable std::uint64_t missingMemos = 0;
    std::uint32_t headerRecLen = 0;  // the header's record length when it was one byte short
    int nullFlagsOffset = -1;
    int nullFlagsBytes = 0;

    std::uint32_t headerLen = 0;
    std::uint32_t recLen = 0;
    std::uint32_t count = 0;
    std::uint32_t headerCount = 0;

    // Records [windowFirst, windowFirst + windowCount) as read from the file.
    std::vector<char> window;
    std::uint32_t windowFirst = 0;
    std::uint32_t windowCount = 0;
    std::string blank;     // the phantom record
    std::string appended;  // a record appended since the last flush
    char* cur = nullptr;
    std::uint32_t recno = 0;
    std::uint32_t lastGo = 0;
    std::uint32_t backRun = 0;  // records of the last backward read, 0 after any other
    bool dirty = false;
    bool pendingAppend = false;
    // Appended records not yet in the file, from record appendsFirst on: a
    // table opened exclusively writes them a block at a time (one write and
    // one header update per block instead of two writes per record).
    std::string appends;
    std::uint32_t appendsFirst = 0;
    bool dateStamped = false;

    // Faults of single values: told once per record and field read.
    FaultHandler onFault;
    bool nulFaults = false;
    mutable std::uint64_t faults = 0;
    mutable std::uint32_t faultRecno = 0;
    mutable std::vector<int> faultFields;
    // Text decoded for textOf().
    mutable std::string scratch;

    // --- opening ---
    void readHeader();
    void takeCodePage(unsigned char driver, const std::vector<unsigned char>& head, bool level7);
    [[nodiscard]] bool codePageAssumed() const { return std::string_view(codePageSource) == "assumed"; }
    [[nodiscard]] std::string textSample() const;
    void detectCodePage();
    void parseFields(const std::vector<unsigned char>& head);
    [[nodiscard]] bool hasLevel7Layout(const std::vector<unsigned char>& head) const;
    void addField(const Layout& layout, const unsigned char* d, std::uint32_t at, std::uint32_t& offset, int& flagBits);
    [[nodiscard]] FieldInfo codecOf(Field& f, unsigned char flags, bool level7, const std::string& label,
                                    long long where) const;
    [[nodiscard]] static FieldInfo emptyField(const Field& f);
    void nameFields();
    void mendRecordLength(std::uint32_t fieldsEnd, std::uint32_t countInHeader);
    std::string pastRecord;  // the first field past the header's record length
    long long pastRecordAt = -1;
    void openMemo();
    void findIndex(unsigned char flags);
    void buildBlank();
    void trustFileSize(std::uint32_t countInHeader);

    // --- reading ---
    void load(std::uint32_t n);
    [[nodiscard]] bool isNull(int i) const;
    // Field i when it exists, is read by `codec` and is not null in the current record.
    [[nodiscard]] const FieldInfo* fieldOf(int i, Codec8 codec) const;
    [[nodiscard]] bool flagBit(int bit) const;
    [[nodiscard]] rt::Value fault(int i, ValueFault::Kind kind, const std::string& why,
                                  std::int64_t memoBlock = -1, std::int64_t memoLength = -1) const;
    // Whether field i of the current record is told for the first time
    // (faults and missing memos are told once per record and field).
    [[nodiscard]] bool firstTelling(int i) const;
    void tellNuls(int i, std::string_view text) const;
    [[nodiscard]] rt::Value decode(int i, const FieldInfo& fi, const char* p) const;
    [[nodiscard]] rt::Value decodeText(const FieldInfo& fi, const char* p) const;
    [[nodiscard]] rt::Value decodeNumber(int i, const FieldInfo& fi, const char* p) const;
    [[nodiscard]] rt::Value decodeDate(int i, const FieldInfo& fi, const char* p) const;
    [[nodiscard]] rt::Value decodeBinaryNumber(const FieldInfo& fi, const char* p) const;
    [[nodiscard]] rt::Value decodeDateTime(int i, const FieldInfo& fi, const char* p) const;
    [[nodiscard]] rt::Value readMemo(int i, bool text) const;

    // --- writing ---
    void checkWritable(const char* operation) const;
    // holdAppends: an appended record may wait in `appends` (appendBlank);
    // otherwise everything written so far reaches the file.
    void flushRecord(bool holdAppends = false);
    void writeAppends();
    void stampHeader(bool withCount);
    void setNull(int i, bool null);
    [[nodiscard]] std::string encodeField(int i, const rt::Value& v);
    [[nodiscard]] std::string encodeText(int i, const rt::Value& v) const;
    [[nodiscard]] std::string encodeNumber(int i, const rt::Value& v) const;
    [[nodiscard]] std::string encodeMemo(int i, const rt::Value& v);
    [[nodiscard]] std::string encodeBinaryNumber(int i, const rt::Value& v) const;
    [[nodiscard]] std::string encodeDateTime(int i, const rt::Value& v) const;
    void requireKind(int i, const rt::Value& v, bool ok) const
    {
        if (!ok)
            badPut(i, kErrDataType, "Value of kind " + std::string(rt::valType(v)) + " is wrong", v);
    }
    [[noreturn]] void badPut(int i, int genCode, const std::string& what, const rt::Value& v) const
    {
        rt::Error e(what + " for field " + fields[i].name, "put", {v});
        e.subsystem = "DBF";
        e.genCode = genCode;
        e.filename = path;
        rt::raise(std::move(e));
    }
};

// --- opening ---

void Table::Impl::readHeader()
{
    const std::uint64_t size = file.size();
    unsigned char h[32];
    if (size < 32)
        fail(kErrCorrupt, path, "Table header is truncated (" + std::to_string(size) + " bytes)", 0);
    file.readExact(0, h, 32, "Table header");
    version = h[0];
    if (version == 0x02)
        fail(kErrVersion, path, "dBASE II tables (version byte 0x02) are not supported", 0);
    if (!knownVersion(version, format))
        fail(kErrCorrupt, path, "Not a table file (version byte " + hexByte(version) + ")", 0);
    const std::uint32_t countInHeader = le32(h + 4);
    headerLen = le16(h + 8);
    recLen = le16(h + 10);
    if (headerLen < 32 + 1)
        fail(kErrCorrupt, path, "Header length " + std::to_string(headerLen) + " is too short for a table", 8);
    if (headerLen > size)
        fail(kErrCorrupt, path,
             "Header length " + std::to_string(headerLen) + " runs past the end of the file (" + std::to_string(size) +
                 " bytes)",
             8);
    // An empty shapefile's table: no fields, record length 0, no records.
    if (recLen < 1 && headerLen > 32 + 1)
        fail(kErrCorrupt, path, "Record length 0 leaves no room for the deleted flag", 10);

    std::vector<unsigned char> head(headerLen);
    file.readExact(0, head.data(), head.size(), "Table header");
    const bool level7 = hasLevel7Layout(head);
    if (level7)
        format = Format::DBase7;
    takeCodePage(h[29], head, level7);
    parseFields(head);
    trustFileSize(countInHeader);
    if (codePageAssumed())
        detectCodePage();
    nameFields();
    findIndex(h[28]);
}

// A sample of the table's own text: its field names and the text fields of
// its first records (enough for the detector, little next to a whole read).
std::string Table::Impl::textSample() const
{
    constexpr std::size_t kSampleBytes = 64 * 1024;
    std::string sample;
    for (const std::string& name : storedNames)
        sample.append(name).append(" ");
    if (recLen == 0 || count == 0)
        return sample;
    const std::uint64_t want = std::min<std::uint64_t>(std::uint64_t(count) * recLen, 4 * kSampleBytes);
    std::string records(want, '\0');
    records.resize(file.readSome(headerLen, records.data(), records.size()));
    for (std::size_t at = 0; at + recLen <= records.size() && sample.size() < kSampleBytes; at += recLen)
        for (const FieldInfo& fi : info)
            if (fi.codec == Codec8::Char || fi.codec == Codec8::VarChar) {
                const char* p = records.data() + at + fi.offset;
                std::size_t n = textEnd(p, fi.len);
                while (n > 0 && p[n - 1] == ' ')
                    --n;
                if (n > 0)
                    sample.append(p, n).append(" ");
            }
    return sample;
}

// A table whose header names no code page: the page its text reads best in.
void Table::Impl::detectCodePage()
{
    const int found = rt::cp::detect(textSample());
    if (found == 0 || !codecSupported(found))
        return;
    codePage = found;
    codePageSource = "detected";
    codec = &Codec::of(codePage);
}

// The code page: the caller's override, else the .cpg file beside the
// table, else the dBASE 7 driver name, else the driver byte, else 850
// until detectCodePage() reads the text.
void Table::Impl::takeCodePage(unsigned char driver, const std::vector<unsigned char>& head, bool level7)
{
    codePage = codePageOfDriver(driver);
    if (level7) {
        const auto* name = reinterpret_cast<const char*>(head.data() + 32);
        if (const int named = codePageOfDriverName(std::string_view(name, strnlen(name, 32))))
            codePage = named;
    }
    codePageSource = codePage == 0 ? "assumed" : "header";
    if (codePage == 0)
        codePage = 850;
    if (const int cpg = codePageOfCpg(path)) {
        codePage = cpg;
        codePageSource = "cpg";
    }
    if (g_codePageOverride != 0) {
        codePage = g_codePageOverride;
        codePageSource = "override";
    }
    if (!codecSupported(codePage))
        fail(kErrUnsupported, path,
             "Code page " + std::to_string(codePage) + " of the table (language driver " + hexByte(driver) +
                 ") is not supported",
             29);
    codec = &Codec::of(codePage);
}

// dBASE 7 tables (version bits 0-2 = 4) put a language driver name before
// 48-byte field descriptors; a table whose bytes do not fit that shape is
// read with the classic layout.
bool Table::Impl::hasLevel7Layout(const std::vector<unsigned char>& head) const
{
    if ((version & 0x07) != 0x04 || headerLen < kLayout48.first + kLayout48.size + 1)
        return false;
    std::uint32_t at = kLayout48.first;
    for (; at + kLayout48.size <= headerLen && head[at] != 0x0D; at += kLayout48.size) {
        const unsigned char type = head[at + kLayout48.type];
        if (!std::isupper(type) && type != '+' && type != '@')
            return false;
    }
    return at > kLayout48.first && at < headerLen && head[at] == 0x0D;
}

void Table::Impl::parseFields(const std::vector<unsigned char>& head)
{
    const Layout& layout = format == Format::DBase7 ? kLayout48 : kLayout32;
    std::uint32_t offset = 1;
    int flagBits = 0;
    for (std::uint32_t at = layout.first; at < headerLen && head[at] != 0x0D; at += layout.size) {
        // Other writers end the descriptors with 0x00 or 0x0A: taken as the
        // end where the fields so far fill the record or the header ends.
        const bool otherEnd = head[at] == 0x00 || head[at] == 0x0A;
        if (otherEnd && (offset == recLen || at + 1 == headerLen))
            break;
        if (at + layout.size > headerLen)
            fail(kErrCorrupt, path,
                 "Header length " + std::to_string(headerLen) + " ends inside field descriptor " +
                     std::to_string(fields.size() + 1) + " (no 0x0D terminator before it)",
                 at);
        addField(layout, head.data() + at, at, offset, flagBits);
    }
    // Without fields the records hold only the deleted flag (shapefiles).
    if (fields.empty() && recLen > 1)
        fail(kErrCorrupt, path, "Table has no fields", 32);
    if (offset > recLen)
        mendRecordLength(offset, le32(head.data() + 4));
    if (flagBits > 0 && (nullFlagsOffset < 0 || flagBits > nullFlagsBytes * 8))
        fail(kErrCorrupt, path, "Nullable and variable-length fields lack their _NullFlags field", 32);
}

// A writer's known off-by-one: a record length one byte short of the
// fields' sum, in a file whose size fits the sum. The fields win; any other
// shortfall is a fault.
void Table::Impl::mendRecordLength(std::uint32_t fieldsEnd, std::uint32_t countInHeader)
{
    const std::uint64_t body = file.size() - headerLen;
    const std::uint64_t records = std::uint64_t(countInHeader) * fieldsEnd;
    if (fieldsEnd == recLen + 1 && (body == records || body == records + 1)) {
        headerRecLen = recLen;
        recLen = fieldsEnd;
        return;
    }
    if (!pastRecord.empty())
        fail(kErrCorrupt, path, pastRecord, pastRecordAt);
    fail(kErrCorrupt, path,
         "Fields end at byte " + std::to_string(fieldsEnd) + ", past the record length " + std::to_string(recLen), 10);
}

// A name a field before already has gets "_2", "_3", ...: tables written by
// other programs repeat names, and each name must find one field.
void Table::Impl::nameFields()
{
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i].name = rt::upperAscii(codec->decode(storedNames[i].data(), storedNames[i].size()).str());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string stored = fields[i].name;
        for (int n = 2; !byName.emplace(fields[i].name, int(i)).second; ++n)
            fields[i].name = stored + "_" + std::to_string(n);
    }
}

void Table::Impl::addField(const Layout& layout, const unsigned char* d, std::uint32_t at, std::uint32_t& offset,
                           int& flagBits)
{
    Field f;
    std::size_t nameLen = 0;
    while (nameLen < layout.nameLen && d[nameLen] != 0)
        ++nameLen;
    f.name = rt::upperAscii(codec->decode(reinterpret_cast<const char*>(d), nameLen).str());
    f.type = static_cast<char>(std::toupper(d[layout.type]));
    f.len = d[layout.len];
    f.dec = d[layout.dec];
    f.offset = static_cast<int>(offset);
    const unsigned char flags = format == Format::VisualFoxPro ? d[18] : 0;
    const long long where = at;
    const std::string label = "Field " + std::to_string(fields.size() + 1) + " (" + f.name + ")";
    if (f.type == 'C') {
        // The decimals byte is the length's high byte, unless that cannot
        // fit the record (an export that wrote its own number there).
        if (offset + std::uint32_t(f.len + f.dec * 256) <= recLen + 1u)
            f.len += f.dec * 256;
        f.dec = 0;
    }
    if (offset + std::uint32_t(f.len) > recLen && pastRecord.empty()) {
        pastRecord = label + " lies past the record length (ends at byte " + std::to_string(offset + f.len) + " of " +
                     std::to_string(recLen) + ")";
        pastRecordAt = where;
    }
    offset += std::uint32_t(f.len);

    if (f.type == '0') {  // _NullFlags: hidden, but its bytes are ours to read
        nullFlagsOffset = f.offset;
        nullFlagsBytes = f.len;
        return;
    }
    if (nameLen == 0)
        fail(kErrCorrupt, path, label + " has no name", where);

    // A field of length 0 holds nothing, whatever its type: it is always empty.
    FieldInfo fi = f.len == 0 ? emptyField(f) : codecOf(f, flags, &layout == &kLayout48, label, where + layout.type);
    if (f.type == 'V' || f.type == 'Q')
        fi.lengthBit = static_cast<std::int16_t>(flagBits++);
    if (flags & 0x02)
        fi.nullBit = static_cast<std::int16_t>(flagBits++);
    fi.offset = static_cast<std::uint32_t>(f.offset);
    fi.len = static_cast<std::uint32_t>(f.len);
    fi.dec = static_cast<std::int16_t>(f.dec);
    f.binary = isBinaryCodec(fi.codec);
    storedNames.emplace_back(reinterpret_cast<const char*>(d), nameLen);
    fields.push_back(std::move(f));
    info.push_back(fi);
}

FieldInfo Table::Impl::emptyField(const Field& f)
{
    FieldInfo fi;
    fi.codec = f.type == 'N' || f.type == 'F' ? Codec8::Number
               : f.type == 'D'                ? Codec8::Date
               : f.type == 'L'                ? Codec8::Logical
                                              : Codec8::Char;
    return fi;
}

// How a field's bytes are read, by type family; the lengths each type takes.
FieldInfo Table::Impl::codecOf(Field& f, unsigned char flags, bool level7, const std::string& label,
                               long long where) const
{
    const bool binary = flags & 0x04;
    FieldInfo fi;
    switch (f.type) {
    case 'C': fi.codec = binary ? Codec8::Raw : Codec8::Char; break;
    case 'V': fi.codec = binary ? Codec8::VarRaw : Codec8::VarChar; break;
    case 'Q': fi.codec = Codec8::VarRaw; break;
    case 'N':
    case 'F':
        fi.codec = Codec8::Number;
        if (f.dec > 0 && f.dec >= f.len)
            fail(kErrCorrupt, path,
                 label + " has " + std::to_string(f.dec) + " decimals in length " + std::to_string(f.len), where + 6);
        break;
    case 'D':
        needLength(path, f, {8, 10}, label, where + 5);
        fi.codec = f.len == 8 ? Codec8::Date : Codec8::DateText;
        break;
    case 'L':
        needLength(path, f, {1}, label, where + 5);
        fi.codec = Codec8::Logical;
        break;
    case 'M':
    case 'G':
    case 'P':
    case 'W':
        needLength(path, f, {4, 10}, label, where + 5);
        fi.codec = f.type == 'M' && !binary ? Codec8::MemoText : Codec8::MemoRaw;
        fi.binaryPointer = f.len == 4;
        break;
    case 'B':
        needLength(path, f, {8, 10}, label, where + 5);
        fi.codec = f.len == 8 ? Codec8::Double : Codec8::MemoRaw;
        break;
    case 'O':
    case '@':
        // Only dBASE 7 has them, but other writers put them in tables of
        // older versions: read as dBASE 7 writes them.
        needLength(path, f, {8}, label, where + 5);
        fi.codec = f.type == 'O' ? Codec8::DoubleSorted : Codec8::Timestamp;
        break;
    case 'I':
    case '+':
        needLength(path, f, {4}, label, where + 5);
        fi.codec = level7 || f.type == '+' ? Codec8::Int32Sorted : Codec8::Int32;
        break;
    case 'Y':
        needLength(path, f, {8}, label, where + 5);
        fi.codec = Codec8::Currency;
        f.dec = 4;
        break;
    case 'T':
        needLength(path, f, {8}, label, where + 5);
        fi.codec = Codec8::DateTime;
        break;
    default: {
        const auto type = static_cast<unsigned char>(f.type);
        fail(kErrUnsupported, path,
             label + " has unknown type '" + (std::isprint(type) ? std::string(1, f.type) : hexByte(type)) + "'",
             where);
    }
    }
    return fi;
}

void Table::Impl::trustFileSize(std::uint32_t countInHeader)
{
    // A header may claim more records than the file holds (a writer that
    // died between record and count, or a truncated copy): the file wins,
    // and headerCount keeps the claim so that callers can tell the damage.
    const std::uint64_t size = file.size();
    const std::uint64_t held = size > headerLen && recLen > 0 ? (size - headerLen) / recLen : 0;
    headerCount = countInHeader;
    count = static_cast<std::uint32_t>(std::min<std::uint64_t>(countInHeader, held));
}

void Table::Impl::openMemo()
{
    bool anyMemo = false;
    for (const FieldInfo& fi : info)
        anyMemo = anyMemo || fi.codec == Codec8::MemoText || fi.codec == Codec8::MemoRaw;
    if (!anyMemo)
        return;
    const bool fox = format == Format::FoxPro || format == Format::VisualFoxPro;
    const char* first = fox ? ".fpt" : ".dbt";
    const char* second = fox ? ".dbt" : ".fpt";
    std::string found = findSibling(path, first);
    const char* ext = first;
    if (found.empty()) {
        found = findSibling(path, second);
        ext = second;
    }
    if (found.empty()) {
        // The rest of the table is still there to read; its memos are NIL.
        memoMissing = true;
        return;
    }
    MemoFile::Kind kind = MemoFile::Kind::Fpt;
    if (std::string_view(ext) == ".dbt")
        kind = format == Format::DBase4 || format == Format::DBase7 ? MemoFile::Kind::Dbt4 : MemoFile::Kind::Dbt3;
    // A memo file that cannot be written makes the whole table read-only.
    memo = std::make_unique<MemoFile>(found, kind, readOnly);
    memoPath = found;
}

void Table::Impl::findIndex(unsigned char flags)
{
    // A compound index beside the table is its structural index, whether or
    // not the header's flag says so; a production .MDX counts only when the
    // flag claims it.
    const std::string cdx = findSibling(path, ".cdx");
    if (!cdx.empty()) {
        tags = readCdxTags(cdx);
        writeBlocker = cdx;
        return;
    }
    if (flags & 0x01)
        writeBlocker = findSibling(path, ".mdx");
}

void Table::Impl::buildBlank()
{
    blank.assign(recLen, ' ');
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (isZeroFilled(info[i]))
            std::fill_n(blank.begin() + fields[i].offset, fields[i].len, '\0');
    if (nullFlagsOffset >= 0)
        std::fill_n(blank.begin() + nullFlagsOffset, nullFlagsBytes, '\0');
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (info[i].codec == Codec8::Int32Sorted)
            blank[std::size_t(fields[i].offset)] = '\x80';  // 0 with its sign bit inverted
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

inline bool Table::Impl::flagBit(int bit) const
{
    return bit >= 0 && recno != 0 && (static_cast<unsigned char>(cur[nullFlagsOffset + bit / 8]) >> (bit % 8)) & 1;
}

inline bool Table::Impl::isNull(int i) const { return flagBit(info[i].nullBit); }

inline const FieldInfo* Table::Impl::fieldOf(int i, Codec8 c) const
{
    if (static_cast<std::size_t>(i) >= info.size() || info[std::size_t(i)].codec != c || info[std::size_t(i)].len == 0 ||
        isNull(i))
        return nullptr;
    return &info[std::size_t(i)];
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

// --- writing ---

void Table::Impl::checkWritable(const char* operation) const
{
    if (readOnly)
        fail(kErrReadOnly, path, "Table is opened read-only", -1, operation);
    if (!writeBlocker.empty())
        fail(kErrReadOnly, path,
             "Table has the structural index " + writeBlocker +
                 ", which cannot be kept current: open the table read-only",
             -1, operation);
}

void Table::Impl::stampHeader(bool withCount)
{
    const rt::Date today = rt::today();
    int y = 0, m = 0, dd = 0;
    rt::splitDate(today, y, m, dd);
    unsigned char h[7];
    h[0] = static_cast<unsigned char>(std::clamp(y - 1900, 0, 255));
    h[1] = static_cast<unsigned char>(m);
    h[2] = static_cast<unsigned char>(dd);
    putLe32(h + 3, count);
    file.write(1, h, withCount ? 7 : 3);
    dateStamped = true;
}

void Table::Impl::writeAppends()
{
    if (appends.empty())
        return;
    // The records (and the end mark) first, the header's count last: a
    // crash between them leaves the old count, which the file agrees with.
    appends += '\x1A';
    const std::uint64_t at = headerLen + std::uint64_t(appendsFirst - 1) * recLen;
    file.write(at, appends.data(), appends.size());
    appends.clear();
    stampHeader(true);
}

void Table::Impl::flushRecord(bool holdAppends)
{
    if (!dirty) {
        if (!holdAppends)
            writeAppends();
        return;
    }
    if (pendingAppend) {
        if (appends.empty())
            appendsFirst = recno;
        appends.append(cur, recLen);
        pendingAppend = false;
        dirty = false;
        // Others sharing the table must see each record at once.
        if (!holdAppends || shared || appends.size() >= kAppendBlockBytes)
            writeAppends();
        return;
    }
    writeAppends();
    const std::uint64_t at = headerLen + std::uint64_t(recno - 1) * recLen;
    file.write(at, cur, recLen);
    if (!dateStamped)
        stampHeader(false);
    dirty = false;
}

void Table::Impl::setNull(int i, bool null)
{
    const int bit = info[i].nullBit;
    auto& byte = reinterpret_cast<unsigned char&>(cur[nullFlagsOffset + bit / 8]);
    if (null)
        byte = static_cast<unsigned char>(byte | (1u << (bit % 8)));
    else
        byte = static_cast<unsigned char>(byte & ~(1u << (bit % 8)));
}

std::string Table::Impl::encodeField(int i, const rt::Value& v)
{
    switch (info[i].codec) {
    case Codec8::Char:
    case Codec8::Raw: return encodeText(i, v);
    case Codec8::Number: return encodeNumber(i, v);
    case Codec8::Date:
        requireKind(i, v, v.isDate());
        return rt::dtos(v.asDate());
    case Codec8::Logical:
        requireKind(i, v, v.isLogical());
        return v.asBool() ? "T" : "F";
    case Codec8::MemoText:
    case Codec8::MemoRaw: return encodeMemo(i, v);
    case Codec8::Int32:
    case Codec8::Int32Sorted:
    case Codec8::Double:
    case Codec8::Currency: return encodeBinaryNumber(i, v);
    case Codec8::DateTime: return encodeDateTime(i, v);
    default: badPut(i, kErrReadOnly, "Field type " + std::string(1, fields[i].type) + " is read-only", v);
    }
}

std::string Table::Impl::encodeText(int i, const rt::Value& v) const
{
    requireKind(i, v, v.isChar());
    std::string out;
    try {
        out = info[i].codec == Codec8::Raw ? v.str() : codec->encode(v.asString());
    } catch (rt::Error& e) {
        badPut(i, kErrDataType, e.description, v);
    }
    out.resize(info[i].len, ' ');
    return out;
}

std::string Table::Impl::encodeNumber(int i, const rt::Value& v) const
{
    const Field& f = fields[i];
    requireKind(i, v, v.isNum());
    if (!std::isfinite(v.asDouble()))
        badPut(i, kErrDataWidth, "Number is not finite", v);
    std::string out = rt::str(v, f.len, f.dec);
    if (out.find('*') != std::string::npos || out.size() != std::size_t(f.len))
        badPut(i, kErrDataWidth, "Number does not fit in " + std::to_string(f.len) + " characters", v);
    return out;
}

std::string Table::Impl::encodeMemo(int i, const rt::Value& v)
{
    const Field& f = fields[i];
    const FieldInfo& fi = info[i];
    if (f.type != 'M')
        badPut(i, kErrReadOnly, "Field type " + std::string(1, f.type) + " is read-only", v);
    requireKind(i, v, v.isChar());
    if (!memo)
        badPut(i, kErrOpen, "Memo file is missing", v);
    std::uint32_t block = 0;
    if (v.charLen() > 0) {
        std::string data;
        try {
            data = fi.codec == Codec8::MemoRaw ? v.str() : codec->encode(v.asString());
        } catch (rt::Error& e) {
            badPut(i, kErrDataType, e.description, v);
        }
        block = memo->write(data, fi.codec == Codec8::MemoText);
    }
    if (!fi.binaryPointer)
        return block == 0 ? std::string(fi.len, ' ') : rt::padL(std::to_string(block), fi.len);
    std::string out(4, '\0');
    putLe32(bytes(out.data()), block);
    return out;
}

std::string Table::Impl::encodeBinaryNumber(int i, const rt::Value& v) const
{
    requireKind(i, v, v.isNum());
    const double d = v.asDouble();
    std::string out(8, '\0');
    switch (info[i].codec) {
    case Codec8::Int32:
    case Codec8::Int32Sorted: {
        const double r = std::round(d);
        if (!(r >= -2147483648.0 && r <= 2147483647.0))
            badPut(i, kErrDataWidth, "Number does not fit in a 32-bit integer", v);
        out.resize(4);
        const auto u = static_cast<std::uint32_t>(static_cast<std::int32_t>(r));
        // The sorted form (big-endian, sign bit flipped) compares bytewise.
        if (info[i].codec == Codec8::Int32)
            putLe32(bytes(out.data()), u);
        else
            putBe32(bytes(out.data()), u ^ 0x80000000u);
        return out;
    }
    case Codec8::Currency: {
        const double units = std::round(d * 10000.0);
        if (!(units >= -9.2e18 && units <= 9.2e18))
            badPut(i, kErrDataWidth, "Number does not fit in a currency field", v);
        putLe64(bytes(out.data()), static_cast<std::uint64_t>(static_cast<std::int64_t>(units)));
        return out;
    }
    default: {
        std::uint64_t raw;
        std::memcpy(&raw, &d, 8);
        putLe64(bytes(out.data()), raw);
        return out;
    }
    }
}

std::string Table::Impl::encodeDateTime(int i, const rt::Value& v) const
{
    std::int32_t julian = 0;
    std::int64_t ms = 0;
    requireKind(i, v, v.isDate() || v.isChar());
    if (v.isDate()) {
        julian = v.asDate().julian;
    } else if (const std::string s = rt::alltrim(v.asString()); !s.empty()) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, frac = 0, used = 0;
        const int got = std::sscanf(s.c_str(), "%4d-%2d-%2d%n %2d:%2d:%2d%n.%3d%n", &y, &mo, &d, &used, &h, &mi, &sec,
                                    &used, &frac, &used);
        julian = rt::makeDate(y, mo, d).julian;
        if (got < 3 || static_cast<std::size_t>(used) != s.size() || julian == 0 || h > 23 || mi > 59 || sec > 59 ||
            h < 0 || mi < 0 || sec < 0 || frac < 0)
            badPut(i, kErrDataType, "Text is not a date-time \"yyyy-mm-dd hh:mm:ss\"", v);
        // "%3d" after the point: ".5" means 500 ms.
        const std::size_t point = s.find('.');
        if (point != std::string::npos)
            for (std::size_t digits = s.size() - point - 1; digits < 3; ++digits)
                frac *= 10;
        ms = ((h * 60LL + mi) * 60 + sec) * 1000 + frac;
    }
    std::string out(8, '\0');
    putLe32(bytes(out.data()), static_cast<std::uint32_t>(julian));
    putLe32(bytes(out.data()) + 4, static_cast<std::uint32_t>(ms));
    return out;
}

// --- Table ---

namespace {

// A field of a table to create, checked and laid out.
Field layoutField(const std::string& path, const FieldSpec& spec, bool vfp, std::uint32_t offset)
{
    Field f;
    f.name = rt::upperAscii(rt::alltrim(spec.name));
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(spec.type)));
    f.offset = static_cast<int>(offset);
    const std::string label = "Field " + (f.name.empty() ? std::string("without a name") : f.name);
    bool nameOk = !f.name.empty() && f.name.size() <= 10 && f.name[0] >= 'A' && f.name[0] <= 'Z';
    for (char c : f.name)
        nameOk = nameOk && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
    if (!nameOk)
        fail(kErrCreate, path, label + ": a field name is a letter and up to 9 letters, digits or _", -1, "create");
    auto fixed = [&](int len) {
        f.len = len;
        f.dec = 0;
    };
    switch (f.type) {
    case 'C':
        if (spec.len < 1 || spec.len > 254)
            fail(kErrCreate, path, label + ": type C takes 1 to 254 characters", -1, "create");
        fixed(spec.len);
        break;
    case 'N':
    case 'F':
        if (spec.len < 1 || spec.len > 20 || spec.dec < 0 || (spec.dec > 0 && spec.dec > spec.len - 2) || spec.dec > 15)
            fail(kErrCreate, path,
                 label + ": type " + std::string(1, f.type) + " takes 1 to 20 digits with room for the decimals", -1,
                 "create");
        f.len = spec.len;
        f.dec = spec.dec;
        break;
    case 'D': fixed(8); break;
    case 'L': fixed(1); break;
    case 'M': fixed(vfp ? 4 : 10); break;
    case 'I': fixed(4); break;
    case 'Y': fixed(8); break;
    case 'T': fixed(8); break;
    case 'B':
        fixed(8);
        f.dec = std::clamp(spec.dec, 0, 15);
        break;
    default:
        fail(kErrCreate, path, label + ": type '" + std::string(1, spec.type) + "' cannot be created", -1, "create");
    }
    return f;
}

std::string headerBytes(const std::vector<Field>& fields, Format format, unsigned char driver, bool hasMemo,
                        std::uint32_t recLen)
{
    const bool vfp = format == Format::VisualFoxPro;
    const std::uint32_t headerLen = 32 + 32 * std::uint32_t(fields.size()) + 1 + (vfp ? kVfpBacklink : 0);
    std::string h(headerLen, '\0');
    auto* p = bytes(h.data());
    switch (format) {
    case Format::DBase3: p[0] = hasMemo ? 0x83 : 0x03; break;
    case Format::DBase4:
    case Format::DBase7: p[0] = hasMemo ? 0x8B : 0x03; break;
    case Format::FoxPro: p[0] = hasMemo ? 0xF5 : 0x03; break;
    case Format::VisualFoxPro: p[0] = 0x30; break;
    }
    int y = 0, m = 0, dd = 0;
    rt::splitDate(rt::today(), y, m, dd);
    p[1] = static_cast<unsigned char>(std::clamp(y - 1900, 0, 255));
    p[2] = static_cast<unsigned char>(m);
    p[3] = static_cast<unsigned char>(dd);
    putLe16(p + 8, headerLen);
    putLe16(p + 10, recLen);
    p[28] = vfp && hasMemo ? 0x02 : 0x00;
    p[29] = driver;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        unsigned char* fd = p + 32 + 32 * i;
        std::memcpy(fd, fields[i].name.data(), fields[i].name.size());
        fd[11] = static_cast<unsigned char>(fields[i].type);
        if (vfp)
            putLe32(fd + 12, static_cast<std::uint32_t>(fields[i].offset));
        fd[16] = static_cast<unsigned char>(fields[i].len);
        fd[17] = static_cast<unsigned char>(fields[i].dec);
    }
    p[32 + 32 * fields.size()] = 0x0D;
    return h;
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find('.');
    return rt::upperAscii(dot == std::string::npos ? name : name.substr(0, dot));
}

}  // namespace

void Table::create(const std::string& path, const std::vector<FieldSpec>& specs, Format format, int codePage)
{
    if (codePage == 0)
        codePage = 850;
    if (format == Format::DBase7)
        fail(kErrCreate, path, "dBASE 7 tables are read, not created", -1, "create");
    const unsigned char driver = driverOfCodePage(codePage);
    if (driver == 0 || !rt::cp::supported(codePage))
        fail(kErrCreate, path, "Code page " + std::to_string(codePage) + " cannot be named in a table header", -1,
             "create");
    if (specs.empty() || specs.size() > 255)
        fail(kErrCreate, path, "A table has 1 to 255 fields, not " + std::to_string(specs.size()), -1, "create");
    // FoxPro 2 lacks the binary types: a table that needs them becomes a
    // Visual FoxPro table; the dBASE formats cannot hold them at all.
    for (const FieldSpec& s : specs) {
        const char type = static_cast<char>(std::toupper(static_cast<unsigned char>(s.type)));
        if (std::string_view("IBYT").find(type) == std::string_view::npos)
            continue;
        if (format == Format::FoxPro)
            format = Format::VisualFoxPro;
        else if (format != Format::VisualFoxPro)
            fail(kErrCreate, path, "Field " + s.name + ": type " + std::string(1, type) + " needs a FoxPro table", -1,
                 "create");
    }
    const bool vfp = format == Format::VisualFoxPro;
    std::vector<Field> fields;
    std::uint32_t offset = 1;
    bool hasMemo = false;
    for (const FieldSpec& s : specs) {
        Field f = layoutField(path, s, vfp, offset);
        for (const Field& other : fields)
            if (other.name == f.name)
                fail(kErrCreate, path, "Field " + f.name + " is named twice", -1, "create");
        offset += std::uint32_t(f.len);
        hasMemo = hasMemo || f.type == 'M';
        fields.push_back(std::move(f));
    }
    if (offset > 0xFFFF)
        fail(kErrCreate, path, "Record length " + std::to_string(offset) + " exceeds 65535 bytes", -1, "create");

    // The table first: should the memo file's rename never happen, a new
    // table without records is still sound beside any memo file.
    {
        TempFile table(path);
        table.append(headerBytes(fields, format, driver, hasMemo, offset));
        table.append("\x1A");
        table.commit();
    }
    if (hasMemo) {
        const bool fox = format == Format::FoxPro || vfp;
        const MemoFile::Kind kind = fox                        ? MemoFile::Kind::Fpt
                                    : format == Format::DBase4 ? MemoFile::Kind::Dbt4
                                                               : MemoFile::Kind::Dbt3;
        TempFile memo(siblingName(path, fox ? ".fpt" : ".dbt"));
        memo.append(MemoFile::header(kind, baseName(path)));
        memo.commit();
    }
    // An index left by the table this one replaces would block every write.
    const std::string staleIndex = findSibling(path, ".cdx");
    if (!staleIndex.empty())
        std::remove(staleIndex.c_str());
}

Table::Table() : d(std::make_unique<Impl>()) {}

Table::~Table()
{
    if (d && (d->dirty || !d->appends.empty()))
        rt::runReporting([this] { d->flushRecord(); });
}

std::unique_ptr<Table> Table::open(const std::string& path, bool readOnly, bool shared)
{
    std::unique_ptr<Table> t(new Table());
    Impl& d = *t->d;
    d.path = findFileNoCase(path);
    if (d.path.empty())
        fail(kErrOpen, path, "Table file does not exist", -1, "open");
    d.readOnly = readOnly;
    d.shared = shared;
    d.file.open(d.path, d.readOnly);
    d.readHeader();
    d.openMemo();
    d.buildBlank();
    d.cur = d.blank.data();
    return t;
}

const std::string& Table::path() const noexcept { return d->path; }
Format Table::format() const noexcept { return d->format; }
int Table::codePage() const noexcept { return d->codePage; }
bool Table::codePageAssumed() const noexcept { return std::string_view(d->codePageSource) == "assumed"; }
bool Table::codePageDetected() const noexcept { return std::string_view(d->codePageSource) == "detected"; }
const char* Table::codePageSource() const noexcept { return d->codePageSource; }
bool Table::memoMissing() const noexcept { return d->memoMissing; }
std::uint64_t Table::missingMemos() const noexcept { return d->missingMemos; }
std::uint32_t Table::headerRecordLength() const noexcept { return d->headerRecLen; }
unsigned char Table::version() const noexcept { return d->version; }
std::uint32_t Table::headerCount() const noexcept { return d->headerCount; }
bool Table::readOnly() const noexcept { return d->readOnly; }
const std::string& Table::memoPath() const noexcept { return d->memoPath; }
const std::vector<Field>& Table::fields() const noexcept { return d->fields; }
const std::vector<IndexTag>& Table::indexTags() const noexcept { return d->tags; }
std::uint32_t Table::recordCount() const noexcept { return d->count; }
std::uint32_t Table::recno() const noexcept { return d->recno; }

int Table::fieldIndex(std::string_view name) const
{
    const auto it = d->byName.find(rt::upperAscii(rt::alltrim(name)));
    return it == d->byName.end() ? -1 : it->second;
}

void Table::refreshCount()
{
    d->flushRecord();
    unsigned char h[8];
    d->file.readExact(0, h, 8, "Table header");
    d->trustFileSize(le32(h + 4));
    d->windowCount = 0;  // another process may have changed records
    if (d->recno > d->count) {
        d->recno = 0;
        d->cur = d->blank.data();
    }
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

bool codePageSupported(int codePage) { return codePage > 0 && codecSupported(codePage); }

void overrideCodePage(int codePage)
{
    if (codePage != 0 && !codecSupported(codePage))
        fail(kErrUnsupported, "", "Code page " + std::to_string(codePage) + " is not supported");
    g_codePageOverride = codePage;
}

void Table::put(int field, const rt::Value& v)
{
    Impl& t = *d;
    t.checkWritable("put");
    if (field < 0 || static_cast<std::size_t>(field) >= t.fields.size())
        fail(kErrWrite, t.path, "Field number " + std::to_string(field + 1) + " does not exist", -1, "put");
    if (t.recno == 0)
        fail(kErrWrite, t.path, "No current record to write (end of file)", -1, "put");
    const std::size_t i = std::size_t(field);
    if (v.isNil() && t.info[i].nullBit >= 0) {
        t.setNull(field, true);
        t.dirty = true;
        return;
    }
    // Encoded before anything changes, so a refused value leaves the record as it was.
    const std::string bytes = t.encodeField(field, v);
    // A lenient header may describe a field the stored record cannot hold.
    if (t.fields[i].offset + bytes.size() > t.recLen)
        fail(kErrWrite, t.path, "Field " + t.fields[i].name + " lies past the end of the record", -1, "put");
    std::memcpy(t.cur + t.fields[i].offset, bytes.data(), bytes.size());
    if (t.info[i].nullBit >= 0)
        t.setNull(field, false);
    t.dirty = true;
}

void Table::setDeleted(bool deleted)
{
    Impl& t = *d;
    t.checkWritable("delete");
    if (t.recno == 0)
        fail(kErrWrite, t.path, "No current record to write (end of file)", -1, "delete");
    t.cur[0] = deleted ? '*' : ' ';
    t.dirty = true;
}

void Table::flush() { d->flushRecord(); }

std::uint32_t Table::appendBlank()
{
    Impl& t = *d;
    t.checkWritable("append");
    t.flushRecord(true);
    if (t.count == 0xFFFFFFFFu || t.headerLen + (std::uint64_t(t.count) + 1) * t.recLen > 0xFFFFFFFFull)
        fail(kErrWrite, t.path, "Table is full", -1, "append");
    t.appended = t.blank;
    ++t.count;
    t.recno = t.count;
    t.cur = t.appended.data();
    t.dirty = true;
    t.pendingAppend = true;
    return t.recno;
}

}  // namespace dbf
