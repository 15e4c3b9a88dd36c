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
#include "table_impl.h"

#include "platform/runtime/codepage.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cstdio>

namespace dbf {

namespace {

int g_codePageOverride = 0;

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

constexpr Layout kLayout32{32, 32, 11, 11, 16, 17};
constexpr Layout kLayout48{68, 48, 32, 32, 33, 34};

std::string hexByte(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
    return buf;
}

void needLength(const std::string& path, const Field& f, std::initializer_list<int> lens, const std::string& label,
                long long where)
{
    if (std::find(lens.begin(), lens.end(), f.len) == lens.end())
        fail(kErrCorrupt, path, label + " of type " + std::string(1, f.type) + " cannot have length " + std::to_string(f.len),
             where);
}

}  // namespace

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

bool codePageSupported(int codePage) { return codePage > 0 && codecSupported(codePage); }

void overrideCodePage(int codePage)
{
    if (codePage != 0 && !codecSupported(codePage))
        fail(kErrUnsupported, "", "Code page " + std::to_string(codePage) + " is not supported");
    g_codePageOverride = codePage;
}

}  // namespace dbf
