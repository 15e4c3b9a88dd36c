// What the program says to the user when the server refuses or goes away:
// the Spanish message of each kind of failure, shown in the window.
#pragma once

#include "platform/pgsql/failure.h"
#include "platform/runtime/error.h"

#include <string>

namespace app {

// The message a user reads for a failure; the server's text follows on a
// second line where it helps (a lost connection, another refusal).
[[nodiscard]] std::string failureMessage(const pgsql::Failure& f);

// Why a connection failed, in Spanish, from libpq's message (which follows
// on a second line): a wrong password or user, a refused port, an unknown
// host, a port out of range, a missing database.
[[nodiscard]] std::string connectionFailureMessage(const std::string& libpqText);

// Why a DBF table could not be opened or read, in Spanish, from the
// engine's error: the kind of failure worded with its details (the file,
// the record, the byte). The engine's English text is for the log.
[[nodiscard]] std::string dbfFailureMessage(const rt::Error& e);

// Installs the reporter that shows failures in a message box. A failure
// inside a user action is shown once that action ends, each message once;
// outside actions a lost server is shown once until an action runs.
void installFailureMessages();

// The message of a failure already reported, replaced by one that says
// more (which client): shown once the current action ends, or now.
void sayInstead(const pgsql::Failure& f, const std::string& text);

// Marks a user action (a button, a key of the search field, a row chosen)
// while it lives; nested scopes count as one action.
class UserAction {
public:
    UserAction();
    ~UserAction();
    UserAction(const UserAction&) = delete;
    UserAction& operator=(const UserAction&) = delete;
};

}  // namespace app
