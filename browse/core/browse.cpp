// RK_XbpBrowse: class definition, member table and the library's registration.
#include "browse/core/browse.h"

#include "browse/columns/column.h"
#include "browse/columns/column_sort.h"
#include "browse/columns/presentation.h"
#include "browse/columns/row_colors.h"
#include "browse/core/features.h"
#include "browse/core/globals.h"
#include "browse/core/navigation.h"
#include "browse/core/owner_draw.h"

#include "platform/dbf/dbf.h"
#include "platform/dialog/library.h"
#include "platform/gui/timer.h"

#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/functions.h"

namespace browse {

namespace {

using B = RK_XbpBrowse;

struct Ivar {
    const char* name;
    rt::Value B::*slot;
};

// The instance variables in definition order.
constexpr Ivar kIvars[] = {
    {"oHasFocus", &B::oHasFocus},
    {"dataLink", &B::dataLink},
    {"color", &B::color},
    {"varBlock", &B::varBlock},
    {"captionBlock", &B::captionBlock},
    {"picture", &B::picture},
    {"optionArray", &B::optionArray},
    {"arrayElement", &B::arrayElement},
    {"dataSource", &B::dataSource},
    {"dataSourceType", &B::dataSourceType},
    {"thumbRecords", &B::thumbRecords},
    {"headerLines", &B::headerLines},
    {"headerDelim", &B::headerDelim},
    {"footerLines", &B::footerLines},
    {"footerDelim", &B::footerDelim},
    {"headerPres", &B::headerPres},
    {"footerPres", &B::footerPres},
    {"browsePres", &B::browsePres},
    {"fit", &B::fit},
    {"fitMax", &B::fitMax},
    {"optimize", &B::optimize},
    {"outputBlock", &B::outputBlock},
    {"inputBlock", &B::inputBlock},
    {"mark", &B::mark},
    {"markColorBlock", &B::markColorBlock},
    {"rowColorBlock", &B::rowColorBlock},
    {"isScope", &B::isScope},
    {"font", &B::font},
    {"pointerBlock", &B::pointerBlock},
    {"autoLock", &B::autoLock},
    {"freezeLeft", &B::freezeLeft},
    {"freezeRight", &B::freezeRight},
    {"columns", &B::columns},
    {"sortColorSelectedFG", &B::sortColorSelectedFG},
    {"sortColorSelectedBG", &B::sortColorSelectedBG},
    {"sortColorUnSelectedFG", &B::sortColorUnSelectedFG},
    {"sortColorUnSelectedBG", &B::sortColorUnSelectedBG},
    {"sortColorNonselectableFG", &B::sortColorNonselectableFG},
    {"sortColorNonselectableBG", &B::sortColorNonselectableBG},
    {"sortFontSelected", &B::sortFontSelected},
    {"sortFontUnSelected", &B::sortFontUnSelected},
    {"sortFontNonSelectable", &B::sortFontNonSelectable},
    {"descending", &B::descending},
    {"descendToggle", &B::descendToggle},
    {"sortImageAscend", &B::sortImageAscend},
    {"sortImageDescend", &B::sortImageDescend},
    {"sortColumn", &B::sortColumn},
    {"refreshInterval", &B::refreshInterval},
    {"refreshWhenBlock", &B::refreshWhenBlock},
    {"refreshBlock", &B::refreshBlock},
    {"timer", &B::timer},
    {"rightButtonSelect", &B::rightButtonSelect},
    {"cellEditMode", &B::cellEditMode},
    {"cellEditor", &B::cellEditor},
    {"saveRecord", &B::saveRecord},
    {"hasHeader", &B::hasHeader},
    {"hasFooter", &B::hasFooter},
    {"navBlocks", &B::navBlocks},
    {"dataEnabled", &B::dataEnabled},
    {"rightButtonDown", &B::rightButtonDown},
    {"defaultColumnsGetList", &B::defaultColumnsGetList},
    {"configMessageBlock", &B::configMessageBlock},
    {"filter", &B::filter},
    {"noRestore", &B::noRestore},
    {"restoreConfig", &B::restoreConfig},
    {"restoreProc", &B::restoreProc},
    {"skipUnique", &B::skipUnique},
    {"lBrow", &B::lBrow},
    {"nBrow", &B::nBrow},
    {"resizeColumns", &B::resizeColumns},
    {"tagEnable", &B::tagEnable},
    {"tagElement", &B::tagElement},
    {"tagColorFG", &B::tagColorFG},
    {"tagColorBG", &B::tagColorBG},
    {"tagMode", &B::tagMode},
    {"lastTagRec", &B::lastTagRec},
    {"lastTagPos", &B::lastTagPos},
    {"config", &B::config},
    {"scrollBarTipBlock", &B::scrollBarTipBlock},
    {"isItemMarkedCodeBlock", &B::isItemMarkedCodeBlock},
    {"ownerDrawBlock", &B::ownerDrawBlock},
    {"isLeftMouseButton", &B::isLeftMouseButton},
    {"isTrapErrors", &B::isTrapErrors},
    {"evenRow", &B::evenRow},
    {"CellEditKeyBlock", &B::CellEditKeyBlock},
    {"isCellEditing", &B::isCellEditing},
    {"scrollBarHeight", &B::scrollBarHeight},
    {"navigateBlock", &B::navigateBlock},
    {"recordObject", &B::recordObject},
    {"browseColor", &B::browseColor},
};
static_assert(std::size(kIvars) == 90);

// A method of no arguments that returns what fn returns.
template <rt::Value (B::*Fn)()>
void addPlain(rt::ClassInfo& c, const char* name)
{
    c.method<B>(name, [](B& o, rt::Args) { return (o.*Fn)(); });
}

// A method that takes its arguments as given.
template <rt::Value (B::*Fn)(rt::Args)>
void addArgs(rt::ClassInfo& c, const char* name)
{
    c.method<B>(name, [](B& o, rt::Args a) { return (o.*Fn)(a); });
}

// A name that is both an instance variable and a method (names ignore
// case): reading or assigning reaches the variable, a call the method.
template <rt::Value (B::*Fn)(rt::Args)>
void addVarAndMethod(rt::ClassInfo& c, const char* name, rt::Value B::*var)
{
    c.addCallback(
        name, [var](rt::Object& o) { return static_cast<B&>(o).*var; },
        [var](rt::Object& o, const rt::Value& v) { static_cast<B&>(o).*var = v; },
        [](rt::Object& o, rt::Args a) { return (static_cast<B&>(o).*Fn)(a); });
}

void addMethods(rt::ClassInfo& c)
{
    c.method<B>("Init", [](B& o, rt::Args a) { return o.init(a); });
    c.method<B>("create", [](B& o, rt::Args a) { return o.create(a); });
    c.method<B>("Navigate", [](B& o, rt::Args a) { return o.Navigate(rt::argAt(a, 0), rt::argAt(a, 1)); });
    c.method<B>("FieldBlock", [](B& o, rt::Args a) { return o.FieldBlock(rt::argAt(a, 0)); });
    addPlain<&B::CellEditSetup>(c, "CellEditSetup");
    addArgs<&B::Save>(c, "Save");
    addArgs<&B::Restore>(c, "Restore");
    addArgs<&B::MoveColumn>(c, "MoveColumn");
    addPlain<&B::Refresh>(c, "Refresh");
    c.method<B>("WhenHideEval", [](B& o, rt::Args a) {
        return o.WhenHideEval(rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2));
    });
    c.method<B>("Destroy", [](B& o, rt::Args) { return o.destroy(); });
    c.method<B>("handleEvent", [](B& o, rt::Args a) {
        const rt::Value& n = rt::argAt(a, 0);
        return n.isNum() ? o.handleEvent(int(n.asInt()), rt::argAt(a, 1), rt::argAt(a, 2)) : rt::Value();
    });
    // The platform's handler stays reachable past the browse's own.
    c.method<B>("XbpBrowsehandleEvent", [](B& o, rt::Args a) {
        const rt::Value& n = rt::argAt(a, 0);
        return n.isNum() ? o.gui::XbpBrowse::handleEvent(int(n.asInt()), rt::argAt(a, 1), rt::argAt(a, 2)) : rt::Value();
    });
    addPlain<&B::setTimerRefresh>(c, "setTimerRefresh");
    c.method<B>("right", [](B& o, rt::Args) {
        o.gui::XbpBrowse::right();
        return o.self();
    });
    // A callback slot of the platform: assigning keeps the block, a call
    // runs the handler.
    c.callback<B>("itemRbDown", &B::cbItemRbDown, [](B& o, rt::Args a) { return o.itemRbDown(a); });
    addArgs<&B::CellEdit>(c, "CellEdit");
    addVarAndMethod<&B::CellEditMode>(c, "CellEditMode", &B::cellEditMode);
    c.method<B>("RefreshAll", [](B& o, rt::Args a) { return o.RefreshAll(rt::argAt(a, 0)); });
    addPlain<&B::SortClear>(c, "SortClear");
    c.method<B>("HFLbDown", [](B& o, rt::Args a) { return o.HFLbDown(rt::argAt(a, 0), rt::argAt(a, 1)); });
    c.method<B>("DataDisplay", [](B& o, rt::Args a) { return o.DataDisplay(rt::argAt(a, 0)); });
    addVarAndMethod<&B::Optimize>(c, "Optimize", &B::optimize);
    addPlain<&B::RestoreDefaults>(c, "RestoreDefaults");
    // A column's heading double-click, when the browse optimises.
    c.method<B>("_Optimize", [](B& o, rt::Args a) {
        return features().optimizeColumn ? features().optimizeColumn(o, a) : rt::Value();
    });
    addArgs<&B::FitColumns>(c, "FitColumns");
    addPlain<&B::ForceStable>(c, "ForceStable");
    addPlain<&B::RefreshView>(c, "RefreshView");
    addPlain<&B::RowColor>(c, "RowColor");
    addVarAndMethod<&B::ResizeColumns>(c, "ResizeColumns", &B::resizeColumns);
    addArgs<&B::Tag>(c, "Tag");
    c.callback<B>("Resize", &B::cbResize, [](B& o, rt::Args a) { return o.Resize(a); });
    addArgs<&B::SetSize>(c, "SetSize");
    c.method<B>("ZebraColor", [](B& o, rt::Args a) { return o.ZebraColor(rt::argAt(a, 0), rt::argAt(a, 1)); });
    c.method<B>("CustomDrawCell",
                [](B& o, rt::Args a) { return o.CustomDrawCell(rt::argAt(a, 0), rt::argAt(a, 1)); });
}

// The class initialiser of both bases is their ClassInfo: naming them as
// parents is all the registration the class needs.
rt::ClassInfo makeClass()
{
    rt::ClassInfo c("RK_XbpBrowse", {&gui::XbpBrowse::staticClass(), &dlg::ElementParts::staticClass()});
    for (const Ivar& v : kIvars)
        c.field<B>(v.name, v.slot);
    c.addVar("initialised", [](rt::Object& o) { return rt::Value(static_cast<B&>(o).initialised()); });
    addMethods(c);
    return c;
}

}  // namespace

