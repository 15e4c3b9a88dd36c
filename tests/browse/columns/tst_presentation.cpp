// Presentation lists, the column's block builders and the row-colour
// functions, called directly (no window needed).
#include "browse/columns/presentation.h"
#include "browse/columns/row_colors.h"
#include "browse/core/browse.h"

#include "platform/dbf/dbf.h"

#include "platform/gui/color.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using rt::makeArray;
using rt::Value;

const Value kNil;

std::string show(const Value& v) { return rt::callWith("Var2Char", v).str(); }

TEST(Presentation, MergeReplacesTheFirstPairOrAppendsACopy)
{
    browse::registerPresentationFunctions();
    const Value target = makeArray({makeArray({7, 9})});
    const Value source = makeArray({makeArray({5, 1}), makeArray({7, 2})});
    const Value out = rt::callWith("RK_MergePresentation", target, source);
    EXPECT_EQ(out.cell(), target.cell());
    EXPECT_EQ(show(target), "{{7, 2}, {5, 1}}");
    source.asArray().items[0].asArray().items[1] = 99;
    EXPECT_EQ(show(target), "{{7, 2}, {5, 1}}") << "appended pairs are copies";
    EXPECT_TRUE(browse::mergePresentation(kNil, source).isNil());
}

TEST(Presentation, GetPresentationFallsBackToTheDefault)
{
    browse::registerPresentationFunctions();
    const Value pres = makeArray({makeArray({3, "a"}), makeArray({3, "b"})});
    EXPECT_EQ(rt::callWith("RK_GetPresentation", pres, 3, "x").str(), "a");
    EXPECT_EQ(rt::callWith("RK_GetPresentation", pres, 4, "x").str(), "x");
    EXPECT_EQ(rt::callWith("RK_GetPresentation", "not a list", 3, "x").str(), "x");
    EXPECT_EQ(rt::callWith("RK_GetPresentation", pres, "3", "x").str(), "x");
    EXPECT_EQ(rt::callWith("RK_GetPresentation", pres, 3.5, "x").str(), "x") << "only an exact id";
    EXPECT_EQ(browse::presOf(rt::makeBlock([pres](rt::Args) { return pres; })).cell(), pres.cell());
}

TEST(Presentation, ColPictureVariants)
{
    rt::DynClass cls("TestRecord");
    cls.addVar("amount", 42);
    const Value record = cls.instantiate();
    const Value column = makeArray({"the column"});
    Value seenColumn;
    const Value data = rt::makeBlock([&seenColumn](rt::Args a) {
        seenColumn = rt::argAt(a, 1);
        const Value& from = rt::argAt(a, 0);
        return from.isObject() ? rt::getMember(from, "amount") : from;
    });
    int asked = 0;
    const Value picBlock = rt::makeBlock([&asked](rt::Args) {
        ++asked;
        return Value("9999");
    });
    struct Case {
        const char* name;
        Value picture, record, arg;
        const char* expect;
    } cases[] = {
        {"record object, picture text", "999", record, 7, " 42"},
        {"record object, picture block", picBlock, record, 7, "  42"},
        {"argument, picture text", "999", kNil, 7, "  7"},
        {"argument, picture block", picBlock, kNil, 7, "   7"},
        {"NIL value, picture text", "999", kNil, kNil, "   "},
    };
    for (const Case& c : cases) {
        const Value link = browse::colPicture(data, c.picture, c.record, column);
        EXPECT_EQ(rt::evalWith(link, c.arg).str(), c.expect) << c.name;
        EXPECT_EQ(seenColumn.cell(), column.cell()) << c.name;
    }
    const Value link = browse::colPicture(data, picBlock, kNil, column);
    const int before = asked;
    rt::evalWith(link, 1);
    rt::evalWith(link, 2);
    EXPECT_EQ(asked - before, 2) << "the picture block is asked on every call";
}

class RowColors : public ::testing::Test {
protected:
    void SetUp() override
    {
        browse::resetBrowseColor();
        bv = (new browse::RK_XbpBrowse())->self();
        b = browse::asRkBrowse(bv);
        b->browsePres = Value::array();
        b->tagEnable = false;
        b->evenRow = false;
    }
    void TearDown() override { browse::resetBrowseColor(); }
    Value browseColor(std::initializer_list<Value> args) const
    {
        const std::vector<Value> v(args);
        return browse::browseColor(rt::Args(v.data(), v.size()));
    }
    Value bv;
    browse::RK_XbpBrowse* b = nullptr;
};

TEST_F(RowColors, BrowseColorStoresConvertsAndClears)
{
    browse::registerRowColorFunctions();
    EXPECT_TRUE(rt::callWith("RK_BrowseColor", makeArray({makeArray({255, 0, 0}), kNil, 3, 4})).isNil());
    const Value stored = browseColor({});
    EXPECT_EQ(show(stored), "{" + std::to_string(gui::makeRgbColor(255, 0, 0)) + ", NIL, 3, 4}");
    browseColor({5});
    EXPECT_EQ(browseColor({}).cell(), stored.cell()) << "a non-array changes nothing";
    browseColor({makeArray({1})});
    EXPECT_EQ(browseColor({}).asArray().size(), 4u);
    browseColor({kNil});
    EXPECT_TRUE(browseColor({}).isNil());
}

