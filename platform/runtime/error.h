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

// The numbers of Error::genCode. One number groups errors of one sort, so
// some have several names.
namespace gen {
constexpr int Argument = 1001;
constexpr int UndefinedFunction = 1001;
constexpr int FileNotFound = 1001;  // a DBF error without a number of its own
constexpr int NoAlias = 1002;
constexpr int NoVariable = 1003;
constexpr int AliasInUse = 1011;
constexpr int NotIndexed = 1020;    // also an index that cannot be read, a bad table handle
constexpr int KeyMismatch = 1021;
constexpr int NoOrder = 1050;
constexpr int ArrayAccess = 1068;
constexpr int ArrayAssign = 1069;
constexpr int Bound = 1132;
constexpr int ZeroDivide = 1340;
constexpr int Syntax = 1449;        // also a field that does not exist
constexpr int NotInUse = 2001;
}  // namespace gen

// Raising functions do not return.
[[noreturn]] void raise(std::string description, std::string operation = {}, std::vector<Value> args = {});
[[noreturn]] void raiseArg(std::string operation, Args args);  // "Argument error"
[[noreturn]] void raise(Error e);
// "Alias does not exist" (gen::NoAlias) of the given subsystem.
[[noreturn]] void raiseNoAlias(std::string operation, std::vector<Value> args = {}, std::string subsystem = "DBF");
// "Field does not exist" (gen::Syntax) of the given subsystem; filename the
// table's file when known.
[[noreturn]] void raiseNoField(std::string operation, std::string subsystem = "BASE", std::string filename = {});

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
