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

#include <uchardet/uchardet.h>

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
constexpr int kPages[] = {437,   620,   737,   775,   850,   852,   855,   857,   858,   860,  861,
                          862,   863,   865,   866,   869,   874,   1250,  1251,  1252,  1253, 1254,
                          1256,  1257,  20866, 21866, 28591, 28592, 28593, 28594, 28595, 28597, 28599,
                          28603, 28605};

// Mazovia (620), the Polish DOS page: 437 with Polish letters in 18 places.
// iconv has no table for it.
constexpr std::pair<unsigned char, char32_t> kMazovia[] = {
    {0x86, 0x0105}, {0x8D, 0x0107}, {0x8F, 0x0104}, {0x90, 0x0118}, {0x91, 0x0119}, {0x92, 0x0142},
    {0x95, 0x0106}, {0x98, 0x015A}, {0x9C, 0x0141}, {0x9E, 0x015B}, {0xA0, 0x0179}, {0xA1, 0x017B},
    {0xA2, 0x00F3}, {0xA3, 0x00D3}, {0xA4, 0x0144}, {0xA5, 0x0143}, {0xA6, 0x017A}, {0xA7, 0x017C},
};

// iconv's name of a page.
std::string iconvName(int number)
{
    if (number == 620)
        return "CP437";  // then patched
    if (number == 20866)
        return "KOI8-R";
    if (number == 21866)
        return "KOI8-U";
    if (number > 28590 && number < 28610)
        return "ISO-8859-" + std::to_string(number - 28590);
    return "CP" + std::to_string(number);
}

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
    page->iconvName = iconvName(number);
    iconv_t cd = iconv_open("UTF-32LE", page->iconvName.c_str());
    if (cd == kNoConverter)
        return nullptr;
    for (int b = 0; b < 256; ++b) {
        char32_t c = iconvByte(cd, static_cast<unsigned char>(b));
        if (number == 620)
            for (const auto& [byte, letter] : kMazovia)
                c = byte == b ? letter : c;
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

namespace {

// Whether a character is a letter of an alphabet the pages above write:
// Latin, Greek, Cyrillic, Hebrew, Arabic, Thai.
bool isLetter(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return c == 0xAA || c == 0xB5 || c == 0xBA || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) ||
           (c >= 0x386 && c <= 0x3FF) || (c >= 0x400 && c <= 0x52F) || (c >= 0x5D0 && c <= 0x5EA) ||
           (c >= 0x620 && c <= 0x64A) || (c >= 0xE01 && c <= 0xE4E);
}

// How many bytes of the sample beyond ASCII read as letters in the page.
long letters(const Page& page, std::string_view sample)
{
    long n = 0;
    for (char b : sample)
        n += static_cast<unsigned char>(b) >= 0x80 && isLetter(page.chars[static_cast<unsigned char>(b)]);
    return n;
}

// Valid UTF-8 with at least one character beyond ASCII.
bool isUtf8Text(std::string_view s)
{
    bool wide = false;
    for (std::size_t i = 0; i < s.size();) {
        const Utf8Char u = decodeUtf8(s, i);
        if (!u.ok)
            return false;
        wide = wide || u.len > 1;
        i += u.len;
    }
    return wide;
}

std::string upperName(std::string_view name)
{
    std::string s;
    for (char c : name)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            s += c >= 'a' && c <= 'z' ? char(c - 32) : c;
    return s;
}

int numberIn(std::string_view digits)
{
    int n = 0;
    if (digits.empty() || digits.size() > 5)
        return 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

int codePageOfName(std::string_view name)
{
    std::string s = upperName(name);
    std::erase(s, '_');
    if (s == "UTF-8" || s == "UTF8" || s == "65001")
        return kUtf8;
    if (s == "BIG5" || s == "BIG-5")
        return 950;
    if (s == "GB18030" || s == "GB2312" || s == "GBK")
        return 936;
    if (s == "SHIFTJIS" || s == "SHIFT-JIS" || s == "SJIS")
        return 932;
    if (s == "EUC-KR" || s == "UHC")
        return 949;
    if (s == "TIS-620" || s == "ISO-8859-11")
        return 874;
    if (s == "KOI8-R")
        return 20866;
    if (s == "KOI8-U")
        return 21866;
    for (std::string_view prefix : {"ISO-8859-", "ISO8859-", "ISO8859", "8859"})
        if (s.starts_with(prefix)) {
            const int part = numberIn(std::string_view(s).substr(prefix.size()));
            return part >= 1 && part <= 16 ? 28590 + part : 0;
        }
    for (std::string_view prefix : {"WINDOWS-", "ANSI", "OEM", "IBM", "CP", "DOS"})
        if (s.starts_with(prefix)) {
            s.erase(0, prefix.size());
            break;
        }
    const int n = numberIn(s);
    if (n > 88590 && n < 88600)  // "88591": 8859-1
        return 28590 + (n - 88590);
    return n;
}

int detect(std::string_view sample)
{
    if (isAsciiText(sample))
        return 0;
    if (isUtf8Text(sample))
        return kUtf8;
    std::unique_ptr<std::remove_pointer_t<uchardet_t>, void (*)(uchardet_t)> detector(uchardet_new(),
                                                                                       uchardet_delete);
    if (!detector || uchardet_handle_data(detector.get(), sample.data(), sample.size()) != 0)
        return 0;
    uchardet_data_end(detector.get());
    int page = codePageOfName(uchardet_get_charset(detector.get()));
    // Latin-1 is what the detector says of Western text, DOS or Windows
    // alike: 1252 holds it and more.
    if (page == 28591 || page == 0)
        page = 1252;
    const Page* found = page == kUtf8 ? nullptr : findPage(page);
    if (!found)
        return page == 932 || page == 936 || page == 949 || page == 950 ? page : 0;
    // A page of one byte a character must read the text as more letters
    // than 850, whose text the detector does not know.
    return letters(*found, sample) > letters(pageFor(850, "detect"), sample) ? page : 0;
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