TEST_F(RowColors, ZebraColorCompletesPairsFromThePresentation)
{
    const Value even = makeArray({1, 2});
    const Value odd = makeArray({3, 4, 5, 6});
    b->evenRow = true;
    EXPECT_EQ(show(browse::zebraColor(bv, even, odd)), "{1, 2, 0, 2}");
    EXPECT_EQ(even.asArray().size(), 2u) << "the caller's pair is not grown";
    b->browsePres = makeArray({makeArray({103, 9}), makeArray({101, 8})});
    EXPECT_EQ(show(browse::zebraColor(bv, even, odd)), "{1, 2, 9, 2}");
    b->evenRow = false;
    EXPECT_EQ(browse::zebraColor(bv, even, odd).cell(), odd.cell());
    EXPECT_EQ(show(browse::zebraColor(bv, kNil, kNil)), "{8, 0, 9, 2}");
    Value seen;
    browse::zebraColor(bv, rt::makeBlock([&seen](rt::Args a) {
                           seen = rt::argAt(a, 0);
                           return Value();
                       }),
                       kNil);
    EXPECT_TRUE(seen.isLogical() && !seen.asBool());
}

TEST_F(RowColors, RowColorBlockIsBuiltOnlyWhenSomethingColoursRows)
{
    const Value options = Value::array(56);
    const Value own = rt::makeBlock([](rt::Args) { return Value(); });
    EXPECT_TRUE(browse::makeRowColorBlock(bv, options, kNil, Value::array(), kNil).isNil());
    EXPECT_EQ(browse::makeRowColorBlock(bv, options, kNil, Value::array(), own).cell(), own.cell());
    b->tagEnable = true;
    EXPECT_TRUE(browse::makeRowColorBlock(bv, options, kNil, Value::array(), kNil).isBlock());
}

TEST_F(RowColors, MarkBlockOnAnObjectSource)
{
    const Value options = Value::array(56);
    options.asArray().items[2] = rt::makeBlock([](rt::Args) { return true; });
    options.asArray().items[4] = 3;
    options.asArray().items[5] = 4;
    bool marked = true;
    b->markColorBlock = rt::makeBlock([&marked](rt::Args) { return marked; });
    const Value block = browse::makeRowColorBlock(bv, options, makeArray({kNil, 15}), kNil, kNil);
    EXPECT_EQ(show(rt::evalWith(block, bv)), "{3, 4}");
    marked = false;
    EXPECT_EQ(show(rt::evalWith(block, bv)), "{NIL, 15}");
}

// A work-area source: tags and record numbers are read in the browse's own
// work area, whatever area is current.
TEST_F(RowColors, AliasRowsTakeTagColoursAndStripesByRecord)
{
    dbf::registerDbfFunctions();
    const char* tmp = std::getenv("DXC_TEST_TMP");
    const std::filesystem::path dir = std::filesystem::path(tmp ? tmp : "/tmp") / "columns_alias";
    std::filesystem::create_directories(dir);
    const std::string table = (dir / "cli.dbf").string(), other = (dir / "other.dbf").string();
    const Value fields = makeArray({makeArray({"NAME", "C", 10, 0})});
    rt::callWith("DbCreate", table, fields);
    rt::callWith("DbCreate", other, fields);
    rt::callWith("DbUseArea", true, kNil, table, "CLI");
    for (int i = 0; i < 3; ++i)
        rt::callWith("DbAppend");
    rt::callWith("DbGoto", 2);
    rt::callWith("RK_RecTagToggle");
    rt::callWith("DbUseArea", true, kNil, other, "OTHER");

    browseColor({makeArray({1, 2, 3, 4})});
    b->browseColor = browseColor({});
    b->dataSource = "CLI";
    b->tagEnable = true;
    b->tagColorFG = 10;
    b->tagColorBG = 5;
    b->nBrow = 1;
    b->lBrow = false;
    auto colorsAt = [this](int rec) {
        rt::fieldHooks().aliasEval(
            "CLI", [](void* r) { return rt::callWith("DbGoto", *static_cast<int*>(r)); }, &rec);
        return show(browse::rowColor(bv));
    };
    EXPECT_EQ(colorsAt(1), "{3, 4}");
    EXPECT_EQ(colorsAt(2), "{10, 5}") << "the tagged record";
    EXPECT_EQ(colorsAt(3), "{1, 2}") << "a new record flips the stripe";
    EXPECT_EQ(colorsAt(3), "{1, 2}") << "the same record keeps it";
    EXPECT_EQ(rt::callWith("Alias").str(), "OTHER");
    rt::callWith("DbCloseAll");
}

}  // namespace
