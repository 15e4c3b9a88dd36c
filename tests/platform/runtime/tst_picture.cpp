// Transform through pictures, called by name.
#include "platform/runtime/array.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

using rt::Value;

namespace {

struct Case {
    const char* name;
    Value value;
    const char* picture;
    const char* want;
};

void check(std::initializer_list<Case> cases)
{
    for (const Case& c : cases) {
        const Value got = rt::callWith("Transform", c.value, c.picture);
        ASSERT_TRUE(got.isChar()) << c.name;
        EXPECT_EQ(got.str(), c.want) << c.name << "  picture \"" << c.picture << "\"";
    }
}

}  // namespace

TEST(Transform, NumberTemplates)
{
    check({
        {"fits exactly", 5432, "9999", "5432"},
        {"rounds to template", 3.14159, "999.99", "  3.14"},
        {"decimal-exact rounding", 2.675, "9.99", "2.68"},
        {"half away from zero", -2.5, "99", "-3"},
        {"leading zero kept", 0.5, "999.99", "  0.50"},
        {"no room for zero", 0.5, ".99", ".50"},
        {"thousands", 1234.5, "9,999.99", "1,234.50"},
        {"comma blank without digit", 5, "9,999", "    5"},
        {"hash is a digit", 42, "####", "  42"},
        {"negative takes a position", -5, "999", " -5"},
        {"negative with comma", -1234, "99,999", "-1,234"},
        {"negative exactly full", -12, "999", "-12"},
        {"literals kept", 1234567, "999-9999", "123-4567"},
        {"star fill", 12.5, "***.99", "*12.50"},
        {"dollar fill", 5, "$999", "$$$5"},
        {"star fill with comma", 5, "*,***", "****5"},
    });
}

// A number that does not fit fills every digit and comma position with "*";
// the point and the literals stay, so the column keeps its shape.
TEST(Transform, NumberOverflow)
{
    check({
        {"whole", 54321, "9999", "****"},
        {"with point", 12345.6, "999.99", "***.**"},
        {"with comma", 12345, "9,999", "*****"},
        {"sign has no room", -123, "999", "***"},
        {"carry overflows", 99.995, "99.99", "**.**"},
        {"literals stay", 12345678, "999-9999", "***-****"},
        {"european", 12345.6, "@E 999.99", "***,**"},
    });
}

TEST(Transform, NumberFunctions)
{
    check({
        {"european", 1234.5, "@E 9,999.99", "1.234,50"},
        {"european no template", Value::number(3.5, 2), "@E", "         3,50"},
        {"zero blank", 0, "@Z 999", "   "},
        {"zero blank after rounding", 0.001, "@Z 9.99", "    "},
        {"nonzero not blank", 7, "@Z 999", "  7"},
        {"left justify", 5, "@B 999", "5  "},
        {"left justify no template", 5, "@B", "5         "},
        {"credit", 5, "@C 999", "  5 CR"},
        {"credit not for negative", -5, "@C 999", " -5"},
        {"debit drops minus", -5, "@X 999", "  5 DB"},
        {"debit not for positive", 5, "@X 999", "  5"},
        {"parens negative", -5, "@( 999", "(  5)"},
        {"parens full width", -123, "@( 999", "(123)"},
        {"parens positive keeps width", 5, "@( 999", "   5 "},
        {"tight parens", -5, "@) 999", "  (5)"},
        {"tight parens positive", 5, "@) 999", "  5 "},
        {"combined", -1234.5, "@E( 9,999.99", "(1.234,50)"},
        {"lower-case letters", 1234.5, "@e 9,999.99", "1.234,50"},
        {"empty picture", 5, "", "         5"},
        {"empty picture decimals", Value::number(1.5, 2), "", "         1.50"},
        {"scroll and K ignored", 5, "@KS10 99", " 5"},
    });
}

TEST(Transform, TextPictures)
{
    check({
        {"upper function", "abc", "@!", "ABC"},
        {"upper accented", "ñandú", "@!", "ÑANDÚ"},
        {"R inserts literals", "1234567", "@R 999-9999", "123-4567"},
        {"without R literal replaces", "1234567", "999-9999", "123-567 "},
        {"cut to template", "abcdef", "XXX", "abc"},
        {"short text padded", "ab", "XXXX", "ab  "},
        {"bang per position", "abc", "!XX", "Abc"},
        {"R and upper", "ab12", "@R! XX-99", "AB-12"},
        {"accented through template", "ñandú", "@R XX.XXX", "ña.ndú"},
        {"no template unchanged", "abc", "", "abc"},
        {"R alone unchanged", "abc", "@R", "abc"},
    });
}

TEST(Transform, OtherKinds)
{
    rt::setDateFormat("mm/dd/yyyy");
    const Value d(rt::makeDate(2024, 3, 7));
    check({
        {"logical default", true, "", "T"},
        {"logical L", false, "L", "F"},
        {"logical Y", true, "Y", "Y"},
        {"logical Y false", false, "@! Y", "N"},
        {"date default", d, "", "03/07/2024"},
        {"date D", d, "@D", "03/07/2024"},
        {"date european", d, "@E", "07/03/2024"},
        {"nil", Value(), "999", ""},
    });
    EXPECT_EQ(rt::setDateFormat(), "mm/dd/yyyy") << "@E must restore the date format";
    rt::setDateFormat("dd-mm-yyyy");
    check({{"european on a day-first format", d, "@E", "07-03-2024"}});
    EXPECT_EQ(rt::callWith("Transform", 5).str(), "         5");
    rt::Error e("");
    EXPECT_FALSE(rt::guarded([] { (void)rt::callWith("Transform", rt::makeArray({1}), "9"); }, &e));
    EXPECT_EQ(e.description, "Argument error");
}
