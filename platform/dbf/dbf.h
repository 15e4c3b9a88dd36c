// The DBF engine as compiled text sees it: the work-area and order
// functions of the runtime, the dialog library's scoped work-area and
// record-tag functions, and field names in expressions.
//
// Registered functions (names are case-insensitive):
//   engines     DbeLoad, DbeSetDefault, RK_LoadRdds ("FOXCDX" is the one engine)
//   areas       DbUseArea, DbSelectArea, Select, Alias, Used, DbCloseArea, DbCloseAll
//   structure   DbStruct, DbCreate, FCount, FieldName, FieldPos
//   records     FieldGet, FieldPut, DbAppend, DbDelete, DbRecall, Deleted, DbCommit,
//               DbRLock, DbRUnlock, DbRLockList, DbUnlock
//   moves       DbGoTop, DbGoBottom, DbSkip, DbGoto, DbSkipper, DbPosition, DbGoPosition,
//               DbSetDescend, RecNo, RecCount, LastRec, Eof, Bof, Found
//   orders      OrdCreate, OrdSetFocus, OrdNumber, OrdName, OrdKey, OrdCount, OrdDestroy,
//               OrdKeyNo, OrdKeyCount, DbSeek, DbScope
//   switches    SetDeleted([lHide]): deleted records hidden from moves; returns the previous setting
//   library     RK_DbSkipper, RK_DbGoTop, RK_DbGoBottom, RK_DbSkip, RK_DbGoTo, RK_Bof, RK_Eof,
//               RK_KeyNo, RK_KeyNo32k, RK_KeyCount32k, RK_DbPosition, RK_DbGoPosition,
//               RK_ScopeExpress, RK_SetScope, RK_ClrScope, RK_SetScopeArray, RK_AddRec,
//               RK_RecTagToggle, RK_RecTagClear, RK_RecTagArray, RK_Tagged
//
// There is one key scope per work area, the dialog library's (RK_SetScope);
// the engine has no scope of its own, so DbScope() always answers NIL.
#pragma once

#include "workarea.h"

namespace dbf {

// Registers every function above and installs the field hooks, so that a
// bare name finds a field of the current work area and alias->field and
// alias->(expr) work. Idempotent.
void registerDbfFunctions();

// RK_LoadRdds(): loads the engines the dialog library opens tables with
// (FOXCDX); true when they are loaded.
bool loadRdds();
// DbStruct(): the current work area's fields as {name, type, len, dec}
// rows; an empty array when no area is selected.
[[nodiscard]] rt::Value dbStruct();

namespace detail {
void registerWorkAreaLibrary();  // rk_workarea.cpp: the RK_ family
}

}  // namespace dbf
