// The pipelined and COPY loaders: which rows land, in which order, what is
// reported, and a connection that dies under them.
#include "pg_fixture.h"

#include "platform/pgsql/parallel_copy.h"

#include "platform/runtime/error.h"

#include <algorithm>

using pgsql::Field;
using pgt::PgTest;
using pgt::Reports;

namespace {

using Ints = std::vector<int>;

std::vector<std::string> texts(const Ints& ids)
{
    std::vector<std::string> out;
    for (int i : ids)
        out.push_back(std::to_string(i));
    return out;
}

}  // namespace

// ----------------------------------------------------- StatementPipeline

struct PipelineCase {
    const char* name;
    int batch;
    int count;
    Ints bad;  // statement indexes the server rejects
};

void PrintTo(const PipelineCase& c, std::ostream* os) { *os << c.name; }

class PipelineRejects : public PgTest, public ::testing::WithParamInterface<PipelineCase> {};

// Statement i inserts id i; a bad one breaks the check constraint. Rows
// must land once each, in sending order (seq), whatever batch the rejects
// fall in.
TEST_P(PipelineRejects, OnlyRejectedStatementsAreLostAndEachIsReported)
{
    const PipelineCase& c = GetParam();
    ASSERT_TRUE(conn.execute("CREATE TABLE p (seq bigserial, id int, n int CHECK (n >= 0))"));
    ASSERT_TRUE(conn.execute("BEGIN"));
    Reports reports;
    Ints good;
    std::vector<std::int64_t> badTags;
    {
        pgsql::StatementPipeline pipe(conn, reports.fn(), c.batch);
        ASSERT_TRUE(pipe.start()) << conn.errorText();
        for (int i = 0; i < c.count; ++i) {
            const bool bad = std::find(c.bad.begin(), c.bad.end(), i) != c.bad.end();
            const std::string n = bad ? "-1" : std::to_string(i);
            ASSERT_TRUE(pipe.send("INSERT INTO p (id, n) VALUES (" + std::to_string(i) + ", " + n + ")", 100 + i))
                << conn.errorText();
            if (bad)
                badTags.push_back(100 + i);
            else
                good.push_back(i);
        }
        ASSERT_TRUE(pipe.finish()) << conn.errorText();
        EXPECT_EQ(pipe.accepted(), static_cast<std::int64_t>(good.size()));
        EXPECT_EQ(pipe.rejected(), static_cast<std::int64_t>(badTags.size()));
    }
    ASSERT_TRUE(conn.execute("COMMIT")) << conn.errorText();
    EXPECT_EQ(pgt::rows(peer, "SELECT id FROM p ORDER BY seq"), texts(good));
    EXPECT_EQ(reports.tags(), badTags);
    for (const auto& [tag, message] : reports.items) {
        EXPECT_NE(message.find("violates check constraint"), std::string::npos) << tag << ": " << message;
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Positions, PipelineRejects,
    ::testing::Values(PipelineCase{"NoneRejected", 4, 12, {}}, PipelineCase{"FirstOfFirstBatch", 4, 12, {0}},
                      PipelineCase{"FirstOfMiddleBatch", 4, 12, {4}}, PipelineCase{"MiddleOfBatch", 4, 12, {5}},
                      PipelineCase{"LastOfBatch", 4, 12, {3}}, PipelineCase{"LastStatement", 4, 12, {11}},
                      PipelineCase{"LastOfOneAndFirstOfNext", 4, 12, {3, 4}},
                      PipelineCase{"SeveralInOneBatch", 4, 12, {8, 9, 11}},
                      PipelineCase{"WholeMiddleBatch", 4, 12, {4, 5, 6, 7}},
                      PipelineCase{"Everything", 4, 12, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
                      PipelineCase{"PartialLastBatch", 4, 10, {9}}, PipelineCase{"OneBatchOnly", 100, 5, {2}},
                      PipelineCase{"BatchesOfOne", 1, 6, {0, 3, 5}},
                      PipelineCase{"ManyBatchesScattered", 7, 400, {0, 6, 7, 13, 50, 51, 52, 99, 200, 398, 399}}),
    [](const ::testing::TestParamInfo<PipelineCase>& info) { return std::string(info.param.name); });

// A reject that depends on an earlier statement of the same batch: the good
// start of the batch is sent again exactly once.
TEST_F(PgTest, PipelineResendsTheBatchPrefixOnce)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE u (seq bigserial, id int PRIMARY KEY)"));
    ASSERT_TRUE(conn.execute("BEGIN"));
    Reports reports;
    pgsql::StatementPipeline pipe(conn, reports.fn(), 5);
    ASSERT_TRUE(pipe.start());
    const Ints ids = {1, 2, 1, 3, 2, 4, 4, 5};
    for (std::size_t i = 0; i < ids.size(); ++i)
        ASSERT_TRUE(pipe.send("INSERT INTO u (id) VALUES (" + std::to_string(ids[i]) + ")", static_cast<int>(i)));
    ASSERT_TRUE(pipe.finish()) << conn.errorText();
    ASSERT_TRUE(conn.execute("COMMIT"));
    EXPECT_EQ(pgt::rows(peer, "SELECT id FROM u ORDER BY seq"), texts({1, 2, 3, 4, 5}));
    EXPECT_EQ(reports.tags(), (std::vector<std::int64_t>{2, 4, 6}));
    EXPECT_NE(reports.items[0].second.find("duplicate key"), std::string::npos);
    EXPECT_NE(reports.items[0].second.find("Key (id)=(1)"), std::string::npos) << reports.items[0].second;
}

TEST_F(PgTest, PipelineParametersCarryNullsAndTextAsTheyAre)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE pp (id int, v text, d date)"));
    ASSERT_TRUE(conn.execute("BEGIN"));
    Reports reports;
    pgsql::StatementPipeline pipe(conn, reports.fn(), 2);
    ASSERT_TRUE(pipe.start());
    const std::string sql = "INSERT INTO pp (id, v, d) VALUES ($1, $2, $3)";
    ASSERT_TRUE(pipe.sendParams(sql, {"1", std::nullopt, "2024-01-31"}, 1));
    ASSERT_TRUE(pipe.sendParams(sql, {"2", "it's \\N \t $1 '; --", std::nullopt}, 2));
    ASSERT_TRUE(pipe.sendParams(sql, {"3", "x", "not a date"}, 3));
    ASSERT_TRUE(pipe.sendParams(sql, {"4", "", "2000-02-29"}, 4));
    ASSERT_TRUE(pipe.sendParams(sql, {"5", std::string("a\0b", 3), std::nullopt}, 5));
    ASSERT_TRUE(pipe.send("INSERT INTO pp (id) VALUES (6)", 6));
    ASSERT_TRUE(pipe.finish()) << conn.errorText();
    ASSERT_TRUE(conn.execute("COMMIT"));
    EXPECT_EQ(pgt::rows(peer, "SELECT id, v, d FROM pp ORDER BY id"),
              (std::vector<std::string>{"1|<NULL>|2024-01-31", "2|it's \\N \t $1 '; --|<NULL>", "4||2000-02-29",
                                        "5|ab|<NULL>", "6|<NULL>|<NULL>"}));
    ASSERT_EQ(reports.tags(), (std::vector<std::int64_t>{3}));
    EXPECT_NE(reports.items[0].second.find("invalid input syntax for type date"), std::string::npos);
}

