// The expression compiler: text -> block.
#pragma once

#include "value.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rt {

// Compiles an expression into a block of no arguments that evaluates it;
// a text that is itself a block literal "{|a, b| ...}" compiles to that
// block. The block carries the source text. Raises a runtime error of
// subsystem "COMPILER" whose position is the 1-based character offset of the
// fault and whose description names it ("')' expected", "Undefined function: FOO").
[[nodiscard]] Value compile(std::string_view text);

// What a text may name besides its block parameters, publics and fields,
// as the locals and manifest constants of the code it is written in:
// variables, each a get/set block (called without argument it reads the
// variable, with one it assigns it), and constants, folded in when the text
// compiles. Names are case-insensitive; a block parameter hides them.
struct Names {
    std::vector<std::pair<std::string, Value>> variables;
    std::vector<std::pair<std::string, Value>> constants;
};
// As compile(text), resolving the names of `names` first.
[[nodiscard]] Value compile(std::string_view text, const Names& names);

// Compiles and evaluates in one step.
Value evalText(std::string_view text);

}  // namespace rt
