// One DBF table file (with its memo file) as other programs write it:
// dBASE III, dBASE IV, dBASE 7, FoxPro and Visual FoxPro headers, memo
// files .DBT and .FPT of any block size, the language-driver byte (or the
// dBASE 7 driver name) naming the code page.
//
// The table is never loaded whole: records are read through a bounded
// buffer, so memory stays flat in the record count. A fault of the file
// (truncated header, lying header, unknown field type, missing memo file)
// raises a runtime error naming the file and the fault. A fault of one
// value (a date "NotAYear", a memo pointer past the end) reads as NIL and
// is told to the table's fault handler; a file cut short is told by
// headerCount() exceeding recordCount().
#pragma once

#include "platform/runtime/value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dbf {

enum class Format { DBase3, DBase4, DBase7, FoxPro, VisualFoxPro };

// Error::genCode of the table layer, one per kind of failure, so that a
// caller can word each for its users; the description stays for the log.
enum : int {
    kErrCreate = 20,
    kErrOpen = 21,         // the file cannot be opened, or is not there
    kErrRead = 23,         // the system refused a read
    kErrWrite = 24,
    kErrUnsupported = 30,  // a field type or code page this engine lacks
    kErrVersion = 31,      // a table format this engine does not read (dBASE II)
    kErrCorrupt = 32,      // a header, memo or index that makes no sense
    kErrDataType = 33,
    kErrDataWidth = 34,
    kErrRecordPastEnd = 35,  // the file ends before a record the header counts
    kErrReadOnly = 39,
};

struct Field {
    // Upper case, decoded through the table's code page (at most 10 bytes
    // stored, 31 in dBASE 7 tables). A name a field before already has gets
    // "_2", "_3", ... so that every name finds one field.
    std::string name;
    char type = 'C';  // C N F D L M I B Y T V Q W G P, dBASE 7 also @ O +
    int len = 0;      // bytes in the record
    int dec = 0;
    int offset = 0;       // from the start of the record (the deleted flag is byte 0)
    bool binary = false;  // the value is bytes, not text (G P W Q, binary C and memo, dBASE blobs)
};

// One value that could not be read; it reads as NIL.
struct ValueFault {
    // NulBytes: text holding NUL bytes, which some readers cannot keep; it
    // is told only when asked for (setNulFaults) and reads as it is.
    enum class Kind { NotANumber, Overflow, NotADate, NotADateTime, BadMemo, NulBytes };
    Kind kind;
    std::uint32_t recno = 0;
    int field = 0;      // 0-based
    std::string bytes;  // the field's bytes as stored
    std::string why;    // the engine's description, for the log
    // A memo whose block cannot be read: the block the field points to, and
    // how many bytes the block says it holds when that runs past the end of
    // the memo file (-1: not known).
    std::int64_t memoBlock = -1;
    std::int64_t memoLength = -1;
    std::int64_t nuls = 0;  // NulBytes: how many the text holds
};
using FaultHandler = std::function<void(const ValueFault&)>;

// A code page every table opened from now on is read in, whatever its
// header names (0: the header decides). Raises for a page the runtime lacks.
void overrideCodePage(int codePage);
// Whether tables in this code page can be read.
[[nodiscard]] bool codePageSupported(int codePage);

// A field of a table to create, as DbStruct gives it.
struct FieldSpec {
    std::string name;
    char type = 'C';
    int len = 0;
    int dec = 0;
};

// A tag of a structural compound index found beside the table.
struct IndexTag {
    std::string name;
    std::string key;      // key expression text
    std::string forExpr;  // FOR condition text, empty when none
    bool descending = false;
    bool unique = false;
};

