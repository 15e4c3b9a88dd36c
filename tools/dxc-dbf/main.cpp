// dxc-dbf: the runtime and the DBF engine from the command line.
//
//     dxc-dbf eval EXPR     compile and evaluate an expression
//     dxc-dbf info FILE     a table's header, fields and index tags
//     dxc-dbf dump FILE     a table's records as a table, CSV or JSON
//     dxc-dbf sample DIR    the client tables filled with made-up clients
//
// Each subcommand is one entry of `commands`: a name, its synopsis and a
// function taking the words after the name. Exit status: 0 done (or usage
// asked for with --help), 1 the command failed (message on standard error),
// 2 a wrong command line (usage shown), 3 dump wrote what a damaged table
// holds: a value that could not be read, a missing memo file, a cut file
// (warning on standard error).
#include "sample.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"

#include "platform/runtime/block.h"
#include "platform/runtime/codepage.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/console.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/ops.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kDamaged = 3;

using Words = std::vector<std::string>;

struct Command {
    std::string_view name;
    std::string_view synopsis;
    std::string_view summary;
    int (*run)(const Words& words);
};

int runEval(const Words& words);
int runInfo(const Words& words);
int runDump(const Words& words);
int runSample(const Words& words);

constexpr Command commands[] = {
    {"eval", "eval EXPR", "compile and evaluate EXPR; print its value and kind letter, TAB-separated", &runEval},
    {"info", "info FILE", "version, code page, record count, fields, memo file and index tags of a table", &runInfo},
    {"dump", "dump FILE [OPTIONS]", "the records of a table (options below)", &runDump},
    {"sample", "sample DIR [OPTIONS]", "write DXCAM01.DBF and DXCAM01E.DBF with made-up clients (options below)",
     &runSample},
};

constexpr const char* kOptionsHelp = R"(
dump options:
  --fields EXPR,...   columns to write (default: every field); each is an
                      expression over the record, commas inside brackets
                      and quotes do not split
  --for EXPR          only records for which EXPR is true
  --order TAG|EXPR    in the order of an index tag, or of a key expression
  --deleted           include deleted records (skipped by default)
  --format FMT        table (default), csv (RFC 4180, CRLF) or json (an array
                      of objects keyed by column); output is always UTF-8

options of info and dump:
  --codepage N        read the table's text in code page N (437, 850, 1252,
                      936, 65001 or utf-8, ...) whatever the table says

code page: the one a .cpg file beside the table names (UTF-8, 1252, ANSI
1251, ...), else the header's; when the header names none it is detected
from the table's text (info says "detected"), and 850 is assumed when the
text tells nothing.

values: numbers with the field's decimals (binary doubles with the fewest
digits that read back the same), period as decimal point; dates yyyy-mm-dd;
logicals true/false; text as stored, except that trailing blanks are dropped
from character fields and character results (a field of blanks is the empty
text); memos keep theirs. Null means no value is stored: a numeric field of
blanks, a sign or a point, an empty date, a logical of "?" or blank, a memo
field that points to no block, an expression giving NIL. In CSV null is an empty cell and the empty text is
written as "" (quoted); in JSON null is null. Binary values (G, P, W, Q,
binary character and memo fields, blobs) are written as base64 text. Field
names are decoded through the table's code page; a name a field before
already has gets "_2", "_3", ...

damage: a value that cannot be read (a date "20241345", a number of "*") is
null, and record, field and bytes go to standard error; a table whose header
counts more records than the file holds gets its whole records written; a
table whose memo file is missing gets its memos null. Each ends with a
warning on standard error and exit status 3.

sample options:
  --clients N         clients to write, 1 to 999999 (default 250); client n
                      has code n in six digits and is the same in every run
  --force             replace tables of the same names
)";

