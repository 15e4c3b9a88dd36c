// RK_XbpColumn's captions and caption colours, and RK_MultiLineCellGroup,
// the heading and footing of every column.
#include "browse/columns/column.h"

#include "browse/columns/column_parts.h"
#include "browse/columns/members.h"

#include "platform/dialog/library.h"
#include "platform/gui/bitmap.h"
#include "platform/grid/column.h"
#include "platform/gui/color.h"
#include "platform/gui/static.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <algorithm>

namespace browse {

namespace {

using C = RK_XbpColumn;

// One caption area: its block and caption members, its cell group and the
// browse's line delimiter for it.
struct CaptionSide {
    rt::Value C::*block;
    rt::Value C::*caption;
    rt::Value gui::XbpColumn::*group;
    const MemberRef& delim;
};

const MemberRef kHeaderDelim("headerDelim");
const MemberRef kFooterDelim("footerDelim");
const MemberRef kUseVisualStyle("USEVISUALSTYLE");

const CaptionSide kHeader{&C::headerBlock, &C::headerCaption, &gui::XbpColumn::heading, kHeaderDelim};
const CaptionSide kFooter{&C::footerBlock, &C::footerCaption, &gui::XbpColumn::footing, kFooterDelim};

// _LoadBitmap(oParent, oCaption): a bitmap static of the picture's size,
// centred in the caption group. A caption that is no picture shows nothing.
void loadBitmap(const rt::Value& group, const rt::Value& bitmap)
{
    const auto* picture = bitmap.isObject() ? dynamic_cast<gui::XbpPicture*>(&bitmap.asObject()) : nullptr;
    if (!picture || !group.isObject())
        return;
    auto* s = new gui::XbpStatic();
    const rt::Value keep = s->self();
    s->type = gui::static_type::Bitmap;
    s->caption = bitmap;
    const rt::Value args[] = {group, {}, gui::pairValue(2, 2), gui::pairValue(picture->xSize(), picture->ySize()),
                              {}, true};
    s->create(rt::Args(args, 6));
    dlg::centerObject(keep);
}

rt::Value bitmapOf(const rt::Value& caption)
{
    if (!rt::findFunction("RK_GetBitmap"))
        return caption;
    return rt::callWith("RK_GetBitmap", caption, rt::Value(), rt::Value(), rt::Value(), true);
}

void showLines(const rt::Value& group, const rt::Value& lines)
{
    const auto& items = lines.asArray().items;
    for (std::size_t i = 0; i < items.size(); ++i)
        rt::sendWith(group, "setCell", rt::Value(static_cast<long long>(i + 1)), items[i]);
    rt::sendWith(group, "invalidateRect");
}

bool isLineArray(const rt::Value& v)
{
    return v.isArray() && !v.asArray().items.empty() && v.asArray().items[0].isChar();
}

rt::Value applyCaption(C& c, const CaptionSide& side, const rt::Value& arg)
{
    rt::Value& block = c.*side.block;
    rt::Value& caption = c.*side.caption;
    const rt::Value group = c.*side.group;
    if (arg.isBlock()) {
        block = arg;
    } else if (arg.isChar() || arg.isNum() || arg.isObject()) {
        caption = arg;
    } else if (isLineArray(arg)) {
        // Caption lines given one by one: shown as they are (the caption
        // text and block stay, so Refresh re-applies those).
        showLines(group, arg);
        return c.self();
    } else if (!rt::isEmpty(arg)) {
        return c.self();
    }
    if (block.isBlock())
        caption = rt::Value(rt::xtoc(rt::eval(block)));
    if (caption.isNum() || caption.isObject()) {
        caption = bitmapOf(caption);
        loadBitmap(group, caption);
        return c.self();
    }
    const rt::Value delim = side.delim.existsOn(c.parent) ? side.delim.get(c.parent) : rt::Value();
    const rt::Value text = caption.isChar() ? caption : rt::Value("");
    showLines(group, rt::callWith("RK_TokenArray", text, delim.isChar() ? delim : rt::Value(";")));
    return c.self();
}

// A colour entry as a colour number: {r, g, b} through GraMakeRGBColor; NIL
// for anything that is no colour, so the area keeps what it has.
rt::Value colourOf(const rt::Value& v)
{
    if (v.isArray())
        return rt::Value(gui::colorNumber(v));
    return v.isNum() ? v : rt::Value();
}

void applyColours(const rt::Value& group, const rt::Value& colours)
{
    if (const rt::Value fg = colourOf(rt::argAt(colours.asArray().items, 0)); fg.isNum())
        rt::sendWith(group, "setColorFG", fg);
    if (const rt::Value bg = colourOf(rt::argAt(colours.asArray().items, 1)); bg.isNum())
        rt::sendWith(group, "setColorBG", bg);
}

rt::Value applyColourBlock(C& c, rt::Value C::*blockMember, const rt::Value& group, const rt::Value& arg)
{
    rt::Value& block = c.*blockMember;
    if (rt::isEmpty(arg) && !block.isBlock())
        return c.self();
    if (arg.isBlock())
        block = arg;
    if (!block.isBlock())
        return c.self();
    const rt::Value result = rt::eval(block);
    if (result.isArray())
        applyColours(group, result);
    return c.self();
}

}  // namespace

rt::Value RK_XbpColumn::setHeaderCaption(const rt::Value& bcHeader) { return applyCaption(*this, kHeader, bcHeader); }
rt::Value RK_XbpColumn::setFooterCaption(const rt::Value& bcFooter) { return applyCaption(*this, kFooter, bcFooter); }

rt::Value RK_XbpColumn::setHeaderColor(const rt::Value& bColor)
{
    return applyColourBlock(*this, &C::headerColorBlock, heading, bColor);
}

rt::Value RK_XbpColumn::setFooterColor(const rt::Value& bColor)
{
    return applyColourBlock(*this, &C::footerColorBlock, footing, bColor);
}

rt::Value RK_XbpColumn::Refresh()
{
    setHeaderCaption({});
    setHeaderColor({});
    setFooterCaption({});
    setFooterColor({});
    return self();
}

// Footer colours given as numbers are applied like the header's: a footer
// that asks for a colour gets it.
CaptionLook readCaptionLook(const rt::Value& record, int slot, const rt::Value& group)
{
    CaptionLook look;
    if (!record.isArray() || std::size_t(slot) > record.asArray().size())
        return look;
    const rt::Value given = record.asArray().items[std::size_t(slot) - 1];
    if (!given.isArray())
        return look;
    auto& items = given.asArray().items;
    items.resize(std::max<std::size_t>(items.size(), 4));
    rt::Value colours = given;
    if (items[0].isBlock()) {
        look.block = items[0];
        const rt::Value result = rt::eval(look.block);
        colours = result.isArray() ? rt::aClone(result) : rt::Value::array(4);
        colours.asArray().items.resize(std::max<std::size_t>(colours.asArray().size(), 4));
    }
    applyColours(group, colours);
    look.font = colours.asArray().items[2];
    look.height = colours.asArray().items[3];
    return look;
}

void applyFontAndHeight(const rt::Value& group, const rt::Value& font, const rt::Value& height)
{
    if (font.isChar() && !rt::isEmpty(font))
        rt::sendWith(group, "setFontCompoundName", font);
    if (height.isNum() && !rt::isEmpty(height)) {
        const rt::Value now = rt::sendWith(group, "currentSize");
        const rt::Value width = now.isArray() && now.asArray().size() >= 1 ? now.asArray().items[0] : rt::Value(-1);
        rt::sendWith(group, "setSize", rt::makeArray({width, height}));
    }
}

HeaderSortBlock::HeaderSortBlock(const rt::Value& column, rt::Value colPos)
    : rt::Block("{|aPos, uMp2, oObj| oColumn:Sort(aPos, nColPos)}"),
      column_(gui::WeakPart::from(column)),
      madeFor_(std::move(colPos))
{
}

rt::Value HeaderSortBlock::column() const { return column_.lock(); }

rt::Value HeaderSortBlock::colPos() const
{
    const rt::Value c = column();
    const auto* col = gui::asColumn(c);
    const gui::GridHost* grid = col ? col->host() : nullptr;
    return grid ? rt::Value(grid->colNum(col)) : madeFor_;
}

rt::Value HeaderSortBlock::call(rt::Args a)
{
    const rt::Value c = column();
    return c.isNil() ? rt::Value() : rt::sendWith(c, "Sort", rt::argAt(a, 0), colPos());
}

rt::Value headerDown(const rt::Value& browse, const rt::Value& column, const rt::Value& colPos)
{
    const rt::Value pos = colPos.isNum() ? colPos : rt::sendWith(browse, "colCount");
    return rt::Value(static_cast<rt::Block*>(new HeaderSortBlock(column, pos)));
}

// --- RK_MultiLineCellGroup

const rt::ClassInfo& RK_MultiLineCellGroup::staticClass()
{
    static const rt::ClassInfo cls = [] {
        using G = RK_MultiLineCellGroup;
        rt::ClassInfo c("RK_MultiLineCellGroup", {&gui::XbpCellGroup::staticClass()});
        c.field<G>("width", &G::width);
        c.field<G>("presentation", &G::presentation);
        c.field<G>("rows", &G::rows);
        c.field<G>("noResize", &G::noResize);
        c.field<G>("ReferenceString", &G::referenceString);
        c.method<G>("Create", [](G& o, rt::Args a) { return o.create(a); });
        return c;
    }();
    return cls;
}

const rt::ClassInfo& RK_MultiLineCellGroup::classInfo() const { return staticClass(); }

// The element's own header or footer presentation wins over the browse's;
// the two are not combined.
rt::Value RK_MultiLineCellGroup::create(rt::Args a)
{
    std::vector<rt::Value> args(a.begin(), a.end());
    args.resize(std::max<std::size_t>(args.size(), 6));
    rt::Value& pp = args[4];
    if (!pp.isArray())
        pp = rt::Value::array();
    if (presentation.isArray() && !rt::isEmpty(presentation)) {
        const rt::Value own = rt::argAt(presentation.asArray().items, 1);
        const rt::Value common = rt::argAt(presentation.asArray().items, 0);
        const rt::Value& pairs = own.isArray() ? own : common;
        if (pairs.isArray())
            for (const rt::Value& p : pairs.asArray().items)
                if (p.isArray() && p.asArray().size() >= 2 && p.asArray().items[0].isNum())
                    dlg::presAdd(pp, p.asArray().items[0].asInt(), p.asArray().items[1]);
    }
    rt::Value& size = args[3];
    if (noResize.isLogical() && noResize.asBool())
        size = rt::makeArray({width, -1});
    maxRow = rows;
    if (rows.isNum() && rows.asInt() > 1)
        size = rt::makeArray(
            {size.isArray() && !size.asArray().items.empty() ? size.asArray().items[0] : rt::Value(-1), -1});
    if (kUseVisualStyle.existsOn(self()))
        useVisualStyle = false;
    return gui::XbpCellGroup::create(args);
}

}  // namespace browse
