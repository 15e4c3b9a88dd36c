// What every class of this layer reports when the server refuses or goes
// away: the kind of failure, the statement, the server's SQLSTATE, the
// place in the statement and the server's text. The layer says nothing to
// the user itself; the program words the message from the kind (and the
// data objects hand their failures to an installed reporter).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace pgsql {

enum class FailureKind {
    Other,           // any other refusal; serverText says why
    ConnectionLost,  // the session is gone and could not be opened again
    Conflict,        // the row changed since it was read
    Gone,            // the row was deleted since it was read
    DuplicateKey,    // a row with that key exists already
    ValueTooLong,    // a value does not fit its column
    NoMatch,         // the row does not meet the condition of the write
    NotDeleted,      // the row to delete does not meet the condition
};

struct Failure {
    FailureKind kind = FailureKind::Other;
    std::string table;       // as the data object names it
    std::string statement;   // the SQL text sent, "" when none was sent
    std::string sqlstate;    // five characters, "" when the server gave none
    std::string serverText;  // the server's or libpq's message, on one line
    int position = 0;        // character of the statement the server points at (from 1), 0 none
};

// A failure found before anything reached the server (no sqlstate).
[[nodiscard]] inline Failure localFailure(std::string text, FailureKind kind = FailureKind::Other)
{
    Failure f;
    f.kind = kind;
    f.serverText = std::move(text);
    return f;
}

// The kind an SQLSTATE stands for (Other for those without a kind of their own).
[[nodiscard]] FailureKind kindOfState(std::string_view sqlstate) noexcept;

// Receives every failure of a write and every loss of the server, from any
// data object of the process. Without one the failure goes to standard error.
using FailureReporter = std::function<void(const Failure&)>;
FailureReporter setFailureReporter(FailureReporter reporter);  // returns the previous one
void reportFailure(const Failure& failure);

}  // namespace pgsql