RK_XbpBrowse::RK_XbpBrowse() = default;
// A browse dropped without Destroy must not leave its timer ticking.
RK_XbpBrowse::~RK_XbpBrowse()
{
    if (auto* t = timer.isObject() ? dynamic_cast<gui::SetTimerEvent*>(&timer.asObject()) : nullptr)
        t->destroy();
}

const rt::ClassInfo& RK_XbpBrowse::staticClass()
{
    static const rt::ClassInfo cls = makeClass();
    return cls;
}

const rt::ClassInfo& RK_XbpBrowse::classInfo() const { return staticClass(); }

rt::Value RK_XbpBrowse::selfBlock(std::function<rt::Value(RK_XbpBrowse&, rt::Args)> fn)
{
    return rt::makeBlock([weak = gui::WeakPart(*this), p = this, fn = std::move(fn)](rt::Args a) -> rt::Value {
        const rt::Value keep = weak.lock();
        return keep.isNil() ? rt::Value() : fn(*p, a);
    });
}

// --- row colours

rt::Value RK_XbpBrowse::RowColor() { return rowColor(self()); }
rt::Value RK_XbpBrowse::ZebraColor(const rt::Value& uEven, const rt::Value& aOdd)
{
    return zebraColor(self(), uEven, aOdd);
}
rt::Value RK_XbpBrowse::CustomDrawCell(const rt::Value& oPS, const rt::Value& aInfo)
{
    return customDrawCell(self(), oPS, aInfo);
}

