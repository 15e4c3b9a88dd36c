// Table handles: numbers that name open work areas, driven through compiled
// text as the browse's table-handle blocks call them.
#include "workarea_fixture.h"

using namespace wa;
using rt::Value;

namespace {

class AdsTest : public WorkAreaTest {
protected:
    void SetUp() override
    {
        openPeople();
        h = num("AdsGetTableHandle(\"PEOPLE\")");
        rt::publicSet("H", Value(h));
    }
    static std::string errorOf(const std::string& text)
    {
        try {
            ev(text);
        } catch (const rt::Error& e) {
            return e.description + " " + e.operation;
        }
        return "no error";
    }
    static void openEmpty(const std::string& alias, bool newArea = true)
    {
        const std::string p = path(alias + ".dbf");
        dbf::Table::create(p, {{"CODE", 'N', 4, 0}});
        ev("DbUseArea(" + std::string(newArea ? ".T." : ".F.") + ", \"FOXCDX\", \"" + p + "\", \"" + alias + "\")");
    }
    long long h = 0;
};

TEST_F(AdsTest, MovesActOnTheHandlesAreaAndNeverEndOnThePhantom)
{
    EXPECT_EQ(num("AdsGetTableHandle(\" people \")"), h);  // the same number while open
    openEmpty("CURRENT");
    EXPECT_NE(num("AdsGetTableHandle()"), h);  // the current area's own
    ev("AdsGotoTop(H)");
    EXPECT_EQ(num("RK_AdsSkipper(H, 3)"), 3);
    EXPECT_EQ(num("AdsGetRecordNum(H, 1)"), 4);
    EXPECT_EQ(num("RK_AdsSkipper(H, 10)"), 2);
    EXPECT_EQ(num("AdsGetRecordNum(H, 2)"), 6);
    EXPECT_EQ(num("RK_AdsPosition(H)"), 100);
    EXPECT_EQ(num("RK_AdsSkipper(H, -10)"), -5);
    EXPECT_EQ(num("RK_AdsPosition(H)"), 1);
    ev("RK_AdsGoPosition(H, 100)");
    EXPECT_EQ(num("AdsGetRecordNum(H)"), 6);
    EXPECT_EQ(str("Alias()"), "CURRENT");
    EXPECT_EQ(errorOf("AdsGetTableHandle(\"NOSUCH\")"), "Alias does not exist ADSGETTABLEHANDLE");
}

TEST_F(AdsTest, RecordNumberComesBackAndInAnArrayCellZeroOnThePhantom)
{
    ev("AdsGotoBottom(H)");
    const Value cell = Value::array();
    EXPECT_EQ(rt::callWith("AdsGetRecordNum", Value(h), 2, cell).asInt(), 6);
    EXPECT_EQ(cell.asArray().items.at(0).asInt(), 6);
    EXPECT_EQ(errorOf("AdsGetRecordNum(H, 3)"), "Argument error ADSGETRECORDNUM");
    openEmpty("EMPTY");
    rt::publicSet("H", Value(num("AdsGetTableHandle()")));
    ev("AdsGotoTop(H)");
    EXPECT_EQ(num("AdsGetRecordNum(H)"), 0);
    EXPECT_EQ(num("RK_AdsSkipper(H, 1)") + num("RK_AdsSkipper(H, -1)"), 0);
}

TEST_F(AdsTest, StaleAndMadeUpHandlesAreRefused)
{
    for (const char* bad : {"0", "-1", "999999", "H + 0.5", "\"1\"", "NIL"})
        EXPECT_EQ(errorOf(std::string("AdsGotoTop(") + bad + ")"), "Invalid table handle ADSGOTOTOP") << bad;
    EXPECT_EQ(num("AdsGetRecordNum(H * 1.0)"), 1);
    ev("DbCloseArea()");
    for (const char* call : {"AdsGotoBottom(H)", "AdsGetRecordNum(H)", "RK_AdsSkipper(H, 1)", "RK_AdsPosition(H)",
                             "RK_AdsGoPosition(H, 5)"})
        EXPECT_EQ(errorOf(call).rfind("Invalid table handle", 0), 0u) << call;
    openEmpty("LATER", false);  // another table in the same area
    EXPECT_EQ(errorOf("AdsGotoTop(H)"), "Invalid table handle ADSGOTOTOP");
    EXPECT_NE(num("AdsGetTableHandle(\"LATER\")"), h);
}

}  // namespace
