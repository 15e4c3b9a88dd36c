// The dxc program: start-up, the server-settings dialog, the database
// "dxc" and the import of the folder's DBF tables.
#pragma once

#include "platform/runtime/value.h"

#include <optional>
#include <string>
#include <vector>

namespace pgsql {
class Connection;
}

namespace app {

// Command-line conveniences for scripts and tests. By default the program
// takes no arguments. A password never comes from the command line.
struct Options {
    std::string dir;                  // --dir: folder of the DBF files ("" = working folder)
    std::optional<std::string> host;  // --host, else PGHOST
    std::optional<int> port;          // --port, else PGPORT
    std::optional<std::string> user;  // --user, else PGUSER
    bool connect = false;             // --connect: no dialog, one attempt
    bool importOnly = false;          // --import-only: end after "Cerrando Conexion"
    bool bulk = true;                 // tables loaded with COPY; --insert: one INSERT per record
    bool refresh = false;             // --refresh: a table whose DBF changed is imported again
    bool force = false;               // --force: ... even when its rows were changed in SQL
    bool salvage = false;             // --salvage: the whole records of a cut DBF are imported
    int codePage = 0;                 // --codepage: DBF text read in this code page (0: the header's)
};

// Parses argv into opts; on a wrong command line returns a message (the
// usage is in usage()).
[[nodiscard]] std::optional<std::string> parseOptions(const std::vector<std::string>& args, Options& opts);
[[nodiscard]] const char* usage();
// PGHOST, PGPORT, PGUSER fill what the command line left open.
void applyEnvironment(Options& opts);

// The database-engine set-up that runs before main: engines loaded,
// "FOXCDX" the default, deleted records hidden.
void DbeSys();

// Registers every function the program's windows call by name: the GUI
// layer's, the PostgreSQL classes, the dialog, browse and pop-up libraries
// and the client window. runMain calls it; so can a harness that calls Test.
void registerProgramFunctions();

// The program's exit statuses.
constexpr int kExitDone = 0;     // every table imported, or there unchanged
constexpr int kExitFailed = 1;   // no connection, or it was lost; a --dir that cannot be read
constexpr int kExitTold = 3;     // a table damaged, failed, changed or skipped for a name clash

// The program's main; returns the exit status. Needs a QApplication unless
// opts.connect.
int runMain(const Options& opts);

// The import over an open connection to "dxc": aDbfFiles is a Directory()
// listing, cRuta the folder prefix ("" or ending in "/"); opts gives the
// import's flags. Returns kExitDone, kExitTold or kExitFailed (the
// connection was lost).
int importDbfFiles(pgsql::Connection& conn, const rt::Value& aDbfFiles, const std::string& cRuta,
                   const Options& opts);

// How many rejected records are listed one by one per table before the rest
// are only counted.
constexpr int kRejectedListed = 20;

}  // namespace app