TEST_F(PgTest, PipelineRejectsWhatCannotBeSentWithoutTheServer)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE w (id int)"));
    ASSERT_TRUE(conn.execute("BEGIN"));
    Reports reports;
    pgsql::StatementPipeline pipe(conn, reports.fn(), 3);
    ASSERT_TRUE(pipe.start());
    ASSERT_TRUE(pipe.send("INSERT INTO w VALUES (1)", 1));
    ASSERT_TRUE(pipe.send(std::string("DELETE FROM w\0 WHERE false", 26), 2));
    ASSERT_TRUE(pipe.send("INSERT INTO w VALUES (4)", 4));
    ASSERT_TRUE(pipe.finish()) << conn.errorText();
    ASSERT_TRUE(conn.execute("COMMIT"));
    EXPECT_EQ(pgt::rows(peer, "SELECT id FROM w ORDER BY id"), texts({1, 4}));
    EXPECT_EQ(reports.tags(), (std::vector<std::int64_t>{2}));
    EXPECT_NE(reports.items[0].second.find("NUL"), std::string::npos);
    EXPECT_EQ(pipe.rejected(), 1);
}

// Only a value the table refuses (SQLSTATE classes 22 and 23) costs its row
// alone. Any other failure (a cancel, a full disk, a statement the server
// cannot take) ends the load with its reason and rejects nothing, and the
// session lives on for the caller's rollback.
struct StopCase {
    const char* name;
    const char* trigger;    // plpgsql run before row 5 is inserted
    const char* statement;  // sent as row 5 instead of an INSERT ("" for the INSERT)
    const char* reason;
};

