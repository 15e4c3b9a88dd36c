// Work-area data sources over a real DBF, each navigating table CUST while
// another work area is current: the plain alias set, the thumb lock, the
// dialog library's scope, a native scope, the ACE wrapper, table handles.
#include "tst_navigation_fixture.h"

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"
#include "platform/runtime/compiler.h"

#include <cstdlib>
#include <filesystem>

using namespace navtest;

namespace {

Value ev(const std::string& text) { return rt::evalText(text); }

class AliasNav : public NavTest {
protected:
    static void SetUpTestSuite()
    {
        NavTest::SetUpTestSuite();
        dbf::registerDbfFunctions();
        const char* base = std::getenv("DXC_TEST_TMP");
        dir = std::string(base && *base ? base : "/tmp") + "/nav_XXXXXX";
        ASSERT_NE(mkdtemp(dir.data()), nullptr);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir); }
    // CUST: NAME N01..N10, GRP A A B B B C C D D E; OTHER, empty, is current.
    void SetUp() override
    {
        NavTest::SetUp();
        dbf::Table::create(dir + "/cust.dbf", {{"NAME", 'C', 10, 0}, {"GRP", 'C', 1, 0}});
        auto t = dbf::Table::open(dir + "/cust.dbf", false, false);
        for (int i = 1; i <= 10; ++i) {
            t->appendBlank();
            t->put(0, Value((i < 10 ? "N0" : "N") + std::to_string(i)));
            t->put(1, Value(std::string(1, "AABBBCCDDE"[i - 1])));
        }
        t->flush();
        t.reset();
        dbf::Table::create(dir + "/other.dbf", {{"CODE", 'N', 4, 0}});
        ev("DbUseArea(.T., \"FOXCDX\", \"" + dir + "/cust.dbf\", \"CUST\")");
        ev("DbUseArea(.T., \"FOXCDX\", \"" + dir + "/other.dbf\", \"OTHER\")");
        b->navigateBlock = rt::makeBlock([this](rt::Args) { ++navigated; });
    }
    void TearDown() override
    {
        NavTest::TearDown();
        EXPECT_EQ(ev("Alias()").str(), "OTHER") << "the current area is selected back after every call";
        dbf::closeAllAreas();
    }
    long long recno() { return ev("CUST->(RecNo())").asInt(); }
    void inCust(const std::string& text) { ev("CUST->(" + text + ")"); }

    static inline std::string dir;
    int navigated = 0;
};

TEST_F(AliasNav, PlainAliasAscendingDescendingAndUnique)
{
    install(Value("CUST"), 2);
    top();
    EXPECT_EQ(skip(3), 3);
    EXPECT_EQ(phy(), 4);
    EXPECT_EQ(skip(20), 6);
    EXPECT_EQ(recno(), 10) << "never ends on the phantom";
    EXPECT_EQ(pos(), 100);
    goPos(1);
    EXPECT_EQ(recno(), 1);
    EXPECT_EQ(navigated, 4) << "after each move, not after positions";
    EXPECT_EQ(rt::evalWith(b->phyPosBlock, 7).asInt(), 7);
    EXPECT_EQ(last(), 100);

    b->descending = Value(true);
    top();
    EXPECT_EQ(recno(), 10);
    EXPECT_EQ(pos(), 1);
    EXPECT_EQ(skip(1), 1);
    EXPECT_EQ(recno(), 9);
    EXPECT_EQ(skip(-5), -1);
    bottom();
    EXPECT_EQ(recno(), 1);

    inCust(R"~(OrdCreate(, "GRP", "GRP"))~");
    b->descending = Value(false);
    b->skipUnique = Value(true);
    top();
    std::vector<long long> seen{recno()};
    while (skip(1) == 1)
        seen.push_back(recno());
    EXPECT_EQ(seen, (std::vector<long long>{1, 3, 6, 8, 10}));
}

