// The runtime's one error channel. A runtime error is raised as a C++
// exception of type rt::Error and either caught by a guarded sequence or
// reported by the standard handler.
#pragma once

#include "value.h"

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace rt {

class Error : public std::exception {
public:
    Error(std::string description, std::string operation = {}, std::vector<Value> args = {});

    std::string subsystem = "BASE";  // "BASE", "DBF", "COMPILER", ...
    int genCode = 0;                  // a number that groups errors of one sort
    std::string description;          // what went wrong: "Argument error"
    std::string operation;            // where: "+", "SUBSTR", "DbUseArea"
    std::vector<Value> args;          // the offending arguments
    std::string filename;             // the file concerned, if any
    long long position = -1;          // offset in the file or text, if known

    // One line for people: "Error BASE/1081 Argument error: + (arguments: "a", 1)".
    [[nodiscard]] std::string message() const;
    [[nodiscard]] const char* what() const noexcept override;

private:
    mutable std::string what_;
};

// Raising functions do not return.
[[noreturn]] void raise(std::string description, std::string operation = {}, std::vector<Value> args = {});
[[noreturn]] void raiseArg(std::string operation, Args args);  // "Argument error"
[[noreturn]] void raise(Error e);

// Runs f; any runtime error (or other exception) ends it and is handed back
// instead of escaping: the guarded sequence ("BEGIN SEQUENCE ... RECOVER").
// Returns true when f completed.
bool guarded(const std::function<void()>& f, Error* caught = nullptr);

// The standard handler reports an error that nothing caught. It writes to
// standard error until a GUI installs a handler that shows a message box.
using ErrorHandler = std::function<void(const Error&)>;
ErrorHandler setErrorHandler(ErrorHandler h);  // returns the previous one
void handleError(const Error& e);

// Runs f; an uncaught runtime error goes to the standard handler and the
// program goes on. Returns true when f completed.
bool runReporting(const std::function<void()>& f);

}  // namespace rt