TEST_F(PgTest, AFailureThatIsNoRowsOwnEndsTheLoad)
{
    const StopCase cases[] = {
        {"cancel", "PERFORM pg_cancel_backend(pg_backend_pid()); PERFORM pg_sleep(5);", "", "canceling statement"},
        {"full disk", "RAISE EXCEPTION 'no space left' USING ERRCODE = 'disk_full';", "", "no space left"},
        {"two statements in one", "", "INSERT INTO s VALUES (5); INSERT INTO s VALUES (55)", "multiple commands"},
    };
    for (const StopCase& c : cases) {
        for (bool copy : {false, true}) {
            if (copy && *c.statement)
                continue;
            SCOPED_TRACE(std::string(c.name) + (copy ? " COPY" : " INSERT"));
            ASSERT_TRUE(conn.execute("DROP TABLE IF EXISTS s; CREATE TABLE s (id int)"));
            if (*c.trigger) {
                ASSERT_TRUE(conn.execute(std::string("CREATE OR REPLACE FUNCTION stop() RETURNS trigger LANGUAGE "
                                                     "plpgsql AS $f$ BEGIN IF NEW.id = 5 THEN ") +
                                         c.trigger + " END IF; RETURN NEW; END $f$; CREATE TRIGGER stop BEFORE INSERT "
                                                     "ON s FOR EACH ROW EXECUTE FUNCTION stop()"));
            }
            ASSERT_TRUE(conn.execute("BEGIN"));
            Reports reports;
            bool ok = true;
            pgsql::Failure why;
            if (copy) {
                pgsql::CopyLoader loader(conn, conn.qualified("s"), {"id"}, reports.fn(), 3);
                for (int i = 1; i <= 9 && ok; ++i)
                    ok = loader.row({std::to_string(i)}, i);
                ok = ok && loader.finish();
                why = loader.failure();
            } else {
                pgsql::StatementPipeline pipe(conn, reports.fn(), 3);
                ASSERT_TRUE(pipe.start());
                for (int i = 1; i <= 9 && ok; ++i)
                    ok = pipe.send(i == 5 && *c.statement ? c.statement : "INSERT INTO s VALUES (" + std::to_string(i) + ")", i);
                ok = ok && pipe.finish();
                why = pipe.failure();
            }
            EXPECT_FALSE(ok);
            EXPECT_NE(why.serverText.find(c.reason), std::string::npos) << why.serverText;
            EXPECT_EQ(why.sqlstate.size(), 5u);
            EXPECT_TRUE(reports.items.empty());
            ASSERT_TRUE(conn.isOpen());
            EXPECT_TRUE(conn.execute("ROLLBACK")) << conn.errorText();
            EXPECT_EQ(testpg::value(conn.handle(), "SELECT count(*) FROM s"), "0");
        }
    }
}

TEST_F(PgTest, PipelineNeedsAnOpenTransactionAndLeavesNoSavepointBehind)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE t (id int)"));
    {
        pgsql::StatementPipeline pipe(conn, {});
        EXPECT_FALSE(pipe.start());
        EXPECT_NE(pipe.failure().serverText.find("BEGIN"), std::string::npos);
        EXPECT_FALSE(pipe.send("INSERT INTO t VALUES (1)", 1));
    }
    ASSERT_TRUE(conn.execute("BEGIN"));
    for (int round = 0; round < 2; ++round) {
        pgsql::StatementPipeline pipe(conn, {}, 2);
        ASSERT_TRUE(pipe.start());
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(pipe.send("INSERT INTO t VALUES (" + std::to_string(i) + ")", i));
        ASSERT_TRUE(pipe.finish()) << conn.errorText();
    }
    EXPECT_EQ(testpg::value(conn.handle(), "SELECT count(*) FROM t"), "10");
    EXPECT_FALSE(conn.execute("RELEASE SAVEPOINT dxc_batch"));
    EXPECT_NE(conn.errorText().find("does not exist"), std::string::npos) << conn.errorText();
    EXPECT_TRUE(conn.execute("ROLLBACK"));
}