void printUsage(std::FILE* out)
{
    std::fprintf(out, "usage: dxc-dbf COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const Command& c : commands)
        std::fprintf(out, "  %-20.*s %.*s\n", static_cast<int>(c.synopsis.size()), c.synopsis.data(),
                     static_cast<int>(c.summary.size()), c.summary.data());
    std::fprintf(out, "%s", kOptionsHelp);
    std::fprintf(out, "\nexit status: 0 done, 1 failed, 2 usage shown, 3 dump of a damaged table\n");
}

int usageError(const std::string& why)
{
    std::fprintf(stderr, "dxc-dbf: %s\n", why.c_str());
    printUsage(stderr);
    return kUsage;
}

// The program's settings, as the application sets them at start.
void applySettings()
{
    rt::setCentury(1);
    rt::setDateFormat("dd-mm-yyyy");
}

bool isLeadByte(char c) { return (static_cast<unsigned char>(c) & 0xC0u) != 0x80u; }

// Byte offset of character `position` (1-based); the text's end past it.
std::size_t byteOfCharacter(const std::string& text, long long position)
{
    return position < 1 ? text.size() : rt::utf8Offset(text, static_cast<std::size_t>(position - 1));
}

// The line of `text` that holds character `position`, and under it a caret
// at that character. Tabs are kept so that the caret lines up.
void printCaret(const std::string& text, long long position)
{
    const std::size_t at = byteOfCharacter(text, position);
    const std::size_t lineStart = at == 0 ? 0 : text.rfind('\n', at - 1) + 1;  // npos + 1 == 0
    const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
    std::string caret;
    for (std::size_t i = lineStart; i < at; ++i)
        if (isLeadByte(text[i]))
            caret += text[i] == '\t' ? '\t' : ' ';
    std::fprintf(stderr, "  %s\n  %s^\n", text.substr(lineStart, lineEnd - lineStart).c_str(), caret.c_str());
}

int runEval(const Words& words)
{
    if (words.size() != 1)
        return usageError("eval takes one expression (quote it)");
    const std::string& text = words[0];
    applySettings();
    try {
        const rt::Value v = rt::evalText(text);
        rt::consoleFinish();
        std::printf("%s\t%c\n", rt::literalText(v).c_str(), v.typeLetter());
        return 0;
    } catch (const rt::Error& e) {
        rt::consoleFinish();
        std::fflush(stdout);
        std::fprintf(stderr, "dxc-dbf: %s\n", e.message().c_str());
        if (e.subsystem == "COMPILER" && e.position >= 1)
            printCaret(text, e.position);
        return kFailed;
    }
}

int failWith(const rt::Error& e)
{
    rt::consoleFinish();
    std::fflush(stdout);
    std::fprintf(stderr, "dxc-dbf: %s\n", e.message().c_str());
    return kFailed;
}

// ------------------------------------------------------------------ info

const char* formatName(dbf::Format f)
{
    switch (f) {
    case dbf::Format::DBase3: return "dBASE III";
    case dbf::Format::DBase4: return "dBASE IV";
    case dbf::Format::DBase7: return "dBASE 7";
    case dbf::Format::FoxPro: return "FoxPro";
    case dbf::Format::VisualFoxPro: return "Visual FoxPro";
    }
    return "?";
}

int runInfo(const Words& words)
{
    if (words.size() != 1)
        return usageError("info takes one table file");
    try {
        const std::string path = dbf::resolveTablePath(words[0]);
        const auto table = dbf::Table::open(path, true, true);
        std::printf("file:       %s\n", path.c_str());
        std::printf("version:    %s (0x%02X)\n", formatName(table->format()), table->version());
        const std::string_view source = table->codePageSource();
        std::printf("code page:  %d%s\n", table->codePage(),
                    source == "assumed"    ? ", assumed"
                    : source == "detected" ? ", detected"
                    : source == "cpg"      ? ", from the .cpg file"
                                           : "");
        if (table->headerCount() > table->recordCount())
            std::printf("records:    %u whole in the file, %u in the header\n", table->recordCount(),
                        table->headerCount());
        else
            std::printf("records:    %u\n", table->recordCount());
        if (const std::uint32_t stated = table->headerRecordLength())
            std::printf("record:     %u bytes, the fields' sum (the header says %u)\n", stated + 1, stated);
        std::printf("memo file:  %s\n", table->memoMissing()      ? "missing"
                                         : table->memoPath().empty() ? "none"
                                                                     : table->memoPath().c_str());
        std::printf("fields:     %zu\n", table->fields().size());
        for (const dbf::Field& f : table->fields())
            std::printf("  %-10s %c %5d %3d\n", f.name.c_str(), f.type, f.len, f.dec);
        std::printf("index tags: %zu\n", table->indexTags().size());
        for (const dbf::IndexTag& tag : table->indexTags()) {
            std::printf("  %-10s %s", tag.name.c_str(), tag.key.c_str());
            if (!tag.forExpr.empty())
                std::printf(" FOR %s", tag.forExpr.c_str());
            std::printf("%s%s\n", tag.unique ? " UNIQUE" : "", tag.descending ? " DESCENDING" : "");
        }
        return 0;
    } catch (const rt::Error& e) {
        return failWith(e);
    }
}

// ------------------------------------------------------------------ dump

struct DumpOptions {
    std::string file;
    std::vector<std::string> fields;
    std::string forExpr;
    std::string order;
    bool deleted = false;
    std::string format = "table";
};

// Splits at commas that stand outside brackets and quotes.
std::vector<std::string> splitTopLevel(const std::string& s)
{
    std::vector<std::string> parts;
    std::string part;
    int depth = 0;
    char quote = 0;
    for (char c : s) {
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(' || c == '[' || c == '{') {
            ++depth;
        } else if (c == ')' || c == ']' || c == '}') {
            --depth;
        } else if (c == ',' && depth == 0) {
            parts.push_back(rt::alltrim(part));
            part.clear();
            continue;
        }
        part += c;
    }
    parts.push_back(rt::alltrim(part));
    return parts;
}

// Reads the words after "dump"; an empty optional means a usage error was shown.
std::optional<DumpOptions> parseDump(const Words& words, int& status)
{
    DumpOptions o;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        auto value = [&]() -> const std::string* { return i + 1 < words.size() ? &words[++i] : nullptr; };
        const std::string* v = nullptr;
        if (w == "--deleted") {
            o.deleted = true;
        } else if (w == "--fields" || w == "--for" || w == "--order" || w == "--format") {
            if (!(v = value())) {
                status = usageError(w + " needs a value");
                return std::nullopt;
            }
            if (w == "--fields")
                o.fields = splitTopLevel(*v);
            else if (w == "--for")
                o.forExpr = *v;
            else if (w == "--order")
                o.order = *v;
            else
                o.format = *v;
        } else if (!w.empty() && w[0] == '-') {
            status = usageError("unknown option '" + w + "'");
            return std::nullopt;
        } else if (o.file.empty()) {
            o.file = w;
        } else {
            status = usageError("dump takes one table file");
            return std::nullopt;
        }
    }
    if (o.file.empty()) {
        status = usageError("dump needs a table file");
        return std::nullopt;
    }
    if (o.format != "table" && o.format != "csv" && o.format != "json") {
        status = usageError("--format is table, csv or json");
        return std::nullopt;
    }
    for (const std::string& f : o.fields)
        if (f.empty()) {
            status = usageError("--fields holds an empty column");
            return std::nullopt;
        }
    return o;
}

// One written value: nothing stored, text, or a literal (number, logical).
struct Cell {
    enum class Kind { Null, Text, Literal } kind = Kind::Null;
    std::string text;
    rt::Value memo;  // a memo's text, held as read rather than copied into text
    [[nodiscard]] std::string_view view() const { return memo.isChar() ? memo.asString() : std::string_view(text); }
};

// Text as written: a malformed UTF-8 sequence (an expression may cut one)
// becomes U+FFFD, so the output is always UTF-8.
std::string wellFormed(std::string s)
{
    if (rt::isAsciiText(s))
        return s;
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const rt::Utf8Char c = rt::decodeUtf8(s, i);
        if (c.ok)
            out.append(s, i, c.len);
        else
            rt::appendUtf8(out, 0xFFFD);
        i += c.len;
    }
    return out;
}

// Fields decode to well-formed UTF-8 already; expression results are checked.
Cell textCell(std::string s) { return {Cell::Kind::Text, std::move(s)}; }

std::string base64(std::string_view bytes)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}
Cell literalCell(std::string s) { return {Cell::Kind::Literal, std::move(s)}; }

