// The pipelined statement loader and the COPY loader.
//
// A batch goes out as [RELEASE SAVEPOINT dxc_batch] SAVEPOINT dxc_batch,
// its statements, Sync. When a statement fails the server skips the rest up
// to the Sync, and every later batch already sent fails whole, because the
// transaction stays aborted until ROLLBACK TO SAVEPOINT. Recovery therefore
// reads what is in flight, rolls back to the failed batch's savepoint,
// re-sends the statements before the rejected one under that same savepoint,
// and queues everything after it again.
#include "loader.h"

#include "connection.h"
#include "pq_internal.h"

#include "platform/runtime/error.h"

#include <algorithm>
#include <cstring>

namespace pgsql {

using detail::Result;

namespace {

// Two batches in flight: the server works on one while the caller builds
// the next, and memory stays bounded.
constexpr std::size_t kMaxInFlight = 2;
// libpq's limit on parameters of one statement.
constexpr std::size_t kMaxParams = 65535;
// COPY data goes to libpq in pieces of about this size.
constexpr std::size_t kCopyChunk = 64 * 1024;

bool sendText(PGconn* c, const char* sql)
{
    return PQsendQueryParams(c, sql, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
}

// Why the connection cannot start a load (it must be open, idle inside a
// transaction); "" when it can.
const char* cannotLoad(Connection& conn)
{
    PGconn* c = conn.handle();
    if (!c || PQstatus(c) != CONNECTION_OK)
        return "not connected";
    if (PQpipelineStatus(c) != PQ_PIPELINE_OFF)
        return "the connection is busy with a pipeline";
    if (PQtransactionStatus(c) != PQTRANS_INTRANS)
        return "a load needs an open transaction (BEGIN)";
    return "";
}

}  // namespace

// ------------------------------------------------------------ StatementPipeline

StatementPipeline::StatementPipeline(Connection& conn, RejectFn onReject, int batchSize)
    : conn_(conn), onReject_(std::move(onReject)), batchSize_(static_cast<std::size_t>(std::max(batchSize, 1)))
{
}

StatementPipeline::~StatementPipeline()
{
    if (!open_ || lost_)
        return;
    // Leaving pipeline mode needs every result read; unsent statements are dropped.
    while (!inFlight_.empty()) {
        const Batch b = std::move(inFlight_.front());
        inFlight_.pop_front();
        if (!drain(b))
            return;
    }
    PQexitPipelineMode(conn_.handle());
}

bool StatementPipeline::start()
{
    if (open_)
        return true;
    if (const char* why = cannotLoad(conn_); *why) {
        failure_ = localFailure(why);
        return false;
    }
    if (PQenterPipelineMode(conn_.handle()) != 1) {
        failure_ = detail::failureOf(conn_.handle(), nullptr);
        return false;
    }
    open_ = true;
    return true;
}

bool StatementPipeline::send(std::string sql, std::int64_t tag) { return queue(Item{std::move(sql), {}, false, tag}); }

bool StatementPipeline::sendParams(std::string sql, std::vector<Field> params, std::int64_t tag, bool binary)
{
    return queue(Item{std::move(sql), std::move(params), true, tag, binary});
}

bool StatementPipeline::queue(Item item)
{
    if (lost_)
        return false;
    if (!open_) {
        failure_ = localFailure("the pipeline is not started");
        return false;
    }
    // What libpq would refuse to send is rejected here, so a send failure
    // always means the connection.
    const char* local = nullptr;
    if (item.sql.find('\0') != std::string::npos)
        local = "the statement contains a NUL character";  // libpq would send it cut short
    else if (item.params.size() > kMaxParams)
        local = "too many parameters";
    if (local) {
        ++rejected_;
        if (onReject_)
            onReject_(item.tag, localFailure(local));
        return true;
    }
    for (Field& p : item.params)
        if (!item.binary && p && p->find('\0') != std::string::npos)
            p = detail::withoutNul(*p);
    pending_.push_back(std::move(item));
    return pump(false);
}

bool StatementPipeline::finish()
{
    if (lost_)
        return false;
    if (!open_)
        return true;
    if (!pump(true))
        return false;
    // The last savepoint goes too, so a later load does not nest under it.
    if (savepoint_) {
        if (!runAlone("RELEASE SAVEPOINT dxc_batch"))
            return false;
        savepoint_ = false;
    }
    if (PQexitPipelineMode(conn_.handle()) != 1)
        return fail(detail::failureOf(conn_.handle(), nullptr));
    open_ = false;
    return true;
}

// Sends full batches (all: everything) while keeping at most kMaxInFlight
// batches unread; with all, reads every result.
bool StatementPipeline::pump(bool all)
{
    for (;;) {
        const bool prefixReady = !prefix_.empty();
        const bool batchReady = pending_.size() >= batchSize_ || (all && !pending_.empty());
        if (!prefixReady && !batchReady) {
            if (!all || inFlight_.empty())
                return true;
            if (!readOldest())
                return false;
            continue;
        }
        if (inFlight_.size() >= kMaxInFlight) {
            if (!readOldest())
                return false;
            continue;
        }
        Batch b;
        if (prefixReady) {
            // The rolled-back savepoint still stands right before these.
            b.items = std::move(prefix_);
            prefix_.clear();
            b.opensSavepoint = false;
        } else {
            const std::size_t n = std::min(batchSize_, pending_.size());
            b.items.reserve(n);
            for (std::size_t i = 0; i < n; ++i) {
                b.items.push_back(std::move(pending_.front()));
                pending_.pop_front();
            }
        }
        if (!sendBatch(std::move(b)))
            return false;
    }
}

bool StatementPipeline::sendBatch(Batch b)
{
    PGconn* c = conn_.handle();
    if (b.opensSavepoint) {
        if (savepoint_) {
            if (!sendText(c, "RELEASE SAVEPOINT dxc_batch"))
                return fail(detail::failureOf(c, nullptr));
            ++b.headers;
        }
        if (!sendText(c, "SAVEPOINT dxc_batch"))
            return fail(detail::failureOf(c, nullptr));
        ++b.headers;
        savepoint_ = true;
    }
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const Item& it : b.items) {
        values.clear();
        lengths.clear();
        for (const Field& p : it.params) {
            values.push_back(p ? p->c_str() : nullptr);
            lengths.push_back(p ? static_cast<int>(p->size()) : 0);
        }
        formats.assign(values.size(), 1);
        if (PQsendQueryParams(c, it.sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                              it.binary ? lengths.data() : nullptr, it.binary ? formats.data() : nullptr, 0) != 1)
            return fail(detail::failureOf(c, nullptr));
    }
    if (PQpipelineSync(c) != 1)
        return fail(detail::failureOf(c, nullptr));
    inFlight_.push_back(std::move(b));
    return true;
}

// The results of one statement: one result, then the null that ends it.
StatementPipeline::Outcome StatementPipeline::readQuery(Failure& why)
{
    PGconn* c = conn_.handle();
    Result r(PQgetResult(c));
    Outcome out = Outcome::Ok;
    switch (PQresultStatus(r.get())) {
    case PGRES_COMMAND_OK:
    case PGRES_TUPLES_OK:
    case PGRES_EMPTY_QUERY: break;
    case PGRES_PIPELINE_ABORTED: out = Outcome::Skipped; break;
    case PGRES_COPY_IN:
    case PGRES_COPY_OUT:
    case PGRES_COPY_BOTH: why = localFailure("COPY cannot run in a pipeline"); return Outcome::Lost;
    default:
        why = detail::failureOf(c, r.get());
        out = !r || detail::sessionLost(c, r.get()) ? Outcome::Lost
              : detail::rowFault(r.get())           ? Outcome::Rejected
                                                    : Outcome::Failed;
        break;
    }
    if (out == Outcome::Lost)
        return out;
    while (Result extra{PQgetResult(c)})
        if (PQstatus(c) != CONNECTION_OK)
            break;
    if (PQstatus(c) != CONNECTION_OK) {
        why = detail::failureOf(c, nullptr);
        return Outcome::Lost;
    }
    return out;
}

bool StatementPipeline::readSync()
{
    PGconn* c = conn_.handle();
    Result r(PQgetResult(c));
    if (PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC)
        return true;
    return fail(detail::failureOf(c, r.get()));
}

// Reads the oldest batch's results; a rejected statement starts recovery,
// a failure that is no statement's own ends the load.
bool StatementPipeline::readOldest()
{
    Batch b = std::move(inFlight_.front());
    inFlight_.pop_front();
    Failure message, failure;
    bool stopped = false;
    const auto failed = [&](Outcome o) {
        if (o != Outcome::Ok && o != Outcome::Skipped && !stopped) {
            failure = message;
            stopped = true;
        }
    };
    // Earlier batches succeeded or were recovered, so a savepoint statement
    // fails only when the transaction itself cannot go on.
    for (int h = 0; h < b.headers; ++h) {
        const Outcome o = readQuery(message);
        if (o == Outcome::Lost)
            return fail(message);
        failed(o);
    }
    std::size_t failedAt = b.items.size();
    Failure reason;
    for (std::size_t i = 0; i < b.items.size(); ++i) {
        const Outcome o = readQuery(message);
        if (o == Outcome::Lost)
            return fail(message);
        if (o == Outcome::Rejected && failedAt == b.items.size()) {
            failedAt = i;
            reason = message;
        } else if (o == Outcome::Failed) {
            failed(o);
        }
    }
    if (!readSync())
        return false;
    if (stopped)
        return stop(failure);
    if (failedAt == b.items.size()) {
        accepted_ += static_cast<std::int64_t>(b.items.size());
        return true;
    }
    return recover(std::move(b), failedAt, reason);
}

bool StatementPipeline::recover(Batch failed, std::size_t itemIndex, const Failure& message)
{
    // Later batches ran in the aborted transaction and failed whole.
    std::vector<Item> later;
    while (!inFlight_.empty()) {
        Batch b = std::move(inFlight_.front());
        inFlight_.pop_front();
        if (!drain(b))
            return false;
        std::move(b.items.begin(), b.items.end(), std::back_inserter(later));
    }
    if (!runAlone("ROLLBACK TO SAVEPOINT dxc_batch"))
        return false;

    const std::int64_t tag = failed.items[itemIndex].tag;
    auto& items = failed.items;
    prefix_.assign(std::make_move_iterator(items.begin()),
                   std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(itemIndex)));
    for (auto it = later.rbegin(); it != later.rend(); ++it)
        pending_.push_front(std::move(*it));
    for (std::size_t i = items.size(); i-- > itemIndex + 1;)
        pending_.push_front(std::move(items[i]));

