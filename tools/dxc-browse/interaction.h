// dxc-browse's tagging, copying and in-place editing.
#pragma once

#include "platform/runtime/value.h"

#include <string>

namespace dxcb {

// Tagging on (Space, Shift+Up/Down, Ctrl and Shift clicks, Ctrl drags over
// array rows, Shift+Insert, Shift+Delete) in the tag colours; with `edit`
// also in-place editing: Enter edits the current cell, Insert appends a
// row, Delete deletes the current one after a confirmation.
void enableInteraction(rt::Value& browseRecord, bool edit, bool array);

// The layout (column order and widths) of the table's browse is kept in
// the user's settings when the window closes and comes back the next time;
// `reset` forgets it and starts from the designed columns.
void keepLayout(rt::Value& browseRecord, const std::string& tablePath, bool reset);

// The browse's keys of this file; true when the key was one (Ctrl+C copies
// the tagged rows, or the current one, to the clipboard; Ctrl+Shift+Left
// and Ctrl+Shift+Right move the current column).
bool interactionKey(const rt::Value& browse, long long key);

// The rows a copy takes, as text: a header line of captions, then one line
// per row, tab-separated, in the browse's column order, values as shown.
[[nodiscard]] std::string copiedRows(const rt::Value& browse);

// Tagged rows of the browse, for the position line.
[[nodiscard]] long long taggedRows(const rt::Value& browse);

}  // namespace dxcb
