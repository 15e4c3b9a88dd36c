// Arrays: ordered lists of values with reference semantics, positions from 1
// at the language level (0-based in C++).
#pragma once

#include "value.h"

#include <vector>

namespace rt {

class Array final : public HeapCell {
public:
    Array() = default;
    explicit Array(std::size_t n) : items(n) {}
    explicit Array(std::vector<Value> v) : items(std::move(v)) {}

    [[nodiscard]] std::size_t size() const noexcept { return items.size(); }
    // Element at a language position (1-based); raises a bound error outside 1..size.
    [[nodiscard]] Value& at1(std::int64_t pos);
    [[nodiscard]] const Value& at1(std::int64_t pos) const;

    std::vector<Value> items;
};

// Builds an array value from C++ values: makeArray({1, "a", true}).
[[nodiscard]] Value makeArray(std::initializer_list<Value> items);
[[nodiscard]] Value makeArray(std::vector<Value> items);

// Entry pos (1-based) of an array value; NIL outside it or for a value
// that is no array (options and settings arrays are read this way).
[[nodiscard]] const Value& entryOf(const Value& a, std::size_t pos) noexcept;

// Deep copy: nested arrays are copied too, blocks and objects are shared.
[[nodiscard]] Value aClone(const Value& a);

}  // namespace rt
