// The client window over 10,000 and over 1,000,000 clients, offscreen, against
// the server the PG* variables name (database "dxc", tables dxcam01 and
// dxcam01e, generated on the server and kept between runs).
//
//   open:       the registered function "Test" called, to the browse's first
//               painted page (an event filter sees the paint)
//   page down:  100 x PgDn into the browse, each dispatched and painted
//   seek:       three letters typed into the search field (seek-as-you-type;
//               "már" unless --prefix: lower case and an accent against
//               names in capitals without), each dispatched and painted
//   bottom:     Ctrl+End into the browse, dispatched and painted (the median
//               of several, each from the top)
//   bare fetch: libpq alone: connect to "dxc" and read the first page of the
//               same order (ORDER BY nombre, recno LIMIT the page's rows,
//               under the ICU collation the window orders by when the
//               server has one);
//               also the query alone on an open connection
//
// Each round opens a fresh window and ends it with its Exit button; rounds
// alternate between the sizes. Figures are medians of the rounds; the first
// open per size is shown apart (the window may build its indexes then).
// Ratios are 1M / 10k per figure and open / bare fetch. Peak memory is the
// process's VmHWM. Figures only: nothing here passes or fails.
//
// Usage: bench_client [--rounds R] [--rows N] [--prefix ABC]
#include "app/client.h"
#include "app/dxc.h"

#include "browse/core/browse.h"
#include "platform/dialog/dialog.h"
#include "platform/grid/browse.h"
#include "platform/gui/events.h"
#include "platform/pgsql/connection.h"
#include "platform/popup/popup.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <libpq-fe.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPages = 100;
constexpr int kBottoms = 5;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

std::string env(const char* name, const char* def = "")
{
    const char* v = std::getenv(name);
    return v && *v ? v : def;
}

long long vmHwmKb()
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atoll(line.c_str() + 6);
    return -1;
}

// --- the tables, generated on the server

class Pg {
public:
    explicit Pg(const std::string& db)
    {
        const char* keys[] = {"dbname", "application_name", nullptr};
        const char* values[] = {db.c_str(), "bench_client", nullptr};
        conn_ = PQconnectdbParams(keys, values, 1);
        if (PQstatus(conn_) != CONNECTION_OK) {
            std::fprintf(stderr, "bench_client: cannot connect to %s: %s", db.c_str(), PQerrorMessage(conn_));
            std::exit(1);
        }
        exec("SET client_min_messages = warning");
    }
    ~Pg() { PQfinish(conn_); }
    Pg(const Pg&) = delete;
    Pg& operator=(const Pg&) = delete;

    void exec(const std::string& sql)
    {
        PGresult* r = PQexec(conn_, sql.c_str());
        const ExecStatusType s = PQresultStatus(r);
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
            std::fprintf(stderr, "bench_client: %s\n  in: %.200s\n", PQresultErrorMessage(r), sql.c_str());
            PQclear(r);
            std::exit(1);
        }
        PQclear(r);
    }
    std::optional<std::string> value(const std::string& sql)
    {
        PGresult* r = PQexec(conn_, sql.c_str());
        std::optional<std::string> v;
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 && !PQgetisnull(r, 0, 0))
            v = PQgetvalue(r, 0, 0);
        PQclear(r);
        return v;
    }
    PGconn* handle() const { return conn_; }

private:
    PGconn* conn_ = nullptr;
};

// The structures the import gives the sample's two tables.
rt::Value clientStruct()
{
    return rt::makeArray({rt::makeArray({"CODCLI", "C", 6, 0}), rt::makeArray({"NOMBRE", "C", 30, 0}),
                          rt::makeArray({"APELL", "C", 30, 0}), rt::makeArray({"DIRECCION", "C", 40, 0}),
                          rt::makeArray({"DIRECCION2", "C", 40, 0}), rt::makeArray({"FECHING", "D", 8, 0}),
                          rt::makeArray({"DATACREDIT", "L", 1, 0}), rt::makeArray({"ESTATUS", "C", 1, 0}),
                          rt::makeArray({"ID_USUARIO", "C", 10, 0}), rt::makeArray({"ID_FECHA", "D", 8, 0}),
                          rt::makeArray({"ID_HORA", "C", 11, 0})});
}

