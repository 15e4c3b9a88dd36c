// RK_XbpBrowse construction: Init reads the browse's element record and its
// options array and prepares everything the columns and the navigation
// need; create makes the window. Init's steps are BrowseBuilder's, run in a
// fixed order; kOptionMembers maps the options copied as they stand.
#include "browse/core/browse.h"

#include "browse/columns/presentation.h"
#include "browse/columns/row_colors.h"
#include "browse/core/features.h"
#include "browse/core/globals.h"
#include "browse/core/navigation.h"

#include "platform/dbf/workarea.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"
#include "platform/grid/scrollbar.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <algorithm>

namespace browse {

namespace {

using B = RK_XbpBrowse;
namespace slot = dlg::slot;
namespace opt = dlg::browseOption;

// A member of any object by name; NIL when it has none.
rt::Value memberOr(const rt::Value& obj, std::string_view name)
{
    return rt::hasMember(obj, name) ? rt::getMember(obj, name) : rt::Value();
}

rt::Value pres1(long long id, const rt::Value& v) { return rt::makeArray({rt::makeArray({id, v})}); }

// ApplyScaleFactor(aPres, oGetList): the height-type pairs (107, 122, 129)
// of a copy scaled by the dialog's pixel factor; the list itself when the
// factor is 1 (or missing).
rt::Value applyScaleFactor(const rt::Value& pres, const rt::Value& getList)
{
    if (!pres.isArray())
        return pres;
    const rt::Value scale = rt::entryOf(memberOr(getList, "scaleFactor"), 4);
    if (!scale.isNum() || scale.asDouble() == 1)
        return pres;
    rt::Value copy = rt::aClone(pres);
    for (rt::Value& pair : copy.asArray().items) {
        const rt::Value& id = rt::entryOf(pair, 1);
        const rt::Value& v = rt::entryOf(pair, 2);
        if (!id.isNum() || !v.isNum() || v.asDouble() == -1)
            continue;
        const long long n = id.asInt();
        if (n == 107 || n == 122 || n == 129)
            pair.asArray().items[1] = rt::Value(v.asDouble() * scale.asDouble());
    }
    return copy;
}

// The element's font, or the configuration's, into the three
// presentation ids of the browse's cell areas.
void mergeFont(B& b, const rt::Value& slotFont)
{
    rt::Value font = slotFont;
    const rt::Value configured = memberOr(b.config, "font");
    if (rt::isEmpty(font) && !configured.isNil() && font.kind() != configured.kind())
        font = configured;
    if (font.isBlock())
        font = rt::eval(font);
    if (rt::isEmpty(font))
        return;
    for (long long id : {105, 119, 126})
        mergePresentation(b.browsePres, pres1(id, font));
}

// The data-source kind of a value; 0 leaves the slot as it was.
int kindOf(const rt::Value& v)
{
    if (v.isArray())
        return 1;
    if (v.isChar())
        return 2;
    if (v.isNum())
        return 6;
    if (!v.isObject())
        return 0;
    for (const char* c : {"SQLStatement", "SQLDataSet", "SQLRecordSet"})
        if (rt::isDerivedFrom(v, c))
            return 3;
    if (rt::isDerivedFrom(v, "dsACEServer"))
        return 5;
    if (rt::isDerivedFrom(v, "SpSql"))
        return 7;
    if (rt::isDerivedFrom(v, "MyResult"))
        return 8;
    return 4;
}

// An option whose kind differs from its default's takes the default.
void applyOptionDefaults(rt::Array& o)
{
    const auto def = [&o](int n, const rt::Value& d) {
        rt::Value& v = o.items[dlg::index(n)];
        if (v.kind() != d.kind())
            v = d;
    };
    for (int n : {opt::IsScope, opt::NoVScroll, opt::NoHScroll, opt::NoSoftTrack, opt::Fit, opt::Optimize,
                  opt::NoSizeCols, opt::Descending, opt::RightButtonSelect, opt::NoDescendToggle, opt::NoRestore,
                  opt::ResizeColumns, opt::TagEnable, opt::UseVisualStyle})
        def(n, false);
    for (int n : {opt::HeaderLines, opt::FooterLines})
        def(n, 1);
    for (int n : {opt::HeaderDelim, opt::FooterDelim})
        def(n, ";");
    for (int n : {opt::RefreshInterval, opt::TagElement, opt::TagMode, opt::FitMax})
        def(n, 0);
}

// The sort look, from the library default, the options and the
// presentation list.
void initSortLook(B& b, const rt::Array& o)
{
    const rt::Value s = browseSort();
    const auto option = [&o](int n) -> const rt::Value& { return o.items[dlg::index(n)]; };
    const auto pick = [&](rt::Value& var, std::size_t sortEntry, int n) {
        var = rt::isEmpty(option(n)) ? rt::entryOf(s, sortEntry) : option(n);
    };
    pick(b.sortColorSelectedFG, 1, opt::SortColorSelectedFG);
    pick(b.sortColorSelectedBG, 2, opt::SortColorSelectedBG);
    pick(b.sortColorNonselectableFG, 3, opt::SortColorNonselectableFG);
    pick(b.sortColorNonselectableBG, 4, opt::SortColorNonselectableBG);
    pick(b.sortImageAscend, 5, opt::SortImageAscend);
    pick(b.sortImageDescend, 6, opt::SortImageDescend);
    pick(b.sortColorUnSelectedFG, 7, opt::SortColorUnSelectedFG);
    pick(b.sortColorUnSelectedBG, 8, opt::SortColorUnSelectedBG);
    pick(b.sortFontSelected, 9, opt::SortFontSelected);
    pick(b.sortFontUnSelected, 10, opt::SortFontUnSelected);
    pick(b.sortFontNonSelectable, 11, opt::SortFontNonSelectable);
    if (rt::isEmpty(b.sortColorNonselectableFG))
        b.sortColorNonselectableFG = getPresentation(b.browsePres, 117, 0);
    if (rt::isEmpty(b.sortColorNonselectableBG))
        b.sortColorNonselectableBG = getPresentation(b.browsePres, 118, 8);
    for (auto [unselected, nonselectable] : {std::pair{&b.sortColorUnSelectedFG, &b.sortColorNonselectableFG},
                                             {&b.sortColorUnSelectedBG, &b.sortColorNonselectableBG}})
        if (!nonselectable->isNil() && unselected->kind() != nonselectable->kind())
            *unselected = *nonselectable;
}

// True when the presentation list asks for zebra stripes; even and
// odd receive their colour pairs (NIL for a pair it does not give).
bool zebraColors(const rt::Value& pres, rt::Value& even, rt::Value& odd)
{
    const rt::Value on = getPresentation(pres, 150, 0);
    if (!on.isNum() || on.asDouble() <= 0)
        return false;
    if (hasPresentation(pres, 155))
        even = rt::makeArray({getPresentation(pres, 155, 0), getPresentation(pres, 153, 7)});
    if (hasPresentation(pres, 152))
        odd = rt::makeArray({getPresentation(pres, 152, 1), getPresentation(pres, 151, 0)});
    return true;
}

// The selection callback's own part: the data source told, the row's
// mark flipped, the pointer block told, the row redrawn.
rt::Value runSelection(B& b)
{
    if (b.dataSource.isBlock())
        rt::evalWith(b.dataSource, b.self());
    if (b.mark.isNum() && b.arrayElement.isNum() && b.arrayElement.asInt() > 0) {
        const rt::Value& row = rt::entryOf(b.dataSource, std::size_t(b.arrayElement.asInt()));
        const std::int64_t m = b.mark.asInt();
        if (row.isArray() && m >= 1 && std::size_t(m) <= row.asArray().size()) {
            rt::Value& flag = row.asArray().items[std::size_t(m) - 1];
            if (flag.isLogical())
                flag = !flag.asBool();
        }
    }
    if (b.mark.isBlock())
        rt::evalWith(b.mark, b.self());
    if (b.pointerBlock.isBlock())
        rt::evalWith(b.pointerBlock, b.arrayElement);
    b.refreshCurrent();
    return {};
}

// The column element records that follow the browse's own: the run of
// records of type 29 or 98; the column records of that run.
std::vector<rt::Value> columnRecords(const rt::Value& list, int pointer)
{
    std::vector<rt::Value> out;
    if (!list.isArray())
        return out;
    const auto& items = list.asArray().items;
    for (std::size_t i = std::size_t(std::max(pointer, 0)); i < items.size(); ++i) {
        const rt::Value& type = rt::entryOf(items[i], 1);
        if (!type.isNum() || (type.asInt() != dlg::type::Column && type.asInt() != dlg::type::ColumnAlt))
            break;
        if (type.asInt() == dlg::type::Column)
            out.push_back(items[i]);
    }
    return out;
}

// The members that take an option as it stands once the defaults are in,
// or its negation (the options that switch a part off).
struct OptionMember {
    int option;
    rt::Value B::*member;
    bool negated = false;
};

const OptionMember kOptionMembers[] = {
    {opt::Mark, &B::mark},
    {opt::MarkColorBlock, &B::markColorBlock},
    {opt::FreezeLeft, &B::freezeLeft},
    {opt::FreezeRight, &B::freezeRight},
    {opt::IsScope, &B::isScope},
    {opt::ThumbRecords, &B::thumbRecords},
    {opt::HeaderLines, &B::headerLines},
    {opt::HeaderDelim, &B::headerDelim},
    {opt::FooterLines, &B::footerLines},
    {opt::FooterDelim, &B::footerDelim},
    {opt::HeaderPres, &B::headerPres},
    {opt::FooterPres, &B::footerPres},
    {opt::NoVScroll, &B::vScroll, true},
    {opt::NoHScroll, &B::hScroll, true},
    {opt::NoSoftTrack, &B::softTrack, true},
    {opt::Fit, &B::fit},
    {opt::Optimize, &B::optimize},
    {opt::NoSizeCols, &B::sizeCols, true},
    {opt::Descending, &B::descending},
    {opt::RefreshInterval, &B::refreshInterval},
    {opt::RightButtonSelect, &B::rightButtonSelect},
    {opt::NoDescendToggle, &B::descendToggle, true},
    {opt::RightButtonDown, &B::rightButtonDown},
    {opt::Filter, &B::filter},
    {opt::ResizeColumns, &B::resizeColumns},
    {opt::TagEnable, &B::tagEnable},
    {opt::TagElement, &B::tagElement},
    {opt::TagColorFG, &B::tagColorFG},
    {opt::TagColorBG, &B::tagColorBG},
    {opt::TagMode, &B::tagMode},
    {opt::UseVisualStyle, &B::useVisualStyle},
    {opt::RefreshBlock, &B::refreshBlock},
    {opt::RefreshWhenBlock, &B::refreshWhenBlock},
    {opt::OwnerDrawBlock, &B::ownerDrawBlock},
    {opt::FitMax, &B::fitMax},
    {opt::RecordObject, &B::recordObject},
};

}  // namespace

// Init's steps, in the order they run: later steps see what earlier ones
// wrote. A data source that is missing or refused ends construction before
// the platform browse is initialised. The element's anchor blocks see every
// member set.
class BrowseBuilder {
public:
    BrowseBuilder(B& b, rt::Args a) : b_(b), args_(a) {}

