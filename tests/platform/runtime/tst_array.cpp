// Array functions, called by name as compiled text calls them.
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/ops.h"

#include <gtest/gtest.h>

using rt::Value;

namespace {
std::vector<long long> ints(const Value& a)
{
    std::vector<long long> out;
    for (const auto& v : a.asArray().items)
        out.push_back(v.isNil() ? -999 : v.asInt());
    return out;
}
using V = std::vector<long long>;
}  // namespace

TEST(Array, GrowShrinkInsertDelete)
{
    Value a = rt::makeArray({1, 2, 3});
    rt::callWith("AAdd", a, Value(4));
    EXPECT_EQ(ints(a), (V{1, 2, 3, 4}));
    rt::callWith("AIns", a, Value(2));
    EXPECT_EQ(ints(a), (V{1, -999, 2, 3}));
    rt::callWith("ADel", a, Value(1));
    EXPECT_EQ(ints(a), (V{-999, 2, 3, -999}));
    rt::callWith("ASize", a, Value(2));
    EXPECT_EQ(ints(a), (V{-999, 2}));
    rt::callWith("ADel", a, Value(9));  // out of range: nothing happens
    EXPECT_EQ(ints(a), (V{-999, 2}));
    EXPECT_EQ(rt::callWith("ATail", a).asInt(), 2);
    EXPECT_TRUE(rt::callWith("ATail", Value::array()).isNil());
    EXPECT_EQ(rt::callWith("Len", a).asInt(), 2);
}

TEST(Array, ScanByValueAndByBlock)
{
    Value a = rt::makeArray({Value("abc"), Value(2), Value("x")});
    EXPECT_EQ(rt::callWith("AScan", a, Value("ab")).asInt(), 1);  // non-exact text match
    EXPECT_EQ(rt::callWith("AScan", a, Value(2)).asInt(), 2);
    EXPECT_EQ(rt::callWith("AScan", a, Value("2")).asInt(), 0);   // kinds differ: no match, no error
    EXPECT_EQ(rt::callWith("AScan", a, Value("x"), Value(2)).asInt(), 3);
    Value isNum = rt::makeBlock([](rt::Args x) { return Value(x[0].isNum()); });
    EXPECT_EQ(rt::callWith("AScan", a, isNum).asInt(), 2);
}

TEST(Array, SortDefaultAndWithBlock)
{
    Value a = rt::makeArray({3, 1, 2});
    rt::callWith("ASort", a);
    EXPECT_EQ(ints(a), (V{1, 2, 3}));
    Value desc = rt::makeBlock([](rt::Args x) { return Value(rt::compare(x[0], x[1]) > 0); });
    rt::callWith("ASort", a, Value(), Value(), desc);
    EXPECT_EQ(ints(a), (V{3, 2, 1}));
    Value part = rt::makeArray({5, 4, 3, 2, 1});
    rt::callWith("ASort", part, Value(2), Value(3));
    EXPECT_EQ(ints(part), (V{5, 2, 3, 4, 1}));
}

TEST(Array, SortSurvivesAnInconsistentBlock)
{
    Value a = Value::array();
    for (int i = 0; i < 500; ++i)
        a.asArray().items.emplace_back(i % 7);
    Value liar = rt::makeBlock([](rt::Args) { return Value(true); });
    rt::callWith("ASort", a, Value(), Value(), liar);
    EXPECT_EQ(a.asArray().size(), 500u);
}

TEST(Array, EvalFillCloneAndDimensions)
{
    Value a = rt::makeArray({1, 2, 3});
    long long sum = 0;
    rt::callWith("AEval", a, rt::makeBlock([&sum](rt::Args x) { sum += x[0].asInt() * x[1].asInt(); }));
    EXPECT_EQ(sum, 1 * 1 + 2 * 2 + 3 * 3);
    rt::callWith("AFill", a, Value(0), Value(2));
    EXPECT_EQ(ints(a), (V{1, 0, 0}));

    Value grid = rt::callWith("Array", Value(2), Value(3));
    ASSERT_EQ(grid.asArray().size(), 2u);
    EXPECT_EQ(grid.asArray().items[1].asArray().size(), 3u);
    EXPECT_NE(grid.asArray().items[0].cell(), grid.asArray().items[1].cell());

    Value copy = rt::callWith("AClone", grid);
    copy.asArray().items[0].asArray().items[0] = Value(1);
    EXPECT_TRUE(grid.asArray().items[0].asArray().items[0].isNil());
}

TEST(Array, CloneOfACycleTerminatesAndKeepsTheShape)
{
    Value a = rt::makeArray({1});
    a.asArray().items.push_back(a);
    Value c = rt::aClone(a);
    EXPECT_EQ(c.asArray().items[1].cell(), c.cell());
    a.asArray().items.pop_back();  // break the cycles so they are freed
    c.asArray().items.pop_back();
}

TEST(Array, BoundsAndWrongArgumentsAreErrors)
{
    Value a = rt::makeArray({1});
    rt::Error e("none");
    EXPECT_FALSE(rt::guarded([&] { (void)a.asArray().at1(2); }, &e));
    EXPECT_EQ(e.description, "Bound error");
    EXPECT_FALSE(rt::guarded([&] { (void)a.asArray().at1(0); }));
    EXPECT_FALSE(rt::guarded([] { rt::callWith("AAdd", Value(1), Value(2)); }, &e));
    EXPECT_EQ(e.description, "Argument error");
    EXPECT_EQ(e.operation, "AADD");
    EXPECT_FALSE(rt::guarded([] { rt::callWith("Array", Value(1LL << 40)); }, &e));
    EXPECT_EQ(e.description, "Array too large");
}
