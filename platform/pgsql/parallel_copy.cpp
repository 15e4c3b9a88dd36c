#include "parallel_copy.h"

#include "connection.h"

#include "platform/runtime/error.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace pgsql {

namespace {

// Rows per chunk handed to a loader, and chunks waiting at most: enough to
// keep every loader busy while the caller builds the next, little memory.
constexpr std::size_t kChunkRows = 1000;
constexpr std::size_t kMaxWaiting = 4;

struct Chunk {
    struct Row {
        std::size_t end;  // offset in bytes where the row ends
        std::int64_t tag;
    };
    std::string bytes;
    std::vector<Row> rows;
};

}  // namespace

struct ParallelCopy::Impl {
    Impl(std::vector<Connection*> conns, std::string table, std::vector<std::string> columns, RejectFn onReject,
         int batchRows);
    ~Impl();

    void start(Connection& session, const std::string& table, const std::vector<std::string>& columns,
               int batchRows);
    bool add(std::string_view tuple, std::int64_t tag, std::string* whole = nullptr);
    bool push(bool last);
    bool finish();
    void work(CopyLoader& loader);
    void fail(Failure why);

    std::size_t columnCount;
    RejectFn onReject;
    Chunk filling;  // the caller's, not shared

    mutable std::mutex mutex;
    std::condition_variable ready;  // a chunk waits, no more will come, or stop
    std::condition_variable room;   // a chunk was taken, or stop
    std::deque<Chunk> waiting;
    std::vector<Chunk> spare;  // chunks sent, kept for their capacity
    bool closed = false;       // no more chunks will come
    bool failed = false;       // stop: a loader failed, or the caller gave up
    bool finished = false;
    Failure failure;  // the first one
    std::int64_t rejected = 0;
    std::vector<std::thread> threads;
};

ParallelCopy::Impl::Impl(std::vector<Connection*> conns, std::string table, std::vector<std::string> columns,
                         RejectFn onReject_, int batchRows)
    : columnCount(columns.size()),
      onReject(std::move(onReject_))
{
    if (conns.empty())
        rt::raise("Argument error", "ParallelCopy", {});
    threads.reserve(conns.size());
    for (Connection* conn : conns)
        start(*conn, table, columns, batchRows);
}

// Starts a loader's thread; when the thread cannot be had, those started
// are stopped first.
void ParallelCopy::Impl::start(Connection& session, const std::string& table, const std::vector<std::string>& columns,
                               int batchRows)
{
    try {
        threads.emplace_back([this, conn = &session, table, columns, batchRows] {
            // Rejections come one at a time, whichever loader finds them.
            RejectFn report = [this](std::int64_t tag, const Failure& why) {
                const std::lock_guard lock(mutex);
                ++rejected;
                if (onReject)
                    onReject(tag, why);
            };
            try {
                CopyLoader loader(*conn, table, columns, std::move(report), batchRows, CopyLoader::Format::Binary);
                work(loader);
            } catch (const std::exception& e) {
                // Nothing may leave a thread; the load fails with the reason.
                fail(localFailure(e.what()));
            }
        });
    } catch (...) {
        fail(localFailure("no thread for a loader"));
        for (std::thread& t : threads)
            t.join();
        threads.clear();
        throw;
    }
}

ParallelCopy::Impl::~Impl()
{
    {
        const std::lock_guard lock(mutex);
        // Not finished: the loaders leave their batches unfinished, so the
        // server refuses them.
        failed = failed || !finished;
        closed = true;
    }
    ready.notify_all();
    room.notify_all();
    for (std::thread& t : threads)
        if (t.joinable())
            t.join();
}

// On a loader's thread: takes chunks until none is left, then ends its COPY.
void ParallelCopy::Impl::work(CopyLoader& loader)
{
    Chunk chunk;
    for (;;) {
        {
            std::unique_lock lock(mutex);
            if (chunk.bytes.capacity() > 0)
                spare.push_back(std::move(chunk));
            ready.wait(lock, [this] { return failed || closed || !waiting.empty(); });
            if (failed)
                return;
            if (waiting.empty())
                break;
            chunk = std::move(waiting.front());
            waiting.pop_front();
        }
        room.notify_one();
        std::size_t start = 0;
        for (const Chunk::Row& row : chunk.rows) {
            if (!loader.rowBinary(std::string_view(chunk.bytes).substr(start, row.end - start), row.tag))
                return fail(loader.failure());
            start = row.end;
        }
        chunk.bytes.clear();
        dropIfBig(chunk.bytes);
        chunk.rows.clear();
    }
    if (!loader.finish())
        fail(loader.failure());
}

void ParallelCopy::Impl::fail(Failure why)
{
    {
        const std::lock_guard lock(mutex);
        if (!failed)
            failure = std::move(why);
        failed = true;
    }
    ready.notify_all();
    room.notify_all();
}

// whole: the tuple's own buffer, taken over when the chunk is empty.
bool ParallelCopy::Impl::add(std::string_view tuple, std::int64_t tag, std::string* whole)
{
    // Checked here, on the caller's thread, where an error may be raised.
    if (tuple.size() < 2 ||
        std::size_t(static_cast<unsigned char>(tuple[0]) << 8 | static_cast<unsigned char>(tuple[1])) != columnCount)
        rt::raise("Argument error", "ParallelCopy", {rt::Value(static_cast<long long>(columnCount))});
    if (whole && filling.bytes.empty())
        filling.bytes = std::move(*whole);
    else
        filling.bytes += tuple;
    filling.rows.push_back(Chunk::Row{filling.bytes.size(), tag});
    return filling.rows.size() < kChunkRows || push(false);
}

// Hands the filled chunk over, waiting while enough are waiting already.
bool ParallelCopy::Impl::push(bool last)
{
    std::unique_lock lock(mutex);
    room.wait(lock, [this] { return failed || waiting.size() < kMaxWaiting; });
    if (failed)
        return false;
    if (!filling.rows.empty()) {
        waiting.push_back(std::move(filling));
        filling = Chunk{};
        if (!spare.empty()) {
            filling = std::move(spare.back());
            spare.pop_back();
        }
    }
    closed = closed || last;
    lock.unlock();
    if (last)
        ready.notify_all();
    else
        ready.notify_one();
    return true;
}

bool ParallelCopy::Impl::finish()
{
    const bool pushed = push(true);
    for (std::thread& t : threads)
        t.join();
    const std::lock_guard lock(mutex);
    finished = true;
    return pushed && !failed;
}

ParallelCopy::ParallelCopy(std::vector<Connection*> conns, std::string qualifiedTable,
                           std::vector<std::string> quotedColumns, RejectFn onReject, int batchRows)
    : impl_(std::make_unique<Impl>(std::move(conns), std::move(qualifiedTable), std::move(quotedColumns),
                                   std::move(onReject), batchRows))
{
}

ParallelCopy::~ParallelCopy() = default;

bool ParallelCopy::rowBinary(std::string_view tuple, std::int64_t tag) { return impl_->add(tuple, tag); }

bool ParallelCopy::rowBinary(std::string&& tuple, std::int64_t tag) { return impl_->add(tuple, tag, &tuple); }

bool ParallelCopy::finish() { return impl_->finish(); }

std::int64_t ParallelCopy::rejected() const
{
    const std::lock_guard lock(impl_->mutex);
    return impl_->rejected;
}

Failure ParallelCopy::failure() const
{
    const std::lock_guard lock(impl_->mutex);
    return impl_->failure;
}

}  // namespace pgsql