std::string isoDate(rt::Date d)
{
    int y = 0, m = 0, day = 0;
    rt::splitDate(d, y, m, day);
    char buf[10] = {char('0' + y / 1000 % 10), char('0' + y / 100 % 10), char('0' + y / 10 % 10), char('0' + y % 10),
                    '-', char('0' + m / 10), char('0' + m % 10), '-', char('0' + day / 10), char('0' + day % 10)};
    return std::string(buf, sizeof buf);
}

Cell cellOfValue(const rt::Value& v)
{
    switch (v.kind()) {
    case rt::Kind::Nil: return {};
    case rt::Kind::Char: {
        // Blanks are ASCII: trimming bytes cannot cut a character.
        const std::string_view text = v.asString();
        return textCell(std::string(text.substr(0, text.find_last_not_of(' ') + 1)));
    }
    case rt::Kind::Num: return literalCell(rt::numberText(v));
    case rt::Kind::Date: return v.asDate().empty() ? Cell{} : textCell(isoDate(v.asDate()));
    case rt::Kind::Logical: return literalCell(v.asBool() ? "true" : "false");
    default: return textCell(rt::var2char(v));
    }
}

// Text fields of blanks are the empty text, not null.
bool isTextType(char type) { return type == 'C' || type == 'V' || type == 'Q'; }

