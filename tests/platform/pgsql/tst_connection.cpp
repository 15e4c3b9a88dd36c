// The connection object: connecting, databases, tables and statements, in
// C++ and as compiled text sees it.
#include "pg_fixture.h"

#include "platform/runtime/array.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using pgt::PgTest;
using rt::Value;

namespace {

// A TCP port on which nothing listens while the object lives.
struct ClosedPort {
    ClosedPort()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~ClosedPort()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
    int port = 0;
};

std::string setting(pgsql::Connection& c, const char* name)
{
    return testpg::value(c.handle(), std::string("SHOW ") + name);
}

Value structOf(std::initializer_list<Value> fields) { return rt::makeArray(fields); }
Value field(const char* name, const char* type, int len, int dec)
{
    return rt::makeArray({Value(name), Value(type), Value(len), Value(dec)});
}

}  // namespace

// ------------------------------------------------------------------ connecting

TEST_F(PgTest, EmptyPasswordUsesThePasswordFileAndSessionSettingsAreFixed)
{
    EXPECT_FALSE(conn.lError.asBool());
    EXPECT_TRUE(conn.isOpen());
    EXPECT_EQ(conn.errorText(), "");
    EXPECT_EQ(setting(conn, "client_encoding"), "UTF8");
    EXPECT_EQ(setting(conn, "DateStyle"), "ISO, YMD");
    EXPECT_EQ(setting(conn, "application_name"), "dxc");
    EXPECT_EQ(testpg::value(conn.handle(), "SELECT current_database()"), db);
}

TEST_F(PgTest, NoDatabaseMeansTheServersDefault)
{
    pgsql::Connection c;
    ASSERT_TRUE(c.connect(pgt::host(), "", pgt::user(), "", pgt::port())) << c.errorText();
    EXPECT_EQ(testpg::value(c.handle(), "SELECT current_database()"), pgt::user());
}

TEST_F(PgTest, WrongPasswordFailsWithOneLineThatDoesNotShowThePassword)
{
    const std::string secret = "Wr0ng-S3cret;x";
    pgsql::Connection c;
    EXPECT_FALSE(c.connect(pgt::host(), db, pgt::user(), secret, pgt::port()));
    EXPECT_TRUE(c.lError.asBool());
    EXPECT_FALSE(c.isOpen());
    EXPECT_NE(c.errorText().find("password authentication failed"), std::string::npos) << c.errorText();
    EXPECT_EQ(c.errorText().find(secret), std::string::npos);
    EXPECT_EQ(c.errorText().find('\n'), std::string::npos);
    EXPECT_FALSE(c.execute("SELECT 1"));
    EXPECT_EQ(c.errorText(), "not connected");
}

TEST(PgConnect, ClosedPortFailsWithTheReason)
{
    ClosedPort closed;
    ASSERT_GT(closed.port, 0);
    pgsql::Connection c;
    EXPECT_FALSE(c.connect("127.0.0.1", "x", "nobody", "pw", closed.port));
    EXPECT_TRUE(c.lError.asBool());
    EXPECT_NE(c.errorText().find(std::to_string(closed.port)), std::string::npos) << c.errorText();
    EXPECT_NE(c.errorText().find("refused"), std::string::npos) << c.errorText();
    EXPECT_EQ(c.errorText().find('\n'), std::string::npos);
}

TEST_F(PgTest, ReconnectingAfterAFailureAndClosing)
{
    EXPECT_FALSE(conn.connect(pgt::host(), db, pgt::user(), "bad-password", pgt::port()));
    EXPECT_TRUE(conn.lError.asBool());
    EXPECT_EQ(conn.handle(), nullptr);
    EXPECT_TRUE(conn.connect(pgt::host(), db, pgt::user(), "", pgt::port()));
    EXPECT_FALSE(conn.lError.asBool());
    conn.close();
    EXPECT_FALSE(conn.isOpen());
    EXPECT_FALSE(conn.dbExist(db));
    conn.close();  // twice is harmless
}

// ------------------------------------------------------------ databases

TEST_F(PgTest, DbCreateAndDbExistWithNamesThatLookLikeSql)
{
    const std::string pid = std::to_string(::getpid());
    const std::vector<std::string> names = {
        "dxct_quo\"te_" + pid,
        "dxct_semi; DROP DATABASE postgres; --" + pid,
        "dxct_'single'_" + pid,
        "Dxct_Mixed_" + pid,
    };
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(conn.dbExist(name));
        EXPECT_TRUE(conn.dbCreate(name)) << conn.errorText();
        EXPECT_TRUE(conn.dbExist(name));
        EXPECT_EQ(pgt::valueWith(peer, "SELECT count(*) FROM pg_database WHERE datname = $1", name), "1");
        EXPECT_FALSE(conn.dbCreate(name));  // already there: the server's message
        EXPECT_NE(conn.errorText().find("already exists"), std::string::npos) << conn.errorText();
        testpg::exec(peer, "DROP DATABASE " + pgsql::quoteIdent(name));
    }
    EXPECT_TRUE(conn.dbExist("postgres"));
    EXPECT_FALSE(conn.dbExist("Postgres"));  // names are exact
    EXPECT_FALSE(conn.dbExist("postgres' OR '1'='1"));
}