    // True when the browse is complete.
    bool run()
    {
        configuration();
        if (!dataSource())
            return false;
        platformBrowse();
        plainDefaults();
        sourceKind();
        options();
        cellEditing();
        sortLook();
        blocks();
        rowColours();
        recordObject();
        cargo();
        callbacks();
        navigation();
        focusHighlight();
        anchors();
        restore();
        scrollBarTips();
        tagKeys();
        return true;
    }

private:
    [[nodiscard]] rt::Value slot(int n) const { return b_.elementSlot(n); }
    [[nodiscard]] const rt::Value& option(int n) const { return b_.options.asArray().items[dlg::index(n)]; }

    // The record, the configuration object, the presentation list and its
    // fonts.
    void configuration()
    {
        const rt::Value& oGetList = rt::argAt(args_, 6);
        b_.initParts(oGetList);
        list_ = b_.elementsArray();
        const rt::Value configSlot = slot(slot::Config);
        b_.config = configSlot.isObject() ? configSlot : xbpBrowseDefault();
        const rt::Value presParam = memberOr(b_.config, "presParam");
        b_.browsePres = presParam.isArray() ? rt::aClone(presParam) : rt::Value::array();
        mergePresentation(b_.browsePres, rt::argAt(args_, 4));
        b_.browsePres = applyScaleFactor(b_.browsePres, oGetList);
        mergeFont(b_, slot(slot::Font));
    }