// A field's value, told apart from no value by the bytes stored.
Cell cellOfField(dbf::WorkArea& area, int index)
{
    const dbf::Table& table = area.table();
    const dbf::Field& f = table.fields()[static_cast<std::size_t>(index)];
    if (!isTextType(f.type) && table.isEmpty(index))
        return {};
    const rt::Value v = area.fieldGet(index);
    if (v.isNil())
        return {};
    switch (f.type) {
    case 'N':
    case 'F':
        // The stored digits: a double would round an N(20) of 18 digits.
        return literalCell(table.numberText(index, v));
    case 'M':
        // A memo comes out as stored, trailing blanks and all.
        if (!f.binary && v.isChar())
            return {Cell::Kind::Text, {}, v};
        break;
    case 'B':
    case 'O':
    case 'Y':
        if (v.isNum())
            return literalCell(area.table().numberText(index, v));
        break;
    default: break;
    }
    if (f.binary)
        return {Cell::Kind::Text, base64(v.isChar() ? v.asString() : std::string_view())};
    return cellOfValue(v);
}

// Kept out of appendField(), whose cells mostly need no Cell of their own.
[[gnu::noinline]] Cell::Kind appendCellOfField(dbf::WorkArea& area, int index, std::string& out)
{
    const Cell cell = cellOfField(area, index);
    out += cell.view();
    return cell.kind;
}

// Appends a field's text (unquoted) to out straight from the record's bytes
// where they hold it (C, N, F, D, L); the other types, and bytes that need
// checking (a fault to tell), go through cellOfField(). Gives the kind of
// the cell; a null cell appends nothing.
Cell::Kind appendField(dbf::WorkArea& area, int index, std::string& out)
{
    const dbf::Table& table = area.table();
    const dbf::Field& f = table.fields()[static_cast<std::size_t>(index)];
    const std::string_view raw =
        table.rawRecord().substr(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.len));
    switch (f.type) {
    case 'C':
        if (table.appendText(index, out))
            return Cell::Kind::Text;
        break;
    case 'N':
    case 'F':
        if (table.isEmpty(index))
            return Cell::Kind::Null;
        if (table.appendNumber(index, out))
            return Cell::Kind::Literal;
        break;
    case 'D': {
        if (table.isEmpty(index))
            return Cell::Kind::Null;
        if (raw.size() != 8 || !std::all_of(raw.begin(), raw.end(), [](char c) { return c >= '0' && c <= '9'; }))
            break;
        auto num = [&](std::size_t from, std::size_t count) {
            int v = 0;
            for (std::size_t k = from; k < from + count; ++k)
                v = v * 10 + (raw[k] - '0');
            return v;
        };
        if (rt::makeDate(num(0, 4), num(4, 2), num(6, 2)).empty())
            break;  // not a date: cellOfField() tells it
        // A date that exists: its digits are what isoDate() would write.
        out.append(raw.substr(0, 4)).append(1, '-').append(raw.substr(4, 2)).append(1, '-').append(raw.substr(6, 2));
        return Cell::Kind::Text;
    }
    case 'L':
        if (table.isEmpty(index))
            return Cell::Kind::Null;
        out += raw[0] == 'T' || raw[0] == 't' || raw[0] == 'Y' || raw[0] == 'y' ? "true" : "false";
        return Cell::Kind::Literal;
    default: break;
    }
    return appendCellOfField(area, index, out);
}

