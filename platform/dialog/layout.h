// Reading element records, and their extent in text rows and columns.
// XCOL and the reader share these, so the column XCOL names is the one the
// element really ends at.
#pragma once

#include "platform/dialog/entry.h"
#include "platform/runtime/value.h"

#include <string>
#include <vector>

namespace dlg {

// Positions and sizes beyond this many rows or columns are cut to it: a
// stray number must not ask for a window of a million pixels.
inline constexpr double kMaxTextUnits = 1000.0;
// Columns an entry field adds to its characters for its frame and cursor.
inline constexpr double kEntryMarginCols = 2.0;
// Columns a button adds to its caption for its bevel.
inline constexpr double kButtonMarginCols = 2.0;
// Columns an entry's pop-up button takes at its right end.
inline constexpr double kPopupButtonCols = 2.0;
// Columns of a check box's mark before its caption.
inline constexpr double kCheckMarkCols = 3.0;
// A combo box without a width.
inline constexpr double kComboDefaultCols = 12.0;

// A slot of a record; NIL when the record is not an array or is shorter.
[[nodiscard]] const rt::Value& slotOf(const rt::Value& record, int slot) noexcept;
// A numeric slot cut to +-kMaxTextUnits; def when the slot holds another kind.
[[nodiscard]] double numberSlot(const rt::Value& record, int slot, double def) noexcept;
// Slot 1 as a whole number, 0 when it is not a number.
[[nodiscard]] int elementType(const rt::Value& record) noexcept;
// A text slot, "" for any other kind.
[[nodiscard]] std::string textSlot(const rt::Value& record, int slot);
// Button captions break into lines at ";".
[[nodiscard]] std::vector<std::string> captionLines(const rt::Value& record);

// A check box's caption: slot 23 { cCaption, NIL }, else slot 3.
[[nodiscard]] std::string checkBoxCaption(const rt::Value& record);
// An entry record with a pop-up block (slot 37, entry 1).
[[nodiscard]] bool hasPopupBlock(const rt::Value& record);

// The get/set block of an entry record (slot 4, else slot 31), or NIL.
[[nodiscard]] rt::Value entryBinding(const rt::Value& record);
// The format of an entry record; evaluates the get/set block for the
// value's kind and length.
[[nodiscard]] EntryFormat entryFormatOf(const rt::Value& record);

// Width and height in columns and rows: slots 9 and 10 when they hold
// numbers, else measured from the caption or the entry's length.
[[nodiscard]] double elementColumns(const rt::Value& record);
[[nodiscard]] double elementRows(const rt::Value& record);

}  // namespace dlg
