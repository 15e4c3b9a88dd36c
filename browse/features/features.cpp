// The features table of the browse core, filled with this library's methods.
#include "browse/features/features.h"

#include "browse/core/browse.h"
#include "browse/core/features.h"

#include "platform/dialog/cell_editor.h"
#include "platform/dialog/hotkeys.h"
#include "platform/dialog/storage.h"

namespace browse {

void registerBrowseFeatures()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    Features f;
    f.tag = &tag;
    f.cellEditSetup = &cellEditSetup;
    f.cellEditMode = &cellEditMode;
    f.cellEdit = &cellEdit;
    f.itemRbDown = &itemRbDown;
    f.moveColumn = &moveColumn;
    f.fitColumns = &fitColumns;
    f.resizeColumns = &resizeColumns;
    f.optimize = &optimize;
    f.optimizeColumn = [](RK_XbpBrowse&, rt::Args a) { return optimizeColumn(rt::argAt(a, 2)); };
    f.resize = &resize;
    f.setSize = &setSize;
    f.save = &save;
    f.restore = &restore;
    f.restoreDefaults = &restoreDefaults;
    f.restoreLayout = &restoreLayout;
    f.autoSave = &autoSave;
    setFeatures(f);
    dlg::registerHotKeyFunctions();
    dlg::registerCellEditFunctions();
    dlg::registerStorageFunctions();
}

}  // namespace browse
