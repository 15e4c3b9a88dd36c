// Conversion between the DOS and Windows code pages and UTF-8, through iconv.
#pragma once

#include <string>
#include <string_view>

namespace rt::cp {

// Code pages by number: 437, 850, 852, 865, 866, 1250, 1251, 1252, ...,
// 620 (Mazovia), 20866 (KOI8-R), 2859x (ISO 8859-x). UTF-8 (65001) is no
// page of one byte a character: the callers that read it handle it.
[[nodiscard]] bool supported(int codePage);
constexpr int kUtf8 = 65001;
// The code page of text whose page nobody named, from the text itself
// (field names and values together: detection needs enough text): 65001
// when its bytes are valid UTF-8 with characters beyond ASCII, else what
// the charset detector finds, where that reads as more letters than 850;
// 0 when nothing beats 850 (or there is nothing beyond ASCII).
[[nodiscard]] int detect(std::string_view sample);
// The code page a name gives ("UTF-8", "1252", "ANSI 1251", "CP866",
// "88591", "ISO-8859-2", "KOI8-R", "BIG5"), as charset detectors and the
// .cpg files of shapefiles write them; 0 for a name we do not know.
[[nodiscard]] int codePageOfName(std::string_view name);
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
