// A fresh PostgreSQL database for one test binary, on the server that
// scripts/test.sh started (PGHOST, PGPORT, PGUSER, PGPASSFILE in the
// environment). The database is created on first use and dropped when the
// binary ends. Without a server the tests skip, unless DXC_REQUIRE_PG=1
// (set by scripts/test.sh), where they fail.
#pragma once

#include <libpq-fe.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace testpg {

inline bool serverConfigured() { return std::getenv("PGHOST") && std::getenv("PGPORT"); }

// Connects to `database` with the environment's settings; null on failure
// (the message goes to the test's output).
inline PGconn* connectTo(const std::string& database)
{
    const char* keys[] = {"dbname", "connect_timeout", "client_encoding", nullptr};
    const char* vals[] = {database.c_str(), "10", "UTF8", nullptr};
    PGconn* c = PQconnectdbParams(keys, vals, 0);
    if (PQstatus(c) != CONNECTION_OK) {
        ADD_FAILURE() << "cannot connect to " << database << ": " << PQerrorMessage(c);
        PQfinish(c);
        return nullptr;
    }
    return c;
}

// Runs a statement, failing the test with the server's message.
inline bool exec(PGconn* c, const std::string& sql)
{
    PGresult* r = PQexec(c, sql.c_str());
    const ExecStatusType st = PQresultStatus(r);
    const bool ok = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
    if (!ok)
        ADD_FAILURE() << sql << ": " << PQresultErrorMessage(r);
    PQclear(r);
    return ok;
}

// One value as text ("<NULL>" for NULL), failing the test on an error.
inline std::string value(PGconn* c, const std::string& sql, int row = 0, int col = 0)
{
    PGresult* r = PQexec(c, sql.c_str());
    std::string out;
    if (PQresultStatus(r) != PGRES_TUPLES_OK)
        ADD_FAILURE() << sql << ": " << PQresultErrorMessage(r);
    else if (row >= PQntuples(r) || col >= PQnfields(r))
        ADD_FAILURE() << sql << ": no row " << row << " column " << col;
    else
        out = PQgetisnull(r, row, col) ? "<NULL>" : PQgetvalue(r, row, col);
    PQclear(r);
    return out;
}

// Every row of a query, its fields joined by "|" ("<NULL>" for NULL).
inline std::vector<std::string> rows(PGconn* c, const std::string& sql)
{
    std::vector<std::string> out;
    PGresult* r = PQexec(c, sql.c_str());
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
        ADD_FAILURE() << sql << ": " << PQresultErrorMessage(r);
    } else {
        for (int i = 0; i < PQntuples(r); ++i) {
            std::string row;
            for (int j = 0; j < PQnfields(r); ++j) {
                if (j)
                    row += '|';
                row += PQgetisnull(r, i, j) ? "<NULL>" : PQgetvalue(r, i, j);
            }
            out.push_back(row);
        }
    }
    PQclear(r);
    return out;
}

// The per-binary database: "dxct_<tag>_<pid>".
class Database {
public:
    static Database& instance()
    {
        static Database db;
        return db;
    }
    // Skips (or fails) the calling test when no server is configured.
    // Returns the database name, "" when skipped.
    const std::string& name() const { return name_; }
    bool available() const { return !name_.empty(); }

    ~Database()
    {
        if (name_.empty())
            return;
        if (PGconn* c = connectTo("postgres")) {
            exec(c, "DROP DATABASE IF EXISTS \"" + name_ + "\" WITH (FORCE)");
            PQfinish(c);
        }
    }

private:
    Database()
    {
        if (!serverConfigured())
            return;
        PGconn* c = connectTo("postgres");
        if (!c)
            return;
        const std::string n = "dxct_" + std::to_string(::getpid());
        exec(c, "DROP DATABASE IF EXISTS \"" + n + "\"");
        if (exec(c, "CREATE DATABASE \"" + n + "\""))
            name_ = n;
        PQfinish(c);
    }
    std::string name_;
};

}  // namespace testpg

// At the top of a test that needs the server.
#define DXC_REQUIRE_DATABASE()                                                               \
    do {                                                                                     \
        if (!::testpg::Database::instance().available()) {                                   \
            const char* req = std::getenv("DXC_REQUIRE_PG");                                 \
            if (req && std::string(req) == "1")                                              \
                FAIL() << "no PostgreSQL server: PGHOST/PGPORT unset or unreachable";        \
            GTEST_SKIP() << "no PostgreSQL server (run through scripts/test.sh)";            \
        }                                                                                    \
    } while (0)