rt::Value extraStruct()
{
    return rt::makeArray({rt::makeArray({"CODCLI", "C", 6, 0}), rt::makeArray({"TELEFONO", "C", 15, 0}),
                          rt::makeArray({"EMAIL", "C", 40, 0}), rt::makeArray({"LIMITE", "N", 12, 2})});
}

const char* const kNames =
    "ARRAY['JOSE','MARIA','JUAN CARLOS','ANA LUCIA','ANGEL','LUIS','CARMEN','JESUS','BEGONA','INIGO','MONICA',"
    "'RAUL','SOFIA','ANDRES','INES','JOAQUIN','FATIMA','NICOLAS','VERONICA','OSCAR','ROCIO','GERMAN','MARISOL',"
    "'FRANCISCO','LUCIA','MARTIN','RAMON','PATRICIA','HECTOR','YOLANDA','GONZALO','NURIA','AGUSTIN','BELEN',"
    "'SEBASTIAN','ELENA','TOMAS','PILAR','IVAN','MARIA JOSE','RAMIRO','URSULA','MARCOS','MARGARITA','MAITE',"
    "'JOSUE','ANAIS','BENJAMIN']";
const char* const kSurnames =
    "ARRAY['GARCIA','RODRIGUEZ','GONZALEZ','FERNANDEZ','LOPEZ','MARTINEZ','SANCHEZ','PEREZ','GOMEZ','MARTIN',"
    "'JIMENEZ','RUIZ','HERNANDEZ','DIAZ','MORENO','MUNOZ','ALVAREZ','ROMERO','ALONSO','GUTIERREZ','NAVARRO',"
    "'TORRES','DOMINGUEZ','VAZQUEZ','RAMOS','GIL','RAMIREZ','SERRANO','BLANCO','SUAREZ','MOLINA','CASTRO',"
    "'ORTIZ','RUBIO','NUNEZ','IBANEZ','PENA','ORDONEZ','ZUNIGA','MONTANO','CANETE','BRICENO','GUEMES']";
const char* const kStreets =
    "ARRAY['AV. BOLIVAR','CALLE REAL','AV. LIBERTADOR','CALLE MAYOR','AV. FRANCISCO DE MIRANDA',"
    "'CALLE DE ALCALA','AV. ANDRES BELLO','PLAZA DE ESPANA','AV. URDANETA','CALLE SAN MARTIN']";

std::string tag(long long rows) { return "dxc bench " + std::to_string(rows); }

// Renames a table and its indexes (their names are how the window finds
// them again), so that another set of the same tables can take its place.
void renameWithIndexes(Pg& pg, const std::string& from, const std::string& to, const std::string& addPrefix,
                       const std::string& dropPrefix)
{
    pg.exec("DO $$ DECLARE r record; BEGIN "
            "FOR r IN SELECT c.relname FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
            "WHERE i.indrelid = 'public." +
            from +
            "'::regclass LOOP "
            "EXECUTE format('ALTER INDEX public.%I RENAME TO %I', r.relname, '" +
            addPrefix + "' || substr(r.relname, " + std::to_string(dropPrefix.size() + 1) +
            ")); END LOOP; "
            "EXECUTE 'ALTER TABLE public." +
            from + " RENAME TO " + to + "'; END $$");
}

std::optional<long long> taggedRows(Pg& pg, const std::string& table)
{
    const auto comment = pg.value("SELECT obj_description(to_regclass('public." + table + "'), 'pg_class')");
    if (!comment || comment->rfind("dxc bench ", 0) != 0)
        return std::nullopt;
    return std::atoll(comment->c_str() + 10);
}