    ++rejected_;
    if (onReject_)
        onReject_(tag, message);
    return true;
}

// Reads and drops one batch's results; false only when the session is lost.
bool StatementPipeline::drain(const Batch& b)
{
    Failure message;
    for (std::size_t i = 0; i < b.items.size() + static_cast<std::size_t>(b.headers); ++i)
        if (readQuery(message) == Outcome::Lost)
            return fail(message);
    return readSync();
}

// One statement and its Sync, waited for; used with nothing in flight.
bool StatementPipeline::runAlone(const char* sql)
{
    PGconn* c = conn_.handle();
    if (!sendText(c, sql) || PQpipelineSync(c) != 1)
        return fail(detail::failureOf(c, nullptr));
    Failure message;
    const Outcome o = readQuery(message);
    if (o == Outcome::Lost)
        return fail(message);
    // The Sync's result follows even after an error.
    if (!readSync())
        return false;
    return o == Outcome::Ok || stop(message);
}

bool StatementPipeline::fail(Failure why)
{
    lost_ = true;
    failure_ = std::move(why);
    // Results may still be owed and pipeline mode cannot be left: the
    // connection is of no further use.
    conn_.close();
    return false;
}

// Ends the load over a session that lives on: what is in flight is read
// and dropped, so the caller can roll the transaction back and go on.
bool StatementPipeline::stop(Failure why)
{
    while (!inFlight_.empty()) {
        const Batch b = std::move(inFlight_.front());
        inFlight_.pop_front();
        if (!drain(b))
            return false;
    }
    pending_.clear();
    prefix_.clear();
    if (PQexitPipelineMode(conn_.handle()) != 1)
        return fail(detail::failureOf(conn_.handle(), nullptr));
    open_ = false;
    lost_ = true;
    failure_ = std::move(why);
    return false;
}

