// SQLBrowPres and SQLBrowseZebra: the look of a browse over a SQL data
// object. Stripes follow the data object's own row position, which it keeps
// exact while paging, so they stay put when the grid scrolls.
#include "platform/popup/popup.h"

#include "platform/dialog/library.h"
#include "platform/gui/color.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/object.h"

namespace popup {

namespace {

// Row heights outside this range are no height a grid can use.
constexpr double kMinRowPx = 8;
constexpr double kMaxRowPx = 200;

// The parity of the browse's current data row: its data source's getNum()
// when it has one, else what the browse itself counts.
bool browseRowIsEven(const rt::Value& browse)
{
    bool even = false;
    rt::guarded([&] {
        const rt::Value ds = rt::hasMember(browse, "dataSource") ? rt::getMember(browse, "dataSource") : rt::Value();
        if (ds.isObject() && rt::hasMember(ds, "getNum")) {
            const rt::Value n = rt::sendWith(ds, "getNum");
            even = n.isNum() && n.asInt() % 2 == 0;
        } else if (rt::hasMember(browse, "evenRow")) {
            even = rt::isTrue(rt::getMember(browse, "evenRow"));
        }
    });
    return even;
}

rt::Value pair(const Stripe& s) { return rt::makeArray({s.fg, s.bg}); }

}  // namespace

Stripe evenStripe() { return {gui::makeRgbColor(0, 0, 0), gui::makeRgbColor(255, 255, 255)}; }
Stripe oddStripe() { return {gui::makeRgbColor(0, 0, 0), gui::makeRgbColor(221, 235, 247)}; }

rt::Value sqlBrowPres(const rt::Value& rowHeight)
{
    const rt::Value pres = dlg::browPres();
    dlg::presAdd(pres, gui::pp::HaFgClr, gui::makeRgbColor(255, 255, 255));
    dlg::presAdd(pres, gui::pp::HaBgClr, gui::makeRgbColor(47, 84, 150));
    dlg::presAdd(pres, gui::pp::Zebra, 1);
    dlg::presAdd(pres, gui::pp::ZebraOddBgClr, oddStripe().bg);
    dlg::presAdd(pres, gui::pp::ZebraOddFgClr, oddStripe().fg);
    dlg::presAdd(pres, gui::pp::ZebraEvenBgClr, evenStripe().bg);
    dlg::presAdd(pres, gui::pp::ZebraEvenFgClr, evenStripe().fg);
    if (rowHeight.isNum() && rowHeight.asDouble() >= kMinRowPx && rowHeight.asDouble() <= kMaxRowPx)
        dlg::presAdd(pres, gui::pp::DaRowHeight, rowHeight.asInt());
    return pres;
}

rt::Value sqlBrowseZebra(const rt::Value& x)
{
    bool even = false;
    if (x.isLogical())
        even = x.asBool();
    else if (x.isObject())
        even = browseRowIsEven(x);
    else if (x.isNum())
        even = x.asInt() % 2 == 0;
    return pair(even ? evenStripe() : oddStripe());
}

}  // namespace popup
