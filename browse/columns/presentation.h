// Presentation lists (arrays of {id, value} pairs) and the column's value
// and colour block builders.
#pragma once

#include "platform/runtime/value.h"

namespace browse {

// RK_MergePresentation(aTarget, aSource): each pair of aSource replaces the
// value of the first pair of aTarget with its id, or is appended as a copy.
// Only when both are arrays. Returns aTarget.
rt::Value mergePresentation(const rt::Value& target, const rt::Value& source);
// RK_GetPresentation(aPres, nId, uDefault): the value of the first pair
// whose id is exactly nId, else uDefault.
[[nodiscard]] rt::Value getPresentation(const rt::Value& pres, long long id, const rt::Value& def);
// True when the list holds a pair with id nId.
[[nodiscard]] bool hasPresentation(const rt::Value& pres, long long id);
// _Pres(aPres): a block's result, any other value unchanged.
[[nodiscard]] rt::Value presOf(const rt::Value& pres);
// _ColPicture(bBlock, bcPicture, oRecord, oColumn): a data link that formats
// the value through the picture (NIL: as many spaces as the picture is long).
[[nodiscard]] rt::Value colPicture(const rt::Value& block, const rt::Value& picture, const rt::Value& record,
                                   const rt::Value& column);
// _ColorBlock(aColor): for a 2-entry array, its entry 1 when a block, else a
// block returning the array; NIL otherwise.
[[nodiscard]] rt::Value colorBlockOf(const rt::Value& color);

// The alignment a column gives its cells, for the cell painting of
// multi-line and owner-drawn cells: the value of the first pair of its
// presArray whose id is 10 or 110, else `def`.
[[nodiscard]] rt::Value cellAlignment(const rt::Value& column, const rt::Value& def);

// Registers RK_MergePresentation and RK_GetPresentation.
void registerPresentationFunctions();

}  // namespace browse
