// Writing: records encoded and flushed, appended records, and new tables.
#include "table_impl.h"

#include "platform/runtime/codepage.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dbf {

namespace {

constexpr std::size_t kAppendBlockBytes = 256 * 1024;  // appended records written at once
constexpr std::uint32_t kVfpBacklink = 263;

}  // namespace

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
    std::string bytes = t.encodeField(field, v);
    // A lenient header's field of length 0 holds nothing: a blank value
    // writes nothing, any other would overwrite the next field.
    if (bytes.size() > t.info[i].len) {
        if (bytes.find_first_not_of(' ') != std::string::npos)
            t.badPut(field, kErrDataWidth, "Length " + std::to_string(t.info[i].len) + " cannot hold the value", v);
        bytes.resize(t.info[i].len);
    }
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
