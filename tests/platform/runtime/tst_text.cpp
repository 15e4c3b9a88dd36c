// Text and number functions, called by name so the registration is tested too.
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using rt::callWith;
using rt::Value;

namespace {

std::string text(const Value& v)
{
    EXPECT_TRUE(v.isChar()) << "kind " << v.typeLetter();
    return v.isChar() ? v.str() : std::string();
}

std::string raisedDescription(const std::function<void()>& f)
{
    rt::Error e("");
    return rt::guarded(f, &e) ? std::string("(nothing raised)") : e.description;
}

struct Case {
    const char* name;
    std::string got;
    std::string want;
};

void check(const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.want) << c.name;
}

}  // namespace

TEST(Text, CaseMappingCoversAccentedLetters)
{
    check({
        {"ascii upper", text(callWith("Upper", "abc xyz 1")), "ABC XYZ 1"},
        {"accented upper", text(callWith("Upper", "ñandú")), "ÑANDÚ"},
        {"accented lower", text(callWith("Lower", "ÁÉÍÓÚ ÑÜ Ç")), "áéíóú ñü ç"},
        {"mixed script", text(callWith("Upper", "straße ωμέγα")), "STRAßE ΩΜΈΓΑ"},
    });
    EXPECT_TRUE(callWith("IsUpper", "Ñu").asBool());
    EXPECT_TRUE(callWith("IsLower", "ñU").asBool());
    EXPECT_TRUE(callWith("IsAlpha", "é1").asBool());
    EXPECT_FALSE(callWith("IsDigit", "").asBool());
    EXPECT_FALSE(callWith("IsDigit", 5).asBool());
}

TEST(Text, TrimRemovesBlanksOnly)
{
    check({
        {"rtrim", text(callWith("Trim", "  ab  ")), "  ab"},
        {"ltrim", text(callWith("LTrim", "  ab  ")), "ab  "},
        {"alltrim", text(callWith("AllTrim", "  ab  ")), "ab"},
        {"all blanks", text(callWith("AllTrim", "    ")), ""},
        {"trailing CR LF TAB stay", text(callWith("RTrim", "ab\t\r\n ")), "ab\t\r\n"},
    });
}

TEST(Text, PositionsCountCharacters)
{
    const char* s = "ñandú ñu";
    check({
        {"substr middle", text(callWith("SubStr", s, 2, 3)), "and"},
        {"substr to end", text(callWith("SubStr", s, 5)), "ú ñu"},
        {"substr negative start", text(callWith("SubStr", s, -2)), "ñu"},
        {"substr negative beyond start", text(callWith("SubStr", "abc", -9, 2)), "ab"},
        {"substr start 0 is 1", text(callWith("SubStr", "abc", 0, 2)), "ab"},
        {"substr past end", text(callWith("SubStr", s, 9)), ""},
        {"substr negative count", text(callWith("SubStr", s, 2, -1)), ""},
        {"left", text(callWith("Left", s, 2)), "ña"},
        {"left too long", text(callWith("Left", "ab", 5)), "ab"},
        {"right", text(callWith("Right", s, 3)), " ñu"},
        {"right zero", text(callWith("Right", s, 0)), ""},
        {"padr cuts", text(callWith("PadR", s, 5)), "ñandú"},
        {"padr fills", text(callWith("PadR", "ñu", 4, "·")), "ñu··"},
        {"padl", text(callWith("PadL", "ñu", 4)), "  ñu"},
        {"padc odd", text(callWith("PadC", "ñu", 5, "*")), "*ñu**"},
        {"padl cuts from the left", text(callWith("PadL", "abcdef", 3)), "abc"},
        {"padr number", text(callWith("PadR", Value::number(1.5, 2), 6)), "1.50  "},
        {"pad negative", text(callWith("PadR", "abc", -3)), ""},
    });
    EXPECT_EQ(callWith("At", "dú", "ñandú ñandú").asInt(), 4);
    EXPECT_EQ(callWith("At", "dú", "ñandú ñandú", 5).asInt(), 10);
    EXPECT_EQ(callWith("RAt", "ñ", "ñandú ñandú").asInt(), 7);
    EXPECT_EQ(callWith("At", "", "abc").asInt(), 0);
    EXPECT_EQ(callWith("At", "x", "abc").asInt(), 0);
}

