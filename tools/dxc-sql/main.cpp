// dxc-sql: the result of one query in the SQL browse window. See kHelp for
// the command line; the README tells the rest.
//
// The statement runs in a read-only transaction (rolled back at the end)
// unless --write is given, so a query tool never changes data unasked. Rows
// are read as the server sends them (libpq's single-row mode): the window
// opens on the first rows and fills while the rest arrive, and --csv writes
// each row as it comes. Ctrl+C, a closed terminal or a closed window ask the
// server to cancel the statement (PQcancel) before the program ends, so a
// query never runs on without its client.
#include "browse/addons/addons.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
#include "platform/grid/browse.h"
#include "platform/gui/display.h"
#include "platform/gui/events.h"
#include "platform/gui/functions.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/cursor.h"
#include "platform/runtime/block.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <libpq-fe.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct Options {
    std::string host, user, dbname, query;
    int port = 0;
    bool csv = false;
    bool once = false;
    bool write = false;
};

constexpr const char* kUsage =
    "usage: dxc-sql [--host H] [--port P] [--user U] [--dbname D] [--write] [--csv | --once] \"SELECT ...\"\n";

constexpr const char* kHelp =
    "Runs one SQL statement and shows its result in the window \"SQL Browse\".\n"
    "\n"
    "Options:\n"
    "  --host H     server host (default: PGHOST, else libpq's default)\n"
    "  --port P     server port, 1 to 65535 (default: PGPORT, else 5432)\n"
    "  --user U     user name (default: PGUSER, else the login name)\n"
    "  --dbname D   database (default: PGDATABASE, else \"postgres\")\n"
    "  --write      run the statement read-write and commit it; without it the\n"
    "               statement runs in a read-only transaction that is rolled\n"
    "               back, so INSERT, UPDATE, DELETE, DDL and writing functions\n"
    "               are refused by the server\n"
    "  --csv        write the result to standard output as CSV instead of a\n"
    "               window (RFC 4180, CRLF, UTF-8, a header line of the field\n"
    "               names; NULL an empty cell, the empty text \"\"; numbers as\n"
    "               the server sends them, dates yyyy-mm-dd, true/false)\n"
    "  --once       open the window once the whole result is in, paint the\n"
    "               first page, print \"rows N, shown R\" and end\n"
    "  --help       this text\n"
    "The password comes from PGPASSWORD or the password file (PGPASSFILE,\n"
    "~/.pgpass), never from the command line. One statement only.\n"
    "\n"
    "In the window:\n"
    "  Up, Down, PgUp, PgDn, Ctrl+PgUp, Ctrl+PgDn, Home, End, Left, Right,\n"
    "  the mouse wheel and the scroll bar move through the rows.\n"
    "  A left or right click on a heading sorts by that column (ascending\n"
    "  first, a second click turns it round; text without regard to case,\n"
    "  numbers by value, every digit counted).\n"
    "  Rows show as they arrive; the title counts them. Esc while they\n"
    "  arrive stops the query and keeps what came; Esc afterwards, or\n"
    "  closing the window, ends the program (a running query is cancelled).\n"
    "  Dates show as the locale writes them (dd-mm-yyyy when it names none).\n"
    "\n"
    "Exit status: 0 done; 1 no connection, the statement failed or was\n"
    "refused (the reason on standard error, with the place of a syntax\n"
    "error), or no display; 2 usage; 130 ended by Ctrl+C (the statement\n"
    "cancelled on the server).\n";

int usage(const char* why)
{
    if (why)
        std::fprintf(stderr, "dxc-sql: %s\n", why);
    std::fputs(kUsage, stderr);
    return 2;
}