TEST_F(AliasNav, AreaIsSelectedBackWhenTheCallRaises)
{
    install(Value("CUST"), 2);
    const FunctionOverride failing("RK_DbGoTop", [](rt::Args) -> Value { rt::raise("test failure"); });
    EXPECT_THROW(top(), rt::Error);
    EXPECT_EQ(navigated, 0);
    install(Value("NOSUCH"), 2);  // construction does not raise, navigation does
    EXPECT_THROW(skip(1), rt::Error);
}

TEST_F(AliasNav, ThumbLock)
{
    const Value isBrowse = rt::makeBlock([](rt::Args a) { return Value(browse::asRkBrowse(rt::argAt(a, 0)) != nullptr); });
    const std::pair<Value, bool> cases[] = {
        {Value(), false}, {Value(0), true}, {Value(5), true}, {Value(10), false}, {isBrowse, true},
    };
    b->dataSource = Value("CUST");
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        b->thumbRecords = cases[i].first;
        EXPECT_EQ(browse::thumbLocked(*b), cases[i].second) << "case " << i;
    }
    b->thumbRecords = Value("x");
    EXPECT_FALSE(browse::thumbLocked(*b));
    EXPECT_EQ(b->thumbRecords.asInt(), 32000);

    b->thumbRecords = Value(0);
    install(Value("CUST"), 2);
    for (long long n : {0, 4, 5}) {
        skip(n);
        EXPECT_EQ(pos(), 50);
    }
    browse::installPositionBlocks(*b, false);
    EXPECT_EQ(pos(), 100);
}

TEST_F(AliasNav, DialogScopeNavigatesInsideTheScopeOnTheKeyScale)
{
    inCust(R"~(OrdCreate(, "GRP", "GRP"))~");
    inCust(R"~(RK_SetScope(0, "B"))~");
    inCust(R"~(RK_SetScope(1, "C"))~");  // records 3..7
    install(Value("CUST"), 2);
    EXPECT_TRUE(b->goPosBlock.isBlock()) << "without isScope: the plain set";
    b->isScope = Value(true);
    install(Value("CUST"), 2);
    EXPECT_TRUE(b->goPosBlock.isNil());
    top();
    EXPECT_EQ(recno(), 3);
    EXPECT_EQ(skip(10), 4);
    EXPECT_EQ(pos(), 5);
    EXPECT_EQ(last(), 5);
    EXPECT_EQ(navigated, 0);

    inCust("RK_ClrScope()");  // leaving the scope puts the thumb back on 1..100
    browse::installPositionBlocks(*b, false);
    EXPECT_EQ(last(), 100);
    bottom();
    EXPECT_EQ(pos(), 100);
}

Value scopeOfCust(rt::Args a)
{
    return ev("Alias()").str() == "CUST" && rt::argAt(a, 0).isNum() && rt::argAt(a, 0).asInt() == 0 ? Value("B")
                                                                                                    : Value();
}

TEST_F(AliasNav, NativeScopeDescending)
{
    const FunctionOverride scope("DbScope", scopeOfCust);
    b->descending = Value(true);
    b->isScope = Value(true);
    install(Value("CUST"), 2);
    top();
    EXPECT_EQ(recno(), 10);
    EXPECT_EQ(skip(1), 1);
    EXPECT_EQ(recno(), 9);
    EXPECT_EQ(skip(-5), -1);
    bottom();
    EXPECT_EQ(recno(), 1);
    EXPECT_EQ(pos(), 100);
    goPos(0);
    EXPECT_EQ(phy(), 10);
    EXPECT_EQ(navigated, 0);
}

std::vector<std::string>& aceLog()
{
    static std::vector<std::string> log;
    return log;
}

// The wrapper runs its inner block with the third argument.
Value fakeAceWBlock(rt::Args a)
{
    aceLog().push_back(rt::argAt(a, 0).str());
    return rt::evalWith(rt::argAt(a, 1), rt::argAt(a, 2));
}

