// The query cursor: the whole result of one SELECT, walked row by row. Its
// runtime class "PGCursor" derives from "SQLDataSet", so a browse navigates
// it as an SQL cursor (Skipper, goTop, goBottom, RecNo, RecCount):
//
//     oCursor := PGCursor(oConn, "SELECT * FROM t WHERE code > $1", {10})
//     IF oCursor:lError ... oCursor:errorText ...
//
// The rows stay in libpq's result, one text per cell; a value becomes a
// runtime value only when fieldGet asks for it, so a million rows cost what
// libpq holds plus one 4-byte index per row. Values come back as the
// runtime's kinds: text, whole or decimal numbers (numeric keeps its scale),
// dates, logicals, NIL for NULL; other server types as their text.
//
// Parameters are sent through libpq, never pasted into the statement, and
// one statement only is accepted (libpq's extended protocol refuses two).
//
// Positions (RecNo) are 1-based in the current row order; sort reorders the
// rows and keeps the current row current. An empty result has RecNo 0.
#pragma once

#include "platform/runtime/block.h"
#include "platform/runtime/object.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct pg_result;

namespace pgsql {

class Connection;

// A comparison of two rows on one field: true when row x goes before row y.
// Text compares by its upper-cased form; NIL (NULL) goes before any value.
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
    // Field n of the current row; NIL for NULL, no row or no such field.
    [[nodiscard]] rt::Value fieldGet(int n) const;
    // Field n of row `row` (1-based position in the current order).
    [[nodiscard]] rt::Value valueAt(std::int64_t row, int n) const;
    // The current row as an array of its fields.
    [[nodiscard]] rt::Value rowArray(std::int64_t row) const;

    // Reorders the rows so that bBefore(x, y) holds for x before y; equal rows
    // keep their order. A FieldOrder sorts natively; any other block is
    // evaluated with two row arrays. An error of the block leaves the order
    // as it was. The current row stays current.
    void sort(const rt::Value& bBefore);

    [[nodiscard]] const std::string& errorText() const noexcept { return error_; }

    rt::Value lError;  // .T. after a failed open

private:
    struct Field;
    [[nodiscard]] const char* cell(std::int64_t row, int n) const;
    [[nodiscard]] rt::Value convert(const Field& f, const char* text) const;
    void sortNative(const FieldOrder& by);
    void sortByBlock(const rt::Value& block);
    void applyOrder(std::vector<std::uint32_t> order);

    std::unique_ptr<pg_result, void (*)(pg_result*)> result_;
    std::vector<Field> fields_;
    std::vector<std::uint32_t> order_;  // result row of each position
    std::int64_t cur_ = 0;
    bool eof_ = true;
    bool bof_ = true;
    std::string error_;
};

// The Cursor behind a value, or null.
[[nodiscard]] Cursor* asCursor(const rt::Value& v);

// Registers PGCursor(oConn, cSql[, aParams]): a cursor over the query's
// result (lError set when the server refused it).
void registerCursorFunctions();

}  // namespace pgsql
