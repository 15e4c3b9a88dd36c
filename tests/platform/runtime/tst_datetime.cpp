// Dates: Julian day numbers, the date format and century switch, text
// conversions both ways, the clock, and the registered date functions.
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

using rt::Date;
using rt::Value;

#include <cstdlib>

namespace {

// Every test leaves the process-wide settings as it found them.
class DateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        format_ = rt::setDateFormat();
        century_ = rt::setCentury();
        epoch_ = rt::setEpoch();
    }
    void TearDown() override
    {
        rt::setDateFormat(format_);
        rt::setCentury(century_);
        rt::setEpoch(epoch_);
    }

private:
    std::string format_;
    bool century_ = false;
    int epoch_ = 1900;
};

struct Ymd {
    int y, m, d;
};

Ymd split(Date d)
{
    Ymd r{};
    rt::splitDate(d, r.y, r.m, r.d);
    return r;
}

const Date kDec7 = rt::makeDate(2026, 12, 7);

}  // namespace

TEST_F(DateTest, JulianNumbersOfKnownDays)
{
    EXPECT_EQ(rt::makeDate(2000, 1, 1).julian, 2451545);
    EXPECT_EQ(rt::makeDate(1582, 10, 15).julian, 2299161);
    EXPECT_EQ(rt::makeDate(1, 1, 1).julian, 1721426);
}

TEST_F(DateTest, EveryDayOfEightCenturiesSplitsBackAndFollowsTheDayBefore)
{
    const Date first = rt::makeDate(1600, 1, 1);
    const Date last = rt::makeDate(2400, 12, 31);
    Ymd prev = split(first);
    for (std::int32_t j = first.julian + 1; j <= last.julian; ++j) {
        const Ymd cur = split(Date{j});
        ASSERT_EQ(rt::makeDate(cur.y, cur.m, cur.d).julian, j);
        const bool nextDay = cur.y == prev.y && cur.m == prev.m && cur.d == prev.d + 1;
        const bool nextMonth = cur.d == 1 && ((cur.y == prev.y && cur.m == prev.m + 1) ||
                                              (cur.y == prev.y + 1 && cur.m == 1 && prev.m == 12));
        ASSERT_TRUE(nextDay || nextMonth) << cur.y << "-" << cur.m << "-" << cur.d;
        prev = cur;
    }
}