    // The data source: the data block's value, the alias name, or the
    // current work area. False when there is none or it is refused.
    bool dataSource()
    {
        if (const rt::Value dataBlock = dlg::getBlock(slot(slot::DataSource)); dataBlock.isBlock()) {
            value_ = rt::eval(dataBlock);
            if (!dlg::readDataCheck(value_, "ACONI", list_, b_.getListPointer, true))
                return false;
        } else if (slot(slot::Alias).isChar()) {
            value_ = slot(slot::Alias);
            if (!dlg::readDataCheck(value_, "C", list_, b_.getListPointer, true))
                return false;
        }
        if (!value_.isArray() && rt::isEmpty(value_)) {
            const dbf::WorkArea* area = dbf::currentArea();
            value_ = area ? rt::Value(area->alias()) : rt::Value();
            if (rt::isEmpty(value_)) {
                dlg::winAlert("RK_ReadGui() error! Browse has no data source");
                return false;
            }
        }
        return true;
    }

    // The options array at its full length, then the platform browse.
    void platformBrowse()
    {
        b_.options = slot(slot::Options);
        if (!b_.options.isArray()) {
            b_.options = rt::Value::array(dlg::kBrowseOptions);
            b_.setElementSlot(slot::Options, b_.options);
        }
        b_.options.asArray().items.resize(dlg::kBrowseOptions);
        const rt::Value platformArgs[] = {rt::argAt(args_, 0), rt::argAt(args_, 1), rt::argAt(args_, 2),
                                          rt::argAt(args_, 3), b_.browsePres,        rt::argAt(args_, 5)};
        b_.gui::XbpBrowse::init(rt::Args(platformArgs, 6));
        if (option(opt::ScrollHeight).isNum())
            b_.nScrollHeight = option(opt::ScrollHeight);
        b_.scrollBarHeight = b_.scrollExtent();
        b_.useVisualStyle = memberOr(b_.config, "useVisualStyleBrowse");
    }

