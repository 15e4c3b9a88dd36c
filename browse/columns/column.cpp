// RK_XbpColumn: the member table and the constructor.
//
// Init reads the column's element record and the browse's settings in a
// fixed order (later steps see what earlier ones wrote), so ColumnBuilder
// keeps that order as one flat sequence of named steps.
#include "browse/columns/column.h"

#include "browse/columns/column_parts.h"
#include "browse/columns/column_sort.h"
#include "browse/columns/members.h"
#include "browse/columns/multiline.h"
#include "browse/columns/presentation.h"
#include "browse/columns/row_colors.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"
#include "platform/grid/browse.h"
#include "platform/grid/cellgroup.h"
#include "platform/gui/color.h"
#include "platform/gui/font.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <algorithm>

namespace browse {

namespace {

using C = RK_XbpColumn;
namespace slot = dlg::slot;
namespace opt = dlg::columnOption;

struct Ivar {
    const char* name;
    rt::Value C::*slot;
};

// The instance variables in definition order; 13 `parent` and 14 `picture`
// are registered by the platform and by makeClass below.
constexpr Ivar kIvars[] = {
    {"nOffset", &C::nOffset},
    {"LastRow", &C::LastRow},
    {"validBlock", &C::validBlock},
    {"sortBlock", &C::sortBlock},
    {"cellEditGetList", &C::cellEditGetList},
    {"cellEditExitKey", &C::cellEditExitKey},
    {"getsetBlock", &C::getsetBlock},
    {"headerBlock", &C::headerBlock},
    {"headerCaption", &C::headerCaption},
    {"headerFont", &C::headerFont},
    {"headerHeight", &C::headerHeight},
    {"dataSource", &C::dataSource},
    {"cellEditID", &C::cellEditID},
    {"footerBlock", &C::footerBlock},
    {"footerCaption", &C::footerCaption},
    {"footerFont", &C::footerFont},
    {"footerHeight", &C::footerHeight},
    {"pointer", &C::pointer},
    {"presArray", &C::presArray},
    {"columnPos", &C::columnPos},
    {"arrayPointer", &C::arrayPointer},
    {"headerColorBlock", &C::headerColorBlock},
    {"footerColorBlock", &C::footerColorBlock},
    {"sortDefault", &C::sortDefault},
    {"cellEditor", &C::cellEditor},
    {"noResize", &C::noResize},
    {"dataLinkMultiLine", &C::dataLinkMultiLine},
    {"columnSize", &C::columnSize},
    {"noAutoResizeColumn", &C::noAutoResizeColumn},
    {"validateAlways", &C::validateAlways},
    {"origFonts", &C::origFonts},
    {"visualStyleArray", &C::visualStyleArray},
    {"drawModeArray", &C::drawModeArray},
};
static_assert(std::size(kIvars) == 33);

rt::ClassInfo makeClass()
{
    rt::ClassInfo c("RK_XbpColumn", {&gui::XbpColumn::staticClass(), &dlg::ElementParts::staticClass()});
    for (const Ivar& v : kIvars)
        c.field<C>(v.name, v.slot);
    c.addVar(
        "picture", [](rt::Object& o) { return static_cast<C&>(o).pictureSource(); },
        [](rt::Object& o, const rt::Value& v) { static_cast<C&>(o).setPictureSource(v); });

    c.method<C>("Init", [](C& o, rt::Args a) { return o.init(a); });
    c.method<C>("setHeaderCaption", [](C& o, rt::Args a) { return o.setHeaderCaption(rt::argAt(a, 0)); });
    c.method<C>("setFooterCaption", [](C& o, rt::Args a) { return o.setFooterCaption(rt::argAt(a, 0)); });
    c.method<C>("setHeaderColor", [](C& o, rt::Args a) { return o.setHeaderColor(rt::argAt(a, 0)); });
    c.method<C>("setFooterColor", [](C& o, rt::Args a) { return o.setFooterColor(rt::argAt(a, 0)); });
    c.method<C>("Refresh", [](C& o, rt::Args) { return o.Refresh(); });
    // Filled in by the column layout, visibility and sorting work.
    c.method<C>("Sort", [](C& o, rt::Args a) { return o.Sort(rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2)); });
    c.method<C>("WhenHideEval", [](C& o, rt::Args a) {
        rt::Value protect = rt::argAt(a, 2);
        return o.WhenHideEval(&protect);
    });
    c.method<C>("resizeColumn", [](C& o, rt::Args a) { return o.resizeColumn(rt::argAt(a, 0), rt::argAt(a, 1)); });
    c.method<C>("MoveColumn", [](C& o, rt::Args a) { return o.MoveColumn(rt::argAt(a, 0)); });
    c.method<C>("Destroy", [](C& o, rt::Args) { return o.destroy(); });
    // The grid calls the C++ hooks; these names serve callers by name.
    c.method<C>("DrawRow", [](C& o, rt::Args a) {
        o.drawRow(int(rt::argAt(a, 0).isNum() ? a[0].asInt() : 0), rt::isTrue(rt::argAt(a, 1)));
        return o.self();
    });
    c.method<C>("ScrollUp", [](C& o, rt::Args a) {
        o.scrolled(int(rt::argAt(a, 0).isNum() ? a[0].asInt() : 0), false);
        return o.self();
    });
    c.method<C>("ScrollDown", [](C& o, rt::Args a) {
        o.scrolled(int(rt::argAt(a, 0).isNum() ? a[0].asInt() : 0), true);
        return o.self();
    });
    return c;
}

rt::Value slotOf(const rt::Value& rec, int n)
{
    if (!rec.isArray() || n < 1 || std::size_t(n) > rec.asArray().size())
        return {};
    return rec.asArray().items[std::size_t(n) - 1];
}

void setSlot(const rt::Value& rec, int n, const rt::Value& v)
{
    auto& items = rec.asArray().items;
    if (items.size() < std::size_t(n))
        items.resize(std::size_t(n));
    items[std::size_t(n) - 1] = v;
}

// The value when its kind is the default's, else the default.
rt::Value normalised(const rt::Value& v, const rt::Value& def) { return v.kind() == def.kind() ? v : def; }


rt::Value resized(rt::Value lines, long long n)
{
    lines.asArray().items.resize(std::size_t(std::clamp(n, 0LL, 1LL << 16)));
    return lines;
}

const MemberRef kHeaderDelim("headerDelim");
const MemberRef kFooterDelim("footerDelim");
const MemberRef kHeaderLines("headerLines");
const MemberRef kFooterLines("footerLines");
const MemberRef kHasHeader("hasHeader");
const MemberRef kHasFooter("hasFooter");
const MemberRef kBrowsePres("browsePres");
const MemberRef kHeaderPres("headerPres");
const MemberRef kFooterPres("footerPres");
const MemberRef kRecordObject("recordObject");
const MemberRef kRowColorBlock("rowColorBlock");
const MemberRef kDataSource("dataSource");
const MemberRef kOptimize("optimize");
const MemberRef kKeyboard("keyboard");
const MemberRef kTagEnable("tagEnable");
const MemberRef kIsLeftMouseButton("isLeftMouseButton");
const MemberRef kRightButtonDown("rightButtonDown");
const MemberRef kUseVisualStyle("useVisualStyle");
const MemberRef kTag("Tag");

// The data block of slot 4 or 31: a block, or an array of line blocks for
// a multi-line column ({block, source text} is one block with its text).
rt::Value dataBlockOf(const rt::Value& code)
{
    if (code.isArray()) {
        const auto& items = code.asArray().items;
        const bool blockWithText = items.size() == 2 && items[0].isBlock() && items[1].isChar();
        if (!items.empty() && !blockWithText) {
            std::vector<rt::Value> lines;
            for (const rt::Value& item : items)
                lines.push_back(dlg::getBlock(item));
            return rt::makeArray(std::move(lines));
        }
    }
    return dlg::getBlock(code);
}

int colCountOf(const rt::Value& browse)
{
    if (const gui::XbpBrowse* b = gui::asBrowse(browse))
        return b->colCount();
    const rt::Value n = rt::sendWith(browse, "colCount");
    return n.isNum() ? int(n.asInt()) : 0;
}

// Later features reached from the constructor; each does nothing until its
// work lands, so their wiring is already in place.
void optimizeColumn(const rt::Value& browse, const rt::Value& column)
{
    if (browse.isObject() && column.isObject() && rt::hasMember(browse, "_Optimize"))
        rt::sendWith(browse, "_Optimize", rt::Value(), rt::Value(), rt::getMember(column, "heading"));
}

// The mouse callbacks of the data area outlive a browse that is gone as no-ops.
void setLeftButton(const rt::Value& browse, bool down)
{
    if (!browse.isNil())
        kIsLeftMouseButton.set(browse, down);
}

void callTag(const rt::Value& browse, rt::Args args)
{
    if (kTag.existsOn(browse))
        kTag.call(browse, args);
}

}  // namespace

