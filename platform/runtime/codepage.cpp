// Code pages through iconv.
//
// Each page is read from iconv once, byte by byte, into a 256-entry table
// and its reverse; decode and encode are then table look-ups (the DBF engine
// converts every field, and iconv_open costs far more than a field). Only
// fitTo goes back to iconv, for the characters a page lacks.
//
// Bytes iconv does not define for a page (1252 has five: 81 8D 8F 90 9D)
// become the C1 control character of the same number when they lie in
// 80..9F, as the Windows pages themselves treat them, so such bytes survive
// a round trip; any other undefined byte becomes U+FFFD.
#include "codepage.h"

#include "builtins.h"
#include "error.h"
#include "functions.h"
#include "text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iconv.h>
#include <locale.h>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace rt::cp {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Pages whose bytes each stand for one character. 864, 1255 and 1258 are
// left out: iconv treats some of their bytes as combining or shifted.
constexpr int kPages[] = {437, 737, 775, 850, 852, 855, 857, 858, 860, 861, 862, 863, 865, 866, 869, 874,
                          1250, 1251, 1252, 1253, 1254, 1256, 1257};

struct Page {
    int number = 0;
    std::string iconvName;
    std::array<char32_t, 256> chars{};
    std::array<std::string, 256> utf8;
    std::unordered_map<char32_t, unsigned char> bytes;
    bool asciiSame = true;  // bytes 00..7F are ASCII, so ASCII text needs no conversion
    iconv_t translit = kNoConverter;  // UTF-8 -> page//TRANSLIT, opened on first need
    std::mutex translitLock;

    ~Page()
    {
        if (translit != kNoConverter)
            iconv_close(translit);
    }
};

// One byte of the page through iconv; 0 code points when iconv refuses it.
char32_t iconvByte(iconv_t cd, unsigned char byte)
{
    char in = static_cast<char>(byte);
    char* ip = &in;
    std::size_t il = 1;
    unsigned char out[16];
    char* op = reinterpret_cast<char*>(out);
    std::size_t ol = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv(cd, nullptr, nullptr, &op, &ol);
    if (r == static_cast<std::size_t>(-1) || sizeof out - ol != 4)
        return byte >= 0x80 && byte <= 0x9F ? char32_t(byte) : kReplacement;
    return char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 | char32_t(out[3]) << 24;
}

std::unique_ptr<Page> buildPage(int number)
{
    auto page = std::make_unique<Page>();
    page->number = number;
    page->iconvName = "CP" + std::to_string(number);
    iconv_t cd = iconv_open("UTF-32LE", page->iconvName.c_str());
    if (cd == kNoConverter)
        return nullptr;
    for (int b = 0; b < 256; ++b) {
        const char32_t c = iconvByte(cd, static_cast<unsigned char>(b));
        page->chars[static_cast<std::size_t>(b)] = c;
        appendUtf8(page->utf8[static_cast<std::size_t>(b)], c);
        if (c != kReplacement)
            page->bytes.emplace(c, static_cast<unsigned char>(b));  // the first byte wins
        if (b < 0x80 && c != char32_t(b))
            page->asciiSame = false;
    }
    iconv_close(cd);
    return page;
}

// The page's tables, built on first use; null for a page we do not offer.
Page* findPage(int number)
{
    static std::mutex lock;
    static std::map<int, std::unique_ptr<Page>> pages;
    std::lock_guard guard(lock);
    auto it = pages.find(number);
    if (it == pages.end()) {
        const bool known = std::find(std::begin(kPages), std::end(kPages), number) != std::end(kPages);
        it = pages.emplace(number, known ? buildPage(number) : nullptr).first;
    }
    return it->second.get();
}

Page& pageFor(int number, const char* operation)
{
    Page* page = findPage(number);
    if (!page)
        raise("Code page " + std::to_string(number) + " is not supported", operation, {Value(number)});
    return *page;
}

std::string hexCode(char32_t c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    return buf;
}

// Box drawing keeps its shape: lines become - and |, corners and joints +.
char boxLookAlike(char32_t c) noexcept
{
    if (c < 0x2500 || c > 0x257F)
        return 0;
    switch (c) {
    case 0x2500: case 0x2501: case 0x2504: case 0x2505: case 0x2508: case 0x2509:
    case 0x254C: case 0x254D: case 0x2550: case 0x2574: case 0x2576: case 0x2578:
    case 0x257A: case 0x257C: case 0x257E:
        return '-';
    case 0x2502: case 0x2503: case 0x2506: case 0x2507: case 0x250A: case 0x250B:
    case 0x254E: case 0x254F: case 0x2551: case 0x2575: case 0x2577: case 0x2579:
    case 0x257B: case 0x257D: case 0x257F:
        return '|';
    case 0x2571:
        return '/';
    case 0x2572:
        return '\\';
    default:
        return '+';
    }
}

