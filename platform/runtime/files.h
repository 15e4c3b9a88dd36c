// File system listing.
#pragma once

#include "value.h"

#include <string_view>

namespace rt {

// Directory(pattern, attributes): an array of entries {name, size, date,
// time, attributes}. The pattern's folder part is used as given; its name
// part ("*.DBF", "A?.txt") matches without regard to case. Directories are
// listed only when attributes contain "D", hidden entries only with "H".
// Entries come sorted by name (case-insensitively, then byte-wise).
[[nodiscard]] Value directory(std::string_view pattern, std::string_view attributes = {});

}  // namespace rt