// Puts the generated set of `rows` clients in place as dxcam01/dxcam01e:
// moves another set aside, brings a kept one back, or generates it.
void prepareTables(Pg& pg, long long rows)
{
    for (const std::string t : {"dxcam01", "dxcam01e"}) {
        const auto have = taggedRows(pg, t);
        if (have && *have == rows)
            continue;
        if (have) {
            const std::string prefix = "b" + std::to_string(*have) + "_";
            pg.exec("DROP TABLE IF EXISTS public.bench_" + t + "_" + std::to_string(*have));
            renameWithIndexes(pg, t, "bench_" + t + "_" + std::to_string(*have), prefix, "");
        } else {
            // Not ours (an import's tables): the benchmark database is scratch.
            pg.exec("DROP TABLE IF EXISTS public." + t);
        }
        const std::string kept = "bench_" + t + "_" + std::to_string(rows);
        const auto keptRows = taggedRows(pg, kept);
        const std::string prefix = "b" + std::to_string(rows) + "_";
        if (keptRows && *keptRows == rows &&
            pg.value("SELECT count(*) FROM public." + kept) == std::to_string(rows)) {
            renameWithIndexes(pg, kept, t, "", prefix);
        }
    }
    const bool ready = taggedRows(pg, "dxcam01") == rows && taggedRows(pg, "dxcam01e") == rows;
    if (ready)
        return;

    std::fprintf(stderr, "bench_client: generating %lld clients on the server\n", rows);
    const auto t0 = Clock::now();
    pgsql::Connection sql;  // only for the CREATE TABLE text the import uses
    pg.exec("DROP TABLE IF EXISTS public.dxcam01, public.dxcam01e");
    pg.exec(sql.createTableSql("dxcam01", clientStruct()));
    pg.exec("ALTER TABLE public.dxcam01 ADD foto CHARACTER VARYING");
    pg.exec(sql.createTableSql("dxcam01e", extraStruct()));
    pg.exec("ALTER TABLE public.dxcam01e ADD foto CHARACTER VARYING");
    const std::string n = std::to_string(rows);
    pg.exec(std::string("INSERT INTO public.dxcam01 (codcli, nombre, apell, direccion, direccion2, feching, "
                        "datacredit, estatus, id_usuario, id_fecha, id_hora) "
                        "SELECT upper(lpad(to_hex(g), 6, '0')), "
                        "(") + kNames + ")[(1 + (g * 7919) % 48)::int] || CASE WHEN g % 3 = 0 THEN ' ' || (" + kNames +
            ")[(1 + (g / 7) % 48)::int] ELSE '' END, "
            "(" +
            kSurnames + ")[(1 + (g * 104729) % 43)::int] || ' ' || (" + kSurnames +
            ")[(1 + (g / 43) % 43)::int], "
            "(" +
            kStreets +
            ")[(1 + g % 10)::int] || ' ' || (g % 997), 'APTO. ' || (g % 50), DATE '2000-01-01' + (g % 9000)::int, "
            "g % 2 = 0, CASE WHEN g % 10 = 0 THEN 'C' ELSE 'N' END, 'ADMIN', DATE '2024-01-01' + (g % 365)::int, "
            "'10:15:00 am' FROM generate_series(1::bigint, " +
            n + ") AS g ORDER BY g");
    pg.exec("INSERT INTO public.dxcam01e (codcli, telefono, email, limite) "
            "SELECT upper(lpad(to_hex(g), 6, '0')), '0212-' || lpad((g % 10000000)::text, 7, '0'), "
            "'cliente' || g || '@correo.es', (g % 100000) * 1.5 FROM generate_series(1::bigint, " +
            n + ") AS g");
    // As a table that has been in use a while: hint bits set, visibility
    // map and statistics up to date.
    pg.exec("VACUUM (ANALYZE) public.dxcam01");
    pg.exec("VACUUM (ANALYZE) public.dxcam01e");
    pg.exec("COMMENT ON TABLE public.dxcam01 IS '" + tag(rows) + "'");
    pg.exec("COMMENT ON TABLE public.dxcam01e IS '" + tag(rows) + "'");
    std::fprintf(stderr, "bench_client: generated in %.1f s\n", msSince(t0) / 1000.0);
}