struct Column {
    std::string header;
    int field = -1;         // a plain field, read with its stored bytes
    rt::Value block;        // otherwise the compiled expression
    std::size_t width = 0;  // for the table format
    bool right = false;
};

// Whether text holds a byte that makes a CSV cell quoted: a comma, a quote, a line end.
bool csvSpecial(const char* p, const char* end)
{
    for (; p != end; ++p)
        if (*p <= ',' && (*p == ',' || *p == '"' || *p == '\r' || *p == '\n'))
            return true;
    return false;
}

// Appends text with each quote doubled, as inside a quoted CSV cell.
void appendCsvQuoted(std::string& out, std::string_view text)
{
    for (std::size_t q; (q = text.find('"')) != std::string_view::npos; text.remove_prefix(q + 1))
        out.append(text.substr(0, q + 1)) += '"';
    out += text;
}

// Appends a cell as RFC 4180 writes it: quoted when it holds a comma, a
// quote or a line end, or is the empty text (which null is not).
void appendCsv(std::string& out, const Cell& c)
{
    if (c.kind == Cell::Kind::Null)
        return;
    const std::string_view text = c.view();
    const bool plain =
        c.kind == Cell::Kind::Literal || (!text.empty() && !csvSpecial(text.data(), text.data() + text.size()));
    if (plain) {
        out += text;
        return;
    }
    out += '"';
    appendCsvQuoted(out, text);
    out += '"';
}

// Quotes, as appendCsv() would, a text cell already appended to out from
// `at` on: in place, from the back, each quote doubled.
void quoteCsvFrom(std::string& out, std::size_t at)
{
    if (out.size() > at && !csvSpecial(out.data() + at, out.data() + out.size()))
        return;
    std::size_t from = out.size();
    const auto quotes = static_cast<std::size_t>(std::count(out.begin() + std::ptrdiff_t(at), out.end(), '"'));
    out.resize(out.size() + quotes + 2);
    char* p = out.data();
    std::size_t to = out.size();
    p[--to] = '"';
    while (from > at) {
        const char c = p[--from];
        p[--to] = c;
        if (c == '"')
            p[--to] = '"';
    }
    p[--to] = '"';
}

std::string csvCell(const Cell& c)
{
    std::string out;
    appendCsv(out, c);
    return out;
}

// Appends text as inside a JSON string: quotes, backslashes and control
// characters escaped.
void appendJsonEscaped(std::string& out, std::string_view s)
{
    for (char ch : s) {
        const auto u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += ch;
        }
    }
}

void appendJsonString(std::string& out, std::string_view s)
{
    out += '"';
    appendJsonEscaped(out, s);
    out += '"';
}

std::string jsonString(const std::string& s)
{
    std::string out;
    appendJsonString(out, s);
    return out;
}

bool jsonSpecial(char ch) { return ch == '"' || ch == '\\' || static_cast<unsigned char>(ch) < 0x20; }

// Writes, as appendJson() would, a cell of `kind` whose text is already
// appended to out from `at` on.
void finishJsonFrom(std::string& out, std::size_t at, Cell::Kind kind)
{
    if (kind == Cell::Kind::Null) {
        out += "null";
    } else if (kind == Cell::Kind::Text) {
        if (std::none_of(out.begin() + std::ptrdiff_t(at), out.end(), jsonSpecial)) {
            out.insert(at, 1, '"');
            out += '"';
        } else {
            const std::string text = out.substr(at);
            out.resize(at);
            appendJsonString(out, text);
        }
    }
}