TEST_F(PgTest, PipelineAbandonedHalfWayLeavesTheConnectionUsable)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE a (id int)"));
    ASSERT_TRUE(conn.execute("BEGIN"));
    {
        pgsql::StatementPipeline pipe(conn, {}, 3);
        ASSERT_TRUE(pipe.start());
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(pipe.send("INSERT INTO a VALUES (" + std::to_string(i) + ")", i));
    }
    EXPECT_TRUE(conn.execute("ROLLBACK")) << conn.errorText();
    EXPECT_TRUE(conn.execute("INSERT INTO a VALUES (99)")) << conn.errorText();
    EXPECT_EQ(pgt::rows(peer, "SELECT id FROM a"), texts({99}));
}

TEST_F(PgTest, PipelineOnAKilledConnectionReturnsFalse)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE k (id int)"));
    ASSERT_TRUE(conn.execute("BEGIN"));
    Reports reports;
    pgsql::StatementPipeline pipe(conn, reports.fn(), 2);
    ASSERT_TRUE(pipe.start());
    ASSERT_TRUE(pipe.send("INSERT INTO k VALUES (0)", 0));
    pgt::terminate(peer, PQbackendPID(conn.handle()));
    bool refused = false;
    for (int i = 1; i < 1000 && !refused; ++i)
        refused = !pipe.send("INSERT INTO k VALUES (" + std::to_string(i) + ")", i);
    EXPECT_TRUE(refused);
    EXPECT_FALSE(pipe.send("INSERT INTO k VALUES (-1)", -1));
    EXPECT_FALSE(pipe.finish());
    EXPECT_FALSE(pipe.failure().serverText.empty());
    EXPECT_EQ(pipe.failure().kind, pgsql::FailureKind::ConnectionLost);
    EXPECT_TRUE(reports.items.empty());  // a lost session is no rejected statement
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) FROM k"), "0");
}

// ------------------------------------------------------------ CopyLoader

TEST(CopyField, TextFormatEscapes)
{
    std::string line;
    pgsql::appendCopyField(line, std::nullopt);
    line += '|';
    pgsql::appendCopyField(line, std::string("a\\b\tc\nd\re\\N"));
    line += '|';
    pgsql::appendCopyField(line, std::string(""));
    line += '|';
    pgsql::appendCopyField(line, std::string("x\0y", 3));
    EXPECT_EQ(line, "\\N|a\\\\b\\tc\\nd\\re\\\\N||xy");
}

class CopyTest : public PgTest {
protected:
    void SetUp() override
    {
        PgTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(
            conn.execute("CREATE TABLE c (id int, code character(3), note text, amount numeric(6,2), born date)"));
        ASSERT_TRUE(conn.execute("BEGIN"));
    }
    std::vector<std::string> columns() const { return {"\"id\"", "\"code\"", "\"note\"", "\"amount\"", "\"born\""}; }
};