// --------------------------------------------------------------- tables

TEST_F(PgTest, ExistTablesLooksInTheSchemaAndComparesExactly)
{
    testpg::exec(peer,
                 "CREATE TABLE \"Mixed\" (a int); CREATE TABLE plain (a int); CREATE VIEW v AS SELECT 1 AS a;"
                 "CREATE SCHEMA \"we\"\"ird\"; CREATE TABLE \"we\"\"ird\".other (a int)");
    EXPECT_TRUE(conn.existTables("plain"));
    EXPECT_TRUE(conn.existTables("Mixed"));
    EXPECT_FALSE(conn.existTables("mixed"));
    EXPECT_TRUE(conn.existTables("v"));
    EXPECT_FALSE(conn.existTables("other"));
    EXPECT_FALSE(conn.existTables("pg_class"));  // a catalog, not in public
    EXPECT_FALSE(conn.existTables("plain' OR '1'='1"));

    conn.sChema = Value("we\"ird");
    EXPECT_TRUE(conn.existTables("other"));
    EXPECT_FALSE(conn.existTables("plain"));
    EXPECT_EQ(conn.qualified("other"), "\"we\"\"ird\".\"other\"");
    ASSERT_TRUE(conn.createTable("made", structOf({field("A", "C", 2, 0)}))) << conn.errorText();
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) FROM pg_tables WHERE schemaname = 'we\"ird' AND tablename = 'made'"),
              "1");
}

TEST_F(PgTest, CreateTableMapsEveryFieldTypeInFieldOrder)
{
    const Value s = structOf({
        field("CODE", "C", 6, 0),
        field("AMOUNT", "N", 12, 2),
        field("RATE", "F", 10, 4),
        field("BORN", "D", 8, 0),
        field("OK", "L", 1, 0),
        field("NOTES", "M", 10, 0),
        field("QTY", "I", 4, 0),
        field("RATIO", "B", 8, 2),
        field("PRICE", "Y", 8, 4),
        field("STAMP", "T", 8, 0),
        field("PIC", "G", 10, 0),
        field("RAW", "P", 10, 0),
        field("BLOB", "W", 4, 0),
        field("VARBIN", "Q", 6, 0),
        field("VAR", "V", 10, 0),
        field("ODD", "X", 5, 0),
        field("Count", "N", 5, 0),
    });
    ASSERT_TRUE(conn.createTable("types", s)) << conn.errorText() << "\n" << conn.createTableSql("types", s);
    EXPECT_EQ(pgt::rows(peer,
                        "SELECT column_name, data_type, coalesce(character_maximum_length::text, ''),"
                        " coalesce(numeric_precision::text, '') || ',' || coalesce(numeric_scale::text, ''),"
                        " is_identity, coalesce(identity_generation, '')"
                        " FROM information_schema.columns WHERE table_name = 'types' ORDER BY ordinal_position"),
              (std::vector<std::string>{
                  "recno|bigint||64,0|YES|BY DEFAULT",
                  "code|character|6|,|NO|",
                  "amount|numeric||12,2|NO|",
                  "rate|numeric||,|NO|",
                  "born|date||,|NO|",
                  "ok|boolean||,|NO|",
                  "notes|text||,|NO|",
                  "qty|integer||32,0|NO|",
                  "ratio|double precision||53,|NO|",
                  "price|numeric||19,4|NO|",
                  "stamp|timestamp without time zone||,|NO|",
                  "pic|bytea||,|NO|",
                  "raw|bytea||,|NO|",
                  "blob|bytea||,|NO|",
                  "varbin|bytea||,|NO|",
                  "var|text||,|NO|",
                  "odd|text||,|NO|",
                  "count|numeric||5,0|NO|",
              }));
    EXPECT_EQ(testpg::value(peer,
                            "SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid"
                            " AND a.attnum = ANY(i.indkey) WHERE i.indrelid = 'types'::regclass AND i.indisprimary"),
              "recno");

    // A row without recno gets one; character(n) keeps its blanks, numeric its digits.
    ASSERT_TRUE(conn.execute("INSERT INTO public.types (code, amount, rate) VALUES ('ab', 1234567890.12, 123456.7891)"))
        << conn.errorText();
    EXPECT_EQ(pgt::rows(peer, "SELECT recno, code, amount, rate FROM types"),
              (std::vector<std::string>{"1|ab    |1234567890.12|123456.7891"}));
    EXPECT_FALSE(conn.execute("INSERT INTO types (code) VALUES ('toolong')"));
    EXPECT_NE(conn.errorText().find("too long"), std::string::npos) << conn.errorText();
}

