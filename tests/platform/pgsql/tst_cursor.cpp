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
    EXPECT_EQ(texts(), (std::vector<std::string>{"NIL", "apple", "APPLE", "Banana", "cherry", "zulu", "Ángel", "ñandú"}));
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

}  // namespace
