// The browse add-ons against their peers, each measured in the same run
// (medians of interleaved runs):
//   (a) dxc-sql --once opening a 1,000,000-row result and painting its first
//       page, against psql -c of the same query to /dev/null; and the
//       cursor's sort on a text column (what a header click runs) against
//       the server's ORDER BY of the same query fetched by libpq;
//   (b) a query-panel search of a 1,000,000-record table on a name prefix
//       (no index), against a bare engine scan with the same test;
//   (c) dxc-browse --export of that table to DBF, against dxc-dbf dump
//       --format csv of it to /dev/null;
//   (d) dxc-sql --csv of 500,000 rows against psql --csv of the same query,
//       both to /dev/null.
// (a) needs the test server (PGHOST, PGPORT, PGUSER and the password file,
// as scripts/bench.sh sets them); without one it is skipped.
#include "browse/addons/addons.h"
#include "browse/addons/query.h"

#include "client_table.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"
#include "platform/gui/events.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/cursor.h"
#include "platform/runtime/array.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/ops.h"
#include "platform/runtime/text.h"

#include <QApplication>

#include <libpq-fe.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kRecords = 1'000'000;
// BENCH_RUNS=1 runs each side once (under callgrind, whose instruction
// counts do not depend on the machine's load).
int runs()
{
    const char* n = std::getenv("BENCH_RUNS");
    return n && std::atoi(n) > 0 ? std::atoi(n) : 3;
}

const char* kQuery =
    "SELECT g AS id, md5(g::text) AS name, (g % 100000)::numeric(10,2) AS amount, DATE '2000-01-01' + g % 9000 AS day "
    "FROM generate_series(1, 1000000) g";

// Processor time of this process and of the children it waited for: on a
// busy machine it moves far less than the clock.
double cpuNow()
{
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    const auto sum = [](const rusage& r) {
        return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    return sum(self) + sum(children);
}

struct Timing {
    double wall, cpu;
};

Timing seconds(const std::function<void()>& f)
{
    const auto start = std::chrono::steady_clock::now();
    const double cpu = cpuNow();
    f();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), cpuNow() - cpu};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs ours and the peer interleaved; prints both medians and their ratio.
void compare(const char* what, const std::function<void()>& ours, const std::function<void()>& peer, double limit)
{
    std::vector<double> a, b, aCpu, bCpu;
    for (int i = 0, n = runs(); i < n; ++i) {
        const Timing x = seconds(ours), y = seconds(peer);
        a.push_back(x.wall);
        aCpu.push_back(x.cpu);
        b.push_back(y.wall);
        bCpu.push_back(y.cpu);
    }
    const double r = median(a) / median(b);
    std::printf("%-58s ours %7.3f s  peer %7.3f s  ratio %.2fx (limit %.1fx)%s  processor time %.2fx\n", what, median(a),
                median(b), r, limit, r <= limit ? "" : "  OVER", median(aCpu) / median(bCpu));
    std::fflush(stdout);
}

void run(const std::string& cmd)
{
    if (std::system(cmd.c_str()) != 0)
        std::fprintf(stderr, "bench_addons: failed: %s\n", cmd.c_str());
}

