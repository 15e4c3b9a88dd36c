// SQLBrowPres and SQLBrowseZebra: the look of a browse over a data object,
// read back from the grid's cells.
#include "popup_fixture.h"

#include "platform/grid/browse.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/gui/color.h"
#include "platform/gui/presparam.h"

namespace popt {
namespace {

using Look = PopupTest;

Value presValue(const Value& pres, int id)
{
    for (const Value& p : pres.asArray().items)
        if (rt::entryOf(p, 1).isNum() && rt::entryOf(p, 1).asInt() == id)
            return rt::entryOf(p, 2);
    return {};
}

TEST(LookFunctions, ZebraGivesTheStripeOfALogicalAndPresentationCarriesIt)
{
    popup::registerPopupFunctions();
    const Value even = rt::callWith("SQLBrowseZebra", true);
    const Value odd = rt::callWith("SQLBrowseZebra", false);
    ASSERT_EQ(even.asArray().size(), 2u);
    EXPECT_EQ(rt::entryOf(even, 2).asInt(), popup::evenStripe().bg);
    EXPECT_EQ(rt::entryOf(odd, 2).asInt(), popup::oddStripe().bg);
    EXPECT_NE(popup::evenStripe().bg, popup::oddStripe().bg) << "stripes must be told apart";
    // Anything else is an odd row rather than an error.
    EXPECT_EQ(rt::entryOf(rt::callWith("SQLBrowseZebra", Value()), 2).asInt(), popup::oddStripe().bg);

    const Value pres = rt::callWith("SQLBrowPres", 17);
    EXPECT_EQ(presValue(pres, gui::pp::Zebra).asInt(), 1);
    EXPECT_EQ(presValue(pres, gui::pp::ZebraEvenBgClr).asInt(), popup::evenStripe().bg);
    EXPECT_EQ(presValue(pres, gui::pp::ZebraOddBgClr).asInt(), popup::oddStripe().bg);
    EXPECT_EQ(presValue(pres, gui::pp::DaRowHeight).asInt(), 17);
    EXPECT_TRUE(presValue(pres, gui::pp::HaBgClr).isNum());
    // A row height no grid can use keeps the automatic one.
    EXPECT_EQ(presValue(rt::callWith("SQLBrowPres", 100000), gui::pp::DaRowHeight).asInt(), -1);
    EXPECT_NE(pres.cell(), rt::callWith("SQLBrowPres", 17).cell()) << "a new list on each call";
}

// A browse element like the client window's: the data object as source,
// SQLBrowPres in slot 17, a zebra block in slot 22.
TEST_F(Look, StripesAlternateByDataRowAndFollowScrolling)
{
    const Value data = openData("clientes.nombre");
    auto add = [&](int type, std::initializer_list<std::pair<int, Value>> entries) {
        list.asArray().items.push_back(dlg::getTemplate(type));
        for (const auto& [n, v] : entries)
            dlg::getListSet(list, n, v);
    };
    add(dlg::type::Browse,
        {{5, 0.0}, {6, 0.0}, {9, 40.0}, {10, 8.0}, {17, rt::callWith("SQLBrowPres", 17)},
         {22, rt::makeArray({rt::makeBlock([](rt::Args a) { return rt::callWith("SQLBrowseZebra", rt::argAt(a, 0)); }),
                             Value()})},
         {31, rt::makeArray({rt::makeBlock([data](rt::Args) { return data; }), "oData"})}});
    add(dlg::type::Column, {{3, "NOMBRE"}, {4, rt::makeBlock([data](rt::Args) { return rt::getMember(data, "nombre"); })}});

    std::vector<long long> before, after;
    QString firstAfter;
    read([&](QDialog*) {
        gui::XbpBrowse* grid = gui::asBrowse(elements()[0]);
        ASSERT_NE(grid, nullptr);
        grid->forceStable();
        gui::XbpCellGroup* cells = grid->columnAt(1)->dataGroup();
        for (int row = 1; row <= std::min(6, grid->filledRows()); ++row)
            before.push_back(cells->cellColors(row, false).second);
        // Past the last visible row: the grid scrolls by one.
        for (int i = grid->rowPos(); i <= grid->rowCount(); ++i)
            grid->down();
        grid->forceStable();
        firstAfter = cells->cellText(1);
        for (int row = 1; row <= std::min(6, grid->filledRows()); ++row)
            after.push_back(cells->cellColors(row, false).second);
        dlg::readGuiEvent(5, list);
    });
    const long long evenBg = popup::evenStripe().bg, oddBg = popup::oddStripe().bg;
    ASSERT_GE(before.size(), 4u);
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(before[i], i % 2 == 0 ? oddBg : evenBg) << "row " << i + 1 << ": data row " << i + 1;
    ASSERT_EQ(after.size(), before.size());
    EXPECT_NE(firstAfter.trimmed(), "100 PESOS") << "the grid scrolled";
    EXPECT_NE(after[0], before[0]) << "a stripe belongs to its data row, not to the screen row";
    for (std::size_t i = 1; i < after.size(); ++i)
        EXPECT_NE(after[i], after[i - 1]) << "rows " << i << " and " << i + 1;
    EXPECT_TRUE(errors.empty()) << errors.front();
}

}  // namespace
}  // namespace popt
