// Registration of the pop-up library's functions.
#include "platform/popup/popup.h"

#include "platform/runtime/functions.h"

namespace popup {

namespace {

rt::Value fnBrowPres(rt::Args a) { return sqlBrowPres(rt::argAt(a, 0)); }
rt::Value fnBrowseZebra(rt::Args a) { return sqlBrowseZebra(rt::argAt(a, 0)); }

}  // namespace

void registerPopupFunctions()
{
    rt::registerFunction("XbToolsBar", &xbToolsBar);
    rt::registerFunction("XbBitmap", &xbBitmap);
    rt::registerFunction("SQLBrowPres", &fnBrowPres);
    rt::registerFunction("SQLBrowseZebra", &fnBrowseZebra);
    rt::registerFunction("xbPopBrowse", &xbPopBrowse);
}

}  // namespace popup
