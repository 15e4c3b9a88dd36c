// Construction of RK_XbpBrowse from its element record: options and their
// defaults, the data source and its kind, colours, callbacks, create.
#include "tst_browse_fixture.h"

#include "platform/grid/scrollbar.h"

namespace {

namespace slot = dlg::slot;

using rt::Value;
using tb::at;
using tb::BrowseTest;
using tb::Elements;

Value returning(const Value& v)
{
    return rt::makeBlock([v](rt::Args) { return v; });
}

TEST_F(BrowseTest, ArraySourceWithOptionsOfTheWrongKind)
{
    const Value data = tb::rows(5);
    Elements e = tb::arrayDialog(data);
    Value opts = Value::array(40);  // short: grown to 56 in place
    auto& o = opts.asArray().items;
    o[10] = "two";
    o[16] = true;
    o[31] = "5";
    o[33] = true;
    e.browseSlot(21, opts).browseSlot(16, "my cargo");
    make(e);
    ASSERT_TRUE(b->initialised());
    EXPECT_EQ(b->options.cell(), opts.cell());
    EXPECT_EQ(o.size(), 56u);
    EXPECT_EQ(b->headerLines.asInt(), 1);
    EXPECT_EQ(b->headerDelim.str(), ";");  // option 12 missing
    EXPECT_EQ(b->refreshInterval.asInt(), 0);
    EXPECT_FALSE(b->descending.asBool());
    EXPECT_FALSE(b->descendToggle.asBool());
    EXPECT_FALSE(b->vScroll.asBool());
    EXPECT_TRUE(b->hScroll.asBool());

    EXPECT_EQ(at(e.record(1), 2).asInt(), 1);
    EXPECT_EQ(b->dataSourceType.asInt(), 1);
    EXPECT_EQ(b->arrayElement.asInt(), 1);
    ASSERT_EQ(b->cargo.asArray().size(), 5u);
    EXPECT_EQ(at(b->cargo, 2).cell(), e.list.cell());
    EXPECT_EQ(at(b->cargo, 3).str(), "my cargo");
    EXPECT_EQ(at(b->cargo, 5).cell(), data.cell());
}

TEST_F(BrowseTest, EmptyArrayKeepsElementOneOrZeroWhenDescending)
{
    make(tb::arrayDialog(Value::array()));
    EXPECT_EQ(b->arrayElement.asInt(), 1);
    EXPECT_TRUE(b->skipBlock.isBlock());
    make(tb::arrayDialog(Value::array()).option(31, true));
    EXPECT_EQ(b->arrayElement.asInt(), 0);
}

TEST_F(BrowseTest, WithoutUsableDataConstructionStopsBeforeThePlatform)
{
    Elements none;
    none.add(dlg::type::Browse).add(dlg::type::Column);
    Elements refused;
    refused.add(dlg::type::Browse).set(slot::DataSource, returning(Value(rt::Date{2460000})));
    for (const Elements* e : {&none, &refused}) {
        dlg::MessageCapture capture;
        make(*e);
        ASSERT_EQ(capture.messages.size(), 1u);
        EXPECT_FALSE(rt::getMember(bv, "initialised").asBool());
        EXPECT_TRUE(b->options.isNil());
        EXPECT_TRUE(b->skipBlock.isNil());
        b->create({});
        EXPECT_EQ(b->widget(), nullptr);
    }
    dlg::MessageCapture capture;
    make(none);
    EXPECT_EQ(capture.messages.at(0).text, "RK_ReadGui() error! Browse has no data source");
}

TEST_F(BrowseTest, CurrentWorkAreaServesWhenNoSourceIsGiven)
{
    openTable("CLIENTS", 3);
    Elements e;
    e.add(dlg::type::Browse).set(slot::CellEdit, rt::makeArray({Value(), Value(), Value(), "8.Arial", Value(), false}));
    make(e);
    ASSERT_TRUE(b->initialised());
    EXPECT_EQ(b->dataSource.str(), "CLIENTS");
    EXPECT_EQ(b->dataSourceType.asInt(), 2);
    EXPECT_EQ(b->thumbRecords.asInt(), 32000);
    EXPECT_TRUE(b->autoLock.asBool());
    EXPECT_EQ(b->font.str(), "8.Arial");
}

TEST_F(BrowseTest, ObjectKindsFollowTheirClass)
{
    const std::pair<const char*, int> cases[] = {{"SQLRecordSet", 3}, {"dsACEServer", 5}, {"SpSql", 7}, {"MyResult", 8}, {"Other", 4}};
    for (const auto& [cls, kind] : cases) {
        rt::DynClass base(cls);
        rt::DynClass derived("Derived", {&base.info()});
        Elements e;
        e.add(dlg::type::Browse).set(slot::DataSource, returning(derived.instantiate()));
        make(e);
        EXPECT_EQ(b->dataSourceType.asInt(), kind) << cls;
    }
}

TEST_F(BrowseTest, ZebraBlockFromPresentationUnlessTheElementHasAColourBlock)
{
    const Value pres = rt::makeArray({rt::makeArray({150, 1}), rt::makeArray({155, 10}), rt::makeArray({153, 11}),
                                      rt::makeArray({152, 12}), rt::makeArray({151, 13})});
    make(tb::arrayDialog(tb::rows(4)), pres);
    ASSERT_TRUE(b->rowColorBlock.isBlock());
    for (bool even : {true, false}) {
        b->evenRow = even;
        const Value c = rt::evalWith(b->rowColorBlock, bv);
        EXPECT_EQ(at(c, 1).asInt(), even ? 10 : 12);
        EXPECT_EQ(at(c, 2).asInt(), even ? 11 : 13);
    }
    const Value own = returning(rt::makeArray({1, 2}));
    make(tb::arrayDialog(tb::rows(4)).browseSlot(22, rt::makeArray({own, Value()})), pres);
    EXPECT_EQ(b->rowColorBlock.cell(), own.cell());
}

TEST_F(BrowseTest, FontsPresentationAndSortLook)
{
    auto* cfg = new browse::XbpBrowseConfig();
    const Value config(static_cast<rt::Object*>(cfg));
    cfg->font = "10.Tahoma";
    cfg->presParam = rt::makeArray({rt::makeArray({117, 5})});
    Value sort = Value::array(11);
    sort.asArray().items[0] = 1;
    sort.asArray().items[6] = "not a colour";
    browse::browseSort(rt::Args(&sort, 1));
    Elements e = tb::arrayDialog(tb::rows(2)).browseSlot(68, config).option(26, 22);
    make(e, rt::makeArray({rt::makeArray({118, 6})}));
    for (long long id : {105, 119, 126})
        EXPECT_EQ(browse::getPresentation(b->browsePres, id, Value()).str(), "10.Tahoma") << id;
    EXPECT_EQ(cfg->presParam.asArray().size(), 1u);  // the configuration keeps its own list
    EXPECT_EQ(b->sortColorSelectedFG.asInt(), 1);
    EXPECT_EQ(b->sortColorSelectedBG.asInt(), 22);
    EXPECT_EQ(b->sortColorNonselectableFG.asInt(), 5);  // empty: pair 117
    EXPECT_EQ(b->sortColorNonselectableBG.asInt(), 6);  // empty: the caller's pair 118
    EXPECT_EQ(b->sortColorUnSelectedFG.asInt(), 5);     // another kind: the non-selectable one

    make(e.browseSlot(11, returning("12.Courier")));  // the element's font, from a block
    EXPECT_EQ(browse::getPresentation(b->browsePres, 119, Value()).str(), "12.Courier");
}

TEST_F(BrowseTest, SelectionRunsItsPartsInOrderThenTheChainedBlock)
{
    const Value data = tb::rows(3);
    std::vector<std::string> calls;
    const auto log = [&calls](const char* what) {
        return rt::makeBlock([&calls, what](rt::Args a) {
            calls.push_back(what + std::to_string(rt::argAt(a, 0).isNum() ? rt::argAt(a, 0).asInt() : 0));
            return Value();
        });
    };
    Elements e = tb::arrayDialog(data).browseSlot(41, log("pointer ")).browseSlot(18, log("input "));
    make(e.option(1, 3).option(23, log("option 23 ")));
    calls.clear();  // the start element asks the pointer block
    rt::sendWith(bv, "itemSelected", 7, Value());
    EXPECT_TRUE(at(at(data, 1), 3).asBool());
    EXPECT_EQ(calls, (std::vector<std::string>{"pointer 1", "option 23 7"}));
    rt::sendWith(bv, "itemSelected", Value(), Value());
    EXPECT_FALSE(at(at(data, 1), 3).asBool());

    make(e.option(23, Value()));  // without option 23 the input block is chained
    calls.clear();
    rt::sendWith(bv, "itemSelected", 7, Value());
    EXPECT_EQ(calls, (std::vector<std::string>{"pointer 1", "input 7"}));
}

TEST_F(BrowseTest, ItemMarkedCarriesUserCode)
{
    make(tb::arrayDialog(tb::rows(2)));
    EXPECT_FALSE(b->isItemMarkedCodeBlock.asBool());
    int marked = 0;
    make(tb::arrayDialog(tb::rows(2)).option(22, rt::makeBlock([&marked](rt::Args) { return Value(++marked); })));
    EXPECT_TRUE(b->isItemMarkedCodeBlock.asBool());
    rt::sendWith(bv, "itemMarked", Value(), Value());
    EXPECT_EQ(marked, 1);
    rt::callWith("RK_GetWhenOnBrowseItemMarked", true);
    make(tb::arrayDialog(tb::rows(2)));
    EXPECT_TRUE(b->isItemMarkedCodeBlock.asBool());
}

TEST_F(BrowseTest, AnchorsRecordObjectAndOwnerDrawing)
{
    Value anchored, early;
    int scatters = 0;
    rt::DynClass recordClass("Record");
    recordClass.addMethod("scatter", rt::makeBlock([&scatters](rt::Args) { return Value(++scatters); }));
    Elements e = tb::arrayDialog(tb::rows(2));
    e.browseSlot(28, rt::makeBlock([&anchored](rt::Args a) { return anchored = rt::argAt(a, 0); }));
    e.browseSlot(63, rt::makeBlock([&early](rt::Args a) { return early = rt::argAt(a, 0); }));
    make(e.option(53, recordClass.instantiate()).option(49, returning(true)));
    EXPECT_EQ(anchored.cell(), bv.cell());
    EXPECT_EQ(early.cell(), bv.cell());
    EXPECT_EQ(scatters, 1);
    EXPECT_EQ(b->drawMode.asInt(), 1);
    b->Navigate(gui::nav::NextLine, Value());
    EXPECT_EQ(scatters, 2);
}

TEST_F(BrowseTest, AnchorGivenAsAVariableNameReceivesTheBrowse)
{
    rt::publicVar("oAnchoredGrid") = Value();
    make(tb::arrayDialog(tb::rows(2)).browseSlot(28, "oAnchoredGrid"));
    EXPECT_EQ(rt::publicVar("oAnchoredGrid").cell(), bv.cell());
    rt::publicVar("oAnchoredGrid") = Value();
}

TEST_F(BrowseTest, CreateWiresTheVerticalScrollBarTipAndHides)
{
    const Value tip = returning("tip");
    make(tb::arrayDialog(tb::rows(30)).browseSlot(44, tip).browseSlot(53, returning(true)));
    EXPECT_TRUE(dlg::asGetList(getList)->isDataToolTips.asBool());
    b->create({});
    ASSERT_NE(b->widget(), nullptr);
    EXPECT_FALSE(b->isVisible());
    EXPECT_TRUE(b->origSettings.isArray());
    auto* vbar = dynamic_cast<gui::XbpScrollBar*>(gui::asPart(b->vScrollBar));
    auto* hbar = dynamic_cast<gui::XbpScrollBar*>(gui::asPart(b->hScrollBar));
    ASSERT_TRUE(vbar && hbar);
    ASSERT_EQ(vbar->cargo.asArray().size(), 8u);
    EXPECT_EQ(at(vbar->cargo, 2).cell(), tip.cell());
    EXPECT_EQ(at(vbar->cargo, 8).cell(), b->dataSource.cell());
    EXPECT_TRUE(hbar->cargo.isNil());
    EXPECT_TRUE(vbar->useVisualStyle.asBool());  // the configuration's scroll-bar style
}

TEST_F(BrowseTest, AutoRestorePreparesKeyAndDesignedColumns)
{
    rt::callWith("RK_AutoRestoreBrowse", rt::makeArray({"HKCU", "Software\\Test", false}));
    Elements e = tb::arrayDialog(tb::rows(2), 3).browseSlot(49, "CLIENTS");
    make(e);
    EXPECT_EQ(b->restoreProc.str(), ":CLIENTS");
    ASSERT_EQ(b->defaultColumnsGetList.asArray().size(), 3u);
    EXPECT_NE(at(b->defaultColumnsGetList, 1).cell(), e.record(2).cell());  // copies
    make(e.option(37, true));  // noRestore
    EXPECT_TRUE(b->defaultColumnsGetList.isNil());
}

TEST_F(BrowseTest, NamesThatAreBothVariableAndMethod)
{
    make(tb::arrayDialog(tb::rows(2)));
    rt::setMember(bv, "cellEditMode", true);
    EXPECT_TRUE(rt::getMember(bv, "CELLEDITMODE").asBool());
    EXPECT_EQ(rt::sendWith(bv, "CellEditMode").cell(), bv.cell());
    int resized = 0;
    rt::setMember(bv, "resize", rt::makeBlock([&resized](rt::Args) { return Value(++resized); }));
    rt::sendWith(bv, "resize", Value(), Value());
    EXPECT_EQ(resized, 1);
    EXPECT_THROW(rt::setMember(bv, "initialised", false), rt::Error);
}

}  // namespace
