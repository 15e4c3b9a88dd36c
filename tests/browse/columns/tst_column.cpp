// RK_XbpColumn on a real browse (offscreen): the browse is made by hand with
// the members a column reads, navigated over an array or an object, and its
// columns are built from element records as the dialog reader builds them.
#include "tst_column_fixture.h"

#include "platform/gui/static.h"
#include "platform/runtime/classes.h"

namespace {

using namespace coltest;

TEST_F(ColumnTest, CaptionlessColumnInABrowseWithHeadersGetsThePlaceholder)
{
    useRows(threeRows());
    create();
    RK_XbpColumn* named = fieldColumn(1, "Name");
    RK_XbpColumn* bare = fieldColumn(2);
    EXPECT_TRUE(b->hasHeader.asBool());
    EXPECT_EQ(browse::getPresentation(named->presArray, 123, kNil).str(), "Name");
    EXPECT_EQ(browse::getPresentation(bare->presArray, 123, kNil).str(), kPlaceholder);
    EXPECT_EQ(browse::getPresentation(bare->presArray, 122, kNil).asInt(), -1);
    EXPECT_EQ(cell(named->heading, 1), "Name");
    EXPECT_EQ(cell(bare->heading, 1), "") << "the placeholder keeps the band but shows nothing";
    settle();
    EXPECT_EQ(cell(named->dataArea, 2), "Bob");
}

TEST_F(ColumnTest, FirstCaptionlessColumnOfAHeaderlessBrowseHasNoCaption)
{
    useRows(threeRows());
    RK_XbpColumn* bare = fieldColumn(1);
    EXPECT_FALSE(browse::hasPresentation(bare->presArray, 123));
    EXPECT_FALSE(b->hasHeader.asBool());
}

TEST_F(ColumnTest, NumericColumnsGetTheirAlignmentUnlessSlot42Says)
{
    useRows(threeRows());
    RK_XbpColumn* text = fieldColumn(1);
    RK_XbpColumn* number = fieldColumn(2);
    for (long long id : {110, 121, 128})
        EXPECT_FALSE(browse::hasPresentation(text->presArray, id)) << id;
    EXPECT_EQ(browse::getPresentation(number->presArray, 110, kNil).asInt(), 6);
    EXPECT_EQ(browse::getPresentation(number->presArray, 121, kNil).asInt(), 2);
    EXPECT_EQ(browse::getPresentation(number->presArray, 128, kNil).asInt(), 2);

    b->browsePres = makeArray({makeArray({110, 0})});
    RK_XbpColumn* given = column([](const Value& rec) {
        set(rec, 29, 2);
        set(rec, 42, 1);
    });
    EXPECT_EQ(browse::getPresentation(given->presArray, 110, kNil).asInt(), 0) << "an existing pair is kept";
    EXPECT_EQ(browse::getPresentation(given->presArray, 121, kNil).asInt(), 1);
    EXPECT_EQ(browse::getPresentation(given->presArray, 128, kNil).asInt(), 1);
}

TEST_F(ColumnTest, PictureFormatsOnceAndItsBlockRunsOnEveryDraw)
{
    useRows(makeArray({makeArray({1234, kNil}), makeArray({5678, kNil})}));
    int asked = 0;
    RK_XbpColumn* blockPic = column([&](const Value& rec) {
        set(rec, 29, 1);
        set(rec, 12, rt::makeBlock([&asked](rt::Args) {
                ++asked;
                return Value("@R 99-99");
            }));
    });
    RK_XbpColumn* nilValue = column([](const Value& rec) {
        set(rec, 29, 2);
        set(rec, 12, "999");
    });
    create();
    EXPECT_EQ(cell(blockPic->dataArea, 1), "12-34") << "formatted by the data link only, not again by the grid";
    EXPECT_EQ(cell(nilValue->dataArea, 2), "   ");
    EXPECT_TRUE(rt::getMember(columns[1], "picture").isChar());
    EXPECT_TRUE(blockPic->gui::XbpColumn::picture.isNil());
    const int before = asked;
    b->refreshAll();
    b->forceStable();
    EXPECT_EQ(asked - before, 2) << "one evaluation per cell read";
}

TEST_F(ColumnTest, DataLinkPassesTheRecordObjectAndTheColumn)
{
    useRows(threeRows());
    rt::DynClass cls("TestRecord");
    cls.addVar("name", "Zoe");
    b->recordObject = cls.instantiate();
    Value seen;
    RK_XbpColumn* c = column([&](const Value& rec) {
        set(rec, 4, rt::makeBlock([&seen](rt::Args a) {
                seen = rt::argAt(a, 1);
                return rt::getMember(rt::argAt(a, 0), "name");
            }));
    });
    create();
    EXPECT_EQ(cell(c->dataArea, 1), "Zoe");
    EXPECT_EQ(seen.cell(), columns[0].cell());
}

TEST_F(ColumnTest, RowElementColumnsNeverStoreTheRecordObjectInTheRow)
{
    const Value rows = threeRows();
    useRows(rows);
    b->recordObject = rt::DynClass("TestRecord").instantiate();
    RK_XbpColumn* number = fieldColumn(2);
    RK_XbpColumn* pictured = column([](const Value& rec) {
        set(rec, 29, 2);
        set(rec, 12, "9999");
    });
    create();
    EXPECT_EQ(cell(number->dataArea, 1), "10");
    EXPECT_EQ(cell(pictured->dataArea, 2), "  20");
    EXPECT_EQ(browse::getPresentation(number->presArray, 110, kNil).asInt(), 6);
    for (const Value& row : rows.asArray().items)
        EXPECT_TRUE(row.asArray().items[1].isNum());
}

TEST_F(ColumnTest, HeaderCaptionsFollowTheirBlockAndSplitIntoCells)
{
    useRows(threeRows());
    b->headerLines = 2;
    create();
    RK_XbpColumn* two = fieldColumn(1, "A;B");
    EXPECT_EQ(rt::getMember(two->heading, "rows").asInt(), 2);
    EXPECT_EQ(cell(two->heading, 1), "A");
    EXPECT_EQ(cell(two->heading, 2), "B");

    int n = 0;
    RK_XbpColumn* counted = column([&](const Value& rec) {
        set(rec, 29, 1);
        set(rec, 3, rt::makeBlock([&n](rt::Args) { return Value(++n); }));
    });
    EXPECT_EQ(counted->headerCaption.str(), "1") << "the block's value through RK_XtoC";
    counted->setHeaderCaption(kNil);
    EXPECT_EQ(cell(counted->heading, 1), "2") << "re-applied without argument";
    counted->setHeaderCaption(Value(true));  // a kind it does not take: nothing changes
    EXPECT_EQ(n, 2);

    two->setHeaderCaption(makeArray({"X", "Y"}));
    EXPECT_EQ(cell(two->heading, 2), "Y") << "lines given one by one";
    two->Refresh();
    EXPECT_EQ(cell(two->heading, 1), "A");
}

TEST_F(ColumnTest, NumericCaptionBecomesABitmap)
{
    if (!rt::findFunction("RK_GetBitmap"))
        rt::registerFunction("RK_GetBitmap", [](rt::Args a) {
            auto* bm = new gui::XbpBitmap();
            const Value v = bm->self();
            const Value args[] = {kNil, rt::argAt(a, 0)};
            bm->load(rt::Args(args, 2));
            return v;
        });
    useRows(threeRows());
    create();
    RK_XbpColumn* c = column([](const Value& rec) {
        set(rec, 29, 1);
        set(rec, 3, gui::res::SortAscend);
    });
    EXPECT_TRUE(rt::isDerivedFrom(c->headerCaption, "XbpBitmap"));
    EXPECT_EQ(cell(c->heading, 1), "");
    const auto children = gui::asCellGroup(c->heading)->children();
    ASSERT_EQ(children.size(), 1u) << "the bitmap is shown in the heading";
    const auto* shown = dynamic_cast<const gui::XbpStatic*>(children[0]);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->type.asInt(), gui::static_type::Bitmap);
    const QRect inHeading = shown->widget()->geometry();
    const QSize heading = gui::asCellGroup(c->heading)->widget()->size();
    EXPECT_LE(std::abs(inHeading.center().x() - heading.width() / 2), 1) << "centred";
}

