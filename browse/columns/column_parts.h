// Pieces of RK_XbpColumn shared by its constructor and its caption methods.
#pragma once

#include "platform/gui/xbppart.h"
#include "platform/runtime/block.h"
#include "platform/runtime/value.h"

namespace browse {

// Chr(255): the caption of a column without one in a browse with headers,
// so every column's header band keeps the same rows.
inline constexpr const char* kCaptionPlaceholder = "\xC3\xBF";

// Header or footer look from element slot 37 or 43: { foreground,
// background, font, height }, or a block in entry 1 that yields the colours.
struct CaptionLook {
    rt::Value block;   // entry 1 when it is a block
    rt::Value font;    // entry 3
    rt::Value height;  // entry 4
};
// Grows the slot's array to 4 entries, applies its numeric (or {r, g, b})
// colours to `group` and returns the rest.
CaptionLook readCaptionLook(const rt::Value& record, int slot, const rt::Value& group);
// A non-empty font and height given by a caption look.
void applyFontAndHeight(const rt::Value& group, const rt::Value& font, const rt::Value& height);

// The header mouse callback that sorts by its column:
// {|aPos, uMp2, oObj| oColumn:Sort(aPos, nColPos)}, nColPos the column's
// place in its browse at the click, so the block stays right whatever
// moves; while the column is out of the browse, the place it was made for.
// It holds its column weakly (the column's heading keeps the block).
class HeaderSortBlock final : public rt::Block {
public:
    HeaderSortBlock(const rt::Value& column, rt::Value colPos);
    rt::Value call(rt::Args a) override;
    [[nodiscard]] rt::Value column() const;  // NIL once the column is gone
    [[nodiscard]] rt::Value colPos() const;

private:
    gui::WeakPart column_;
    rt::Value madeFor_;
};

// _HeaderDown(oBrowse, oColumn, nColPos): a HeaderSortBlock; nColPos
// defaults to the browse's colCount now.
[[nodiscard]] rt::Value headerDown(const rt::Value& browse, const rt::Value& column, const rt::Value& colPos = {});

}  // namespace browse
