// What a table was imported from, kept in the table's comment so that it
// travels with the table:
//
//     dxc-origen 1;size=5123;mtime=1733650000123456789;date=241207;records=7;rows=6;xid=7431;file=ACENTOS.DBF
//
// "1" is the format's version (another is not read); the file's name comes
// last, as it may hold any character. A later run compares the file with
// it to tell a changed DBF, and the rows' transaction ids with xid to tell
// rows written in SQL since.
#include "app/import_internal.h"

#include "platform/pgsql/connection.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <fstream>

namespace app::import {

namespace {

constexpr std::string_view kMarker = "dxc-origen 1;";

template <class N>
bool numberIn(std::string_view text, N& out)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

// The header's date of last update, bytes 1-3 (years since 1900, month, day).
std::string headerDate(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char b[4] = {};
    if (!in.read(b, 4))
        return {};
    char text[16];
    std::snprintf(text, sizeof text, "%02u%02u%02u", unsigned(static_cast<unsigned char>(b[1])) % 100,
                  unsigned(static_cast<unsigned char>(b[2])), unsigned(static_cast<unsigned char>(b[3])));
    return text;
}

// One "key=value" of a comment into the source.
bool take(Source& s, std::string_view key, std::string_view value)
{
    if (key == "size")
        return numberIn(value, s.size);
    if (key == "mtime")
        return numberIn(value, s.mtime);
    if (key == "records")
        return numberIn(value, s.records);
    if (key == "rows")
        return numberIn(value, s.rows);
    if (key == "date")
        s.headerDate = value;
    else if (key == "xid")
        s.xidAfter = value;
    return true;  // a key a later version added
}

}  // namespace

std::optional<Source> sourceOf(const std::string& path, const std::string& file, const dbf::Table& t)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    Source s;
    s.file = file;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.headerDate = headerDate(path);
    s.records = t.headerCount();
    return s;
}

std::string sourceComment(const Source& s)
{
    return std::string(kMarker) + "size=" + std::to_string(s.size) + ";mtime=" + std::to_string(s.mtime) +
           ";date=" + s.headerDate + ";records=" + std::to_string(s.records) + ";rows=" + std::to_string(s.rows) +
           ";xid=" + s.xidAfter + ";file=" + s.file;
}

std::optional<Source> recordedSource(pgsql::Connection& conn, const std::string& qualifiedTable)
{
    const auto comment = conn.value("SELECT pg_catalog.obj_description($1::regclass, 'pg_class')", {qualifiedTable});
    if (!comment || comment->rfind(kMarker, 0) != 0)
        return std::nullopt;
    Source s;
    std::string_view rest = std::string_view(*comment).substr(kMarker.size());
    while (!rest.empty()) {
        const std::size_t eq = rest.find('=');
        if (eq == std::string_view::npos)
            return std::nullopt;
        const std::string_view key = rest.substr(0, eq);
        if (key == "file") {
            s.file = rest.substr(eq + 1);
            return s;
        }
        const std::size_t end = std::min(rest.find(';'), rest.size());
        if (end < eq || !take(s, key, rest.substr(eq + 1, end - eq - 1)))
            return std::nullopt;
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return std::nullopt;  // no file: not a whole record
}

bool changed(const Source& recorded, const Source& now)
{
    return recorded.size != now.size || recorded.mtime != now.mtime || recorded.headerDate != now.headerDate ||
           recorded.records != now.records;
}

std::optional<std::int64_t> rowsChangedInSql(pgsql::Connection& conn, const std::string& qualifiedTable,
                                             const Source& recorded)
{
    // A row inserted or updated since carries a transaction id at least the
    // recorded one (age() compares them across wraparound; frozen rows are
    // old). Rows deleted or updated since are missing from the old ones.
    const auto counts = conn.value(
        ("SELECT count(*) FILTER (WHERE pg_catalog.age(xmin) <= pg_catalog.age(($1::bigint % 4294967296)::text::xid)) "
         "|| ' ' || count(*) FROM " +
         qualifiedTable)
            .c_str(),
        {recorded.xidAfter});
    std::int64_t newer = 0, total = 0;
    if (!counts)
        return std::nullopt;
    const std::size_t blank = counts->find(' ');
    if (blank == std::string::npos || !numberIn(std::string_view(*counts).substr(0, blank), newer) ||
        !numberIn(std::string_view(*counts).substr(blank + 1), total))
        return std::nullopt;
    const std::int64_t missing = recorded.rows - (total - newer);
    return std::max(newer, missing);
}

}  // namespace app::import