TEST_F(ColumnTest, FooterCaptionAndCaptionColours)
{
    useRows(threeRows());
    create();
    RK_XbpColumn* c = column([](const Value& rec) {
        set(rec, 29, 1);
        set(rec, 3, "Name");
        setOption(rec, 3, "Total");
        set(rec, 37, makeArray({makeArray({255, 0, 0}), gui::clr::Yellow}));
        set(rec, 43, makeArray({gui::clr::Blue, gui::clr::Green, "9.Courier", 30}));
    });
    EXPECT_TRUE(b->hasFooter.asBool());
    EXPECT_EQ(cell(c->footing, 1), "Total");
    const auto [hfg, hbg] = gui::asCellGroup(c->heading)->cellColors(0, false);
    EXPECT_EQ(hfg, gui::makeRgbColor(255, 0, 0));
    EXPECT_EQ(hbg, rgbOf(gui::clr::Yellow));
    const auto [ffg, fbg] = gui::asCellGroup(c->footing)->cellColors(0, false);
    EXPECT_EQ(ffg, rgbOf(gui::clr::Blue)) << "numeric footer colours are applied like the header's";
    EXPECT_EQ(fbg, rgbOf(gui::clr::Green));
    EXPECT_EQ(c->footerFont.str(), "9.Courier");
    EXPECT_EQ(c->footerHeight.asInt(), 30);
    EXPECT_EQ(rt::getMember(c->heading, "ReferenceString").str(), "W");

    int calls = 0;
    c->setHeaderColor(rt::makeBlock([&calls](rt::Args) {
        ++calls;
        return makeArray({gui::clr::Red, gui::clr::Cyan});
    }));
    c->Refresh();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(gui::asCellGroup(c->heading)->cellColors(0, false).second, rgbOf(gui::clr::Cyan));
}

