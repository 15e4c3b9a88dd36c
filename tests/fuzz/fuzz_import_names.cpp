// Fuzzes what a table's field names, types and values reach in the import
// and in the browse library: the column names, CREATE TABLE, each record's
// INSERT and binary COPY row, built by the import's own functions without a
// server, then the query panel's set-up over the same table.
//
// Every statement is read back by a small SQL lexer: it must hold no NUL
// (libpq would cut it there), each name must stay one identifier that means
// its column's name, each value one literal, in the statement's own shape;
// a binary row must hold exactly its fields. The table and the folder must
// be as they were afterwards. Only runtime errors may come out.
//
// Input: one byte of options (bit 0: a dBASE 7 table, 31-byte names, else
// dBASE III, 10-byte names; bits 1-3: the number of fields, 1 to 8), then
// per field a type byte (C N F D L I B by its value modulo 7, its length
// 1-16 by the high bits) and its name bytes up to a 0 byte, then the bytes
// of the one record, and the text that names the table and is searched.
#include "query_panel.h"

#include "app/import_internal.h"
#include "common/hostile_tables.h"

#include "platform/dbf/workarea.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/loader.h"
#include "platform/runtime/array.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fault(const char* what, const std::string& sql)
{
    std::fprintf(stderr, "%s:\n%s\n", what, sql.c_str());
    std::abort();
}

struct Token {
    enum Kind { Word, Name, Text, Number, Mark } kind;
    std::string text;  // a name or text as the server reads it; a word in lower case
};

// The statement's tokens as PostgreSQL reads them; false on anything
// that is not one (an unclosed quote, a stray character).
bool lex(std::string_view sql, std::vector<Token>& out)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto isWord = [&](char c) { return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c); };
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == ' ') {
            ++i;
        } else if (c == '"' || c == '\'' || ((c == 'E' || c == 'e') && i + 1 < sql.size() && sql[i + 1] == '\'')) {
            const bool escapes = c != '"' && c != '\'';
            const char quote = escapes ? '\'' : c;
            i += escapes ? 2 : 1;
            std::string value;
            for (;;) {
                if (i >= sql.size())
                    return false;
                if (escapes && sql[i] == '\\' && i + 1 < sql.size()) {
                    value += sql[i + 1];  // the import escapes only \ and '
                    i += 2;
                } else if (sql[i] == quote && i + 1 < sql.size() && sql[i + 1] == quote) {
                    value += quote;
                    i += 2;
                } else if (sql[i] == quote) {
                    ++i;
                    break;
                } else {
                    value += sql[i++];
                }
            }
            out.push_back({quote == '"' ? Token::Name : Token::Text, value});
        } else if (isDigit(c) || ((c == '-' || c == '.') && i + 1 < sql.size() && (isDigit(sql[i + 1]) || sql[i + 1] == '.'))) {
            const std::size_t start = i++;
            while (i < sql.size() && (isDigit(sql[i]) || sql[i] == '.' || sql[i] == 'e' || sql[i] == 'E' ||
                                      ((sql[i] == '-' || sql[i] == '+') && (sql[i - 1] == 'e' || sql[i - 1] == 'E'))))
                ++i;
            out.push_back({Token::Number, std::string(sql.substr(start, i - start))});
        } else if (isWord(c)) {
            const std::size_t start = i;
            while (i < sql.size() && isWord(sql[i]))
                ++i;
            out.push_back({Token::Word, rt::lower(sql.substr(start, i - start))});
        } else if (c == '(' || c == ')' || c == ',' || c == '.') {
            out.push_back({Token::Mark, std::string(1, c)});
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

// Reads the statement's tokens in order.
struct Reader {
    const std::vector<Token>& t;
    const std::string& sql;
    std::size_t at = 0;

    bool atEnd() const { return at == t.size(); }
    const Token& next()
    {
        if (atEnd())
            fault("statement ends early", sql);
        return t[at++];
    }
    void expect(const std::string& text)
    {
        const Token& k = next();
        if (k.kind == Token::Text || k.kind == Token::Name || k.text != text)
            fault(("expected " + text).c_str(), sql);
    }
    // An identifier: what it names.
    std::string name()
    {
        const Token& k = next();
        if (k.kind != Token::Name && k.kind != Token::Word)
            fault("a name is not one identifier", sql);
        return k.text;
    }
    void qualified(const std::string& schema, const std::string& table)
    {
        if (name() != schema)
            fault("the schema's name changed", sql);
        expect(".");
        if (name() != table)
            fault("the table's name changed", sql);
    }
};

std::vector<Token> tokens(const std::string& sql)
{
    std::vector<Token> t;
    if (sql.find('\0') != std::string::npos)
        fault("a statement holds a NUL", sql);
    if (!lex(sql, t))
        fault("a statement does not read back", sql);
    return t;
}

// CREATE TABLE s.t ("recno" ..., name type, ...): each column's first token
// is its name; the types hold no text.
void checkCreate(const std::string& sql, const std::string& schema, const std::string& table,
                 std::vector<std::string> names)
{
    const std::vector<Token> t = tokens(sql);
    Reader r{t, sql};
    r.expect("create");
    r.expect("table");
    r.qualified(schema, table);
    r.expect("(");
    if (std::find(names.begin(), names.end(), "recno") == names.end())
        names.insert(names.begin(), "recno");
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (r.name() != names[i])
            fault("a column's name changed", sql);
        int depth = 0;
        for (;;) {
            const Token& k = r.next();
            if (k.kind == Token::Text || k.kind == Token::Name)
                fault("a column's type holds a quoted token", sql);
            if (k.text == "(")
                ++depth;
            else if (k.text == ")" && depth > 0)
                --depth;
            else if (depth == 0 && (k.text == "," || k.text == ")")) {
                if ((k.text == ")") != (i + 1 == names.size()))
                    fault("the columns do not match the fields", sql);
                break;
            }
        }
    }
    if (!r.atEnd())
        fault("text after the statement", sql);
}

