// The query cursor: the result of one statement, walked row by row. Its
// runtime class "PGCursor" derives from "SQLDataSet", so a browse navigates
// it as an SQL cursor (Skipper, goTop, goBottom, RecNo, RecCount):
//
//     oCursor := PGCursor(oConn, "SELECT * FROM t WHERE code > $1", {10})
//     IF oCursor:lError ... oCursor:errorText ...
//
// The rows are kept as the server's text, one string per cell in large
// blocks; a value becomes a runtime value only when fieldGet asks for it, so
// a million rows cost their text plus 8 bytes per cell and 4 per row.
// Values come back as the runtime's kinds: text, whole or decimal numbers,
// dates, logicals, NIL for NULL; other server types as their text. A
// numeric whose digits a double cannot hold (more than 15 significant
// digits) comes back as its exact text, so no digit is ever lost; sorting
// compares numeric and money cells as decimals, from the server's text.
//
// open() reads the whole result. start() returns once the first row (or
// the end) has arrived and fetch() takes the rest as it comes, so a window
// can show a huge result while it loads; cancel() asks the server to stop
// (PQcancel) and keeps the rows that came.
//
// Parameters are sent through libpq, never pasted into the statement, and
// one statement only is accepted (libpq's extended protocol refuses two).
//
// Positions (RecNo) are 1-based in the current row order; sort reorders the
// rows and keeps the current row current. An empty result has RecNo 0.
#pragma once

#include "failure.h"
#include "platform/runtime/block.h"
#include "platform/runtime/object.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct pg_result;
struct pg_conn;

namespace pgsql {

class Connection;

// A comparison of two rows on one field: true when row x goes before row y.
// Text compares in the user's collation (platform/runtime/collation.h);
// NIL (NULL) goes before any value.
// With descend the order is reversed (NIL last). Evaluated as a block it
// takes two row arrays, {field 1, field 2, ...}; a cursor that receives it
// in sort compares its cells natively instead, in the same order.
class FieldOrder final : public rt::Block {
public:
    FieldOrder(int field, bool descend, std::string text = {});
    rt::Value call(rt::Args args) override;
    [[nodiscard]] int field() const noexcept { return field_; }
    [[nodiscard]] bool descend() const noexcept { return descend_; }
    // -1, 0, 1: the ascending order of two cell values.
    [[nodiscard]] static int compareValues(const rt::Value& x, const rt::Value& y);

private:
    int field_;  // 1-based
    bool descend_;
};

class Cursor final : public rt::Object {
public:
    Cursor();
    ~Cursor() override;
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    // Runs the statement with its parameters (NIL is NULL, dates as ISO,
    // logicals as true/false, numbers as plain text). False, with lError
    // and errorText, when the server refuses it; the cursor is then empty.
    bool open(Connection& conn, const std::string& sql, const std::vector<rt::Value>& params = {});

    // ---- a result read as it comes; the connection runs nothing else and
    // stays open until loading() is false.
    // Sends the statement and waits for its first row or its end. False, as
    // open, when the server refused it before any row.
    bool start(Connection& conn, const std::string& sql, const std::vector<rt::Value>& params = {});
    // Takes the rows that have arrived, at most `limit` (all when negative);
    // with wait, blocks until that many came or the result ended. Returns
    // the rows added. A failure after some rows keeps them and sets lError.
    std::int64_t fetch(bool wait, std::int64_t limit = -1);
    // Each remaining row handed to `row` (cells as the server's text, null
    // for NULL) instead of being kept; for writing a result straight out.
    using RowSink = void (*)(void* context, const char* const* cells, const int* lengths, int count);
    void drain(RowSink row, void* context);
    // True while rows may still come.
    [[nodiscard]] bool loading() const noexcept { return pending_ != nullptr; }
    // Asks the server to stop the statement and ends loading; the rows
    // that came stay. A result that ends this way is not an error.
    void cancel();
    [[nodiscard]] bool cancelled() const noexcept { return cancelled_; }
    // The SQLSTATE of the last failure ("" when none or not the server's).
    [[nodiscard]] const std::string& sqlState() const noexcept { return failure_.sqlstate; }
    // The last failure: kind, SQLSTATE, statement, position and the server's text.
    [[nodiscard]] const Failure& failure() const noexcept { return failure_; }
    // The server's type oid of field n (0 outside 1..fCount).
    [[nodiscard]] unsigned fieldOid(int n) const noexcept;

