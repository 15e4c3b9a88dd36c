// Shared by the PostgreSQL tests: a Connection to this binary's database, a
// second plain libpq session to check what landed, and small readers.
#pragma once

#include "common/pg_test_db.h"

#include "platform/pgsql/connection.h"
#include "platform/pgsql/loader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace pgt {

inline std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}
inline std::string host() { return env("PGHOST"); }
inline std::string user() { return env("PGUSER"); }
inline int port() { return std::atoi(env("PGPORT").c_str()); }

using testpg::rows;

// One text value through a parameter, so the tests need no quoting of their own.
inline std::string valueWith(PGconn* c, const std::string& sql, const std::string& param)
{
    const char* values[] = {param.c_str()};
    PGresult* r = PQexecParams(c, sql.c_str(), 1, nullptr, values, nullptr, nullptr, 0);
    std::string out;
    if (PQresultStatus(r) != PGRES_TUPLES_OK || PQntuples(r) != 1)
        ADD_FAILURE() << sql << ": " << PQresultErrorMessage(r);
    else
        out = PQgetisnull(r, 0, 0) ? "<NULL>" : PQgetvalue(r, 0, 0);
    PQclear(r);
    return out;
}

// Ends another session from outside, as an administrator would, and waits
// until the server has let it go.
inline void terminate(PGconn* peer, int pid)
{
    const std::string p = std::to_string(pid);
    testpg::exec(peer, "SELECT pg_terminate_backend(" + p + ")");
    for (int i = 0; i < 500; ++i) {
        if (testpg::value(peer, "SELECT count(*) FROM pg_stat_activity WHERE pid = " + p) == "0")
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "backend " << pid << " did not end";
}

// A Connection to the test database and a peer session.
class PgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DXC_REQUIRE_DATABASE();
        db = testpg::Database::instance().name();
        ASSERT_TRUE(conn.connect(host(), db, user(), "", port())) << conn.errorText();
        peer = testpg::connectTo(db);
        ASSERT_NE(peer, nullptr);
        // The binary's cases share one database when run in one process.
        ASSERT_TRUE(testpg::exec(peer,
                                 "SET client_min_messages = warning; DROP SCHEMA IF EXISTS public, \"we\"\"ird\" "
                                 "CASCADE; CREATE SCHEMA public"));
    }
    void TearDown() override
    {
        if (peer)
            PQfinish(peer);
    }

    std::string db;
    pgsql::Connection conn;
    PGconn* peer = nullptr;
};

// What a loader reported: {tag, the server's text}.
struct Reports {
    std::vector<std::pair<std::int64_t, std::string>> items;
    pgsql::RejectFn fn()
    {
        return [this](std::int64_t tag, const pgsql::Failure& why) { items.emplace_back(tag, why.serverText); };
    }
    [[nodiscard]] std::vector<std::int64_t> tags() const
    {
        std::vector<std::int64_t> t;
        for (const auto& i : items)
            t.push_back(i.first);
        return t;
    }
};

}  // namespace pgt