class Table {
public:
    // Opens path; a missing memo file, a fault of the header or a table
    // that cannot be opened raises. readOnly also applies when the file
    // itself is read-only. A table with a structural index is opened, but
    // writes to it raise (we cannot keep another program's index current).
    // The table, its memo file and its index are found without regard to
    // the letter case of their names. The code page comes from the language
    // driver byte or name (850 when it is 0 or unknown, which
    // codePageAssumed() tells; a known one whose code page the runtime lacks
    // raises), unless overrideCodePage() names one. A .cpg file beside the
    // table (shapefiles) names the code page ahead of the header. When
    // neither names one, the page is detected from the field names and a
    // sample of the text (codePageDetected()); 850 is assumed when the text
    // tells nothing. A missing memo file leaves the table readable with its
    // memos NIL (memoMissing()). Errors carry subsystem "DBF" and the file.
    // Not thread-safe: a table belongs to one thread.
    static std::unique_ptr<Table> open(const std::string& path, bool readOnly, bool shared);

    // Creates a table (and its memo file when a field needs one), written to
    // a temporary file and renamed into place. Field names and types are
    // checked; codePage 0 means 850. D L M I B Y T take their fixed lengths
    // whatever length the caller gives. FoxPro with I B Y or T becomes Visual FoxPro;
    // the dBASE formats refuse them. A structural index left beside the path
    // by an earlier table is removed, since it indexed that table.
    static void create(const std::string& path, const std::vector<FieldSpec>& fields, Format format = Format::FoxPro,
                       int codePage = 0);

    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    [[nodiscard]] const std::string& path() const noexcept;
    [[nodiscard]] Format format() const noexcept;
    [[nodiscard]] int codePage() const noexcept;  // 437, 850, 1252, ...
    [[nodiscard]] bool codePageAssumed() const noexcept;
    [[nodiscard]] bool codePageDetected() const noexcept;
    // Where the code page came from: "override", "cpg", "header",
    // "detected" or "assumed".
    [[nodiscard]] const char* codePageSource() const noexcept;
    [[nodiscard]] unsigned char version() const noexcept;  // byte 0 of the header
    [[nodiscard]] bool readOnly() const noexcept;
    [[nodiscard]] const std::string& memoPath() const noexcept;  // empty when none
    // The table has memo fields but no memo file: memos read as NIL and
    // cannot be written. missingMemos(): values read so far that point to a
    // block of the missing file (once per record and field).
    [[nodiscard]] bool memoMissing() const noexcept;
    [[nodiscard]] std::uint64_t missingMemos() const noexcept;
    // The header's record length was one byte short of what the fields
    // need and the file's size fits the fields' sum (a writer's off-by-one):
    // records are read with the fields' sum. 0 when the header was right.
    [[nodiscard]] std::uint32_t headerRecordLength() const noexcept;
    [[nodiscard]] const std::vector<Field>& fields() const noexcept;
    [[nodiscard]] int fieldIndex(std::string_view name) const;  // 0-based, -1 when none
    [[nodiscard]] const std::vector<IndexTag>& indexTags() const noexcept;

    // Records in the file: the header's count, but never more than the file
    // holds whole (a count that claims more is a writer that died, or a cut
    // copy: headerCount() then exceeds it). A shared table re-reads the count
    // from the header when asked to (another process may have appended).
    [[nodiscard]] std::uint32_t recordCount() const noexcept;
    [[nodiscard]] std::uint32_t headerCount() const noexcept;
    void refreshCount();

    // Makes record recno (1-based) current. 0 or a number past the end gives
    // the blank phantom record: every field holds its type's blank value.
    void go(std::uint32_t recno);
    [[nodiscard]] std::uint32_t recno() const noexcept;  // 0 for the phantom
    [[nodiscard]] bool deleted() const;

