// The writers' fast forms appendText() and appendNumber() against get():
// for every stored form they either give what get() gives (text without
// trailing blanks, numberText()) or decline, leaving get() to decide and
// to tell a fault. Records are written byte by byte after a header the
// engine makes.
#include "tst_table_util.h"

using dbf::Table;
using rt::Value;
using namespace tst;

namespace {

// A table of one C(12) and one N(20,3) field, one record per entry of
// `records` (the fields' 32 bytes, blank-padded when shorter).
std::unique_ptr<Table> tableOf(const TempDir& dir, const std::vector<std::string>& records, int codePage)
{
    const std::string path = dir.file("t" + std::to_string(codePage) + ".dbf");
    Table::create(path, {{"TEXT", 'C', 12, 0}, {"AMOUNT", 'N', 20, 3}}, dbf::Format::DBase3, 850);
    std::string bytes = readFile(path);
    bytes.pop_back();  // the end mark follows the records
    for (std::string r : records) {
        r.resize(32, ' ');
        bytes += ' ' + r;
    }
    bytes += '\x1A';
    const std::uint32_t n = std::uint32_t(records.size());
    for (int i = 0; i < 4; ++i)
        bytes[std::size_t(4 + i)] = char(n >> (8 * i));
    writeFile(path, bytes);
    dbf::overrideCodePage(codePage);
    auto table = Table::open(path, true, false);
    dbf::overrideCodePage(0);
    return table;
}

std::string trimmed(const Value& v)
{
    const std::string_view s = v.asString();
    return std::string(s.substr(0, s.find_last_not_of(' ') + 1));
}

struct TextCase {
    const char* name;
    int codePage;
    std::string stored;  // the C field's 12 bytes (blank-padded)
    std::string text;    // UTF-8, without trailing blanks
};

class AppendText : public ::testing::TestWithParam<TextCase> {};

TEST_P(AppendText, GivesGetsTextWithoutTrailingBlanks)
{
    const TextCase& c = GetParam();
    TempDir dir("tst_table_append");
    auto t = tableOf(dir, {c.stored}, c.codePage);
    t->go(1);
    std::string out = "before|";
    ASSERT_TRUE(t->appendText(0, out));
    EXPECT_EQ(out, "before|" + c.text);  // appended, nothing replaced
    EXPECT_EQ(c.text, trimmed(t->get(0)));
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(Forms, AppendText,
                         ::testing::Values(TextCase{"Accents850", 850,
                                                    "Mu\xA4oz Garc\xA1"
                                                    "a",
                                                    "Muñoz García"},
                                           TextCase{"AllBlank", 850, "", ""},
                                           TextCase{"LeadingBlanksKept", 850, "  x", "  x"},
                                           TextCase{"FullWidth", 850, "abcdefghijkl", "abcdefghijkl"},
                                           TextCase{"EightBlanksAfterAccent", 850, "\xA4", "ñ"},
                                           TextCase{"NulPadding", 850, "abc\0\0\0\0\0\0\0\0\0"s, "abc"},
                                           TextCase{"BlanksBeforeNulPadding", 850, "ab  \0\0\0\0\0\0\0\0"s, "ab"},
                                           TextCase{"NulInsideKept", 850, "a\0b"s, "a\0b"s},
                                           TextCase{"NoBreakSpaceKept", 1252, "a\xA0", "a\u00A0"},
                                           TextCase{"DoubleByte", 936, "\xD6\xD0\xCE\xC4", "中文"},
                                           TextCase{"DoubleByteAscii", 936, "plain", "plain"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct NumberCase {
    const char* name;
    std::string stored;  // the N field's bytes, right-aligned in 20
    bool taken;          // appendNumber() gives numberText(); otherwise it declines
};

class AppendNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(AppendNumber, GivesNumberTextOrDeclines)
{
    const NumberCase& c = GetParam();
    TempDir dir("tst_table_append");
    std::string stored = c.stored;
    stored.insert(0, 20 - std::min<std::size_t>(20, stored.size()), ' ');
    auto t = tableOf(dir, {std::string(12, 'x') + stored}, 850);
    t->go(1);
    std::string out;
    const auto faultsBefore = t->faultCount();
    EXPECT_EQ(t->appendNumber(1, out), c.taken);
    EXPECT_EQ(t->faultCount(), faultsBefore);  // faults are get()'s to tell
    if (c.taken)
        EXPECT_EQ(out, t->numberText(1));
    else
        EXPECT_EQ(out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Forms, AppendNumber,
    ::testing::Values(NumberCase{"Negative", "-12.5", true}, NumberCase{"PlusSign", "+5", true},
                      NumberCase{"NoWholeDigits", ".5", true}, NumberCase{"PointWithoutDecimals", "5.", true},
                      NumberCase{"LeadingZeros", "000012.25", true},
                      NumberCase{"MoreDecimalsThanField", "1.23456", true},
                                           NumberCase{"AlreadyExact", "-4987.660", true},
                                           NumberCase{"NegativeZeroWhole", "-0.500", true},
                                           NumberCase{"ZeroWithoutDecimals", "0", true},
                      NumberCase{"EighteenDigits", "123456789012345678", true},
                      NumberCase{"NineteenDigits", "1234567890123456789", false}, NumberCase{"Blank", "", false},
                      NumberCase{"Overflow", "********************", false}, NumberCase{"Exponent", "1e5", false},
                      NumberCase{"Garbage", "12 34", false}, NumberCase{"SignAlone", "-", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AppendFields, DeclineOtherTypesAndFieldsOutOfRange)
{
    TempDir dir("tst_table_append");
    auto t = tableOf(dir, {"abc         12.5"}, 850);
    t->go(1);
    std::string out;
    EXPECT_FALSE(t->appendText(1, out));    // a number is no text
    EXPECT_FALSE(t->appendNumber(0, out));  // nor text a number
    EXPECT_FALSE(t->appendText(2, out));
    EXPECT_FALSE(t->appendNumber(-1, out));
    EXPECT_FALSE(t->isNull(7));
    EXPECT_EQ(out, "");
}

// The phantom record past the end: blanks, as get() reads them.
TEST(AppendFields, PhantomRecordIsBlank)
{
    TempDir dir("tst_table_append");
    auto t = tableOf(dir, {"abc         12.5"}, 850);
    t->go(2);
    std::string out;
    EXPECT_TRUE(t->appendText(0, out));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(t->appendNumber(1, out));
    EXPECT_FALSE(t->isNull(0));
}

// A Visual FoxPro V field whose null flag is set (record 3 of vfpvar);
// a V field is no C field: get() decodes it.
TEST(AppendFields, NullFlagOfVisualFoxPro)
{
    TempDir dir("tst_table_append");
    runPython({fixtureScript("real_world.py"), dir.path(), "vfpvar"});
    auto t = Table::open(dir.file("vfpvar.dbf"), true, false);
    t->go(3);
    EXPECT_TRUE(t->isNull(0));
    EXPECT_TRUE(t->get(0).isNil());
    t->go(1);
    EXPECT_FALSE(t->isNull(0));
    std::string out;
    EXPECT_FALSE(t->appendText(0, out));
}

}  // namespace
