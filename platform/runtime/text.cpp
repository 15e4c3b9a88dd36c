// Text functions of the language over UTF-8 text, and the text form of any
// value (Var2Char, Var2LChar, RK_XtoC).
//
// Positions and lengths count characters. A malformed UTF-8 sequence counts
// as one character per byte, so every byte belongs to exactly one character
// and no position can fall inside a character.
#include "text.h"

#include "array.h"
#include "block.h"
#include "builtins.h"
#include "datetime.h"
#include "error.h"
#include "functions.h"
#include "object.h"

#include <QChar>

#include <algorithm>
#include <cmath>
#include <limits>

namespace rt {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

Utf8Char decodeUtf8(std::string_view s, std::size_t i) noexcept
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80)
        return {b0, 1, true};
    std::size_t len = 0;
    char32_t cp = 0;
    char32_t least = 0;  // smaller code points in this length are overlong
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, least = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, least = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, least = 0x10000;
    } else {
        return {kReplacement, 1, false};
    }
    if (i + len > s.size())
        return {kReplacement, 1, false};
    for (std::size_t k = 1; k < len; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80)
            return {kReplacement, 1, false};
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {kReplacement, 1, false};
    return {cp, len, true};
}

namespace {

std::size_t utf8Bytes(char32_t c) noexcept { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// Character index of byte offset `byte` (which starts a character).
std::size_t charIndex(std::string_view s, std::size_t byte) noexcept { return utf8Length(s.substr(0, byte)); }

template <class Map>
std::string mapChars(std::string_view s, Map map)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte < 0x80) {  // mostly-ASCII text stays on the short path
            appendUtf8(out, map(byte));
            ++i;
            continue;
        }
        const auto [cp, len, ok] = decodeUtf8(s, i);
        if (!ok)
            out += s[i];  // keep a malformed byte as it was
        else
            appendUtf8(out, map(cp));
        i += len;
    }
    return out;
}

// Builds `fill` repeated n times, refusing texts over the size limit.
std::string fillText(char32_t fill, std::size_t n, std::string_view op)
{
    const std::size_t unit = utf8Bytes(fill);
    if (n > kMaxTextBytes / unit)
        raise("String overflow", std::string(op));
    if (unit == 1)
        return std::string(n, static_cast<char>(fill));
    std::string one;
    appendUtf8(one, fill);
    std::string out;
    out.reserve(n * unit);
    for (std::size_t i = 0; i < n; ++i)
        out += one;
    return out;
}

}  // namespace

// --- UTF-8 helpers ---

bool isAsciiText(std::string_view s) noexcept
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string upperAscii(std::string_view s)
{
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return u;
}

bool sameNameNoCase(std::string_view a, std::string_view b) noexcept
{
    const auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return up(x) == up(y); });
}

std::size_t utf8Length(std::string_view s) noexcept
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++n)
        i += static_cast<unsigned char>(s[i]) < 0x80 ? 1 : decodeUtf8(s, i).len;
    return n;
}

std::size_t utf8Offset(std::string_view s, std::size_t ci) noexcept
{
    std::size_t i = 0;
    for (; i < s.size() && ci > 0; --ci)
        i += static_cast<unsigned char>(s[i]) < 0x80 ? 1 : decodeUtf8(s, i).len;
    return i;
}

std::string utf8Sub(std::string_view s, std::size_t from0, std::size_t count)
{
    const std::size_t b = utf8Offset(s, from0);
    const std::string_view rest = s.substr(b);
    return std::string(rest.substr(0, utf8Offset(rest, count)));
}

std::u32string toU32(std::string_view s)
{
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const Utf8Char c = decodeUtf8(s, i);
        out += c.cp;
        i += c.len;
    }
    return out;
}

std::string fromU32(std::u32string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s)
        appendUtf8(out, c);
    return out;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// --- case, trimming, padding ---

std::string upper(std::string_view s)
{
    if (isAsciiText(s)) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return out;
    }
    return mapChars(s, [](char32_t c) { return QChar::toUpper(c); });
}

std::string lower(std::string_view s)
{
    if (isAsciiText(s)) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    return mapChars(s, [](char32_t c) { return QChar::toLower(c); });
}

// Only the blank is trimmed: a trailing CR, LF or TAB is data, as in the language.
std::string rtrim(std::string_view s)
{
    const auto last = s.find_last_not_of(' ');
    return std::string(last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1));
}

std::string ltrim(std::string_view s)
{
    const auto first = s.find_first_not_of(' ');
    return std::string(first == std::string_view::npos ? std::string_view() : s.substr(first));
}

