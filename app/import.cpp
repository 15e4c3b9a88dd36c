// The import of the folder's DBF tables into the database "dxc".
//
// Each table the server lacks is created from the DBF structure, given the
// picture column "foto" and filled with one INSERT per record, as the
// console lines tell. Beyond that, for the people whose data this is:
//   - a table is created and filled in one transaction, so an interrupted or
//     failed import leaves no half-filled table and the next run imports it
//     whole;
//   - a record the server rejects is rolled back alone and reported with its
//     record number; the rest of the table still lands;
//   - a DBF that cannot be opened is reported and the import goes on;
//   - records marked deleted are not imported (DbeSys hides them);
//   - the statements are pipelined, so reading the DBF and building the
//     statements overlap the server's work;
//   - with --bulk the rows go by binary COPY, shared by two sessions: the
//     table is filled in the schema "dxc_carga" and moved into place whole.
#include "app/dxc.h"
#include "app/console_lines.h"
#include "app/messages.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/loader.h"
#include "platform/pgsql/parallel_copy.h"
#include "platform/runtime/array.h"
#include "platform/runtime/console.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace app {

namespace {

// PostgreSQL's reserved key words: a column or table with one of these names
// must be quoted.
constexpr std::string_view kReserved[] = {
    "all", "analyse", "analyze", "and", "any", "array", "as", "asc", "asymmetric", "authorization", "binary",
    "both", "case", "cast", "check", "collate", "collation", "column", "concurrently", "constraint", "create",
    "cross", "current_catalog", "current_date", "current_role", "current_schema", "current_time",
    "current_timestamp", "current_user", "default", "deferrable", "desc", "distinct", "do", "else", "end",
    "except", "false", "fetch", "for", "foreign", "freeze", "from", "full", "grant", "group", "having", "ilike",
    "in", "initially", "inner", "intersect", "into", "is", "isnull", "join", "lateral", "leading", "left",
    "like", "limit", "localtime", "localtimestamp", "natural", "not", "notnull", "null", "offset", "on", "only",
    "or", "order", "outer", "overlaps", "placing", "primary", "references", "returning", "right", "select",
    "session_user", "similar", "some", "symmetric", "system_user", "table", "tablesample", "then", "to",
    "trailing", "true", "union", "unique", "user", "using", "variadic", "verbose", "when", "where", "window",
    "with"};

// A name as it stands in a statement: bare when it is a plain lower-case
// identifier (so ordinary statements read as written), quoted otherwise. Names
// come from file names and DBF headers, so nothing in them may reach the
// statement unquoted.
std::string sqlName(std::string_view name)
{
    bool plain = !name.empty() && name.size() < 64 && (name[0] == '_' || (name[0] >= 'a' && name[0] <= 'z'));
    for (char c : name)
        plain = plain && (c == '_' || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'));
    if (plain && std::find(std::begin(kReserved), std::end(kReserved), name) == std::end(kReserved))
        return std::string(name);
    return pgsql::quoteIdent(name);
}

// The table name: the file name up to its first ".", in lower case.
std::string tableName(std::string_view fileName)
{
    return rt::lower(fileName.substr(0, std::min(fileName.find('.'), fileName.size())));
}

// The rejected records of one table: the first ones listed, in record
// order (a shared load reports them as its sessions find them), the rest
// counted.
class RejectReport {
public:
    explicit RejectReport(std::string table) : table_(std::move(table)) {}
    void add(std::int64_t recno, const std::string& message)
    {
        lines_.emplace(recno, "Registro " + std::to_string(recno) + " de " + table_ + " rechazado: " + message);
        if (static_cast<int>(lines_.size()) > kRejectedListed) {
            lines_.erase(std::prev(lines_.end()));
            ++unlisted_;
        }
    }
    void print() const
    {
        for (const auto& [recno, line] : lines_)
            out({rt::Value(line)});
        if (unlisted_)
            out({rt::Value("Otros " + std::to_string(unlisted_) + " registros de " + table_ + " rechazados")});
    }
    [[nodiscard]] pgsql::RejectFn callback()
    {
        return [this](std::int64_t recno, const std::string& message) { add(recno, message); };
    }

private:
    std::string table_;
    std::multimap<std::int64_t, std::string> lines_;
    std::int64_t unlisted_ = 0;
};

// Bytes of a DBF field as a reader can see them: printable ASCII as it is,
// any other byte as \xNN.
std::string shownBytes(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '\\') {
            out += c;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        }
    }
    return out;
}

