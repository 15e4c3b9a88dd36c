// The import's parts, shared by its files: how a field's value goes out,
// the reports of a table, and what a table was imported from.
#pragma once

#include "platform/dbf/table.h"
#include "platform/pgsql/failure.h"
#include "platform/pgsql/loader.h"
#include "platform/runtime/error.h"
#include "platform/runtime/value.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dbf {
class WorkArea;
}
namespace pgsql {
class Connection;
}

namespace app::import {

// ---------------------------------------------------------------- values

// The column a field becomes (as CreateTable makes it), by how its values
// are written.
enum class Column { Text, Padded, Numeric, Int4, Float8, Date, Boolean, Timestamp, Bytea };

[[nodiscard]] Column columnOf(const dbf::Field& f);

// Writes field `field` of the current record into a binary COPY row; false
// when it went as NULL (the field holds no value). Raises on a value of a
// kind its column cannot take.
bool writeBinary(pgsql::BinaryRow& row, const dbf::Table& table, int field, Column column, std::string& room);
// Appends the same value as an SQL literal for an INSERT; false, and nothing
// appended, when it is NULL (the INSERT leaves its column out).
bool writeLiteral(std::string& sql, const dbf::Table& table, int field, Column column);

// --------------------------------------------------------------- reports

// The rejected records of one table: the first ones listed, in record order
// (a shared load reports them as its sessions find them), the rest counted.
class RejectReport {
public:
    explicit RejectReport(std::string table) : table_(std::move(table)) {}
    void add(std::int64_t recno, const std::string& message);
    void print() const;
    [[nodiscard]] bool empty() const noexcept { return lines_.empty(); }
    [[nodiscard]] pgsql::RejectFn callback();

private:
    std::string table_;
    std::multimap<std::int64_t, std::string> lines_;
    std::int64_t unlisted_ = 0;
};

// The values of one table the DBF could not give: the first ones listed,
// the rest counted.
class FaultReport {
public:
    FaultReport(std::string table, const dbf::Table& dbf) : table_(std::move(table)), dbf_(dbf) {}
    void add(const dbf::ValueFault& f);
    void print() const;

private:
    std::string table_;
    const dbf::Table& dbf_;
    std::vector<std::string> lines_;
    std::int64_t unlisted_ = 0;
};

// While a table's records are sent, a note at the end of its console line
// when standard error is a terminal: records done of total, rows per second
// and time left, taken back when the table ends. Nothing is written when
// standard error is not a terminal.
class Progress {
public:
    using Clock = std::chrono::steady_clock;
    explicit Progress(std::uint32_t total);
    ~Progress() { finish(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void step(std::uint32_t done);
    // Takes the note back, before the console line goes on.
    void finish();

private:
    void show(std::string_view text);

    bool on_;
    std::uint32_t total_;
    std::size_t shown_ = 0;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_ = start_;
};

// ---------------------------------------------------------------- sources

// What a table was imported from, kept in its comment: the file's name,
// size, modification time, header date and record count, the rows the
// import left and the first transaction id after the import (rows with a
// newer one were written in SQL since).
struct Source {
    std::string file;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // nanoseconds since 1970
    std::string headerDate;  // "yymmdd" as the header's bytes 1-3 give it
    std::uint32_t records = 0;
    std::int64_t rows = 0;
    std::string xidAfter;
};

// The file as it is now (rows and xidAfter left empty); nullopt when it
// cannot be read.
[[nodiscard]] std::optional<Source> sourceOf(const std::string& path, const std::string& file, const dbf::Table& t);
// The comment that records a source, and the source a table's comment
// records (nullopt for a table imported before sources were kept).
[[nodiscard]] std::string sourceComment(const Source& s);
[[nodiscard]] std::optional<Source> recordedSource(pgsql::Connection& conn, const std::string& qualifiedTable);
// Whether the file differs from what was imported.
[[nodiscard]] bool changed(const Source& recorded, const Source& now);
// Rows inserted, updated or deleted in SQL since the import; nullopt when
// the server cannot tell (the reason in conn.errorText()).
[[nodiscard]] std::optional<std::int64_t> rowsChangedInSql(pgsql::Connection& conn, const std::string& qualifiedTable,
                                                           const Source& recorded);

// ------------------------------------------------------------------ tables

// How a table is loaded: the flags of the command line that matter here.
struct LoadPlan {
    bool copy = true;                    // COPY, else one INSERT per record
    bool replace = false;                // --refresh: the table exists and is replaced whole
    pgsql::Connection* helper = nullptr;  // a second session sharing a COPY load
};

// What became of one table.
enum class Outcome {
    Imported,  // whole, nothing told
    Told,      // imported, with records rejected or missing
    Failed,    // not imported, said why; the connection lives on
    Lost,      // the connection is gone
};

// Creates, fills and publishes one table, with its console lines; why: the
// reason of a failure.
Outcome importTable(pgsql::Connection& conn, dbf::WorkArea& area, const std::string& cTable,
                    const rt::Value& aDbStruct, const LoadPlan& plan, const std::optional<Source>& source,
                    std::string& why);

// The columns of a table's fields as statements name them (made by
// pgsql::columnNames, quoted where needed), and how each field's values go.
void tableColumns(const dbf::Table& t, std::vector<std::string>& columns, std::vector<Column>& kinds);

// The INSERT of the table's current record, built as
// "INSERT INTO s.t ( a,b ) VALUES ( 1,'x' )" with the columns that hold a
// value; false when none does. The parts are kept for the next record.
struct InsertText {
    std::string fields, values, sql;
};
bool insertStatement(InsertText& text, std::string_view table, const std::vector<std::string>& columns,
                     const std::vector<Column>& kinds, const dbf::Table& t);

// The schema a shared or replacing load is built in.
constexpr std::string_view kLoadSchema = "dxc_carga";

// A name as it stands in a statement: bare when it is a plain lower-case
// identifier, quoted otherwise.
[[nodiscard]] std::string sqlName(std::string_view name);

// Why a DBF could not be opened or read on, for the console in Spanish;
// the engine's own message goes to the log.
[[nodiscard]] std::string dbfFailureText(const rt::Error& e);

}  // namespace app::import
