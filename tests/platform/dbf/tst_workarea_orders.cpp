// Orders, seeks, scopes, record lists, positions and record tags of a work
// area, through the runtime's and the dialog library's functions.
#include "workarea_fixture.h"

#include "common/cdx_bytes.h"

#include <fstream>

using namespace wa;
using rt::Value;

namespace {

// kPeople by UPPER(NAME): ADAMS 2, ASMITH 5, BAKER 4, SMALL 3, SMITH 1, ZOË 6
const Recs kByName = {2, 5, 4, 3, 1, 6};

class OrderTest : public WorkAreaTest {
protected:
    void SetUp() override
    {
        openPeople();
        ev(R"~(OrdCreate(, "NAME", "UPPER(NAME)"))~");
    }
};

}  // namespace

TEST_F(OrderTest, KeysOfEveryKindSortAsTheirValues)
{
    struct Row {
        const char* name;
        const char* key;
        Recs expected;
    };
    const Row rows[] = {
        {"text, upper-cased", "UPPER(NAME)", kByName},
        {"text, as stored (case counts)", "NAME", {2, 4, 3, 6, 5, 1}},
        {"number, negative first", "AGE", {2, 5, 4, 1, 3, 6}},
        {"date, empty first", "BORN", {3, 1, 5, 4, 2, 6}},
        {"date as text", "DTOS(BORN)", {3, 1, 5, 4, 2, 6}},
        {"logical", "OK", {2, 4, 6, 1, 3, 5}},
        {"joined text (blank before minus)", "STR(AGE, 4) + UPPER(NAME)", {5, 2, 4, 3, 1, 6}},
        {"compiled expression", "-AGE", {1, 3, 6, 4, 5, 2}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ev(std::string("OrdCreate(, \"T\", \"") + r.key + "\")");
        ev("DbGoTop()");
        EXPECT_EQ(walk(), r.expected);
    }
}

TEST_F(OrderTest, SimpleAndCompiledKeysBuildTheSameOrder)
{
    for (const char* key : {"UPPER(NAME)", "NAME", "AGE", "DTOS(BORN)", "STR(AMT, 8, 2) + NAME", "BORN",
                            "UPPER(SUBSTR(NAME, 2, 3)) + DTOC(BORN)", "ALLTRIM(NAME) + LTRIM(STR(AGE))",
                            "SUBSTR(NAME, 3) + RIGHT(DTOS(BORN), 4)", "LEFT(UPPER(TRIM(NAME)), 2)"}) {
        SCOPED_TRACE(key);
        dbf::WorkArea& area = *dbf::currentArea();
        const int fast = area.createOrder({"FAST", key, ""});
        const int slow = area.createOrder({"SLOW", key, ""}, true);
        ASSERT_TRUE(area.order(fast).isSimple());
        ASSERT_FALSE(area.order(slow).isSimple());
        ASSERT_EQ(area.order(fast).size(), area.order(slow).size());
        for (std::size_t i = 0; i < area.order(fast).size(); ++i) {
            EXPECT_EQ(area.order(fast).recno(i), area.order(slow).recno(i));
            EXPECT_EQ(area.order(fast).key(i), area.order(slow).key(i));
        }
    }
}

TEST_F(OrderTest, FocusDescendingAndTheAreaDescendFlag)
{
    ev("DbGoTop()");
    EXPECT_EQ(walk(), kByName);
    ev(R"~(OrdCreate(, "AGEDESC", "AGE", , , , .T.))~");
    EXPECT_EQ(str("OrdSetFocus(\"name\")"), "AGEDESC");
    EXPECT_EQ(num("OrdNumber()"), 1);
    EXPECT_EQ(num("OrdCount()"), 2);
    ev("OrdSetFocus(2)");
    ev("DbGoTop()");
    EXPECT_EQ(walk(), (Recs{6, 3, 1, 4, 5, 2}));  // equal ages keep record order backwards
    ev("OrdSetFocus(\"NAME\")");
    EXPECT_FALSE(yes("DbSetDescend(.T.)"));
    ev("DbGoTop()");
    EXPECT_EQ(walk(), (Recs{6, 1, 3, 4, 5, 2}));
    ev("DbSetDescend(.F.)");
    ev("OrdSetFocus(0)");
    ev("DbGoTop()");
    EXPECT_EQ(walk(), (Recs{1, 2, 3, 4, 5, 6}));
    EXPECT_THROW(ev("OrdSetFocus(\"nosuch\")"), rt::Error);
    EXPECT_EQ(str("OrdSetFocus()"), "");
}

TEST_F(OrderTest, UniqueOrderAndForCondition)
{
    ev(R"~(OrdCreate(, "AGES", "AGE", , .T.))~");
    ev("DbGoTop()");
    EXPECT_EQ(walk(), (Recs{2, 5, 4, 1}));  // one record per age: the lowest
    EXPECT_EQ(num("OrdKeyCount()"), 4);
    ev(R"~(OrdCreate(, "OKS", "UPPER(NAME)", , , "OK"))~");
    ev("DbGoTop()");
    EXPECT_EQ(walk(), (Recs{5, 3, 1}));
    ev("DbGoto(5)");
    ev("OK := .F.");  // leaves the order
    ev("DbGoTop()");
    EXPECT_EQ(walk(), (Recs{3, 1}));
}

TEST_F(OrderTest, SkipUniquePassesOverEqualKeys)
{
    ev(R"~(OrdCreate(, "AGE", "AGE"))~");  // ages -5 7 12 40 40 40
    ev("DbGoTop()");
    EXPECT_EQ(walk("RK_DbSkipper(1, , .F., .T.)", "RK_Eof() .or. RecNo() == 1"), (Recs{2, 5, 4}));
    EXPECT_EQ(num("RecNo()"), 1);
    EXPECT_EQ(num("RK_DbSkipper(5, , .F., .T.)"), 0);  // only equal keys follow
    EXPECT_EQ(num("RecNo()"), 1);
    EXPECT_EQ(num("RK_DbSkipper(-5, , .F., .T.)"), -3);
    EXPECT_EQ(num("RecNo()"), 2);
}

TEST_F(OrderTest, SeekExactSoftAndLast)
{
    struct Row {
        const char* call;
        bool found;
        long long recno;  // 7: the phantom
    };
    const Row rows[] = {
        {R"~(DbSeek("SM"))~", true, 3},  {R"~(DbSeek("SM", , .T.))~", true, 1}, {R"~(DbSeek("SMITH     "))~", true, 1},
        {R"~(DbSeek("SN"))~", false, 7}, {R"~(DbSeek("SN", .T.))~", false, 6},  {R"~(DbSeek("ZZ", .T.))~", false, 7},
        {R"~(DbSeek(""))~", true, 2},    {R"~(DbSeek("ZOË"))~", true, 6},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.call);
        EXPECT_EQ(yes(r.call), r.found);
        EXPECT_EQ(yes("Found()"), r.found);
        EXPECT_EQ(num("RecNo()"), r.recno);
        EXPECT_EQ(yes("Eof()"), r.recno == 7);
    }
    ev(R"~(OrdCreate(, "BORN", "BORN"))~");
    EXPECT_TRUE(yes("DbSeek(SToD(\"19840102\"))"));
    EXPECT_EQ(num("RecNo()"), 1);
    EXPECT_TRUE(yes("DbSeek(\"20010203\")"));  // a date order takes DTOS text
    EXPECT_THROW(ev("DbSeek(.T.)"), rt::Error);
    ev("OrdSetFocus(0)");
    EXPECT_THROW(ev("DbSeek(\"A\")"), rt::Error);
}