TEST_F(DateTest, InvalidDatesAreEmpty)
{
    struct Case {
        const char* name;
        int y, m, d;
    } cases[] = {
        {"29 Feb of a common year", 2026, 2, 29}, {"29 Feb 1900 (century, not leap)", 1900, 2, 29},
        {"month 13", 2026, 13, 1},                {"month 0", 2026, 0, 1},
        {"31 April", 2026, 4, 31},                {"day 0", 2026, 1, 0},
        {"year 0", 0, 1, 1},                      {"year 10000", 10000, 1, 1},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(rt::makeDate(c.y, c.m, c.d).empty()) << c.name;
    EXPECT_FALSE(rt::makeDate(2000, 2, 29).empty());
    EXPECT_FALSE(rt::makeDate(9999, 12, 31).empty());
}

TEST_F(DateTest, EmptyAndOutOfRangeDaysSplitAsZero)
{
    const Ymd empty = split(Date{});
    EXPECT_EQ(empty.y + empty.m + empty.d, 0);
    const Ymd beyond = split(Date{rt::makeDate(9999, 12, 31).julian + 1});
    EXPECT_EQ(beyond.y, 0);
}

// A process starts in the locale's order of day, month and year, with four
// digits for the year; day-month-year where the locale names none.
TEST_F(DateTest, TheStartingFormatComesFromTheLocaleElseDayMonthYear)
{
    struct Case {
        const char* strftime;
        const char* expected;
    };
    const Case cases[] = {
        {"%d/%m/%y", "dd/mm/yyyy"}, {"%m/%d/%Y", "mm/dd/yyyy"}, {"%Y-%m-%d", "yyyy-mm-dd"},
        {"%d.%m.%Y", "dd.mm.yyyy"}, {"%e.%m.%Y", "dd.mm.yyyy"}, {"%D", "mm/dd/yyyy"},
        {"%F", "yyyy-mm-dd"},       {"%A %d %B %Y", ""},        {"%d/%m-%Y", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rt::dateFormatOf(c.strftime), c.expected) << c.strftime;
    const char* saved = std::getenv("LC_ALL");
    const std::string keep = saved ? saved : "";
    for (const char* locale : {"C", "C.UTF-8", "xx_NOWHERE.UTF-8"}) {
        setenv("LC_ALL", locale, 1);
        EXPECT_EQ(rt::localeDateFormat(), "dd-mm-yyyy") << locale;
    }
    saved ? setenv("LC_ALL", keep.c_str(), 1) : unsetenv("LC_ALL");
    rt::setDateFormat(rt::localeDateFormat());
    EXPECT_TRUE(rt::setCentury());
}

TEST_F(DateTest, TheProgramsSettingsShowDayMonthAndFourDigitYear)
{
    rt::setCentury(1);
    rt::setDateFormat("dd-mm-yyyy");
    EXPECT_EQ(rt::dtoc(kDec7), "07-12-2026");
    EXPECT_EQ(rt::dtoc(Date{}), "  -  -    ");
    EXPECT_EQ(rt::dtos(Date{}), "        ");
    EXPECT_EQ(rt::dtos(kDec7), "20261207");
}

TEST_F(DateTest, FormatsShowTheirFields)
{
    struct Case {
        const char* format;
        const char* shown;
        const char* empty;
    } cases[] = {
        {"dd/mm/yy", "07/12/26", "  /  /  "},       {"yyyy.mm.dd", "2026.12.07", "    .  .  "},
        {"mm/dd/yyyy", "12/07/2026", "  /  /    "}, {"DD-MM-YYYY", "07-12-2026", "  -  -    "},
        {"yy mm dd", "26 12 07", "        "},        {"ddmmyyyy", "07122026", "        "},
    };
    for (const auto& c : cases) {
        rt::setDateFormat(c.format);
        EXPECT_EQ(rt::dtoc(kDec7), c.shown) << c.format;
        EXPECT_EQ(rt::dtoc(Date{}), c.empty) << c.format;
    }
    rt::setDateFormat("dd/mm/yyyy");
    EXPECT_EQ(rt::dtoc(rt::makeDate(99, 1, 2)), "02/01/0099");
}

TEST_F(DateTest, CenturySwitchRewritesTheYearAndFollowsTheFormat)
{
    rt::setDateFormat("dd-mm-yy");
    EXPECT_FALSE(rt::setCentury(1));
    EXPECT_EQ(rt::setDateFormat(), "dd-mm-yyyy");
    EXPECT_EQ(rt::dtoc(kDec7), "07-12-2026");

    EXPECT_TRUE(rt::setCentury(0));
    EXPECT_EQ(rt::setDateFormat(), "dd-mm-yy");
    EXPECT_EQ(rt::dtoc(kDec7), "07-12-26");

    EXPECT_EQ(rt::setDateFormat("yyyy/mm/dd"), "dd-mm-yy");
    EXPECT_TRUE(rt::setCentury()) << "a four-digit format turns the switch on";
    rt::setDateFormat("mm/dd/yy");
    EXPECT_FALSE(rt::setCentury()) << "a two-digit format turns it off";
}

TEST_F(DateTest, MalformedFormatsRaiseAndKeepTheOldOne)
{
    rt::setDateFormat("dd-mm-yyyy");
    for (const char* bad : {"dd-mm", "ddd-mm-yy", "dd-mm-yyy", "dd-dd-yy", "dd-mm-yy-x", "hh:mm:ss", "d-m-yy",
                            "dd-mm-yy-yy", "dd-mm-yy-0"}) {
        EXPECT_THROW((void)rt::setDateFormat(bad), rt::Error) << bad;
        EXPECT_EQ(rt::setDateFormat(), "dd-mm-yyyy") << bad;
    }
}

TEST_F(DateTest, CtodReadsByTheFormat)
{
    rt::setDateFormat("dd-mm-yyyy");
    struct Case {
        const char* name;
        const char* text;
        Date expected;
    } cases[] = {
        {"full", "07-12-2026", kDec7},
        {"one-digit day", "7-12-2026", kDec7},
        {"one-digit month", "07-2-2026", rt::makeDate(2026, 2, 7)},
        {"padded with blanks", " 7-12-2026 ", kDec7},
        {"other separator", "07/12/2026", kDec7},
        {"two-digit year counts from the epoch", "07-12-26", rt::makeDate(1926, 12, 7)},
        {"digits only, by the format's widths", "07122026", kDec7},
        {"empty picture", "  -  -    ", Date{}},
        {"no text", "", Date{}},
        {"blanks", "          ", Date{}},
        {"31 February", "31-02-2026", Date{}},
        {"letters", "aa-bb-cccc", Date{}},
        {"trailing letters", "07-12-2026x", Date{}},
        {"two fields", "07-12", Date{}},
        {"four fields", "07-12-2026-1", Date{}},
        {"three-digit day", "007-12-2026", Date{}},
        {"five-digit year", "07-12-20260", Date{}},
        {"huge number", "99999999999999999999-1-1", Date{}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rt::ctod(c.text), c.expected) << c.name;
}

TEST_F(DateTest, EpochDecidesTheCenturyOfTwoDigitYears)
{
    rt::setDateFormat("dd/mm/yy");
    rt::setEpoch(1950);
    EXPECT_EQ(rt::ctod("07/12/26"), kDec7);
    EXPECT_EQ(split(rt::ctod("01/01/49")).y, 2049);
    EXPECT_EQ(split(rt::ctod("01/01/50")).y, 1950);
    EXPECT_THROW((void)rt::setEpoch(10000), rt::Error);
}

TEST_F(DateTest, DtocAndCtodRoundTripInEveryFormat)
{
    rt::setEpoch(1950);
    for (const char* fmt : {"dd-mm-yyyy", "mm/dd/yy", "yyyy.mm.dd", "ddmmyyyy", "yy/mm/dd"})
        for (const Date d : {kDec7, rt::makeDate(1950, 1, 1), rt::makeDate(2049, 2, 28), Date{}}) {
            rt::setDateFormat(fmt);
            EXPECT_EQ(rt::ctod(rt::dtoc(d)), d) << fmt << " " << rt::dtos(d);
        }
}

TEST_F(DateTest, StodTakesEightDigitsOnly)
{
    struct Case {
        const char* text;
        Date expected;
    } cases[] = {
        {"20261207", kDec7},  {"00010101", rt::makeDate(1, 1, 1)}, {"        ", Date{}}, {"", Date{}},
        {"20261301", Date{}}, {"2026120", Date{}},                 {"2026120a", Date{}}, {"202612070", Date{}},
        {"-2026120", Date{}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rt::stod(c.text), c.expected) << '"' << c.text << '"';
    for (const Date d : {kDec7, rt::makeDate(1, 1, 1), rt::makeDate(9999, 12, 31), Date{}})
        EXPECT_EQ(rt::stod(rt::dtos(d)), d);
}

TEST_F(DateTest, AmPmShowsTwelveHourTime)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"14:30:00", " 2:30:00 pm"}, {"09:05:00", "09:05:00 am"}, {"12:00:00", "12:00:00 pm"},
        {"00:10:00", "12:10:00 am"}, {"23:59:59", "11:59:59 pm"}, {"22:00:00", "10:00:00 pm"},
        {"11:59:59", "11:59:59 am"}, {"12:30", "12:30 pm"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rt::ampm(c.in), c.out) << c.in;
    for (const char* bad : {"", "1", "x1:00:00", "24:00:00"})
        EXPECT_THROW((void)rt::ampm(bad), rt::Error) << bad;
}

TEST_F(DateTest, ClockReadsLocalTime)
{
    EXPECT_TRUE(std::regex_match(rt::timeText(), std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]")));
    const double s = rt::secondsOfDay();
    EXPECT_GE(s, 0.0);
    EXPECT_LT(s, 86400.0);
    EXPECT_DOUBLE_EQ(s * 100, double(static_cast<long long>(s * 100 + 0.5))) << "hundredths only";
    EXPECT_FALSE(rt::today().empty());
}

TEST_F(DateTest, RegisteredDateParts)
{
    const Value d(kDec7);
    EXPECT_EQ(rt::callWith("Day", d).asInt(), 7);
    EXPECT_EQ(rt::callWith("Month", d).asInt(), 12);
    EXPECT_EQ(rt::callWith("Year", d).asInt(), 2026);
    EXPECT_EQ(rt::callWith("DoW", d).asInt(), 2);
    EXPECT_EQ(rt::callWith("CDoW", d).asString(), "Monday");
    EXPECT_EQ(rt::callWith("CMonth", d).asString(), "December");
    EXPECT_EQ(rt::callWith("DoW", Value(rt::makeDate(2026, 12, 6))).asInt(), 1);
    const Value empty(Date{});
    EXPECT_EQ(rt::callWith("Day", empty).asInt(), 0);
    EXPECT_EQ(rt::callWith("DoW", empty).asInt(), 0);
    EXPECT_EQ(rt::callWith("CDoW", empty).asString(), "");
    EXPECT_EQ(rt::callWith("CMonth", empty).asString(), "");
    EXPECT_EQ(rt::callWith("DtoS", d).asString(), "20261207");
    EXPECT_EQ(rt::callWith("StoD", "20261207").asDate(), kDec7);
    EXPECT_TRUE(rt::callFunction("StoD").asDate().empty());
    EXPECT_EQ(rt::callFunction("Date").asDate(), rt::today());
    EXPECT_EQ(rt::callFunction("Seconds").decimals(), 2);
    EXPECT_EQ(rt::callWith("AMPM", "14:30:00").asString(), " 2:30:00 pm");
}

TEST_F(DateTest, RegisteredSettingsReturnThePreviousValue)
{
    rt::setDateFormat("mm/dd/yy");
    EXPECT_FALSE(rt::callWith("SetCentury", true).asBool());
    EXPECT_TRUE(rt::callFunction("SetCentury").asBool());
    EXPECT_EQ(rt::callWith("SetDateFormat", "dd-mm-yyyy").asString(), "mm/dd/yyyy");
    EXPECT_EQ(rt::callFunction("SetDateFormat").asString(), "dd-mm-yyyy");
    EXPECT_EQ(rt::callWith("DtoC", Value(kDec7)).asString(), "07-12-2026");
    EXPECT_EQ(rt::callWith("CtoD", "7-12-2026").asDate(), kDec7);
    EXPECT_TRUE(rt::callWith("SetCentury", "off").asBool());
    EXPECT_EQ(rt::setDateFormat(), "dd-mm-yy");
}

TEST_F(DateTest, RegisteredFunctionsRejectWrongKinds)
{
    struct Case {
        const char* fn;
        Value arg;
    } cases[] = {
        {"DtoC", Value("07-12-2026")}, {"DtoS", Value()},         {"Day", Value(7)},
        {"CtoD", Value(1)},            {"StoD", Value(20261207)}, {"AMPM", Value()},
        {"SetCentury", Value(5)},      {"SetCentury", Value("maybe")},
        {"SetDateFormat", Value(1)},   {"SetDateFormat", Value("hh:mm")},
    };
    for (const auto& c : cases)
        EXPECT_THROW(rt::callWith(c.fn, c.arg), rt::Error) << c.fn;
}
