// dxc-sql: the result of one query in the SQL browse window.
//
//     dxc-sql [--host H] [--port P] [--user U] [--dbname D] [--csv | --once] "SELECT ..."
//
// The connection takes what is not given from libpq's environment (PGHOST,
// PGPORT, PGUSER, PGDATABASE) and the password from PGPASSWORD or the
// password file; a password is never read from the command line. Without
// a database the server's "postgres" one is used (unless PGDATABASE says).
//
// The window shows one sortable column per field; a header click sorts by
// it. --csv writes the result to standard output as CSV instead (RFC 4180,
// CRLF, UTF-8, a header line of the field names; NULL is an empty cell, the
// empty text ""). --once opens the window, lets it paint its first page,
// prints "rows N, shown R" and ends (for scripts and timing).
//
// Exit status: 0 done, 1 the connection or the query failed (the reason on
// standard error, with the place of a syntax error), 2 usage.
#include "browse/addons/addons.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
#include "platform/grid/browse.h"
#include "platform/gui/events.h"
#include "platform/gui/functions.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/cursor.h"
#include "platform/runtime/block.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string host, user, dbname, query;
    int port = 0;
    bool csv = false;
    bool once = false;
};

constexpr const char* kUsage =
    "usage: dxc-sql [--host H] [--port P] [--user U] [--dbname D] [--csv | --once] \"SELECT ...\"\n";

int usage(const char* why)
{
    if (why)
        std::fprintf(stderr, "dxc-sql: %s\n", why);
    std::fputs(kUsage, stderr);
    return 2;
}

// Parses argv into o; 0 when fine, else the exit status.
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
        if (a == "--help") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (a == "--csv") {
            o.csv = true;
        } else if (a == "--once") {
            o.once = true;
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

int writeCsv(pgsql::Cursor& c)
{
    std::vector<std::string> names;
    for (int f = 1; f <= c.fCount(); ++f)
        names.push_back(c.fieldName(f));
    std::string out = addons::csvHeader(names);
    std::vector<rt::Value> row(std::size_t(c.fCount()));
    for (std::int64_t r = 1; r <= c.recCount(); ++r) {
        for (int f = 1; f <= c.fCount(); ++f)
            row[std::size_t(f) - 1] = c.valueAt(r, f);
        out += addons::csvLine(row);
        if (out.size() > (1 << 16)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

// --once: once the dialog is shown and its browse painted, report and close.
rt::Value closeWhenPainted(const pgsql::Cursor& c)
{
    return rt::makeBlock([&c](rt::Args a) {
        const rt::Value dialog = rt::argAt(a, 0);
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
    });
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    if (const int st = parse(argc, argv, o))
        return st < 0 ? 0 : st;

    pgsql::registerPgsqlFunctions();
    pgsql::Connection conn;
    if (!conn.connect(o.host, o.dbname, o.user, "", o.port)) {
        std::fprintf(stderr, "dxc-sql: cannot connect: %s\n", conn.errorText().c_str());
        return 1;
    }
    rt::Value cursorValue(static_cast<rt::Object*>(new pgsql::Cursor()));
    auto& cursor = static_cast<pgsql::Cursor&>(cursorValue.asObject());
    if (!cursor.open(conn, o.query)) {
        std::fprintf(stderr, "dxc-sql: %s\n", cursor.errorText().c_str());
        showPosition(o.query, cursor.errorText());
        return 1;
    }
    if (o.csv)
        return writeCsv(cursor);

    QApplication app(argc, argv);
    gui::registerGuiFunctions();
    dlg::registerDialogFunctions();
    addons::registerAddons();
    dlg::installErrorMessageBox();
    addons::browseSQL(cursorValue, o.once ? closeWhenPainted(cursor) : rt::Value());
    return 0;
}