// ------------------------------------------------------------------- COPY

void appendCopyField(std::string& line, const FieldView& value)
{
    if (!value) {
        line += "\\N";
        return;
    }
    // Runs of plain bytes are appended whole.
    const char* run = value->data();
    const char* const end = run + value->size();
    for (const char* p = run; p < end; ++p) {
        const char* escaped;
        switch (*p) {
        case '\\': escaped = "\\\\"; break;
        case '\t': escaped = "\\t"; break;
        case '\n': escaped = "\\n"; break;
        case '\r': escaped = "\\r"; break;
        case '\0': escaped = ""; break;  // no PostgreSQL text holds one
        default: continue;
        }
        line.append(run, p);
        line += escaped;
        run = p + 1;
    }
    line.append(run, end);
}

// ------------------------------------------------------------- BinaryRow

void BinaryRow::float8(double value)
{
    std::uint64_t bits;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    length(8);
    put(bits, 8);
}

// The server's numeric: base-10000 digits, the weight of the first one,
// the sign and the count of decimal digits shown (dscale).
bool BinaryRow::numeric(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() && fraction.empty())
        return false;
    for (const std::string_view part : {whole, fraction})
        for (const char c : part)
            if (c < '0' || c > '9')
                return false;
    // Whole digits in groups of four from the point leftwards, fraction
    // digits from the point rightwards (the last group padded with zeros).
    digits_.clear();
    const std::size_t lead = (4 - whole.size() % 4) % 4;
    int group = 0, filled = static_cast<int>(lead);
    const auto add = [&](char c) {
        group = group * 10 + (c - '0');
        if (++filled == 4) {
            digits_.push_back(static_cast<std::int16_t>(group));
            group = 0;
            filled = 0;
        }
    };
    std::for_each(whole.begin(), whole.end(), add);
    int weight = static_cast<int>(digits_.size()) - 1;
    std::for_each(fraction.begin(), fraction.end(), add);
    if (filled > 0) {
        for (; filled < 4; ++filled)
            group *= 10;
        digits_.push_back(static_cast<std::int16_t>(group));
    }
    // Zero groups at either end are not stored.
    std::size_t first = 0;
    while (first < digits_.size() && digits_[first] == 0) {
        ++first;
        --weight;
    }
    std::size_t last = digits_.size();
    while (last > first && digits_[last - 1] == 0)
        --last;
    const std::size_t n = last - first;
    if (n == 0) {
        weight = 0;
        negative = false;
    }
    length(static_cast<std::int32_t>(8 + 2 * n));
    put(n, 2);
    put(static_cast<std::uint16_t>(weight), 2);
    put(negative ? 0x4000 : 0x0000, 2);
    put(fraction.size(), 2);
    for (std::size_t i = first; i < last; ++i)
        put(static_cast<std::uint16_t>(digits_[i]), 2);
    return true;
}