// --- the interaction features (features.h)

namespace {
Features& featureTable()
{
    static Features f;
    return f;
}
}  // namespace

void setFeatures(const Features& f) { featureTable() = f; }
const Features& features() { return featureTable(); }

#define DXC_FEATURE(Name, entry)                                           \
    rt::Value RK_XbpBrowse::Name(rt::Args a)                               \
    {                                                                      \
        return features().entry ? features().entry(*this, a) : self();    \
    }
DXC_FEATURE(Save, save)
DXC_FEATURE(Restore, restore)
DXC_FEATURE(MoveColumn, moveColumn)
DXC_FEATURE(CellEdit, cellEdit)
DXC_FEATURE(CellEditMode, cellEditMode)
DXC_FEATURE(Optimize, optimize)
DXC_FEATURE(FitColumns, fitColumns)
DXC_FEATURE(ResizeColumns, resizeColumns)
DXC_FEATURE(Tag, tag)
#undef DXC_FEATURE

rt::Value RK_XbpBrowse::CellEditSetup()
{
    return features().cellEditSetup ? features().cellEditSetup(*this, {}) : self();
}
rt::Value RK_XbpBrowse::RestoreDefaults()
{
    return features().restoreDefaults ? features().restoreDefaults(*this, {}) : self();
}

