// Binary COPY of one table over one or more connections at once.
//
// Each connection has its own CopyLoader on its own thread; the caller's
// thread only builds rows and hands them over in chunks. So the caller's
// reading overlaps the sending, and with two connections the server's work
// on the rows (checking, storing and logging them), which is most of a bulk
// load, is shared by two backends. Whichever loader is free takes the next
// chunk, so a slow backend holds back nothing but its own chunk.
//
// Each connection must be inside a transaction the caller began; the
// caller commits or rolls back each one after finish(). A row the server
// rejects costs only that row, as with CopyLoader; rejections are reported
// one at a time through the callback, from the loaders' threads and not in
// tag order.
#pragma once

#include "loader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pgsql {

class Connection;

class ParallelCopy {
public:
    // conns: at least one, each used by no one else until finish() returns.
    // table and columns: quoted, as for CopyLoader.
    ParallelCopy(std::vector<Connection*> conns, std::string qualifiedTable, std::vector<std::string> quotedColumns,
                 RejectFn onReject, int batchRows = 20000);
    // Stops the loaders; a batch not finished is refused by the server, so
    // no transaction can commit half of it.
    ~ParallelCopy();
    ParallelCopy(const ParallelCopy&) = delete;
    ParallelCopy& operator=(const ParallelCopy&) = delete;

    // One BinaryRow's data. False when a loader has failed: failure().
    bool rowBinary(std::string_view tuple, std::int64_t tag);
    // The same, taking the bytes over (BinaryRow::take): a big row is not copied.
    bool rowBinary(std::string&& tuple, std::int64_t tag);
    // Sends the rest and waits for every loader. False on a failure.
    bool finish();

    [[nodiscard]] std::int64_t rejected() const;
    // The first failure of a loader.
    [[nodiscard]] Failure failure() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pgsql
