// What the table file's three parts (opening, reading, writing) share:
// how a field's bytes are read and the table's open state.
#pragma once

#include "cdx.h"
#include "memo.h"
#include "table_format.h"

#include "platform/dbf/table.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dbf {

namespace detail {

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

inline bool isBinaryCodec(Codec8 c)
{
    return c == Codec8::Raw || c == Codec8::VarRaw || c == Codec8::MemoRaw;
}

// Where a field descriptor keeps its parts: dBASE 7 widened the name.
struct Layout {
    std::uint32_t first, size, nameLen, type, len, dec;
};

// Where the text of a C field of n bytes ends: writers of C strings end it
// at a NUL and pad with NULs (the last byte tells), and that padding is no
// text.
std::size_t textEnd(const char* p, std::size_t n);

}  // namespace detail

using namespace detail;

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

}  // namespace dbf