// --- libpq alone

struct Bare {
    double connectAndFetch = 0, fetch = 0;
};

// The collation the window orders names by ("" for the default), so the
// bare fetch reads the same order through the same index.
std::string g_collate;

double fetchPage(PGconn* c, int pageRows)
{
    const auto t0 = Clock::now();
    const std::string sql = "SELECT recno, codcli, nombre, apell, direccion, feching FROM public.dxcam01 "
                            "ORDER BY nombre" + g_collate + ", recno LIMIT " +
                            std::to_string(pageRows);
    PGresult* r = PQexec(c, sql.c_str());
    std::size_t bytes = 0;
    for (int i = 0; i < PQntuples(r); ++i)
        for (int j = 0; j < PQnfields(r); ++j)
            bytes += std::string(PQgetvalue(r, i, j)).size();
    PQclear(r);
    const double ms = msSince(t0);
    return bytes > 0 ? ms : -1;
}

Bare bareFetch(int pageRows)
{
    Bare b;
    const auto t0 = Clock::now();
    const char* keys[] = {"dbname", nullptr};
    const char* values[] = {"dxc", nullptr};
    PGconn* c = PQconnectdbParams(keys, values, 1);
    fetchPage(c, pageRows);
    b.connectAndFetch = msSince(t0);
    std::vector<double> alone;
    for (int i = 0; i < 5; ++i)
        alone.push_back(fetchPage(c, pageRows));
    b.fetch = median(alone);
    PQfinish(c);
    return b;
}

// --- the window


struct Figures {
    double open = 0, pages = 0, seek = 0, bottom = 0;
    int pageRows = 0;
    std::string afterPages, afterSeek, atBottom;  // the browse set's row: proof that the grid moved
    bool complete = false;
};

gui::XbpBrowse* browseOf(QWidget* w)
{
    for (; w; w = w->parentWidget())
        if (gui::XbpPart* p = gui::XbpPart::fromWidget(w))
            return dynamic_cast<gui::XbpBrowse*>(p);
    return nullptr;
}

// Notes the first paint of a browse that shows rows.
class FirstPaint final : public QObject {
public:
    std::function<void(gui::XbpBrowse*)> onFirst;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && onFirst && o->isWidgetType()) {
            gui::XbpBrowse* b = browseOf(static_cast<QWidget*>(o));
            if (b && b->filledRows() > 0) {
                auto f = std::move(onFirst);
                onFirst = nullptr;
                f(b);
            }
        }
        return false;
    }
};

