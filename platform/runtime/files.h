// File system listing.
#pragma once

#include "value.h"

#include <string>
#include <string_view>

namespace rt {

// Directory(pattern, attributes): an array of entries {name, size, date,
// time, attributes}. The pattern's folder part is used as given; its name
// part ("*.DBF", "A?.txt") matches without regard to case. Directories are
// listed only when attributes contain "D", hidden entries only with "H".
// Entries come sorted by name (case-insensitively, then byte-wise).
[[nodiscard]] Value directory(std::string_view pattern, std::string_view attributes = {});

// File(pattern): whether a regular file matches, hidden ones included, with
// the same case-blind matching as directory().
[[nodiscard]] bool fileExists(std::string_view pattern);
// The current folder, as an absolute path; "" when it cannot be found.
[[nodiscard]] std::string currentFolder();

}  // namespace rt