const char* faultText(dbf::ValueFault::Kind kind)
{
    switch (kind) {
    case dbf::ValueFault::Kind::NotANumber: return "no es un número";
    case dbf::ValueFault::Kind::Overflow: return "número desbordado";
    case dbf::ValueFault::Kind::NotADate: return "no es una fecha";
    case dbf::ValueFault::Kind::NotADateTime: return "no es una fecha y hora";
    case dbf::ValueFault::Kind::BadMemo: return "memo ilegible";
    case dbf::ValueFault::Kind::NulBytes: return "bytes NUL";
    }
    return "ilegible";
}

// Which memo block could not be read, and why, when the engine knows.
std::string memoText(const dbf::ValueFault& f)
{
    if (f.kind != dbf::ValueFault::Kind::BadMemo || f.memoBlock < 0)
        return {};
    const std::string block = " (bloque " + std::to_string(f.memoBlock);
    if (f.memoLength >= 0)
        return block + ", de " + std::to_string(f.memoLength) + " bytes que pasan del final del archivo memo)";
    return block + ", fuera del archivo memo)";
}

// The values of one table the DBF could not give: the first ones listed,
// the rest counted.
class FaultReport {
public:
    FaultReport(std::string table, const dbf::Table& dbf) : table_(std::move(table)), dbf_(dbf) {}
    void add(const dbf::ValueFault& f)
    {
        if (static_cast<int>(lines_.size()) >= kRejectedListed) {
            ++unlisted_;
            return;
        }
        const std::string where =
            "Registro " + std::to_string(f.recno) + " de " + table_ + ", campo " + dbf_.fields()[std::size_t(f.field)].name;
        // PostgreSQL's text cannot hold NUL: the value goes without them.
        if (f.kind == dbf::ValueFault::Kind::NulBytes)
            lines_.push_back(where + ": " + (f.nuls == 1 ? std::string("1 byte NUL quitado")
                                                          : std::to_string(f.nuls) + " bytes NUL quitados") +
                             " del texto");
        else
            lines_.push_back(where + ": \"" + shownBytes(f.bytes) + "\" " + faultText(f.kind) + memoText(f) +
                             ", importado como NULL");
    }
    void print() const
    {
        for (const std::string& l : lines_)
            out({rt::Value(l)});
        if (unlisted_)
            out({rt::Value("Otros " + std::to_string(unlisted_) + " valores ilegibles de " + table_ +
                           " importados como NULL")});
    }

private:
    std::string table_;
    const dbf::Table& dbf_;
    std::vector<std::string> lines_;
    std::int64_t unlisted_ = 0;
};

// Bytes as the server's bytea input reads them: \x and two hex digits a byte.
std::string byteaText(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 + 2 * bytes.size());
    text += "\\x";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        text += kHex[u >> 4];
        text += kHex[u & 0xF];
    }
    return text;
}

// The value of one field as the import sends it; nullopt for an empty one,
// which is left out (its column keeps its default, NULL). A number is sent
// with every digit the field holds; the bytes of a binary field as bytea.
pgsql::Field fieldText(const dbf::Table& table, int field, const rt::Value& v, bool forInsert)
{
    if (rt::isEmpty(v))
        return std::nullopt;
    if (table.fields()[std::size_t(field)].binary && v.isChar()) {
        std::string text = byteaText(v.asString());
        return forInsert ? pgsql::stoq(text) : text;
    }
    if (v.isNum())
        return table.numberText(field, v);
    if (v.isDate())
        return pgsql::dtoq(v, forInsert);
    if (v.isLogical())
        return forInsert ? pgsql::stoq("t") : std::string("t");
    // The table's text, already decoded to UTF-8 as the database stores it:
    // every character arrives, whether or not code page 1252 has it.
    const std::string text = v.isChar() ? std::string(v.asString()) : rt::var2char(v);
    return forInsert ? pgsql::stoq(text) : text;
}