// Rows 5 and 7 are rejected; their batches go again as INSERTs, so the good
// rows beside them (4, 6, 8) land with the same values COPY gives.
TEST_F(CopyTest, RejectedRowsAloneAreLostAndValuesSurviveBothPaths)
{
    Reports reports;
    const std::string nasty = "tab\there\\N \\. line\nbreak\r\nit's \"q\" \\\\";
    const std::vector<std::vector<Field>> input = {
        {"1", "abc", "plain", "12.50", "2024-01-31"}, {"2", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"3", "a\tb", nasty, "-0.01", std::nullopt},  {"4", "\\N", "\\N", "0", "2000-02-29"},
        {"5", "TOOLONG", "x", "1", std::nullopt},     {"6", "a\tb", nasty, "-0.01", std::nullopt},
        {"7", "x", "y", "abc", std::nullopt},         {"8", "", "", "1", std::nullopt},
    };
    {
        pgsql::CopyLoader loader(conn, conn.qualified("c"), columns(), reports.fn(), 3);
        for (const auto& row : input)
            ASSERT_TRUE(loader.row(row, std::stoi(*row[0]))) << conn.errorText();
        ASSERT_TRUE(loader.finish()) << conn.errorText();
        EXPECT_EQ(loader.rejected(), 2);
    }
    ASSERT_TRUE(conn.execute("COMMIT")) << conn.errorText();
    EXPECT_EQ(pgt::rows(peer, "SELECT id, code, note, amount, born FROM c ORDER BY id"),
              (std::vector<std::string>{
                  "1|abc|plain|12.50|2024-01-31",
                  "2|<NULL>|<NULL>|<NULL>|<NULL>",
                  "3|a\tb|" + nasty + "|-0.01|<NULL>",
                  "4|\\N |\\N|0.00|2000-02-29",
                  "6|a\tb|" + nasty + "|-0.01|<NULL>",
                  "8|   ||1.00|<NULL>",
              }));
    ASSERT_EQ(reports.tags(), (std::vector<std::int64_t>{5, 7}));
    EXPECT_NE(reports.items[0].second.find("value too long for type character(3)"), std::string::npos);
    EXPECT_NE(reports.items[1].second.find("invalid input syntax for type numeric"), std::string::npos);
}

TEST_F(CopyTest, ManyBatchesWithScatteredRejects)
{
    Reports reports;
    pgsql::CopyLoader loader(conn, conn.qualified("c"), columns(), reports.fn(), 1000);
    std::vector<std::int64_t> bad;
    long long sum = 0;
    for (int i = 1; i <= 5000; ++i) {
        const bool reject = i % 1237 == 0 || i == 1 || i == 5000;
        if (reject)
            bad.push_back(i);
        else
            sum += i;
        ASSERT_TRUE(
            loader.row({std::to_string(i), reject ? "long" : "ok", "n" + std::to_string(i), "1.5", std::nullopt}, i));
    }
    ASSERT_TRUE(loader.finish()) << conn.errorText();
    ASSERT_TRUE(conn.execute("COMMIT"));
    EXPECT_EQ(loader.rejected(), static_cast<std::int64_t>(bad.size()));
    EXPECT_EQ(reports.tags(), bad);
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) || ' ' || sum(id) || ' ' || count(DISTINCT id) FROM c"),
              std::to_string(5000 - bad.size()) + " " + std::to_string(sum) + " " + std::to_string(5000 - bad.size()));
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) FROM c WHERE note <> 'n' || id"), "0");
}

TEST_F(CopyTest, QuotedNamesAndAnEmptyLoad)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE \"odd \"\"t\" (\"a b\" text)"));
    {
        pgsql::CopyLoader empty(conn, conn.qualified("c"), columns(), {});
        EXPECT_TRUE(empty.finish());
    }
    pgsql::CopyLoader loader(conn, conn.qualified("odd \"t"), {pgsql::quoteIdent("a b")}, {});
    ASSERT_TRUE(loader.row({"v"}, 1)) << conn.errorText();
    ASSERT_TRUE(loader.finish()) << conn.errorText();
    ASSERT_TRUE(conn.execute("COMMIT"));
    EXPECT_EQ(testpg::value(peer, "SELECT \"a b\" FROM \"odd \"\"t\""), "v");
}

