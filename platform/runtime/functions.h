// The registry of runtime functions callable from compiled text, and the
// program-wide (public) variables looked up by name.
#pragma once

#include "value.h"

#include <cstdint>
#include <string_view>

namespace rt {

using NativeFn = Value (*)(Args);

// Registers (or replaces) a function under a case-insensitive name.
void registerFunction(std::string_view name, NativeFn fn);
// The function registered under name, or null.
[[nodiscard]] NativeFn findFunction(std::string_view name);
// Calls a registered function; raises "Undefined function" when there is none.
Value callFunction(std::string_view name, Args args = {});
template <class... A>
Value callWith(std::string_view name, const A&... a)
{
    const Value argv[] = {Value(a)...};
    return callFunction(name, Args(argv, sizeof...(A)));
}

// Argument readers for registered functions; a wrong kind raises
// "Argument error" naming the function `op`.
[[nodiscard]] const Value& numArg(Args args, std::size_t i, const char* op);
[[nodiscard]] std::string_view textArg(Args args, std::size_t i, const char* op);
// An optional text: NIL gives "".
[[nodiscard]] std::string_view textArgOr(Args args, std::size_t i, const char* op);
// An optional whole number: NIL gives def, a decimal is truncated.
[[nodiscard]] std::int64_t intArg(Args args, std::size_t i, const char* op, std::int64_t def);

// --- program-wide variables (names case-insensitive) ---
[[nodiscard]] bool publicExists(std::string_view name);
// The variable, created as NIL when missing.
Value& publicVar(std::string_view name);
// The variable's value; raises "Variable does not exist" when missing.
[[nodiscard]] const Value& publicGet(std::string_view name);
void publicSet(std::string_view name, const Value& v);
void publicRelease(std::string_view name);

// Makes a name visible for a scope and restores what it hid afterwards
// (used for "_oObject" and "_uData" while compiled member text runs).
class ScopedPublic {
public:
    ScopedPublic(std::string_view name, const Value& v);
    ~ScopedPublic();
    ScopedPublic(const ScopedPublic&) = delete;
    ScopedPublic& operator=(const ScopedPublic&) = delete;

private:
    std::string name_;
    bool existed_;
    Value saved_;
};

// How a bare name and alias->field find database fields. The DBF engine
// installs these; until then a bare name is only a program-wide variable.
struct FieldHooks {
    // Reads field `name` of the current work area into out; false if there is no such field.
    bool (*get)(std::string_view name, Value& out) = nullptr;
    // Writes it; false if there is no such field.
    bool (*put)(std::string_view name, const Value& v) = nullptr;
    // alias->field read and write; raise a runtime error when alias or field is unknown.
    Value (*aliasGet)(std::string_view alias, std::string_view field) = nullptr;
    void (*aliasPut)(std::string_view alias, std::string_view field, const Value& v) = nullptr;
    // alias->(expr): selects alias, runs the thunk, selects back.
    Value (*aliasEval)(std::string_view alias, Value (*thunk)(void*), void* ctx) = nullptr;
};
FieldHooks& fieldHooks() noexcept;

// Registers the runtime's own functions (text, numbers, dates, arrays,
// pictures, console, files). Idempotent; findFunction calls it on first use.
void registerBuiltins();

}  // namespace rt
