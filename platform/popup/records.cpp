// Record helpers of the pop-up library.
#include "platform/popup/records.h"

#include "platform/dialog/dialog.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

#include <cstdio>

namespace popup::detail {

void push(const rt::Value& getList, int type, const rt::Value& subType, const char* op)
{
    if (!getList.isArray())
        rt::raise("Argument error", op, {getList});
    getList.asArray().items.push_back(dlg::getTemplate(type, subType));
}

void set(const rt::Value& getList, int slot, const rt::Value& value) { dlg::getListSet(getList, slot, value); }

namespace {
std::string num(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}
}  // namespace

void setSource(const rt::Value& getList, std::string_view typeName, std::string_view binding, double row, double col,
               double width, double height)
{
    set(getList, dlg::slot::Source,
        rt::makeArray({rt::Value(typeName), {}, {}, binding.empty() ? rt::Value() : rt::Value(binding),
                       rt::Value(num(row)), rt::Value(num(col)), rt::Value(width > 0 ? num(width) : ""),
                       rt::Value(height > 0 ? num(height) : "")}));
}

rt::Value dataOf(const rt::Value& xData) { return xData.isBlock() ? rt::evalWith(xData) : xData; }

std::string memberName(std::string_view expr)
{
    std::string s = rt::alltrim(expr);
    if (const auto dot = s.rfind('.'); dot != std::string::npos)
        s = s.substr(dot + 1);
    return rt::lower(rt::alltrim(s));
}

std::string displayText(const rt::Value& v)
{
    if (v.isNil() || v.isArray() || v.isBlock() || v.isObject())
        return {};
    return rt::rtrim(rt::transform(v, ""));
}

}  // namespace popup::detail