    // The members that start at a value of their own.
    void plainDefaults()
    {
        b_.tabstop = false;
        b_.dataEnabled = true;
        b_.noRestore = false;
        b_.skipUnique = false;
        b_.nBrow = 1;
        b_.lBrow = false;
        b_.isItemMarkedCodeBlock = false;
        b_.isTrapErrors = browseTrapErrors();
        b_.evenRow = false;
        b_.isLeftMouseButton = false;
        b_.configMessageBlock = browseConfigMessageBlock();
        b_.isCellEditing = false;
        if (const rt::Value colors = browseColor({}); colors.isArray())
            b_.browseColor = rt::aClone(colors);
        b_.cursorModeVar = slot(slot::CursorMode).isNum() ? slot(slot::CursorMode) : rt::Value(2);
        b_.lastTagRec = 0;
        b_.lastTagPos = 0;
        b_.cellEditMode = false;
        b_.sortColumn = 0;
        b_.oHasFocus = rt::Value();
        b_.dataLink = value_;
        b_.columns = rt::Value::array();
        b_.arrayElement = 1;
        b_.hasHeader = false;
        b_.hasFooter = false;
    }

    void sourceKind()
    {
        if (const int kind = kindOf(value_))
            b_.setElementSlot(slot::SourceKind, kind);
        b_.dataSource = value_;
        b_.dataSourceType = slot(slot::SourceKind);
    }

    // Each option into its member, past the defaults.
    void options()
    {
        applyOptionDefaults(b_.options.asArray());
        for (const OptionMember& m : kOptionMembers)
            b_.*m.member = m.negated ? rt::Value(!option(m.option).asBool()) : option(m.option);
        if (value_.isChar() && !b_.thumbRecords.isNum() && !b_.thumbRecords.isBlock())
            b_.thumbRecords = 32000;
        if (!rt::isEmpty(option(opt::NoRestore)))
            b_.noRestore = option(opt::NoRestore);
    }

    void cellEditing() { b_.CellEditSetup(); }
    void sortLook() { initSortLook(b_, b_.options.asArray()); }

