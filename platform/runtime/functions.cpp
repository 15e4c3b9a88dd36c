#include "functions.h"

#include "builtins.h"
#include "error.h"
#include "text.h"

#include <string>
#include <unordered_map>

namespace rt {

namespace {
std::unordered_map<std::string, NativeFn>& registry()
{
    static std::unordered_map<std::string, NativeFn> r;
    return r;
}

std::unordered_map<std::string, Value>& publics()
{
    static std::unordered_map<std::string, Value> p;
    return p;
}
}  // namespace

void registerFunction(std::string_view name, NativeFn fn) { registry()[upperAscii(name)] = fn; }

NativeFn findFunction(std::string_view name)
{
    registerBuiltins();
    auto it = registry().find(upperAscii(name));
    return it == registry().end() ? nullptr : it->second;
}

Value callFunction(std::string_view name, Args args)
{
    NativeFn fn = findFunction(name);
    if (!fn) {
        Error e("Undefined function", std::string(name));
        e.genCode = gen::UndefinedFunction;
        raise(std::move(e));
    }
    return fn(args);
}

void registerBuiltins()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    detail::registerValueFunctions();
    detail::registerArrayFunctions();
    detail::registerTextFunctions();
    detail::registerNumberFunctions();
    detail::registerPictureFunctions();
    detail::registerDateFunctions();
    detail::registerCodePageFunctions();
    detail::registerConsoleFunctions();
    detail::registerFileFunctions();
}

const Value& numArg(Args args, std::size_t i, const char* op)
{
    const Value& v = argAt(args, i);
    if (!v.isNum())
        raiseArg(op, args);
    return v;
}

std::string_view textArg(Args args, std::size_t i, const char* op)
{
    const Value& v = argAt(args, i);
    if (!v.isChar())
        raiseArg(op, args);
    return v.asString();
}

std::string_view textArgOr(Args args, std::size_t i, const char* op)
{
    return argAt(args, i).isNil() ? std::string_view() : textArg(args, i, op);
}

std::int64_t intArg(Args args, std::size_t i, const char* op, std::int64_t def)
{
    const Value& v = argAt(args, i);
    if (v.isNil())
        return def;
    if (!v.isNum())
        raiseArg(op, args);
    return v.asInt();
}

bool publicExists(std::string_view name) { return publics().count(upperAscii(name)) != 0; }

Value& publicVar(std::string_view name) { return publics()[upperAscii(name)]; }

const Value& publicGet(std::string_view name)
{
    auto it = publics().find(upperAscii(name));
    if (it == publics().end()) {
        Error e("Variable does not exist", std::string(name));
        e.genCode = gen::NoVariable;
        raise(std::move(e));
    }
    return it->second;
}

void publicSet(std::string_view name, const Value& v) { publics()[upperAscii(name)] = v; }

void publicRelease(std::string_view name) { publics().erase(upperAscii(name)); }

ScopedPublic::ScopedPublic(std::string_view name, const Value& v) : name_(name), existed_(publicExists(name))
{
    if (existed_)
        saved_ = publicGet(name);
    publicSet(name, v);
}

ScopedPublic::~ScopedPublic()
{
    if (existed_)
        publicSet(name_, saved_);
    else
        publicRelease(name_);
}

FieldHooks& fieldHooks() noexcept
{
    static FieldHooks h;
    return h;
}

}  // namespace rt