// The constructor's state while it runs: the record, its options and the
// presentation list being built, the caption lines and the data block.
class ColumnBuilder {
public:
    ColumnBuilder(C& col, rt::Args a) : c_(col), self_(col.self()), browse_(rt::argAt(a, 0)), getList_(rt::argAt(a, 1))
    {
    }

    void run()
    {
        bindElement();
        normaliseSlots();
        readOptions();
        findCellEditor();
        readDataBlock();
        headerLines();
        footerLines();
        captionPairs();
        widthPairs();
        c_.parent = browse_;
        alignmentPairs();
        fontPair();
        initPlatform();
        makeCaptionGroups();
        readBlocks();
        colourBlock();
        earlyBlock();
        dataLink();
        addToBrowse();
        multiLineArea();
        hideAtOnce();
        wireCallbacks();
        showCaptions();
        sortLook();
        captionColours();
        lateBlocks();
        sortByHeader();
        defaultSort();
        dataToolTips();
        recordOriginals();
    }

private:
    [[nodiscard]] rt::Value slot(int n) const { return slotOf(rec_, n); }
    [[nodiscard]] rt::Value option(int n) const { return slotOf(options_, n); }
    void addPair(long long id, const rt::Value& v) { dlg::presAdd(pres_, id, v); }

    void bindElement()
    {
        c_.visualStyleArray = rt::Value::array(3);
        c_.drawModeArray = rt::Value::array(3);
        c_.nOffset = 0;
        c_.initParts(getList_);
        rec_ = c_.element();
        if (!rec_.isArray())
            dlg::recordExpected("RK_XbpColumn:Init", {getList_, c_.getListPointer});
    }

