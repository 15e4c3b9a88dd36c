// Import speed: dxc's DBF-to-SQL import against the ceiling of its own
// mechanism and against pgdbf.
//
//   bench_import [--records N] [--keep DIR] [--rounds R] [--bulk-only]
//
// Writes a client table DXCAM01.DBF of N (default 1,000,000) records with
// `dxc-dbf sample` into a folder of its own, then, R times (default 1),
// interleaved, each into an empty database:
//   dxc --insert `dxc --connect --import-only --insert` (one INSERT per record, pipelined)
//   dxc          the same by default: binary COPY
//   bare loop    libpq alone sending the same INSERT texts, pipelined, in one
//                transaction (the texts are written to a file first, so the
//                loop only reads lines and sends them)
//   pgdbf        `pgdbf -s CP850 FILE | psql` (the sample is in code page 850)
// and prints rows/s, the ratios, and the peak memory of dxc for N/10 and N
// records (memory must not grow with the record count). --bulk-only runs
// only the default import and pgdbf, for measuring the COPY path's levers.
//
// Needs the server settings in PGHOST, PGPORT, PGUSER, PGPASSFILE
// (scripts/bench.sh starts the private server). Drops and creates the
// databases "dxc" and "dxc_bench".
#include <libpq-fe.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "bench_import: %s\n", what.c_str());
    std::exit(1);
}