// The platform's right-button callback: the block given, with (aPos, {oColumn, nRow}, self).
rt::Value RK_XbpBrowse::itemRbDown(rt::Args a)
{
    if (features().itemRbDown)
        return features().itemRbDown(*this, a);
    return platformItemRbDown(a);
}

rt::Value RK_XbpBrowse::platformItemRbDown(rt::Args a)
{
    return cbItemRbDown.isBlock() ? rt::evalWith(cbItemRbDown, rt::argAt(a, 0), rt::argAt(a, 1), self()) : rt::Value();
}

// Headers back to the non-selectable colours, without arrows; the sort
// column and direction stay.
rt::Value RK_XbpBrowse::SortClear()
{
    sortClear(self());
    return self();
}

// A press in a header or footer: a column with noResize is sized from
// neither border, so presses that would size it are passed over.
rt::Value RK_XbpBrowse::HFLbDown(const rt::Value& aPos, const rt::Value& aValues)
{
    const gui::XbpColumn* pressed = gui::asColumn(rt::entryOf(aValues, 1));
    const int nCol = pressed ? colNum(pressed) : 0;
    const auto at = gui::pairOf(aPos);
    const auto fixed = [this](int pos) {
        const RK_XbpColumn* c = pos >= 1 && pos <= colCount() ? asRkColumn(columnAt(pos)->self()) : nullptr;
        return c && rt::isTrue(c->noResize);
    };
    if (nCol > 0 && at) {
        const int x = at->x();
        if (nCol > 1 && fixed(nCol - 1) && x < 5)
            return {};
        if (fixed(nCol) && (x > 5 || (nCol < colCount() && !fixed(nCol + 1))))
            return {};
    }
    return startSizing(aPos, aValues);
}

// The platform's resize callback: the block given, with (aOldSize, aNewSize, self).
rt::Value RK_XbpBrowse::Resize(rt::Args a)
{
    if (features().resize)
        return features().resize(*this, a);
    return platformResize(a);
}

rt::Value RK_XbpBrowse::platformResize(rt::Args a)
{
    return cbResize.isBlock() ? rt::evalWith(cbResize, rt::argAt(a, 0), rt::argAt(a, 1), self()) : rt::Value();
}

rt::Value RK_XbpBrowse::SetSize(rt::Args a)
{
    if (features().setSize)
        return features().setSize(*this, a);
    const auto s = gui::pairOf(rt::argAt(a, 0));
    return s ? rt::Value(setSize(QSize(s->x(), s->y()))) : rt::Value(false);
}

RK_XbpBrowse* asRkBrowse(const rt::Value& v)
{
    return v.isObject() ? dynamic_cast<RK_XbpBrowse*>(&v.asObject()) : nullptr;
}

void registerBrowseLibrary()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    rt::registerClass<RK_XbpBrowse>();
    registerColumnClasses();
    registerOwnerDrawBrowse();
    registerPresentationFunctions();
    registerRowColorFunctions();
    registerNavigationFunctions();
    registerGlobals();
    dlg::registerLibraryFunctions();
    // The navigation blocks call the work-area and table-handle functions by name.
    dbf::registerDbfFunctions();
}

}  // namespace browse
