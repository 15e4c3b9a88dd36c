// Table handles: the numeric handles through which the table-handle kind
// of browse data source navigates. A handle names one open work area of
// this engine; it stays valid while that area holds the table it was given
// for and is refused once the area is closed or holds another table.
//
// Registered functions (names are case-insensitive):
//   AdsGetTableHandle([cAlias])   the handle of an alias's area (NIL: the
//                                 current area); the same number while the
//                                 area stays open. Raises "Alias does not exist".
//   AdsGotoTop(h), AdsGotoBottom(h)          first / last record of the view; 0
//   AdsGetRecordNum(h[, nMode[, aCell]])     the current record number, 0 on
//                                 the phantom record. The language has no
//                                 parameters by reference: the number is
//                                 returned, and when aCell is an array its
//                                 first entry receives it too. nMode 1
//                                 (ignore filters) and 2 (respect filters,
//                                 the default) give the same number.
//   RK_AdsSkipper(h, n)           moves n records of the view; the records moved
//   RK_AdsPosition(h)             1..100 over the view (100 on the phantom)
//   RK_AdsGoPosition(h, n)        moves to position n of that scale
// Every function given a number that is no live handle raises "Invalid
// table handle" (subsystem DBF) naming the function and the number.
#pragma once

#include "workarea.h"

#include <cstdint>

namespace dbf {

// The handle of an open area (the same one on every call while it is open).
[[nodiscard]] std::int64_t tableHandle(WorkArea& area);
// The area a handle names, or null when it is no live handle.
[[nodiscard]] WorkArea* handleArea(std::int64_t handle) noexcept;
// The area of handle value h; raises "Invalid table handle" naming op.
WorkArea& requireHandleArea(const rt::Value& h, const char* op);

// Registers the functions above (called by registerDbfFunctions).
void registerAdsFunctions();

}  // namespace dbf
