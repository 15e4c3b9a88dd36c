// The command line: conveniences for scripts and tests.
#include "app/dxc.h"

#include "platform/dbf/table.h"
#include "platform/runtime/codepage.h"

#include <charconv>
#include <cstdlib>

namespace app {

const char* usage()
{
    return "usage: dxc [--dir DIR] [--host HOST] [--port PORT] [--user USER]\n"
           "           [--connect] [--import-only] [--insert] [--refresh [--force]]\n"
           "           [--salvage] [--codepage N]\n"
           "\n"
           "Without arguments dxc imports the DBF tables of the working folder after\n"
           "asking for the server settings.\n"
           "  --dir DIR       import the DBF tables of DIR instead\n"
           "  --host, --port, --user\n"
           "                  prefill the connection dialog (default: PGHOST, PGPORT,\n"
           "                  PGUSER when set)\n"
           "  --connect       no dialog: connect once with those settings (the password\n"
           "                  from PGPASSWORD or the password file); a failure ends the\n"
           "                  program with status 1\n"
           "  --import-only   end after the import (\"Cerrando Conexion\")\n"
           "  --insert        load tables with one INSERT per record instead of COPY\n"
           "                  (--bulk, COPY, is the default)\n"
           "  --refresh       import again a table whose DBF changed since its import: the\n"
           "                  new table replaces the old one whole, unless rows were\n"
           "                  changed in SQL since (--force: replace it all the same)\n"
           "  --salvage       import the whole records of a DBF whose file is cut short,\n"
           "                  and a DBF whose memo file is missing with its memos NULL\n"
           "                  (without it such a table is reported as damaged, not imported)\n"
           "  --codepage N    read the DBF text in code page N (437, 850, 1252, 936,\n"
           "                  65001 or utf-8, ...) whatever the tables say (a .cpg file,\n"
           "                  the header, or the page detected from their text)\n"
           "The password is never taken from the command line.\n"
           "Exit status: 0 every table imported or there unchanged; 3 a table damaged,\n"
           "failed, changed or skipped; 1 no connection, or a folder that cannot be read.\n";
}

namespace {

std::optional<int> portNumber(std::string_view text)
{
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > 65535)
        return std::nullopt;
    return n;
}

}  // namespace

std::optional<std::string> parseOptions(const std::vector<std::string>& args, Options& opts)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) -> bool {
            if (i + 1 >= args.size())
                return false;
            into = args[++i];
            return true;
        };
        std::string v;
        if (a == "--connect") {
            opts.connect = true;
        } else if (a == "--import-only") {
            opts.importOnly = true;
        } else if (a == "--bulk" || a == "--insert") {
            opts.bulk = a == "--bulk";
        } else if (a == "--refresh") {
            opts.refresh = true;
        } else if (a == "--force") {
            opts.force = true;
        } else if (a == "--salvage") {
            opts.salvage = true;
        } else if (a == "--codepage") {
            if (!value(v))
                return a + " needs a value";
            opts.codePage = rt::cp::codePageOfName(v);
            if (!dbf::codePageSupported(opts.codePage))
                return "--codepage needs a code page this program reads (437, 850, 1252, 936, utf-8, ...), not \"" +
                       v + "\"";
        } else if (a == "--dir" || a == "--host" || a == "--user" || a == "--port") {
            if (!value(v))
                return a + " needs a value";
            if (a == "--dir")
                opts.dir = v;
            else if (a == "--host")
                opts.host = v;
            else if (a == "--user")
                opts.user = v;
            else if (!(opts.port = portNumber(v)))
                return "--port needs a port number (1-65535), not \"" + v + "\"";
        } else if (a == "--password" || a.rfind("--password=", 0) == 0) {
            return "the password is never taken from the command line: type it in the dialog, or use "
                   "PGPASSWORD or a password file";
        } else {
            return "unknown argument \"" + a + "\"";
        }
    }
    return std::nullopt;
}

void applyEnvironment(Options& opts)
{
    auto env = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        if (!v || !*v)
            return std::nullopt;
        return std::string(v);
    };
    if (!opts.host)
        opts.host = env("PGHOST");
    if (!opts.user)
        opts.user = env("PGUSER");
    if (!opts.port)
        if (const auto p = env("PGPORT"))
            opts.port = portNumber(*p);
}

}  // namespace app