TEST_F(OrderTest, OrderFollowsFieldWritesAndAppends)
{
    ev("DbGoto(6)");
    ev(R"~(FieldPut(1, "Aaron"))~");
    ev("DbGoTop()");
    EXPECT_EQ(walk(), (Recs{6, 2, 5, 4, 3, 1}));
    ev("DbGoto(2)");
    ev(R"~(NAME := "zz top")~");
    ev("DbSkip()");
    EXPECT_TRUE(yes("Eof()"));  // the record moved to the end and skipping follows it
    ev("DbAppend()");
    EXPECT_EQ(num("RecNo()"), 7);
    ev("DbGoTop()");
    EXPECT_EQ(num("RecNo()"), 7);  // blank names sort first
    ev(R"~(NAME := "BETA")~");
    ev("DbGoTop()");
    EXPECT_EQ(walk(), (Recs{6, 5, 4, 7, 3, 1, 2}));
    EXPECT_TRUE(yes(R"~(DbSeek("BETA"))~"));
    EXPECT_EQ(num("RecNo()"), 7);
}

TEST_F(OrderTest, DeletedRecordsHiddenOnRequest)
{
    ev("DbGoto(4)");
    ev("DbDelete()");
    EXPECT_TRUE(yes("Deleted()"));
    ev("DbGoto(2)");
    ev("DbDelete()");
    ev("DbGoTop()");
    EXPECT_EQ(walk(), kByName);  // shown by default
    EXPECT_FALSE(yes("SetDeleted(.T.)"));
    ev("DbGoTop()");
    EXPECT_EQ(walk(), (Recs{5, 3, 1, 6}));
    EXPECT_EQ(num("OrdKeyCount()"), 4);
    ev("DbGoto(3)");
    EXPECT_EQ(num("OrdKeyNo()"), 2);
    EXPECT_FALSE(yes("DbSeek(\"ADAMS\")"));
    ev("DbGoto(2)");
    ev("DbRecall()");
    EXPECT_EQ(num("OrdKeyCount()"), 5);
    ev("OrdSetFocus(0)");
    ev("DbGoBottom()");
    EXPECT_EQ(walk("DbSkip(-1)", "Bof()"), (Recs{6, 5, 3, 2, 1}));
    // Forward in record order too, from a hidden record made current by
    // number, and past a hidden last record to the phantom.
    ev("DbGoTop()");
    EXPECT_EQ(walk(), (Recs{1, 2, 3, 5, 6}));
    ev("DbGoto(4)");
    ev("DbSkip(1)");
    EXPECT_EQ(num("RecNo()"), 5);
    ev("DbGoto(6)");
    ev("DbDelete()");
    ev("DbGoto(5)");
    ev("DbSkip(1)");
    EXPECT_TRUE(yes("Eof()"));
    EXPECT_EQ(num("RecNo()"), 7);
    EXPECT_TRUE(yes("SetDeleted()"));
}

