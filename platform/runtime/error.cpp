#include "error.h"

#include "text.h"
#include "platform/runtime/report_once.h"

#include <cstdio>
#include <new>

namespace rt {

Error::Error(std::string description, std::string operation, std::vector<Value> args)
    : description(std::move(description)), operation(std::move(operation)), args(std::move(args))
{
}

std::string Error::message() const
{
    std::string m = "Error " + subsystem + "/" + std::to_string(genCode) + " " + description;
    // A position without a file is a place in the text named by operation.
    if (position >= 0 && filename.empty())
        m += " at position " + std::to_string(position);
    if (!operation.empty())
        m += ": " + operation;
    if (!args.empty()) {
        m += " (arguments: ";
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (i)
                m += ", ";
            std::string a = literalText(args[i]);
            if (a.size() > 80)  // a long argument must not drown the message
                a = a.substr(0, utf8Offset(a, 77)) + "...";
            m += a;
        }
        m += ")";
    }
    if (!filename.empty()) {
        m += " in " + filename;
        if (position >= 0)
            m += " at offset " + std::to_string(position);
    }
    return m;
}

const char* Error::what() const noexcept
{
    try {
        what_ = message();
    } catch (...) {
        return description.c_str();
    }
    return what_.c_str();
}

void raise(std::string description, std::string operation, std::vector<Value> args)
{
    throw Error(std::move(description), std::move(operation), std::move(args));
}

void raiseArg(std::string operation, Args args)
{
    Error e("Argument error", std::move(operation), std::vector<Value>(args.begin(), args.end()));
    e.genCode = gen::Argument;
    throw e;
}

void raise(Error e) { throw std::move(e); }

void raiseNoAlias(std::string operation, std::vector<Value> args, std::string subsystem)
{
    Error e("Alias does not exist", std::move(operation), std::move(args));
    e.subsystem = std::move(subsystem);
    e.genCode = gen::NoAlias;
    throw e;
}

void raiseNoField(std::string operation, std::string subsystem, std::string filename)
{
    Error e("Field does not exist", std::move(operation));
    e.subsystem = std::move(subsystem);
    e.genCode = gen::Syntax;
    e.filename = std::move(filename);
    throw e;
}

bool guarded(const std::function<void()>& f, Error* caught)
{
    try {
        f();
        return true;
    } catch (const Error& e) {
        if (caught)
            *caught = e;
    } catch (const std::bad_alloc&) {
        if (caught)
            *caught = Error("Out of memory");
    } catch (const std::exception& e) {
        if (caught)
            *caught = Error(e.what());
    }
    return false;
}

namespace {
ErrorHandler& handlerSlot()
{
    static ErrorHandler h;
    return h;
}
}  // namespace

ErrorHandler setErrorHandler(ErrorHandler h)
{
    ErrorHandler old = std::move(handlerSlot());
    handlerSlot() = std::move(h);
    return old;
}

void handleError(const Error& e)
{
    if (handlerSlot()) {
        handlerSlot()(e);
        return;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", e.message().c_str());
    std::fflush(stderr);
}

bool runReporting(const std::function<void()>& f)
{
    Error e("");
    if (guarded(f, &e))
        return true;
    handleError(e);
    return false;
}

bool runReportingOnce(const std::function<void()>& f, bool& failing)
{
    Error e("");
    if (guarded(f, &e)) {
        failing = false;
        return true;
    }
    if (!failing)
        handleError(e);
    failing = true;
    return false;
}

}  // namespace rt