namespace {

// One row of COPY text (without its newline) back into its values.
std::vector<Field> parseCopyLine(std::string_view line)
{
    std::vector<Field> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        const std::string_view text = line.substr(start, tab == std::string_view::npos ? tab : tab - start);
        if (text == "\\N") {
            fields.emplace_back();
        } else {
            std::string value;
            value.reserve(text.size());
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (text[i] != '\\' || i + 1 == text.size()) {
                    value += text[i];
                    continue;
                }
                const char next = text[++i];
                value += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
            }
            fields.emplace_back(std::move(value));
        }
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

// One binary COPY row back into its values (binary form).
std::vector<Field> parseBinaryRow(std::string_view row)
{
    const auto be = [&row](std::size_t at, int bytes) {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | static_cast<unsigned char>(row[at + std::size_t(i)]);
        return v;
    };
    std::vector<Field> fields(be(0, 2));
    std::size_t at = 2;
    for (Field& f : fields) {
        const auto n = static_cast<std::int32_t>(be(at, 4));
        at += 4;
        if (n >= 0) {
            f.emplace(row.substr(at, std::size_t(n)));
            at += std::size_t(n);
        }
    }
    return fields;
}

// The signature, flags and header extension that open binary COPY data,
// and the field count -1 that ends it.
constexpr std::string_view kBinaryHeader("PGCOPY\n\xff\r\n\0\0\0\0\0\0\0\0\0", 19);
constexpr std::string_view kBinaryTrailer("\xff\xff", 2);

}  // namespace

struct CopyLoader::Impl {
    struct Line {
        std::size_t start;  // offset in batch
        std::int64_t tag;
    };

    Impl(CopyLoader& owner, Connection& conn, std::string table, std::vector<std::string> columns, RejectFn onReject,
         std::size_t batchRows, bool binary);
    bool add(std::span<const FieldView> values, std::int64_t tag);
    bool addBinary(std::string_view tuple, std::int64_t tag);
    bool added();
    bool endBatch();
    bool finish();
    void abandon();

    bool beginBatch();
    void clearBatch()
    {
        batch.clear();
        dropIfBig(batch);
        sent = 0;
        lines.clear();
        rowsEnd = 0;
    }
    bool putBuffer();
    bool resendAsInserts();
    bool exec(const char* sql, ExecStatusType expected);
    bool fail(Failure why);

