// Presentation lists and the column's value and colour block builders.
#include "browse/columns/presentation.h"

#include "platform/gui/presparam.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

namespace browse {

namespace {

// The text of one cell: the value through the picture, or blanks as wide as
// the picture for a missing value (so an empty row keeps the column's width).
rt::Value formatCell(const rt::Value& value, const rt::Value& picture)
{
    const std::string_view pic = picture.isChar() ? picture.asString() : std::string_view();
    if (value.isNil())
        return rt::Value(std::string(rt::utf8Length(pic), ' '));
    return rt::Value(rt::transform(value, pic));
}

rt::Value fnMergePresentation(rt::Args a) { return mergePresentation(rt::argAt(a, 0), rt::argAt(a, 1)); }

rt::Value fnGetPresentation(rt::Args a)
{
    const rt::Value& id = rt::argAt(a, 1);
    // Only a pair whose id is exactly nId counts: 2.5 must not find pair 2.
    if (!id.isNum() || id.asDouble() != double(id.asInt()))
        return rt::argAt(a, 2);
    return getPresentation(rt::argAt(a, 0), id.asInt(), rt::argAt(a, 2));
}

}  // namespace

rt::Value mergePresentation(const rt::Value& target, const rt::Value& source)
{
    rt::Value t = target;  // shares the array: the merge happens in place
    gui::presMerge(t, source);
    return target;
}

rt::Value getPresentation(const rt::Value& pres, long long id, const rt::Value& def)
{
    if (id < INT32_MIN || id > INT32_MAX)
        return def;
    return gui::presGet(pres, int(id), def);
}

bool hasPresentation(const rt::Value& pres, long long id)
{
    return id >= INT32_MIN && id <= INT32_MAX && gui::presHas(pres, int(id));
}

rt::Value presOf(const rt::Value& pres) { return pres.isBlock() ? rt::eval(pres) : pres; }

// Four variants: the record object (when there is one) or the data link's
// argument feeds the data block; a picture block is asked anew per cell.
// The column keeps the block as its data link, so the block holds it weakly.
rt::Value colPicture(const rt::Value& block, const rt::Value& picture, const rt::Value& record, const rt::Value& column)
{
    const gui::WeakPart col = gui::WeakPart::from(column);
    if (record.isObject()) {
        if (picture.isBlock())
            return rt::makeBlock([block, picture, record, col](rt::Args) {
                return formatCell(rt::evalWith(block, record, col.lock()), rt::eval(picture));
            });
        return rt::makeBlock([block, picture, record, col](rt::Args) {
            return formatCell(rt::evalWith(block, record, col.lock()), picture);
        });
    }
    if (picture.isBlock())
        return rt::makeBlock([block, picture, col](rt::Args a) {
            return formatCell(rt::evalWith(block, rt::argAt(a, 0), col.lock()), rt::eval(picture));
        });
    return rt::makeBlock([block, picture, col](rt::Args a) {
        return formatCell(rt::evalWith(block, rt::argAt(a, 0), col.lock()), picture);
    });
}

rt::Value colorBlockOf(const rt::Value& color)
{
    if (!color.isArray() || color.asArray().size() != 2)
        return {};
    if (color.asArray().items[0].isBlock())
        return color.asArray().items[0];
    return rt::makeBlock([color](rt::Args) { return color; });
}

rt::Value cellAlignment(const rt::Value& column, const rt::Value& def)
{
    const rt::Value pres = column.isObject() ? rt::getMember(column, "presArray") : rt::Value();
    if (pres.isArray())
        for (const rt::Value& p : pres.asArray().items)
            if (p.isArray() && p.asArray().size() >= 2 && p.asArray().items[0].isNum()) {
                const long long id = p.asArray().items[0].asInt();
                if (id == 10 || id == 110)
                    return p.asArray().items[1];
            }
    return def;
}

void registerPresentationFunctions()
{
    rt::registerFunction("RK_MergePresentation", fnMergePresentation);
    rt::registerFunction("RK_GetPresentation", fnGetPresentation);
}

}  // namespace browse