    void normaliseSlots()
    {
        setSlot(rec_, slot::ColumnType, normalised(slot(slot::ColumnType), 4));
        setSlot(rec_, slot::Width, normalised(slot(slot::Width), -1));
    }

    void readOptions()
    {
        options_ = slot(slot::Options);
        if (!options_.isArray()) {
            options_ = rt::Value::array();
            setSlot(rec_, slot::Options, options_);
        }
        pres_ = gui::presCopy(kBrowsePres.get(browse_));
        if (options_.asArray().size() < dlg::kColumnOptions)
            options_.asArray().items.resize(dlg::kColumnOptions);
        if (const rt::Value own = presOf(slot(slot::Presentation)); own.isArray())
            mergePresentation(pres_, own);
        setSlot(options_, opt::CellEditExitKey, normalised(option(opt::CellEditExitKey), 13));
        for (int n : {opt::SortOnLeftClick, opt::Reserved7, opt::NoResize, opt::NoAutoResizeColumn, opt::ValidateAlways,
                      opt::OwnerDraw})
            setSlot(options_, n, normalised(option(n), false));
        c_.noResize = option(opt::NoResize);
        c_.noAutoResizeColumn = option(opt::NoAutoResizeColumn);
        c_.validateAlways = option(opt::ValidateAlways);
        c_.cellEditID = option(opt::CellEditID);
    }

    void findCellEditor()
    {
        const rt::Value& id = c_.cellEditID;
        if (!id.isChar() || rt::isEmpty(id))
            return;
        const rt::Value list = c_.elementsArray();
        if (!list.isArray())
            return;
        for (const rt::Value& e : list.asArray().items) {
            const rt::Value other = slotOf(e, slot::Id);
            if (other.isChar() && other.asString() == id.asString()) {
                c_.cellEditGetList = rt::makeArray({e});
                return;
            }
        }
    }

    void readDataBlock()
    {
        c_.arrayPointer = slot(slot::ArrayPointer);
        if (slot(slot::ArrayPointer).isNum()) {
            data_ = dlg::getColBlock(int(std::clamp<std::int64_t>(slot(slot::ArrayPointer).asInt(), INT32_MIN, INT32_MAX)), browse_);
            setSlot(rec_, slot::DataBlock, data_);
            elementBlock_ = true;
        } else {
            data_ = dataBlockOf(slot(slot::DataBlock));
            if (!data_.isBlock() && !data_.isArray())
                data_ = dataBlockOf(slot(slot::DataSource));
        }
        multiLine_ = data_.isArray();
    }

