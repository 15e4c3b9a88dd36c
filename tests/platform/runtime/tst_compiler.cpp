// The expression compiler: literals, precedence, blocks and closures,
// assignment targets, fields through the hooks, and errors with positions.
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/ops.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using rt::Value;

namespace {

// --- test functions: a call counter, an argument echo and a block runner ---
int calls = 0;
Value tstCount(rt::Args) { return Value(++calls); }
Value tstArgs(rt::Args a) { return rt::makeArray(std::vector<Value>(a.begin(), a.end())); }
Value tstEval(rt::Args a) { return rt::eval(rt::argAt(a, 0), a.size() > 1 ? a.subspan(1) : rt::Args()); }
// TST_SET(@var, value): assigns through the reference, then reads it back.
Value tstSet(rt::Args a)
{
    rt::evalWith(rt::argAt(a, 0), rt::argAt(a, 1));
    return rt::eval(rt::argAt(a, 0));
}
Value keptReference;
Value tstKeep(rt::Args a) { return keptReference = rt::argAt(a, 0); }

class Compiler : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        rt::registerFunction("TST_COUNT", &tstCount);
        rt::registerFunction("TST_ARGS", &tstArgs);
        rt::registerFunction("TST_EVAL", &tstEval);
        rt::registerFunction("TST_SET", &tstSet);
        rt::registerFunction("TST_KEEP", &tstKeep);
    }
    void SetUp() override { calls = 0; }
};

Value ev(std::string_view text) { return rt::evalText(text); }

std::string show(const Value& v) { return rt::literalText(v) + " (" + v.typeLetter() + ")"; }

