// What the data objects report when a statement fails: the kind of failure,
// the statement and the server's SQLSTATE and text. The layer says nothing
// to the user itself; the program installs a reporter and words the message.
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
};

// The kind an SQLSTATE stands for (Other for those without a kind of their own).
[[nodiscard]] FailureKind kindOfState(std::string_view sqlstate) noexcept;

// Receives every failure of a write and every loss of the server, from any
// data object of the process. Without one the failure goes to standard error.
using FailureReporter = std::function<void(const Failure&)>;
FailureReporter setFailureReporter(FailureReporter reporter);  // returns the previous one
void reportFailure(const Failure& failure);

}  // namespace pgsql