void appendJson(std::string& out, const Cell& c)
{
    switch (c.kind) {
    case Cell::Kind::Null: out += "null"; return;
    case Cell::Kind::Literal: out += c.text; return;
    case Cell::Kind::Text: appendJsonString(out, c.view()); return;
    }
}

std::string tableCell(std::string text, std::size_t width, bool right)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return right ? rt::padL(text, std::max(width, rt::utf8Length(text)))
                 : rt::padR(text, std::max(width, rt::utf8Length(text)));
}

std::vector<Column> dumpColumns(dbf::WorkArea& area, const DumpOptions& o)
{
    std::vector<Column> columns;
    const auto& fields = area.table().fields();
    auto fieldColumn = [&](int i) {
        const dbf::Field& f = fields[static_cast<std::size_t>(i)];
        const bool number = std::string_view("NFIBY").find(f.type) != std::string_view::npos;
        const std::size_t shown = f.type == 'D'   ? 10
                                  : f.type == 'L' ? 5
                                  : f.type == 'M' ? 20
                                                  : static_cast<std::size_t>(f.len);
        return Column{f.name, i, {}, std::max(f.name.size(), shown), number};
    };
    if (o.fields.empty()) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            columns.push_back(fieldColumn(static_cast<int>(i)));
        return columns;
    }
    for (const std::string& text : o.fields) {
        const int i = area.table().fieldIndex(rt::upperAscii(text));
        if (i >= 0) {
            Column c = fieldColumn(i);
            c.header = text;
            c.width = std::max(c.width, rt::utf8Length(text));
            columns.push_back(std::move(c));
        } else {
            columns.push_back(
                Column{text, -1, rt::compile(text), std::max<std::size_t>(rt::utf8Length(text), 10), false});
        }
    }
    return columns;
}

// Writes a dump: the header line (or the array's opening), a line or
// object per record, the end; output goes out in large writes.
class DumpWriter {
public:
    DumpWriter(dbf::WorkArea& area, const std::vector<Column>& columns, const std::string& format)
        : area_(area), columns_(columns), json_(format == "json"), csv_(format == "csv"), eol_(csv_ ? "\r\n" : "\n")
    {
        out_.reserve(kWriteBytes + 4096);
        // Decided once, not per cell: the keys of JSON objects.
        for (std::size_t i = 0; i < columns_.size(); ++i)
            keys_.push_back((i ? ", " : "") + jsonString(columns_[i].header) + ": ");
    }

    void header()
    {
        if (json_) {
            out_ += "[";
            return;
        }
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            out_ += i ? (csv_ ? "," : " ") : "";
            out_ += csv_ ? csvCell(textCell(columns_[i].header))
                         : tableCell(columns_[i].header, columns_[i].width, columns_[i].right);
        }
        out_ += eol_;
    }

    void record()
    {
        if (json_)
            out_ += first_ ? "\n{" : ",\n{";
        first_ = false;
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (json_)
                out_ += keys_[i];
            else if (csv_ && i)
                out_ += ',';
            cell(i);
        }
        out_ += json_ ? "}" : eol_;
        flush(false);
    }

    void finish()
    {
        if (json_)
            out_ += first_ ? "]\n" : "\n]\n";
        flush(true);
    }