TEST_F(OrderTest, KeyScopeRestrictsMovesAndCounts)
{
    EXPECT_FALSE(yes("RK_ScopeExpress()"));
    EXPECT_TRUE(ev("RK_SetScope(0, \"SM\")").isNil());
    ev(R"~(RK_SetScope(1, "SM"))~");
    EXPECT_TRUE(yes("RK_ScopeExpress()"));
    EXPECT_EQ(str("RK_SetScope(0)"), "SM");
    EXPECT_TRUE(ev("DbScope(1)").isNil());  // the engine has no scope of its own
    ev("RK_DbGoTop()");
    EXPECT_EQ(walk("RK_DbSkip(1)", "RK_Eof()"), (Recs{3, 1}));
    ev("RK_DbGoBottom()");
    EXPECT_EQ(num("RecNo()"), 1);
    EXPECT_EQ(num("RK_KeyCount32k()"), 2);
    EXPECT_EQ(num("RK_KeyNo()"), 2);
    EXPECT_EQ(num("RK_DbSkipper(-5)"), -1);
    EXPECT_FALSE(yes("DbSeek(\"ADAMS\")"));
    ev(R"~(RK_SetScope(0, "B"))~");
    ev(R"~(RK_SetScope(1, "C"))~");
    ev("RK_DbGoTop()");
    EXPECT_EQ(walk(), (Recs{4}));
    ev(R"~(RK_SetScope(1, "A"))~");  // bottom below top: nothing
    ev("RK_DbGoTop()");
    EXPECT_TRUE(yes("Eof() .and. Bof()"));
    ev("RK_ClrScope()");
    EXPECT_FALSE(yes("RK_ScopeExpress()"));
    ev("RK_DbGoTop()");
    EXPECT_EQ(walk(), kByName);
    EXPECT_THROW(ev("RK_SetScope(0, .T.)"), rt::Error);
}