    CopyLoader& owner;
    Connection& conn;
    RejectFn onReject;
    std::size_t batchRows;
    std::size_t columnCount;
    bool binary;
    std::string copySql;    // COPY ... FROM STDIN
    std::string insertSql;  // INSERT ... VALUES ($1, ...)
    // The open batch's COPY text, kept whole until the server accepts it:
    // a rejected batch is read back from it. Values are not kept apart.
    std::string batch;
    std::size_t sent = 0;     // bytes of batch handed to libpq
    std::vector<Line> lines;  // one per row of batch
    std::size_t rowsEnd = 0;  // where the rows end, before binary COPY's trailer
    bool copying = false;
    bool savepoint = false;
    bool lost = false;
    Failure failure;  // why the load ended
};

CopyLoader::Impl::Impl(CopyLoader& owner_, Connection& conn_, std::string table, std::vector<std::string> columns,
                       RejectFn onReject_, std::size_t batchRows_, bool binary_)
    : owner(owner_),
      conn(conn_),
      onReject(std::move(onReject_)),
      batchRows(std::max<std::size_t>(batchRows_, 1)),
      columnCount(columns.size()),
      binary(binary_)
{
    std::string list;
    std::string params;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        list += (i ? ", " : "") + columns[i];
        params += (i ? ", $" : "$") + std::to_string(i + 1);
    }
    copySql = "COPY " + table + " (" + list + ") FROM STDIN" + (binary ? " (FORMAT binary)" : "");
    insertSql = "INSERT INTO " + table + " (" + list + ") VALUES (" + params + ")";
}

bool CopyLoader::Impl::add(std::span<const FieldView> values, std::int64_t tag)
{
    if (lost)
        return false;
    if (values.size() != columnCount || binary)
        rt::raise("Argument error", "CopyLoader",
                  {rt::Value(static_cast<long long>(values.size())), rt::Value(static_cast<long long>(columnCount))});
    if (!copying && !beginBatch())
        return false;
    lines.push_back(Line{batch.size(), tag});
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i)
            batch += '\t';
        appendCopyField(batch, values[i]);
    }
    batch += '\n';
    return added();
}

bool CopyLoader::Impl::addBinary(std::string_view tuple, std::int64_t tag)
{
    if (lost)
        return false;
    if (!binary || tuple.size() < 2 ||
        std::size_t(static_cast<unsigned char>(tuple[0]) << 8 | static_cast<unsigned char>(tuple[1])) != columnCount)
        rt::raise("Argument error", "CopyLoader", {rt::Value(static_cast<long long>(columnCount))});
    if (!copying && !beginBatch())
        return false;
    lines.push_back(Line{batch.size(), tag});
    batch += tuple;
    return added();
}

// After a row: hands full chunks to libpq, ends a full batch.
bool CopyLoader::Impl::added()
{
    if (batch.size() - sent >= kCopyChunk && !putBuffer())
        return false;
    return lines.size() < batchRows || endBatch();
}

bool CopyLoader::Impl::beginBatch()
{
    if (const char* why = cannotLoad(conn); *why)
        return fail(localFailure(why));
    if (!exec(savepoint ? "RELEASE SAVEPOINT dxc_copy; SAVEPOINT dxc_copy" : "SAVEPOINT dxc_copy", PGRES_COMMAND_OK))
        return false;
    savepoint = true;
    if (!exec(copySql.c_str(), PGRES_COPY_IN))
        return false;
    copying = true;
    if (binary)
        batch += kBinaryHeader;
    return true;
}

bool CopyLoader::Impl::putBuffer()
{
    // In pieces: libpq copies what it is given, and a big row given whole
    // would be held twice.
    while (sent < batch.size()) {
        const std::size_t n = std::min(batch.size() - sent, kCopyChunk);
        if (PQputCopyData(conn.handle(), batch.data() + sent, static_cast<int>(n)) != 1)
            return fail(detail::failureOf(conn.handle(), nullptr));
        sent += n;
    }
    return true;
}