TEST_F(ColumnTest, ElementDefaultsAreWrittenBackAndToolTipsGetTheBrowse)
{
    useRows(threeRows());
    RK_XbpColumn* c = column([](const Value& rec) {
        set(rec, 2, "x");
        set(rec, 29, 1);
    });
    const Value rec = records.asArray().items.back();
    EXPECT_EQ(rec.asArray().items[1].asInt(), 4);
    EXPECT_EQ(rec.asArray().items[8].asInt(), -1);
    const Value tips = rec.asArray().items[43];
    ASSERT_TRUE(tips.isArray());
    ASSERT_EQ(tips.asArray().size(), 8u);
    EXPECT_EQ(tips.asArray().items[6].cell(), bv.cell());
    EXPECT_EQ(tips.asArray().items[7].cell(), b->dataSource.cell());
    EXPECT_EQ(rt::getMember(c->dataArea, "cargo").cell(), tips.cell());
    EXPECT_EQ(c->columnPos.asInt(), 1);
    EXPECT_TRUE(c->sortDefault.asBool()) << "no option 8: sorted by default";
}

TEST_F(ColumnTest, SortLookAndTaggingCallbacks)
{
    useRows(threeRows());
    b->sortColorNonselectableBG = gui::clr::DarkGray;
    b->sortColorUnSelectedBG = gui::clr::PaleGray;
    b->tagEnable = true;
    create();
    RK_XbpColumn* plain = fieldColumn(1, "A");
    RK_XbpColumn* sortable = column([](const Value& rec) {
        set(rec, 29, 2);
        setOption(rec, 1, rt::makeBlock([](rt::Args) { return true; }));
    });
    EXPECT_EQ(gui::asCellGroup(plain->heading)->cellColors(0, false).second, rgbOf(gui::clr::DarkGray));
    EXPECT_EQ(gui::asCellGroup(sortable->heading)->cellColors(0, false).second, rgbOf(gui::clr::PaleGray));
    EXPECT_TRUE(rt::getMember(sortable->heading, "rbDown").isBlock());

    rt::sendWith(plain->dataArea, "lbDown", gui::pairValue(1, 1));
    EXPECT_TRUE(b->isLeftMouseButton.asBool());
    rt::sendWith(plain->dataArea, "lbUp", gui::pairValue(1, 1));
    EXPECT_FALSE(b->isLeftMouseButton.asBool());
}