    [[nodiscard]] rt::Value placeholderLines(const MemberRef& has) const
    {
        return rt::makeArray({memberTrue(has, browse_) ? rt::Value(kCaptionPlaceholder) : rt::Value()});
    }

    void headerLines()
    {
        rt::Value source = slot(slot::Caption);
        if (source.isBlock()) {
            c_.headerBlock = source;
            source = rt::Value(kCaptionPlaceholder);
        }
        // An empty text is no caption: the placeholder keeps the header band aligned.
        if (source.isChar() && source.charLen() > 0) {
            header_ = rt::callWith("RK_TokenArray", source, delimiter(kHeaderDelim));
            c_.headerCaption = source;
        } else if (source.isArray() && !source.asArray().items.empty() && source.asArray().items[0].isChar()) {
            header_ = rt::aClone(source);
        } else if (source.isArray()) {
            header_ = rt::makeArray({rt::Value(kCaptionPlaceholder)});
        } else {
            header_ = placeholderLines(kHasHeader);
        }
        header_ = resized(header_, memberInt(kHeaderLines, browse_, 1));
        if (!header_.asArray().items.empty())
            mergePresentation(pres_, rt::makeArray({rt::makeArray({122, -1})}));
    }

    void footerLines()
    {
        rt::Value source = option(opt::Footer);
        if (source.isBlock())
            source = rt::evalWith(source, self_);
        if (source.isChar()) {
            footer_ = rt::callWith("RK_TokenArray", source, delimiter(kFooterDelim));
            c_.footerCaption = source;
            if (footer_.asArray().items.empty())
                footer_ = rt::makeArray({source});
        } else if (source.isArray()) {
            footer_ = rt::aClone(source);
        } else {
            footer_ = placeholderLines(kHasFooter);
        }
        footer_ = resized(footer_, memberInt(kFooterLines, browse_, 1));
        if (!footer_.asArray().items.empty())
            mergePresentation(pres_, rt::makeArray({rt::makeArray({129, -1})}));
    }

    void captionPairs()
    {
        if (const rt::Value first = slotOf(header_, 1); !first.isNil()) {
            addPair(123, first);
            kHasHeader.set(browse_, true);
        }
        if (const rt::Value first = slotOf(footer_, 1); !first.isNil()) {
            addPair(130, first);
            kHasFooter.set(browse_, true);
        }
    }

    void widthPairs()
    {
        if (rt::isTrue(slot(slot::PixelWidth))) {
            const rt::Value scale = slotOf(rt::getMember(getList_, "scaleFactor"), 3);
            const double width = slot(slot::Width).asDouble() * (scale.isNum() ? scale.asDouble() : 1.0);
            const rt::Value w =
                width == double(std::int64_t(width)) ? rt::Value(std::int64_t(width)) : rt::Value(width);
            addPair(106, w);
            addPair(116, w);
        } else {
            addPair(116, slot(slot::Width));
        }
    }

    void alignmentPairs()
    {
        const rt::Value align = slot(slot::Align);
        auto addMissing = [this](long long id, const rt::Value& v) {
            if (!hasPresentation(pres_, id))
                addPair(id, v);
        };
        if (align.isNum()) {
            for (long long id : {110, 121, 128})
                addMissing(id, align);
        } else if (data_.isBlock() && rt::evalWith(data_, dataRecord()).isNum()) {
            addMissing(110, 6);
            addMissing(121, 2);
            addMissing(128, 2);
        }
    }

    void fontPair()
    {
        rt::Value font = slot(slot::Font);
        if (font.isBlock())
            font = rt::evalWith(font, self_);
        if (!rt::isEmpty(font))
            addPair(15, font);
    }

    void initPlatform()
    {
        const rt::Value args[] = {{}, {}, {}, {}, pres_, true};
        c_.gui::XbpColumn::init(rt::Args(args, 6));
        if (rt::isTrue(option(opt::OwnerDraw)))
            c_.drawMode = 1;
        if (!rt::isEmpty(slot(slot::ColumnType)))
            c_.type = slot(slot::ColumnType);
        c_.picture_ = slot(slot::Picture);
        c_.gui::XbpColumn::picture = slot(slot::Picture);
    }