bool CopyLoader::Impl::endBatch()
{
    if (!copying)
        return true;
    PGconn* c = conn.handle();
    rowsEnd = batch.size();
    if (binary)
        batch += kBinaryTrailer;
    if (!putBuffer())
        return false;
    copying = false;
    if (PQputCopyEnd(c, nullptr) != 1)
        return fail(detail::failureOf(c, nullptr));
    Result r(PQgetResult(c));
    const bool ok = PQresultStatus(r.get()) == PGRES_COMMAND_OK;
    const Failure why = ok ? Failure() : detail::failureOf(c, r.get(), copySql);
    const bool gone = !ok && detail::sessionLost(c, r.get());
    const bool rowFault = !ok && detail::rowFault(r.get());
    while (Result extra{PQgetResult(c)})
        if (PQstatus(c) != CONNECTION_OK)
            break;
    if (gone || PQstatus(c) != CONNECTION_OK)
        return fail(why.serverText.empty() ? detail::failureOf(c, nullptr) : why);
    if (ok) {
        clearBatch();
        return true;
    }
    // A cancel, a full disk, ...: no row of the batch is at fault, and the
    // load ends; the session lives on for the caller's rollback.
    if (!rowFault)
        return fail(why);
    if (!exec("ROLLBACK TO SAVEPOINT dxc_copy", PGRES_COMMAND_OK))
        return false;
    return resendAsInserts();
}

// The rejected batch row by row: the server's own checks pick out the bad rows.
bool CopyLoader::Impl::resendAsInserts()
{
    StatementPipeline pipeline(conn, onReject);
    if (!pipeline.start())
        return fail(pipeline.failure());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t end = i + 1 < lines.size() ? lines[i + 1].start : rowsEnd;
        const std::string_view row(batch.data() + lines[i].start, end - lines[i].start);
        const bool sent = binary ? pipeline.sendParams(insertSql, parseBinaryRow(row), lines[i].tag, true)
                                 : pipeline.sendParams(insertSql, parseCopyLine(row.substr(0, row.size() - 1)),
                                                       lines[i].tag);
        if (!sent)
            return fail(pipeline.failure());
    }
    clearBatch();
    const bool done = pipeline.finish();
    owner.rejected_ += pipeline.rejected();
    return done || fail(pipeline.failure());
}

bool CopyLoader::Impl::finish()
{
    if (lost)
        return false;
    if (!endBatch())
        return false;
    if (savepoint) {
        if (!exec("RELEASE SAVEPOINT dxc_copy", PGRES_COMMAND_OK))
            return false;
        savepoint = false;
    }
    return true;
}

void CopyLoader::Impl::abandon()
{
    PGconn* c = conn.handle();
    if (!copying || lost || !c || PQstatus(c) != CONNECTION_OK)
        return;
    // The batch is refused, so the caller's transaction cannot commit half of it.
    PQputCopyEnd(c, "load abandoned");
    while (Result r{PQgetResult(c)})
        if (PQstatus(c) != CONNECTION_OK)
            break;
    copying = false;
}

bool CopyLoader::Impl::exec(const char* sql, ExecStatusType expected)
{
    PGconn* c = conn.handle();
    Result r(PQexec(c, sql));
    if (PQresultStatus(r.get()) != expected)
        return fail(detail::failureOf(c, r.get(), sql));
    return true;
}

bool CopyLoader::Impl::fail(Failure why)
{
    lost = true;
    failure = std::move(why);
    PGconn* c = conn.handle();
    if (!c || PQstatus(c) != CONNECTION_OK || PQpipelineStatus(c) != PQ_PIPELINE_OFF)
        conn.close();
    return false;
}

CopyLoader::CopyLoader(Connection& conn, std::string qualifiedTable, std::vector<std::string> quotedColumns,
                       RejectFn onReject, int batchRows, Format format)
    : impl_(std::make_unique<Impl>(*this, conn, std::move(qualifiedTable), std::move(quotedColumns),
                                   std::move(onReject), static_cast<std::size_t>(std::max(batchRows, 1)),
                                   format == Format::Binary))
{
}

CopyLoader::~CopyLoader() { impl_->abandon(); }

bool CopyLoader::row(std::span<const FieldView> values, std::int64_t tag) { return impl_->add(values, tag); }

bool CopyLoader::row(const std::vector<Field>& values, std::int64_t tag)
{
    std::vector<FieldView> views;
    views.reserve(values.size());
    for (const Field& v : values)
        views.push_back(v ? FieldView(*v) : FieldView());
    return impl_->add(views, tag);
}

bool CopyLoader::rowBinary(std::string_view tuple, std::int64_t tag) { return impl_->addBinary(tuple, tag); }

bool CopyLoader::finish() { return impl_->finish(); }

const Failure& CopyLoader::failure() const noexcept { return impl_->failure; }

}  // namespace pgsql
