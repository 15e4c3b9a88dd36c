// The browse's interaction features (row tagging, cell editing, column
// layout, layout persistence) are built above the core, which calls them
// through this table. Until a library fills an entry, the browse method it
// stands for keeps the platform's behaviour (or does nothing and returns
// the browse).
#pragma once

#include "platform/runtime/value.h"

namespace browse {

class RK_XbpBrowse;

struct Features {
    using Method = rt::Value (*)(RK_XbpBrowse&, rt::Args);
    using Step = void (*)(RK_XbpBrowse&);

    Method tag = nullptr;
    Method cellEditSetup = nullptr;
    Method cellEditMode = nullptr;
    Method cellEdit = nullptr;
    Method itemRbDown = nullptr;
    Method moveColumn = nullptr;
    Method fitColumns = nullptr;
    Method resizeColumns = nullptr;
    Method optimize = nullptr;
    Method resize = nullptr;
    Method setSize = nullptr;
    Method save = nullptr;
    Method restore = nullptr;
    Method restoreDefaults = nullptr;
    // _Optimize(a, b, oHeading): a heading double-click.
    Method optimizeColumn = nullptr;
    // Construction, before the columns exist: the saved layout rewrites the
    // column records.
    Step restoreLayout = nullptr;
    // Destroy, before the window goes: the layout is stored.
    Step autoSave = nullptr;
};

// The table in use; every browse built afterwards uses it.
void setFeatures(const Features& f);
[[nodiscard]] const Features& features();

}  // namespace browse
