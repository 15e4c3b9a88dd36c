// Row colours: tagged, marked and zebra-striped rows.
//
// These run once per visible cell, so browse members are read through
// MemberRef (resolved once per class) and nothing is compiled or rebuilt
// per call beyond the small result array.
#include "browse/columns/row_colors.h"

#include "browse/columns/members.h"
#include "browse/columns/presentation.h"

#include "platform/dialog/slots.h"
#include "platform/gui/color.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"

namespace browse {

namespace {

const MemberRef kTagEnable("tagEnable");
const MemberRef kTagElement("tagElement");
const MemberRef kTagColorFG("tagColorFG");
const MemberRef kTagColorBG("tagColorBG");
const MemberRef kArrayElement("arrayElement");
const MemberRef kDataSource("dataSource");
const MemberRef kNBrow("nBrow");
const MemberRef kLBrow("lBrow");
const MemberRef kEvenRow("evenRow");
const MemberRef kBrowseColor("browseColor");
const MemberRef kBrowsePres("browsePres");
const MemberRef kMark("mark");
const MemberRef kMarkColorBlock("markColorBlock");
const MemberRef kOwnerDrawBlock("ownerDrawBlock");
const MemberRef kRowColor("RowColor");
const MemberRef kRecNo("RecNo");

rt::Value& storedBrowseColor()
{
    static rt::Value stored;
    return stored;
}

// Row `pos` of an array source, or null when there is no such row array.
const rt::Array* rowOf(const rt::Value& rows, long long pos)
{
    if (!rows.isArray() || pos < 1 || std::size_t(pos) > rows.asArray().size())
        return nullptr;
    const rt::Value& row = rows.asArray().items[std::size_t(pos) - 1];
    return row.isArray() ? &row.asArray() : nullptr;
}

bool rowFlag(const rt::Value& rows, long long pos, const rt::Value& element)
{
    const rt::Array* row = rowOf(rows, pos);
    if (!row || !element.isNum())
        return false;
    const std::int64_t e = element.asInt();
    if (e < 1 || std::size_t(e) > row->size())
        return false;
    const rt::Value& flag = row->items[std::size_t(e) - 1];
    return flag.isLogical() && flag.asBool();
}

// A runtime function of the work-area engine, looked up on first use.
struct AreaFunction {
    const char* name;
    rt::NativeFn fn = nullptr;
};
AreaFunction gTagged{"RK_Tagged"};
AreaFunction gRecNo{"RecNo"};

// The function run with the work area named `alias` selected (the current
// area is restored afterwards).
rt::Value inWorkArea(const rt::Value& alias, AreaFunction& f)
{
    if (!f.fn)
        f.fn = rt::findFunction(f.name);
    if (!f.fn)
        return rt::callFunction(f.name);  // raises "Undefined function"
    auto thunk = [](void* ctx) -> rt::Value { return (*static_cast<rt::NativeFn*>(ctx))({}); };
    if (const auto hook = rt::fieldHooks().aliasEval)
        return hook(alias.asString(), thunk, &f.fn);
    return f.fn({});
}

// The stripe of the row being drawn: it flips whenever the record changes,
// so neighbouring rows alternate. Returns the current stripe.
bool flipStripeOnNewRecord(const rt::Value& browse, const rt::Value& recNo)
{
    const bool stripe = memberTrue(kLBrow, browse);
    const rt::Value last = kNBrow.get(browse);
    if (!recNo.isNum() || (last.isNum() && last.asDouble() == recNo.asDouble()))
        return stripe;
    kLBrow.set(browse, !stripe);
    kNBrow.set(browse, recNo);
    return !stripe;
}

void setStripe(const rt::Value& browse, bool stripe) { kLBrow.set(browse, stripe); }

rt::Value tagColors(const rt::Value& browse)
{
    return rt::makeArray({kTagColorFG.get(browse), kTagColorBG.get(browse)});
}

rt::Value evalWithBrowse(const rt::Value& block, const rt::Value& browse) { return rt::evalWith(block, browse); }

// The colours of an unmarked row: the colour block's, else the element's pair.
rt::Value unmarkedColors(const rt::Value& colorBlock, const rt::Value& color, const rt::Value& browse)
{
    return colorBlock.isBlock() ? evalWithBrowse(colorBlock, browse) : color;
}

rt::Value markColors(const rt::Value& options) { return rt::makeArray({rt::entryOf(options, dlg::browseOption::MarkColorFG),
                                                                    rt::entryOf(options, dlg::browseOption::MarkColorBG)}); }

rt::Value fnBrowseColor(rt::Args a) { return browseColor(a); }

// The row colour block of a browse. Its value depends on the browse alone,
// so a column may evaluate it without the browse as argument.
class RowColorBlock final : public rt::Block {
public:
    enum class Kind { RowColor, ArrayMark, SourceMark };
    RowColorBlock(Kind kind, const rt::Value& browse, rt::Value options, rt::Value color, rt::Value colorBlock)
        : kind_(kind),
          browse_(gui::WeakPart::from(browse)),
          options_(std::move(options)),
          color_(std::move(color)),
          colorBlock_(std::move(colorBlock))
    {
    }