    // The element's blocks and its cell-edit settings.
    void blocks()
    {
        b_.outputBlock = dlg::getBlock(slot(slot::OutputBlock));
        b_.inputBlock = dlg::getBlock(slot(slot::InputBlock));
        b_.whenBlock = dlg::getBlock(slot(slot::When));
        b_.hideBlock = dlg::getBlock(slot(slot::Hide));
        b_.protectBlock = dlg::getBlock(slot(slot::Protect));
        b_.pointerBlock = dlg::getBlock(slot(slot::PointerBlock));
        const rt::Value editSettings = slot(slot::CellEdit);
        b_.font = rt::entryOf(editSettings, 4);
        const rt::Value& noAutoLock = rt::entryOf(editSettings, 6);
        b_.autoLock = noAutoLock.isLogical() && !noAutoLock.asBool() && value_.isChar();
    }

    // The element's colour block, else zebra stripes when the presentation
    // list asks for them; the row colour block over it.
    void rowColours()
    {
        rt::Value colorBlock;
        if (const rt::Value c = slot(slot::Colors); c.isBlock())
            colorBlock = c;
        else if (rt::entryOf(c, 1).isBlock())
            colorBlock = rt::entryOf(c, 1);
        if (rt::Value even, odd; colorBlock.isNil() && zebraColors(b_.browsePres, even, odd))
            colorBlock = b_.selfBlock([even, odd](B& b, rt::Args) { return b.ZebraColor(even, odd); });
        const rt::Value colorPair = rt::makeArray({rt::Value(), 15});
        b_.rowColorBlock = makeRowColorBlock(b_.self(), b_.options, colorPair, value_, colorBlock);
    }

    // The record object follows every move.
    void recordObject()
    {
        if (b_.recordObject.isObject()) {
            const rt::Value record = b_.recordObject;
            b_.navigateBlock = rt::makeBlock([record](rt::Args) { return rt::sendWith(record, "scatter"); });
            rt::eval(b_.navigateBlock);
        } else {
            b_.navigateBlock = rt::makeBlock([](rt::Args) {});
        }
        if (b_.ownerDrawBlock.isBlock())
            b_.drawMode = 1;
    }

    // { getListPointer, the records, the element's cargo, arrayElement, dataSource }.
    void cargo()
    {
        b_.cargo = rt::makeArray({b_.getListPointer, list_, slot(slot::Cargo), b_.arrayElement, b_.dataSource});
    }

    // Selection and marking.
    void callbacks()
    {
        b_.cbItemSelected = b_.selfBlock([](B& b, rt::Args) { return runSelection(b); });
        if (option(opt::ItemSelected).isBlock())
            b_.cbItemSelected = dlg::mergeBlocks(b_.cbItemSelected, option(opt::ItemSelected));
        else if (const rt::Value input = dlg::getBlock(slot(slot::InputBlock)); input.isBlock())
            b_.cbItemSelected = dlg::mergeBlocks(b_.cbItemSelected, input);
        if (b_.pointerBlock.isBlock())
            b_.cbItemMarked = b_.selfBlock([](B& b, rt::Args) { return rt::evalWith(b.pointerBlock, b.arrayElement); });
        if (option(opt::ItemMarked).isBlock()) {
            b_.cbItemMarked = dlg::mergeBlocks(b_.cbItemMarked, option(opt::ItemMarked));
            b_.isItemMarkedCodeBlock = true;
        }
        if (rt::isTrue(getWhenOnBrowseItemMarked()))
            b_.isItemMarkedCodeBlock = true;
    }

    // The navigation blocks of the kind; the cargo follows the start element.
    void navigation()
    {
        installNavigation(b_);
        if (b_.cargo.isArray() && b_.cargo.asArray().size() >= 4)
            b_.cargo.asArray().items[3] = b_.arrayElement;
    }

    // The read's focus highlighting.
    void focusHighlight()
    {
        const rt::Value hilite = rt::entryOf(memberOr(b_.getList, "getOptions"), dlg::readOption::HiliteGets);
        if (rt::isEmpty(hilite))
            return;
        b_.cbKillInputFocus = b_.selfBlock([hilite](B& b, rt::Args) { return dlg::hiliteGets(b.self(), 2, hilite); });
        b_.cbSetInputFocus = b_.selfBlock([hilite](B& b, rt::Args) { return dlg::hiliteGets(b.self(), 1, hilite); });
    }

