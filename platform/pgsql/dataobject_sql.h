// Statement text with its parameters, shared by the data object's sources;
// not part of the API.
#pragma once

#include "dataobject.h"
#include "pq_internal.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pgsql {

class DataObject::Sql {
public:
    Sql& operator<<(std::string_view s)
    {
        text += s;
        return *this;
    }
    // Appends "$n::cast" for a value (nullopt: NULL).
    Sql& param(std::optional<std::string> v, std::string_view cast = {})
    {
        params.push_back(v ? std::optional<std::string>(detail::withoutNul(*v)) : std::nullopt);
        text += "$" + std::to_string(params.size());
        if (!cast.empty())
            text.append("::").append(cast);
        return *this;
    }

    std::string text;
    std::vector<std::optional<std::string>> params;
};

inline constexpr std::int64_t kPage = 100;        // rows per read
inline constexpr std::size_t kMaxWindow = 500;    // rows kept
inline constexpr std::int64_t kExactBelow = 20000;  // rows under which counts are exact

}  // namespace pgsql