// iconv's transliteration depends on the thread's locale; a fixed one keeps
// fitTo's result the same whatever locale the program runs under.
class TranslitLocale {
public:
    TranslitLocale()
    {
        static const locale_t fixed = [] {
            locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
            return l ? l : newlocale(LC_CTYPE_MASK, "C.utf8", nullptr);
        }();
        if (fixed)
            previous_ = uselocale(fixed);
    }
    ~TranslitLocale()
    {
        if (previous_)
            uselocale(previous_);
    }
    TranslitLocale(const TranslitLocale&) = delete;
    TranslitLocale& operator=(const TranslitLocale&) = delete;

private:
    locale_t previous_ = nullptr;
};

// The closest look-alike of one character in the page, as UTF-8, or "?".
std::string transliterate(Page& page, std::string_view utf8Char)
{
    std::lock_guard guard(page.translitLock);
    TranslitLocale fixedLocale;
    if (page.translit == kNoConverter) {
        page.translit = iconv_open((page.iconvName + "//TRANSLIT").c_str(), "UTF-8");
        if (page.translit == kNoConverter)
            return "?";
    }
    std::string in(utf8Char);
    char* ip = in.data();
    std::size_t il = in.size();
    char out[32];
    char* op = out;
    std::size_t ol = sizeof out;
    iconv(page.translit, nullptr, nullptr, nullptr, nullptr);
    if (iconv(page.translit, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0 ||
        iconv(page.translit, nullptr, nullptr, &op, &ol) == static_cast<std::size_t>(-1) || op == out)
        return "?";
    std::string result;
    for (const char* p = out; p != op; ++p)
        result += page.utf8[static_cast<unsigned char>(*p)];
    return result;
}

}  // namespace

bool supported(int codePage) { return findPage(codePage) != nullptr; }

std::string decode(std::string_view bytes, int codePage)
{
    const Page& page = pageFor(codePage, "decode");
    if (page.asciiSame && isAsciiText(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char b : bytes)
        out += page.utf8[static_cast<unsigned char>(b)];
    return out;
}

namespace {

// The end of the run of ASCII bytes starting at `at` (at itself when none).
std::size_t asciiRunEnd(std::string_view s, std::size_t at)
{
    while (at < s.size() && static_cast<unsigned char>(s[at]) < 0x80)
        ++at;
    return at;
}

}  // namespace

std::string encode(std::string_view utf8, int codePage)
{
    const Page& page = pageFor(codePage, "encode");
    if (page.asciiSame && isAsciiText(utf8))
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        // Most characters of mostly-Latin text are ASCII: no lookup for them.
        if (page.asciiSame) {
            if (const std::size_t end = asciiRunEnd(utf8, at); end > at) {
                out.append(utf8, at, end - at);
                at = end;
                continue;
            }
        }
        const Utf8Char u = decodeUtf8(utf8, at);
        if (!u.ok) {
            Error e("Invalid UTF-8 text", "encode", {Value(codePage)});
            e.position = static_cast<long long>(at);
            raise(std::move(e));
        }
        const std::string_view one = utf8.substr(at, u.len);
        const auto it = page.bytes.find(u.cp);
        if (it == page.bytes.end())
            raise("Character '" + std::string(one) + "' (" + hexCode(u.cp) + ") cannot be written in code page " +
                      std::to_string(codePage),
                  "encode", {Value(one), Value(codePage)});
        out += static_cast<char>(it->second);
        at += u.len;
    }
    return out;
}

std::string fitTo(std::string_view utf8, int codePage)
{
    Page& page = pageFor(codePage, "fitTo");
    if (page.asciiSame && isAsciiText(utf8))
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        // Most characters of mostly-Latin text are ASCII: no lookup for them.
        if (page.asciiSame) {
            if (const std::size_t end = asciiRunEnd(utf8, at); end > at) {
                out.append(utf8, at, end - at);
                at = end;
                continue;
            }
        }
        const Utf8Char u = decodeUtf8(utf8, at);
        const std::string_view one = utf8.substr(at, u.len);
        at += u.len;
        if (!u.ok)
            out += '?';
        else if (page.bytes.count(u.cp))
            out += one;
        else if (const char box = boxLookAlike(u.cp))
            out += box;
        else
            out += transliterate(page, one);
    }
    return out;
}

}  // namespace rt::cp

namespace rt {

std::string convToAnsiCP(std::string_view utf8) { return cp::fitTo(utf8, 1252); }
std::string convToOemCP(std::string_view utf8) { return cp::fitTo(utf8, 850); }

namespace {

Value fnConvToAnsiCP(Args args)
{
    const Value& v = argAt(args, 0);
    if (!v.isChar())
        raiseArg("CONVTOANSICP", args);
    return Value(convToAnsiCP(v.asString()));
}

Value fnConvToOemCP(Args args)
{
    const Value& v = argAt(args, 0);
    if (!v.isChar())
        raiseArg("CONVTOOEMCP", args);
    return Value(convToOemCP(v.asString()));
}

}  // namespace

void detail::registerCodePageFunctions()
{
    registerFunction("ConvToAnsiCP", fnConvToAnsiCP);
    registerFunction("ConvToOemCP", fnConvToOemCP);
}

}  // namespace rt