    rt::Value captionGroup(const MemberRef& browsePres, int ownPresSlot, const rt::Value& lines,
                           const MemberRef& browseLines)
    {
        auto* g = new RK_MultiLineCellGroup();
        rt::Value gv = g->self();
        g->width = slot(slot::Width);
        g->presentation = rt::makeArray({browsePres.get(browse_), slot(ownPresSlot)});
        const long long rows = std::max<long long>(lines.asArray().size(), memberInt(browseLines, browse_, 1));
        g->rows = rows;
        g->maxRow = rows;
        // The caption rows exist before the group is created, so captions set early are kept.
        g->setRowCount(int(std::clamp(rows, 1LL, 64LL)));
        g->noResize = c_.noResize;
        g->referenceString = "W";
        return gv;
    }

    void makeCaptionGroups()
    {
        c_.heading = captionGroup(kHeaderPres, 38, header_, kHeaderLines);
        c_.footing = captionGroup(kFooterPres, 39, footer_, kFooterLines);
        gui::asCellGroup(c_.heading)->setArea(gui::XbpCellGroup::Heading);
        gui::asCellGroup(c_.footing)->setArea(gui::XbpCellGroup::Footing);
    }

    // The platform column and the element mix-in both hold the hide, when
    // and protect blocks; by name the platform's are found first.
    void setBlock(rt::Value gui::XbpColumn::*platform, rt::Value dlg::ElementParts::*parts, const rt::Value& b)
    {
        c_.*platform = b;
        c_.*parts = b;
    }

    void readBlocks()
    {
        c_.sortBlock = dlg::getBlock(option(opt::SortBlock));
        rt::Value sortDefault = option(opt::SortDefault);
        if (sortDefault.isBlock())
            sortDefault = rt::evalWith(sortDefault, self_);
        // A missing option stays NIL: the column is then sorted by default (defaultSort).
        c_.sortDefault = sortDefault.isNil() ? rt::Value() : normalised(sortDefault, false);
        setBlock(&gui::XbpColumn::hideBlock, &dlg::ElementParts::hideBlock, dlg::getBlock(slot(slot::Hide)));
        c_.validBlock = dlg::getBlock(slot(slot::Valid));
        setBlock(&gui::XbpColumn::whenBlock, &dlg::ElementParts::whenBlock, dlg::getBlock(slot(slot::When)));
        c_.cargo = rt::makeArray({c_.getListPointer, slot(slot::Cargo)});
        c_.cellEditExitKey = option(opt::CellEditExitKey);
        const rt::Value data = multiLine_ ? slotOf(data_, 1) : data_;
        c_.getsetBlock = rt::makeBlock([data, self = weakSelf()](rt::Args a) {
            return data.isBlock() ? rt::evalWith(data, rt::argAt(a, 0), self.lock()) : rt::Value();
        });
        if (slot(slot::Caption).isBlock())
            c_.headerBlock = slot(slot::Caption);
        c_.dataSource = kDataSource.get(browse_);
        setBlock(&gui::XbpColumn::protectBlock, &dlg::ElementParts::protectBlock, dlg::getBlock(slot(slot::Protect)));
        c_.footerBlock = option(opt::Footer);
        c_.pointer = c_.getListPointer;
        c_.presArray = pres_;
        const rt::Value placed = slot(slot::Placement);
        c_.columnPos = placed.isArray() ? slotOf(placed, 2) : rt::Value(colCountOf(browse_) + 1);
    }

    // The column's own colours win when they are an array; otherwise the
    // browse's row colours apply.
    void colourBlock()
    {
        const rt::Value own = colorBlockOf(slot(slot::Colors));
        const rt::Value rows = kRowColorBlock.get(browse_);
        const gui::WeakPart browse = weakBrowse();
        if (own.isBlock() && rows.isBlock()) {
            c_.colorBlock = rt::makeBlock([own, rows, browse](rt::Args a) {
                rt::Value r = rt::eval(own, a.subspan(0, std::min<std::size_t>(a.size(), 8)));
                return r.isArray() ? r : rt::evalWith(rows, browse.lock());
            });
        } else if (own.isBlock()) {
            c_.colorBlock = own;
        } else if (isRowColorBlock(rows)) {
            c_.colorBlock = rows;  // needs no browse argument: one evaluation less per cell
        } else if (rows.isBlock()) {
            c_.colorBlock = rt::makeBlock([rows, browse](rt::Args) { return rt::evalWith(rows, browse.lock()); });
        }
    }

    void earlyBlock()
    {
        if (const rt::Value early = dlg::getBlock(slot(slot::EarlyBlock)); early.isBlock())
            rt::evalWith(early, self_);
    }