// Whatever the window made of the events: dispatched, then painted.
void settle()
{
    gui::dispatchPending();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {})
{
    QKeyEvent down(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(w, &up);
    settle();
}

QWidget* keyTarget(QWidget* fallback)
{
    QWidget* f = QApplication::focusWidget();
    return f ? f : fallback;
}

// Where the browse stands: its position in the order, and with `name` the
// name the browse set holds (a found row's).
std::string currentRow(gui::XbpBrowse* b, bool name = false)
{
    std::string s = "row " + (b->posBlock.isBlock() ? rt::var2char(rt::eval(b->posBlock)) : std::string("?"));
    const rt::Value bv = b->self();
    if (!name || !rt::hasMember(bv, "dataSource"))
        return s;
    const rt::Value ds = rt::getMember(bv, "dataSource");
    if (ds.isObject() && rt::hasMember(ds, "nombre"))
        s += " " + rt::alltrim(rt::var2char(rt::getMember(ds, "nombre")));
    return s;
}

QLineEdit* searchField(QDialog* d)
{
    for (QGroupBox* g : d->findChildren<QGroupBox*>())
        if (g->title() == "Test-Browse")
            for (QLineEdit* e : g->findChildren<QLineEdit*>())
                if (e->isEnabled() && e->isVisible())
                    return e;
    return nullptr;
}

void endWindow(QDialog* d)
{
    for (QAbstractButton* b : d->findChildren<QAbstractButton*>())
        if (b->text() == "Exit" && b->isVisible() && b->isEnabled()) {
            b->click();
            return;
        }
    d->reject();
}

// The steps after the first paint, inside the window's own event loop.
void measureInside(gui::XbpBrowse* b, Figures& f, const std::string& prefix)
{
    QDialog* d = dlg::activeDialog();
    QWidget* grid = b->widget();
    f.pageRows = b->rowCount();

    gui::setAppFocus(b->self());
    settle();
    auto t0 = Clock::now();
    for (int i = 0; i < kPages; ++i)
        press(keyTarget(grid), Qt::Key_PageDown);
    f.pages = msSince(t0);
    f.afterPages = currentRow(b);

    if (QLineEdit* search = d ? searchField(d) : nullptr) {
        search->setFocus();
        settle();
        t0 = Clock::now();
        for (const QChar c : QString::fromUtf8(prefix.c_str()))
            press(search, c.unicode(), Qt::NoModifier, QString(c));
        f.seek = msSince(t0);
        f.afterSeek = currentRow(b, true);
    } else {
        f.afterSeek = "no search field";
    }

    std::vector<double> bottoms;
    for (int i = 0; i < kBottoms; ++i) {
        gui::setAppFocus(b->self());
        press(keyTarget(grid), Qt::Key_Home, Qt::ControlModifier);
        t0 = Clock::now();
        press(keyTarget(grid), Qt::Key_End, Qt::ControlModifier);
        bottoms.push_back(msSince(t0));
    }
    f.bottom = median(bottoms);
    f.atBottom = currentRow(b);
    f.complete = true;
    if (d)
        endWindow(d);
}

Figures measureWindow(const std::string& prefix)
{
    Figures f;
    FirstPaint watch;
    qApp->installEventFilter(&watch);
    const auto t0 = Clock::now();
    watch.onFirst = [&](gui::XbpBrowse* b) {
        f.open = msSince(t0);
        // After the paint has finished: the rest runs from the window's loop.
        QTimer::singleShot(0, [&f, b, prefix] { measureInside(b, f, prefix); });
    };
    // A window that never paints a page must not hang the benchmark.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QDialog* d = dlg::activeDialog())
            d->reject();
    });
    guard.start(120000);
    rt::callFunction("Test");
    qApp->removeEventFilter(&watch);
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int rounds = 5;
    long long large = 1000000;
    // Typed in lower case with an accent: the names are in capitals without.
    std::string prefix = "már";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--rows" && i + 1 < argc)
            large = std::max(10001LL, std::atoll(argv[++i]));
        else if (a == "--prefix" && i + 1 < argc)
            prefix = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_client [--rounds R] [--rows N] [--prefix ABC]\n");
            return 2;
        }
    }
    if (env("PGHOST").empty() || env("PGPORT").empty()) {
        std::printf("bench_client: no server settings (PGHOST, PGPORT): skipped\n");
        return 0;
    }
    QApplication qapp(argc, argv);
    app::DbeSys();
    app::registerProgramFunctions();

    // The program-wide settings the window connects with; an empty password
    // lets libpq take it from PGPASSWORD or the password file.
    rt::publicSet("cHost", rt::padR(env("PGHOST"), 19));
    rt::publicSet("cUser", rt::padR(env("PGUSER", "postgres"), 18));
    rt::publicSet("cPass", rt::replicate(" ", 12));
    rt::publicSet("nPort", std::atoi(env("PGPORT").c_str()));
    rt::setCentury(1);
    rt::setDateFormat("dd-mm-yyyy");
    {
        Pg admin("postgres");
        if (admin.value("SELECT 1 FROM pg_database WHERE datname = 'dxc'") != "1")
            admin.exec("CREATE DATABASE dxc");
    }

    const long long sizes[] = {10000, large};
    std::map<long long, std::vector<Figures>> runs;
    std::map<long long, std::vector<Bare>> bare;
    std::map<long long, long long> hwm;
    std::map<long long, double> first;
    // Both sets are generated (or brought back) and opened once first; then
    // the rounds alternate between them (moving a set in or out is a rename),
    // so that a machine busy with other work weighs on both alike.
    Pg pg("dxc");
    {
        pgsql::Connection probe;
        probe.connect(env("PGHOST"), "dxc", env("PGUSER", "postgres"), "", std::atoi(env("PGPORT").c_str()));
        if (!probe.textCollation().empty())
            g_collate = " COLLATE " + pgsql::quoteIdent(probe.textCollation());
    }
    for (long long n : sizes) {
        prepareTables(pg, n);
        first[n] = measureWindow(prefix).open;  // the first open may build the window's indexes
        hwm[n] = vmHwmKb();
    }
    for (int r = 0; r < rounds; ++r)
        for (long long n : sizes) {
            prepareTables(pg, n);
            runs[n].push_back(measureWindow(prefix));
            bare[n].push_back(bareFetch(std::max(1, runs[n].back().pageRows)));
        }
    const long long hwmEnd = vmHwmKb();

    auto med = [&](long long n, double Figures::*m) {
        std::vector<double> v;
        for (const Figures& x : runs[n])
            v.push_back(x.*m);
        return median(v);
    };
    auto medBare = [&](long long n, double Bare::*m) {
        std::vector<double> v;
        for (const Bare& x : bare[n])
            v.push_back(x.*m);
        return median(v);
    };
    std::printf("client window, %d rounds, medians in ms; %d pages down; seek \"%s\"; bottom median of %d; "
                "names ordered%s\n",
                rounds, kPages, prefix.c_str(), kBottoms, g_collate.empty() ? " by the default collation" : g_collate.c_str());
    std::printf("%9s %9s %11s %9s %9s %5s %12s %10s  %s\n", "clients", "open", "page down", "seek", "bottom", "rows",
                "bare c+fetch", "bare fetch", "complete");
    for (long long n : sizes) {
        const int complete = int(std::count_if(runs[n].begin(), runs[n].end(), [](const Figures& f) { return f.complete; }));
        std::printf("%9lld %9.2f %11.2f %9.2f %9.2f %5d %12.2f %10.3f  %d/%zu\n", n, med(n, &Figures::open),
                    med(n, &Figures::pages), med(n, &Figures::seek), med(n, &Figures::bottom),
                    runs[n].empty() ? 0 : runs[n].front().pageRows, medBare(n, &Bare::connectAndFetch),
                    medBare(n, &Bare::fetch), complete, runs[n].size());
        if (!runs[n].empty()) {
            const Figures& f = runs[n].front();
            std::printf("          after pages: %s; after seek: %s; at bottom: %s\n", f.afterPages.c_str(),
                        f.afterSeek.c_str(), f.atBottom.c_str());
        }
    }
    for (long long n : sizes)
        std::printf("%lld clients: first open after the tables were put in place %.2f ms\n", n, first[n]);
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    const long long small = sizes[0];
    std::printf("%lld / %lld clients: open %.2f, page down %.2f, seek %.2f, bottom %.2f (goal <= 1.5)\n", large, small,
                ratio(med(large, &Figures::open), med(small, &Figures::open)),
                ratio(med(large, &Figures::pages), med(small, &Figures::pages)),
                ratio(med(large, &Figures::seek), med(small, &Figures::seek)),
                ratio(med(large, &Figures::bottom), med(small, &Figures::bottom)));
    for (long long n : sizes)
        std::printf("%lld clients: open / bare connect+fetch %.2f (goal <= 3); open / bare fetch alone %.1f\n", n,
                    ratio(med(n, &Figures::open), medBare(n, &Bare::connectAndFetch)),
                    ratio(med(n, &Figures::open), medBare(n, &Bare::fetch)));
    std::printf("peak memory (VmHWM): %.1f MB after the first window over %lld clients, %.1f MB after the first "
                "over %lld, %.1f MB at the end (goal < 100 MB)\n",
                double(hwm[small]) / 1024.0, small, double(hwm[large]) / 1024.0, large, double(hwmEnd) / 1024.0);
    return 0;
}
