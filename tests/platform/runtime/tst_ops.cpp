// Operators: arithmetic with whole and decimal numbers, text and dates,
// exact and non-exact equality, ordering, and the errors of wrong kinds.
#include "platform/runtime/error.h"
#include "platform/runtime/ops.h"

#include <gtest/gtest.h>

using rt::Value;

namespace {
rt::Error errorOf(const std::function<void()>& f)
{
    rt::Error e("none");
    EXPECT_FALSE(rt::guarded(f, &e));
    return e;
}
}  // namespace

TEST(Ops, WholeNumbersStayWholeUntilOverflow)
{
    EXPECT_TRUE(rt::add(Value(2), Value(3)).isInteger());
    EXPECT_EQ(rt::add(Value(2), Value(3)).asInt(), 5);
    const Value big = rt::add(Value(INT64_MAX), Value(1));
    EXPECT_FALSE(big.isInteger());
    EXPECT_GT(big.asDouble(), 9.2e18);
    EXPECT_FALSE(rt::mul(Value(INT64_MAX), Value(2)).isInteger());
    EXPECT_TRUE(rt::negate(Value(INT64_MIN)).asDouble() > 0);
}

TEST(Ops, DecimalsFollowTheOperands)
{
    EXPECT_EQ(rt::add(Value::number(1.5, 1), Value::number(2.25, 2)).decimals(), 2);
    EXPECT_EQ(rt::mul(Value::number(1.5, 1), Value::number(2.25, 2)).decimals(), 3);
    const Value q = rt::div(Value(10), Value(4));
    EXPECT_DOUBLE_EQ(q.asDouble(), 2.5);
    EXPECT_EQ(q.decimals(), 2);
    EXPECT_TRUE(rt::div(Value(10), Value(5)).isInteger());
    EXPECT_EQ(rt::mod(Value(-7), Value(3)).asInt(), -1);
    EXPECT_EQ(rt::power(Value(2), Value(10)).asInt(), 1024);
}

TEST(Ops, ZeroDivideIsAnErrorNamingTheOperator)
{
    auto e = errorOf([] { (void)rt::div(Value(1), Value(0)); });
    EXPECT_EQ(e.description, "Zero divide");
    EXPECT_EQ(e.operation, "/");
    EXPECT_EQ(errorOf([] { (void)rt::mod(Value(1), Value::number(0.0, 2)); }).description, "Zero divide");
    // INT64_MIN / -1 must not trap.
    EXPECT_GT(rt::div(Value(INT64_MIN), Value(-1)).asDouble(), 0);
}

TEST(Ops, WrongKindsRaiseArgumentError)
{
    auto e = errorOf([] { (void)rt::add(Value("a"), Value(1)); });
    EXPECT_EQ(e.description, "Argument error");
    EXPECT_EQ(e.operation, "+");
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(errorOf([] { (void)rt::compare(Value(1), Value("1")); }).description, "Argument error");
    EXPECT_EQ(errorOf([] { (void)rt::truth(Value(1), ".AND."); }).operation, ".AND.");
}

TEST(Ops, TextOperators)
{
    EXPECT_EQ(rt::add(Value("ab"), Value("cd")).asString(), "abcd");
    EXPECT_EQ(rt::sub(Value("ab  "), Value("cd")).asString(), "abcd  ");
    EXPECT_TRUE(rt::contains(Value("b"), Value("abc")));
    EXPECT_FALSE(rt::contains(Value("x"), Value("abc")));
    EXPECT_FALSE(rt::contains(Value(""), Value("abc")));
}

TEST(Ops, DateArithmetic)
{
    const Value d(rt::Date{2461000});
    EXPECT_EQ(rt::add(d, Value(5)).asDate().julian, 2461005);
    EXPECT_EQ(rt::add(Value(5), d).asDate().julian, 2461005);
    EXPECT_EQ(rt::sub(d, Value(1)).asDate().julian, 2460999);
    EXPECT_EQ(rt::sub(rt::add(d, Value(30)), d).asInt(), 30);
    EXPECT_TRUE(rt::add(Value(rt::Date{}), Value(1)).asDate().empty());
}

TEST(Ops, EqualityExactAndNonExact)
{
    struct Case {
        const char* name;
        Value a, b;
        bool exact, loose;
    } cases[] = {
        {"same text", Value("abc"), Value("abc"), true, true},
        {"prefix", Value("abc"), Value("ab"), false, true},
        {"empty right", Value("abc"), Value(""), false, true},
        {"longer right", Value("ab"), Value("abc"), false, false},
        {"trailing blanks count", Value("ab "), Value("ab"), false, true},
        {"whole and decimal", Value(1), Value::number(1.0, 2), true, true},
        {"kinds differ", Value(1), Value("1"), false, false},
        {"nil", Value(), Value(), true, true},
        {"nil and zero", Value(), Value(0), false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rt::exactEqual(c.a, c.b), c.exact) << c.name;
        EXPECT_EQ(rt::looseEqual(c.a, c.b), c.loose) << c.name;
    }
    Value arr = Value::array();
    EXPECT_TRUE(rt::exactEqual(arr, Value(arr)));
    EXPECT_FALSE(rt::exactEqual(arr, Value::array()));
}

TEST(Ops, OrderingComparesTextAsFarAsTheRightSide)
{
    EXPECT_EQ(rt::compare(Value("abc"), Value("ab")), 0);
    EXPECT_EQ(rt::compare(Value("ab"), Value("abc")), -1);
    EXPECT_EQ(rt::compare(Value("b"), Value("abc")), 1);
    EXPECT_EQ(rt::compare(Value("ñb"), Value("ña")), 1);
    EXPECT_EQ(rt::compare(Value("Z"), Value("á")), -1);  // code point order
    EXPECT_EQ(rt::compare(Value(false), Value(true)), -1);
    EXPECT_EQ(rt::compare(Value::number(1.5, 1), Value(2)), -1);
}