TEST_F(OrderTest, RecordListShownInTheCurrentOrder)
{
    EXPECT_TRUE(ev("RK_SetScopeArray({1, 5, 3, 99})").isNil());
    ev("RK_DbGoTop()");
    EXPECT_EQ(walk(), (Recs{5, 3, 1}));
    EXPECT_EQ(num("RK_KeyCount32k()"), 3);
    EXPECT_TRUE(yes("RK_ScopeExpress()"));
    ev(R"~(RK_SetScope(0, "SM"))~");
    ev("RK_DbGoTop()");
    EXPECT_EQ(walk(), (Recs{3, 1}));
    ev("RK_ClrScope()");
    ev("OrdSetFocus(0)");
    ev("RK_DbGoBottom()");
    EXPECT_EQ(walk("RK_DbSkip(-1)", "RK_Bof()"), (Recs{5, 3, 1}));
    EXPECT_EQ(rt::var2char(ev("RK_SetScopeArray({-1})")), "{1, 3, 5, 99}");
    ev("RK_DbGoTop()");
    EXPECT_TRUE(yes("RK_Eof()"));
    ev("RK_SetScopeArray(NIL)");
    ev("RK_DbGoTop()");
    EXPECT_EQ(walk().size(), 6u);
}

TEST_F(OrderTest, PositionsOverTheOrder)
{
    ev("DbGoTop()");
    EXPECT_EQ(num("DbPosition()"), 0);
    EXPECT_EQ(num("RK_DbPosition()"), 1);
    ev("DbGoPosition(100)");
    EXPECT_EQ(num("RecNo()"), 6);
    EXPECT_EQ(num("DbPosition()"), 100);
    EXPECT_EQ(num("RK_DbPosition()"), 100);
    ev("DbGoPosition(60)");
    EXPECT_EQ(num("RecNo()"), 3);  // slot 3 of 0..5
    EXPECT_EQ(num("DbPosition()"), 60);
    EXPECT_EQ(num("DbPosition(, .T.)"), 40);
    ev("DbGoPosition(0, .T.)");
    EXPECT_EQ(num("RecNo()"), 6);
    ev("RK_DbGoPosition(1)");
    EXPECT_EQ(num("RecNo()"), 2);
    ev("RK_DbGoPosition(100, .T.)");
    EXPECT_EQ(num("RecNo()"), 2);
    EXPECT_EQ(num("RK_KeyNo32k()"), 1);
    ev("DbGoBottom()");
    EXPECT_EQ(num("RK_KeyNo32k()"), 6);
    ev("DbSkip()");
    EXPECT_EQ(num("RK_KeyNo32k()"), 6);  // the phantom stands at the end
    EXPECT_EQ(num("OrdKeyNo()"), 0);
}

TEST_F(OrderTest, DescendingCallersWalkBackwards)
{
    ev("RK_DbGoTop(.T.)");
    EXPECT_EQ(num("RecNo()"), 6);
    EXPECT_EQ(num("RK_DbSkipper(2, , .T.)"), 2);
    EXPECT_EQ(num("RecNo()"), 3);
    EXPECT_EQ(num("RK_DbSkipper(10, , .T.)"), 3);
    EXPECT_EQ(num("RecNo()"), 2);
    EXPECT_FALSE(yes("Eof()"));  // a skipper never stops on the phantom
    EXPECT_EQ(num("RK_DbSkipper(-10, , .T.)"), -5);
    EXPECT_EQ(num("RecNo()"), 6);
}

TEST_F(OrderTest, RecordTagsPerWorkArea)
{
    ev("DbGoto(3)");
    EXPECT_TRUE(yes("RK_RecTagToggle()"));
    EXPECT_TRUE(yes("RK_Tagged()"));
    ev("DbGoto(1)");
    ev("RK_RecTagToggle()");
    EXPECT_EQ(rt::var2char(ev("RK_RecTagArray()")), "{1, 3}");
    EXPECT_FALSE(yes("RK_RecTagToggle()"));
    EXPECT_FALSE(yes("RK_Tagged()"));
    ev("DbGoto(0)");
    EXPECT_FALSE(yes("RK_RecTagToggle()"));  // the phantom takes no tag
    dbf::Table::create(path("other.dbf"), {{"A", 'C', 1, 0}});
    ev("DbUseArea(.T., , \"" + path("other.dbf") + "\")");
    EXPECT_EQ(rt::var2char(ev("RK_RecTagArray()")), "{}");
    EXPECT_EQ(rt::var2char(ev("PEOPLE->(RK_RecTagArray())")), "{3}");
    ev("PEOPLE->(RK_RecTagClear())");
    EXPECT_EQ(rt::var2char(ev("PEOPLE->(RK_RecTagArray())")), "{}");
}

