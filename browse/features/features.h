// The browse's interaction features: row tagging, cell editing, column
// layout and layout persistence, as methods of RK_XbpBrowse.
#pragma once

#include "platform/runtime/value.h"

#include <functional>

namespace browse {

class RK_XbpBrowse;

// Fills the core's features table and registers the dialog-library
// functions the features use; idempotent. Call after registerBrowseLibrary.
void registerBrowseFeatures();

// --- row tagging (tagging.cpp)
// Tag(oCell, mp1, nKey): the one entry of every tagging input.
rt::Value tag(RK_XbpBrowse& b, rt::Args a);
// The Shift range of Tag (from the anchor to the current row) without the
// modifier query: for callers that know Shift is meant.
void tagRange(RK_XbpBrowse& b);
// The number of tagged rows of the browse's data source (0 for a kind
// that carries no tags).
[[nodiscard]] long long taggedCount(const RK_XbpBrowse& b);
// Makes each tagged row current in turn, in the order the browse shows
// them (the view of a work area, turned round when the browse is
// descending; the rows of an array), and calls `row`; then the row that was
// current is current again. Returns the rows visited.
long long forEachTagged(RK_XbpBrowse& b, const std::function<void()>& row);

// --- cell editing (cell_edit.cpp)
rt::Value cellEditSetup(RK_XbpBrowse& b, rt::Args a);
rt::Value cellEditMode(RK_XbpBrowse& b, rt::Args a);
rt::Value cellEdit(RK_XbpBrowse& b, rt::Args a);
rt::Value itemRbDown(RK_XbpBrowse& b, rt::Args a);

// --- column layout (layout.cpp)
rt::Value moveColumn(RK_XbpBrowse& b, rt::Args a);
rt::Value fitColumns(RK_XbpBrowse& b, rt::Args a);
rt::Value resizeColumns(RK_XbpBrowse& b, rt::Args a);
rt::Value optimize(RK_XbpBrowse& b, rt::Args a);
// _Optimize(a, b, o): o a column's heading cell group.
rt::Value optimizeColumn(const rt::Value& heading);
rt::Value resize(RK_XbpBrowse& b, rt::Args a);
rt::Value setSize(RK_XbpBrowse& b, rt::Args a);

// --- layout persistence (persistence.cpp)
rt::Value save(RK_XbpBrowse& b, rt::Args a);
rt::Value restore(RK_XbpBrowse& b, rt::Args a);
rt::Value restoreDefaults(RK_XbpBrowse& b, rt::Args a);
void restoreLayout(RK_XbpBrowse& b);
void autoSave(RK_XbpBrowse& b);

}  // namespace browse
