// The in-cell editor of a browse, and its other cell operations.
//
// RK_BrowCellBlock(oBrowse, nMode, ...): a block that runs operation nMode
// on the browse: 3 appends a row (a blank record, or an array row of blank
// values shaped like the first) and edits its cell; 4 deletes the current
// row once the user confirms (a record is marked deleted, an array row
// removed); any other mode edits the current cell.
//
// RK_BrowCellEdit(oBrowse, ...14 arguments): edits the current cell; with
// argument 13 true the edit starts only when argument 14 (the key filter's
// answer) is true. The editor opens over the cell in the column's font and
// alignment with the cell's text (its picture applied) selected, so typing
// replaces it. Enter or Tab writes the value and moves on (down, right);
// Escape closes it and writes nothing; leaving it by a click writes. The
// browse's isCellEditing is .T. while it is open.
//
// Writing goes through the column's data block, evaluated with the new
// value. Over a work area the record is locked first (across processes, for
// a shared table), read again, written and committed; a table that cannot
// be written (read-only, or with a structural index) is refused with a
// message. Over an object with RecordPut the object writes the record
// after the block; a false answer is reported. A value that does not
// convert to the cell's kind is refused and the editor stays open.
#pragma once

#include "platform/runtime/value.h"

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace dbf {
class WorkArea;
}

namespace dlg {

// Opens the editor on the browse's current cell; false when the browse has
// no window, no column or no row there.
bool browCellEdit(const rt::Value& browse);
bool appendRow(const rt::Value& browse);
bool deleteRow(const rt::Value& browse);
// The open editor of a browse, or null (for tests).
[[nodiscard]] QWidget* cellEditor(const rt::Value& browse);

// Runs `write` on record `recno` of the area (0: an append) under a lock
// that other programs writing the same way respect, with the record read
// again from the file first and committed after. False, with the message
// shown, when the table cannot be written, the lock is not had within a
// few seconds, the record is no longer `asRead` (another program wrote it
// since it was read), or the write raised (the record is then left as it was).
struct RecordAsRead {
    std::uint32_t recno = 0;  // 0: nothing read
    std::string bytes;        // the record's bytes when read
};
bool lockedWrite(dbf::WorkArea& area, std::uint32_t recno, const std::function<void()>& write,
                 const RecordAsRead* asRead = nullptr);

// Registers RK_BrowCellBlock and RK_BrowCellEdit.
void registerCellEditFunctions();

}  // namespace dlg