    rt::Value call(rt::Args) override
    {
        const rt::Value browse = browse_.lock();
        return browse.isNil() ? rt::Value() : colorsOf(browse);
    }

private:
    rt::Value colorsOf(const rt::Value& browse)
    {
        switch (kind_) {
        case Kind::RowColor:
            // A browse class may override RowColor; the library's own is the fallback.
            return kRowColor.existsOn(browse) ? kRowColor.call(browse) : rowColor(browse);
        case Kind::ArrayMark:
            if (rowFlag(kDataSource.get(browse), memberInt(kArrayElement, browse, 0), kMark.get(browse)))
                return markColors(options_);
            return unmarkedColors(colorBlock_, color_, browse);
        case Kind::SourceMark: break;
        }
        const rt::Value markBlock = kMarkColorBlock.get(browse);
        rt::Value marked = markBlock.isBlock() ? markBlock : kMark.get(browse);
        if (marked.isBlock())
            marked = evalWithBrowse(marked, browse);
        if (!marked.isLogical() || !marked.asBool())
            return unmarkedColors(colorBlock_, color_, browse);
        const rt::Value& fg = rt::entryOf(options_, dlg::browseOption::MarkColorFG);
        return fg.isBlock() ? evalWithBrowse(fg, browse) : markColors(options_);
    }

    Kind kind_;
    gui::WeakPart browse_;  // the browse keeps the block
    rt::Value options_, color_, colorBlock_;
};

}  // namespace

rt::Value makeRowColorBlock(const rt::Value& browse, const rt::Value& options, const rt::Value& color,
                            const rt::Value& data, const rt::Value& colorBlock)
{
    using K = RowColorBlock::Kind;
    K kind = data.isArray() ? K::ArrayMark : K::SourceMark;
    if (rt::isEmpty(rt::entryOf(options, dlg::browseOption::Mark)) &&
        rt::isEmpty(rt::entryOf(options, dlg::browseOption::MarkColorBlock))) {
        if (colorBlock.isBlock())
            return colorBlock;
        if (!storedBrowseColor().isArray() && !memberTrue(kTagEnable, browse))
            return {};
        kind = K::RowColor;
    }
    return rt::Value(static_cast<rt::Block*>(new RowColorBlock(kind, browse, options, color, colorBlock)));
}

bool isRowColorBlock(const rt::Value& block)
{
    return block.isBlock() && dynamic_cast<const RowColorBlock*>(&block.asBlock()) != nullptr;
}

// Tagged rows take the tag colours. Untagged rows take the stripe of
// browseColor; without one they keep the platform's colours ({NIL, NIL}),
// since painting every row in the tag colours would hide which rows are
// tagged. Object sources keep no tags, so their rows are never tagged.
rt::Value rowColor(const rt::Value& browse)
{
    const bool tagging = memberTrue(kTagEnable, browse);
    const rt::Value ds = kDataSource.get(browse);
    bool stripe = true;
    if (ds.isChar() && !rt::isEmpty(ds)) {
        if (tagging) {
            const rt::Value tagged = inWorkArea(ds, gTagged);
            if (tagged.isLogical() && tagged.asBool())
                return tagColors(browse);
        }
        stripe = flipStripeOnNewRecord(browse, inWorkArea(ds, gRecNo));
    } else if (ds.isArray() && ds.asArray().size() > 0) {
        const long long at = memberInt(kArrayElement, browse, 0);
        if (tagging && at > 0 && rowFlag(ds, at, kTagElement.get(browse)))
            return tagColors(browse);
        stripe = at % 2 == 0;
        setStripe(browse, stripe);
    } else if (ds.isObject() && kRecNo.existsOn(ds)) {
        stripe = flipStripeOnNewRecord(browse, kRecNo.call(ds));
    } else {
        setStripe(browse, stripe);
    }
    const rt::Value stripes = kBrowseColor.get(browse);
    if (!stripes.isArray())
        return rt::makeArray({rt::Value(), rt::Value()});
    return rt::makeArray({rt::entryOf(stripes, stripe ? 1 : 3), rt::entryOf(stripes, stripe ? 2 : 4)});
}

rt::Value zebraColor(const rt::Value& browse, const rt::Value& even, const rt::Value& odd)
{
    const bool evenRow = memberTrue(kEvenRow, browse);
    rt::Value result;
    if (even.isArray())
        result = evenRow ? even : odd;
    else if (even.isBlock())
        result = rt::evalWith(even, evenRow);
    else if (odd.isArray() && evenRow)
        result = odd;

    const rt::Value pres = kBrowsePres.get(browse);
    if (!result.isArray())
        return rt::makeArray({getPresentation(pres, 101, 1), getPresentation(pres, 102, 0),
                              getPresentation(pres, 103, 0), getPresentation(pres, 104, 2)});
    if (result.asArray().size() == 2) {
        // A copy: the caller's stripe array must not grow on every row.
        const auto& pair = result.asArray().items;
        return rt::makeArray({pair[0], pair[1], getPresentation(pres, 103, 0), getPresentation(pres, 104, 2)});
    }
    return result;
}

rt::Value customDrawCell(const rt::Value& browse, const rt::Value& ps, const rt::Value& info)
{
    const rt::Value block = kOwnerDrawBlock.get(browse);
    if (rt::isEmpty(block))
        return true;
    return rt::evalWith(block, ps, info, browse);
}

rt::Value browseColor(rt::Args a)
{
    rt::Value& stored = storedBrowseColor();
    rt::Value previous = stored;
    const rt::Value& arg = rt::argAt(a, 0);
    if (arg.isArray()) {
        rt::Value colors = rt::aClone(arg);
        auto& items = colors.asArray().items;
        items.resize(4);
        for (rt::Value& c : items)
            if (c.isArray())
                c = rt::Value(gui::colorNumber(c));
        stored = colors;
    } else if (a.size() == 1 && arg.isNil()) {
        stored = rt::Value();
    }
    return previous;
}

void registerRowColorFunctions() { rt::registerFunction("RK_BrowseColor", fnBrowseColor); }

void resetBrowseColor() { storedBrowseColor() = rt::Value(); }

}  // namespace browse