// INSERT INTO s.t ( a,b ) VALUES ( 1,'x' ): the columns in field order, as
// many values, each one literal.
void checkInsert(const std::string& sql, const std::string& schema, const std::string& table,
                 const std::vector<std::string>& names)
{
    const std::vector<Token> t = tokens(sql);
    Reader r{t, sql};
    r.expect("insert");
    r.expect("into");
    r.qualified(schema, table);
    r.expect("(");
    std::size_t columns = 0, field = 0;
    for (;;) {
        const std::string n = r.name();
        while (field < names.size() && names[field] != n)
            ++field;
        if (field++ == names.size())
            fault("a column is not a field's", sql);
        ++columns;
        const Token& k = r.next();
        if (k.kind != Token::Mark || (k.text != "," && k.text != ")"))
            fault("a name is not one identifier", sql);
        if (k.text == ")")
            break;
    }
    r.expect("values");
    r.expect("(");
    for (std::size_t i = 0; i < columns; ++i) {
        const Token& v = r.next();
        if (v.kind != Token::Text && v.kind != Token::Number)
            fault("a value is not one literal", sql);
        r.expect(i + 1 == columns ? ")" : ",");
    }
    if (!r.atEnd())
        fault("text after the statement", sql);
}

// A binary COPY row: its field count, then per field a length (-1: NULL)
// and as many bytes, ending with the row.
void checkBinaryRow(std::string_view row, std::size_t fields)
{
    const auto be = [&row](std::size_t at, int bytes) {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | static_cast<unsigned char>(row[at + std::size_t(i)]);
        return v;
    };
    if (row.size() < 2 || be(0, 2) != fields)
        fault("a binary row's field count is wrong", std::string(row));
    std::size_t at = 2;
    for (std::size_t i = 0; i < fields; ++i) {
        if (at + 4 > row.size())
            fault("a binary row ends inside a field", std::string(row));
        const auto n = static_cast<std::int32_t>(be(at, 4));
        at += 4 + (n > 0 ? std::size_t(n) : 0);
        if (n < -1 || at > row.size())
            fault("a binary field's length is wrong", std::string(row));
    }
    if (at != row.size())
        fault("a binary row holds more than its fields", std::string(row));
}