    // Field of the current record (0-based), decoded to the runtime's value:
    // C text (trailing blanks kept), N/F numbers with the field's decimals,
    // D date (also "yyyy-mm-dd", "dd/mm/yyyy" or "yyyymmdd  " in 10 bytes), L logical,
    // M text, I/B/Y/O/+ numbers, T and @ as text "yyyy-mm-dd hh:mm:ss"
    // (".fff" added when the milliseconds are not 0), G/P/W/Q the bytes.
    // Text padded with NULs ends at its first NUL (the rest reads as blanks).
    // Blank fields read as the language's empty values, so Empty() is true
    // for them: N/F of blanks, a sign or a point give 0 (with the field's decimals), a blank or
    // "00000000" D the empty date, a blank or "?" L false, an empty T and a
    // memo without block "". A Visual FoxPro field whose null flag is set
    // gives NIL. A value that cannot be read (N/F text that is no number or
    // all "*", a date that does not exist, a memo block outside the memo
    // file) gives NIL and is told to the fault handler.
    [[nodiscard]] rt::Value get(int field) const;
    // The exact decimal text of a number field of the current record, as
    // SQL and JSON read it (no exponent, no binary rounding of N, F and Y;
    // the fewest digits that read back the same for B and O); "" when the
    // field holds no number.
    [[nodiscard]] std::string numberText(int field) const;
    // The same for a value get(field) has just given (the field is not read again).
    [[nodiscard]] std::string numberText(int field, const rt::Value& v) const;
    // For writers of many records (dumps): a field of the current record
    // appended to out without building a value. appendText takes a C field
    // and appends get()'s text without its trailing blanks; appendNumber
    // takes an N or F field holding a plain decimal of up to 18 digits and
    // appends numberText(). Both append nothing and give false for any other
    // field or content (a null, a blank or overflowed number, digits to
    // check): get() then decides, and tells a fault.
    bool appendText(int field, std::string& out) const;
    bool appendNumber(int field, std::string& out) const;
    // In the same way, a C field's text as appendText() gives it, seen in
    // the record or in the table's own room (good until the next call or
    // another record); nul tells whether it holds a NUL byte. A D field's
    // date (the empty date for a blank one) and an L field's truth, as get()
    // gives them. False, and out untouched, for any other field, a null, or
    // a date that does not exist (get() then tells the fault).
    bool textOf(int field, std::string_view& out, bool& nul) const;
    bool dateOf(int field, rt::Date& out) const;
    bool logicalOf(int field, bool& out) const;
    // Whether the field's null flag (Visual FoxPro) is set in the current
    // record: get() gives NIL.
    [[nodiscard]] bool isNull(int field) const;
    // Whether the field stores no value in the current record: its null
    // flag; a number of blanks, a sign or a point; a blank or "00000000"
    // date; a logical "?" or blank; a memo pointing to no block; an empty T;
    // a field of length 0; C or V text of blanks only. get() then gives NIL
    // or the type's empty value. A stored 0 or false is a value; so is one
    // that cannot be read (get() tells it).
    [[nodiscard]] bool isEmpty(int field) const;
    // Tell text values holding NUL bytes to the fault handler (NulBytes),
    // for readers that must drop them.
    void setNulFaults(bool on);
    // Where faults of single values go; without a handler they are counted.
    void setFaultHandler(FaultHandler handler);
    [[nodiscard]] std::uint64_t faultCount() const noexcept;
    // Encodes into the current record; raises on a value of the wrong kind,
    // a number too wide for the field, or text the code page cannot hold,
    // and then leaves the record as it was. Text longer than a C field is cut
    // to it. NIL is taken only by a nullable field (it sets the null flag).
    // A memo's new text goes to new blocks at the end of the memo file.
    // The record is written by flush() or when another record is made current
    // (or the table is closed), with the header's last-update date.
    void put(int field, const rt::Value& v);
    void setDeleted(bool deleted);
    void flush();

    // Appends a blank record and makes it current; it reaches the file when
    // the record is written, before the header's new count, so a crash
    // between them leaves the old count and a valid file.
    std::uint32_t appendBlank();

    // Raw bytes of the current record (for fast keys and dumps).
    [[nodiscard]] std::string_view rawRecord() const;

private:
    Table();
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace dbf