    void addToBrowse()
    {
        c_.presArray = pres_;
        rt::sendWith(browse_, "addColumn", self_);
    }

    void hideAtOnce()
    {
        const rt::Value& hide = c_.gui::XbpColumn::hideBlock;
        if (hide.isBlock() && rt::isTrue(rt::evalWith(hide, self_)))
            rt::sendWith(self_, "hide");
    }

    // The record object the data block reads from. A row element's get/set
    // block takes an argument as a value to store, so it is never given one.
    [[nodiscard]] rt::Value dataRecord() const { return elementBlock_ ? rt::Value() : kRecordObject.get(browse_); }

    void dataLink()
    {
        const rt::Value record = dataRecord();
        const gui::WeakPart self = weakSelf();
        const rt::Value data = data_;
        if (!rt::isEmpty(c_.picture_) && data.isBlock()) {
            c_.gui::XbpColumn::dataLink = colPicture(data, c_.picture_, record, self_);
            c_.formatsItself_ = true;
            c_.gui::XbpColumn::picture = rt::Value();
        } else if (elementBlock_) {
            c_.gui::XbpColumn::dataLink = data;  // the grid reads it without argument
        } else if (data.isBlock() && !kDataSource.get(browse_).isObject()) {
            if (record.isObject())
                c_.gui::XbpColumn::dataLink =
                    rt::makeBlock([data, record, self](rt::Args) { return rt::evalWith(data, record, self.lock()); });
            else
                c_.gui::XbpColumn::dataLink =
                    rt::makeBlock([data, self](rt::Args a) { return rt::evalWith(data, rt::argAt(a, 0), self.lock()); });
        } else if (data.isBlock()) {
            c_.gui::XbpColumn::dataLink = data;
        }
        if (multiLine_) {
            auto* area = new RK_XbpCellGroupMultiLine();
            area->setArea(gui::XbpCellGroup::DataArea);
            c_.dataArea = area->self();
            c_.dataLinkMultiLine = data_;
            c_.gui::XbpColumn::dataLink = slotOf(data_, 1);
        }
    }

    // The multi-line data area paints the lines itself: the platform gets
    // an empty array to show, and the highlight and background the lines
    // are drawn over.
    void multiLineArea()
    {
        auto* area = dynamic_cast<RK_XbpCellGroupMultiLine*>(&c_.dataArea.asObject());
        if (!multiLine_ || !area)
            return;
        rt::Value hilite = gui::clr::SysHighlightText;
        if (const gui::XbpPart* b = gui::asBrowse(browse_)) {
            const rt::Value* v = gui::presFind(b->presParams, gui::pp::DaHiliteBgClr);
            if (!v)
                v = gui::presFind(b->presParams, gui::pp::HiliteBgClr);
            if (v)
                hilite = *v;
        }
        pres_.asArray().items.push_back(rt::makeArray({gui::pp::DaHiliteFgClr, hilite}));
        pres_.asArray().items.push_back(rt::makeArray({gui::pp::DaFgClr, area->colorBG()}));
        const rt::Value args[] = {{}, {}, {}, {}, pres_, true};
        c_.gui::XbpColumn::configure(rt::Args(args, 6));
        c_.gui::XbpColumn::dataLink = rt::makeBlock([](rt::Args) { return rt::Value::array(); });
        area->dataLinkMultiLine = data_;
        area->column = self_;
        area->browse = browse_;
    }

    void wireCallbacks()
    {
        const gui::WeakPart browse = weakBrowse();
        if (rt::isTrue(kOptimize.get(browse_)))
            rt::setMember(c_.heading, "lbDblClick", rt::makeBlock([browse, self = weakSelf()](rt::Args) {
                              optimizeColumn(browse.lock(), self.lock());
                          }));
        const rt::Value area = c_.dataArea;
        rt::setMember(area, "keyboard", kKeyboard.get(browse_));
        if (!rt::isTrue(kTagEnable.get(browse_)))
            return;
        rt::setMember(area, "lbClick",
                      dlg::mergeBlocks(rt::getMember(area, "lbClick"),
                                       rt::makeBlock([browse](rt::Args) { callTag(browse.lock(), {}); })));
        rt::setMember(area, "motion", rt::makeBlock([browse](rt::Args a) {
                          const rt::Value args[] = {rt::argAt(a, 2), rt::argAt(a, 0), 0};
                          callTag(browse.lock(), args);
                      }));
        rt::setMember(area, "lbDown", dlg::mergeBlocks(rt::getMember(area, "lbDown"), rt::makeBlock([browse](rt::Args) {
                                                           setLeftButton(browse.lock(), true);
                                                       })));
        rt::setMember(area, "lbUp",
                      rt::makeBlock([browse](rt::Args) { setLeftButton(browse.lock(), false); }));
    }