private:
    static constexpr std::size_t kWriteBytes = 1u << 18;
    static constexpr std::size_t kPieceBytes = 1u << 16;

    void cell(std::size_t i)
    {
        const Column& c = columns_[i];
        if (c.field >= 0 && area_.table().fields()[std::size_t(c.field)].type == 'M' &&
            !area_.table().fields()[std::size_t(c.field)].binary) {
            longCell(i, cellOfField(area_, c.field));
            return;
        }
        if (c.field >= 0 && (json_ || csv_)) {
            // Straight into the output, quoted there when it must be.
            const std::size_t at = out_.size();
            const Cell::Kind kind = appendField(area_, c.field, out_);
            if (json_)
                finishJsonFrom(out_, at, kind);
            else if (kind == Cell::Kind::Text)
                quoteCsvFrom(out_, at);
            return;
        }
        if (c.field >= 0) {
            cell_.text.clear();
            cell_.kind = appendField(area_, c.field, cell_.text);
        } else {
            cell_ = cellOfValue(rt::eval(c.block));
            cell_.text = wellFormed(std::move(cell_.text));
        }
        if (json_)
            appendJson(out_, cell_);
        else if (csv_)
            appendCsv(out_, cell_);
        else
            out_ += (i ? " " : "") + tableCell(cell_.text, c.width, c.right);
    }

    // A memo may hold megabytes: a long one goes out in pieces, never
    // whole in out_ (nor copied), as the short ones would.
    void longCell(std::size_t i, const Cell& cell)
    {
        const std::string_view text = cell.view();
        const Column& c = columns_[i];
        if (cell.kind != Cell::Kind::Text || text.size() < kWriteBytes) {
            if (json_)
                appendJson(out_, cell);
            else if (csv_)
                appendCsv(out_, cell);
            else
                out_ += (i ? " " : "") + tableCell(std::string(text), c.width, c.right);
            return;
        }
        // Longer than any column: no padding in the table format.
        const bool quoted = csv_ && csvSpecial(text.data(), text.data() + text.size());
        out_ += json_ || quoted ? "\"" : i && !csv_ ? " " : "";
        for (std::size_t at = 0; at < text.size(); at += kPieceBytes) {
            const std::string_view piece = text.substr(at, kPieceBytes);
            if (json_) {
                appendJsonEscaped(out_, piece);
            } else if (quoted) {
                appendCsvQuoted(out_, piece);
            } else if (csv_) {
                out_ += piece;
            } else {
                const std::size_t from = out_.size();
                out_ += piece;
                std::replace_if(
                    out_.begin() + std::ptrdiff_t(from), out_.end(),
                    [](char ch) { return ch == '\n' || ch == '\r' || ch == '\t'; }, ' ');
            }
            flush(false);
        }
        out_ += json_ || quoted ? "\"" : "";
    }

    void flush(bool force)
    {
        if (force || out_.size() > kWriteBytes) {
            std::fwrite(out_.data(), 1, out_.size(), stdout);
            out_.clear();
        }
    }

    dbf::WorkArea& area_;
    const std::vector<Column>& columns_;
    const bool json_, csv_;
    const char* const eol_;
    std::vector<std::string> keys_;
    std::string out_;
    Cell cell_;
    bool first_ = true;
};

// Writes the records of the current order. `natural`: records in file
// order, with nothing to evaluate (no --for, no --order, fields only); they
// are read straight from the table, since the work area's moves cost as
// much as writing a record.
void writeDump(dbf::WorkArea& area, const std::vector<Column>& columns, const rt::Value& forBlock,
               const std::string& format, bool natural)
{
    DumpWriter writer(area, columns, format);
    writer.header();
    if (natural) {
        dbf::Table& table = area.table();
        const bool hidden = dbf::deletedHidden();
        for (std::uint64_t r = 1; r <= table.recordCount(); ++r) {
            table.go(static_cast<std::uint32_t>(r));
            if (!(hidden && table.deleted()))
                writer.record();
        }
    } else {
        for (area.goTop(); !area.eof(); area.skip(1))
            if (forBlock.isNil() || rt::truth(rt::eval(forBlock), "--for"))
                writer.record();
    }
    writer.finish();
}

// The damage a dump met, each said once on standard error; whether any.
bool reportDamage(const dbf::Table& table, const std::string& file)
{
    std::fflush(stdout);
    bool damaged = false;
    if (table.headerCount() > table.recordCount()) {
        std::fprintf(stderr, "dxc-dbf: warning: %s is cut short: its header counts %u records, the file holds %u whole\n",
                     file.c_str(), table.headerCount(), table.recordCount());
        damaged = true;
    }
    if (table.memoMissing()) {
        std::fprintf(stderr, "dxc-dbf: warning: %s has memo fields but its memo file is missing: memos written as null\n",
                     file.c_str());
        damaged = true;
    }
    if (table.faultCount() > 0) {
        std::fprintf(stderr, "dxc-dbf: warning: %s: %llu values could not be read and were written as null\n",
                     file.c_str(), static_cast<unsigned long long>(table.faultCount()));
        damaged = true;
    }
    return damaged;
}

