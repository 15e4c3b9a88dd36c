// The import of the folder's DBF tables into the database "dxc".
//
// Each table the server lacks is created from the DBF structure, given the
// picture column "foto" and filled, as the console lines tell. Beyond that,
// for the people whose data this is:
//   - a table is created and filled in one transaction, so an interrupted or
//     failed import leaves no half-filled table and the next run imports it
//     whole;
//   - a record whose value the server refuses (SQLSTATE classes 22 and 23)
//     is left out alone and reported with its record number; any other
//     failure (a cancel, a full disk) fails the whole table;
//   - a DBF that cannot be opened is reported and the import goes on;
//   - records marked deleted are not imported (DbeSys hides them);
//   - the rows go by binary COPY, shared by two sessions (the table is
//     filled in the schema "dxc_carga" and moved into place whole); with
//     --insert one pipelined INSERT per record;
//   - each table remembers the file it came from (import_source.cpp): a
//     changed file is said, and --refresh replaces the table in one
//     transaction unless its rows were changed in SQL (--force: anyway);
//   - one import runs at a time in a database, and each clears what a dead
//     one left in the load schema.
#include "app/console_lines.h"
#include "app/dxc.h"
#include "app/import_internal.h"
#include "app/messages.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dbf/workarea.h"
#include "platform/pgsql/connection.h"
#include "platform/runtime/array.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <string_view>