    void showCaptions()
    {
        rt::setMember(c_.heading, "cargo", slot(slot::Caption));
        c_.setHeaderCaption(slot(slot::Caption));
        rt::setMember(c_.footing, "cargo", option(opt::Footer));
        c_.setFooterCaption(option(opt::Footer));
    }

    // Headers start in the look of a sortable or a non-selectable column;
    // a setting of the wrong kind leaves the header as it is.
    void sortLook()
    {
        const bool sortable = c_.sortBlock.isBlock();
        auto pick = [&](const char* unselected, const char* nonselectable, bool wantText) {
            const rt::Value u = rt::getMember(browse_, unselected);
            if (sortable && (wantText ? u.isChar() : u.isNum()))
                return u;
            const rt::Value n = rt::getMember(browse_, nonselectable);
            return (wantText ? n.isChar() : n.isNum()) ? n : rt::Value();
        };
        if (const rt::Value bg = pick("sortColorUnSelectedBG", "sortColorNonselectableBG", false); bg.isNum())
            rt::sendWith(c_.heading, "setColorBG", bg);
        if (const rt::Value font = pick("sortFontUnSelected", "sortFontNonSelectable", true); font.isChar())
            rt::sendWith(c_.heading, "setFontCompoundName", font);
        if (const rt::Value fg = pick("sortColorUnSelectedFG", "sortColorNonselectableFG", false); fg.isNum())
            rt::sendWith(c_.heading, "setColorFG", fg);
    }

    void captionColours()
    {
        const CaptionLook head = readCaptionLook(rec_, 37, c_.heading);
        c_.headerFont = head.font;
        c_.headerHeight = head.height;
        const CaptionLook foot = readCaptionLook(rec_, 43, c_.footing);
        if (foot.font.isChar())
            c_.footerFont = foot.font;
        if (foot.height.isNum())
            c_.footerHeight = foot.height;
        if (head.block.isBlock()) {
            c_.headerColorBlock = head.block;
            c_.setHeaderColor({});
        }
        if (foot.block.isBlock()) {
            c_.footerColorBlock = foot.block;
            c_.setFooterColor({});
        }
        applyFontAndHeight(c_.heading, c_.headerFont, c_.headerHeight);
        applyFontAndHeight(c_.footing, c_.footerFont, c_.footerHeight);
    }

    void lateBlocks()
    {
        if (const rt::Value late = dlg::getBlock(slot(slot::Anchor)); late.isBlock())
            rt::evalWith(late, self_);
        const rt::Value area = c_.dataArea;
        if (slot(slot::DataSetFocus).isBlock())
            rt::setMember(area, "setInputFocus", slot(slot::DataSetFocus));
        if (slot(slot::DataKillFocus).isBlock()) {
            rt::setMember(self_, "killInputFocus", slot(slot::DataKillFocus));
            rt::setMember(area, "killInputFocus", slot(slot::DataKillFocus));
        }
        if (const rt::Value rb = kRightButtonDown.get(browse_); rb.isBlock())
            rt::setMember(area, "rbDown", dlg::mergeBlocks(rt::getMember(area, "rbDown"), rb));
    }

    void sortByHeader()
    {
        if (!c_.sortBlock.isBlock())
            return;
        const rt::Value down = headerDown(browse_, self_);
        rt::setMember(c_.heading, "rbDown", down);
        if (rt::isTrue(option(opt::SortOnLeftClick)))
            rt::setMember(c_.heading, "lbDown", down);
    }

    void defaultSort()
    {
        c_.sortDefault = normalised(c_.sortDefault, true);
        if (rt::isTrue(c_.sortDefault))
            rt::sendWith(self_, "Sort", rt::Value(), colCountOf(browse_));
    }

