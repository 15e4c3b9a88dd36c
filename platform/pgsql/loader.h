// Loading many rows into one table inside one transaction, fast, where a row
// the server rejects costs only that row.
//
// StatementPipeline sends statements in libpq's pipeline mode, so the
// caller's work (reading the next records, building the next statements)
// overlaps the server's. Statements go in batches, each opened by a
// savepoint; when a statement is rejected (a value the table refuses:
// SQLSTATE classes 22 and 23), the transaction is rolled back to its batch's
// savepoint, the statements of the batch before it are sent again, the
// rejected one is reported through the callback with its tag, and the rest
// follow. Any other failure ends the load. Memory is bounded by the batches
// in flight.
//
// CopyLoader does the same with COPY: rows go in COPY batches under a
// savepoint; a batch the server rejects is rolled back and its rows are sent
// again one by one as parameterized INSERTs through a StatementPipeline, so
// only the rejected rows are lost and the others land with the same values.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "failure.h"

namespace pgsql {

class Connection;

// Tag: the caller's number for a statement or row (the DBF record number);
// why: the server's refusal (or, for what cannot be sent, the loader's).
using RejectFn = std::function<void(std::int64_t tag, const Failure& why)>;

// A text value or SQL NULL.
using Field = std::optional<std::string>;
using FieldView = std::optional<std::string_view>;

class StatementPipeline {
public:
    StatementPipeline(Connection& conn, RejectFn onReject, int batchSize = 500);
    ~StatementPipeline();  // leaves pipeline mode, discarding what is unread
    StatementPipeline(const StatementPipeline&) = delete;
    StatementPipeline& operator=(const StatementPipeline&) = delete;

    // The caller has begun the transaction (Connection::execute("BEGIN"))
    // and commits it after finish(). start() turns pipeline mode on; false
    // (failure()) on failure.
    bool start();
    // Queues a statement; sends when a batch is full. False only when the
    // load cannot go on: the connection is lost (and closed), or a failure
    // that is no statement's own (a cancel, a full disk) ended it, leaving
    // the session for the caller's rollback. failure() says which and why.
    bool send(std::string sql, std::int64_t tag);
    // A statement with parameters ($1...), NULL where a field is empty; in
    // the server's text form, or binary (as binary COPY has them).
    bool sendParams(std::string sql, std::vector<Field> params, std::int64_t tag, bool binary = false);
    // Sends what is queued, waits for every result, pipeline mode off. False
    // when the transaction can no longer be committed (connection lost).
    bool finish();

    [[nodiscard]] std::int64_t rejected() const noexcept { return rejected_; }
    [[nodiscard]] std::int64_t accepted() const noexcept { return accepted_; }
    [[nodiscard]] const Failure& failure() const noexcept { return failure_; }

private:
    struct Item {
        std::string sql;
        std::vector<Field> params;
        bool hasParams = false;
        std::int64_t tag = 0;
        bool binary = false;
    };
    struct Batch {
        std::vector<Item> items;
        bool opensSavepoint = true;  // RELEASE (of the previous) and SAVEPOINT go first
        int headers = 0;             // how many such statements went first
    };
    // Rejected: the statement's own fault (a value refused); Failed: the
    // load cannot go on (a cancel, a full disk, ...) but the session can.
    enum class Outcome { Ok, Rejected, Skipped, Failed, Lost };

    bool queue(Item item);
    bool pump(bool all);
    bool sendBatch(Batch batch);
    bool readOldest();
    bool recover(Batch failed, std::size_t itemIndex, const Failure& message);
    bool drain(const Batch& batch);
    bool runAlone(const char* sql);
    Outcome readQuery(Failure& why);
    bool readSync();
    bool fail(Failure why);
    bool stop(Failure why);

