// The collator (collation.h): one ICU collator per thread, since a collator
// must not be used by two threads at once.
#include "platform/runtime/collation.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace rt {

namespace {

struct CollatorClose {
    void operator()(UCollator* c) const { ucol_close(c); }
};

std::string localeFromEnvironment()
{
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* v = std::getenv(name);
        if (!v || !*v)
            continue;
        std::string s(v);
        s = s.substr(0, s.find_first_of(".@"));  // es_ES.UTF-8@euro -> es_ES
        if (s == "C" || s == "POSIX")
            break;
        return s;
    }
    return "es";
}

UCollator* collator()
{
    thread_local const std::unique_ptr<UCollator, CollatorClose> c = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCollator* made = ucol_open(collationLocale().c_str(), &status);
        if (U_FAILURE(status)) {  // an unknown locale: the root order, never none
            status = U_ZERO_ERROR;
            made = ucol_open("", &status);
        }
        // The full comparison: letters first (case and accents do not
        // count there, and Ñ stays a letter of its own in Spanish), then
        // accents, then case only to break ties, as the server orders the
        // client window's names.
        ucol_setStrength(made, UCOL_TERTIARY);
        return std::unique_ptr<UCollator, CollatorClose>(made);
    }();
    return c.get();
}

std::string_view withoutTrailingBlanks(std::string_view s)
{
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// UTF-16 of a UTF-8 text; invalid bytes become U+FFFD.
void toUtf16(std::string_view s, std::vector<UChar>& out)
{
    out.resize(s.size() + 1);
    std::size_t i = 0;
    for (; i < s.size() && static_cast<unsigned char>(s[i]) < 0x80; ++i)
        out[i] = UChar(s[i]);
    if (i == s.size()) {  // plain ASCII, as most keys are: no decoder needed
        out.resize(i);
        return;
    }
    int32_t len = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), int32_t(out.size()), &len, s.data(), int32_t(s.size()), 0xFFFD, nullptr, &status);
    out.resize(U_SUCCESS(status) ? std::size_t(len) : 0);
}

}  // namespace

std::string collationLocale()
{
    static const std::string locale = localeFromEnvironment();
    return locale;
}

int collate(std::string_view a, std::string_view b)
{
    a = withoutTrailingBlanks(a);
    b = withoutTrailingBlanks(b);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r = ucol_strcollUTF8(collator(), a.data(), int32_t(a.size()), b.data(), int32_t(b.size()), &status);
    if (U_FAILURE(status))
        return a < b ? -1 : a == b ? 0 : 1;
    return r == UCOL_LESS ? -1 : r == UCOL_EQUAL ? 0 : 1;
}

void appendCollationKey(std::string_view text, std::string& out)
{
    thread_local std::vector<UChar> utf16;
    thread_local std::vector<uint8_t> key(256);
    toUtf16(withoutTrailingBlanks(text), utf16);
    for (;;) {
        // Written in a buffer of this thread, then appended at its length:
        // out never grows by more than the key.
        const int32_t need = ucol_getSortKey(collator(), utf16.data(), int32_t(utf16.size()), key.data(), int32_t(key.size()));
        if (std::size_t(need) <= key.size()) {
            out.append(reinterpret_cast<const char*>(key.data()), std::size_t(need));  // need counts the closing zero byte
            return;
        }
        key.resize(std::size_t(need));
    }
}

std::string collationKey(std::string_view text)
{
    std::string out;
    appendCollationKey(text, out);
    return out;
}

std::string collationPrefix(std::string_view text)
{
    std::string key = collationKey(text);
    key.resize(std::min(key.find('\x01'), key.find('\0')));  // 1 ends the letters' level
    return key;
}

}  // namespace rt