std::string alltrim(std::string_view s) { return ltrim(rtrim(s)); }

std::string padR(std::string_view s, std::size_t n, char32_t fill)
{
    const std::size_t len = utf8Length(s);
    if (len >= n)
        return utf8Sub(s, 0, n);
    return std::string(s) + fillText(fill, n - len, "PADR");
}

std::string padL(std::string_view s, std::size_t n, char32_t fill)
{
    const std::size_t len = utf8Length(s);
    if (len >= n)
        return utf8Sub(s, 0, n);
    return fillText(fill, n - len, "PADL") + std::string(s);
}

std::string padC(std::string_view s, std::size_t n, char32_t fill)
{
    const std::size_t len = utf8Length(s);
    if (len >= n)
        return utf8Sub(s, 0, n);
    const std::size_t left = (n - len) / 2;
    return fillText(fill, left, "PADC") + std::string(s) + fillText(fill, n - len - left, "PADC");
}

std::string replicate(std::string_view s, std::size_t n)
{
    if (s.empty() || n == 0)
        return {};
    if (n > kMaxTextBytes / s.size())
        raise("String overflow", "REPLICATE");
    std::string out;
    out.reserve(s.size() * n);
    for (std::size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

std::vector<std::string> tokenize(std::string_view s, std::string_view delim)
{
    std::vector<std::string> out;
    if (s.empty())
        return out;
    if (delim.empty())
        return {std::string(s)};
    for (std::size_t from = 0;;) {
        const auto at = s.find(delim, from);
        if (at == std::string_view::npos) {
            out.emplace_back(s.substr(from));
            return out;
        }
        out.emplace_back(s.substr(from, at - from));
        from = at + delim.size();
    }
}

// --- the text form of values ---

namespace {

// Text as a literal that compiles back to the same text.
std::string quoted(std::string_view s)
{
    const bool hasControl =
        std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (!hasControl && s.find('"') == std::string_view::npos)
        return "\"" + std::string(s) + "\"";
    if (!hasControl && s.find('\'') == std::string_view::npos)
        return "'" + std::string(s) + "'";
    // Both quotes or control characters: pieces in "..." joined with Chr().
    std::string out;
    std::string piece;
    auto flush = [&] {
        if (piece.empty())
            return;
        out += out.empty() ? "\"" : " + \"";
        out += piece + "\"";
        piece.clear();
    };
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && c != '"') {
            piece += c;
            continue;
        }
        flush();
        out += out.empty() ? "Chr(" : " + Chr(";
        out += std::to_string(u) + ")";
    }
    flush();
    return out;
}

class TextForm {
public:
    explicit TextForm(bool literalText) : literalText_(literalText) {}

    void put(const Value& v, bool inArray)
    {
        switch (v.kind()) {
        case Kind::Nil: out_ += "NIL"; break;
        case Kind::Char: out_ += (literalText_ || inArray) ? quoted(v.asString()) : std::string(v.asString()); break;
        case Kind::Num: out_ += numberText(v); break;
        case Kind::Date: out_ += dtoc(v.asDate()); break;
        case Kind::Logical: out_ += v.asBool() ? ".T." : ".F."; break;
        case Kind::Array: putArray(v); break;
        case Kind::Block: out_ += v.asBlock().text().empty() ? std::string("{|| ... }") : v.asBlock().text(); break;
        case Kind::Object: out_ += v.asObject().className(); break;
        }
        ensureTextSize(out_.size(), "VAR2CHAR");
    }

    [[nodiscard]] std::string take() { return std::move(out_); }

private:
    // An array met again inside itself shows "{...}", so cycles end; so does
    // nesting deep enough to threaten the stack.
    void putArray(const Value& v)
    {
        const HeapCell* cell = v.cell();
        if (path_.size() >= 512 || std::find(path_.begin(), path_.end(), cell) != path_.end()) {
            out_ += "{...}";
            return;
        }
        path_.push_back(cell);
        out_ += '{';
        bool first = true;
        for (const Value& item : v.asArray().items) {
            if (!first)
                out_ += ", ";
            first = false;
            put(item, true);
        }
        out_ += '}';
        path_.pop_back();
    }

    bool literalText_;
    std::string out_;
    std::vector<const HeapCell*> path_;
};

}  // namespace

std::string var2char(const Value& v)
{
    if (v.isChar())
        return v.str();
    TextForm f(false);
    f.put(v, false);
    return f.take();
}

std::string var2lchar(const Value& v) { return var2char(v); }

std::string literalText(const Value& v)
{
    TextForm f(true);
    f.put(v, false);
    return f.take();
}

