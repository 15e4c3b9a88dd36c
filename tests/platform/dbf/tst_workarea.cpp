// Work areas, fields, aliases and moves in record-number order, driven
// through compiled text as the application calls them.
#include "workarea_fixture.h"

using namespace wa;
using rt::Value;

TEST_F(WorkAreaTest, NaturalOrderWalksEveryRecordAndEndsOnThePhantom)
{
    openPeople();
    EXPECT_EQ(num("RecNo()"), 1);
    EXPECT_EQ(walk(), (Recs{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(yes("Eof()"));
    EXPECT_EQ(num("RecNo()"), 7);
    ev("DbSkip(-1)");
    EXPECT_EQ(num("RecNo()"), 6);  // from the phantom the first step back lands on the last record
    ev("DbGoTop()");
    ev("DbSkip(-1)");
    EXPECT_TRUE(yes("Bof()"));
    EXPECT_EQ(num("RecNo()"), 1);
    ev("DbGoBottom()");
    EXPECT_EQ(walk("DbSkip(-1)", "Bof()"), (Recs{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(num("LastRec()"), 6);
    EXPECT_EQ(num("RecCount()"), 6);
}

TEST_F(WorkAreaTest, PhantomRecordHoldsBlankValuesOfEveryType)
{
    openPeople();
    for (const char* go : {"DbGoto(0)", "DbGoto(LastRec() + 1)", "DbGoto(99)"}) {
        SCOPED_TRACE(go);
        ev(go);
        EXPECT_TRUE(yes("Eof()"));
        EXPECT_EQ(num("RecNo()"), 7);
        EXPECT_EQ(str("NAME"), std::string(10, ' '));
        EXPECT_EQ(num("AGE"), 0);
        EXPECT_TRUE(ev("BORN").isDate() && ev("BORN").asDate().empty());
        EXPECT_FALSE(yes("OK"));
        EXPECT_EQ(ev("AMT").asDouble(), 0.0);
        EXPECT_EQ(str("NOTES"), "");
        EXPECT_FALSE(yes("Deleted()"));
    }
    EXPECT_THROW(ev("FieldPut(1, \"x\")"), rt::Error);  // nothing to write to
}

TEST_F(WorkAreaTest, FieldsByNameNumberAndAlias)
{
    openPeople();
    ev("DbGoto(2)");
    EXPECT_EQ(str("Trim(NAME)"), "Adams");
    EXPECT_EQ(str("Trim(FieldGet(1))"), "Adams");
    EXPECT_EQ(str("FieldName(2)"), "AGE");
    EXPECT_EQ(num("FieldPos(\"born\")"), 3);
    EXPECT_EQ(num("FCount()"), 6);
    EXPECT_EQ(ev("AMT").decimals(), 2);
    EXPECT_EQ(str("Trim(PEOPLE->NAME)"), "Adams");
    EXPECT_EQ(str("Trim(people->(FieldGet(1)))"), "Adams");
    ev("PEOPLE->AGE := 33");
    EXPECT_EQ(num("AGE"), 33);
    rt::publicSet("CITY", Value("Lima"));  // a name that is no field stays a variable
    EXPECT_EQ(str("CITY"), "Lima");
    const Value s = ev("DbStruct()");
    ASSERT_EQ(s.asArray().size(), 6u);
    EXPECT_EQ(rt::var2char(s.asArray().items[4]), R"~({"AMT", "N", 8, 2})~");
    EXPECT_THROW(ev("NOSUCH->NAME"), rt::Error);
    EXPECT_THROW(ev("PEOPLE->NOSUCH"), rt::Error);
}

TEST_F(WorkAreaTest, AreasAliasesAndSelection)
{
    openPeople("second.dbf");
    ev("DbCloseAll()");
    openPeople();
    EXPECT_THROW(openPeople("other.dbf"), rt::Error);    // alias PEOPLE is taken
    ev("DbUseArea(.T., , \"" + path("second") + "\")");  // default alias and extension
    EXPECT_EQ(num("Select()"), 2);
    EXPECT_EQ(str("Alias()"), "SECOND");
    EXPECT_EQ(str("Alias(1)"), "PEOPLE");
    ev("DbSelectArea(0)");
    EXPECT_EQ(num("Select()"), 3);
    EXPECT_FALSE(yes("Used()"));
    EXPECT_EQ(num("Select(\"second\")"), 2);
    EXPECT_EQ(num("Select(\"nosuch\")"), 0);
    EXPECT_THROW(ev("DbSelectArea(\"nosuch\")"), rt::Error);
}

TEST_F(WorkAreaTest, OpeningErrorsNameTheFile)
{
    const std::string missing = path("nothere.dbf");
    try {
        ev("DbUseArea(.T., , \"" + missing + "\")");
        FAIL() << "no error";
    } catch (const rt::Error& e) {
        EXPECT_NE(e.message().find("nothere.dbf"), std::string::npos) << e.message();
    }
    EXPECT_THROW(ev("DbUseArea(.T., \"NOSUCHDBE\", \"" + missing + "\")"), rt::Error);
    EXPECT_THROW(ev("DbSkip()"), rt::Error);  // no table in use
    EXPECT_TRUE(yes("Eof()"));
    EXPECT_EQ(num("RecNo()"), 0);
}

TEST_F(WorkAreaTest, FileNamesMatchWithoutRegardToCase)
{
    dbf::Table::create(path("UPPER.DBF"), {{"A", 'C', 3, 0}});
    ev("DbUseArea(.T., \"FOXCDX\", \"" + path("upper.DBF") + "\", \"upper\")");
    EXPECT_EQ(str("Alias()"), "UPPER");
    ev("DbUseArea(.T., , \"" + path("upper") + "\", \"u2\", .T., .T.)");
    EXPECT_EQ(num("Select(\"U2\")"), 2);
    ev("DbSelectArea(\"upper\")");
    EXPECT_EQ(num("Select()"), 1);
    ev("DbCloseArea()");
    EXPECT_FALSE(yes("Used()"));
}

TEST_F(WorkAreaTest, EnginesAndATableCreatedFromAStructure)
{
    EXPECT_TRUE(yes("RK_LoadRdds()"));
    EXPECT_EQ(str(R"~(DbeSetDefault("FOXCDX"))~"), "FOXCDX");
    EXPECT_FALSE(yes(R"~(DbeLoad("NOSUCH"))~"));
    EXPECT_THROW(ev(R"~(DbeSetDefault("NOSUCH"))~"), rt::Error);
    const std::string made = path("made");
    ev("DbCreate(\"" + made +
       R"~(", {{"code", "C", 6, 0}, {"PRICE", "N", 9, 2}, {"WHEN", "D", 8, 0}, {"PAID", "L", 1, 0}}))~");
    ev("DbUseArea(.T., , \"" + made + "\")");
    EXPECT_EQ(str("Alias()"), "MADE");
    EXPECT_EQ(rt::var2char(ev("DbStruct()")),
              R"~({{"CODE", "C", 6, 0}, {"PRICE", "N", 9, 2}, {"WHEN", "D", 8, 0}, {"PAID", "L", 1, 0}})~");
    EXPECT_TRUE(yes("Eof() .and. Bof()"));  // an empty table shows only the phantom
    EXPECT_EQ(num("RecNo()"), 1);
    EXPECT_EQ(num("DbSkipper(1)"), 0);
    ev("DbAppend()");
    ev("PRICE := 12.5");
    ev("MADE->PAID := .T.");
    ev("DbGoTop()");
    EXPECT_EQ(ev("PRICE").asDouble(), 12.5);
    EXPECT_TRUE(yes("PAID .and. !Eof()"));
    EXPECT_THROW(ev("DbCreate(\"" + path("bad") + R"~(", {{"A", "C", 1, 0}, 5}))~"), rt::Error);
    EXPECT_THROW(ev("PRICE := \"text\""), rt::Error);  // the table layer refuses a wrong kind
}

TEST_F(WorkAreaTest, AFileThatIsNoTableFailsNamingIt)
{
    const std::string bad = path("garbage.dbf");
    {
        std::FILE* f = std::fopen(bad.c_str(), "wb");
        std::fputs("not a table", f);
        std::fclose(f);
    }
    try {
        ev("DbUseArea(.T., , \"" + bad + "\")");
        FAIL() << "opened";
    } catch (const rt::Error& e) {
        EXPECT_NE(e.message().find("garbage.dbf"), std::string::npos) << e.message();
    }
    EXPECT_FALSE(yes("Used()"));
}

// The header's largest count, 4,294,967,295 records of one byte each (a
// sparse file): the last record is read and the walk past it ends.
TEST_F(WorkAreaTest, TheLastOfFourBillionRecordsIsReachedAndPassed)
{
    const std::string big = path("big.dbf");
    dbf::Table::create(big, {{"A", 'C', 1, 0}});
    constexpr std::uint64_t kLast = 0xFFFFFFFFull;
    {
        std::FILE* f = std::fopen(big.c_str(), "r+b");
        ASSERT_TRUE(f);
        const unsigned char count[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        std::fseek(f, 4, SEEK_SET);
        std::fwrite(count, 1, 4, f);
        std::fseek(f, long(65 + (kLast - 1) * 2), SEEK_SET);  // header 32 + 32 + 1, records of 2 bytes
        std::fputs(" Z", f);
        std::fclose(f);
    }
    ev("DbUseArea(.T., , \"" + big + "\", \"BIG\", .F., .T.)");
    EXPECT_EQ(num("LastRec()"), 4294967295LL);
    ev("DbGoto(4294967294)");
    ev("DbSkip()");
    EXPECT_EQ(num("RecNo()"), 4294967295LL);
    EXPECT_EQ(str("A"), "Z");
    ev("DbSkip()");
    EXPECT_TRUE(yes("Eof()"));
    EXPECT_EQ(num("RecNo()"), 4294967296LL);
    ev("DbCloseArea()");
}
