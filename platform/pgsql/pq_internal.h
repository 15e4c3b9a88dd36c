// libpq helpers shared by the connection and the loaders; not part of the API.
#pragma once

#include "connection.h"
#include "failure.h"

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <string_view>

namespace pgsql::detail {

struct ResultDeleter {
    void operator()(PGresult* r) const noexcept { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// libpq's and the server's messages span lines ("ERROR:  ...\nDETAIL:  ...\n");
// callers print one line: lines trimmed and joined with "; ".
[[nodiscard]] std::string oneLine(std::string_view text);

// The result's message on one line; for a null result, the connection's.
[[nodiscard]] std::string errorOf(PGconn* conn, const PGresult* r);

// The failure a result (or, for a null result, the connection) tells, of
// the statement sent.
[[nodiscard]] Failure failureOf(PGconn* conn, const PGresult* r, std::string_view statement = {});

// True when the session is gone: the socket is closed or the server ended
// the session (a FATAL or PANIC error, as pg_terminate_backend sends).
[[nodiscard]] bool sessionLost(PGconn* conn, const PGresult* r);

// True when a refusal is the row's own fault: a value its column or a
// constraint refuses (SQLSTATE classes 22 and 23). Anything else (a cancel,
// a full disk, a lost connection) is no row's fault.
[[nodiscard]] bool rowFault(const PGresult* r);

// Text without NULs: pgsql::withoutNul (connection.h).
using pgsql::withoutNul;

}  // namespace pgsql::detail