std::string xtoc(const Value& v)
{
    if (v.isNil())
        return {};
    if (v.isLogical())
        return v.asBool() ? "T" : "F";
    return var2char(v);
}

// --- registered functions ---

namespace {

// A length argument: negative means none, a huge one is refused up front.
std::size_t countArg(Args a, std::size_t i, const char* op)
{
    const std::int64_t n = intArg(a, i, op, 0);
    if (n <= 0)
        return 0;
    if (static_cast<std::uint64_t>(n) > kMaxTextBytes)
        raise("String overflow", op, std::vector<Value>(a.begin(), a.end()));
    return static_cast<std::size_t>(n);
}

std::size_t charLength(const Value& v)
{
    return v.asStringCell().isAscii() ? v.asString().size() : utf8Length(v.asString());
}

// Characters [from0, from0 + count) of a text value.
Value subText(const Value& v, std::size_t from0, std::size_t count)
{
    const std::string_view s = v.asString();
    if (v.asStringCell().isAscii())
        return Value(from0 >= s.size() ? std::string_view() : s.substr(from0, count));
    return Value(utf8Sub(s, from0, count));
}

Value textResult(std::string s) { return Value(std::string_view(s)); }

Value fnUpper(Args a) { return textResult(upper(textArg(a, 0, "UPPER"))); }
Value fnLower(Args a) { return textResult(lower(textArg(a, 0, "LOWER"))); }
Value fnRTrim(Args a) { return textResult(rtrim(textArg(a, 0, "RTRIM"))); }
Value fnTrim(Args a) { return textResult(rtrim(textArg(a, 0, "TRIM"))); }
Value fnLTrim(Args a) { return textResult(ltrim(textArg(a, 0, "LTRIM"))); }
Value fnAllTrim(Args a) { return textResult(alltrim(textArg(a, 0, "ALLTRIM"))); }

// The Pad functions also take numbers and dates, as their plain text.
template <std::string (*Pad)(std::string_view, std::size_t, char32_t)>
Value padFn(Args a, const char* op)
{
    const Value& v = argAt(a, 0);
    std::string text;
    if (v.isChar())
        text = v.str();
    else if (v.isNum())
        text = numberText(v);
    else if (v.isDate())
        text = dtoc(v.asDate());
    else
        raiseArg(op, a);
    const std::size_t n = countArg(a, 1, op);
    const Value& fill = argAt(a, 2);
    if (!fill.isNil() && !fill.isChar())
        raiseArg(op, a);
    const char32_t f = fill.isChar() && !fill.asString().empty() ? decodeUtf8(fill.asString(), 0).cp : U' ';
    return textResult(Pad(text, n, f));
}

Value fnPadR(Args a) { return padFn<padR>(a, "PADR"); }
Value fnPadL(Args a) { return padFn<padL>(a, "PADL"); }
Value fnPadC(Args a) { return padFn<padC>(a, "PADC"); }

Value fnSpace(Args a)
{
    if (!argAt(a, 0).isNum())
        raiseArg("SPACE", a);
    return textResult(std::string(countArg(a, 0, "SPACE"), ' '));
}

Value fnReplicate(Args a)
{
    const std::string_view s = textArg(a, 0, "REPLICATE");
    if (!argAt(a, 1).isNum())
        raiseArg("REPLICATE", a);
    const std::int64_t n = intArg(a, 1, "REPLICATE", 0);
    if (n <= 0 || s.empty())
        return Value(std::string_view());
    if (static_cast<std::uint64_t>(n) > kMaxTextBytes / s.size())
        raise("String overflow", "REPLICATE", std::vector<Value>(a.begin(), a.end()));
    return textResult(replicate(s, static_cast<std::size_t>(n)));
}

// SubStr(text, start, count): a negative start counts from the end (-1 is
// the last character); a start before the first character starts there.
Value fnSubStr(Args a)
{
    (void)textArg(a, 0, "SUBSTR");
    if (!argAt(a, 1).isNum())
        raiseArg("SUBSTR", a);
    const Value& v = a[0];
    const auto len = static_cast<std::int64_t>(charLength(v));
    std::int64_t start = intArg(a, 1, "SUBSTR", 1);
    if (start < 0)
        start = std::max<std::int64_t>(start + len + 1, 1);
    start = std::max<std::int64_t>(start, 1);
    if (start > len)
        return Value(std::string_view());
    const std::int64_t count = intArg(a, 2, "SUBSTR", len - start + 1);
    if (count <= 0)
        return Value(std::string_view());
    return subText(v, static_cast<std::size_t>(start - 1), static_cast<std::size_t>(std::min(count, len)));
}

Value fnLeft(Args a)
{
    (void)textArg(a, 0, "LEFT");
    if (!argAt(a, 1).isNum())
        raiseArg("LEFT", a);
    const std::int64_t n = intArg(a, 1, "LEFT", 0);
    if (n <= 0)
        return Value(std::string_view());
    return subText(a[0], 0, static_cast<std::size_t>(n));
}

Value fnRight(Args a)
{
    (void)textArg(a, 0, "RIGHT");
    if (!argAt(a, 1).isNum())
        raiseArg("RIGHT", a);
    const std::int64_t n = intArg(a, 1, "RIGHT", 0);
    const auto len = static_cast<std::int64_t>(charLength(a[0]));
    if (n <= 0)
        return Value(std::string_view());
    if (n >= len)
        return a[0];
    return subText(a[0], static_cast<std::size_t>(len - n), static_cast<std::size_t>(n));
}

// At(search, text [, start]): position of the first occurrence at or after
// character `start`, 0 when there is none or search is empty.
Value fnAt(Args a)
{
    const std::string_view needle = textArg(a, 0, "AT");
    const std::string_view hay = textArg(a, 1, "AT");
    const std::int64_t start = std::max<std::int64_t>(intArg(a, 2, "AT", 1), 1);
    if (needle.empty())
        return Value::integer(0);
    const std::size_t from = utf8Offset(hay, static_cast<std::size_t>(start - 1));
    const auto at = hay.find(needle, from);
    if (at == std::string_view::npos)
        return Value::integer(0);
    return Value::integer(static_cast<std::int64_t>(charIndex(hay, at) + 1));
}

Value fnRAt(Args a)
{
    const std::string_view needle = textArg(a, 0, "RAT");
    const std::string_view hay = textArg(a, 1, "RAT");
    if (needle.empty())
        return Value::integer(0);
    const auto at = hay.rfind(needle);
    if (at == std::string_view::npos)
        return Value::integer(0);
    return Value::integer(static_cast<std::int64_t>(charIndex(hay, at) + 1));
}

// StrTran(text, search, replace, first, count): replaces occurrences
// first, first+1, ... (count of them, all by default); an empty search
// leaves the text as it is.
Value fnStrTran(Args a)
{
    const std::string_view text = textArg(a, 0, "STRTRAN");
    const std::string_view search = textArg(a, 1, "STRTRAN");
    const Value& rv = argAt(a, 2);
    if (!rv.isNil() && !rv.isChar())
        raiseArg("STRTRAN", a);
    const std::string_view repl = rv.isChar() ? rv.asString() : std::string_view();
    const std::int64_t first = std::max<std::int64_t>(intArg(a, 3, "STRTRAN", 1), 1);
    const std::int64_t count = intArg(a, 4, "STRTRAN", -1);
    if (search.empty() || count == 0 || (argAt(a, 4).isNum() && count < 0))
        return a[0];
    // Which occurrences are replaced: [first, last]. Sizing the result before
    // building it refuses an oversized one without allocating it.
    std::int64_t seen = 0;
    for (std::size_t at = text.find(search); at != std::string_view::npos; at = text.find(search, at + search.size()))
        ++seen;
    if (first > seen)
        return a[0];
    const std::int64_t last = count < 0 || count >= seen ? seen : std::min(seen, first + count - 1);
    const auto done = static_cast<std::size_t>(last - first + 1);
    const std::size_t room = kMaxTextBytes - std::min(text.size(), kMaxTextBytes);
    if (repl.size() > search.size() && (repl.size() - search.size()) > room / done)
        raise("String overflow", "STRTRAN", std::vector<Value>(a.begin(), a.end()));
    std::string out;
    out.reserve(text.size() + done * repl.size() - std::min(text.size(), done * search.size()));
    std::size_t from = 0;
    seen = 0;
    for (std::size_t at; seen < last && (at = text.find(search, from)) != std::string_view::npos;) {
        ++seen;
        out += text.substr(from, at - from);
        out += seen >= first ? repl : search;
        from = at + search.size();
    }
    out += text.substr(from);
    return textResult(std::move(out));
}

// Chr and Asc speak the Windows code page for 128..255, as the program's
// GUI did; 256 and above are Unicode code points.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

Value fnChr(Args a)
{
    if (!argAt(a, 0).isNum())
        raiseArg("CHR", a);
    const std::int64_t n = intArg(a, 0, "CHR", 0);
    if (n < 0 || n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF))
        raiseArg("CHR", a);
    char32_t c = static_cast<char32_t>(n);
    if (c >= 0x80 && c < 0xA0)
        c = kCp1252High[c - 0x80];
    std::string out;
    appendUtf8(out, c);
    return textResult(std::move(out));
}

