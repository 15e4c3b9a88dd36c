// The add-ons' runtime names.
#include "browse/addons/addons.h"

#include "browse/core/browse.h"

#include "browse/addons/query.h"

#include "platform/dialog/dialog_options.h"
#include "platform/dialog/panel.h"
#include "platform/pgsql/cursor.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

namespace addons {

namespace {

using rt::Args;
using rt::Value;

Value fnBrowseSQL(Args a) { return Value(browseSQL(rt::argAt(a, 0))); }
Value fnSQLFieldBlock(Args a) { return sqlFieldBlock(rt::argAt(a, 0), rt::argAt(a, 1)); }
Value fnSQLSortBlock(Args a) { return sqlSortBlock(rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2)); }

Value fnBrowse2Dbf(Args a)
{
    const Value& name = rt::argAt(a, 1);
    if (!name.isChar())
        rt::raiseArg("RK_Browse2Dbf", a);
    return Value(browse2Dbf(rt::argAt(a, 0), name.str(), rt::argAt(a, 2)));
}

Value fnGetColArray(Args a) { return getColArray(rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2)); }
Value fnBrowseRow(Args a) { return browseRow(rt::argAt(a, 0), rt::argAt(a, 1)); }
Value fnGetBrowArray(Args a) { return getBrowArray(rt::argAt(a, 0), rt::argAt(a, 1)); }
Value fnObjectVarBlock(Args a) { return objectVarBlock(rt::argAt(a, 0), rt::argAt(a, 1)); }
Value fnObjectAccess(Args a) { return objectAccess(rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2), rt::argAt(a, 3)); }

}  // namespace

void registerAddons()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    browse::registerBrowseLibrary();
    dlg::registerDialogOptionFunctions();
    dlg::registerPanelFunctions();
    registerQueryFunctions();
    pgsql::registerCursorFunctions();
    rt::registerFunction("RK_BrowseSQL", fnBrowseSQL);
    rt::registerFunction("SQLFieldBlock", fnSQLFieldBlock);
    rt::registerFunction("SQLSortBlock", fnSQLSortBlock);
    rt::registerFunction("RK_Browse2Dbf", fnBrowse2Dbf);
    rt::registerFunction("RK_GetColArray", fnGetColArray);
    rt::registerFunction("RK_BrowseRow", fnBrowseRow);
    rt::registerFunction("RK_GetBrowArray", fnGetBrowArray);
    rt::registerFunction("RK_ObjectVarBlock", fnObjectVarBlock);
    rt::registerFunction("_ObjectAccess", fnObjectAccess);
}

}  // namespace addons