    void dataToolTips()
    {
        rt::Value tips = slot(slot::DataToolTips);
        const rt::Value shown = rt::getMember(getList_, "isDataToolTips");
        rt::setMember(getList_, "isDataToolTips", rt::isTrue(shown) || tips.isArray());
        if (!tips.isArray()) {
            tips = rt::makeArray({rt::makeBlock([](rt::Args) { return false; }), "", 0, 0, 0});
            setSlot(rec_, slot::DataToolTips, tips);
        }
        tips.asArray().items.resize(8);
        tips.asArray().items[6] = browse_;
        tips.asArray().items[7] = kDataSource.get(browse_);
        rt::setMember(c_.dataArea, "cargo", tips);
        c_.tips_ = tips;
    }

    void recordOriginals()
    {
        c_.setOrig(c_);
        const bool styled = kUseVisualStyle.existsOn(browse_);
        if (styled) {
            const rt::Value style = kUseVisualStyle.get(browse_);
            rt::setMember(c_.heading, "useVisualStyle", style);
            rt::setMember(c_.footing, "useVisualStyle", style);
        }
        const rt::Value groups[] = {c_.dataArea, c_.heading, c_.footing};
        std::vector<rt::Value> fonts;
        for (const rt::Value& g : groups) {
            const gui::XbpCellGroup* cg = gui::asCellGroup(g);
            fonts.emplace_back(cg ? gui::compoundNameOf(cg->cellFont()) : std::string());
        }
        c_.origFonts = rt::makeArray(std::move(fonts));
        const rt::Value ordered[] = {c_.heading, c_.dataArea, c_.footing};
        for (std::size_t i = 0; i < 3; ++i) {
            if (styled)
                c_.visualStyleArray.asArray().items[i] = rt::getMember(ordered[i], "useVisualStyle");
            c_.drawModeArray.asArray().items[i] = rt::getMember(ordered[i], "drawMode");
        }
    }

    // Blocks the column keeps reach it and its browse weakly: the column
    // belongs to the browse, and a strong reference would keep both alive.
    [[nodiscard]] gui::WeakPart weakSelf() const { return gui::WeakPart(c_); }
    [[nodiscard]] gui::WeakPart weakBrowse() const { return gui::WeakPart::from(browse_); }

    [[nodiscard]] rt::Value delimiter(const MemberRef& m) const
    {
        const rt::Value d = m.get(browse_);
        return d.isChar() ? d : rt::Value(";");
    }

    C& c_;
    rt::Value self_, browse_, getList_;
    rt::Value rec_, options_, pres_;
    rt::Value header_, footer_;
    rt::Value data_;
    bool multiLine_ = false;
    bool elementBlock_ = false;  // data_ is the row element's get/set block
};

RK_XbpColumn::RK_XbpColumn() = default;
RK_XbpColumn::~RK_XbpColumn() = default;

const rt::ClassInfo& RK_XbpColumn::staticClass()
{
    static const rt::ClassInfo cls = makeClass();
    return cls;
}

const rt::ClassInfo& RK_XbpColumn::classInfo() const { return staticClass(); }

// Init(oParent, oGetList, lTest): oParent the browse, oGetList the element
// list object whose getListPointer names this column's record.
rt::Value RK_XbpColumn::init(rt::Args a)
{
    if (!rt::argAt(a, 0).isObject())
        rt::raiseArg("RK_XbpColumn:Init", a);
    ColumnBuilder(*this, a).run();
    return self();
}

rt::Value RK_XbpColumn::destroy()
{
    const rt::Value keep = self();
    if (tips_.isArray() && tips_.asArray().size() >= 7 && tips_.asArray().items[6].isObject())
        tips_.asArray().items[6] = rt::Value();
    tips_ = rt::Value();
    // The multi-line area holds its column and browse: let go of both.
    if (auto* area = dataArea.isObject() ? dynamic_cast<RK_XbpCellGroupMultiLine*>(&dataArea.asObject()) : nullptr) {
        area->column = rt::Value();
        area->browse = rt::Value();
    }
    return gui::XbpColumn::destroy();
}

void RK_XbpColumn::setPictureSource(const rt::Value& v)
{
    picture_ = v;
    if (!formatsItself_)
        gui::XbpColumn::picture = v;
}

RK_XbpColumn* asRkColumn(const rt::Value& v)
{
    return v.isObject() ? dynamic_cast<RK_XbpColumn*>(&v.asObject()) : nullptr;
}

void registerColumnClasses()
{
    rt::registerClass<RK_XbpColumn>();
    rt::registerClass<RK_MultiLineCellGroup>();
    rt::registerClass<RK_XbpCellGroupMultiLine>();
    registerSortFunctions();
}

}  // namespace browse