Value fnAsc(Args a)
{
    const std::string_view s = textArg(a, 0, "ASC");
    if (s.empty())
        return Value::integer(0);
    const char32_t c = decodeUtf8(s, 0).cp;
    if (c >= 0x100 || (c >= 0x80 && c < 0xA0)) {
        for (int i = 0; i < 32; ++i)
            if (kCp1252High[i] == c)
                return Value::integer(0x80 + i);
    }
    return Value::integer(c);
}

// The Is... tests look at the first character; anything but text is false.
template <bool (*holds)(char32_t)>
Value charTest(Args a)
{
    const Value& v = argAt(a, 0);
    if (!v.isChar() || v.asString().empty())
        return Value(false);
    return Value(holds(decodeUtf8(v.asString(), 0).cp));
}

bool isDigitChar(char32_t c) { return c >= '0' && c <= '9'; }
bool isAlphaChar(char32_t c) { return QChar::isLetter(c); }
bool isUpperChar(char32_t c) { return QChar::isUpper(c); }
bool isLowerChar(char32_t c) { return QChar::isLower(c); }

Value fnVar2Char(Args a) { return textResult(var2char(argAt(a, 0))); }
Value fnVar2LChar(Args a) { return textResult(var2lchar(argAt(a, 0))); }
Value fnXtoC(Args a) { return textResult(xtoc(argAt(a, 0))); }