    Connection& conn_;
    RejectFn onReject_;
    std::size_t batchSize_;
    std::deque<Item> pending_;    // not sent yet
    std::vector<Item> prefix_;    // a rejected batch's good start, sent again first
    std::deque<Batch> inFlight_;  // sent, results not read
    bool open_ = false;
    bool savepoint_ = false;  // a batch savepoint exists
    bool lost_ = false;
    std::int64_t rejected_ = 0;
    std::int64_t accepted_ = 0;
    Failure failure_;
};

// A buffer that grew past this for one big value (a memo of many
// megabytes) gives its memory back once used, rather than keep it for the
// rows after.
inline constexpr std::size_t kKeptBufferBytes = std::size_t(4) << 20;
inline void dropIfBig(std::string& buffer)
{
    if (buffer.capacity() > kKeptBufferBytes)
        std::string().swap(buffer);
}

// One row of binary COPY, built field by field into a buffer kept from row
// to row. Each field is written in the binary form of its column's type;
// the server checks lengths, ranges and typmods as it does for text.
class BinaryRow {
public:
    // Inline: these run for every field of a bulk load.
    void begin(std::size_t fields)
    {
        buf_.clear();
        put(static_cast<std::uint64_t>(fields), 2);
    }
    void null() { length(-1); }
    // text, character(n), bytea: the bytes as they are
    void bytes(std::string_view value)
    {
        length(static_cast<std::int32_t>(value.size()));
        buf_.append(value.data(), value.size());
    }
    void boolean(bool value)
    {
        length(1);
        buf_ += value ? '\1' : '\0';
    }
    void int4(std::int32_t value)
    {
        length(4);
        put(static_cast<std::uint32_t>(value), 4);
    }
    void int8(std::int64_t value)
    {
        length(8);
        put(static_cast<std::uint64_t>(value), 8);
    }
    void float8(double value);
    void date(std::int32_t daysSince2000) { int4(daysSince2000); }
    void timestamp(std::int64_t microsecondsSince2000) { int8(microsecondsSince2000); }
    // A numeric from its plain decimal text ("-12.50", ".5"); false, and
    // nothing written, for text of another shape.
    bool numeric(std::string_view text);
    [[nodiscard]] std::string_view data() const noexcept { return buf_; }
    // The row's bytes, handed over whole (a big row is not copied); the
    // row is empty after.
    [[nodiscard]] std::string take() { return std::exchange(buf_, {}); }

private:
    void length(std::int32_t n) { put(static_cast<std::uint32_t>(n), 4); }
    // The low `bytes` bytes of v, most significant first.
    void put(std::uint64_t v, int bytes)
    {
        char b[8];
        for (int i = 0; i < bytes; ++i)
            b[i] = static_cast<char>(v >> (8 * (bytes - 1 - i)));
        buf_.append(b, static_cast<std::size_t>(bytes));
    }
    std::string buf_;
    std::vector<std::int16_t> digits_;
};

class CopyLoader {
public:
    enum class Format { Text, Binary };
    // table: already quoted and qualified; columns: quoted names. Binary:
    // rows come from rowBinary(), each a BinaryRow's data.
    CopyLoader(Connection& conn, std::string qualifiedTable, std::vector<std::string> quotedColumns, RejectFn onReject,
               int batchRows = 20000, Format format = Format::Text);
    ~CopyLoader();
    CopyLoader(const CopyLoader&) = delete;
    CopyLoader& operator=(const CopyLoader&) = delete;

    // The caller has begun the transaction (Connection::execute("BEGIN")).
    // One value per column, in column order; the values are copied into the
    // batch's COPY text at once.
    bool row(std::span<const FieldView> values, std::int64_t tag);
    bool row(const std::vector<Field>& values, std::int64_t tag);
    // One binary row (BinaryRow::data()), for a loader made with Format::Binary.
    bool rowBinary(std::string_view tuple, std::int64_t tag);
    // Ends the last batch. The caller commits. False, as for the row
    // functions, when the load cannot go on: failure() says why.
    bool finish();

    [[nodiscard]] std::int64_t rejected() const noexcept { return rejected_; }
    [[nodiscard]] const Failure& failure() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::int64_t rejected_ = 0;
};

// COPY text format of one value: backslash, tab, newline and carriage
// return escaped; NULL as \N.
void appendCopyField(std::string& line, const FieldView& value);

}  // namespace pgsql
