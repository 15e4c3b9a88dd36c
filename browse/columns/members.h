// Member access by name, resolved once per class.
//
// The colour and data blocks of a column run for every visible cell, and a
// plain rt::getMember upper-cases and hashes the name on every call. A
// MemberRef remembers the member entry of the last class it met, so a
// repeated read costs one pointer compare and the member's own accessor.
// Objects of another class (or without the member) take the ordinary
// by-name path, errors included.
#pragma once

#include "platform/runtime/object.h"

#include <string_view>

namespace browse {

class MemberRef {
public:
    // `name` must outlive the reference (use a literal).
    constexpr explicit MemberRef(std::string_view name) noexcept : name_(name) {}

    [[nodiscard]] rt::Value get(const rt::Value& obj) const;
    void set(const rt::Value& obj, const rt::Value& v) const;
    // Calls a method (or reads a variable) as rt::send does.
    rt::Value call(const rt::Value& obj, rt::Args args = {}) const;
    // True when the object's class has the member.
    [[nodiscard]] bool existsOn(const rt::Value& obj) const;

private:
    [[nodiscard]] const rt::Member* resolve(const rt::Value& obj) const;

    std::string_view name_;
    mutable const rt::ClassInfo* cls_ = nullptr;
    mutable const rt::Member* member_ = nullptr;
};

// Small readers over by-name members with the defaults a wrong kind selects.
[[nodiscard]] bool memberTrue(const MemberRef& m, const rt::Value& obj);
[[nodiscard]] long long memberInt(const MemberRef& m, const rt::Value& obj, long long def);

}  // namespace browse
