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
    std::string_view seen;
    bool nul = true;
    ASSERT_TRUE(t->textOf(0, seen, nul));
    EXPECT_EQ(seen, c.text);
    EXPECT_EQ(nul, c.text.find('\0') != std::string::npos);
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
                                           TextCase{"NulInFirstWord", 850, "ab\0defghijk"s, "ab\0defghijk"s},
                                           TextCase{"NulInLastBytes", 850, "abcdefgh\0ijk"s, "abcdefgh\0ijk"s},
                                           TextCase{"AccentInLastBytes", 850, "abcdefghij\xA4", "abcdefghijñ"},
                                           TextCase{"AccentFirstThenAscii", 850, "\x90"
                                                    "abcdefghij", "Éabcdefghij"},
                                           TextCase{"ControlBytesKept", 850, "\x01\x7F" "abcdefghi", "\x01\x7F" "abcdefghi"},
                                           TextCase{"ShortAccent", 850, "\xA5o", "Ño"},
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

// A table of one D(8), one D(10) and one L field, one record per entry
// of `records` (the fields' 19 bytes). The engine makes D fields of 8
// bytes: the second one's length is set in the header.
std::unique_ptr<Table> datesOf(const TempDir& dir, const std::vector<std::string>& records)
{
    const std::string path = dir.file("dates.dbf");
    Table::create(path, {{"DAY", 'D', 8, 0}, {"DAY10", 'C', 10, 0}, {"FLAG", 'L', 1, 0}}, dbf::Format::DBase3, 850);
    std::string bytes = readFile(path);
    bytes[32 + 32 + 11] = 'D';
    bytes.pop_back();
    for (const std::string& r : records)
        bytes += ' ' + r;
    bytes += '\x1A';
    for (int i = 0; i < 4; ++i)
        bytes[std::size_t(4 + i)] = char(records.size() >> (8 * i));
    writeFile(path, bytes);
    return Table::open(path, true, false);
}

struct DayCase {
    const char* name;
    std::string d8;   // 8 bytes
    std::string d10;  // 10 bytes
    char flag;
};

class DirectValues : public ::testing::TestWithParam<DayCase> {};

// dateOf() and logicalOf() give what get() gives, value by value; where a
// date does not exist they decline and tell nothing, and get() then reads
// NIL and tells the fault.
TEST_P(DirectValues, AgreeWithGet)
{
    const DayCase& c = GetParam();
    TempDir dir("tst_table_append");
    auto t = datesOf(dir, {c.d8 + c.d10 + c.flag});
    t->go(1);
    for (int field : {0, 1}) {
        SCOPED_TRACE(field);
        const rt::Date untouched{12345};
        rt::Date day = untouched;
        const auto faults = t->faultCount();
        const bool taken = t->dateOf(field, day);
        EXPECT_EQ(t->faultCount(), faults);
        const Value v = t->get(field);
        if (taken) {
            ASSERT_TRUE(v.isDate());
            EXPECT_EQ(v.asDate(), day);
            EXPECT_EQ(t->faultCount(), faults);
        } else {
            EXPECT_EQ(day, untouched);
            EXPECT_TRUE(v.isNil());
            EXPECT_EQ(t->faultCount(), faults + 1);
        }
    }
    bool truth = true;
    ASSERT_TRUE(t->logicalOf(2, truth));
    ASSERT_TRUE(t->get(2).isLogical());
    EXPECT_EQ(truth, t->get(2).asBool());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DirectValues,
    ::testing::Values(DayCase{"Valid", "20240229", "2024-02-29", 'T'}, DayCase{"DayFirst", "19970621", "29/02/2024", 't'},
                      DayCase{"Blank", "        ", "          ", ' '}, DayCase{"Zeros", "00000000", "0000-00-00", '?'},
                      DayCase{"Nuls", std::string(8, '\0'), std::string(10, '\0'), '\0'},
                      DayCase{"NotAYear", "NotAYear", "NotAYear!!", 'Y'},
                      DayCase{"NoSuchDay", "20230229", "2023-02-29", 'y'},
                      DayCase{"MonthThirteen", "20241301", "13/13/2024", 'F'},
                      DayCase{"DayZero", "20240100", "2024-01-00", 'f'},
                      DayCase{"YearZero", "00001231", "0000-12-31", 'N'},
                      DayCase{"YearBeforeThousand", "09991231", "0999-12-31", 'n'},
                      DayCase{"LastDay", "99991231", "31/12/9999", 'x'},
                      DayCase{"BlankInside", "2024 229", "2024-02 29", '1'}),
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
    rt::Date day;
    bool truth = false;
    std::string_view text;
    EXPECT_FALSE(t->dateOf(0, day));
    EXPECT_FALSE(t->logicalOf(1, truth));
    EXPECT_FALSE(t->textOf(1, text, truth));
    EXPECT_FALSE(t->dateOf(2, day));
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