// --- row colours painted by the grid

TEST_F(ColumnTest, ArrayStripesComeFromBrowseColorByRowParity)
{
    using namespace gui::clr;
    setGlobalColors(makeArray({Red, Yellow, Blue, Green}));
    b->rowColorBlock = browse::makeRowColorBlock(bv, Value::array(56), makeArray({kNil, 15}), threeRows(), kNil);
    Value rows = Value::array();
    for (int i = 1; i <= 5; ++i)
        rows.asArray().items.push_back(makeArray({i}));
    useRows(rows);
    fieldColumn(1);
    create(300);
    ASSERT_GE(b->rowCount(), 5);
    for (int row = 1; row <= 5; ++row)
        EXPECT_EQ(colors(1, row), (row % 2 == 0 ? Colors{Red, Yellow} : Colors{Blue, Green})) << "row " << row;
}

TEST_F(ColumnTest, TaggedAndMarkedArrayRows)
{
    using namespace gui::clr;
    Value rows =
        makeArray({makeArray({"a", true, false}), makeArray({"b", false, true}), makeArray({"c", false, false})});
    useRows(rows);
    b->tagEnable = true;
    b->tagElement = 3;
    b->tagColorFG = DarkRed;
    b->tagColorBG = Cyan;
    b->rowColorBlock = browse::makeRowColorBlock(bv, Value::array(56), makeArray({kNil, 15}), rows, kNil);
    fieldColumn(1);
    create();
    EXPECT_EQ(colors(1, 2), (Colors{DarkRed, Cyan}));
    EXPECT_NE(colors(1, 1).second, Cyan) << "untagged rows without browseColor keep the platform colours";
    b->arrayElement = 1;
    EXPECT_TRUE(browse::rowColor(bv).asArray().items[1].isNil());

    Value options = Value::array(56);
    options.asArray().items[0] = 2;
    options.asArray().items[4] = Pink;
    options.asArray().items[5] = DarkGreen;
    b->mark = 2;
    b->rowColorBlock = browse::makeRowColorBlock(bv, options, makeArray({kNil, PaleGray}), rows, kNil);
    fieldColumn(1);
    b->refreshAll();
    b->forceStable();
    EXPECT_EQ(colors(2, 1), (Colors{Pink, DarkGreen}));
    EXPECT_EQ(colors(2, 2).second, PaleGray);
}

// An object source whose rows are records 1..n; RecNo is the record shown.
struct Cursor {
    Value obj;
    explicit Cursor(long long n)
    {
        rt::DynClass cls("TestCursor");
        cls.addVar("pos", 1);
        cls.addVar("size", n);
        cls.addMethod("RecNo", rt::makeBlock([](rt::Args a) { return rt::getMember(a[0], "pos"); }));
        obj = cls.instantiate();
    }
    long long pos() const { return rt::getMember(obj, "pos").asInt(); }
    void go(long long p) const { rt::setMember(obj, "pos", p); }
};

