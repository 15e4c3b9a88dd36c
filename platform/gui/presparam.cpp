#include "platform/gui/presparam.h"

#include "platform/gui/color.h"
#include "platform/gui/font.h"
#include "platform/runtime/array.h"

#include <algorithm>

namespace gui {

namespace {
constexpr PresParamInfo kTable[] = {
    {pp::FgClr, "FgClr", PresKind::Color},
    {pp::BgClr, "BgClr", PresKind::Color},
    {pp::DisabledFgClr, "DisabledFgClr", PresKind::Color},
    {pp::DisabledBgClr, "DisabledBgClr", PresKind::Color},
    {pp::HiliteFgClr, "HiliteFgClr", PresKind::Color},
    {pp::HiliteBgClr, "HiliteBgClr", PresKind::Color},
    {pp::Alignment, "Alignment", PresKind::Align},
    {pp::CompoundName, "CompoundName", PresKind::Font},
    {pp::DaFgClr, "DaFgClr", PresKind::Color},
    {pp::DaBgClr, "DaBgClr", PresKind::Color},
    {pp::DaHiliteFgClr, "DaHiliteFgClr", PresKind::Color},
    {pp::DaHiliteBgClr, "DaHiliteBgClr", PresKind::Color},
    {pp::DaCompoundName, "DaCompoundName", PresKind::Font},
    {pp::DaCellWidth, "DaCellWidth", PresKind::Pixels},
    {pp::DaRowHeight, "DaRowHeight", PresKind::Pixels},
    {pp::DaCellHeight, "DaCellHeight", PresKind::Pixels},
    {pp::DaAlignment, "DaAlignment", PresKind::Align},
    {pp::ColWidth, "ColWidth", PresKind::Number},
    {pp::HaFgClr, "HaFgClr", PresKind::Color},
    {pp::HaBgClr, "HaBgClr", PresKind::Color},
    {pp::HaCompoundName, "HaCompoundName", PresKind::Font},
    {pp::HaAlignment, "HaAlignment", PresKind::Align},
    {pp::HaHeight, "HaHeight", PresKind::Pixels},
    {pp::HaCaption, "HaCaption", PresKind::Text},
    {pp::FaFgClr, "FaFgClr", PresKind::Color},
    {pp::FaBgClr, "FaBgClr", PresKind::Color},
    {pp::FaCompoundName, "FaCompoundName", PresKind::Font},
    {pp::FaAlignment, "FaAlignment", PresKind::Align},
    {pp::FaHeight, "FaHeight", PresKind::Pixels},
    {pp::FaCaption, "FaCaption", PresKind::Text},
    {pp::Zebra, "Zebra", PresKind::Number},
    {pp::ZebraOddBgClr, "ZebraOddBgClr", PresKind::Color},
    {pp::ZebraOddFgClr, "ZebraOddFgClr", PresKind::Color},
    {pp::ZebraEvenBgClr, "ZebraEvenBgClr", PresKind::Color},
    {pp::ZebraReserved, "ZebraReserved", PresKind::Number},
    {pp::ZebraEvenFgClr, "ZebraEvenFgClr", PresKind::Color},
};

// A pair {id, value} with a numeric id; null for anything else.
const rt::Array* pairOfList(const rt::Value& v) noexcept
{
    if (!v.isArray())
        return nullptr;
    const rt::Array& p = v.asArray();
    return p.size() >= 2 && p.items[0].isNum() ? &p : nullptr;
}

bool sameId(const rt::Value& id, int want) noexcept { return id.isNum() && id.asDouble() == want; }
}  // namespace

int toQtAlignment(int flags) noexcept
{
    int a = (flags & align::Right) ? Qt::AlignRight : (flags & align::HCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
    a |= (flags & align::Bottom) ? Qt::AlignBottom : (flags & align::VCenter) ? Qt::AlignVCenter : Qt::AlignTop;
    if (flags & align::WordBreak)
        a |= Qt::TextWordWrap;
    return a;
}

std::span<const PresParamInfo> presParamTable() noexcept { return kTable; }

const PresParamInfo* presParamInfo(int id) noexcept
{
    const auto* it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                                      [](const PresParamInfo& e, int v) { return e.id < v; });
    return it != std::end(kTable) && it->id == id ? it : nullptr;
}

const rt::Value* presFind(const rt::Value& list, int id) noexcept
{
    if (!list.isArray())
        return nullptr;
    for (const rt::Value& item : list.asArray().items)
        if (const rt::Array* p = pairOfList(item); p && sameId(p->items[0], id))
            return &p->items[1];
    return nullptr;
}

rt::Value presGet(const rt::Value& list, int id, const rt::Value& def)
{
    const rt::Value* v = presFind(list, id);
    return v ? *v : def;
}

rt::Value presGetAny(const rt::Value& list, std::initializer_list<int> ids, const rt::Value& def)
{
    if (list.isArray())
        for (const rt::Value& item : list.asArray().items)
            if (const rt::Array* p = pairOfList(item))
                for (int id : ids)
                    if (sameId(p->items[0], id))
                        return p->items[1];
    return def;
}

std::optional<QColor> presColor(const rt::Value& list, int id)
{
    const rt::Value* v = presFind(list, id);
    return v ? colorOf(*v) : std::nullopt;
}

std::optional<QFont> presFont(const rt::Value& list, int id)
{
    const rt::Value* v = presFind(list, id);
    return v ? fontOf(*v) : std::nullopt;
}

std::optional<int> presInt(const rt::Value& list, int id)
{
    const rt::Value* v = presFind(list, id);
    if (!v || !v->isNum())
        return std::nullopt;
    return static_cast<int>(std::clamp<std::int64_t>(v->asInt(), INT32_MIN, INT32_MAX));
}

std::optional<QString> presText(const rt::Value& list, int id)
{
    const rt::Value* v = presFind(list, id);
    if (!v || !v->isChar())
        return std::nullopt;
    const auto s = v->asString();
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

rt::Value& presMerge(rt::Value& target, const rt::Value& source)
{
    if (!target.isArray() || !source.isArray())
        return target;
    // Source may be target itself: iterate over a snapshot.
    const std::vector<rt::Value> pairs = source.asArray().items;
    for (const rt::Value& item : pairs) {
        const rt::Array* p = pairOfList(item);
        if (!p)
            continue;
        bool found = false;
        for (rt::Value& t : target.asArray().items) {
            if (t.isArray() && !t.asArray().items.empty() && t.asArray().items[0].isNum() &&
                t.asArray().items[0].asDouble() == p->items[0].asDouble()) {
                if (t.asArray().size() < 2)
                    t.asArray().items.resize(2);
                t.asArray().items[1] = p->items[1];
                found = true;
                break;
            }
        }
        if (!found)
            target.asArray().items.push_back(rt::aClone(item));
    }
    return target;
}

void presSet(rt::Value& target, int id, const rt::Value& value)
{
    if (!target.isArray())
        target = rt::Value::array();
    const rt::Value pair = rt::makeArray({rt::Value(id), value});
    presMerge(target, rt::makeArray({pair}));
}

rt::Value presCopy(const rt::Value& list) { return list.isArray() ? rt::aClone(list) : rt::Value::array(); }

}  // namespace gui