// Parses argv into o; 0 when fine, -1 after --help, else the exit status.
int parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string port;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return -1;
        } else if (a == "--csv") {
            o.csv = true;
        } else if (a == "--once") {
            o.once = true;
        } else if (a == "--write") {
            o.write = true;
        } else if (a == "--host" || a == "--user" || a == "--dbname") {
            if (!value(a == "--host" ? o.host : a == "--user" ? o.user : o.dbname))
                return usage((a + " needs a value").c_str());
        } else if (a == "--port") {
            if (!value(port) || (o.port = std::atoi(port.c_str())) <= 0 || o.port > 65535)
                return usage("--port needs a number from 1 to 65535");
        } else if (a == "--password" || a.rfind("--password=", 0) == 0) {
            return usage("the password is taken from PGPASSWORD or the password file, never from the command line");
        } else if (a.rfind("--", 0) == 0) {
            return usage(("unknown option " + a).c_str());
        } else if (o.query.empty()) {
            o.query = a;
        } else {
            return usage("one query only");
        }
    }
    if (o.query.empty())
        return usage("a query is needed");
    if (o.csv && o.once)
        return usage("--csv and --once exclude each other");
    return 0;
}

// The query's line with a caret under the place the server pointed at.
void showPosition(const std::string& query, const std::string& error)
{
    const std::size_t at = error.rfind("(position ");
    if (at == std::string::npos)
        return;
    const long pos = std::atol(error.c_str() + at + 10);  // 1-based, in characters
    const std::size_t byte = rt::utf8Offset(query, std::size_t(std::max(pos, 1L) - 1));
    const std::size_t nl = byte ? query.rfind('\n', byte - 1) : std::string::npos;
    const std::size_t start = nl == std::string::npos ? 0 : nl + 1;
    const std::size_t end = std::min(query.find('\n', byte), query.size());
    std::string marker;
    for (std::size_t i = start; i < byte && i < end; ++i)
        if ((static_cast<unsigned char>(query[i]) & 0xC0) != 0x80)
            marker += query[i] == '\t' ? '\t' : ' ';
    std::fprintf(stderr, "  %s\n  %s^\n", query.substr(start, end - start).c_str(), marker.c_str());
}

// The statement's failure on standard error; 1.
int failed(const pgsql::Cursor& c, const std::string& query)
{
    std::fprintf(stderr, "dxc-sql: %s\n", c.errorText().c_str());
    showPosition(query, c.errorText());
    if (c.sqlState() == "25006")  // read_only_sql_transaction
        std::fputs("dxc-sql: the statement writes; --write runs it read-write\n", stderr);
    return 1;
}

// ------------------------------------------------------------ signals

// Ctrl+C, a closed terminal, kill: the server is asked to stop the
// statement, then the program ends. PQcancel is safe in a signal handler.
std::atomic<PGcancel*> gCancel{nullptr};

extern "C" void onSignal(int sig)
{
    if (PGcancel* c = gCancel.load()) {
        char why[256];
        PQcancel(c, why, int(sizeof why));
    }
    _exit(128 + sig);
}

