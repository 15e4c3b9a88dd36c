// The directory listing and the file functions of the language.
//
// Names match without regard to case because the program comes from a file
// system that ignores it ("*.DBF" must find x.dbf). Nothing here throws: a
// folder that is missing or unreadable lists as empty, as the language does.
#include "files.h"

#include "array.h"
#include "builtins.h"
#include "datetime.h"
#include "error.h"
#include "functions.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace rt {

namespace {

namespace fs = std::filesystem;

using Folded = std::u32string;

// A name with its case folded, for matching and ordering. A name that is not
// valid UTF-8 folds only its ASCII letters; its other bytes become code
// points no real character has, so they match only themselves.
Folded folded(std::string_view name)
{
    const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    Folded out;
    if (text.toUtf8() == QByteArray(name.data(), static_cast<qsizetype>(name.size()))) {
        for (char32_t c : text.toCaseFolded().toUcs4())
            out += c;
        return out;
    }
    for (char ch : name) {
        const auto b = static_cast<unsigned char>(ch);
        out += b >= 'A' && b <= 'Z' ? char32_t(b + 32) : b < 0x80 ? char32_t(b) : char32_t(0xDC00 + b);
    }
    return out;
}

// "*" any run of characters, "?" exactly one.
bool wildMatch(const Folded& pattern, const Folded& name)
{
    std::size_t p = 0, n = 0;
    std::size_t starP = Folded::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != Folded::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

struct Listing {
    fs::path folder;
    Folded name;  // folded pattern of the name part
};

Listing splitPattern(std::string_view pattern)
{
    const std::size_t slash = pattern.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : pattern.substr(0, slash + 1);
    std::string_view name = slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
    if (name.empty() || name == "*.*")
        name = "*";  // "*.*" also finds names without a dot, as it always did
    return {folder.empty() ? fs::path(".") : fs::path(std::string(folder)), folded(name)};
}

struct Entry {
    Folded key;
    std::string name;
    Value row;
};

// Date and "hh:mm:ss" of a file's last change, in local time.
std::pair<Date, std::string> stampOf(fs::file_time_type t)
{
    const auto sys = std::chrono::time_point_cast<std::chrono::system_clock::duration>(std::chrono::file_clock::to_sys(t));
    const std::time_t secs = std::chrono::system_clock::to_time_t(sys);
    std::tm tm{};
    if (!localtime_r(&secs, &tm))
        return {Date{}, "00:00:00"};
    return {makeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday), timeText(tm)};
}

bool hasFlag(std::string_view attributes, char flag)
{
    return std::any_of(attributes.begin(), attributes.end(),
                       [flag](char c) { return c == flag || c == flag + ('a' - 'A'); });
}

// The row of an entry whose name matched, or NIL when its kind is not listed.
Value rowOf(const fs::directory_entry& e, const std::string& name, bool withDirs)
{
    std::error_code ec;
    const fs::file_status st = e.status(ec);  // follows links: a link lists as what it points to
    if (ec)
        return {};
    const bool isDir = fs::is_directory(st);
    if (!(fs::is_regular_file(st) || (isDir && withDirs)))
        return {};
    const std::uintmax_t size = isDir ? 0 : e.file_size(ec);
    const std::int64_t bytes = ec ? 0 : static_cast<std::int64_t>(size);
    const fs::file_time_type changed = e.last_write_time(ec);
    const auto [date, time] = ec ? std::pair<Date, std::string>{Date{}, "00:00:00"} : stampOf(changed);
    std::string attributes = isDir ? "D" : "A";
    if (name[0] == '.')
        attributes += 'H';
    if ((st.permissions() & fs::perms::owner_write) == fs::perms::none)
        attributes += 'R';
    return makeArray({Value(name), Value::integer(bytes), Value(date), Value(time), Value(attributes)});
}

}  // namespace

Value directory(std::string_view pattern, std::string_view attributes)
{
    const Listing listing = splitPattern(pattern);
    const bool withDirs = hasFlag(attributes, 'D');
    const bool withHidden = hasFlag(attributes, 'H');
    std::vector<Entry> entries;
    try {
        std::error_code ec;
        fs::directory_iterator it(listing.folder, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (name.empty() || (name[0] == '.' && !withHidden))
                continue;
            Folded key = folded(name);
            if (!wildMatch(listing.name, key))
                continue;
            Value row = rowOf(*it, name, withDirs);
            if (!row.isNil())
                entries.push_back({std::move(key), std::move(name), std::move(row)});
        }
    } catch (const fs::filesystem_error&) {
        // A folder that changes while it is read lists what was read.
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.key != b.key ? a.key < b.key : a.name < b.name;
    });
    std::vector<Value> rows;
    rows.reserve(entries.size());
    for (auto& e : entries)
        rows.push_back(std::move(e.row));
    return makeArray(std::move(rows));
}

bool fileExists(std::string_view pattern)
{
    const std::size_t slash = pattern.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
    if (name.empty())
        return false;
    return directory(pattern, "H").asArray().size() > 0;
}

std::string currentFolder()
{
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    return ec ? std::string() : here.string();
}

// --- functions callable from compiled text ---

namespace {

// Pattern and attributes may be left out.
std::string_view optionalText(Args args, std::size_t i, const char* name)
{
    return argAt(args, i).isNil() ? std::string_view() : textArg(args, i, name);
}

Value fnDirectory(Args args)
{
    const std::string_view pattern = optionalText(args, 0, "DIRECTORY");
    return directory(pattern, optionalText(args, 1, "DIRECTORY"));
}

Value fnFile(Args args)
{
    return Value(fileExists(textArg(args, 0, "FILE")));
}

Value fnCurDir(Args) { return Value(currentFolder()); }

}  // namespace

void detail::registerFileFunctions()
{
    registerFunction("Directory", fnDirectory);
    registerFunction("File", fnFile);
    registerFunction("CurDir", fnCurDir);
}

}  // namespace rt
