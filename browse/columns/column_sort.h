// Header sorting: the look of the headers, and ready sort blocks for the
// data sources a dialog uses.
//
// A sort block is evaluated by RK_XbpColumn:Sort with (aPos, nColPos,
// oBrowse), or for an SQL cursor source with (aPos, nColPos, lDescending).
// It reorders the data and answers .F. to cancel the click.
#pragma once

#include "platform/runtime/value.h"

#include <string>

namespace browse {

// The cargo of the arrow static in a sorted column's heading.
inline constexpr const char* kSortArrowCargo = "SortArrow";

// The sorted column gets the selected look and its arrow; the others the
// unselected or non-selectable look (only when the sorted column changes).
// Sets the browse's sortColumn.
void markSorted(const rt::Value& browse, const rt::Value& colPos);
// Destroys every arrow static of a created heading.
void removeArrows(const rt::Value& heading);
// SortClear: non-selectable colours on every header, no arrows.
void sortClear(const rt::Value& browse);

// RK_ArraySortBlock([nElement]): sorts the browse's array of rows, stably,
// on element nElement of each row (default: the element the sorted column
// shows); text is compared in the user's collation; the browse's
// `descending` gives the direction.
[[nodiscard]] rt::Value arraySortBlock(const rt::Value& element);
// RK_AliasSortBlock(cKey): gives the browse's work area an order on the
// field or key expression cKey (a character field is ordered in the user's
// collation, platform/runtime/collation.h), built in memory on first use
// and kept; the current record stays current. The browse's `descending`
// gives the direction.
[[nodiscard]] rt::Value aliasSortBlock(const std::string& key);
// The same on the field at a position (from 1), whatever its name.
[[nodiscard]] rt::Value aliasFieldSortBlock(int field);
// RK_DataObjectSortBlock(oData, cColumn): the data object orders by the
// column on the server (its `sort`); its answer is the block's.
[[nodiscard]] rt::Value dataObjectSortBlock(const rt::Value& data, const std::string& column);

// Registers RK_ArraySortBlock, RK_AliasSortBlock, RK_DataObjectSortBlock.
void registerSortFunctions();

}  // namespace browse