namespace app {

namespace import {

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

}  // namespace

// Names come from file names and DBF headers, so nothing in them may reach
// a statement unquoted; plain names stay bare so statements read as written.
std::string sqlName(std::string_view name)
{
    bool plain = !name.empty() && name.size() < 64 && (name[0] == '_' || (name[0] >= 'a' && name[0] <= 'z'));
    for (char c : name)
        plain = plain && (c == '_' || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'));
    if (plain && std::find(std::begin(kReserved), std::end(kReserved), name) == std::end(kReserved))
        return std::string(name);
    return pgsql::quoteIdent(name);
}

std::string dbfFailureText(const rt::Error& e)
{
    std::fprintf(stderr, "%s\n", e.message().c_str());
    return dbfFailureMessage(e);
}

namespace {

// The table name: the file name up to its first ".", in lower case, as the
// server keeps it.
std::string tableName(std::string_view fileName)
{
    return pgsql::serverName(rt::lower(fileName.substr(0, std::min(fileName.find('.'), fileName.size()))));
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

// One import at a time in a database: a second one waits for the first, and
// then finds its tables made.
constexpr const char* kLockKey = "hashtext('dxc import')";

void waitForOtherImports(pgsql::Connection& conn)
{
    if (conn.value((std::string("SELECT pg_try_advisory_lock(") + kLockKey + ")").c_str()) == "t")
        return;
    out({rt::Value("Esperando a que termine otra importación en la base de datos")});
    (void)conn.value((std::string("SELECT pg_advisory_lock(") + kLockKey + ")::text").c_str());
}

// Drops what a run that died left in the load schema (no other run is using
// it: this one holds the lock), then the schema when it is ours and empty.
void clearLoadSchema(pgsql::Connection& conn)
{
    const auto tables = conn.value("SELECT string_agg(format('%I.%I', schemaname, tablename), ', ') FROM "
                                   "pg_catalog.pg_tables WHERE schemaname = $1 AND tableowner = current_user",
                                   {std::string(kLoadSchema)});
    if (tables)
        conn.execute("DROP TABLE IF EXISTS " + *tables + " CASCADE");
    // It may be someone else's, or hold their tables: then it stays.
    conn.execute("DROP SCHEMA IF EXISTS " + pgsql::quoteIdent(kLoadSchema));
}

// Whether tables can be built in the load schema; why not, on standard error.
bool loadSchemaReady(pgsql::Connection& conn, std::string& why)
{
    const std::string schema(kLoadSchema);
    if (rt::var2char(conn.sChema) == schema)
        why = "the tables' own schema is " + schema;
    // The schema may exist already, made by another user.
    else if (!conn.execute("CREATE SCHEMA IF NOT EXISTS " + pgsql::quoteIdent(schema)))
        why = conn.errorText();
    else if (conn.value("SELECT has_schema_privilege($1, 'CREATE')", {schema}) != "t")
        why = "no right to create tables in " + schema;
    return why.empty();
}

// The second session of shared COPY loads; false when it cannot be had
// (then one session loads alone).
bool openHelper(pgsql::Connection& conn, pgsql::Connection& helper, std::string& why)
{
    if (!loadSchemaReady(conn, why))
        return false;
    if (!helper.connectLike(conn))
        why = helper.errorText();
    // The helper's commits need not wait for the disk: what it loads lands
    // only with the import's own commit, which waits for everything before it.
    else if (!helper.execute("SET synchronous_commit = off"))
        why = helper.errorText();
    return why.empty();
}

// The run over the folder: its sessions, the tables claimed so far, and the
// worst that happened.
class Run {
public:
    Run(pgsql::Connection& conn, const std::string& folder, const Options& opts)
        : conn_(conn), folder_(folder), opts_(opts)
    {
    }
    // What this run or a dead one left in the load schema goes.
    ~Run()
    {
        pgsql::Connection& any = conn_.isOpen() ? conn_ : helperConn_;
        if (any.isOpen())
            clearLoadSchema(any);
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // One listed file; false when the connection is gone.
    bool file(const std::string& file);
    [[nodiscard]] int status() const noexcept { return status_; }
    // Why the last table failed (the connection's loss, when it was lost).
    [[nodiscard]] const std::string& why() const noexcept { return why_; }

private:
    bool table(dbf::WorkArea& area, const std::string& file, const std::string& cTable);
    Outcome existing(dbf::WorkArea& area, const std::string& file, const std::string& cTable);
    Outcome refresh(dbf::WorkArea& area, const std::string& cTable, const Source& recorded, const Source& now);
    bool claim(const std::string& file, const std::string& cTable);
    LoadPlan plan(bool replace);
    void note(Outcome o) { status_ = o == Outcome::Imported ? status_ : kExitTold; }

    pgsql::Connection& conn_;
    const std::string& folder_;
    const Options& opts_;
    pgsql::Connection helperConn_;
    bool helperTried_ = false;
    std::map<std::string, std::string> claimed_;  // table -> the file it comes from this run
    int status_ = kExitDone;
    std::string why_;
};

LoadPlan Run::plan(bool replace)
{
    LoadPlan p;
    p.copy = opts_.bulk;
    p.replace = replace;
    if (p.copy && !helperTried_) {
        helperTried_ = true;
        std::string why;
        if (!openHelper(conn_, helperConn_, why))
            std::fprintf(stderr, "import: one session loads alone: %s\n", why.c_str());
    }
    if (p.copy && helperConn_.isOpen())
        p.helper = &helperConn_;
    return p;
}

// Two files whose names give one table (A.DBF and A.B.DBF, CASE.DBF and
// case.dbf): the first one listed has it, the other is said and skipped.
bool Run::claim(const std::string& file, const std::string& cTable)
{
    const auto [at, fresh] = claimed_.emplace(cTable, file);
    if (fresh)
        return true;
    out({rt::Value("El archivo " + file + " no se importó: su tabla " + cTable + " es la del archivo " + at->second)});
    status_ = kExitTold;
    return false;
}

bool Run::file(const std::string& file)
{
    const std::string cTable = tableName(file);
    if (!claim(file, cTable))
        return true;
    // The listed file itself is opened (read-only: the import never
    // writes to it), so A.B.DBF is read even though its table is "a".
    dbf::WorkArea* area = nullptr;
    try {
        // No alias given: the one made from the file name is always a
        // valid one, even for names like CAÑA.DBF or O'BRIEN.DBF.
        area = &dbf::useArea(true, "FOXCDX", folder_ + file, "", false, true);
    } catch (const rt::Error& e) {
        out({rt::Value("No se pudo abrir " + folder_ + file + ": " + dbfFailureText(e))});
        dbf::closeAllAreas();
        status_ = kExitTold;
        return true;
    }
    const bool connected = table(*area, file, cTable);
    dbf::closeAllAreas();
    return connected;
}

bool Run::table(dbf::WorkArea& area, const std::string& file, const std::string& cTable)
{
    out({"Verificando Tabla:", rt::Value(cTable)});
    Outcome outcome;
    if (conn_.existTables(cTable)) {
        append(" Ok");
        outcome = existing(area, file, cTable);
    } else if (!conn_.isOpen()) {
        append(" Error");
        why_ = conn_.errorText();
        outcome = Outcome::Lost;
    } else if (isCut(area.table()) && !opts_.salvage) {
        append(" Error");
        reportCut(area.table(), cTable);
        outcome = Outcome::Told;
    } else {
        append(" Ok");
        const rt::Value aDbStruct = sqlStruct(area.table(), dbf::dbStruct());
        outcome = importTable(conn_, area, cTable, aDbStruct, plan(false), sourceOf(folder_ + file, file, area.table()),
                              why_);
    }
    note(outcome);
    return outcome != Outcome::Lost;
}

// A table the server has: left alone while its file is as imported (or its
// source is not known); a changed file is said, or with --refresh the
// table is replaced.
Outcome Run::existing(dbf::WorkArea& area, const std::string& file, const std::string& cTable)
{
    const std::string target = sqlName(rt::var2char(conn_.sChema)) + "." + sqlName(cTable);
    const std::optional<Source> recorded = recordedSource(conn_, target);
    const std::optional<Source> now = sourceOf(folder_ + file, file, area.table());
    if (!recorded || !now || !changed(*recorded, *now))
        return Outcome::Imported;
    const std::string rows = conn_.value(("SELECT count(*) FROM " + target).c_str()).value_or("?");
    const std::string what = "el archivo " + file + " cambió desde su importación (" + std::to_string(now->records) +
                             " registros, la tabla tiene " + rows + ")";
    if (!opts_.refresh) {
        out({rt::Value("La tabla " + cTable + " no se importa de nuevo: " + what + "; use --refresh")});
        return Outcome::Told;
    }
    out({rt::Value("La tabla " + cTable + " se importa de nuevo: " + what)});
    return refresh(area, cTable, *recorded, *now);
}

// --refresh: the new table is built beside the old one and replaces it in
// one transaction, unless rows were changed in SQL since the import
// (--force replaces it all the same).
Outcome Run::refresh(dbf::WorkArea& area, const std::string& cTable, const Source& recorded, const Source& now)
{
    const std::string target = sqlName(rt::var2char(conn_.sChema)) + "." + sqlName(cTable);
    if (!opts_.force) {
        const std::optional<std::int64_t> changedRows = rowsChangedInSql(conn_, target, recorded);
        if (!changedRows) {
            out({rt::Value("La tabla " + cTable + " no se actualizó: " + conn_.errorText())});
            return conn_.isOpen() ? Outcome::Failed : Outcome::Lost;
        }
        if (*changedRows > 0) {
            out({rt::Value("La tabla " + cTable + " no se actualizó: " + std::to_string(*changedRows) +
                           " filas cambiaron en SQL desde su importación; use --refresh --force para reemplazarla")});
            return Outcome::Told;
        }
    }
    if (isCut(area.table()) && !opts_.salvage) {
        reportCut(area.table(), cTable);
        return Outcome::Told;
    }
    LoadPlan p = plan(true);
    std::string why;
    if (!loadSchemaReady(conn_, why)) {
        out({rt::Value("La tabla " + cTable + " no se actualizó: " + why)});
        return conn_.isOpen() ? Outcome::Failed : Outcome::Lost;
    }
    const rt::Value aDbStruct = sqlStruct(area.table(), dbf::dbStruct());
    return importTable(conn_, area, cTable, aDbStruct, p, now, why_);
}

// Where the listed files are, for the console.
std::string folderName(const std::string& folder)
{
    if (folder.empty())
        return "la carpeta de trabajo";
    return "la carpeta " + (folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder);
}

}  // namespace

}  // namespace import

int importDbfFiles(pgsql::Connection& conn, const rt::Value& aDbfFiles, const std::string& cRuta, const Options& opts)
{
    // The tables read by the import are read in the code page asked for.
    struct CodePage {
        explicit CodePage(int n) { dbf::overrideCodePage(n); }
        ~CodePage() { dbf::overrideCodePage(0); }
    } codePage(opts.codePage);
    import::waitForOtherImports(conn);
    import::clearLoadSchema(conn);
    const std::vector<rt::Value> none;
    const std::vector<rt::Value>& entries = aDbfFiles.isArray() ? aDbfFiles.asArray().items : none;
    if (entries.empty())
        out({rt::Value("No hay tablas DBF en " + import::folderName(cRuta))});
    import::Run run(conn, cRuta, opts);
    for (const rt::Value& entry : entries) {
        if (!entry.isArray() || entry.asArray().items.empty() || !entry.asArray().items[0].isChar())
            continue;
        if (!run.file(entry.asArray().items[0].str())) {
            out({rt::Value("Conexión perdida con el servidor: " + (run.why().empty() ? conn.errorText() : run.why()))});
            return kExitFailed;
        }
    }
    return run.status();
}

}  // namespace app
