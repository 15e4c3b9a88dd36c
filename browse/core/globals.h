// The browse library's process-wide settings. Each accessor takes an
// optional new value and returns the value held before the call; called
// without an argument it only returns it. A browse reads them when it is
// constructed.
#pragma once

#include "platform/runtime/object.h"

namespace browse {

// RK_BrowseTrapErrors(xValue): a logical, false at start; a logical argument replaces it.
rt::Value browseTrapErrors(rt::Args a = {});
// RK_BrowseSort(aSort): the sort-look default array, always returned with
// 11 entries (11 NILs before anything was set); an array argument replaces it.
rt::Value browseSort(rt::Args a = {});
// RK_XbpBrowseDefault(oBrowDefault): the default configuration object; when
// none was set, a new RK_XbpBrowseConfig (not kept). An object replaces it.
rt::Value xbpBrowseDefault(rt::Args a = {});
// RK_BrowseConfigMessageBlock(bMsg): NIL until set; a block replaces it.
rt::Value browseConfigMessageBlock(rt::Args a = {});
// RK_GetWhenOnBrowseItemMarked(xValue): a logical; a logical replaces it.
rt::Value getWhenOnBrowseItemMarked(rt::Args a = {});
// RK_AutoRestoreBrowse(aParams): NIL until set; an array replaces it,
// resized to 3, entry 3 defaulting to .T. when not logical.
rt::Value autoRestoreBrowse(rt::Args a = {});

// RK_XbpBrowseConfig: the browse configuration object.
class XbpBrowseConfig final : public rt::Object {
public:
    XbpBrowseConfig();
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    // Init: the settings below, as a new object has them.
    void reset();
    rt::Value font;                      // NIL
    rt::Value presParam;                 // RK_BrowPres()
    rt::Value useVisualStyleBrowse;      // .F.
    rt::Value useVisualStyleScrollBars;  // .T.
};

// Registers the accessors and the class RK_XbpBrowseConfig.
void registerGlobals();

// Resets every setting to its start value (for tests).
void resetGlobals();

}  // namespace browse