struct ChildResult {
    int status = -1;
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs a shell command; wall time and peak memory.
ChildResult runChild(const std::string& command)
{
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        die("fork failed");
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    ChildResult r;
    r.seconds = seconds(start);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.maxRssKb = ru.ru_maxrss;
    return r;
}

PGconn* connect(const char* database)
{
    const char* keys[] = {"dbname", "client_encoding", nullptr};
    const char* vals[] = {database, "UTF8", nullptr};
    PGconn* c = PQconnectdbParams(keys, vals, 0);
    if (PQstatus(c) != CONNECTION_OK)
        die(std::string("cannot connect to ") + database + ": " + PQerrorMessage(c));
    return c;
}

void exec(PGconn* c, const std::string& sql)
{
    PGresult* r = PQexec(c, sql.c_str());
    const auto st = PQresultStatus(r);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
        die(sql + ": " + PQresultErrorMessage(r));
    PQclear(r);
}

std::string scalar(PGconn* c, const std::string& sql)
{
    PGresult* r = PQexec(c, sql.c_str());
    if (PQresultStatus(r) != PGRES_TUPLES_OK || PQntuples(r) != 1)
        die(sql + ": " + PQresultErrorMessage(r));
    std::string v = PQgetvalue(r, 0, 0);
    PQclear(r);
    return v;
}

void freshDatabase(const char* name)
{
    PGconn* admin = connect("postgres");
    exec(admin, std::string("DROP DATABASE IF EXISTS ") + name + " WITH (FORCE)");
    exec(admin, std::string("CREATE DATABASE ") + name);
    PQfinish(admin);
}

long rowsIn(const char* database, const char* table)
{
    PGconn* c = connect(database);
    const long n = std::stol(scalar(c, std::string("SELECT count(*) FROM ") + table));
    PQfinish(c);
    return n;
}

// The bare loop: the statement file's lines sent in pipeline mode inside one
// transaction, a sync point every 1000, results read as they come.
double bareLoop(const std::string& statements, const std::string& createSql)
{
    freshDatabase("dxc_bench");
    PGconn* c = connect("dxc_bench");
    std::ifstream in(statements);
    const auto start = Clock::now();
    exec(c, createSql);
    exec(c, "BEGIN");
    if (!PQenterPipelineMode(c))
        die("pipeline mode refused");
    long sent = 0, synced = 0, done = 0;
    auto drain = [&](long upTo) {
        while (done < upTo) {
            PGresult* r = PQgetResult(c);
            if (!r)
                continue;  // end of one statement's results
            const auto st = PQresultStatus(r);
            if (st == PGRES_PIPELINE_SYNC)
                ++done;
            else if (st != PGRES_COMMAND_OK)
                die(std::string("bare loop: ") + PQresultErrorMessage(r));
            PQclear(r);
        }
    };
    for (std::string line; std::getline(in, line);) {
        if (!PQsendQueryParams(c, line.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0))
            die(std::string("send: ") + PQerrorMessage(c));
        if (++sent % 1000 == 0) {
            PQpipelineSync(c);
            ++synced;
            PQflush(c);
            drain(synced - 2);  // keep two batches in flight
        }
    }
    PQpipelineSync(c);
    ++synced;
    drain(synced);
    PQexitPipelineMode(c);
    exec(c, "COMMIT");
    const double s = seconds(start);
    PQfinish(c);
    return s;
}

// Seconds of one default (COPY) import into a fresh database "dxc".
double bulkSeconds(const std::string& bulkCommand, long records)
{
    freshDatabase("dxc");
    const auto r = runChild(bulkCommand);
    if (r.status != 0 || rowsIn("dxc", "dxcam01") != records)
        die("dxc (COPY) import failed or incomplete");
    return r.seconds;
}

// Seconds of one `pgdbf | psql` into a fresh database "dxc_bench".
double pgdbfSeconds(const std::string& dbfFile, long records)
{
    freshDatabase("dxc_bench");
    const auto r = runChild("pgdbf -s CP850 " + dbfFile + " | psql -X -q -v ON_ERROR_STOP=1 -d dxc_bench >/dev/null");
    if (r.status != 0 || rowsIn("dxc_bench", "dxcam01") != records)
        die("pgdbf | psql failed or incomplete");
    return r.seconds;
}

// dxc (COPY) and pgdbf | psql alone, interleaved; prints their ratio.
int bulkAgainstPgdbf(const std::string& bulkCommand, const std::string& dbfFile, long records, int rounds)
{
    std::vector<double> tBulk, tPgdbf;
    for (int round = 0; round < rounds; ++round) {
        tBulk.push_back(bulkSeconds(bulkCommand, records));
        tPgdbf.push_back(pgdbfSeconds(dbfFile, records));
    }
    std::sort(tBulk.begin(), tBulk.end());
    std::sort(tPgdbf.begin(), tPgdbf.end());
    const double bulk = tBulk[tBulk.size() / 2], pgdbf = tPgdbf[tPgdbf.size() / 2];
    std::printf("\n%ld records, %d round(s), medians\n", records, rounds);
    std::printf("  dxc (COPY, default)      %9.0f rows/s  %6.2f s\n", double(records) / bulk, bulk);
    std::printf("  pgdbf | psql             %9.0f rows/s  %6.2f s\n", double(records) / pgdbf, pgdbf);
    std::printf("ratio: dxc (COPY) time / pgdbf time %.2fx\n", bulk / pgdbf);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    long records = 1000000;
    int rounds = 1;
    std::string keep;
    bool bulkOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--records" && i + 1 < argc)
            records = std::atol(argv[++i]);
        else if (a == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else if (a == "--bulk-only")
            bulkOnly = true;
        else
            die("usage: bench_import [--records N] [--keep DIR] [--rounds R] [--bulk-only]");
    }
    if (!std::getenv("PGHOST"))
        die("PGHOST is not set: run through scripts/bench.sh or source .pgdata/env");

    const fs::path root = keep.empty() ? fs::temp_directory_path() / ("bench_import_" + std::to_string(getpid())) : fs::path(keep);
    const fs::path big = root / "big", small = root / "small";
    auto sample = [&](const fs::path& dir, long n) {
        fs::remove_all(dir);
        const auto r = runChild(std::string(DXC_DBF_TOOL) + " sample " + dir.string() + " --clients " +
                                std::to_string(n) + " >/dev/null");
        if (r.status != 0)
            die("dxc-dbf sample failed");
        fs::remove(dir / "DXCAM01E.DBF");  // one table, the same for every importer
        std::printf("sample of %ld clients written in %.2f s\n", n, r.seconds);
    };
    sample(big, records);
    sample(small, std::max(1L, records / 10));
    const std::string dbfFile = (big / "DXCAM01.DBF").string();

    const std::string dxc = std::string(DXC_PROGRAM) + " --connect --import-only >/dev/null --dir ";
    if (bulkOnly)
        return bulkAgainstPgdbf(dxc + big.string(), dbfFile, records, rounds);

    // The INSERT texts of the bare loop are the import's own: run it once
    // and collect what the server received.
    std::printf("collecting the INSERT texts...\n");
    freshDatabase("dxc");
    {
        PGconn* c = connect("dxc");
        exec(c, "CREATE TABLE stmt (q text)");
        exec(c, "CREATE FUNCTION keep_q() RETURNS trigger LANGUAGE plpgsql AS $f$ BEGIN "
                "INSERT INTO public.stmt VALUES (current_query()); RETURN NULL; END $f$");
        exec(c, "CREATE FUNCTION add_keep() RETURNS event_trigger LANGUAGE plpgsql AS $f$ DECLARE r record; BEGIN "
                "FOR r IN SELECT * FROM pg_event_trigger_ddl_commands() WHERE command_tag = 'CREATE TABLE' AND "
                "object_identity = 'public.dxcam01' LOOP EXECUTE 'CREATE TRIGGER keep BEFORE INSERT ON "
                "public.dxcam01 FOR EACH ROW EXECUTE FUNCTION keep_q()'; END LOOP; END $f$");
        exec(c, "CREATE EVENT TRIGGER add_keep ON ddl_command_end WHEN TAG IN ('CREATE TABLE') "
                "EXECUTE FUNCTION add_keep()");
        PQfinish(c);
    }
    if (runChild(dxc + big.string() + " --insert").status != 0)
        die("dxc import failed");
    const std::string statements = (root / "statements.sql").string();
    std::string createSql;
    {
        const auto r = runChild("psql -X -q -A -t -v FETCH_COUNT=10000 -d dxc -c \"SELECT q FROM stmt\" > " + statements);
        if (r.status != 0)
            die("could not write the statements");
        // The same table definition the import made, without the trigger.
        const auto d = runChild("pg_dump -s -t public.dxcam01 dxc | grep -v -e '^--' -e 'TRIGGER' -e '^\\\\' > " +
                                (root / "create.sql").string());
        if (d.status != 0)
            die("pg_dump failed");
        std::ifstream in(root / "create.sql");
        createSql.assign(std::istreambuf_iterator<char>(in), {});
    }

    std::vector<double> tDxc, tBulk, tBare, tPgdbf;
    long rssBig = 0;
    for (int round = 0; round < rounds; ++round) {
        freshDatabase("dxc");
        auto r = runChild(dxc + big.string() + " --insert");
        if (r.status != 0 || rowsIn("dxc", "dxcam01") != records)
            die("dxc import failed or incomplete");
        tDxc.push_back(r.seconds);
        rssBig = std::max(rssBig, r.maxRssKb);

        tBare.push_back(bareLoop(statements, createSql));
        if (rowsIn("dxc_bench", "dxcam01") != records)
            die("bare loop incomplete");

        tBulk.push_back(bulkSeconds(dxc + big.string(), records));
        tPgdbf.push_back(pgdbfSeconds(dbfFile, records));
    }
    freshDatabase("dxc");
    const auto smallRun = runChild(dxc + small.string() + " --insert");
    if (smallRun.status != 0)
        die("dxc import of the small table failed");

    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double n = static_cast<double>(records);
    const double rDxc = n / median(tDxc), rBulk = n / median(tBulk), rBare = n / median(tBare),
                 rPgdbf = n / median(tPgdbf);
    std::printf("\n%ld records, %d round(s), medians\n", records, rounds);
    std::printf("  dxc --insert (pipelined) %9.0f rows/s  %6.2f s\n", rDxc, median(tDxc));
    std::printf("  bare libpq loop          %9.0f rows/s  %6.2f s\n", rBare, median(tBare));
    std::printf("  dxc (COPY, default)      %9.0f rows/s  %6.2f s\n", rBulk, median(tBulk));
    std::printf("  pgdbf | psql             %9.0f rows/s  %6.2f s\n", rPgdbf, median(tPgdbf));
    // Times against times: the goals are at most 1.1x.
    std::printf("ratios (time): dxc --insert / bare loop %.2fx, dxc (COPY) / pgdbf %.2fx\n", rBare / rDxc,
                rPgdbf / rBulk);
    std::printf("peak memory of dxc: %ld kB for %ld records, %ld kB for %ld\n", smallRun.maxRssKb,
                std::max(1L, records / 10), rssBig, records);

    for (const char* db : {"dxc", "dxc_bench"}) {
        PGconn* admin = connect("postgres");
        exec(admin, std::string("DROP DATABASE IF EXISTS ") + db + " WITH (FORCE)");
        PQfinish(admin);
    }
    if (keep.empty())
        fs::remove_all(root);
    return 0;
}
