// Identifiers, text and dates as SQL literals. These are made without a
// connection (the runtime's StoQ and DtoQ have none), so not by libpq's
// PQescapeIdentifier and PQescapeLiteral: the quotes are doubled, a text
// with a backslash takes the E'' form (its meaning then does not depend on
// standard_conforming_strings), and NULs, which no text holds, are dropped.
#include "connection.h"

#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"

#include <algorithm>
#include <cstdio>

namespace pgsql {

std::string quoteIdent(std::string_view name)
{
    std::string out;
    out.reserve(name.size() + 2);
    out += '"';
    for (char c : name) {
        if (c == '\0')
            continue;
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string stoq(std::string_view text)
{
    std::string out;
    appendStoq(out, text);
    return out;
}

void appendStoq(std::string& out, std::string_view text)
{
    // With a backslash only the E'' form means the same text whatever
    // standard_conforming_strings says; without one the plain form does.
    const bool escaped = text.find('\\') != std::string_view::npos;
    const auto doubled = std::count_if(text.begin(), text.end(),
                                       [escaped](char c) { return c == '\'' || (escaped && c == '\\'); });
    out.reserve(out.size() + text.size() + std::size_t(doubled) + 3);
    if (escaped)
        out += 'E';
    out += '\'';
    for (char c : text) {
        if (c == '\0')
            continue;
        if (c == '\'' || (escaped && c == '\\'))
            out += c;
        out += c;
    }
    out += '\'';
}

std::string dtoq(const rt::Value& date, bool quoted)
{
    if (!date.isDate())
        rt::raise("Argument error", "DtoQ", {date});
    int y = 0, m = 0, d = 0;
    rt::splitDate(date.asDate(), y, m, d);
    if (y == 0)  // the empty date, or a day outside years 1..9999
        return quoted ? "NULL" : "";
    // By hand: this runs for every date of an import.
    char buf[12] = {'\'', char('0' + y / 1000), char('0' + y / 100 % 10), char('0' + y / 10 % 10), char('0' + y % 10),
                    '-', char('0' + m / 10), char('0' + m % 10), '-', char('0' + d / 10), char('0' + d % 10), '\''};
    return quoted ? std::string(buf, 12) : std::string(buf + 1, 10);
}

}  // namespace pgsql