// While a table's records are sent, a note at the end of its console line
// when standard error is a terminal: records done of total, rows per second
// and time left, taken back when the table ends. Nothing is written when
// standard error is not a terminal.
class Progress {
public:
    using Clock = std::chrono::steady_clock;
    explicit Progress(std::uint32_t total) : on_(total > 0 && ::isatty(2) == 1), total_(total) {}
    ~Progress() { finish(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void step(std::uint32_t done)
    {
        if (!on_ || (done & 0x3FF) != 0)
            return;
        const auto now = Clock::now();
        if (now - last_ < std::chrono::milliseconds(250))
            return;
        last_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double rate = elapsed > 0 ? done / elapsed : 0;
        char buf[96];
        std::snprintf(buf, sizeof buf, " %u de %u registros, %.0f/s, quedan %.0f s", done, total_, rate,
                      rate > 0 ? (total_ - std::min(done, total_)) / rate : 0.0);
        show(buf);
    }

    // Takes the note back, before the console line goes on.
    void finish()
    {
        show({});
        on_ = false;
    }

private:
    // Replaces the note shown (on the console's open line) with `text`.
    void show(std::string_view text)
    {
        std::string out;
        if (shown_ > 0)
            out = "\033[" + std::to_string(shown_) + "D\033[K";
        out += text;
        shown_ = text.size();
        for (std::string_view rest = out; !rest.empty();) {
            const ssize_t n = ::write(2, rest.data(), rest.size());
            if (n <= 0)
                break;
            rest.remove_prefix(std::size_t(n));
        }
    }

    bool on_;
    std::uint32_t total_;
    std::size_t shown_ = 0;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_ = start_;
};

struct TableLoad {
    pgsql::Connection& conn;
    dbf::WorkArea& area;
    Progress& progress;
    std::string target;               // schema.table as it stands in statements
    std::vector<std::string> columns; // as they stand in statements
    pgsql::Connection* helper = nullptr;  // a second session sharing a bulk load
    std::int64_t withoutValue = 0;        // records left out: no field holds a value
};

// One INSERT per record, built as "INSERT INTO s.t ( a,b ) VALUES ( 1,'x' )".
bool insertRecords(TableLoad& load, RejectReport& report)
{
    pgsql::StatementPipeline pipe(load.conn, report.callback());
    if (!pipe.start())
        return false;
    const int nFields = static_cast<int>(load.columns.size());
    std::string cFields, cValues, cSql;
    for (load.area.goTop(); !load.area.eof(); load.area.skip(1)) {
        cFields.clear();
        cValues.clear();
        for (int i = 0; i < nFields; ++i) {
            const pgsql::Field text = fieldText(load.area.table(), i, load.area.fieldGet(i), true);
            if (!text)
                continue;
            cValues += *text;
            cValues += ',';
            cFields += load.columns[static_cast<std::size_t>(i)];
            cFields += ',';
        }
        load.progress.step(load.area.recno());
        if (cValues.empty()) {
            ++load.withoutValue;  // every field empty: nothing to insert
            continue;
        }
        cFields.pop_back();
        cValues.pop_back();
        cSql.clear();
        cSql.append("INSERT INTO ").append(load.target).append(" ( ").append(cFields);
        cSql.append(" ) VALUES ( ").append(cValues).append(" )");
        if (!pipe.send(cSql, load.area.recno()))
            return false;
    }
    return pipe.finish();
}

// The column a field becomes (as CreateTable makes it), by how its values
// are written in binary COPY.
enum class Column { Text, Padded, Numeric, Int4, Float8, Date, Boolean, Timestamp, Bytea };

Column columnOf(const dbf::Field& f)
{
    if (f.binary)
        return Column::Bytea;
    switch (f.type) {
    case 'C': return f.len >= 1 ? Column::Padded : Column::Text;
    case 'N':
    case 'F':
    case 'Y': return Column::Numeric;
    case 'I': return Column::Int4;
    case 'B': return Column::Float8;
    case 'D': return Column::Date;
    case 'L': return Column::Boolean;
    case 'T': return Column::Timestamp;
    case 'G':
    case 'P':
    case 'W':
    case 'Q': return Column::Bytea;
    default: return Column::Text;
    }
}

// The server counts days and microseconds from 2000-01-01.
constexpr std::int32_t kJulian2000 = 2451545;

// "yyyy-mm-dd hh:mm:ss[.fff]" (as the engine gives T and @ values) in
// microseconds from 2000-01-01; false for another text.
bool timestampOf(std::string_view t, std::int64_t& micros)
{
    const auto digits = [&t](std::size_t at, std::size_t n, int& out) {
        out = 0;
        if (at + n > t.size())
            return false;
        for (std::size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    int y, mo, d, h, mi, sec, ms = 0;
    if (!digits(0, 4, y) || !digits(5, 2, mo) || !digits(8, 2, d) || !digits(11, 2, h) || !digits(14, 2, mi) ||
        !digits(17, 2, sec) || (t.size() != 19 && (t.size() != 23 || t[19] != '.' || !digits(20, 3, ms))))
        return false;
    const rt::Date day = rt::makeDate(y, mo, d);
    if (day.empty() || h > 23 || mi > 59 || sec > 59)
        return false;
    micros = ((std::int64_t(day.julian - kJulian2000) * 24 + h) * 60 + mi) * 60 + sec;
    micros = micros * 1000000 + std::int64_t(ms) * 1000;
    return true;
}

// Text without the NULs no PostgreSQL text holds (the text COPY and the
// INSERT leave them out too).
std::string_view withoutNul(std::string_view text, std::string& made)
{
    if (text.find('\0') == std::string_view::npos)
        return text;
    made.assign(text);
    std::erase(made, '\0');
    return made;
}

// A date that is not empty into its date column. A day outside years
// 1..9999 is NULL, as the INSERT's DtoQ makes it.
void putDay(pgsql::BinaryRow& row, rt::Date day)
{
    static const std::int32_t first = rt::makeDate(1, 1, 1).julian, last = rt::makeDate(9999, 12, 31).julian;
    if (day.julian < first || day.julian > last)
        row.null();
    else
        row.date(day.julian - kJulian2000);
}

// Text that Empty() reads as blank: only blanks, tabs and line ends.
// Trailing blanks are gone already, so such text is "" or ends in another.
bool blankText(std::string_view t)
{
    if (t.empty())
        return true;
    const char last = t.back();
    return (last == '\t' || last == '\r' || last == '\n') && t.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// A number's text that reads as zero: signs, zeros and a point only.
bool zeroText(std::string_view t)
{
    for (const char c : t)
        if (c != '0' && c != '-' && c != '.')
            return false;
    return true;
}

// Writes one field into the binary row: the same value the INSERT sends,
// NULL where the INSERT leaves the column out. False when the value is of
// a kind its column cannot take.
bool putField(pgsql::BinaryRow& row, const dbf::Table& table, int field, Column column, const rt::Value& v,
              std::string& made)
{
    if (rt::isEmpty(v)) {
        row.null();
        return true;
    }
    switch (column) {
    case Column::Numeric:
        if (!v.isNum())
            return false;
        made = table.numberText(field, v);
        return row.numeric(made);
    case Column::Int4:
        if (!v.isNum() || !v.isInteger())
            return false;
        row.int4(static_cast<std::int32_t>(v.asInt()));
        return true;
    case Column::Float8:
        if (!v.isNum())
            return false;
        row.float8(v.asDouble());
        return true;
    case Column::Date:
        if (!v.isDate())
            return false;
        putDay(row, v.asDate());
        return true;
    case Column::Boolean:
        if (!v.isLogical())
            return false;
        row.boolean(v.asBool());
        return true;
    case Column::Timestamp: {
        std::int64_t micros = 0;
        if (!v.isChar() || !timestampOf(v.asString(), micros))
            return false;
        row.timestamp(micros);
        return true;
    }
    case Column::Bytea:
        if (!v.isChar())
            return false;
        row.bytes(v.asString());
        return true;
    case Column::Padded:
        if (v.isChar()) {
            // The server pads character(n) again: trailing blanks need not travel.
            const std::string_view text = v.asString();
            row.bytes(withoutNul(text.substr(0, text.find_last_not_of(' ') + 1), made));
            return true;
        }
        break;
    case Column::Text:
        if (v.isChar()) {
            row.bytes(withoutNul(v.asString(), made));
            return true;
        }
        break;
    }
    // Text columns of other kinds of value: the text the INSERT sends.
    made = *fieldText(table, field, v, false);
    std::erase(made, '\0');
    row.bytes(made);
    return true;
}

// Writes a C field into its character(n) column, an N/F field into its
// numeric, a D field into its date or an L field into its boolean straight
// from the record: no value is built, which is most of the work per field
// of a bulk load. False, and nothing written, when the engine cannot read
// the field so (get() then decides and tells a fault). An empty value is
// NULL, as putField() makes it.
bool putFieldDirect(pgsql::BinaryRow& row, const dbf::Table& table, int field, Column column, std::string& made,
                    bool& any)
{
    switch (column) {
    case Column::Padded: {
        std::string_view text;
        bool nul = false;
        if (!table.textOf(field, text, nul))
            return false;
        if (blankText(text)) {
            row.null();
            return true;
        }
        row.bytes(nul ? withoutNul(text, made) : text);
        break;
    }
    case Column::Numeric:
        made.clear();
        if (!table.appendNumber(field, made))
            return false;
        if (zeroText(made)) {
            row.null();
            return true;
        }
        if (!row.numeric(made))
            return false;
        break;
    case Column::Date: {
        rt::Date day;
        if (!table.dateOf(field, day))
            return false;
        if (day.empty()) {
            row.null();
            return true;
        }
        putDay(row, day);
        break;
    }
    case Column::Boolean: {
        bool truth = false;
        if (!table.logicalOf(field, truth))
            return false;
        if (!truth) {
            row.null();
            return true;
        }
        row.boolean(true);
        break;
    }
    default: return false;
    }
    any = true;
    return true;
}

// The same rows through binary COPY: every column, NULL where the INSERT
// would leave the column out. A record whose fields are all empty is
// skipped here too. Binary: the server parses no number or date text.
// numbered: recno goes in the rows (1, 2, ... as the identity would give
// them), which spares the server a nextval per row; the identity then
// continues after the last one.
bool copyRecords(TableLoad& load, RejectReport& report, bool numbered)
{
    std::vector<std::string> columns = load.columns;
    if (numbered)
        columns.insert(columns.begin(), "recno");
    std::vector<pgsql::Connection*> sessions{&load.conn};
    if (load.helper)
        sessions.push_back(load.helper);
    pgsql::ParallelCopy copy(sessions, load.target, columns, report.callback());
    const dbf::Table& table = load.area.table();
    const std::size_t nFields = load.columns.size();
    std::vector<Column> kinds;
    for (const dbf::Field& f : table.fields())
        kinds.push_back(columnOf(f));
    rt::Value held;
    std::string made;
    pgsql::BinaryRow row;
    std::int64_t sent = 0;
    for (load.area.goTop(); !load.area.eof(); load.area.skip(1)) {
        load.progress.step(load.area.recno());
        row.begin(columns.size());
        if (numbered)
            row.int8(sent + 1);
        bool any = false;
        for (std::size_t i = 0; i < nFields; ++i) {
            const int field = static_cast<int>(i);
            if (table.isNull(field)) {
                row.null();
                continue;
            }
            if (putFieldDirect(row, table, field, kinds[i], made, any))
                continue;
            held = load.area.fieldGet(field);
            any = any || !rt::isEmpty(held);
            if (!putField(row, table, field, kinds[i], held, made))
                rt::raise("Data type error", "import",
                          {rt::Value(table.fields()[i].name), rt::Value(std::string(1, held.typeLetter()))});
        }
        if (!any) {
            ++load.withoutValue;
            continue;
        }
        ++sent;
        if (!copy.rowBinary(row.data(), load.area.recno()))
            break;
    }
    if (!copy.finish()) {
        load.conn.setErrorText(copy.errorText());
        return false;
    }
    if (!numbered)
        return true;
    // The numbers given are known: no scan of the table for the highest.
    return load.conn
        .value("SELECT setval(pg_get_serial_sequence($1, 'recno'), $2, false)", {load.target, std::to_string(sent + 1)})
        .has_value();
}

// Drops the primary key CreateTable made on recno, whatever its name.
bool dropPrimaryKey(pgsql::Connection& conn, const std::string& target)
{
    const auto name = conn.value("SELECT conname FROM pg_catalog.pg_constraint WHERE conrelid = $1::regclass "
                                 "AND contype = 'p'",
                                 {target});
    return name && conn.execute("ALTER TABLE " + target + " DROP CONSTRAINT " + pgsql::quoteIdent(*name));
}

// Why a DBF could not be opened or read on, for the console in Spanish;
// the engine's own message goes to the log.
std::string dbfFailureText(const rt::Error& e)
{
    std::fprintf(stderr, "%s\n", e.message().c_str());
    return dbfFailureMessage(e);
}

// The reason of a failure, for the console: the server's message.
void reportFailure(const std::string& what, const pgsql::Connection& conn)
{
    out({rt::Value(what + ": " + conn.errorText())});
}

// A bulk load shared by two sessions fills its table in this schema and
// moves it to its own schema at the end: the second session can only reach
// a table once it is committed, and no one may see a half-filled table
// under the table's own name. A table left here by a run that died is
// dropped before the next one is made.
constexpr std::string_view kLoadSchema = "dxc_carga";

// The second session of shared bulk loads, and the schema they fill tables
// in; none when the server refuses either (then one session loads alone).
bool openHelper(pgsql::Connection& conn, pgsql::Connection& helper)
{
    const std::string schema(kLoadSchema);
    if (rt::var2char(conn.sChema) == schema)
        return false;
    // The schema may exist already, made by another user.
    std::string why;
    if (!conn.execute("CREATE SCHEMA IF NOT EXISTS " + pgsql::quoteIdent(schema)))
        why = conn.errorText();
    else if (conn.value("SELECT has_schema_privilege($1, 'CREATE')", {schema}) != "t")
        why = "no right to create tables in " + schema;
    else if (!helper.connectLike(conn))
        why = helper.errorText();
    // The helper's commits need not wait for the disk: what it loads lands
    // only with the import's own commit, which waits for everything before it.
    else if (!helper.execute("SET synchronous_commit = off"))
        why = helper.errorText();
    if (why.empty())
        return true;
    std::fprintf(stderr, "import: one session loads alone: %s\n", why.c_str());
    return false;
}

// Rolls back what a failed load left: the open transactions and, for a
// shared load, its table in the load schema.
void undoLoad(pgsql::Connection& conn, pgsql::Connection* helper, const std::string& staged)
{
    const std::string why = conn.errorText();
    conn.execute("ROLLBACK");
    if (helper) {
        helper->execute("ROLLBACK");
        pgsql::Connection& any = conn.isOpen() ? conn : *helper;
        any.execute("DROP TABLE IF EXISTS " + staged);
    }
    conn.setErrorText(why);
}

// What the reading of a table left out or chose, each in one line after the
// table's: records without any value, memos of a missing memo file, a code
// page detected from the text.
void reportReading(const dbf::Table& t, const std::string& cTable, std::int64_t withoutValue)
{
    if (withoutValue == 1)
        out({rt::Value("1 registro de " + cTable + " no se importó: no tiene ningún valor")});
    else if (withoutValue > 1)
        out({rt::Value(std::to_string(withoutValue) + " registros de " + cTable +
                       " no se importaron: no tienen ningún valor")});
    if (t.memoMissing() && t.missingMemos() == 1)
        out({rt::Value("Falta 1 memo de " + cTable + ": su archivo memo no está (importado como NULL)")});
    else if (t.memoMissing())
        out({rt::Value("Faltan " + std::to_string(t.missingMemos()) + " memos de " + cTable +
                       ": su archivo memo no está (importados como NULL)")});
    if (t.codePageDetected())
        out({rt::Value("Tabla " + cTable + " leída en la página de códigos " + std::to_string(t.codePage()) +
                       ", detectada de su texto")});
}

// Creates, fills and commits one table; the console lines of the creation
// and the fill. helper: a second session to share a bulk load with, or
// null. Returns false when the connection is gone.
bool importTable(pgsql::Connection& conn, dbf::WorkArea& area, const std::string& cTable, const rt::Value& aDbStruct,
                 bool bulk, pgsql::Connection* helper)
{
    dbf::Table& dbfTable = area.table();
    const std::string schema = rt::var2char(conn.sChema);
    const std::string target = sqlName(schema) + "." + sqlName(cTable);
    if (!bulk || (helper && !helper->isOpen()))
        helper = nullptr;
    // Where the table is made and filled.
    const std::string staged = helper ? sqlName(kLoadSchema) + "." + sqlName(cTable) : target;

    out({"Creando Tabla:", rt::Value(cTable)});
    if ((helper && !conn.execute("DROP TABLE IF EXISTS " + staged)) || !conn.execute("BEGIN") ||
        !conn.createTable(cTable, aDbStruct, helper ? kLoadSchema : std::string_view())) {
        append(" Error");
        reportFailure("El servidor rechazó la tabla " + cTable, conn);
        conn.execute("ROLLBACK");
        return conn.isOpen();
    }
    append(" Ok");

    out({"Creando Campo de Foto en :", rt::Value(cTable)});
    const std::string cSql = "ALTER TABLE " + staged + " ADD  foto  CHARACTER VARYING";
    // Under a savepoint: a DBF that already has a "foto" field keeps its data.
    conn.execute("SAVEPOINT dxc_foto");
    if (conn.execute(cSql)) {
        conn.execute("RELEASE SAVEPOINT dxc_foto");
        append(" Ok");
    } else {
        const std::string why = conn.errorText();
        conn.execute("ROLLBACK TO SAVEPOINT dxc_foto");
        append(" Error");
        out({rt::Value("Campo foto no creado en " + cTable + ": " + why)});
    }

    const auto& fields = area.table().fields();
    out({"Importeado Tabla:", rt::Value(cTable), " con ", rt::Value(rt::var2char(rt::Value(int(fields.size())))),
         "Campos y ", rt::Value(rt::var2char(rt::Value(static_cast<long long>(area.table().recordCount())))),
         "Registros"});

    Progress progress(area.table().recordCount());
    TableLoad load{conn, area, progress, staged, {}, helper};
    for (const dbf::Field& f : fields)
        load.columns.push_back(sqlName(rt::lower(f.name)));
    RejectReport report(cTable);
    FaultReport faults(cTable, dbfTable);
    dbfTable.setFaultHandler([&faults](const dbf::ValueFault& f) { faults.add(f); });
    dbfTable.setNulFaults(true);
    // A bulk load builds the recno key once at the end, which costs the
    // server less than keeping it up to date row by row.
    const bool hasRecnoField = std::any_of(fields.begin(), fields.end(),
                                           [](const dbf::Field& f) { return rt::lower(f.name) == "recno"; });
    const bool keyAfterLoad = bulk && !hasRecnoField;
    bool ok = !keyAfterLoad || dropPrimaryKey(conn, staged);
    // A statement of the helper's; its failure is told as the load's.
    const auto onHelper = [&](const char* sql) {
        if (helper->execute(sql))
            return true;
        conn.setErrorText(helper->errorText());
        return false;
    };
    // A shared load: the empty table is committed where the helper can
    // reach it (it need not reach the disk now: the load's last commit
    // takes it there), and each session fills it in a transaction of its
    // own. At the end the table moves to its schema, where it appears whole.
    if (ok && helper)
        ok = conn.execute("SET LOCAL synchronous_commit = off") && conn.execute("COMMIT") && conn.execute("BEGIN") &&
             onHelper("BEGIN");
    try {
        if (ok)
            ok = bulk ? copyRecords(load, report, keyAfterLoad) : insertRecords(load, report);
        if (ok && helper)
            ok = onHelper("COMMIT") && conn.execute("ALTER TABLE " + staged + " SET SCHEMA " + sqlName(schema));
        if (ok && keyAfterLoad)
            ok = conn.execute("ALTER TABLE " + target + " ADD PRIMARY KEY (recno)");
    } catch (const rt::Error& e) {
        // A file that cannot be read on ends this table; what was sent is rolled back.
        conn.setErrorText(dbfFailureText(e));
        ok = false;
    }
    dbfTable.setFaultHandler({});
    progress.finish();
    if (ok)
        ok = conn.execute("COMMIT");
    if (!ok) {
        undoLoad(conn, helper, staged);
        append(" Error");
        reportFailure("La tabla " + cTable + " no se importó", conn);
        return conn.isOpen();
    }
    append(" Ok");
    report.print();
    faults.print();
    if (dbfTable.headerCount() > dbfTable.recordCount())
        out({rt::Value("Faltan " + std::to_string(dbfTable.headerCount() - dbfTable.recordCount()) + " registros de " + cTable +
                       ": el archivo está cortado (su encabezado cuenta " + std::to_string(dbfTable.headerCount()) +
                       ")")});
    reportReading(dbfTable, cTable, load.withoutValue);
    return true;
}

// The structure the SQL table is made from: DbStruct's, except that a field
// holding bytes, of whatever type, becomes a blob ("W"), which the server
// keeps as bytea: no text column can hold bytes that are not UTF-8.
rt::Value sqlStruct(const dbf::Table& t, const rt::Value& aDbStruct)
{
    std::vector<rt::Value> rows = aDbStruct.asArray().items;
    const auto& fields = t.fields();
    for (std::size_t i = 0; i < rows.size() && i < fields.size(); ++i)
        if (fields[i].binary) {
            std::vector<rt::Value> row = rows[i].asArray().items;
            row[1] = rt::Value("W");
            rows[i] = rt::makeArray(std::move(row));
        }
    return rt::makeArray(std::move(rows));
}

// A DBF whose header counts more records than the file holds whole, or
// whose memo file is missing.
bool isCut(const dbf::Table& t) { return t.headerCount() > t.recordCount() || t.memoMissing(); }

void reportCut(const dbf::Table& t, const std::string& cTable)
{
    if (t.memoMissing() && t.headerCount() <= t.recordCount()) {
        out({rt::Value("La tabla " + cTable +
                       " está dañada: falta su archivo memo; no se importó (--salvage la importa con los memos NULL)")});
        return;
    }
    out({rt::Value("La tabla " + cTable + " está dañada: su encabezado cuenta " + std::to_string(t.headerCount()) +
                   " registros y el archivo tiene " + std::to_string(t.recordCount()) +
                   " enteros; no se importó (--salvage importa los registros enteros)")});
}

}  // namespace

void importDbfFiles(pgsql::Connection& conn, const rt::Value& aDbfFiles, const std::string& cRuta, const Options& opts)
{
    if (!aDbfFiles.isArray())
        return;
    // The tables read by the import are read in the code page asked for.
    struct CodePage {
        explicit CodePage(int n) { dbf::overrideCodePage(n); }
        ~CodePage() { dbf::overrideCodePage(0); }
    } codePage(opts.codePage);
    pgsql::Connection helperConn;
    pgsql::Connection* helper = nullptr;
    const auto sharedLoads = [&] {
        if (!helper && opts.bulk && openHelper(conn, helperConn))
            helper = &helperConn;
        return helper;
    };
    // Empty unless a load left a table there or another run is using it,
    // and then it stays.
    struct DropLoadSchema {
        pgsql::Connection& conn;
        pgsql::Connection*& helper;
        ~DropLoadSchema()
        {
            if (helper)
                (conn.isOpen() ? conn : *helper).execute("DROP SCHEMA IF EXISTS " + pgsql::quoteIdent(kLoadSchema));
        }
    } dropLoadSchema{conn, helper};
    for (const rt::Value& entry : aDbfFiles.asArray().items) {
        if (!entry.isArray() || entry.asArray().items.empty() || !entry.asArray().items[0].isChar())
            continue;
        const std::string file = entry.asArray().items[0].str();
        const std::string cTable = tableName(file);

        // The listed file itself is opened (read-only: the import never
        // writes to it), so A.B.DBF is read even though its table is "a".
        dbf::WorkArea* area = nullptr;
        try {
            // No alias given: the one made from the file name is always a
            // valid one, even for names like CAÑA.DBF or O'BRIEN.DBF.
            area = &dbf::useArea(true, "FOXCDX", cRuta + file, "", false, true);
        } catch (const rt::Error& e) {
            out({rt::Value("No se pudo abrir " + cRuta + file + ": " + dbfFailureText(e))});
            dbf::closeAllAreas();
            continue;
        }
        const rt::Value aDbStruct = dbf::dbStruct();

        out({"Verificando Tabla:", rt::Value(cTable)});
        bool connected = true;
        if (conn.existTables(cTable)) {
            append(" Ok");
        } else if (!conn.isOpen()) {
            append(" Error");
            connected = false;
        } else if (isCut(area->table()) && !opts.salvage) {
            append(" Error");
            reportCut(area->table(), cTable);
        } else {
            append(" Ok");
            connected = importTable(conn, *area, cTable, sqlStruct(area->table(), aDbStruct), opts.bulk, sharedLoads());
        }
        dbf::closeAllAreas();
        if (!connected) {
            out({rt::Value("Conexión perdida con el servidor: " + conn.errorText())});
            return;
        }
    }
}

}  // namespace app
