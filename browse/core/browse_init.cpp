// RK_XbpBrowse construction: Init reads the browse's element record and its
// options array and prepares everything the columns and the navigation
// need; create makes the window.
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

}  // namespace

rt::Value RK_XbpBrowse::init(rt::Args a)
{
    initialised_ = false;
    const rt::Value& oGetList = rt::argAt(a, 6);

    // The record, the configuration object and the presentation list.
    initParts(oGetList);
    const rt::Value list = elementsArray();
    const rt::Value configSlot = elementSlot(slot::Config);
    config = configSlot.isObject() ? configSlot : xbpBrowseDefault();
    const rt::Value presParam = memberOr(config, "presParam");
    browsePres = presParam.isArray() ? rt::aClone(presParam) : rt::Value::array();
    mergePresentation(browsePres, rt::argAt(a, 4));
    browsePres = applyScaleFactor(browsePres, oGetList);

    // Fonts.
    mergeFont(*this, elementSlot(slot::Font));

    // The data source; a refused value ends construction.
    rt::Value value;
    if (const rt::Value dataBlock = dlg::getBlock(elementSlot(slot::DataSource)); dataBlock.isBlock()) {
        value = rt::eval(dataBlock);
        if (!dlg::readDataCheck(value, "ACONI", list, getListPointer, true))
            return self();
    } else if (elementSlot(slot::Alias).isChar()) {
        value = elementSlot(slot::Alias);
        if (!dlg::readDataCheck(value, "C", list, getListPointer, true))
            return self();
    }
    if (!value.isArray() && rt::isEmpty(value)) {
        const dbf::WorkArea* area = dbf::currentArea();
        value = area ? rt::Value(area->alias()) : rt::Value();
        if (rt::isEmpty(value)) {
            dlg::winAlert("RK_ReadGui() error! Browse has no data source");
            return self();
        }
    }

    // The options array and the platform browse.
    options = elementSlot(slot::Options);
    if (!options.isArray()) {
        options = rt::Value::array(dlg::kBrowseOptions);
        setElementSlot(slot::Options, options);
    }
    rt::Array& o = options.asArray();
    o.items.resize(dlg::kBrowseOptions);
    const auto option = [&o](int n) -> const rt::Value& { return o.items[dlg::index(n)]; };
    const rt::Value platformArgs[] = {rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2), rt::argAt(a, 3),
                                      browsePres, rt::argAt(a, 5)};
    gui::XbpBrowse::init(rt::Args(platformArgs, 6));
    if (option(opt::ScrollHeight).isNum())
        nScrollHeight = option(opt::ScrollHeight);
    scrollBarHeight = scrollExtent();
    useVisualStyle = memberOr(config, "useVisualStyleBrowse");

    // Plain defaults.
    tabstop = false;
    dataEnabled = true;
    noRestore = false;
    skipUnique = false;
    nBrow = 1;
    lBrow = false;
    isItemMarkedCodeBlock = false;
    isTrapErrors = browseTrapErrors();
    evenRow = false;
    isLeftMouseButton = false;
    configMessageBlock = browseConfigMessageBlock();
    isCellEditing = false;
    if (const rt::Value colors = browse::browseColor({}); colors.isArray())
        browseColor = rt::aClone(colors);
    cursorModeVar = elementSlot(slot::CursorMode).isNum() ? elementSlot(slot::CursorMode) : rt::Value(2);

    // The data-source kind.
    if (const int kind = kindOf(value))
        setElementSlot(slot::SourceKind, kind);
    dataSource = value;
    dataSourceType = elementSlot(slot::SourceKind);

    // The element's colour block and the option defaults.
    rt::Value colorBlock;
    if (const rt::Value c = elementSlot(slot::Colors); c.isBlock())
        colorBlock = c;
    else if (rt::entryOf(c, 1).isBlock())
        colorBlock = rt::entryOf(c, 1);
    const rt::Value colorPair = rt::makeArray({rt::Value(), 15});
    applyOptionDefaults(o);

    // Tagging, style, cell editing and the sort look.
    tagEnable = option(opt::TagEnable);
    tagElement = option(opt::TagElement);
    tagColorFG = option(opt::TagColorFG);
    tagColorBG = option(opt::TagColorBG);
    tagMode = option(opt::TagMode);
    lastTagRec = 0;
    lastTagPos = 0;
    useVisualStyle = option(opt::UseVisualStyle);
    cellEditMode = false;
    CellEditSetup();
    resizeColumns = option(opt::ResizeColumns);
    initSortLook(*this, o);

    // Zebra colours, then the variables read from blocks and options.
    if (rt::Value even, odd; colorBlock.isNil() && zebraColors(browsePres, even, odd))
        colorBlock = selfBlock([even, odd](B& b, rt::Args) { return b.ZebraColor(even, odd); });
    sortColumn = 0;
    descending = option(opt::Descending);
    descendToggle = !option(opt::NoDescendToggle).asBool();
    oHasFocus = rt::Value();
    dataLink = value;
    outputBlock = dlg::getBlock(elementSlot(slot::OutputBlock));
    inputBlock = dlg::getBlock(elementSlot(slot::InputBlock));
    whenBlock = dlg::getBlock(elementSlot(slot::When));
    hideBlock = dlg::getBlock(elementSlot(slot::Hide));
    protectBlock = dlg::getBlock(elementSlot(slot::Protect));
    mark = option(opt::Mark);
    markColorBlock = option(opt::MarkColorBlock);
    rowColorBlock = makeRowColorBlock(self(), options, colorPair, value, colorBlock);
    thumbRecords = option(opt::ThumbRecords);
    if (value.isChar() && !thumbRecords.isNum() && !thumbRecords.isBlock())
        thumbRecords = 32000;
    headerLines = option(opt::HeaderLines);
    headerDelim = option(opt::HeaderDelim);
    footerLines = option(opt::FooterLines);
    footerDelim = option(opt::FooterDelim);
    headerPres = option(opt::HeaderPres);
    footerPres = option(opt::FooterPres);
    fit = option(opt::Fit);
    fitMax = option(opt::FitMax);
    optimize = option(opt::Optimize);
    isScope = option(opt::IsScope);
    const rt::Value editSettings = elementSlot(slot::CellEdit);
    font = rt::entryOf(editSettings, 4);
    pointerBlock = dlg::getBlock(elementSlot(slot::PointerBlock));
    autoLock = rt::entryOf(editSettings, 6).isLogical() && !rt::entryOf(editSettings, 6).asBool() && value.isChar();
    freezeLeft = option(opt::FreezeLeft);
    freezeRight = option(opt::FreezeRight);
    refreshInterval = option(opt::RefreshInterval);
    refreshWhenBlock = option(opt::RefreshWhenBlock);
    refreshBlock = option(opt::RefreshBlock);
    rightButtonSelect = option(opt::RightButtonSelect);
    rightButtonDown = option(opt::RightButtonDown);
    filter = option(opt::Filter);
    if (!rt::isEmpty(option(opt::NoRestore)))
        noRestore = option(opt::NoRestore);
    ownerDrawBlock = option(opt::OwnerDrawBlock);
    recordObject = option(opt::RecordObject);
    columns = rt::Value::array();
    arrayElement = 1;
    hasHeader = false;
    hasFooter = false;

    // The record object follows every move.
    if (recordObject.isObject()) {
        const rt::Value record = recordObject;
        navigateBlock = rt::makeBlock([record](rt::Args) { return rt::sendWith(record, "scatter"); });
        rt::eval(navigateBlock);
    } else {
        navigateBlock = rt::makeBlock([](rt::Args) {});
    }
    if (ownerDrawBlock.isBlock())
        drawMode = 1;

    // Cargo and scrolling.
    cargo = rt::makeArray({getListPointer, list, elementSlot(slot::Cargo), arrayElement, dataSource});
    vScroll = !option(opt::NoVScroll).asBool();
    hScroll = !option(opt::NoHScroll).asBool();
    softTrack = !option(opt::NoSoftTrack).asBool();
    sizeCols = !option(opt::NoSizeCols).asBool();

    // Selection and marking callbacks.
    cbItemSelected = selfBlock([](B& b, rt::Args) { return runSelection(b); });
    if (option(opt::ItemSelected).isBlock())
        cbItemSelected = dlg::mergeBlocks(cbItemSelected, option(opt::ItemSelected));
    else if (const rt::Value input = dlg::getBlock(elementSlot(slot::InputBlock)); input.isBlock())
        cbItemSelected = dlg::mergeBlocks(cbItemSelected, input);
    if (pointerBlock.isBlock())
        cbItemMarked = selfBlock([](B& b, rt::Args) { return rt::evalWith(b.pointerBlock, b.arrayElement); });
    if (option(opt::ItemMarked).isBlock()) {
        cbItemMarked = dlg::mergeBlocks(cbItemMarked, option(opt::ItemMarked));
        isItemMarkedCodeBlock = true;
    }
    if (rt::isTrue(getWhenOnBrowseItemMarked()))
        isItemMarkedCodeBlock = true;

    // Navigation; the cargo follows the start element.
    installNavigation(*this);
    if (cargo.isArray() && cargo.asArray().size() >= 4)
        cargo.asArray().items[3] = arrayElement;

    // Focus highlighting of the read.
    if (const rt::Value hilite = rt::entryOf(memberOr(getList, "getOptions"), dlg::readOption::HiliteGets); !rt::isEmpty(hilite)) {
        cbKillInputFocus = selfBlock([hilite](B& b, rt::Args) { return rt::callWith("RK_HiliteGets", b.self(), 2, hilite); });
        cbSetInputFocus = selfBlock([hilite](B& b, rt::Args) { return rt::callWith("RK_HiliteGets", b.self(), 1, hilite); });
    }

    // The anchors, then the saved layout before the columns exist. Slot 28
    // may name a program-wide variable that is to receive the browse.
    if (const rt::Value anchor = dlg::getBlock(elementSlot(slot::Anchor), "O"); anchor.isBlock())
        rt::evalWith(anchor, self());
    if (const rt::Value early = dlg::getBlock(elementSlot(slot::EarlyBlock)); early.isBlock())
        rt::evalWith(early, self());
    const rt::Value id = elementSlot(slot::Id);
    const bool autoRestore = !rt::isEmpty(autoRestoreBrowse()) && !rt::isEmpty(id) && !rt::isTrue(noRestore);
    if (autoRestore || !rt::isEmpty(restoreConfig))
        prepareAutoRestore(id);

    // Scroll-bar tips and tagging keys.
    scrollBarTipBlock = elementSlot(slot::ScrollBarTipBlock);
    if (scrollBarTipBlock.isBlock() && rt::hasMember(getList, "isDataToolTips"))
        rt::setMember(getList, "isDataToolTips", true);
    if (rt::isTrue(tagEnable))
        cbKeyboard = dlg::mergeBlocks(cbKeyboard, selfBlock([](B& b, rt::Args k) {
                                          const rt::Value args[] = {rt::Value(), rt::Value(), rt::argAt(k, 0)};
                                          return rt::send(b.self(), "Tag", rt::Args(args, 3));
                                      }));
    initialised_ = true;
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
