// Add-ons over the browse: a ready-made window over an SQL cursor, export of
// what a browse shows, and the accessor functions of array and object
// browses. Each function is also registered under its runtime name.
#pragma once

#include "platform/runtime/value.h"

#include <string>
#include <functional>
#include <string_view>
#include <vector>

namespace addons {

// ---- the SQL browse builder (sql_browse.cpp)

// RK_BrowseSQL(oCursor): a resizable window "SQL Browse" with one browse
// over the cursor and one sortable column per field; returns when the
// window is closed (.T.). .F. at once when oCursor is not an object.
// bCreated, when a block, is evaluated with the dialog once its elements
// exist (RK_ReadGUI's seventh argument).
bool browseSQL(const rt::Value& oCursor, const rt::Value& bCreated = {});
// The element list RK_BrowseSQL hands to the reader, and its dialog options;
// `browse` receives the browse once it exists.
[[nodiscard]] rt::Value sqlBrowseList(const rt::Value& oCursor, rt::Value& browseAnchor);
[[nodiscard]] rt::Value sqlBrowseOptions();
// SQLFieldBlock(oCursor, nField): a block that returns field nField of the
// cursor's current row.
[[nodiscard]] rt::Value sqlFieldBlock(const rt::Value& oCursor, const rt::Value& nField);
// SQLSortBlock(oBrowse, nField, nColumn): the column's sort block. oBrowse
// is the browse or a block that yields it (an anchor filled later); nField
// a field number or name (resolved once through fieldPos). Evaluated with
// (a, b, lDescend) it sorts the browse's data source on the field, text
// without regard to case, and returns the field number.
[[nodiscard]] rt::Value sqlSortBlock(const rt::Value& oBrowse, const rt::Value& nField, const rt::Value& nColumn = {});

// ---- export and accessors (export.cpp)

// RK_Browse2Dbf(oBrowse, cDbfName, aStru): writes the rows the browse shows,
// in its order, to a new table; .F. for a source that is neither an alias
// nor an array, or when aStru and the columns differ in number (nothing is
// created then). The table is written under a temporary name and renamed
// once complete, so a crash leaves no file or a whole table. It stays open
// in a new work area, which is the current one afterwards.
bool browse2Dbf(const rt::Value& oBrowse, const std::string& cDbfName, const rt::Value& aStru);
// The column values of every row the browse shows, top to bottom, handed to
// `row` one row at a time (the export's walk, for other formats).
void walkBrowse(const rt::Value& oBrowse, const std::function<void(const std::vector<rt::Value>&)>& row);
// RK_GetColArray(nElement, oBrowse, xVar)
[[nodiscard]] rt::Value getColArray(const rt::Value& nElement, const rt::Value& oBrowse, const rt::Value& xVar);
// RK_BrowseRow(oBrowse[, nElement])
[[nodiscard]] rt::Value browseRow(const rt::Value& oBrowse, const rt::Value& nElement = {});
// RK_GetBrowArray(oBrowse[, aArray])
[[nodiscard]] rt::Value getBrowArray(const rt::Value& oBrowse, const rt::Value& aArray = {});
// RK_ObjectVarBlock(cVar, nElement) and _ObjectAccess(u, oColumn, cVar, nElement).
[[nodiscard]] rt::Value objectVarBlock(const rt::Value& cVar, const rt::Value& nElement);
[[nodiscard]] rt::Value objectAccess(const rt::Value& u, const rt::Value& oColumn, const rt::Value& cVar,
                                     const rt::Value& nElement);

// ---- CSV (csv.cpp)

// One CSV line (RFC 4180, CRLF): text as is, numbers as plain text, dates
// yyyy-mm-dd, logicals true/false, NIL as an empty cell, the empty text as "".
[[nodiscard]] std::string csvLine(const std::vector<rt::Value>& cells);
[[nodiscard]] std::string csvHeader(const std::vector<std::string>& names);

// Registers the functions above under their runtime names (RK_BrowseSQL,
// SQLFieldBlock, SQLSortBlock, RK_Browse2Dbf, RK_GetColArray, RK_BrowseRow,
// RK_GetBrowArray, RK_ObjectVarBlock, _ObjectAccess), RK_BrowseQuery and
// _GetEvalBlock (query.h), the dialog library's panel and option functions,
// the browse library and PGCursor. Idempotent.
void registerAddons();

}  // namespace addons
