// Objects: instances of classes whose members are looked up by name at run
// time, so compiled text such as `oColumn:Sort(a, n)` reaches C++ objects.
//
// A C++ class registers its members once, in a ClassInfo shared by all its
// instances:
//
//     const rt::ClassInfo& MyColumn::classInfo() const {
//         static const rt::ClassInfo cls = [] {
//             rt::ClassInfo c("RK_XbpColumn", {&XbpColumn::staticClass()});
//             c.field<MyColumn>("cargo", &MyColumn::cargo);
//             c.method<MyColumn>("Sort", [](MyColumn& o, rt::Args a) { return o.sort(a); });
//             return c;
//         }();
//         return cls;
//     }
//
// Names are case-insensitive, as everywhere in the language.
#pragma once

#include "value.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace rt {

class Object;

struct Member {
    std::function<Value(Object&)> get;                  // instance variable read
    std::function<void(Object&, const Value&)> set;     // instance variable write (empty: read-only)
    std::function<Value(Object&, Args)> call;           // method
    [[nodiscard]] bool isMethod() const noexcept { return static_cast<bool>(call); }
};

class ClassInfo {
public:
    ClassInfo(std::string name, std::vector<const ClassInfo*> parents = {});

    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    [[nodiscard]] const std::vector<const ClassInfo*>& parents() const noexcept { return parents_; }
    // True for this class and every ancestor, compared without regard to case.
    [[nodiscard]] bool isDerivedFrom(std::string_view className) const;
    // The member of this class or of the nearest ancestor that has it; null if none.
    [[nodiscard]] const Member* find(std::string_view name) const;

    void addVar(std::string_view name, std::function<Value(Object&)> get,
                std::function<void(Object&, const Value&)> set = {});
    void addMethod(std::string_view name, std::function<Value(Object&, Args)> fn);
    // A callback slot: reading or assigning the name reaches the block kept
    // in the slot, calling it with arguments runs the handler (which by
    // default evaluates that block). A subclass that overrides the handler
    // registers a callback of its own over the same slot.
    void addCallback(std::string_view name, std::function<Value(Object&)> get,
                     std::function<void(Object&, const Value&)> set,
                     std::function<Value(Object&, Args)> handler);

    // An instance variable held in a Value member of T.
    template <class T>
    void field(std::string_view name, Value T::*member)
    {
        addVar(
            name, [member](Object& o) { return static_cast<T&>(o).*member; },
            [member](Object& o, const Value& v) { static_cast<T&>(o).*member = v; });
    }
    template <class T, class F>
    void callback(std::string_view name, Value T::*slot, F handler)
    {
        addCallback(
            name, [slot](Object& o) { return static_cast<T&>(o).*slot; },
            [slot](Object& o, const Value& v) { static_cast<T&>(o).*slot = v; },
            [handler](Object& o, Args a) -> Value { return Value(handler(static_cast<T&>(o), a)); });
    }
    template <class T, class F>
    void method(std::string_view name, F fn)
    {
        addMethod(name, [fn](Object& o, Args a) -> Value {
            if constexpr (std::is_void_v<std::invoke_result_t<F&, T&, Args>>) {
                fn(static_cast<T&>(o), a);
                return {};
            } else {
                return Value(fn(static_cast<T&>(o), a));
            }
        });
    }

private:
    std::string name_;
    std::vector<const ClassInfo*> parents_;
    std::unordered_map<std::string, Member> members_;  // keys in upper case
};

class Object : public HeapCell {
public:
    [[nodiscard]] virtual const ClassInfo& classInfo() const = 0;
    [[nodiscard]] const std::string& className() const { return classInfo().name(); }
    [[nodiscard]] bool isDerivedFrom(std::string_view c) const { return classInfo().isDerivedFrom(c); }
};

// An object of a class defined at run time: instance variables in slots,
// methods as blocks that receive the object as their first argument.
class DynClass {
public:
    explicit DynClass(std::string name, std::vector<const ClassInfo*> parents = {});
    void addVar(std::string_view name, Value initial = {});
    void addMethod(std::string_view name, Value block);
    [[nodiscard]] Value instantiate() const;
    [[nodiscard]] const ClassInfo& info() const noexcept { return *info_; }

private:
    std::shared_ptr<ClassInfo> info_;
    std::vector<Value> initial_;
};

// --- member access by name; each raises a runtime error naming the member
// when the receiver is not an object or has no such member ---
[[nodiscard]] bool hasMember(const Value& obj, std::string_view name);
Value getMember(const Value& obj, std::string_view name);
void setMember(const Value& obj, std::string_view name, const Value& v);
// Calls a method; for an instance variable without arguments reads it, and
// with one argument assigns it (the language's accessor convention).
Value send(const Value& obj, std::string_view name, Args args = {});
template <class... A>
Value sendWith(const Value& obj, std::string_view name, const A&... a)
{
    const Value argv[] = {Value(a)...};
    return send(obj, name, Args(argv, sizeof...(A)));
}
inline Value sendWith(const Value& obj, std::string_view name) { return send(obj, name, {}); }

// IsDerivedFrom by class name, false for a non-object.
[[nodiscard]] bool isDerivedFrom(const Value& obj, std::string_view className);

}  // namespace rt