TEST(Text, StrTranEdges)
{
    check({
        {"all", text(callWith("StrTran", "a.b.c", ".", ", ")), "a, b, c"},
        {"delete", text(callWith("StrTran", "a.b.c", ".")), "abc"},
        {"empty search", text(callWith("StrTran", "abc", "", "x")), "abc"},
        {"from second", text(callWith("StrTran", "aaaa", "a", "b", 2)), "abbb"},
        {"two from second", text(callWith("StrTran", "aaaa", "a", "b", 2, 2)), "abba"},
        {"no overlap", text(callWith("StrTran", "aaa", "aa", "b")), "ba"},
        {"accented", text(callWith("StrTran", "ñandú", "ú", "u")), "ñandu"},
        {"first beyond occurrences", text(callWith("StrTran", "aa", "a", "b", 5)), "aa"},
        {"huge count", text(callWith("StrTran", "aaa", "a", "b", 2, 1e18)), "abb"},
        {"zero count", text(callWith("StrTran", "aaa", "a", "b", 1, 0)), "aaa"},
    });
    const Value big = Value(std::string(1 << 20, 'a'));
    EXPECT_EQ(raisedDescription([&] { (void)callWith("StrTran", big, "a", std::string(1024, 'b')); }),
              "String overflow");
}

TEST(Text, SizesAreGuarded)
{
    EXPECT_EQ(text(callWith("Space", 3)), "   ");
    EXPECT_EQ(text(callWith("Space", -3)), "");
    EXPECT_EQ(text(callWith("Replicate", "ñ", 3)), "ñññ");
    EXPECT_EQ(text(callWith("Replicate", "ab", -1)), "");
    EXPECT_EQ(raisedDescription([] { (void)callWith("Space", 3e9); }), "String overflow");
    EXPECT_EQ(raisedDescription([] { (void)callWith("Replicate", "abcd", 100000000); }), "String overflow");
    EXPECT_EQ(raisedDescription([] { (void)callWith("PadL", "x", 1e12); }), "String overflow");
    EXPECT_EQ(raisedDescription([] { (void)callWith("Str", 5, 1e10); }), "String overflow");
    EXPECT_EQ(raisedDescription([] { (void)callWith("SubStr", 5, 1); }), "Argument error");
}

TEST(Text, ChrAndAscRoundTrip)
{
    for (int n : {0, 65, 128, 150, 160, 255, 0x20AC + 0})
        EXPECT_EQ(callWith("Asc", callWith("Chr", n)).asInt(), n == 0x20AC ? 128 : n) << n;
    EXPECT_EQ(text(callWith("Chr", 128)), "€");
    EXPECT_EQ(text(callWith("Chr", 255)), "ÿ");
    EXPECT_EQ(callWith("Asc", "").asInt(), 0);
    EXPECT_EQ(raisedDescription([] { (void)callWith("Chr", -1); }), "Argument error");
}