TEST_F(PgTest, AFieldNamedRecnoTakesThePlaceOfTheIdentity)
{
    const Value s = structOf({field("NAME", "C", 5, 0), field("RECNO", "N", 7, 0)});
    EXPECT_EQ(conn.createTableSql("r", s),
              "CREATE TABLE \"public\".\"r\" (\"name\" character(5), \"recno\" numeric(7,0))");
    ASSERT_TRUE(conn.createTable("r", s)) << conn.errorText();
    EXPECT_EQ(pgt::rows(peer,
                        "SELECT column_name || ':' || data_type || ':' || is_identity FROM information_schema.columns"
                        " WHERE table_name = 'r' ORDER BY ordinal_position"),
              (std::vector<std::string>{"name:character:NO", "recno:numeric:NO"}));
}

TEST_F(PgTest, CreateTableSqlEdges)
{
    // Lengths the server cannot take fall back to the unconstrained type.
    EXPECT_EQ(conn.createTableSql("e", structOf({field("A", "C", 0, 0), field("B", "N", 2000, 0), field("C", "N", 4, 6),
                                                 field("D", "c", 3, 0)})),
              "CREATE TABLE \"public\".\"e\" (\"recno\" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
              "\"a\" text, \"b\" numeric, \"c\" numeric, \"d\" character(3))");
    EXPECT_EQ(conn.createTableSql("x\"y", structOf({})),
              "CREATE TABLE \"public\".\"x\"\"y\" (\"recno\" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY)");
    EXPECT_THROW((void)conn.createTableSql("t", Value(5)), rt::Error);
    EXPECT_THROW((void)conn.createTableSql("t", structOf({Value("A")})), rt::Error);
    EXPECT_THROW((void)conn.createTableSql("t", structOf({rt::makeArray({Value("A")})})), rt::Error);
    EXPECT_THROW((void)conn.createTableSql("t", structOf({rt::makeArray({Value("A"), Value("C"), Value("9")})})),
                 rt::Error);
    EXPECT_EQ(conn.createTableSql("t", structOf({field("  ", "C", 1, 0), field("RECNO ", "N", 3, 0)})),
              "CREATE TABLE \"public\".\"t\" (\"campo_1\" character(1), \"recno\" numeric(3,0))");
}

// Field names as other writers leave them become names the server keeps
// as given, one per field; CreateTable uses them.
TEST(ColumnNames, TrimmedUniqueAndNamedWhenBlank)
{
    const std::string long64(64, 'x');
    const struct {
        const char* name;
        std::vector<std::string> fields, columns;
    } cases[] = {
        {"blanks around", {" NAME ", "RECNO "}, {"name", "recno"}},
        {"only blanks", {"A", "   ", ""}, {"a", "campo_2", "campo_3"}},
        {"the same once trimmed", {"CODE", "CODE ", "code"}, {"code", "code_2", "code_3"}},
        {"a name taken by a suffix", {"A_2", "A", "A"}, {"a_2", "a", "a_3"}},
        {"cut to 63 bytes", {long64, long64 + "y"}, {long64.substr(0, 63), long64.substr(0, 61) + "_2"}},
        {"not inside a character", {std::string(62, 'x') + "\xc3\xb1"}, {std::string(62, 'x')}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pgsql::columnNames(c.fields), c.columns) << c.name;
}

// ----------------------------------------------------------- statements

TEST_F(PgTest, ExecuteReportsTheServersMessageOnOneLine)
{
    EXPECT_TRUE(conn.execute("CREATE TABLE s (a int PRIMARY KEY); INSERT INTO s VALUES (1)"));
    EXPECT_TRUE(conn.execute(""));
    EXPECT_TRUE(conn.execute("SELECT * FROM s"));
    EXPECT_FALSE(conn.execute("INSERT INTO s VALUES (1)"));
    EXPECT_NE(conn.errorText().find("duplicate key"), std::string::npos) << conn.errorText();
    EXPECT_NE(conn.errorText().find(" (Key (a)=(1) already exists.)"), std::string::npos) << conn.errorText();
    EXPECT_EQ(conn.errorText().find('\n'), std::string::npos);
    EXPECT_FALSE(conn.execute("SELEC 1"));
    EXPECT_NE(conn.errorText().find("syntax error"), std::string::npos);
    // The failure keeps the statement, its SQLSTATE and the place.
    EXPECT_EQ(conn.failure().statement, "SELEC 1");
    EXPECT_EQ(conn.failure().sqlstate, "42601");
    EXPECT_EQ(conn.failure().position, 1);
}

TEST_F(PgTest, ExecuteNeverRunsAStatementCutShortAtANul)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE n (a int); INSERT INTO n VALUES (1), (2)"));
    const std::string sql("DELETE FROM n WHERE a = 1\0 OR true", 34);
    EXPECT_FALSE(conn.execute(sql));
    EXPECT_NE(conn.errorText().find("NUL"), std::string::npos);
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) FROM n"), "2");
}

