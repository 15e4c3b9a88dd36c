// Element records: the template, slot access, anchors, ids and XCOL.
#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/layout.h"

#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cmath>

namespace dlg {

namespace {

// Template defaults. A record has kRecordSlots slots, NIL unless listed:
//
//   slot  default                                 records
//   1     the type number                         all
//   2     the sub-type, NIL without one           all but browse and column
//         4 (platform column type)                column
//   3     ""                                      labels, buttons, groups, check boxes, statics
//   5, 6  0.0                                     all
//   12    ""                                      entries
//   21    {NIL, NIL, NIL, .F., .F., .F., .F., .F.} buttons
//         {.F., .F.}                              combo boxes
//         56 NILs                                 browse
//         13 NILs                                 column
//   25    {NIL, NIL}                              entries
//   29    0 (no label)                            entries
//   33    .F.                                     all
//   40    {.F., NIL, .F.} (not a password)        entries
//   42    2 (cursor mode)                         browse
//   49    ""                                      all
//   70    {type name, NIL, NIL, NIL, "", "", "", ""} all
//
// Slots 9 and 10 (width, height) stay NIL: the element is measured.
struct TypeName {
    int type;
    const char* name;
};
constexpr TypeName kTypeNames[] = {
    {type::Group, "RKGROUP"},       {type::CheckBox, "RKCHECKBOX"}, {type::ComboBox, "RKCOMBOBOX"},
    {type::PushButton, "RKPUSHBUTTON"}, {type::Static, "RKSTATIC"}, {type::Browse, "RKBROWSE"},
    {type::Column, "RKBROWSECOL"},  {type::OnCreate, ""},  {type::Bitmap, "RKBITMAP"},
};

// nullptr for a type number the library does not know.
const char* typeName(int t, const rt::Value& subType)
{
    const bool hasSub = subType.isNum();
    if (t == type::Say)
        return hasSub && subType.asInt() == 1 ? "RKSAYGET" : "RKSAY";
    if (t == type::Get)
        return hasSub ? "RKGET" : "RKSAYGET";  // without a sub-type: the entry of a pair
    for (const TypeName& n : kTypeNames)
        if (n.type == t)
            return n.name;
    return nullptr;
}

rt::Value filled(std::size_t n, const rt::Value& v)
{
    rt::Value a = rt::Value::array(n);
    std::fill(a.asArray().items.begin(), a.asArray().items.end(), v);
    return a;
}

rt::Value optionsDefault(int t)
{
    switch (t) {
    case type::PushButton:
        return rt::makeArray({rt::Value(), rt::Value(), rt::Value(), false, false, false, false, false});
    case type::ComboBox: return rt::makeArray({false, false});
    case type::Browse: return rt::Value::array(kBrowseOptions);
    case type::Column: return rt::Value::array(kColumnOptions);
    default: return {};
    }
}

rt::Value& lastRecord(const rt::Value& list, const char* op, std::vector<rt::Value> args)
{
    if (!list.isArray())
        rt::raiseArg(op, args);
    auto& items = list.asArray().items;
    if (items.empty() || !items.back().isArray())
        recordExpected(op, {list});
    return items.back();
}

}  // namespace

void recordExpected(std::string operation, std::vector<rt::Value> args)
{
    rt::raise("Element record expected", std::move(operation), std::move(args));
}

// --- the template

rt::Value getTemplate(int t, const rt::Value& subType)
{
    const char* name = typeName(t, subType);
    if (!name)
        rt::raiseArg("RK_GetTemplate", std::vector<rt::Value>{t, subType});
    rt::Value rec = rt::Value::array(kRecordSlots);
    auto& s = rec.asArray().items;
    auto set = [&s](int slotNo, rt::Value v) { s[index(slotNo)] = std::move(v); };
    set(slot::Type, t);
    if (t == type::Column)
        set(slot::ColumnType, 4);
    else if (t != type::Browse && subType.isNum())
        set(slot::SubType, subType);
    set(slot::Caption, "");
    set(slot::Row, 0.0);
    set(slot::Col, 0.0);
    set(slot::Options, optionsDefault(t));
    if (t == type::Get) {
        set(slot::Picture, "");
        set(slot::VarName, rt::Value::array(2));
        set(slot::LabelOf, 0);
        set(slot::Password, rt::makeArray({false, rt::Value(), false}));
    }
    if (t == type::Browse)
        set(slot::CursorMode, 2);
    set(slot::PixelWidth, false);
    set(slot::Id, "");
    rt::Value source = filled(8, "");
    auto& src = source.asArray().items;
    src[0] = rt::Value(name);
    src[1] = src[2] = src[3] = rt::Value();
    set(slot::Source, std::move(source));
    return rec;
}

void getListSet(const rt::Value& getList, int slotNo, const rt::Value& value)
{
    rt::Value& rec = lastRecord(getList, "RK_GetListSet", {getList, slotNo, value});
    if (slotNo < 1 || slotNo > kRecordSlots)
        rt::raise("Bound error", "RK_GetListSet", {slotNo});
    auto& items = rec.asArray().items;
    if (items.size() < std::size_t(slotNo))
        items.resize(std::size_t(slotNo));
    items[index(slotNo)] = value;
}

// --- anchors and ids

rt::Value getAnchorCB(std::function<rt::Value()> get, std::function<void(const rt::Value&)> set, std::string name)
{
    return rt::makeBlock(
        [get = std::move(get), set = std::move(set)](rt::Args a) -> rt::Value {
            if (a.empty())
                return get ? get() : rt::Value();
            if (set)
                set(a[0]);
            return a[0];
        },
        std::move(name));
}

rt::Value publicAnchorCB(std::string_view publicName)
{
    std::string name = rt::alltrim(publicName);
    if (name.empty())
        rt::raise("Argument error", "RK_GetAnchorCB", {rt::Value(publicName)});
    return getAnchorCB([name] { return rt::publicGet(name); },
                       [name](const rt::Value& v) { rt::publicSet(name, v); }, name);
}

std::string getIdDefault(const rt::Value& id, std::string_view name, std::string_view prefix)
{
    if (id.isChar() && !rt::alltrim(id.asString()).empty())
        return id.str();
    return std::string(prefix) + rt::upper(rt::alltrim(name));
}

double xcol(const rt::Value& getList)
{
    if (!getList.isArray())
        rt::raiseArg("XCOL", std::vector<rt::Value>{getList});
    const auto& items = getList.asArray().items;
    if (items.empty())
        return 0.0;
    if (!items.back().isArray())
        recordExpected("XCOL", {getList});
    return numberSlot(items.back(), slot::Col, 0.0) + elementColumns(items.back());
}

// --- reading records

const rt::Value& slotOf(const rt::Value& record, int slotNo) noexcept
{
    if (!record.isArray() || slotNo < 1)
        return rt::nil();
    const auto& items = record.asArray().items;
    return std::size_t(slotNo) <= items.size() ? items[index(slotNo)] : rt::nil();
}

double numberSlot(const rt::Value& record, int slotNo, double def) noexcept
{
    const rt::Value& v = slotOf(record, slotNo);
    if (!v.isNum() || std::isnan(v.asDouble()))
        return def;
    return std::clamp(v.asDouble(), -kMaxTextUnits, kMaxTextUnits);
}

int elementType(const rt::Value& record) noexcept
{
    const rt::Value& v = slotOf(record, slot::Type);
    return v.isNum() ? int(std::clamp<std::int64_t>(v.asInt(), -1, 1 << 20)) : 0;
}

std::string textSlot(const rt::Value& record, int slotNo)
{
    const rt::Value& v = slotOf(record, slotNo);
    return v.isChar() ? v.str() : std::string();
}

std::vector<std::string> captionLines(const rt::Value& record)
{
    const std::string caption = textSlot(record, slot::Caption);
    std::vector<std::string> lines = rt::tokenize(caption, ";");
    if (lines.empty())
        lines.emplace_back();
    return lines;
}

std::string checkBoxCaption(const rt::Value& record)
{
    const rt::Value& pair = slotOf(record, slot::CheckCaption);
    if (const rt::Value& c = pair.isArray() ? rt::entryOf(pair, 1) : pair; c.isChar())
        return c.str();
    return textSlot(record, slot::Caption);
}

bool hasPopupBlock(const rt::Value& record)
{
    const rt::Value& pop = slotOf(record, slot::Popup);
    return pop.isArray() && slotBlock(rt::entryOf(pop, 1)).isBlock();
}

rt::Value entryBinding(const rt::Value& record)
{
    if (const rt::Value& b = slotOf(record, slot::GetSet); b.isBlock())
        return b;
    if (const rt::Value& b = slotOf(record, slot::GetSet2); b.isBlock())
        return b;
    return {};
}

EntryFormat entryFormatOf(const rt::Value& record)
{
    const rt::Value binding = entryBinding(record);
    const rt::Value value = binding.isBlock() ? rt::evalWith(binding) : rt::Value();
    return entryFormat(value, slotOf(record, slot::Picture));
}

double elementColumns(const rt::Value& record)
{
    const double given = numberSlot(record, slot::Width, -1.0);
    if (given >= 0.0)
        return given;
    switch (elementType(record)) {
    case type::Say: return std::min(double(rt::utf8Length(textSlot(record, slot::Caption))), kMaxTextUnits);
    case type::Get: {
        const EntryFormat f = entryFormatOf(record);
        const bool popup = f.kind == 'D' || hasPopupBlock(record);
        return std::min(double(f.length) + kEntryMarginCols + (popup ? kPopupButtonCols : 0.0), kMaxTextUnits);
    }
    case type::CheckBox:
        return std::min(double(rt::utf8Length(checkBoxCaption(record))) + kCheckMarkCols, kMaxTextUnits);
    case type::ComboBox: return kComboDefaultCols;
    case type::PushButton: {
        std::size_t widest = 0;
        for (const std::string& line : captionLines(record))
            widest = std::max(widest, rt::utf8Length(line));
        return std::min(double(widest) + kButtonMarginCols, kMaxTextUnits);
    }
    default: return 0.0;
    }
}

double elementRows(const rt::Value& record)
{
    // A combo box's slot 10 is the height of its drop-down list.
    if (elementType(record) == type::ComboBox)
        return 1.0;
    const double given = numberSlot(record, slot::Height, -1.0);
    if (given >= 0.0)
        return given;
    switch (elementType(record)) {
    case type::Say:
    case type::Get:
    case type::CheckBox: return 1.0;
    case type::PushButton: return std::min(double(captionLines(record).size()), kMaxTextUnits);
    default: return 0.0;
    }
}

}  // namespace dlg
