// The dialog library's functions, registered by name for compiled text.
#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"

#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <cstdint>

namespace dlg {

namespace {

int wholeArg(rt::Args a, std::size_t i, const char* op)
{
    return int(std::clamp<std::int64_t>(rt::clampToInt(rt::numArg(a, i, op).asDouble()), INT32_MIN, INT32_MAX));
}

rt::Value fnGetTemplate(rt::Args a)
{
    const rt::Value& sub = rt::argAt(a, 1);
    return getTemplate(wholeArg(a, 0, "RK_GetTemplate"), sub.isNum() ? sub : rt::Value());
}

rt::Value fnGetListSet(rt::Args a)
{
    getListSet(rt::argAt(a, 0), wholeArg(a, 1, "RK_GetListSet"), rt::argAt(a, 2));
    return rt::argAt(a, 2);
}

// RK_GetAnchorCB(xVar, cKind, xValue, cPicture, , , , cName): compiled text
// has no references, so the variable is a get/set block of its own, or the
// program-wide variable named by cName (or by xVar as a text).
rt::Value fnGetAnchorCB(rt::Args a)
{
    const rt::Value& var = rt::argAt(a, 0);
    if (var.isBlock()) {
        const rt::Value& name = rt::argAt(a, 7);
        return getAnchorCB([var] { return rt::evalWith(var); }, [var](const rt::Value& v) { rt::evalWith(var, v); },
                           name.isChar() ? name.str() : std::string());
    }
    if (const rt::Value& name = rt::argAt(a, 7); name.isChar() && !rt::alltrim(name.asString()).empty())
        return publicAnchorCB(name.asString());
    if (var.isChar() && !rt::alltrim(var.asString()).empty())
        return publicAnchorCB(var.asString());
    rt::raiseArg("RK_GetAnchorCB", a);
}

rt::Value fnGetIdDefault(rt::Args a)
{
    const rt::Value& name = rt::argAt(a, 1);
    const rt::Value& prefix = rt::argAt(a, 2);
    if ((!name.isNil() && !name.isChar()) || (!prefix.isNil() && !prefix.isChar()))
        rt::raiseArg("RK_GetIdDefault", a);
    return getIdDefault(rt::argAt(a, 0), name.isChar() ? name.asString() : std::string_view(),
                        prefix.isChar() ? prefix.asString() : std::string_view());
}

rt::Value fnReadGui(rt::Args a) { return readGui(a); }

rt::Value fnReadGuiEvent(rt::Args a)
{
    return readGuiEvent(wholeArg(a, 0, "RK_ReadGuiEvent"), rt::argAt(a, 1));
}

rt::Value fnXcol(rt::Args a) { return xcol(rt::argAt(a, 0)); }

rt::Value fnGetObject(rt::Args a)
{
    const rt::Value& id = rt::argAt(a, 1);
    return id.isChar() ? getObject(rt::argAt(a, 0), id.asString()) : rt::Value();
}

// RK_GetRefresh(GetList, NIL, nMode, aSkipTypes)
rt::Value fnGetRefresh(rt::Args a)
{
    const rt::Value& mode = rt::argAt(a, 2);
    return getRefresh(rt::argAt(a, 0), mode.isNum() ? int(mode.asInt()) : 4, rt::argAt(a, 3));
}

rt::Value fnReadGuiLastKey(rt::Args a)
{
    const rt::Value& key = rt::argAt(a, 1);
    return readGuiLastKey(rt::argAt(a, 0), key.isNum() ? std::optional<int>(int(key.asInt())) : std::nullopt);
}

// RK_ReadVar(bGetSet, xNew, NIL, lLogical)
rt::Value fnReadVar(rt::Args a) { return readVar(rt::argAt(a, 0), rt::argAt(a, 1), rt::isTrue(rt::argAt(a, 3))); }

rt::Value fnPopDate(rt::Args a) { return popDate(rt::argAt(a, 0)); }

rt::Value fnBitMapDraw(rt::Args a) { return bitMapDraw(rt::argAt(a, 0), rt::argAt(a, 1)); }

}  // namespace

void registerDialogFunctions()
{
    rt::registerFunction("RK_GetTemplate", fnGetTemplate);
    rt::registerFunction("RK_GetListSet", fnGetListSet);
    rt::registerFunction("RK_GetAnchorCB", fnGetAnchorCB);
    rt::registerFunction("RK_GetIdDefault", fnGetIdDefault);
    rt::registerFunction("RK_ReadGUI", fnReadGui);
    rt::registerFunction("RK_ReadGuiEvent", fnReadGuiEvent);
    rt::registerFunction("RK_GetObject", fnGetObject);
    rt::registerFunction("RK_GetRefresh", fnGetRefresh);
    rt::registerFunction("RK_ReadGuiLastKey", fnReadGuiLastKey);
    rt::registerFunction("RK_ReadVar", fnReadVar);
    rt::registerFunction("RK_PopDate", fnPopDate);
    rt::registerFunction("RK_BitMapDraw", fnBitMapDraw);
    rt::registerFunction("XCOL", fnXcol);
    registerLibraryFunctions();
}

}  // namespace dlg
