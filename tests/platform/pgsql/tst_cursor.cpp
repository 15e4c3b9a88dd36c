// The query cursor against the test server: values as the runtime's kinds,
// parameters that stay parameters, errors with their place, moves within
// the result, and sorting natively in the order the block would give.
#include "pg_fixture.h"

#include "platform/pgsql/cursor.h"
#include "platform/runtime/array.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/ops.h"
#include "platform/runtime/text.h"

#include <limits>

namespace {

using rt::Value;

class CursorTest : public pgt::PgTest {
protected:
    pgsql::Cursor& open(const std::string& sql, std::vector<Value> params = {})
    {
        value = Value(static_cast<rt::Object*>(new pgsql::Cursor()));
        cursor().open(conn, sql, params);
        return cursor();
    }
    pgsql::Cursor& cursor() { return *pgsql::asCursor(value); }
    // Field 1 of every row, in the cursor's order.
    std::vector<Value> column(int field = 1)
    {
        std::vector<Value> out;
        for (std::int64_t r = 1; r <= cursor().recCount(); ++r)
            out.push_back(cursor().valueAt(r, field));
        return out;
    }
    std::vector<std::string> texts(int field = 1)
    {
        std::vector<std::string> out;
        for (const Value& v : column(field))
            out.push_back(v.isNil() ? "NIL" : v.isChar() ? v.str() : rt::numberText(v));
        return out;
    }
    Value value;
};

TEST_F(CursorTest, ValuesComeBackAsTheRuntimesKinds)
{
    struct Case {
        const char* name;
        const char* expr;
        char letter;
        Value expected;
    };
    const Case cases[] = {
        {"int4", "42", 'N', Value(42)},
        {"int8 beyond 32 bits", "9000000000::int8", 'N', Value(9000000000LL)},
        {"numeric keeps its scale", "12.50::numeric(8,2)", 'N', Value::number(12.5, 2)},
        {"numeric of 15 digits is a number", "1234567890123.45::numeric", 'N', Value::number(1234567890123.45, 2)},
        {"numeric beyond a double stays its text", "12345678901234567890.12::numeric", 'N',
         Value("12345678901234567890.12")},
        {"numeric of many decimals stays its text", "1/3::numeric", 'N', Value("0.33333333333333333333")},
        {"numeric NaN", "'NaN'::numeric", 'N', Value("NaN")},
        {"int8 at its limit", "(-9223372036854775807 - 1)::int8", 'N', Value(std::numeric_limits<long long>::min())},
        {"float8", "0.25::float8", 'N', Value(0.25)},
        {"text with quotes and backslash", "$$it's \"q\" a\\b$$", 'C', Value("it's \"q\" a\\b")},
        {"non-ASCII text", "'Ñandú ü €'", 'C', Value("Ñandú ü €")},
        {"character(n) keeps its padding", "'ab'::character(4)", 'C', Value("ab  ")},
        {"empty text is not NULL", "''", 'C', Value("")},
        {"NULL is NIL", "NULL::text", 'C', Value()},
        {"date", "DATE '2024-02-29'", 'D', Value(rt::makeDate(2024, 2, 29))},
        {"infinite date stays text", "'infinity'::date", 'D', Value("infinity")},
        {"logical", "true", 'L', Value(true)},
        {"timestamp as text", "TIMESTAMP '2024-01-02 03:04:05'", 'C', Value("2024-01-02 03:04:05")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pgsql::Cursor& k = open(std::string("SELECT ") + c.expr + " AS v");
        ASSERT_FALSE(rt::isTrue(k.lError)) << k.errorText();
        EXPECT_EQ(k.fieldType(1), std::string(1, c.letter));
        const Value got = k.fieldGet(1);
        EXPECT_EQ(got.kind(), c.expected.kind());
        if (!c.expected.isNil() && got.kind() == c.expected.kind()) {
            EXPECT_TRUE(rt::exactEqual(got, c.expected)) << rt::literalText(got);
        }
        if (c.expected.isNum())
            EXPECT_EQ(got.decimals(), c.expected.decimals());
    }
}

TEST_F(CursorTest, ParametersReachTheServerAsValuesNeverAsText)
{
    const std::string hostile = "x'); DROP TABLE t; --";
    ASSERT_TRUE(testpg::exec(peer, "CREATE TABLE t (a int)"));
    pgsql::Cursor& k = open("SELECT $1::text, $2::date, $3::boolean, $4::numeric, $5::text",
                            {Value(hostile), Value(rt::makeDate(2023, 12, 31)), Value(true), Value::number(-3.75, 2), Value()});
    ASSERT_FALSE(rt::isTrue(k.lError)) << k.errorText();
    EXPECT_EQ(k.fieldGet(1).str(), hostile);
    EXPECT_EQ(k.fieldGet(2).asDate(), rt::makeDate(2023, 12, 31));
    EXPECT_TRUE(k.fieldGet(3).asBool());
    EXPECT_DOUBLE_EQ(k.fieldGet(4).asDouble(), -3.75);
    EXPECT_TRUE(k.fieldGet(5).isNil());
    EXPECT_EQ(testpg::value(peer, "SELECT count(*) FROM t"), "0");
}

TEST_F(CursorTest, RefusedStatementsSayWhyAndWhere)
{
    pgsql::Cursor& k = open("SELECT * FORM t");
    EXPECT_TRUE(rt::isTrue(k.lError));
    EXPECT_NE(k.errorText().find("syntax error"), std::string::npos) << k.errorText();
    EXPECT_NE(k.errorText().find("(position 10)"), std::string::npos) << k.errorText();
    EXPECT_EQ(k.failure().position, 10);
    EXPECT_EQ(k.failure().sqlstate, "42601");
    EXPECT_EQ(k.recCount(), 0);
    EXPECT_EQ(k.fCount(), 0);

    pgsql::Cursor& two = open("SELECT 1; SELECT 2");
    EXPECT_TRUE(rt::isTrue(two.lError)) << "two statements must not run";
}

TEST_F(CursorTest, MovesStayWithinTheResult)
{
    pgsql::Cursor& k = open("SELECT g FROM generate_series(1, 5) g");
    EXPECT_EQ(k.recNo(), 1);
    EXPECT_EQ(k.skipper(3), 3);
    EXPECT_EQ(k.fieldGet(1).asInt(), 4);
    EXPECT_EQ(k.skipper(10), 1);
    EXPECT_TRUE(k.eof());
    EXPECT_EQ(k.skipper(-10), -4);
    EXPECT_TRUE(k.bof());
    k.goBottom();
    EXPECT_EQ(k.recNo(), 5);
    EXPECT_FALSE(k.goTo(6));
    EXPECT_EQ(k.recNo(), 5);

    pgsql::Cursor& none = open("SELECT g FROM generate_series(1, 0) g");
    EXPECT_EQ(none.recNo(), 0);
    EXPECT_EQ(none.skipper(1), 0);
    EXPECT_TRUE(none.fieldGet(1).isNil());

    pgsql::Cursor& noFields = open("SELECT FROM generate_series(1, 3)");
    EXPECT_EQ(noFields.fCount(), 0);
    EXPECT_EQ(noFields.recCount(), 3);
    EXPECT_EQ(noFields.fieldName(1), "");
}

TEST_F(CursorTest, FieldsAreFoundByNameWithoutRegardToCase)
{
    pgsql::Cursor& k = open("SELECT 1 AS code, 2 AS \"Name\"");
    EXPECT_EQ(k.fieldPos("CODE"), 1);
    EXPECT_EQ(k.fieldPos("name"), 2);
    EXPECT_EQ(k.fieldPos("missing"), 0);
    EXPECT_TRUE(rt::isDerivedFrom(value, "SQLDataSet"));
}

const char* kWords = "SELECT w, n FROM (VALUES ('Banana', 3), ('apple', 10), (NULL, 2), ('Ángel', 1), ('cherry', NULL), "
                     "('APPLE', 7), ('zulu', -1), ('ñandú', 4)) v(w, n)";

TEST_F(CursorTest, NativeSortFoldsCaseAndPutsNullFirst)
{
    pgsql::Cursor& k = open(kWords);
    k.sort(Value(static_cast<rt::Block*>(new pgsql::FieldOrder(1, false))));
    // Spanish order: accents and case do not order, Ñ comes after N.
    EXPECT_EQ(texts(), (std::vector<std::string>{"NIL", "Ángel", "apple", "APPLE", "Banana", "cherry", "ñandú", "zulu"}));
    k.sort(Value(static_cast<rt::Block*>(new pgsql::FieldOrder(2, true))));
    EXPECT_EQ(texts(2), (std::vector<std::string>{"10", "7", "4", "3", "2", "1", "-1", "NIL"}));
}

// The native path must give what evaluating the comparison as a block gives.
TEST_F(CursorTest, NativeSortMatchesTheBlockEvaluatedPerPair)
{
    for (int field : {1, 2})
        for (bool descend : {false, true}) {
            SCOPED_TRACE(std::to_string(field) + (descend ? " descending" : " ascending"));
            const Value native(static_cast<rt::Block*>(new pgsql::FieldOrder(field, descend)));
            // The same comparison, but not recognisable as one: evaluated per pair.
            const Value plain = rt::makeBlock([native](rt::Args a) { return rt::eval(native, a); });
            open(kWords).sort(native);
            const std::vector<std::string> a = texts(field);
            open(kWords).sort(plain);
            EXPECT_EQ(texts(field), a);
        }
}

TEST_F(CursorTest, SortKeepsTheCurrentRowAndAFailingBlockChangesNothing)
{
    pgsql::Cursor& k = open(kWords);
    k.goTo(2);  // apple
    k.sort(Value(static_cast<rt::Block*>(new pgsql::FieldOrder(2, false))));
    EXPECT_EQ(k.fieldGet(1).str(), "apple");
    EXPECT_EQ(k.recNo(), 8);
    const std::vector<std::string> before = texts();
    const Value failing = rt::makeBlock([](rt::Args) -> Value { rt::raise("Argument error", "<"); });
    EXPECT_FALSE(rt::guarded([&] { k.sort(failing); }));
    EXPECT_EQ(texts(), before);
    EXPECT_EQ(k.fieldGet(1).str(), "apple");
}

// Decimals compare exactly, whatever their length: what a double of the
// same values would call equal or order the other way round.
TEST_F(CursorTest, DecimalTextComparesExactly)
{
    struct Case {
        const char* x;
        const char* y;
        int expected;
    };
    const Case cases[] = {
        {"12345678901234567890.12", "12345678901234567890.13", -1},
        {"0.33333333333333333333", "0.3333333333333333333", 1},
        {"-0.5", "-0.49999999999999999999", -1},
        {"10", "9.99999999999999999999", 1},
        {"1.50", "1.5", 0},
        {"-0.00", "0", 0},
        {"007", "7", 0},
        {"-Infinity", "-99999999999999999999", -1},
        {"Infinity", "NaN", -1},  // the server puts NaN after every number
        {"NaN", "NaN", 0},
        {"$1,234.56", "$999.99", 1},  // money as the server writes it
        {"-$1,234.56", "$0.01", -1},
        {"1.234,56 €", "999,99 €", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.x) + " vs " + c.y);
        EXPECT_EQ(pgsql::compareDecimalText(c.x, c.y), c.expected);
        EXPECT_EQ(pgsql::compareDecimalText(c.y, c.x), -c.expected);
    }
}

// Numeric and money columns sort as the server's ORDER BY does, digit for
// digit, also where the values differ beyond a double's precision.
TEST_F(CursorTest, NativeSortOrdersDecimalsAsTheServerDoes)
{
    const std::string values =
        "VALUES (12345678901234567890.13::numeric, '2.01'::money), (12345678901234567890.12, '1000.5'), ('NaN', '-3'), "
        "(NULL, NULL), (-1e-30, '0'), (0.1, '-1000.25'), (12345678901234567890.121, '999.99')";
    for (int field : {1, 2}) {
        SCOPED_TRACE(field);
        const std::string order = "SELECT string_agg(coalesce(column" + std::to_string(field) +
                                  "::text, 'NIL'), ' ' ORDER BY column" + std::to_string(field) +
                                  " NULLS FIRST) FROM (" + values + ") v";
        const std::string server = testpg::value(peer, order);
        pgsql::Cursor& k = open("SELECT * FROM (" + values + ") v");
        k.sort(Value(static_cast<rt::Block*>(new pgsql::FieldOrder(field, false))));
        std::string ours;
        for (std::int64_t r = 1; r <= k.recCount(); ++r)
            ours += (r > 1 ? " " : "") + std::string(k.textAt(r, field) ? k.textAt(r, field) : "NIL");
        EXPECT_EQ(ours, server);
    }
}

// A result read as it comes: the first rows before the rest, a stop that
// keeps what came and frees the connection, a failure after some rows.
TEST_F(CursorTest, RowsComeAsTheServerSendsThemAndAStopKeepsThem)
{
    value = Value(static_cast<rt::Object*>(new pgsql::Cursor()));
    pgsql::Cursor& k = cursor();
    // Endless for a test: 10,000 x 100,000 rows.
    ASSERT_TRUE(k.start(conn, "SELECT a, b FROM generate_series(1, 10000) a, generate_series(1, 100000) b"))
        << k.errorText();
    EXPECT_TRUE(k.loading());
    EXPECT_EQ(k.fCount(), 2);
    EXPECT_GE(k.recCount(), 1);
    EXPECT_EQ(k.recNo(), 1);
    const std::int64_t before = k.recCount();
    EXPECT_EQ(k.fetch(true, 1000), 1000);
    EXPECT_EQ(k.recCount(), before + 1000);
    k.cancel();
    EXPECT_FALSE(k.loading());
    EXPECT_TRUE(k.cancelled());
    EXPECT_FALSE(rt::isTrue(k.lError)) << "a stop asked for is no failure: " << k.errorText();
    EXPECT_GE(k.recCount(), before + 1000);
    EXPECT_EQ(k.valueAt(1, 1).asInt(), 1);
    EXPECT_EQ(conn.value("SELECT 'free'"), "free") << "the connection runs the next statement";

    ASSERT_TRUE(k.start(conn, "SELECT 10 / (5000 - g) FROM generate_series(1, 10000) g"));
    k.fetch(true);
    EXPECT_TRUE(rt::isTrue(k.lError));
    EXPECT_EQ(k.sqlState(), "22012");
    EXPECT_LT(k.recCount(), 5000);
    EXPECT_FALSE(k.loading());
    EXPECT_FALSE(open("SELECT 10 / (5000 - g) FROM generate_series(1, 10000) g").open(conn, "SELECT 1/0"));
    EXPECT_EQ(cursor().recCount(), 0) << "open() reads a result whole or not at all";
}

}  // namespace
