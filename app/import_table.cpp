// One table's import, in its steps: create, add the picture column, fill,
// publish. The table is built and filled in one transaction (a shared or
// replacing load: in the load schema) and appears whole under its name, or
// not at all.
#include "app/console_lines.h"
#include "app/dxc.h"
#include "app/import_internal.h"
#include "app/messages.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/workarea.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/parallel_copy.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace app::import {

namespace {

// One table's load: where it is built, where it goes, and how.
struct Job {
    pgsql::Connection& conn;
    dbf::WorkArea& area;
    const std::string& cTable;
    const LoadPlan& plan;
    std::string target;  // schema.table as it stands in statements
    std::string staged;  // where it is built: target, or the load schema's table
    std::vector<std::string> columns;  // as they stand in statements
    std::vector<Column> kinds;
    bool keyAfterLoad = false;  // COPY numbers recno and makes its key at the end
    std::int64_t rows = 0;      // rows that landed
    std::string why;            // why the load failed, when not a statement of conn's
    std::int64_t withoutValue = 0;  // records left out: no field holds a value
};

// Keeps why another object (a loader, the helper, the file) ended the load.
bool failed(Job& job, std::string why)
{
    job.why = std::move(why);
    return false;
}

// A statement of the helper's; its failure is told as the load's.
bool onHelper(Job& job, const char* sql)
{
    return job.plan.helper->execute(sql) || failed(job, job.plan.helper->errorText());
}

// The reason of a failure, for the console: the server's message.
void reportFailure(const std::string& what, const std::string& why) { out({rt::Value(what + ": " + why)}); }

// "Creando Tabla": the table, empty, in an open transaction.
bool create(Job& job, const rt::Value& aDbStruct)
{
    pgsql::Connection& conn = job.conn;
    out({"Creando Tabla:", rt::Value(job.cTable)});
    const bool staging = job.staged != job.target;
    if ((staging && !conn.execute("DROP TABLE IF EXISTS " + job.staged)) || !conn.execute("BEGIN") ||
        !conn.createTable(job.cTable, aDbStruct, staging ? kLoadSchema : std::string_view())) {
        append(" Error");
        reportFailure("El servidor rechazó la tabla " + job.cTable, conn.errorText());
        conn.execute("ROLLBACK");
        return false;
    }
    append(" Ok");
    return true;
}

// "Creando Campo de Foto en": under a savepoint, so a DBF that already has
// a "foto" field keeps its data.
void addPicture(Job& job)
{
    pgsql::Connection& conn = job.conn;
    out({"Creando Campo de Foto en :", rt::Value(job.cTable)});
    conn.execute("SAVEPOINT dxc_foto");
    if (conn.execute("ALTER TABLE " + job.staged + " ADD  foto  CHARACTER VARYING")) {
        conn.execute("RELEASE SAVEPOINT dxc_foto");
        append(" Ok");
        return;
    }
    const std::string why = conn.errorText();
    conn.execute("ROLLBACK TO SAVEPOINT dxc_foto");
    append(" Error");
    out({rt::Value("Campo foto no creado en " + job.cTable + ": " + why)});
}

// One INSERT per record.
bool insertRecords(Job& job, Progress& progress, RejectReport& report)
{
    pgsql::StatementPipeline pipe(job.conn, report.callback());
    if (!pipe.start())
        return failed(job, pipe.failure().serverText);
    const dbf::Table& table = job.area.table();
    InsertText text;
    for (job.area.goTop(); !job.area.eof(); job.area.skip(1)) {
        progress.step(job.area.recno());
        if (!insertStatement(text, job.staged, job.columns, job.kinds, table)) {
            ++job.withoutValue;  // no field holds a value: nothing to insert
            continue;
        }
        // A statement of many megabytes (a big memo) is handed over, not copied.
        const bool big = text.sql.size() > pgsql::kKeptBufferBytes;
        if (!pipe.send(big ? std::exchange(text.sql, {}) : text.sql, job.area.recno()))
            return failed(job, pipe.failure().serverText);
    }
    if (!pipe.finish())
        return failed(job, pipe.failure().serverText);
    job.rows = pipe.accepted();
    return true;
}

// The same rows through binary COPY, shared by the helper when there is
// one. keyAfterLoad: recno goes in the rows (1, 2, ... as the identity
// would give them), which spares the server a nextval per row; the
// identity then continues after the last one.
bool copyRecords(Job& job, Progress& progress, RejectReport& report)
{
    std::vector<std::string> columns = job.columns;
    if (job.keyAfterLoad)
        columns.insert(columns.begin(), "recno");
    std::vector<pgsql::Connection*> sessions{&job.conn};
    if (job.plan.helper)
        sessions.push_back(job.plan.helper);
    pgsql::ParallelCopy copy(sessions, job.staged, columns, report.callback());
    const dbf::Table& table = job.area.table();
    std::string room;
    pgsql::BinaryRow row;
    std::int64_t sent = 0;
    for (job.area.goTop(); !job.area.eof(); job.area.skip(1)) {
        progress.step(job.area.recno());
        row.begin(columns.size());
        if (job.keyAfterLoad)
            row.int8(sent + 1);
        bool any = false;
        for (std::size_t i = 0; i < job.kinds.size(); ++i)
            any = writeBinary(row, table, static_cast<int>(i), job.kinds[i], room) || any;
        if (!any) {
            ++job.withoutValue;  // no field holds a value: nothing to insert
            continue;
        }
        ++sent;
        // A row of many megabytes (a big memo) is handed over, not copied.
        const bool big = row.data().size() > pgsql::kKeptBufferBytes;
        if (!(big ? copy.rowBinary(row.take(), job.area.recno()) : copy.rowBinary(row.data(), job.area.recno())))
            break;
        pgsql::dropIfBig(room);
    }
    if (!copy.finish())
        return failed(job, copy.failure().serverText);
    job.rows = sent - copy.rejected();
    if (!job.keyAfterLoad)
        return true;
    // The numbers given are known: no scan of the table for the highest.
    return job.conn
        .value("SELECT setval(pg_get_serial_sequence($1, 'recno'), $2, false)", {job.staged, std::to_string(sent + 1)})
        .has_value();
}

// Drops the primary key CreateTable made on recno, whatever its name.
bool dropPrimaryKey(pgsql::Connection& conn, const std::string& table)
{
    const auto name = conn.value("SELECT conname FROM pg_catalog.pg_constraint WHERE conrelid = $1::regclass "
                                 "AND contype = 'p'",
                                 {table});
    return name && conn.execute("ALTER TABLE " + table + " DROP CONSTRAINT " + pgsql::quoteIdent(*name));
}

// The rows, into the table made by create(). A shared load first commits
// the empty table where the helper can reach it (it need not reach the
// disk now: the load's last commit takes it there), and each session fills
// it in a transaction of its own.
bool fill(Job& job, Progress& progress, RejectReport& report)
{
    pgsql::Connection& conn = job.conn;
    if (job.keyAfterLoad && !dropPrimaryKey(conn, job.staged))
        return false;
    if (job.plan.helper && !(conn.execute("SET LOCAL synchronous_commit = off") && conn.execute("COMMIT") &&
                             conn.execute("BEGIN") && onHelper(job, "BEGIN")))
        return false;
    return job.plan.copy ? copyRecords(job, progress, report) : insertRecords(job, progress, report);
}

// Moves the filled table into place (over the old one it replaces), makes
// its key and commits.
bool publish(Job& job, const std::string& schema)
{
    pgsql::Connection& conn = job.conn;
    if (job.plan.helper && !onHelper(job, "COMMIT"))
        return false;
    if (job.plan.replace && !conn.execute("DROP TABLE " + job.target))
        return false;
    if (job.staged != job.target && !conn.execute("ALTER TABLE " + job.staged + " SET SCHEMA " + sqlName(schema)))
        return false;
    if (job.keyAfterLoad && !conn.execute("ALTER TABLE " + job.target + " ADD PRIMARY KEY (recno)"))
        return false;
    return conn.execute("COMMIT");
}

// Rolls back what a failed load left: the open transactions and, for a
// shared load, its table in the load schema.
void undo(Job& job)
{
    pgsql::Connection& conn = job.conn;
    conn.execute("ROLLBACK");
    if (job.plan.helper) {
        job.plan.helper->execute("ROLLBACK");
        pgsql::Connection& any = conn.isOpen() ? conn : *job.plan.helper;
        any.execute("DROP TABLE IF EXISTS " + job.staged);
    }
}

// Keeps, in the table's comment, what it was made from. The transaction
// ids given after the import's commit are newer than every row it wrote.
void remember(Job& job, Source source)
{
    pgsql::Connection& conn = job.conn;
    const auto xid = conn.value("SELECT pg_catalog.pg_snapshot_xmax(pg_catalog.pg_current_snapshot())::text");
    if (!xid)
        return;
    source.rows = job.rows;
    source.xidAfter = *xid;
    if (!conn.execute("COMMENT ON TABLE " + job.target + " IS " + pgsql::stoq(sourceComment(source))))
        std::fprintf(stderr, "import: the source of %s is not kept: %s\n", job.cTable.c_str(),
                     conn.errorText().c_str());
}

Job makeJob(pgsql::Connection& conn, dbf::WorkArea& area, const std::string& cTable, const LoadPlan& plan)
{
    const std::string schema = rt::var2char(conn.sChema);
    Job job{conn, area, cTable, plan, sqlName(schema) + "." + sqlName(cTable), {}, {}, {}};
    const bool staging = plan.helper || plan.replace;
    job.staged = staging ? sqlName(kLoadSchema) + "." + sqlName(cTable) : job.target;
    tableColumns(area.table(), job.columns, job.kinds);
    // A COPY load builds the recno key once at the end, which costs the
    // server less than keeping it up to date row by row.
    job.keyAfterLoad = plan.copy && std::find(job.columns.begin(), job.columns.end(), "recno") == job.columns.end();
    return job;
}

void printCountLine(const Job& job)
{
    const dbf::Table& t = job.area.table();
    out({"Importeado Tabla:", rt::Value(job.cTable), " con ",
         rt::Value(rt::var2char(rt::Value(int(t.fields().size())))), "Campos y ",
         rt::Value(rt::var2char(rt::Value(static_cast<long long>(t.recordCount())))), "Registros"});
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

// Fills and publishes; the table's reports once it is whole.
Outcome load(Job& job, const std::optional<Source>& source, std::string& why)
{
    dbf::Table& table = job.area.table();
    Progress progress(table.recordCount());
    RejectReport report(job.cTable);
    FaultReport faults(job.cTable, table);
    table.setFaultHandler([&faults](const dbf::ValueFault& f) { faults.add(f); });
    table.setNulFaults(true);
    bool ok = false;
    try {
        ok = fill(job, progress, report) && publish(job, rt::var2char(job.conn.sChema));
    } catch (const rt::Error& e) {
        // A file that cannot be read on ends this table; what was sent is rolled back.
        failed(job, dbfFailureText(e));
    }
    table.setFaultHandler({});
    progress.finish();
    if (!ok) {
        why = job.why.empty() ? job.conn.errorText() : job.why;
        undo(job);
        append(" Error");
        reportFailure("La tabla " + job.cTable + " no se importó", why);
        return job.conn.isOpen() ? Outcome::Failed : Outcome::Lost;
    }
    append(" Ok");
    if (source)
        remember(job, *source);
    report.print();
    faults.print();
    reportReading(table, job.cTable, job.withoutValue);
    if (table.memoMissing())
        return Outcome::Told;
    if (table.headerCount() > table.recordCount()) {
        out({rt::Value("Faltan " + std::to_string(table.headerCount() - table.recordCount()) + " registros de " +
                       job.cTable + ": el archivo está cortado (su encabezado cuenta " +
                       std::to_string(table.headerCount()) + ")")});
        return Outcome::Told;
    }
    return report.empty() ? Outcome::Imported : Outcome::Told;
}

}  // namespace

void tableColumns(const dbf::Table& t, std::vector<std::string>& columns, std::vector<Column>& kinds)
{
    std::vector<std::string> names;
    for (const dbf::Field& f : t.fields()) {
        names.push_back(f.name);
        kinds.push_back(columnOf(f));
    }
    for (const std::string& n : pgsql::columnNames(names))
        columns.push_back(sqlName(n));
}

bool insertStatement(InsertText& text, std::string_view table, const std::vector<std::string>& columns,
                     const std::vector<Column>& kinds, const dbf::Table& t)
{
    text.fields.clear();
    text.values.clear();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!writeLiteral(text.values, t, static_cast<int>(i), kinds[i]))
            continue;
        text.values += ',';
        text.fields += columns[i];
        text.fields += ',';
    }
    if (text.values.empty())
        return false;
    text.fields.pop_back();
    text.values.pop_back();
    text.sql.clear();
    text.sql.append("INSERT INTO ").append(table).append(" ( ").append(text.fields);
    text.sql.append(" ) VALUES ( ").append(text.values).append(" )");
    pgsql::dropIfBig(text.values);
    return true;
}

Outcome importTable(pgsql::Connection& conn, dbf::WorkArea& area, const std::string& cTable,
                    const rt::Value& aDbStruct, const LoadPlan& plan, const std::optional<Source>& source,
                    std::string& why)
{
    Job job = makeJob(conn, area, cTable, plan);
    if (!create(job, aDbStruct)) {
        why = conn.errorText();
        return conn.isOpen() ? Outcome::Failed : Outcome::Lost;
    }
    addPicture(job);
    printCountLine(job);
    return load(job, source, why);
}

}  // namespace app::import
