// libpq helpers shared by the connection and the loaders; not part of the API.
#pragma once

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

// True when the session is gone: the socket is closed or the server ended
// the session (a FATAL or PANIC error, as pg_terminate_backend sends).
[[nodiscard]] bool sessionLost(PGconn* conn, const PGresult* r);

// The text without NUL characters, which no PostgreSQL text can hold; the
// same text when it has none.
[[nodiscard]] std::string withoutNul(std::string_view text);

}  // namespace pgsql::detail