// The import's statements over the open table, as it builds them.
void buildStatements(const std::string& cTable)
{
    using namespace app::import;
    dbf::WorkArea& area = dbf::requireArea("fuzz");
    const dbf::Table& table = area.table();
    std::vector<std::string> fieldNames;
    rt::Value aStruct = rt::Value::array();
    for (const dbf::Field& f : table.fields()) {
        fieldNames.push_back(f.name);
        aStruct.asArray().items.push_back(
            rt::makeArray({rt::Value(f.name), rt::Value(std::string(1, f.type)), rt::Value(f.len), rt::Value(f.dec)}));
    }
    const std::vector<std::string> names = pgsql::columnNames(fieldNames);
    for (const std::string& n : names)
        if (n.empty() || n.size() > 63 || std::count(names.begin(), names.end(), n) != 1)
            fault("a column name is empty, too long or repeated", n);

    pgsql::Connection conn;  // never connected: only its statement text is asked for
    const std::string schema = "public";
    checkCreate(conn.createTableSql(cTable, aStruct), schema, cTable, names);
    checkCreate(conn.createTableSql(cTable, aStruct, kLoadSchema), std::string(kLoadSchema), cTable, names);

    std::vector<std::string> columns;
    std::vector<Column> kinds;
    tableColumns(table, columns, kinds);
    InsertText text;
    pgsql::BinaryRow row;
    std::string room;
    for (area.goTop(); !area.eof(); area.skip(1)) {
        if (insertStatement(text, sqlName(schema) + "." + sqlName(cTable), columns, kinds, table))
            checkInsert(text.sql, schema, cTable, names);
        row.begin(columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i)
            (void)writeBinary(row, table, static_cast<int>(i), kinds[i], room);
        checkBinaryRow(row.data(), columns.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    char templ[] = "/tmp/fuzz_import_XXXXXX";
    fuzzpanel::start(argc, argv, templ);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const bool level7 = data[0] & 1;
    const std::size_t count = 1 + (data[0] >> 1 & 7), maxName = level7 ? 31 : 10;
    std::size_t at = 1;
    std::vector<std::string> names;
    std::string types;
    unsigned len = 4;
    for (std::size_t i = 0; i < count && at < size; ++i) {
        types += "CNFDLIB"[data[at] % 7];
        len = 1 + (data[at++] >> 4);
        std::string n;
        while (at < size && data[at] != 0)
            n += char(data[at++]);
        ++at;
        names.push_back(n.substr(0, maxName));
    }
    if (names.empty())
        return 0;
    std::size_t recLen = 0;
    for (char t : types)
        recLen += hostile::fieldLength(t, len);
    std::string record(recLen, ' ');
    for (std::size_t i = 0; i < record.size() && at < size; ++i)
        record[i] = char(data[at++]);
    const std::string entry = at < size ? std::string(reinterpret_cast<const char*>(data + at), size - at) : "";
    // The import names a table after its file (which holds no NUL): up to
    // the first ".", lower case.
    std::string file = entry.substr(0, entry.find('.'));
    file.erase(std::remove(file.begin(), file.end(), '\0'), file.end());
    std::string cTable = pgsql::serverName(rt::lower(file));
    if (cTable.empty())
        cTable = "t";

    fuzzpanel::checkUntouched(hostile::tableBytes(names, {record}, level7, len, types), [&] {
        rt::guarded([&] { buildStatements(cTable); });
        rt::guarded([&] { fuzzpanel::buildAndSearch(entry); });
    });
    return 0;
}