int runDump(const Words& words)
{
    int status = kUsage;
    const std::optional<DumpOptions> o = parseDump(words, status);
    if (!o)
        return status;
    applySettings();
    dbf::registerDbfFunctions();
    dbf::setDeletedHidden(!o->deleted);
    try {
        dbf::WorkArea& area = dbf::useArea(true, "", o->file, "", true, true);
        // An index tag whose expressions are not read (never run) is left out.
        for (const auto& [name, why] : area.brokenTags())
            std::fprintf(stderr, "dxc-dbf: warning: %s: index tag %s left out: %s\n", o->file.c_str(), name.c_str(),
                         why.c_str());
        std::vector<Column> columns = dumpColumns(area, *o);
        if (!o->order.empty()) {
            if (const int n = area.findOrder(o->order))
                area.setFocus(n);
            else
                area.createOrder({"DUMP", o->order, ""});
        }
        const rt::Value forBlock = o->forExpr.empty() ? rt::Value() : rt::compile(o->forExpr);
        dbf::Table& table = area.table();
        table.setFaultHandler([&table](const dbf::ValueFault& f) {
            std::fflush(stdout);
            std::fprintf(stderr, "dxc-dbf: record %u, field %s: %s\n", f.recno,
                         table.fields()[std::size_t(f.field)].name.c_str(), f.why.c_str());
        });
        const bool natural = o->order.empty() && forBlock.isNil() &&
                             std::all_of(columns.begin(), columns.end(), [](const Column& c) { return c.field >= 0; });
        writeDump(area, columns, forBlock, o->format, natural);
        const bool damaged = reportDamage(table, o->file);
        dbf::closeAllAreas();
        return damaged ? kDamaged : 0;
    } catch (const rt::Error& e) {
        return failWith(e);
    }
}

// ------------------------------------------------------------------ sample

int runSample(const Words& words)
{
    std::string error;
    const std::optional<sample::Options> o = sample::parseOptions(words, error);
    if (!o)
        return usageError(error);
    try {
        for (const sample::Written& w : sample::writeSample(*o))
            std::printf("%s: %u records, %zu fields\n", w.path.c_str(), w.records, w.fields);
        return 0;
    } catch (const rt::Error& e) {
        return failWith(e);
    }
}

// Takes "--codepage N" out of words (before or after the command) and sets
// it; false when N is no code page we read.
bool takeCodePage(Words& words)
{
    const auto it = std::find(words.begin(), words.end(), "--codepage");
    if (it == words.end())
        return true;
    if (it + 1 == words.end())
        return false;
    const int codePage = rt::cp::codePageOfName(*(it + 1));
    if (!dbf::codePageSupported(codePage))
        return false;
    dbf::overrideCodePage(codePage);
    words.erase(it, it + 2);
    return true;
}

int dispatch(int argc, char** argv)
{
    Words words(argv + 1, argv + argc);
    if (!takeCodePage(words))
        return usageError("--codepage needs a code page this program reads (437, 850, 1252, 936, utf-8, ...)");
    if (words.empty())
        return usageError("no command given");
    const std::string name = words[0];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return 0;
    }
    words.erase(words.begin());
    for (const Command& c : commands) {
        if (c.name != name)
            continue;
        if (std::find(words.begin(), words.end(), "--help") != words.end()) {  // "dxc-dbf sample --help"
            printUsage(stdout);
            return 0;
        }
        return c.run(words);
    }
    return usageError("unknown command '" + name + "'");
}

}  // namespace

int main(int argc, char** argv)
{
    int status = kFailed;
    try {
        status = dispatch(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dxc-dbf: %s\n", e.what());
    }
    rt::consoleFinish();
    std::fflush(stdout);
    return status;
}
