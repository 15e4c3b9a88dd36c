// The expression compiler: text -> block.
#pragma once

#include "value.h"

#include <string_view>

namespace rt {

// Compiles an expression into a block of no arguments that evaluates it;
// a text that is itself a block literal "{|a, b| ...}" compiles to that
// block. The block carries the source text. Raises a runtime error of
// subsystem "COMPILER" whose position is the 1-based character offset of the
// fault and whose description names it ("')' expected", "Undefined function: FOO").
[[nodiscard]] Value compile(std::string_view text);
// Compiles and evaluates in one step.
Value evalText(std::string_view text);

}  // namespace rt