TEST_F(ColumnTest, ObjectStripesFollowTheRecordWhenScrolling)
{
    using namespace gui::clr;
    setGlobalColors(makeArray({Red, Yellow, Blue, Green}));
    b->tagEnable = true;  // object sources keep no tags: no row takes the tag colours
    b->tagColorBG = Cyan;
    Cursor cur(40);
    b->dataSource = cur.obj;
    b->skipBlock = rt::makeBlock([&cur](rt::Args a) {
        const long long to = std::clamp(cur.pos() + rt::argAt(a, 0).asInt(), 1LL, 40LL);
        const long long did = to - cur.pos();
        cur.go(to);
        return Value(did);
    });
    b->goTopBlock = rt::makeBlock([&cur](rt::Args) { cur.go(1); });
    b->goBottomBlock = rt::makeBlock([&cur](rt::Args) { cur.go(40); });
    b->posBlock = b->phyPosBlock = rt::makeBlock([&cur](rt::Args) { return Value(cur.pos()); });
    b->firstPosBlock = rt::makeBlock([](rt::Args) { return Value(1); });
    b->lastPosBlock = rt::makeBlock([](rt::Args) { return Value(40); });
    b->rowColorBlock = browse::makeRowColorBlock(bv, Value::array(56), makeArray({kNil, 15}), cur.obj, kNil);
    column([&cur](const Value& rec) { set(rec, 4, rt::makeBlock([&cur](rt::Args) { return Value(cur.pos()); })); });
    create();
    const int rows = b->rowCount();
    auto stripeOf = [this](int row) { return colors(1, row).second; };
    std::vector<long long> before(std::size_t(rows) + 1);
    for (int row = 1; row <= rows; ++row)
        before[std::size_t(row)] = stripeOf(row);
    EXPECT_NE(before[1], Cyan);
    EXPECT_NE(before[1], before[2]);
    for (int i = 1; i < rows; ++i)
        b->down();
    b->down();  // scrolls one row: record 2 is now on screen row 1
    b->forceStable();
    ASSERT_EQ(b->columnAt(1)->dataGroup()->cellText(1), "2");
    for (int row = 1; row < rows; ++row)
        EXPECT_EQ(stripeOf(row), before[std::size_t(row) + 1]) << "record " << row + 1;
    EXPECT_EQ(stripeOf(rows), before[std::size_t(rows) - 1]) << "the new record continues the stripes";
}

// Through the browse's own construction, as the dialog reader makes them.
TEST(ColumnOnConstructedBrowse, CaptionsDataAndTagColoursFollowTheBrowseOptions)
{
    browse::registerBrowseLibrary();
    const Value rows = makeArray({makeArray({"Ann", false}), makeArray({"Bob", true})});
    const Value rec = dlg::getTemplate(dlg::type::Browse);
    set(rec, 31, rt::makeBlock([rows](rt::Args) { return rows; }));
    const Value opts = rec.asArray().items[20];
    for (auto [n, v] :
         {std::pair<int, Value>{11, 2}, {12, "|"}, {41, true}, {42, 2}, {43, gui::clr::DarkRed}, {44, gui::clr::Cyan}})
        opts.asArray().items[std::size_t(n) - 1] = v;
    const Value records = makeArray({rec});
    const Value getList = dlg::makeGetList(records);
    dlg::asGetList(getList)->getListPointer = 1;
    const Value args[] = {kNil, kNil, gui::pairValue(0, 0), gui::pairValue(400, 200), kNil, true, getList};
    const Value bv = rt::newObject("RK_XbpBrowse", rt::Args(args, 7));
    rt::send(bv, "create", rt::Args(args, 6));

    const Value col = dlg::getTemplate(dlg::type::Column);
    set(col, 3, "First|Name");
    set(col, 29, 1);
    records.asArray().items.push_back(col);
    dlg::asGetList(getList)->getListPointer = 2;
    const Value colArgs[] = {bv, getList};
    RK_XbpColumn* c = browse::asRkColumn(rt::newObject("RK_XbpColumn", rt::Args(colArgs, 2)));
    gui::dispatchPending();
    gui::asBrowse(bv)->forceStable();

    EXPECT_EQ(gui::asCellGroup(c->heading)->cellText(1), "First");
    EXPECT_EQ(gui::asCellGroup(c->heading)->cellText(2), "Name");
    EXPECT_EQ(c->dataGroup()->cellText(2), "Bob");
    EXPECT_EQ(c->dataGroup()->cellColors(2, false), (Colors{gui::clr::DarkRed, gui::clr::Cyan}));
    EXPECT_NE(c->dataGroup()->cellColors(1, false).second, gui::clr::Cyan);
    rt::send(bv, "destroy");
    gui::clearAppEvents();
}

}  // namespace