void catchSignals(PGconn* conn)
{
    gCancel = PQgetCancel(conn);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

// ------------------------------------------------------------ CSV

// A cell that needs quotes: text with a comma, a quote or a line break, or
// the empty text (NULL is the empty cell).
void appendQuoted(std::string& out, const char* s, int len)
{
    if (len > 0 && !std::memchr(s, ',', std::size_t(len)) && !std::memchr(s, '"', std::size_t(len)) &&
        !std::memchr(s, '\n', std::size_t(len)) && !std::memchr(s, '\r', std::size_t(len))) {
        out.append(s, std::size_t(len));
        return;
    }
    out += '"';
    for (const char* p = s; p < s + len; ++p) {
        if (*p == '"')
            out += '"';
        out += *p;
    }
    out += '"';
}

// How a field's cells are written: as the server's text (numbers, dates
// in ISO), logicals as true/false, anything else quoted where needed.
enum class CsvKind { Raw, Logical, Text };

struct CsvWriter {
    std::vector<CsvKind> kinds;
    std::string out;
    bool failed = false;

    void flush()
    {
        if (!out.empty() && std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
            failed = true;
        out.clear();
    }
    static void row(void* self, const char* const* cells, const int* lengths, int count)
    {
        auto& w = *static_cast<CsvWriter*>(self);
        for (int f = 0; f < count; ++f) {
            if (f)
                w.out += ',';
            const char* s = cells[f];
            if (!s)
                continue;
            switch (w.kinds[std::size_t(f)]) {
            case CsvKind::Raw: w.out.append(s, std::size_t(lengths[f])); break;
            case CsvKind::Logical: w.out += s[0] == 't' ? "true" : "false"; break;
            case CsvKind::Text: appendQuoted(w.out, s, lengths[f]); break;
            }
        }
        w.out += "\r\n";
        if (w.out.size() > (1 << 16))
            w.flush();
    }
};

CsvKind csvKind(unsigned oid)
{
    switch (oid) {
    case 16: return CsvKind::Logical;                     // bool
    case 20: case 21: case 23: case 26: case 700: case 701:  // integers, oid, floats
    case 1082: case 1700: return CsvKind::Raw;            // date, numeric
    default: return CsvKind::Text;
    }
}

int writeCsv(pgsql::Cursor& c, const std::string& query)
{
    CsvWriter w;
    std::vector<std::string> names;
    for (int f = 1; f <= c.fCount(); ++f) {
        names.push_back(c.fieldName(f));
        w.kinds.push_back(csvKind(c.fieldOid(f)));
    }
    w.out = addons::csvHeader(names);
    // The rows start() or an earlier fetch kept, then the rest as they come.
    std::vector<const char*> cells(std::size_t(c.fCount()));
    std::vector<int> lengths(cells.size());
    for (std::int64_t r = 1; r <= c.recCount(); ++r) {
        for (int f = 1; f <= c.fCount(); ++f) {
            cells[std::size_t(f) - 1] = c.textAt(r, f);
            lengths[std::size_t(f) - 1] = cells[std::size_t(f) - 1] ? int(std::strlen(cells[std::size_t(f) - 1])) : 0;
        }
        CsvWriter::row(&w, cells.data(), lengths.data(), c.fCount());
    }
    c.drain(&CsvWriter::row, &w);
    w.flush();
    if (rt::isTrue(c.lError))
        return failed(c, query);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) && !w.failed ? 0 : 1;
}

// ------------------------------------------------------------ the window

// --once: once the dialog is shown and its browse painted, report and close.
void closeWhenPainted(const pgsql::Cursor& c, const rt::Value& dialog)
{
    QTimer::singleShot(0, [&c, dialog] {
        int shown = 0;
        if (const gui::XbpPart* d = gui::asPart(dialog); d && d->widget()) {
            d->widget()->repaint();
            for (QWidget* w : d->widget()->findChildren<QWidget*>())
                w->repaint();
        }
        if (auto* d = dynamic_cast<dlg::DialogPart*>(&dialog.asObject()))
            for (const rt::Value& e : d->elements)
                if (const gui::XbpBrowse* b = gui::asBrowse(e))
                    shown = b->filledRows();
        std::printf("rows %lld, shown %d\n", static_cast<long long>(c.recCount()), shown);
        std::fflush(stdout);
        gui::postAppEvent(gui::ev::Close, rt::Value(), rt::Value(), dialog);
    });
}

// The rows that arrive after the window opened: taken when the socket has
// data, at most a slice at a time so that the window stays responsive; the
// browse shows them and the title counts them. Esc while they arrive stops
// the statement.
class Loader final : public QObject {
public:
    Loader(pgsql::Cursor& cursor, PGconn* conn, const rt::Value& dialog) : cursor_(cursor), dialog_(dialog)
    {
        if (auto* d = dynamic_cast<dlg::DialogPart*>(&dialog.asObject())) {
            window_ = d->dialog();
            for (const rt::Value& e : d->elements)
                if (gui::asBrowse(e))
                    browse_ = e;
        }
        notifier_ = new QSocketNotifier(PQsocket(conn), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { take(); });
        qApp->installEventFilter(this);
        QTimer::singleShot(0, this, [this] { take(); });
    }

    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape &&
            cursor_.loading()) {
            cursor_.cancel();
            done();
            return true;
        }
        return QObject::eventFilter(o, e);
    }