std::string quoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void benchSql()
{
    if (!std::getenv("PGHOST") || !std::getenv("PGPORT")) {
        std::printf("(a) skipped: no test server (PGHOST, PGPORT)\n");
        return;
    }
    compare("(a) dxc-sql first page of 1,000,000 rows vs psql -c",
            [] { run("QT_QPA_PLATFORM=offscreen " DXC_SQL_BIN " --once " + quoted(kQuery) + " >/dev/null 2>&1"); },
            [] { run("psql -X -q -d postgres -c " + quoted(kQuery) + " >/dev/null"); }, 1.5);

    const std::string csvQuery = std::string(kQuery).replace(std::string(kQuery).find("1000000"), 7, "500000");
    compare("(d) dxc-sql --csv of 500,000 rows vs psql --csv",
            [&] { run(DXC_SQL_BIN " --csv " + quoted(csvQuery) + " >/dev/null"); },
            [&] { run("psql -X -q -d postgres --csv -c " + quoted(csvQuery) + " >/dev/null"); }, 1.0);

    pgsql::Connection conn;
    if (!conn.connect("", "", "", "", 0)) {
        std::printf("(a) sort skipped: %s\n", conn.errorText().c_str());
        return;
    }
    rt::Value cursorValue(static_cast<rt::Object*>(new pgsql::Cursor()));
    auto& cursor = static_cast<pgsql::Cursor&>(cursorValue.asObject());
    cursor.open(conn, kQuery);
    bool descend = false;
    const std::string ordered = std::string("SELECT * FROM (") + kQuery + ") q ORDER BY name";
    compare("(a) header-click sort by a text column vs ORDER BY via libpq",
            [&] {
                descend = !descend;
                cursor.sort(rt::Value(static_cast<rt::Block*>(new pgsql::FieldOrder(2, descend))));
            },
            [&] {
                PGresult* r = PQexec(conn.handle(), ordered.c_str());
                PQclear(r);
            },
            1.0);
}

// The peer of (b): the engine's own scan with the panel's test. Not inlined,
// so a profile shows its cost beside applyQuery's.
[[gnu::noinline]] std::size_t bareScan(const std::string& prefix)
{
    dbf::WorkArea& area = *dbf::currentArea();
    area.setRecordList(std::nullopt);  // the panel's last result: the scan reads the whole table
    const std::string entry = rt::upper(prefix);
    std::vector<std::uint32_t> found;
    for (area.goTop(); !area.eof(); area.skip(1)) {
        const rt::Value v = area.fieldGet(0);
        if (v.isChar() && addons::startsWithUpper(v.asString(), entry))
            found.push_back(area.recno());
    }
    return found.size();
}

void benchTable(const std::string& table, const std::string& parts)
{
    rt::evalText("DbUseArea(.T., \"FOXCDX\", \"" + table + "\", \"BENCH\", .T., .T.)");
    rt::Value q = rt::sendWith(rt::callFunction("RK_BrowseQuery"), "new", rt::Value::array());
    auto& query = static_cast<addons::BrowseQuery&>(q.asObject());
    query.queryArray = rt::makeArray({rt::makeArray({"Name", "NAME", "", "", 0, 0, rt::Value("smith"), rt::Value()})});
    dlg::setMessageSink([](const dlg::Message&) {});
    if (parts.find('b') != std::string::npos)
        compare("(b) query panel search, 1,000,000 records, name prefix", [&] { query.applyQuery({}); },
            [&] { bareScan("smith"); }, 1.3);
    dbf::closeAllAreas();

    const std::string out = (fs::path(table).parent_path() / "bench_export_out.dbf").string();
    if (parts.find('c') != std::string::npos)
        compare("(c) dxc-browse --export of 1,000,000 records vs dxc-dbf dump",
            [&] { run(DXC_BROWSE_BIN " " + quoted(table) + " --export " + quoted(out) + " --force >/dev/null 2>&1"); },
            [&] { run(DXC_DBF_BIN " dump " + quoted(table) + " --format csv >/dev/null"); }, 2.0);
    std::error_code ec;
    fs::remove(out, ec);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    dbf::registerDbfFunctions();
    gui::registerGuiFunctions();
    dlg::registerDialogFunctions();
    addons::registerAddons();

    const fs::path dir = fs::temp_directory_path() / "dxc_bench_addons";
    fs::create_directories(dir);
    const std::string table = (dir / "BENCH1M.DBF").string();
    if (!fs::exists(table))
        bench::writeClientTable(table, kRecords);
    // An argument picks parts: "a", "bc", ...; none runs all.
    const std::string parts = argc > 1 ? argv[1] : "abc";
    if (parts.find('a') != std::string::npos)
        benchSql();
    benchTable(table, parts);
    return 0;
}
