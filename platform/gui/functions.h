// Class functions: compiled text makes platform objects with
// `XbpStatic():new(oParent, ...)`. The function XbpStatic() returns the
// class object; its `new` makes an instance and runs the instance's `init`
// with the same arguments, and returns the instance.
#pragma once

#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

#include <string>

namespace gui {

class ClassObject final : public rt::Object {
public:
    using Factory = rt::Value (*)();
    ClassObject(std::string name, Factory make);
    [[nodiscard]] const rt::ClassInfo& classInfo() const override { return info_; }
    [[nodiscard]] rt::Value instantiate(rt::Args initArgs) const;

private:
    rt::ClassInfo info_;
    Factory make_;
};

namespace detail {
template <class T>
rt::Value makeInstance()
{
    return rt::Value(static_cast<rt::Object*>(new T));
}
template <class T>
rt::Value classFunction(rt::Args)
{
    static const rt::Value cls(static_cast<rt::Object*>(new ClassObject(T::staticClass().name(), &makeInstance<T>)));
    return cls;
}
}  // namespace detail

// Registers function `name` (T's class name unless given) returning T's
// class object. T needs a default constructor and a static staticClass().
template <class T>
void registerClass(std::string_view name = {})
{
    rt::registerFunction(name.empty() ? std::string_view(T::staticClass().name()) : name,
                         &detail::classFunction<T>);
}

// A new instance of a registered class by name, init run with `args`.
rt::Value newObject(std::string_view className, rt::Args args = {});

}  // namespace gui
