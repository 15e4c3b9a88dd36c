// One DBF table file (with its memo file) as other programs write it:
// dBASE III, dBASE IV, FoxPro and Visual FoxPro headers, memo files .DBT
// and .FPT, the language-driver byte naming the code page.
//
// The table is never loaded whole: records are read through a bounded
// buffer, so memory stays flat in the record count. Every fault of the file
// (truncated, lying header, memo pointer past the end, unknown field type,
// missing memo file) raises a runtime error naming the file and the fault.
#pragma once

#include "platform/runtime/value.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dbf {

enum class Format { DBase3, DBase4, FoxPro, VisualFoxPro };

struct Field {
    std::string name;  // upper case, as stored (at most 10 characters, 31 in dBASE 7 tables)
    char type = 'C';   // C N F D L M I B Y T (G and P are read as memo bytes)
    int len = 0;       // bytes in the record
    int dec = 0;
    int offset = 0;  // from the start of the record (the deleted flag is byte 0)
};

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
    // driver byte (850 when it is 0 or unknown; a known one whose code page
    // the runtime lacks raises). Errors carry subsystem "DBF" and the file.
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
    [[nodiscard]] bool readOnly() const noexcept;
    [[nodiscard]] const std::string& memoPath() const noexcept;  // empty when none
    [[nodiscard]] const std::vector<Field>& fields() const noexcept;
    [[nodiscard]] int fieldIndex(std::string_view name) const;  // 0-based, -1 when none
    [[nodiscard]] const std::vector<IndexTag>& indexTags() const noexcept;

    // Records in the file: the header's count, but never more than the file
    // holds whole (a count that claims more is a writer that died, or a cut
    // copy). A shared table re-reads the count from the header when asked to
    // (another process may have appended).
    [[nodiscard]] std::uint32_t recordCount() const noexcept;
    void refreshCount();

    // Makes record recno (1-based) current. 0 or a number past the end gives
    // the blank phantom record: every field holds its type's blank value.
    void go(std::uint32_t recno);
    [[nodiscard]] std::uint32_t recno() const noexcept;  // 0 for the phantom
    [[nodiscard]] bool deleted() const;

    // Field of the current record (0-based), decoded to the runtime's value:
    // C text (trailing blanks kept), N/F numbers with the field's decimals,
    // D date, L logical, M text, I/B/Y numbers, T as text "yyyy-mm-dd hh:mm:ss"
    // (".fff" added when the milliseconds are not 0), G/P the memo's bytes.
    // Empty fields read as the language's empty values, so Empty() is true
    // for them: blank or "*"-filled N/F give 0 (with the field's decimals),
    // a blank or "00000000" D the empty date, a blank or "?" L false, an
    // empty T and a memo without block "". A Visual FoxPro field whose null
    // flag is set gives NIL. Text that is not a number or a date raises
    // naming the field and the record.
    [[nodiscard]] rt::Value get(int field) const;
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
