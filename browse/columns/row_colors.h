// Row colours: tagged, marked and zebra-striped rows. The functions work on
// any browse value by member name (tagEnable, tagElement, tagColorFG,
// tagColorBG, arrayElement, dataSource, nBrow, lBrow, evenRow, browseColor,
// browsePres, mark, markColorBlock, ownerDrawBlock); RK_XbpBrowse exposes
// them as its methods RowColor, ZebraColor and CustomDrawCell.
#pragma once

#include "platform/runtime/value.h"

namespace browse {

// _RowColor(oBrowse, aOptions, aColor, xData, bColorBlock): the browse's row
// colour block, or NIL.
[[nodiscard]] rt::Value makeRowColorBlock(const rt::Value& browse, const rt::Value& options, const rt::Value& color,
                                          const rt::Value& data, const rt::Value& colorBlock);
// True for a block made by makeRowColorBlock (not the element's own colour
// block it may hand back): its value does not depend on its arguments.
[[nodiscard]] bool isRowColorBlock(const rt::Value& block);
// RowColor(): the colour pair of the current row.
rt::Value rowColor(const rt::Value& browse);
// ZebraColor(uEven, aOdd): a 4-entry colour array for the current row.
rt::Value zebraColor(const rt::Value& browse, const rt::Value& even, const rt::Value& odd);
// CustomDrawCell(oPS, aInfo): the owner-draw block's result, else .T.
rt::Value customDrawCell(const rt::Value& browse, const rt::Value& ps, const rt::Value& info);
// RK_BrowseColor(aColor): returns the previous global default; an array is
// stored (sized to 4, {r, g, b} entries turned into colour numbers), a
// single NIL argument clears it.
rt::Value browseColor(rt::Args a);

// Registers RK_BrowseColor.
void registerRowColorFunctions();

// Clears the global default (for tests).
void resetBrowseColor();

}  // namespace browse
