// Conversion between the DOS and Windows code pages and UTF-8, through iconv.
#pragma once

#include <string>
#include <string_view>

namespace rt::cp {

// Code pages by number: 437, 850, 852, 865, 866, 1250, 1251, 1252, ...
[[nodiscard]] bool supported(int codePage);
// Bytes of the code page to UTF-8; every byte maps to one character.
[[nodiscard]] std::string decode(std::string_view bytes, int codePage);
// UTF-8 to the code page; raises a runtime error naming the first character
// the code page cannot hold.
[[nodiscard]] std::string encode(std::string_view utf8, int codePage);
// UTF-8 text reduced to what code page `to` can show: characters it lacks
// become their closest look-alike (box drawing becomes + - |) or "?".
[[nodiscard]] std::string fitTo(std::string_view utf8, int codePage);

}  // namespace rt::cp

namespace rt {
// ConvToAnsiCP and ConvToOemCP: text is Unicode inside, so each returns the
// text as the target code page can show it.
[[nodiscard]] std::string convToAnsiCP(std::string_view utf8);  // Windows 1252
[[nodiscard]] std::string convToOemCP(std::string_view utf8);   // DOS 850
}  // namespace rt