rt::Error compileError(std::string_view text)
{
    try {
        (void)rt::compile(text);
    } catch (const rt::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no compile error for: " << text;
    return rt::Error("");
}

rt::Error runtimeError(std::string_view text)
{
    const Value b = rt::compile(text);
    try {
        (void)rt::eval(b);
    } catch (const rt::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no runtime error for: " << text;
    return rt::Error("");
}

// ------------------------------------------------------------------ literals

TEST_F(Compiler, NumberLiterals)
{
    const Value whole = ev("5");
    ASSERT_TRUE(whole.isNum());
    EXPECT_TRUE(whole.isInteger());
    EXPECT_EQ(whole.asInt(), 5);

    const Value money = ev("1234.50");
    ASSERT_TRUE(money.isNum());
    EXPECT_FALSE(money.isInteger());
    EXPECT_DOUBLE_EQ(money.asDouble(), 1234.5);
    EXPECT_EQ(money.decimals(), 2);

    const Value half = ev(".5");
    EXPECT_DOUBLE_EQ(half.asDouble(), 0.5);
    EXPECT_EQ(half.decimals(), 1);

    const Value negative = ev("-7");
    EXPECT_TRUE(negative.isInteger());
    EXPECT_EQ(negative.asInt(), -7);

    // Past 64 bits a whole number becomes a decimal one, not a wrapped integer.
    const Value huge = ev("99999999999999999999");
    ASSERT_TRUE(huge.isNum());
    EXPECT_DOUBLE_EQ(huge.asDouble(), 1e20);
}

TEST_F(Compiler, StringLiterals)
{
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {R"("abc")", "abc"},
        {"[a \"quoted\" 'word']", "a \"quoted\" 'word'"},
        {"\"\"", ""},
        {"\"ñandú €\"", "ñandú €"},
        {"([x])", "x"},
    };
    for (const Case& c : cases) {
        const Value v = ev(c.text);
        ASSERT_TRUE(v.isChar()) << c.text;
        EXPECT_EQ(v.asString(), c.expected) << c.text;
    }
    EXPECT_EQ(ev("\"ñandú\"").charLen(), 5u);
}

TEST_F(Compiler, LogicalAndNilLiterals)
{
    for (const char* t : {".T.", ".t.", ".Y.", ".y."})
        EXPECT_TRUE(ev(t).isLogical() && ev(t).asBool()) << t;
    for (const char* t : {".F.", ".f.", ".N.", ".n."})
        EXPECT_TRUE(ev(t).isLogical() && !ev(t).asBool()) << t;
    EXPECT_TRUE(ev("NIL").isNil());
    EXPECT_TRUE(ev("nil").isNil());
}

TEST_F(Compiler, ArrayLiterals)
{
    const Value a = ev(R"({1, "a", {}})");
    ASSERT_TRUE(a.isArray());
    ASSERT_EQ(a.asArray().size(), 3u);
    EXPECT_EQ(a.asArray().at1(1).asInt(), 1);
    EXPECT_EQ(a.asArray().at1(2).asString(), "a");
    EXPECT_EQ(a.asArray().at1(3).asArray().size(), 0u);

    EXPECT_EQ(ev("{}").asArray().size(), 0u);
    const Value gaps = ev("{1,,3}");
    ASSERT_EQ(gaps.asArray().size(), 3u);
    EXPECT_TRUE(gaps.asArray().at1(2).isNil());

    // Each evaluation makes a new array.
    const Value b = rt::compile("{0}");
    EXPECT_NE(rt::eval(b).cell(), rt::eval(b).cell());
}

// ---------------------------------------------------------------- operators

TEST_F(Compiler, Precedence)
{
    struct Case {
        const char* text;
        Value expected;
    };
    const Case cases[] = {
        {"2 + 3 * 4", 14},
        {"(2 + 3) * 4", 20},
        {"10 - 4 - 3", 3},
        {"2 ** 3 ** 2", 64},  // left to right
        {"2 ^ 3", 8},
        {"-2 ** 2", 4},       // unary minus binds tighter than power
        {"2 * -3", -6},
        {"7 % 4 + 1", 4},
        {"(1, 2, 3)", 3},
        {"2 + 3 = 5", true},
        {"1 + 1 == 2 .AND. 2 < 3", true},
        {".NOT. 1 = 2", true},
        {"!.F. .AND. .F.", false},
        {".T. .OR. .F. .AND. .F.", true},
        {"(.T. .OR. .F.) .AND. .F.", false},
        {".t. .and. .not. .f.", true},
        {"1 < 2 .AND. 3 > 2 .AND. 2 <= 2 .AND. 3 >= 4", false},
        {"'b' $ 'abc'", true},
        {"'abc' = 'ab'", true},
        {"'abc' == 'ab'", false},
        {"'abc' != 'ab'", false},
        {"'abc' <> 'x'", true},
        {"'abc' # 'abc'", false},
        {"'ab' + 'cd' == 'abcd'", true},
        {"+5", 5},
    };
    for (const Case& c : cases) {
        const Value v = ev(c.text);
        EXPECT_TRUE(v.kind() == c.expected.kind() && rt::exactEqual(v, c.expected))
            << c.text << " gave " << show(v) << ", expected " << show(c.expected);
    }
}

TEST_F(Compiler, ShortCircuitAndIif)
{
    EXPECT_FALSE(ev(".F. .AND. TST_COUNT() > 0").asBool());
    EXPECT_TRUE(ev(".T. .OR. TST_COUNT() > 0").asBool());
    EXPECT_EQ(ev("IIF(.T., 1, TST_COUNT())").asInt(), 1);
    EXPECT_EQ(ev("if(.F., TST_COUNT(), 2)").asInt(), 2);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(ev("IIF(.F., 1, TST_COUNT())").asInt(), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(ev("IIF(.T., NIL, 1)").isNil());
    // A non-logical operand is an error, not "false".
    EXPECT_EQ(runtimeError(".T. .AND. 1").description, "Argument error");
    EXPECT_EQ(runtimeError("IIF(1, 2, 3)").description, "Argument error");
}

TEST_F(Compiler, FunctionArguments)
{
    EXPECT_EQ(rt::literalText(ev("TST_ARGS(1,,3)")), "{1, NIL, 3}");
    EXPECT_EQ(ev("TST_ARGS()").asArray().size(), 0u);
    EXPECT_EQ(rt::literalText(ev("tst_args(,)")), "{NIL, NIL}");
    const Value many = ev("TST_ARGS(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20)");
    ASSERT_EQ(many.asArray().size(), 20u);
    EXPECT_EQ(many.asArray().at1(20).asInt(), 20);
}

// ------------------------------------------------------------------ blocks

TEST_F(Compiler, BlockParameters)
{
    const Value add = rt::compile("{|a, b| a + b}");
    ASSERT_TRUE(add.isBlock());
    EXPECT_EQ(rt::evalWith(add, 2, 3).asInt(), 5);
    EXPECT_TRUE(rt::evalWith(rt::compile("{|a, b| b == NIL}"), 1).asBool());
    EXPECT_EQ(rt::evalWith(rt::compile("{|a| a}"), 1, 2, 3).asInt(), 1);
    EXPECT_EQ(rt::evalWith(rt::compile("{|a| a := a * 2, a + 1}"), 4).asInt(), 9);
    EXPECT_TRUE(rt::eval(rt::compile("{|| }")).isNil());
    // Six parameters: more than fit the frame kept inline.
    EXPECT_EQ(rt::evalWith(rt::compile("{|a,b,c,d,e,f| a+b+c+d+e+f}"), 1, 2, 3, 4, 5, 6).asInt(), 21);
    // Parameter names are case-insensitive and hide publics of the same name.
    rt::publicSet("TSTA", 100);
    EXPECT_EQ(rt::evalWith(rt::compile("{|tstA| TSTA + 1}"), 1).asInt(), 2);
    rt::publicRelease("TSTA");
}

TEST_F(Compiler, ClosureOutlivesItsMaker)
{
    const Value maker = rt::compile("{|x| {|y| x + y}}");
    const Value add10 = rt::evalWith(maker, 10);
    const Value add20 = rt::evalWith(maker, 20);
    ASSERT_TRUE(add10.isBlock());
    EXPECT_EQ(rt::evalWith(add10, 5).asInt(), 15);
    EXPECT_EQ(rt::evalWith(add20, 5).asInt(), 25);
}

TEST_F(Compiler, ClosuresShareTheirFrame)
{
    const Value pair = rt::evalWith(rt::compile("{|n| {{|| n := n + 1}, {|| n}}}"), 0);
    const Value inc = pair.asArray().at1(1);
    const Value get = pair.asArray().at1(2);
    rt::eval(inc);
    rt::eval(inc);
    EXPECT_EQ(rt::eval(get).asInt(), 2);
}

TEST_F(Compiler, ClosureOverSeveralLevels)
{
    const Value three = rt::compile("{|a| {|b| {|c| a * 100 + b * 10 + c}}}");
    EXPECT_EQ(rt::evalWith(rt::evalWith(rt::evalWith(three, 1), 2), 3).asInt(), 123);
    // The middle block has a parameter of its own that nothing captures.
    const Value skip = rt::compile("{|a| {|b| {|| a}}}");
    EXPECT_EQ(rt::eval(rt::evalWith(rt::evalWith(skip, 7), 8)).asInt(), 7);
    // A nested block that uses only its own parameters.
    EXPECT_EQ(rt::evalWith(rt::compile("{|a| Eval({|b| b * 2}, a)}"), 21).asInt(), 42);
}

TEST_F(Compiler, BlockEvalMethodAndNesting)
{
    const Value twice = rt::compile("{|x| x * 2}");
    EXPECT_EQ(rt::evalWith(rt::compile("{|b| b:eval(4)}"), twice).asInt(), 8);
    EXPECT_EQ(rt::evalWith(rt::compile("{|b| TST_EVAL(b, 5)}"), twice).asInt(), 10);
}

TEST_F(Compiler, EndlessRecursionIsAnError)
{
    rt::publicSet("TSTREC", rt::compile("{|n| TST_EVAL(TSTREC, n + 1)}"));
    const rt::Error e = runtimeError("TST_EVAL(TSTREC, 0)");
    EXPECT_EQ(e.description, "Recursion too deep");
    rt::publicRelease("TSTREC");
}

TEST_F(Compiler, BlockTextRoundTrip)
{
    for (const char* t : {"{|x| x+1}", "  {|a, b|  a $ b }  ", "1 + 2", "Upper(\"ñandú\")", "{|| }"}) {
        const Value b = rt::compile(t);
        EXPECT_EQ(b.asBlock().text(), t);
    }
    // A block made inside a block carries its own part of the text.
    const Value inner = rt::evalWith(rt::compile("{|x| {|y| y * x}}"), 2);
    EXPECT_EQ(inner.asBlock().text(), "{|y| y * x}");
    // A lone block literal compiles to that block, an expression to a block of none.
    EXPECT_EQ(rt::evalWith(rt::compile("{|x| x + 1}"), 1).asInt(), 2);
    EXPECT_TRUE(rt::eval(rt::compile("1, {|x| x + 1}")).isBlock());
    EXPECT_TRUE(rt::evalText("{|x| x + 1}").isBlock());
}

// -------------------------------------------------------------- assignment

TEST_F(Compiler, AssignToParameters)
{
    struct Case {
        const char* text;
        long long expected;
    };
    const Case cases[] = {
        {"{|a| a := 5, a}", 5},   {"{|a| a += 2}", 5},       {"{|a| a -= 2}", 1},
        {"{|a| a *= 4}", 12},     {"{|a| a /= 3}", 1},       {"{|a| a++}", 3},
        {"{|a| a++, a}", 4},      {"{|a| ++a}", 4},          {"{|a| a--, a}", 2},
        {"{|a, b| a := b := 4, a + b}", 8},                  {"{|a| {|| a := 9}:eval(), a}", 9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rt::evalWith(rt::compile(c.text), 3).asDouble(), c.expected) << c.text;
}

TEST_F(Compiler, AssignToPublics)
{
    rt::publicRelease("TSTPUB");
    EXPECT_EQ(ev("TstPub := 7").asInt(), 7);
    EXPECT_EQ(rt::publicGet("TSTPUB").asInt(), 7);
    EXPECT_EQ(ev("tstpub += 1").asInt(), 8);
    EXPECT_EQ(ev("M->TSTPUB").asInt(), 8);
    ev("M->TSTPUB := 'x'");
    EXPECT_EQ(rt::publicGet("TSTPUB").asString(), "x");
    rt::publicRelease("TSTPUB");
    EXPECT_EQ(runtimeError("TSTPUB").description, "Variable does not exist");
    EXPECT_EQ(runtimeError("TSTPUB += 1").description, "Variable does not exist");
}

TEST_F(Compiler, AssignToArrayElements)
{
    const Value a = rt::makeArray({1, rt::makeArray({10, 20}), "s"});
    EXPECT_EQ(rt::evalWith(rt::compile("{|a| a[1] := 'x', a[1]}"), a).asString(), "x");
    EXPECT_EQ(rt::evalWith(rt::compile("{|a| a[2, 2] += 5}"), a).asInt(), 25);
    EXPECT_EQ(rt::evalWith(rt::compile("{|a| a[2][1]++}"), a).asInt(), 10);
    EXPECT_EQ(rt::literalText(a), R"({"x", {11, 25}, "s"})");

    EXPECT_EQ(rt::evalWith(rt::compile("{|a, i| a[i]}"), a, 3).asString(), "s");
    EXPECT_EQ(ev("{'p', 'q'}[2]").asString(), "q");

    const auto fails = [&](const char* text) {
        try {
            rt::evalWith(rt::compile(text), a);
        } catch (const rt::Error& e) {
            return e;
        }
        ADD_FAILURE() << text;
        return rt::Error("");
    };
    EXPECT_EQ(fails("{|a| a[4]}").description, "Bound error");
    EXPECT_EQ(fails("{|a| a[0]}").description, "Bound error");
    EXPECT_EQ(fails("{|a| a[4] := 1}").description, "Bound error");
    EXPECT_EQ(fails("{|a| a[3][1]}").operation, "array access");
    EXPECT_EQ(fails("{|a| a['1']}").operation, "array access");
    EXPECT_EQ(fails("{|a| a[3][1] := 0}").operation, "array assign");
}

TEST_F(Compiler, MembersOfObjects)
{
    rt::DynClass point("TSTPOINT");
    point.addVar("X", 1);
    point.addVar("Y", 2);
    point.addMethod("Scaled", rt::compile("{|self, n| self:x * n + self:y}"));
    const Value o = point.instantiate();

    EXPECT_EQ(rt::evalWith(rt::compile("{|o| o:x}"), o).asInt(), 1);
    EXPECT_EQ(rt::evalWith(rt::compile("{|o| o:X := 5, o:x}"), o).asInt(), 5);
    EXPECT_EQ(rt::evalWith(rt::compile("{|o| o:y += 10}"), o).asInt(), 12);
    EXPECT_EQ(rt::evalWith(rt::compile("{|o| o:Scaled(3)}"), o).asInt(), 27);
    EXPECT_EQ(rt::evalWith(rt::compile("{|o| o:ClassName()}"), o).asString(), "TSTPOINT");
    EXPECT_THROW(rt::evalWith(rt::compile("{|o| o:nosuch}"), o), rt::Error);
    EXPECT_THROW(rt::evalWith(rt::compile("{|o| o:x}"), 5), rt::Error);
}

// ------------------------------------- names of the compiling code, references

// A variable of C++ code as a get/set block, the way code that compiles a
// text hands its locals to it.
Value getSetOf(Value& var)
{
    return rt::makeBlock([&var](rt::Args a) { return a.empty() ? var : (var = a[0]); });
}

TEST_F(Compiler, NamesOfTheCompilingCode)
{
    Value list = rt::makeArray({"a", "b", false});
    Value count = 1;
    const rt::Names names{{{"aList", getSetOf(list)}, {"nCount", getSetOf(count)}},
                          {{"LIST_FLAG", Value(3)}, {"nCount", Value(99)}}};

    // Read, written, read through an index named by a constant; a constant
    // wins over a variable of the same name.
    EXPECT_EQ(rt::eval(rt::compile("aList[2]", names)).asString(), "b");
    EXPECT_EQ(rt::eval(rt::compile("ALIST[LIST_FLAG] := .T., alist[list_flag]", names)).asBool(), true);
    EXPECT_TRUE(list.asArray().items[2].asBool());
    EXPECT_EQ(rt::eval(rt::compile("nCount", names)).asInt(), 99);
    // A block sees the variable as it is when it runs, not when it was made.
    const Value later = rt::compile("{|| aList[1]}", names);
    list.asArray().items[0] = "z";
    EXPECT_EQ(rt::eval(later).asString(), "z");
    // Assigning the whole variable goes through its block.
    rt::eval(rt::compile("aList := {1}", names));
    EXPECT_EQ(rt::literalText(list), "{1}");
    // A parameter hides a name; unknown names stay publics.
    EXPECT_EQ(rt::evalWith(rt::compile("{|aList| aList}", names), 7).asInt(), 7);
    rt::publicRelease("TSTNOTBOUND");
    EXPECT_EQ(runtimeError("TSTNOTBOUND").description, "Variable does not exist");
    EXPECT_THROW((void)rt::compile("x", rt::Names{{{"x", Value(1)}}, {}}), rt::Error) << "a variable must be a block";
}

TEST_F(Compiler, ReferencesAssignThroughTheCallee)
{
    rt::DynClass point("TSTREFPOINT");
    point.addVar("X", 1);
    const Value o = point.instantiate();
    const Value a = rt::makeArray({1, 2});
    Value local = "old";
    const rt::Names names{{{"cLocal", getSetOf(local)}}, {}};
    rt::publicSet("TSTREFPUB", 1);

    struct Case {
        const char* text;
        const char* result;  // what TST_SET read back through the reference
    };
    const Case cases[] = {
        {"{|p| TST_SET(@p, 5), p}", "5"},
        {"{|p| {|| TST_SET(@p, 6)}:eval(), p}", "6"},  // a parameter of the enclosing block
        {"{|p, a| TST_SET(@a[2], 'two'), a[2]}", "\"two\""},
        {"{|p, a, o| TST_SET(@o:x, 9), o:x}", "9"},
        {"{|| TST_SET(@TstRefPub, 'pub'), TstRefPub}", "\"pub\""},
        {"{|| TST_SET(@cLocal, 'new'), cLocal}", "\"new\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rt::literalText(rt::evalWith(rt::compile(c.text, names), 0, a, o)), c.result) << c.text;
    EXPECT_EQ(rt::literalText(a), R"({1, "two"})");
    EXPECT_EQ(rt::getMember(o, "x").asInt(), 9);
    EXPECT_EQ(local.asString(), "new");
    EXPECT_EQ(rt::publicGet("TSTREFPUB").asString(), "pub");
    rt::publicRelease("TSTREFPUB");

    // A reference kept past the call still reaches the parameter's frame.
    rt::evalWith(rt::compile("{|p| TST_KEEP(@p)}"), 41);
    EXPECT_EQ(rt::eval(keptReference).asInt(), 41);
    EXPECT_EQ(rt::evalWith(keptReference, 42).asInt(), 42);
    EXPECT_EQ(rt::eval(keptReference).asInt(), 42);
    EXPECT_EQ(keptReference.asBlock().text(), "@p");
    keptReference = {};

    struct Bad {
        const char* text;
        long long position;
        const char* description;
    };
    const Bad bad[] = {
        {"TST_ARGS(@1)", 10, "Invalid target of '@'"},
        {"TST_ARGS(@TST_COUNT())", 10, "Invalid target of '@'"},
        {"TST_ARGS(@p++)", 10, "Invalid target of '@'"},
        {"@x", 1, "Unexpected '@'"},
        {"{@x}", 2, "Unexpected '@'"},
        {"TST_ARGS(1 + @x)", 14, "Unexpected '@'"},
        {"TST_ARGS(@)", 11, "Unexpected ')'"},
    };
    for (const Bad& c : bad) {
        const rt::Error e = compileError(c.text);
        EXPECT_EQ(e.description, c.description) << c.text;
        EXPECT_EQ(e.position, c.position) << c.text;
    }
}

// ----------------------------------------------------------------- fields

std::map<std::string, Value> fakeFields;  // "ALIAS.FIELD", the current area's alias is "CUR"
std::string selectedAlias = "CUR";

bool hookGet(std::string_view name, Value& out)
{
    auto it = fakeFields.find(selectedAlias + "." + std::string(name));
    if (it == fakeFields.end())
        return false;
    out = it->second;
    return true;
}
bool hookPut(std::string_view name, const Value& v)
{
    auto it = fakeFields.find(selectedAlias + "." + std::string(name));
    if (it == fakeFields.end())
        return false;
    it->second = v;
    return true;
}
Value hookAliasGet(std::string_view alias, std::string_view name)
{
    auto it = fakeFields.find(std::string(alias) + "." + std::string(name));
    if (it == fakeFields.end())
        rt::raise("No such field", std::string(name));
    return it->second;
}
void hookAliasPut(std::string_view alias, std::string_view name, const Value& v)
{
    fakeFields[std::string(alias) + "." + std::string(name)] = v;
}
Value hookAliasEval(std::string_view alias, Value (*thunk)(void*), void* ctx)
{
    const std::string saved = selectedAlias;
    selectedAlias = std::string(alias);
    const Value v = thunk(ctx);
    selectedAlias = saved;
    return v;
}

class CompilerFields : public Compiler {
protected:
    void SetUp() override
    {
        saved_ = rt::fieldHooks();
        rt::fieldHooks() = {&hookGet, &hookPut, &hookAliasGet, &hookAliasPut, &hookAliasEval};
        fakeFields = {{"CUR.NAME", Value("Ana")}, {"CLI.NAME", Value("Eva")}, {"CLI.CODE", Value(7)}};
        selectedAlias = "CUR";
    }
    void TearDown() override { rt::fieldHooks() = saved_; }

private:
    rt::FieldHooks saved_;
};

TEST_F(CompilerFields, BareNameReadsFieldBeforePublic)
{
    rt::publicSet("NAME", "public");
    EXPECT_EQ(ev("name").asString(), "Ana");
    EXPECT_EQ(ev("M->name").asString(), "public");
    EXPECT_EQ(ev("FIELD->name").asString(), "Ana");
    ev("NAME := 'Bea'");
    EXPECT_EQ(fakeFields["CUR.NAME"].asString(), "Bea");
    EXPECT_EQ(rt::publicGet("NAME").asString(), "public");
    rt::publicRelease("NAME");
    // Not a field: the assignment creates a public.
    rt::publicRelease("TSTNEW");
    ev("TstNew := 1");
    EXPECT_EQ(rt::publicGet("TSTNEW").asInt(), 1);
    rt::publicRelease("TSTNEW");
}

TEST_F(CompilerFields, AliasArrow)
{
    EXPECT_EQ(ev("CLI->NAME").asString(), "Eva");
    EXPECT_EQ(ev("cli->code + 1").asInt(), 8);
    ev("CLI->CODE := 9");
    EXPECT_EQ(fakeFields["CLI.CODE"].asInt(), 9);
    ev("CLI->CODE += 1");
    EXPECT_EQ(fakeFields["CLI.CODE"].asInt(), 10);
    // alias->(expr) runs the expression with the alias selected.
    EXPECT_EQ(ev("CLI->(NAME + '!')").asString(), "Eva!");
    EXPECT_EQ(selectedAlias, "CUR");
    EXPECT_EQ(runtimeError("CLI->NOSUCH").description, "No such field");
}

TEST_F(CompilerFields, MissingHooksRaise)
{
    rt::fieldHooks() = {};
    const rt::Error e = runtimeError("CLI->NAME");
    EXPECT_NE(e.message().find("Alias does not exist: CLI"), std::string::npos) << e.message();
    EXPECT_NE(runtimeError("CLI->(1)").message().find("Alias does not exist: CLI"), std::string::npos);
    EXPECT_NE(runtimeError("CLI->NAME := 1").message().find("Alias does not exist: CLI"), std::string::npos);
}

// ------------------------------------------------------------------ errors

TEST_F(Compiler, ErrorsNameTheFaultAndItsPosition)
{
    struct Case {
        const char* text;
        long long position;
        const char* description;
    };
    const Case cases[] = {
        {"(1 + 2", 7, "')' expected to close '(' at 1"},
        {"1 + (2 * 3", 11, "')' expected to close '(' at 5"},
        {"TST_ARGS(1 2)", 12, "')' expected to close '(' at 9"},
        {"a[1", 4, "']' expected to close '[' at 2"},
        {"{1, 2", 6, "'}' expected to close '{' at 1"},
        {"{|a a| a}", 5, "'|' expected to close '|' at 2"},
        {"{|a| a", 7, "'}' expected to close '{' at 1"},
        {"\"abc", 1, "Unterminated string"},
        {"1 + [abc", 5, "Unterminated string"},
        {"'it''s'", 5, "Unexpected ''s''"},  // no escapes: two strings in a row
        {"Foo(1)", 1, "Undefined function: FOO"},
        {"1 + nofunc()", 5, "Undefined function: NOFUNC"},
        {"1 + 2)", 6, "Unexpected ')'"},
        {"1 2", 3, "Unexpected '2'"},
        {"1 +", 4, "Unexpected end of text"},
        {"", 1, "Empty expression"},
        {"   ", 1, "Empty expression"},
        {"()", 2, "Unexpected ')'"},
        {"{|a, a| a}", 6, "Duplicate parameter: A"},
        {"{|1| a}", 3, "Parameter name expected"},
        {"1 := 2", 3, "Invalid target of ':='"},
        {"f() := 2", 1, "Undefined function: F"},
        {"++5", 1, "Invalid target of '++'"},
        {"x @ 1", 3, "Invalid character '@'"},
        {"1 .xor. 2", 3, "Unexpected '.'"},
        {"12abc", 1, "Malformed number '12a'"},
        {"IIF(.T., 1)", 1, "IIF() needs 3 arguments"},
        {"o:", 3, "Member name expected after ':'"},
        {"x->", 4, "Field name expected after '->'"},
        {"\"é\" + )", 7, "Unexpected ')'"},
        {"&x", 1, "Macro operator '&' is not supported"},
        {"\xff", 1, "Invalid byte 0xFF"},
        {"1 +\x01", 4, "Invalid character (code 1)"},
        {"\"a\xff\"", 3, "Invalid UTF-8 in string"},
        {"\"a\xc3\"", 3, "Invalid UTF-8 in string"},
        {"é", 1, "Invalid character 'é'"},
        {"1e400", 1, "Malformed number '1e'"},
    };
    for (const Case& c : cases) {
        const rt::Error e = compileError(c.text);
        EXPECT_EQ(e.subsystem, "COMPILER") << c.text;
        EXPECT_EQ(e.operation, c.text);
        EXPECT_EQ(e.description, c.description) << c.text;
        EXPECT_EQ(e.position, c.position) << c.text << ": " << e.description;
    }
}

TEST_F(Compiler, DeepNestingIsRefused)
{
    const std::string texts[] = {
        std::string(100000, '(') + "1" + std::string(100000, ')'),
        [] {
            std::string s;
            for (int i = 0; i < 50000; ++i)
                s += "- ";
            return s + "1";
        }(),
        std::string(100000, '!') + ".T.",
        std::string(100000, '{'),
        "{|a|" + std::string(50000, '{') + "|b|",
        [] {
            std::string s = "a";
            for (int i = 0; i < 50000; ++i)
                s += "[a";
            return s;
        }(),
        [] {
            std::string s = "1";
            for (int i = 0; i < 100000; ++i)
                s += "+1";
            return s;
        }(),
        [] {
            std::string s = "a";
            for (int i = 0; i < 50000; ++i)
                s += "[1]";
            return s;
        }(),
        [] {
            std::string s = "o";
            for (int i = 0; i < 50000; ++i)
                s += ":m";
            return s;
        }(),
        [] {
            std::string s = "x";
            for (int i = 0; i < 50000; ++i)
                s += " := x";
            return s;
        }(),
    };
    for (const std::string& t : texts) {
        const rt::Error e = compileError(t);
        EXPECT_EQ(e.subsystem, "COMPILER") << t.substr(0, 20);
        EXPECT_EQ(e.description, "Expression too complex") << t.substr(0, 20);
    }
    // Ordinary nesting is far from the limit.
    EXPECT_EQ(ev(std::string(100, '(') + "1" + std::string(100, ')')).asInt(), 1);
    std::string sum = "0";
    for (int i = 0; i < 200; ++i)
        sum += "+1";
    EXPECT_EQ(ev(sum).asInt(), 200);
}

TEST_F(Compiler, WideArrayLiteralIsNotDeep)
{
    std::string t = "{0";
    for (int i = 1; i < 10000; ++i)
        t += "," + std::to_string(i);
    t += "}";
    EXPECT_EQ(ev(t).asArray().size(), 10000u);
}

}  // namespace
