// Class functions: compiled text makes objects of C++ classes with
// `XbpStatic():new(oParent, ...)` or `XBPGSQL():New(...)`. The function
// returns the class object; its `new` makes an instance, runs the
// instance's `init` (when it has one) with the same arguments, and returns
// the instance.
#pragma once

#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

#include <string>

namespace rt {

class ClassObject final : public Object {
public:
    using Factory = Value (*)();
    ClassObject(std::string name, Factory make);
    [[nodiscard]] const ClassInfo& classInfo() const override { return info_; }
    [[nodiscard]] Value instantiate(Args initArgs) const;

private:
    ClassInfo info_;
    Factory make_;
};

namespace detail {
template <class T>
Value makeInstance()
{
    return Value(static_cast<Object*>(new T));
}
template <class T>
Value classFunction(Args)
{
    static const Value cls(static_cast<Object*>(new ClassObject(T::staticClass().name(), &makeInstance<T>)));
    return cls;
}
}  // namespace detail

// Registers function `name` (T's class name unless given) returning T's
// class object. T needs a default constructor and a static staticClass().
template <class T>
void registerClass(std::string_view name = {})
{
    registerFunction(name.empty() ? std::string_view(T::staticClass().name()) : name,
                         &detail::classFunction<T>);
}

// A new instance of a registered class by name, init run with `args`.
Value newObject(std::string_view className, Args args = {});

}  // namespace rt
