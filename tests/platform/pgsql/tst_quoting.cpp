// Quoting: literal forms, and awkward text and dates round-tripped through
// the server, whatever its string and date settings.
#include "pg_fixture.h"

#include "platform/runtime/compiler.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"

using pgt::PgTest;
using rt::Value;

namespace {

Value date(int y, int m, int d) { return Value(rt::makeDate(y, m, d)); }

// Text that has broken naive quoting somewhere.
std::vector<std::string> nastyTexts()
{
    return {
        "",
        "plain",
        "it's",
        "''",
        "\\",
        "\\'",
        "'\\",
        "abc\\",
        "\\\\'; DROP TABLE q; --",
        "a'); DROP TABLE q; --",
        "' OR '1'='1",
        "$$",
        "$t$ x $t$",
        "\"double\"",
        "E'x'",
        "\\x41\\101\\u0041",
        "; -- /* */",
        "tab\there\nnew line\r\n",
        "\xC3\xB1"
        "and"
        "\xC3\xBA"
        " \xE2\x82\xAC \xF0\x9F\x98\x80",
        "    trailing blanks    ",
        std::string(3000, '\''),
        std::string(2000, '\\') + "'",
    };
}

}  // namespace

TEST(Quoting, LiteralForms)
{
    EXPECT_EQ(pgsql::stoq(""), "''");
    EXPECT_EQ(pgsql::stoq("it's"), "'it''s'");
    EXPECT_EQ(pgsql::stoq("a\\b"), "E'a\\\\b'");
    EXPECT_EQ(pgsql::stoq("'\\"), "E'''\\\\'");
    EXPECT_EQ(pgsql::stoq(std::string("a\0b'", 4)), "'ab'''");
    EXPECT_EQ(pgsql::quoteIdent("plain"), "\"plain\"");
    EXPECT_EQ(pgsql::quoteIdent("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(pgsql::quoteIdent(std::string("a\0b", 3)), "\"ab\"");
}

TEST(Quoting, DateLiterals)
{
    EXPECT_EQ(pgsql::dtoq(date(2024, 1, 31)), "'2024-01-31'");
    EXPECT_EQ(pgsql::dtoq(date(2024, 1, 31), false), "2024-01-31");
    EXPECT_EQ(pgsql::dtoq(date(5, 3, 1)), "'0005-03-01'");
    EXPECT_EQ(pgsql::dtoq(date(9999, 12, 31)), "'9999-12-31'");
    EXPECT_EQ(pgsql::dtoq(Value(rt::Date{})), "NULL");
    EXPECT_EQ(pgsql::dtoq(Value(rt::Date{}), false), "");
    EXPECT_THROW((void)pgsql::dtoq(Value("2024-01-31")), rt::Error);
}

TEST(Quoting, RuntimeFunctions)
{
    pgsql::registerPgsqlFunctions();
    const std::string saved = rt::setDateFormat("dd-mm-yyyy");  // the quoted form ignores the format
    EXPECT_EQ(rt::evalText("StoQ(\"it's\")").str(), "'it''s'");
    EXPECT_EQ(rt::evalText("DtoQ(CToD('31-01-2024'))").str(), "'2024-01-31'");
    EXPECT_EQ(rt::evalText("DtoQ(CToD('31-01-2024'), .T.)").str(), "'2024-01-31'");
    EXPECT_EQ(rt::evalText("DtoQ(CToD('31-01-2024'), .F.)").str(), "2024-01-31");
    EXPECT_EQ(rt::evalText("DtoQ(CToD(''))").str(), "NULL");
    EXPECT_THROW(rt::evalText("StoQ(5)"), rt::Error);
    EXPECT_THROW(rt::evalText("StoQ()"), rt::Error);
    EXPECT_THROW(rt::evalText("DtoQ('2024-01-31')"), rt::Error);
    EXPECT_THROW(rt::evalText("DtoQ(Date(), 1)"), rt::Error);
    rt::setDateFormat(saved);
}

// Every text goes in through an INSERT of its literal and comes back
// unchanged, with standard_conforming_strings on and off.
TEST_F(PgTest, AwkwardTextRoundTripsThroughInsert)
{
    const auto texts = nastyTexts();
    for (const char* scs : {"on", "off"}) {
        SCOPED_TRACE(scs);
        ASSERT_TRUE(conn.execute(std::string("SET standard_conforming_strings = ") + scs));
        ASSERT_TRUE(conn.execute("DROP TABLE IF EXISTS q; CREATE TABLE q (id int, v text)"));
        for (std::size_t i = 0; i < texts.size(); ++i)
            ASSERT_TRUE(conn.execute("INSERT INTO q VALUES (" + std::to_string(i) + ", " + pgsql::stoq(texts[i]) + ")"))
                << i << ": " << conn.errorText();
        PGresult* r = PQexec(peer, "SELECT v FROM q ORDER BY id");
        ASSERT_EQ(PQntuples(r), static_cast<int>(texts.size()));
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(PQgetvalue(r, static_cast<int>(i), 0), texts[i]) << i;
        PQclear(r);
        // The literal also compares equal to the same text sent as a parameter.
        for (const auto& t : texts)
            EXPECT_EQ(pgt::valueWith(conn.handle(), "SELECT " + pgsql::stoq(t) + " = $1", t), "t") << t;
    }
}

TEST_F(PgTest, NulCharactersAreDroppedNotCuttingTheStatement)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE z (v text)"));
    ASSERT_TRUE(conn.execute("INSERT INTO z VALUES (" + pgsql::stoq(std::string("a\0'); DROP TABLE z; --", 22)) + ")"))
        << conn.errorText();
    EXPECT_EQ(testpg::value(peer, "SELECT v FROM z"), "a'); DROP TABLE z; --");
}

TEST_F(PgTest, DateLiteralsMeanTheSameDayUnderAnyDateStyle)
{
    ASSERT_TRUE(conn.execute("CREATE TABLE d (id int, born date)"));
    const std::vector<Value> dates = {date(2024, 1, 31), date(1, 1, 1), date(1999, 12, 31), date(2000, 2, 29),
                                      Value(rt::Date{})};
    const std::vector<const char*> styles = {"ISO, YMD", "SQL, DMY", "German", "Postgres, MDY"};
    int id = 0;
    for (const char* style : styles) {
        ASSERT_TRUE(conn.execute(std::string("SET DateStyle = '") + style + "'"));
        for (const Value& d : dates)
            ASSERT_TRUE(conn.execute("INSERT INTO d VALUES (" + std::to_string(id++) + ", " + pgsql::dtoq(d) + ")"))
                << style << ": " << conn.errorText();
    }
    const auto got = pgt::rows(peer, "SELECT coalesce(to_char(born, 'YYYY-MM-DD'), '<NULL>') FROM d ORDER BY id");
    ASSERT_EQ(got.size(), dates.size() * styles.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        const std::string want = pgsql::dtoq(dates[i % dates.size()], false);
        EXPECT_EQ(got[i], want.empty() ? "<NULL>" : want) << i;
    }
    // The unquoted form matches the date as this connection shows it, for LIKE.
    ASSERT_TRUE(conn.execute("SET DateStyle = 'ISO, YMD'"));
    EXPECT_EQ(pgt::valueWith(conn.handle(), "SELECT count(*) FROM d WHERE born::text LIKE $1",
                             "%" + pgsql::dtoq(date(2024, 1, 31), false) + "%"),
              std::to_string(styles.size()));
}