    // ---- navigation; each returns with the row it states
    // Moves n rows within 1..RecCount and returns the rows moved.
    std::int64_t skipper(std::int64_t n);
    void goTop();
    void goBottom();
    // Row n (1..RecCount) becomes current; other numbers leave it as it is. True when moved.
    bool goTo(std::int64_t n);
    [[nodiscard]] std::int64_t recNo() const noexcept { return cur_; }
    [[nodiscard]] std::int64_t recCount() const noexcept { return static_cast<std::int64_t>(order_.size()); }
    [[nodiscard]] bool eof() const noexcept { return order_.empty() || eof_; }
    [[nodiscard]] bool bof() const noexcept { return order_.empty() || bof_; }

    // ---- fields, numbered from 1
    [[nodiscard]] int fCount() const noexcept;
    [[nodiscard]] std::string fieldName(int n) const;  // "" outside 1..fCount
    [[nodiscard]] int fieldPos(std::string_view name) const;  // 0 when none; without regard to case
    // Type letter of field n: "C", "N", "D", "L"; "" outside 1..fCount.
    [[nodiscard]] std::string fieldType(int n) const;
    // Whether field n holds amounts: numbers, and money kept as its text.
    [[nodiscard]] bool fieldIsAmount(int n) const;
    // Field n of the current row; NIL for NULL, no row or no such field.
    [[nodiscard]] rt::Value fieldGet(int n) const;
    // Field n of row `row` (1-based position in the current order).
    [[nodiscard]] rt::Value valueAt(std::int64_t row, int n) const;
    // Field n of row `row` as the server's text; null for NULL or no such cell.
    [[nodiscard]] const char* textAt(std::int64_t row, int n) const { return cell(row, n); }
    // The current row as an array of its fields.
    [[nodiscard]] rt::Value rowArray(std::int64_t row) const;

    // Reorders the rows so that bBefore(x, y) holds for x before y; equal rows
    // keep their order. A FieldOrder sorts natively; any other block is
    // evaluated with two row arrays. An error of the block leaves the order
    // as it was. The current row stays current. Rows that arrive later are
    // put in that order when the result is complete.
    void sort(const rt::Value& bBefore);

    [[nodiscard]] const std::string& errorText() const noexcept { return error_; }

    rt::Value lError;  // .T. after a failed open

private:
    struct Field;
    void reset();
    bool send(Connection& conn, const std::string& sql, const std::vector<rt::Value>& params);
    // Takes one result of the pending statement; false when it was the last.
    bool take(pg_result* r);
    void finish();
    void growOrder();  // positions for the rows that came
    void keepRow(pg_result* r);
    void fail(pg_conn* conn, pg_result* r);
    [[nodiscard]] const char* rowCell(std::uint32_t row, int n) const
    {
        return cells_[std::size_t(row) * std::size_t(fCount()) + std::size_t(n) - 1];
    }
    [[nodiscard]] const char* cell(std::int64_t row, int n) const;
    [[nodiscard]] rt::Value convert(const Field& f, const char* text) const;
    void sortNative(const FieldOrder& by);
    void sortByBlock(const rt::Value& block);
    void applyOrder(std::vector<std::uint32_t> order);

    std::vector<Field> fields_;
    std::vector<std::unique_ptr<char[]>> blocks_;  // the cells' text
    std::size_t blockUsed_ = 0, blockSize_ = 0;
    std::vector<const char*> cells_;  // fCount per result row; null for NULL
    std::uint32_t rows_ = 0;          // result rows kept
    std::vector<std::uint32_t> order_;  // result row of each position
    std::int64_t cur_ = 0;
    bool eof_ = true;
    bool bof_ = true;
    std::string error_;
    Failure failure_;
    pg_conn* pending_ = nullptr;  // the connection while rows may come
    bool cancelled_ = false;
    rt::Value lastOrder_;  // the sort to apply again once the rows are all in
};

// -1, 0, 1: two decimal numbers in the server's text ("-12.50", "3", "NaN",
// which goes after every number as the server orders it) compared exactly,
// whatever their number of digits. Money text ("-$1,234.56") compares by
// its digits, sign and decimal point.
[[nodiscard]] int compareDecimalText(std::string_view x, std::string_view y);

// The Cursor behind a value, or null.
[[nodiscard]] Cursor* asCursor(const rt::Value& v);

// Registers PGCursor(oConn, cSql[, aParams]): a cursor over the query's
// result (lError set when the server refused it).
void registerCursorFunctions();

}  // namespace pgsql