TEST_F(CopyTest, MisuseIsAnErrorNotAHalfLoad)
{
    pgsql::CopyLoader loader(conn, conn.qualified("c"), columns(), {});
    EXPECT_THROW(loader.row({"1", "x"}, 1), rt::Error);
    ASSERT_TRUE(loader.row({"1", "x", "y", "1", std::nullopt}, 1));
    ASSERT_TRUE(loader.finish());
    ASSERT_TRUE(conn.execute("COMMIT"));

    pgsql::CopyLoader outside(conn, conn.qualified("c"), columns(), {});
    EXPECT_FALSE(outside.row({"2", "x", "y", "1", std::nullopt}, 2));  // no BEGIN
    EXPECT_NE(outside.failure().serverText.find("BEGIN"), std::string::npos);
    EXPECT_FALSE(outside.finish());

    ASSERT_TRUE(conn.execute("BEGIN"));
    pgsql::CopyLoader missing(conn, conn.qualified("nowhere"), {"\"a\""}, {});
    EXPECT_FALSE(missing.row({"1"}, 1));
    EXPECT_NE(missing.failure().serverText.find("nowhere"), std::string::npos) << missing.failure().serverText;
    // The failure keeps its SQLSTATE and the statement that met it.
    EXPECT_EQ(missing.failure().sqlstate, "42P01");
    EXPECT_EQ(missing.failure().statement.rfind("COPY ", 0), 0u) << missing.failure().statement;
    EXPECT_TRUE(conn.execute("ROLLBACK"));
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) FROM c"), "1");
}

TEST_F(CopyTest, AbandonedLoadCannotCommitHalfABatch)
{
    {
        pgsql::CopyLoader loader(conn, conn.qualified("c"), columns(), {}, 100);
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(loader.row({std::to_string(i), "x", "y", "1", std::nullopt}, i));
    }
    conn.execute("COMMIT");  // the server turns it into a rollback
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) FROM c"), "0");
    EXPECT_TRUE(conn.execute("SELECT 1")) << conn.errorText();
}

TEST_F(CopyTest, KilledConnectionEndsTheLoadWithFalse)
{
    Reports reports;
    pgsql::CopyLoader loader(conn, conn.qualified("c"), columns(), reports.fn(), 100);
    ASSERT_TRUE(loader.row({"0", "x", "y", "1", std::nullopt}, 0));
    pgt::terminate(peer, PQbackendPID(conn.handle()));
    bool refused = false;
    for (int i = 1; i < 100000 && !refused; ++i)
        refused = !loader.row({std::to_string(i), "x", "y", "1", std::nullopt}, i);
    EXPECT_TRUE(refused);
    EXPECT_FALSE(loader.finish());
    EXPECT_FALSE(loader.failure().serverText.empty());
    EXPECT_TRUE(reports.items.empty());
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) FROM c"), "0");
}

// ------------------------------------------------------------ binary COPY

struct NumericCase {
    const char* text;
    const char* stored;  // as the server shows it; nullptr: refused by BinaryRow
};

// Decimal texts to the server's base-10000 numeric: groups on both sides of
// the point, zero groups at either end, signs, the decimals shown.
TEST_F(PgTest, BinaryNumericsReadBackAsTheirText)
{
    const NumericCase cases[] = {
        {"0", "0"},           {"-0.00", "0.00"},        {"12.50", "12.50"},
        {".5", "0.5"},        {"-0.125", "-0.125"},     {"123456789012345.67", "123456789012345.67"},
        {"100000000", "100000000"}, {"0.0001", "0.0001"}, {"10000.0001", "10000.0001"},
        {"-9999.9999", "-9999.9999"}, {"+7", "7"},        {"00012.3400", "12.3400"},
        {"1e5", nullptr},     {"", nullptr},            {"-", nullptr},
        {"1.2.3", nullptr},   {" 1", nullptr},          {".", nullptr},
    };
    ASSERT_TRUE(conn.execute("CREATE TABLE nums (seq int, n numeric)"));
    ASSERT_TRUE(conn.execute("BEGIN"));
    Reports reports;
    std::vector<std::string> expected;
    {
        pgsql::CopyLoader loader(conn, conn.qualified("nums"), {"seq", "n"}, reports.fn(), 20000,
                                 pgsql::CopyLoader::Format::Binary);
        pgsql::BinaryRow row;
        int seq = 0;
        for (const NumericCase& c : cases) {
            SCOPED_TRACE(c.text);
            row.begin(2);
            row.int4(++seq);
            EXPECT_EQ(row.numeric(c.text), c.stored != nullptr);
            if (!c.stored)
                continue;
            expected.push_back(c.stored);
            ASSERT_TRUE(loader.rowBinary(row.data(), seq)) << conn.errorText();
        }
        ASSERT_TRUE(loader.finish()) << conn.errorText();
    }
    ASSERT_TRUE(conn.execute("COMMIT")) << conn.errorText();
    EXPECT_TRUE(reports.items.empty());
    EXPECT_EQ(pgt::rows(peer, "SELECT n FROM nums ORDER BY seq"), expected);
}