TEST(Text, TokenArray)
{
    auto tokens = [](const Value& v) {
        std::vector<std::string> out;
        for (const Value& item : v.asArray().items)
            out.push_back(item.str());
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(tokens(callWith("RK_TokenArray", "")), V{});
    EXPECT_EQ(tokens(callWith("RK_TokenArray", "Name")), V{"Name"});
    EXPECT_EQ(tokens(callWith("RK_TokenArray", "Código;Nombre")), (V{"Código", "Nombre"}));
    EXPECT_EQ(tokens(callWith("RK_TokenArray", "a;;b;")), (V{"a", "", "b", ""}));
    EXPECT_EQ(tokens(callWith("RK_TokenArray", "a|b;c", "|")), (V{"a", "b;c"}));
    EXPECT_EQ(tokens(callWith("RK_TokenArray", "a<br>b", "<br>")), (V{"a", "b"}));
    EXPECT_EQ(tokens(callWith("RK_TokenArray", "a;b", "")), V{"a;b"});
}

TEST(Text, BitTestNumbersBitsFromOne)
{
    struct {
        int n, bit;
        bool set;
    } cases[] = {{1, 1, true},  {1, 2, false}, {2, 2, true},  {4, 3, true},   {8, 4, true},
                 {6, 1, false}, {6, 3, true},  {8, 0, false}, {-1, 64, true}, {1, 65, false}};
    for (const auto& c : cases)
        EXPECT_EQ(callWith("RK_BitTest", c.n, c.bit).asBool(), c.set) << c.n << " bit " << c.bit;
}

TEST(Text, TextFormOfEveryKind)
{
    rt::setDateFormat("dd-mm-yyyy");
    const Value date(rt::makeDate(2024, 3, 7));
    const Value block = rt::makeBlock([](rt::Args) { return Value(1); }, "{|| 1 }");
    const Value bare = rt::makeBlock([](rt::Args) { return Value(1); });
    const Value arr = rt::makeArray({1, "a", true, Value(), rt::makeArray({Value::number(2.5, 2)}), date});
    rt::DynClass cls("Cliente");
    const Value obj = cls.instantiate();
    check({
        {"text", text(callWith("Var2Char", "ab\"c")), "ab\"c"},
        {"integer", text(callWith("Var2Char", 1234)), "1234"},
        {"decimals kept", text(callWith("Var2Char", Value::number(1234.5, 2))), "1234.50"},
        {"negative fraction", text(callWith("Var2Char", Value::number(-0.5, 2))), "-0.50"},
        {"huge", text(callWith("Var2Char", Value::number(1e20, 0))), "100000000000000000000"},
        {"date", text(callWith("Var2Char", date)), "07-03-2024"},
        {"logical", text(callWith("Var2Char", false)), ".F."},
        {"nil", text(callWith("Var2Char", Value())), "NIL"},
        {"array", text(callWith("Var2Char", arr)), "{1, \"a\", .T., NIL, {2.50}, 07-03-2024}"},
        {"block with text", text(callWith("Var2Char", block)), "{|| 1 }"},
        {"block without text", text(callWith("Var2Char", bare)), "{|| ... }"},
        {"object", text(callWith("Var2Char", obj)), "Cliente"},
        {"lchar text as is", text(callWith("Var2LChar", "abc")), "abc"},
        {"lchar number", text(callWith("Var2LChar", 5)), "5"},
        {"literal double quotes", rt::literalText(Value("abc")), "\"abc\""},
        {"literal single quotes", rt::literalText(Value("say \"hi\"")), "'say \"hi\"'"},
        {"literal both quotes", rt::literalText(Value("a\"b'c")), "\"a\" + Chr(34) + \"b'c\""},
        {"literal control", rt::literalText(Value("a\r\n")), "\"a\" + Chr(13) + Chr(10)"},
        {"xtoc nil", text(callWith("RK_XtoC", Value())), ""},
        {"xtoc logical", text(callWith("RK_XtoC", true)), "T"},
        {"xtoc text", text(callWith("RK_XtoC", "ab")), "ab"},
    });
}

TEST(Text, ArrayThatContainsItselfEnds)
{
    Value a = rt::makeArray({1});
    a.asArray().items.push_back(a);
    EXPECT_EQ(rt::var2char(a), "{1, {...}}");
    a.asArray().items.clear();  // break the cycle so the array is freed
}

// --- numbers ---

TEST(Number, StrWidthsAndRounding)
{
    check({
        {"integer default width", text(callWith("Str", 5)), "         5"},
        {"decimals default width", text(callWith("Str", Value::number(3.5, 2))), "         3.50"},
        {"len rounds to whole", text(callWith("Str", Value::number(2.5, 1), 3)), "  3"},
        {"len and decimals", text(callWith("Str", 5, 6, 2)), "  5.00"},
        {"2.675", text(callWith("Str", 2.675, 5, 2)), " 2.68"},
        {"1234.505", text(callWith("Str", 1234.505, 8, 2)), " 1234.51"},
        {"-0.005 away from zero", text(callWith("Str", -0.005, 6, 2)), " -0.01"},
        {"-0.004 has no minus", text(callWith("Str", -0.004, 6, 2)), "  0.00"},
        {"too wide", text(callWith("Str", 12345, 3)), "***"},
        {"carry widens", text(callWith("Str", 9.995, 5, 2)), "10.00"},
        {"huge grows without len", text(callWith("Str", Value::number(1e15, 0))), "1000000000000000"},
        {"infinity", text(callWith("Str", Value::number(HUGE_VAL, 0), 4)), "****"},
        {"int64 min", text(callWith("Str", Value::integer(std::numeric_limits<std::int64_t>::min()))),
         "-9223372036854775808"},
        {"strzero", text(callWith("StrZero", 42, 5)), "00042"},
        {"strzero negative", text(callWith("StrZero", -5, 5)), "-0005"},
        {"strzero decimals", text(callWith("StrZero", 3.14159, 7, 2)), "0003.14"},
    });
}

TEST(Number, ValReadsLeadingNumber)
{
    struct {
        const char* in;
        double value;
        int decimals;
        bool whole;
    } cases[] = {
        {"12.50", 12.5, 2, false}, {"  -7", -7, 0, true}, {"+3", 3, 0, true},         {"abc", 0, 0, true},
        {"", 0, 0, true},          {"1e3", 1, 0, true},   {"12.5.6", 12.5, 1, false}, {"-.25", -0.25, 2, false},
        {"12.", 12, 0, true},      {"1,5", 1, 0, true},
    };
    for (const auto& c : cases) {
        const Value v = callWith("Val", c.in);
        EXPECT_DOUBLE_EQ(v.asDouble(), c.value) << c.in;
        EXPECT_EQ(v.decimals(), c.decimals) << c.in;
        EXPECT_EQ(v.isInteger(), c.whole) << c.in;
    }
}

TEST(Number, StrValRoundTrip)
{
    for (double d : {0.0, 1.0, -1.5, 2.675, 1234.505, 0.01, -99999.99, 123456789.12}) {
        const Value n = Value::number(d, 2);
        const Value back = callWith("Val", callWith("Str", n, 20, 2));
        EXPECT_EQ(rt::numberText(back), rt::numberText(n)) << d;
        EXPECT_EQ(rt::numberText(callWith("Val", Value(rt::numberText(n)))), rt::numberText(n)) << d;
    }
}

TEST(Number, RoundIsDecimalExact)
{
    check({
        {"2.675", rt::numberText(callWith("Round", 2.675, 2)), "2.68"},
        {"1.005", rt::numberText(callWith("Round", 1.005, 2)), "1.01"},
        {"-2.5", rt::numberText(callWith("Round", -2.5, 0)), "-3"},
        {"to hundreds", rt::numberText(callWith("Round", 1250, -2)), "1300"},
        {"whole gains decimals", rt::numberText(callWith("Round", 5, 2)), "5.00"},
        {"tiny to zero", rt::numberText(callWith("Round", 1e-300, 2)), "0.00"},
    });
    EXPECT_TRUE(callWith("Round", 2.5, 0).isInteger());
    EXPECT_EQ(callWith("Int", -3.9).asInt(), -3);
    EXPECT_EQ(rt::numberText(callWith("Abs", Value::number(-1.5, 2))), "1.50");
    EXPECT_EQ(callWith("Max", 3, Value::number(3.5, 1)).asDouble(), 3.5);
    EXPECT_EQ(callWith("Min", Value(rt::makeDate(2024, 1, 2)), Value(rt::makeDate(2023, 1, 2))).asDate(),
              rt::makeDate(2023, 1, 2));
    EXPECT_EQ(raisedDescription([] { (void)callWith("Max", 1, "a"); }), "Argument error");
    EXPECT_DOUBLE_EQ(callWith("Sqrt", 16).asDouble(), 4.0);
}

TEST(Text, LiteralTextCompilesBack)
{
    for (const char* s : {"", "abc", "say \"hi\"", "it's", "a\"b'c", "[x]", "tab\there\r\n", "ñandú \"ñ\" 'ú'"}) {
        const std::string literal = rt::literalText(Value(s));
        rt::Error e("");
        Value back;
        ASSERT_TRUE(rt::guarded([&] { back = rt::evalText(literal); }, &e)) << literal << ": " << e.message();
        EXPECT_EQ(text(back), s) << literal;
    }
}
