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
// The well-formed character starting at byte i: its code point and length.
// A malformed sequence (overlong, surrogate, truncated, past U+10FFFF) gives
// U+FFFD with length 1, so callers step over one byte and may tell it apart.
struct Utf8Char {
    char32_t cp;
    std::size_t len;
    bool ok;
};
[[nodiscard]] Utf8Char decodeUtf8(std::string_view s, std::size_t i) noexcept;
[[nodiscard]] bool isAsciiText(std::string_view s) noexcept;
// Names of functions, members and variables compare without regard to case.
[[nodiscard]] std::string upperAscii(std::string_view s);
[[nodiscard]] bool sameNameNoCase(std::string_view a, std::string_view b) noexcept;
[[nodiscard]] std::u32string toU32(std::string_view s);
[[nodiscard]] std::string fromU32(std::u32string_view s);
void appendUtf8(std::string& out, char32_t c);

[[nodiscard]] std::string upper(std::string_view s);  // accented Latin letters too
[[nodiscard]] std::string lower(std::string_view s);
[[nodiscard]] std::string rtrim(std::string_view s);  // trailing blanks
[[nodiscard]] std::string ltrim(std::string_view s);
[[nodiscard]] std::string alltrim(std::string_view s);
[[nodiscard]] std::string padR(std::string_view s, std::size_t n, char32_t fill = U' ');
[[nodiscard]] std::string padL(std::string_view s, std::size_t n, char32_t fill = U' ');
[[nodiscard]] std::string padC(std::string_view s, std::size_t n, char32_t fill = U' ');
[[nodiscard]] std::string replicate(std::string_view s, std::size_t n);
// Splits at every delimiter: "a;b" -> {"a","b"}; "" -> {}.
[[nodiscard]] std::vector<std::string> tokenize(std::string_view s, std::string_view delim);

// Text longer than this raises "String overflow" instead of allocating.
inline constexpr std::size_t kMaxTextBytes = std::size_t(256) << 20;
// Raises "String overflow" naming op when a text of `bytes` bytes would be too long.
void ensureTextSize(std::size_t bytes, std::string_view op);

// A number's decimal digits rounded half away from zero at `dec` decimals
// (dec < 0 rounds to tens, hundreds, ...). Rounding works on the shortest
// text that reads back as the same double, so 2.675 rounds up as written.
struct DecimalDigits {
    bool negative = false;  // false when every digit is zero: no "-0.00"
    bool finite = true;     // false for infinities and NaN (digits empty)
    std::string whole;      // at least "0"
    std::string fraction;   // exactly max(dec, 0) digits
};
[[nodiscard]] DecimalDigits decimalDigits(const Value& n, int dec);
// Round(n, dec): the value with dec decimals; a whole number when dec <= 0.
[[nodiscard]] Value roundNumber(const Value& n, int dec);

// Str(n, len, dec): right-aligned in len characters with dec decimals,
// rounded half away from zero; "*" x len when it does not fit. len < 0 and
// dec < 0 select the language's defaults (10 integer digits, the number's own
// decimals; an explicit len alone means 0 decimals). Without len a number too
// wide for the default grows the text rather than losing digits.
[[nodiscard]] std::string str(const Value& n, int len = -1, int dec = -1);
// Number of the leading numeric text of s ("12.50abc" -> 12.50, 2 decimals; "" -> 0).
// Leading blanks and one sign are read; an exponent is not ("1e3" -> 1).
[[nodiscard]] Value val(std::string_view s);
// The number as plain text: no blanks, no thousands separators, period as
// decimal point, its own decimals ("1234.50", "-3", "0.5").
[[nodiscard]] std::string numberText(const Value& n);

// Var2Char and Var2LChar: any value as text (text itself, dates in the
// current format, .T./.F., "NIL", arrays as "{1, "a"}", a block's source text
// or "{|| ... }", an object's class name). Inside arrays text shows in literal
// form and dates as their text; an array that contains itself shows "{...}"
// where it recurs.
[[nodiscard]] std::string var2char(const Value& v);
[[nodiscard]] std::string var2lchar(const Value& v);
// The literal form, for tools and error messages: like Var2Char, but text is
// quoted so it compiles back ("..." or '...', control characters as Chr(n)).
[[nodiscard]] std::string literalText(const Value& v);
// RK_XtoC: value as text for captions and exports: like Var2Char, but NIL
// gives "" and logicals "T" / "F" (as a logical field shows).
[[nodiscard]] std::string xtoc(const Value& v);

// Transform(value, picture): "@functions template". NIL gives ""; arrays,
// blocks and objects raise an argument error. See picture.cpp for the rules.
[[nodiscard]] std::string transform(const Value& v, std::string_view picture);

}  // namespace rt
