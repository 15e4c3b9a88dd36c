#include "functions.h"

#include "builtins.h"
#include "error.h"

#include <cctype>
#include <string>
#include <unordered_map>

namespace rt {

namespace {
std::string upperKey(std::string_view s)
{
    std::string k(s);
    for (auto& c : k)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return k;
}

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

void registerFunction(std::string_view name, NativeFn fn) { registry()[upperKey(name)] = fn; }

NativeFn findFunction(std::string_view name)
{
    registerBuiltins();
    auto it = registry().find(upperKey(name));
    return it == registry().end() ? nullptr : it->second;
}

Value callFunction(std::string_view name, Args args)
{
    NativeFn fn = findFunction(name);
    if (!fn) {
        Error e("Undefined function", std::string(name));
        e.genCode = 1001;
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

bool publicExists(std::string_view name) { return publics().count(upperKey(name)) != 0; }

Value& publicVar(std::string_view name) { return publics()[upperKey(name)]; }

const Value& publicGet(std::string_view name)
{
    auto it = publics().find(upperKey(name));
    if (it == publics().end()) {
        Error e("Variable does not exist", std::string(name));
        e.genCode = 1003;
        raise(std::move(e));
    }
    return it->second;
}

void publicSet(std::string_view name, const Value& v) { publics()[upperKey(name)] = v; }

void publicRelease(std::string_view name) { publics().erase(upperKey(name)); }

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
