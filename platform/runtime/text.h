// Text functions. Text is UTF-8 inside; lengths and positions count
// characters. Positions are 1-based as in the language.
#pragma once

#include "value.h"

#include <string>
#include <string_view>
#include <vector>

namespace rt {

// Character helpers over UTF-8.
[[nodiscard]] std::size_t utf8Length(std::string_view s) noexcept;
// Byte offset of character index ci (0-based); s.size() when past the end.
[[nodiscard]] std::size_t utf8Offset(std::string_view s, std::size_t ci) noexcept;
[[nodiscard]] std::string utf8Sub(std::string_view s, std::size_t from0, std::size_t count);
[[nodiscard]] std::u32string toU32(std::string_view s);
[[nodiscard]] std::string fromU32(std::u32string_view s);
void appendUtf8(std::string& out, char32_t c);

[[nodiscard]] std::string upper(std::string_view s);  // accented Latin letters too
[[nodiscard]] std::string lower(std::string_view s);
[[nodiscard]] std::string rtrim(std::string_view s);   // trailing blanks
[[nodiscard]] std::string ltrim(std::string_view s);
[[nodiscard]] std::string alltrim(std::string_view s);
[[nodiscard]] std::string padR(std::string_view s, std::size_t n, char32_t fill = U' ');
[[nodiscard]] std::string padL(std::string_view s, std::size_t n, char32_t fill = U' ');
[[nodiscard]] std::string padC(std::string_view s, std::size_t n, char32_t fill = U' ');
[[nodiscard]] std::string replicate(std::string_view s, std::size_t n);
// Splits at every delimiter: "a;b" -> {"a","b"}; "" -> {}.
[[nodiscard]] std::vector<std::string> tokenize(std::string_view s, std::string_view delim);

// Str(n, len, dec): right-aligned in len characters with dec decimals,
// rounded half away from zero; "*" x len when it does not fit. len < 0 and
// dec < 0 select the language's defaults (10 integer digits, the number's own
// decimals).
[[nodiscard]] std::string str(const Value& n, int len = -1, int dec = -1);
// Number of the leading numeric text of s ("12.50abc" -> 12.50, 2 decimals; "" -> 0).
[[nodiscard]] Value val(std::string_view s);
// The number as plain text: no blanks, no thousands separators, period as
// decimal point, its own decimals ("1234.50", "-3", "0.5").
[[nodiscard]] std::string numberText(const Value& n);

// Var2Char: any value as text (dates in the current format, .T./.F., "NIL",
// arrays as "{1, "a"}"). Var2LChar: the same, the literal form for text.
[[nodiscard]] std::string var2char(const Value& v);
[[nodiscard]] std::string var2lchar(const Value& v);
// RK_XtoC: value as text for captions and exports: like Var2Char, NIL gives "".
[[nodiscard]] std::string xtoc(const Value& v);

// Transform(value, picture).
[[nodiscard]] std::string transform(const Value& v, std::string_view picture);

}  // namespace rt
