// Named setups become the positional arguments of a function compiled text
// calls here, in one way: each setup lists the index of each member.
#pragma once

#include "platform/runtime/value.h"

#include <cstddef>
#include <initializer_list>
#include <vector>

namespace rt {

// One argument: its 0-based position and its value.
struct ArgAt {
    std::size_t index;
    Value value;
};

// `count` NILs, then each entry put at its index (an index past count raises
// std::out_of_range: a setup that outgrew its function is a programming fault).
[[nodiscard]] inline std::vector<Value> positionalArgs(std::size_t count, std::initializer_list<ArgAt> at)
{
    std::vector<Value> out(count);
    for (const ArgAt& a : at)
        out.at(a.index) = a.value;
    return out;
}

}  // namespace rt