template <int N>
Value logged(rt::Args a)
{
    static const char* names[] = {"_DbSkipper", "_DbGoTop", "_DbGoBottom", "_RecNo", "_DbGoTo", "_LastRec",
                                  "_DbPosition", "_DbGoPosition", "AceWRecNo"};
    const Value& x = rt::argAt(a, 0);
    aceLog().push_back(names[N] + (x.isNil() ? "" : " " + (x.isNum() ? std::to_string(x.asInt()) : x.str())));
    return N == 0 ? Value(rt::argAt(a, 0).asInt() * 2) : Value(7);
}

TEST_F(AliasNav, AceWrapperBlocksNameTheAlias)
{
    const FunctionOverride ace{"AceWBlock", fakeAceWBlock}, f0{"_DbSkipper", logged<0>}, f1{"_DbGoTop", logged<1>},
        f2{"_DbGoBottom", logged<2>}, f3{"_RecNo", logged<3>}, f4{"_DbGoTo", logged<4>}, f5{"_LastRec", logged<5>},
        f6{"_DbPosition", logged<6>}, f7{"_DbGoPosition", logged<7>}, f8{"AceWRecNo", logged<8>};
    install(Value(" cust-> "), 2);
    EXPECT_NE(b->skipBlock.asBlock().text().find("\"CUST\""), std::string::npos);
    EXPECT_EQ(skip(3), 3) << "the wrapper's answer is held to the rows wanted";
    top();
    phy();
    pos();
    goPos(5);
    EXPECT_EQ(last(), 7);
    EXPECT_EQ(aceLog(), (std::vector<std::string>{"CUST", "CUST", "_DbSkipper 3", "CUST", "_DbGoTop",
                                                  "AceWRecNo CUST", "CUST", "_RecNo", "CUST", "_DbGoTo 5", "CUST",
                                                  "_LastRec"}));
    aceLog().clear();
    ev("DbSelectArea(\"CUST\")");  // the fake wrapper asks the current area for its order
    inCust(R"~(OrdCreate(, "GRP", "GRP"))~");
    install(Value("CUST"), 2);
    ev("DbSelectArea(\"OTHER\")");
    pos();
    EXPECT_EQ(first(), 0);
    EXPECT_EQ(last(), 100);
    EXPECT_EQ(aceLog(), (std::vector<std::string>{"CUST", "CUST", "_DbPosition"}));

    // An alias (a file's name) with every quote the language has reaches the
    // wrapper as a value, never as code.
    aceLog().clear();
    install(Value("Q\"'[]+DBAPPEND()"), 2);
    top();
    EXPECT_EQ(aceLog(), (std::vector<std::string>{"Q\"'[]+DBAPPEND()", "Q\"'[]+DBAPPEND()", "_DbGoTop"}));

    install(rt::callWith("AdsGetTableHandle", Value("CUST")), 6);  // a number is no alias
    aceLog().clear();
    top();
    EXPECT_TRUE(aceLog().empty());
}

TEST_F(AliasNav, TableHandleOverARealDbfAndItsGrid)
{
    b->isScope = Value(true);
    install(rt::callWith("AdsGetTableHandle", Value("CUST")), 6);
    EXPECT_EQ(skip(4), 4);
    EXPECT_EQ(phy(), 5);
    goPos(100);
    EXPECT_EQ(phy(), 10);
    EXPECT_EQ(pos(), 100);
    EXPECT_EQ(navigated, 0);

    top();
    createGrid({rt::compile("{|| CUST->NAME}")}, 120);
    const int rows = b->rowCount();
    ASSERT_GT(rows, 1);
    ASSERT_LT(rows, 10);
    EXPECT_EQ(cell(1), "N01");
    b->goBottom();
    settle();
    EXPECT_EQ(cell(b->rowPos()), "N10");
    b->pageUp();
    settle();
    EXPECT_EQ(recno(), 10 - rows);

    inCust("DbCloseArea()");
    try {
        skip(1);
        ADD_FAILURE() << "no error";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.description, "Invalid table handle");
    }
}

}  // namespace