    // Slot 28 may name a program-wide variable that is to receive the browse.
    void anchors()
    {
        if (const rt::Value anchor = dlg::getBlock(slot(slot::Anchor), "O"); anchor.isBlock())
            rt::evalWith(anchor, b_.self());
        if (const rt::Value early = dlg::getBlock(slot(slot::EarlyBlock)); early.isBlock())
            rt::evalWith(early, b_.self());
    }

    // The saved layout, before the columns exist.
    void restore()
    {
        const rt::Value id = slot(slot::Id);
        const bool autoRestore = !rt::isEmpty(autoRestoreBrowse()) && !rt::isEmpty(id) && !rt::isTrue(b_.noRestore);
        if (autoRestore || !rt::isEmpty(b_.restoreConfig))
            b_.prepareAutoRestore(id);
    }

    void scrollBarTips()
    {
        b_.scrollBarTipBlock = slot(slot::ScrollBarTipBlock);
        if (b_.scrollBarTipBlock.isBlock() && rt::hasMember(b_.getList, "isDataToolTips"))
            rt::setMember(b_.getList, "isDataToolTips", true);
    }

    void tagKeys()
    {
        if (!rt::isTrue(b_.tagEnable))
            return;
        b_.cbKeyboard = dlg::mergeBlocks(b_.cbKeyboard, b_.selfBlock([](B& b, rt::Args k) {
            const rt::Value args[] = {rt::Value(), rt::Value(), rt::argAt(k, 0)};
            return rt::send(b.self(), "Tag", rt::Args(args, 3));
        }));
    }

    B& b_;
    rt::Args args_;
    rt::Value list_;   // the element list's records
    rt::Value value_;  // the data source as found
};

rt::Value RK_XbpBrowse::init(rt::Args a)
{
    initialised_ = false;
    initialised_ = BrowseBuilder(*this, a).run();
    return self();
}

rt::Value RK_XbpBrowse::create(rt::Args a)
{
    // Init kept the position, size, presentation and parent that create
    // does not repeat; a browse that Init refused gets no window.
    if (!initialised_)
        return self();
    gui::XbpBrowse::create(a);
    if (hideBlock.isBlock() && rt::isTrue(rt::evalWith(hideBlock, self())))
        setVisible(false);
    setOrig(*this);
    for (gui::XbpPart* child : children()) {
        if (!child->isDerivedFrom("XbpScrollBar"))
            continue;
        const rt::Value bar = child->self();
        const rt::Value type = rt::getMember(bar, "type");
        if (type.isNum() && type.asInt() == gui::sb::Vertical && scrollBarTipBlock.isBlock())
            child->cargo = rt::makeArray({rt::makeBlock([](rt::Args) { return true; }), scrollBarTipBlock, "", 0, 0, 0,
                                          rt::Value(), dataSource});
        if (rt::hasMember(bar, "isVisualStyle"))
            rt::setMember(bar, "useVisualStyle", memberOr(config, "useVisualStyleScrollBars"));
    }
    return self();
}

// The layout is saved under the calling dialog's name and the element id.
// The runtime keeps no procedure names, so the dialog's title stands for it.
void RK_XbpBrowse::prepareAutoRestore(const rt::Value& id)
{
    const rt::Value setting = autoRestoreBrowse();
    std::string name;
    if (rt::isTrue(rt::entryOf(setting, 3)))
        if (const rt::Value title = memberOr(memberOr(getList, "dialog"), "title"); title.isChar())
            name = title.str();
    restoreProc = rt::Value(name + ":" + rt::xtoc(id));
    std::vector<rt::Value> copies;
    for (const rt::Value& record : columnRecords(elementsArray(), getListPointer))
        copies.push_back(rt::aClone(record));
    defaultColumnsGetList = rt::makeArray(std::move(copies));
    restoreLayout();
}

void RK_XbpBrowse::restoreLayout()
{
    if (features().restoreLayout)
        features().restoreLayout(*this);
}

}  // namespace browse
