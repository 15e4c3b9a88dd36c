// The collation switch and the fold key (collation.h).
#include "collation.h"

#include "platform/runtime/text.h"

#include <cstdlib>
#include <cstring>

namespace pgsql {

namespace {

bool& allowedFlag()
{
    static bool allowed = [] {
        const char* v = std::getenv("DXC_COLLATION");
        return !(v && std::strcmp(v, "default") == 0);
    }();
    return allowed;
}

// Latin-1 letters with accents and what they fold to; upper case too,
// because lower() under the "C" collation only knows ASCII.
struct Fold {
    char32_t from;
    char to;
};
constexpr Fold kFolds[] = {
    {U'À', 'a'}, {U'Á', 'a'}, {U'Â', 'a'}, {U'Ã', 'a'}, {U'Ä', 'a'}, {U'Å', 'a'}, {U'Ç', 'c'}, {U'È', 'e'},
    {U'É', 'e'}, {U'Ê', 'e'}, {U'Ë', 'e'}, {U'Ì', 'i'}, {U'Í', 'i'}, {U'Î', 'i'}, {U'Ï', 'i'}, {U'Ò', 'o'},
    {U'Ó', 'o'}, {U'Ô', 'o'}, {U'Õ', 'o'}, {U'Ö', 'o'}, {U'Ø', 'o'}, {U'Ù', 'u'}, {U'Ú', 'u'}, {U'Û', 'u'},
    {U'Ü', 'u'}, {U'Ý', 'y'}, {U'à', 'a'}, {U'á', 'a'}, {U'â', 'a'}, {U'ã', 'a'}, {U'ä', 'a'}, {U'å', 'a'},
    {U'ç', 'c'}, {U'è', 'e'}, {U'é', 'e'}, {U'ê', 'e'}, {U'ë', 'e'}, {U'ì', 'i'}, {U'í', 'i'}, {U'î', 'i'},
    {U'ï', 'i'}, {U'ò', 'o'}, {U'ó', 'o'}, {U'ô', 'o'}, {U'õ', 'o'}, {U'ö', 'o'}, {U'ø', 'o'}, {U'ù', 'u'},
    {U'ú', 'u'}, {U'û', 'u'}, {U'ü', 'u'}, {U'ý', 'y'}, {U'ÿ', 'y'},
};

}  // namespace

void setIcuCollationAllowed(bool allowed) { allowedFlag() = allowed; }

bool icuCollationAllowed() { return allowedFlag(); }

std::string foldKey(std::string_view text, bool keepEnye)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const rt::Utf8Char u = rt::decodeUtf8(text, i);
        i += u.len;
        char32_t c = u.cp;
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            continue;
        }
        if (c == U'Ñ' || c == U'ñ') {
            if (keepEnye)
                rt::appendUtf8(out, U'ñ');
            else
                out += 'n';
            continue;
        }
        bool folded = false;
        for (const Fold& f : kFolds)
            if (f.from == c) {
                out += f.to;
                folded = true;
                break;
            }
        if (!folded)
            rt::appendUtf8(out, c);
    }
    return out;
}

std::string foldSql(std::string_view expr)
{
    std::string from, to;
    for (const Fold& f : kFolds) {
        rt::appendUtf8(from, f.from);
        to += f.to;
    }
    rt::appendUtf8(from, U'Ñ');
    rt::appendUtf8(to, U'ñ');
    // Literals of letters only: no quote can occur in them.
    return "translate(lower((" + std::string(expr) + ")::text COLLATE \"C\"), '" + from + "', '" + to + "')";
}

}  // namespace pgsql