// RK_TokenArray(text, delimiter = ";"): the pieces between delimiters as an
// array of texts; "" gives {} and NIL is taken as "".
Value fnTokenArray(Args a)
{
    const Value& t = argAt(a, 0);
    const Value& d = argAt(a, 1);
    if ((!t.isNil() && !t.isChar()) || (!d.isNil() && !d.isChar()))
        raiseArg("RK_TOKENARRAY", a);
    const std::string_view text = t.isChar() ? t.asString() : std::string_view();
    const std::string_view delim = d.isChar() ? d.asString() : std::string_view(";");
    std::vector<Value> items;
    for (std::string& piece : tokenize(text, delim))
        items.emplace_back(std::string_view(piece));
    return makeArray(std::move(items));
}

// RK_BitTest(n, bit): bit 1 is the value 1, bit 2 the value 2, bit 3 the
// value 4 ...; a bit outside 1..64 is never set.
Value fnBitTest(Args a)
{
    if (!argAt(a, 0).isNum() || !argAt(a, 1).isNum())
        raiseArg("RK_BITTEST", a);
    const auto n = static_cast<std::uint64_t>(intArg(a, 0, "RK_BITTEST", 0));
    const std::int64_t bit = intArg(a, 1, "RK_BITTEST", 0);
    if (bit < 1 || bit > 64)
        return Value(false);
    return Value(((n >> (bit - 1)) & 1u) != 0);
}

}  // namespace

namespace detail {
void registerTextFunctions()
{
    registerFunction("Upper", fnUpper);
    registerFunction("Lower", fnLower);
    registerFunction("Trim", fnTrim);
    registerFunction("RTrim", fnRTrim);
    registerFunction("LTrim", fnLTrim);
    registerFunction("AllTrim", fnAllTrim);
    registerFunction("PadR", fnPadR);
    registerFunction("PadL", fnPadL);
    registerFunction("PadC", fnPadC);
    registerFunction("Space", fnSpace);
    registerFunction("Replicate", fnReplicate);
    registerFunction("SubStr", fnSubStr);
    registerFunction("Left", fnLeft);
    registerFunction("Right", fnRight);
    registerFunction("At", fnAt);
    registerFunction("RAt", fnRAt);
    registerFunction("StrTran", fnStrTran);
    registerFunction("Chr", fnChr);
    registerFunction("Asc", fnAsc);
    registerFunction("IsDigit", charTest<isDigitChar>);
    registerFunction("IsAlpha", charTest<isAlphaChar>);
    registerFunction("IsUpper", charTest<isUpperChar>);
    registerFunction("IsLower", charTest<isLowerChar>);
    registerFunction("Var2Char", fnVar2Char);
    registerFunction("Var2LChar", fnVar2LChar);
    registerFunction("RK_XtoC", fnXtoC);
    registerFunction("RK_TokenArray", fnTokenArray);
    registerFunction("RK_BitTest", fnBitTest);
}
}  // namespace detail

}  // namespace rt