// Every kind of binary field lands as written; rejected rows (a numeric
// that overflows its typmod, text too long for character(3)) are lost
// alone, their batches going again as INSERTs with binary parameters.
TEST_F(PgTest, BinaryRowsOfEveryKindAndRejectsAmongThem)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE b (id bigint, t text, c character(3), n numeric(6,2), d date, ok boolean, "
                             "f float8, ts timestamp, raw bytea, i int)"));
    ASSERT_TRUE(conn.execute("BEGIN"));
    const std::string bytes("\0\xff\t\\N\n", 6);
    const auto put = [&](pgsql::BinaryRow& r, std::int64_t id, const char* c, const char* n) {
        r.begin(10);
        r.int8(id);
        r.bytes("tab\there \\N it's");
        r.bytes(c);
        r.numeric(n);
        r.date(-1);                                      // 1999-12-31
        r.boolean(id % 2 == 0);
        r.float8(1.0 / 3);
        r.timestamp(86400LL * 1000000 + 1500);           // 2000-01-02 00:00:00.0015
        r.bytes(bytes);
        r.int4(-5);
    };
    Reports reports;
    {
        pgsql::CopyLoader loader(conn, conn.qualified("b"), {"id", "t", "c", "n", "d", "ok", "f", "ts", "raw", "i"},
                                 reports.fn(), 4, pgsql::CopyLoader::Format::Binary);
        pgsql::BinaryRow row;
        for (int id = 1; id <= 9; ++id) {
            if (id == 2) {
                row.begin(10);
                row.int8(id);
                for (int i = 0; i < 9; ++i)
                    row.null();
            } else {
                put(row, id, id == 6 ? "long" : "ab", id == 3 ? "12345" : "-1.5");
            }
            ASSERT_TRUE(loader.rowBinary(row.data(), id)) << conn.errorText();
        }
        ASSERT_TRUE(loader.finish()) << conn.errorText();
        EXPECT_EQ(loader.rejected(), 2);
    }
    ASSERT_TRUE(conn.execute("COMMIT")) << conn.errorText();
    ASSERT_EQ(reports.tags(), (std::vector<std::int64_t>{3, 6}));
    EXPECT_NE(reports.items[0].second.find("numeric field overflow"), std::string::npos);
    EXPECT_NE(reports.items[1].second.find("value too long for type character(3)"), std::string::npos);
    const std::string good = "|tab\there \\N it's|ab |-1.50|1999-12-31|%|0.3333333333333333|2000-01-02 00:00:00.0015|"
                             "\\x00ff095c4e0a|-5";
    std::vector<std::string> expected;
    for (int id : {1, 2, 4, 5, 7, 8, 9}) {
        std::string line = std::to_string(id) + good;
        line.replace(line.find('%'), 1, id % 2 == 0 ? "t" : "f");
        expected.push_back(id == 2 ? "2|<NULL>|<NULL>|<NULL>|<NULL>|<NULL>|<NULL>|<NULL>|<NULL>|<NULL>" : line);
    }
    EXPECT_EQ(pgt::rows(peer, "SELECT id, t, c, n, d, ok, f, ts, raw, i FROM b ORDER BY id"), expected);
}

TEST_F(PgTest, BinaryRowsOnlyForABinaryLoader)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE t1 (a int)"));
    ASSERT_TRUE(conn.execute("BEGIN"));
    pgsql::BinaryRow row;
    row.begin(1);
    row.int4(1);
    pgsql::CopyLoader text(conn, conn.qualified("t1"), {"a"}, {});
    EXPECT_THROW(text.rowBinary(row.data(), 1), rt::Error);
    pgsql::CopyLoader binary(conn, conn.qualified("t1"), {"a"}, {}, 10, pgsql::CopyLoader::Format::Binary);
    EXPECT_THROW(binary.row(std::vector<Field>{Field("1")}, 1), rt::Error);
    row.begin(2);
    EXPECT_THROW(binary.rowBinary(row.data(), 1), rt::Error);
}