private:
    void take()
    {
        if (!cursor_.loading())
            return done();
        const std::int64_t added = cursor_.fetch(false, kSlice);
        if (!cursor_.loading())
            return done();
        show(false);
        // A full slice may leave rows libpq has read already, which the
        // socket will not announce again: come back for them at once.
        if (added == kSlice)
            QTimer::singleShot(0, this, [this] { take(); });
    }

    void show(bool final)
    {
        const long long n = cursor_.recCount();
        if (window_) {
            QString title = QStringLiteral("SQL Browse");
            const QString rows = QLocale(QLocale::Spanish).toString(n);
            if (!final)
                title += QStringLiteral(" \u2014 leyendo: %1 filas (Esc detiene)").arg(rows);
            else if (cursor_.cancelled())
                title += QStringLiteral(" \u2014 detenida en %1 filas").arg(rows);
            window_->setWindowTitle(title);
        }
        // A page that is not full yet, or the scroll bar, shows the new rows.
        if (gui::XbpBrowse* b = gui::asBrowse(browse_); b && (final || b->filledRows() < b->rowCount() || tick()))
            b->refreshAll();
    }
    bool tick()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (now - lastRefresh_ < 250)
            return false;
        lastRefresh_ = now;
        return true;
    }
    void done()
    {
        notifier_->setEnabled(false);
        qApp->removeEventFilter(this);
        show(true);
        if (rt::isTrue(cursor_.lError) && window_)
            QMessageBox::warning(window_, QStringLiteral("SQL Browse"),
                                 QString::fromStdString("La consulta falló: " + cursor_.errorText()));
    }

    static constexpr std::int64_t kSlice = 20000;
    pgsql::Cursor& cursor_;
    rt::Value dialog_, browse_;
    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
    qint64 lastRefresh_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    if (const int st = parse(argc, argv, o))
        return st < 0 ? 0 : st;
    if (!o.csv && !gui::displayAvailable()) {
        std::fputs("dxc-sql: no display: set DISPLAY or use --csv\n", stderr);
        return 1;
    }

    pgsql::registerPgsqlFunctions();
    pgsql::Connection conn;
    if (!conn.connect(o.host, o.dbname, o.user, "", o.port)) {
        std::fprintf(stderr, "dxc-sql: cannot connect: %s\n", conn.errorText().c_str());
        return 1;
    }
    catchSignals(conn.handle());
    if (!o.write && !conn.execute("BEGIN READ ONLY")) {
        std::fprintf(stderr, "dxc-sql: %s\n", conn.errorText().c_str());
        return 1;
    }
    rt::Value cursorValue(static_cast<rt::Object*>(new pgsql::Cursor()));
    auto& cursor = static_cast<pgsql::Cursor&>(cursorValue.asObject());
    if (!cursor.start(conn, o.query))
        return failed(cursor, o.query);
    int status = 0;
    if (o.csv) {
        status = writeCsv(cursor, o.query);
    } else {
        if (o.once) {
            cursor.fetch(true);
            if (rt::isTrue(cursor.lError))
                return failed(cursor, o.query);
        }
        QApplication app(argc, argv);
        gui::registerGuiFunctions();
        dlg::registerDialogFunctions();
        addons::registerAddons();
        dlg::installErrorMessageBox();
        Loader* loader = nullptr;
        const rt::Value created = rt::makeBlock([&](rt::Args a) {
            const rt::Value dialog = rt::argAt(a, 0);
            if (o.once)
                closeWhenPainted(cursor, dialog);
            else
                loader = new Loader(cursor, conn.handle(), dialog);
        });
        addons::browseSQL(cursorValue, created);
        delete loader;
        if (cursor.loading())  // the window closed while rows still came
            cursor.cancel();
        status = rt::isTrue(cursor.lError) ? 1 : 0;
    }
    if (!o.write)
        conn.execute("ROLLBACK");
    return status;
}