TEST_F(OrderTest, AddRecLocksTheNewRecordUntilUnlocked)
{
    EXPECT_TRUE(yes("RK_AddRec()"));
    EXPECT_EQ(num("RecNo()"), 7);
    EXPECT_EQ(rt::var2char(ev("DbRLockList()")), "{7}");
    ev(R"~(FieldPut(FieldPos("NAME"), "Carol"))~");
    ev("DbRUnlock()");
    EXPECT_EQ(rt::var2char(ev("DbRLockList()")), "{}");
    ev("DbCommit()");
    ev("DbCloseAll()");
    ev("DbUseArea(.T., , \"" + path("people.dbf") + "\")");
    EXPECT_EQ(num("LastRec()"), 7);
    ev("DbGoto(7)");
    EXPECT_EQ(str("Trim(NAME)"), "Carol");
}

TEST_F(OrderTest, KeysOfMixedKindsAreRefused)
{
    EXPECT_THROW(ev(R"~(OrdCreate(, "MIX", "IIf(AGE > 20, NAME, AGE)"))~"), rt::Error);
    EXPECT_THROW(ev(R"~(OrdCreate(, "BAD", "UPPER(NAME"))~"), rt::Error);
    EXPECT_THROW(ev(R"~(OrdCreate(, "ARR", "{NAME}"))~"), rt::Error);
    EXPECT_EQ(str("OrdSetFocus()"), "NAME");  // the failed orders changed nothing
}

// Tags of the table's index file are data: read by the key plan, never
// compiled. Code in a key or a FOR leaves the tag out (asked for, it says
// why) and runs nothing; the keys real files hold order the records as the
// same key of the program's own, compiled, does.
TEST_F(OrderTest, IndexFileTagsAreReadNeverRun)
{
    struct Case {
        const char* name;
        cdxbytes::TagSpec tag;
        bool readable;
    };
    const Case cases[] = {
        {"code as the key", {"T", R"(DBCREATE("V",{{"A","C",1,0}}))", ""}, false},
        {"code as the FOR", {"T", "NAME", "DBAPPEND()"}, false},
        {"code joined to a field", {"T", "NAME+DBAPPEND()", "!DELETED()"}, false},
        {"parts of fields", {"T", "UPPER(SUBSTR(NAME,2,3))+DTOS(BORN)", "!DELETED()"}, true},
        {"trimmed text and numbers", {"T", "ALLTRIM(NAME)+STR(AGE,4)", ".NOT. DELETED()"}, true},
        {"ends of texts and dates", {"T", "LEFT(NAME, 2) + RIGHT(DTOC(BORN), 4)", ""}, true},
    };
    dbf::closeAllAreas();
    openPeople("tagged.dbf");
    ev("DbGoto(3)");
    ev("DbDelete()");
    dbf::closeAllAreas();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(path("tagged.cdx"), std::ios::binary | std::ios::trunc) << cdxbytes::buildCdx({c.tag});
        ev("DbUseArea(.T., \"FOXCDX\", \"" + path("tagged.dbf") + "\", \"TAGGED\", .T., .T.)");
        dbf::WorkArea& area = *dbf::currentArea();
        if (!c.readable) {
            EXPECT_EQ(area.findOrder("T"), 0);
            const rt::Error e = [] {
                rt::Error caught{""};
                rt::guarded([] { ev("OrdSetFocus(\"T\")"); }, &caught);
                return caught;
            }();
            EXPECT_NE(e.description.find("cannot be used"), std::string::npos) << e.description;
            EXPECT_EQ(num("LastRec()"), 6);
            EXPECT_FALSE(std::filesystem::exists("V.dbf"));
        } else {
            ASSERT_GT(area.findOrder("T"), 0);
            EXPECT_TRUE(area.order(area.findOrder("T")).isSimple());
            ev("OrdSetFocus(\"T\")");
            ev("DbGoTop()");
            const Recs fromFile = walk();
            area.createOrder({"MINE", c.tag.key, c.tag.forExpr}, true);
            ev("DbGoTop()");
            EXPECT_EQ(fromFile, walk());
            EXPECT_EQ(fromFile.size(), c.tag.forExpr.empty() ? 6u : 5u);  // record 3 is deleted
        }
        dbf::closeAllAreas();
    }
}