// ------------------------------------------------- COPY over two sessions

// A committed table both sessions load into, each in a transaction of its
// own; the second session is opened with the first one's settings.
class SharedCopyTest : public PgTest {
protected:
    void SetUp() override
    {
        PgTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(conn.execute("CREATE TABLE s (id int PRIMARY KEY, code character(3))"));
        ASSERT_TRUE(second.connectLike(conn)) << second.errorText();
        ASSERT_TRUE(conn.execute("BEGIN") && second.execute("BEGIN"));
    }
    // Row id with a code of three letters; one of four is refused.
    static std::string row(int id, bool refused = false)
    {
        pgsql::BinaryRow r;
        r.begin(2);
        r.int4(id);
        r.bytes(refused ? "long" : "abc");
        return std::string(r.data());
    }
    pgsql::ParallelCopy copy(Reports* reports = nullptr)
    {
        return pgsql::ParallelCopy({&conn, &second}, conn.qualified("s"), {"id", "code"},
                                   reports ? reports->fn() : pgsql::RejectFn{}, 700);
    }
    pgsql::Connection second;
};

// Both sessions take rows, every good row lands once whichever session
// sent it, and each rejected row is reported once, from either session.
TEST_F(SharedCopyTest, RowsLandOnceFromBothSessionsAndEveryRejectIsReported)
{
    Reports reports;
    std::vector<std::int64_t> bad;
    long long sum = 0;
    {
        pgsql::ParallelCopy load = copy(&reports);
        for (int i = 1; i <= 9000; ++i) {
            const bool reject = i % 1237 == 0 || i == 1 || i == 9000;
            (reject ? bad.push_back(i) : void(sum += i));
            ASSERT_TRUE(load.rowBinary(row(i, reject), i)) << load.failure().serverText;
        }
        ASSERT_TRUE(load.finish()) << load.failure().serverText;
        EXPECT_EQ(load.rejected(), static_cast<std::int64_t>(bad.size()));
    }
    // Each session sees its own rows only until both commit.
    const long mine = std::stol(*conn.value("SELECT count(*) FROM s"));
    EXPECT_GT(mine, 0);
    EXPECT_LT(mine, 9000 - static_cast<long>(bad.size()));
    ASSERT_TRUE(conn.execute("COMMIT") && second.execute("COMMIT"));
    std::vector<std::int64_t> tags = reports.tags();
    std::sort(tags.begin(), tags.end());
    EXPECT_EQ(tags, bad);
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) || ' ' || sum(id) FROM s"),
              std::to_string(9000 - bad.size()) + " " + std::to_string(sum));
}

// A session that dies ends the load with its reason; the other session is
// left usable, to roll back its part.
TEST_F(SharedCopyTest, ASessionThatDiesFailsTheLoadWithItsReason)
{
    pgsql::ParallelCopy load = copy();
    ASSERT_TRUE(load.rowBinary(row(0), 0));
    pgt::terminate(peer, PQbackendPID(second.handle()));
    bool refused = false;
    for (int i = 1; i < 200000 && !refused; ++i)
        refused = !load.rowBinary(row(i), i);
    EXPECT_FALSE(load.finish());
    EXPECT_FALSE(load.failure().serverText.empty());
    EXPECT_TRUE(conn.execute("ROLLBACK")) << conn.errorText();
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) FROM s"), "0");
}

// Given up half way (the caller's reading failed): no session can commit a
// half-sent batch, and both stay usable. A row of the wrong shape is the
// caller's error, raised on its own thread.
TEST_F(SharedCopyTest, ALoadGivenUpHalfWayCommitsNothingHalfSent)
{
    {
        pgsql::ParallelCopy load = copy();
        for (int i = 0; i < 2500; ++i)
            ASSERT_TRUE(load.rowBinary(row(i), i));
        pgsql::BinaryRow wrong;
        wrong.begin(1);
        wrong.int4(1);
        EXPECT_THROW(load.rowBinary(wrong.data(), 1), rt::Error);
    }
    conn.execute("COMMIT");
    second.execute("COMMIT");
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) FROM s"), "0");
    EXPECT_TRUE(conn.execute("SELECT 1") && second.execute("SELECT 1"));
}