TEST_F(PgTest, ExecuteTurnsDownCopyAndLeavesTheConnectionUsable)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE cp (a int)"));
    EXPECT_FALSE(conn.execute("COPY cp FROM STDIN"));
    EXPECT_FALSE(conn.execute("COPY cp TO STDOUT"));
    EXPECT_TRUE(conn.execute("INSERT INTO cp VALUES (7)")) << conn.errorText();
    EXPECT_EQ(testpg::value(peer, "SELECT a FROM cp"), "7");
}

TEST_F(PgTest, ExecuteRefusesWhileAPipelineRuns)
{
    ASSERT_TRUE(conn.execute("BEGIN"));
    {
        pgsql::StatementPipeline p(conn, {});
        ASSERT_TRUE(p.start()) << conn.errorText();
        EXPECT_FALSE(conn.execute("SELECT 1"));
        EXPECT_NE(conn.errorText().find("pipeline"), std::string::npos);
        EXPECT_FALSE(conn.existTables("x"));
        EXPECT_TRUE(p.finish()) << conn.errorText();
    }
    EXPECT_TRUE(conn.execute("COMMIT")) << conn.errorText();
}

// ------------------------------------------------------- compiled text

TEST_F(PgTest, CompiledTextDrivesTheConnectionObject)
{
    pgsql::registerPgsqlFunctions();
    rt::publicSet("cH", Value(pgt::host()));
    rt::publicSet("cU", Value(pgt::user()));
    rt::publicSet("nP", Value(pgt::port()));
    rt::publicSet("cDb", Value(db));
    rt::publicSet("oC", rt::evalText("XBPGSQL():New(cH, cDb, cU, '', nP, NIL)"));
    EXPECT_EQ(rt::evalText("ValType(oC)").str(), "O");
    EXPECT_FALSE(rt::evalText("oC:lError").asBool()) << rt::evalText("oC:ErrorText()").str();
    EXPECT_EQ(rt::evalText("oC:sChema").str(), "public");
    EXPECT_TRUE(rt::evalText("oC:Db_Exist(cDb)").asBool());
    EXPECT_FALSE(rt::evalText("oC:Db_Exist('dxct_none')").asBool());
    EXPECT_FALSE(rt::evalText("oC:ExistTables('clients')").asBool());
    EXPECT_TRUE(rt::evalText("oC:CreateTable('clients', {{'CODE', 'C', 7, 0}, {'PAID', 'N', 8, 2}})").asBool());
    EXPECT_TRUE(rt::evalText("oC:ExistTables('clients')").asBool());
    EXPECT_TRUE(rt::evalText("oC:Execute('INSERT INTO ' + oC:sChema + '.clients ( code,paid ) VALUES ( ' + "
                             "StoQ(\"O'Neil\") + ',12.50 )')")
                    .asBool());
    EXPECT_FALSE(rt::evalText("oC:Execute('INSERT INTO nowhere VALUES (1)')").asBool());
    EXPECT_EQ(pgt::rows(peer, "SELECT code, paid FROM clients"), (std::vector<std::string>{"O'Neil |12.50"}));
    EXPECT_THROW(rt::evalText("oC:Db_Exist(5)"), rt::Error);
    rt::evalText("oC:Close()");
    EXPECT_FALSE(rt::evalText("oC:Execute('SELECT 1')").asBool());

    // The port may come as digits; a wrong password sets lError.
    rt::publicSet("o2", rt::evalText("XBPGSQL():New(cH, NIL, cU, 'not-it', Str(nP), NIL)"));
    EXPECT_TRUE(rt::evalText("o2:lError").asBool());
    EXPECT_NE(rt::evalText("o2:ErrorText()").str().find("password"), std::string::npos);
    EXPECT_THROW(rt::evalText("XBPGSQL():New(cH, NIL, cU, '', {}, NIL)"), rt::Error);
    rt::publicRelease("oC");
    rt::publicRelease("o2");
}
