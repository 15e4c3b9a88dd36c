// RK_XbpOwnerDrawBrowseGeneric: a browse that paints its cells itself. A
// cell value is a string (drawn over the cell with the column's alignment)
// or an array of line descriptions, each placing a text, an icon or a
// bitmap in the cell with its own font, colours and alignment:
//
//   { caption, x, y (down from the cell top), width, height, font,
//     font while selected, foreground, background, alignment }
//
// A caption ending in .ICO, .BMP, .JPG, .PNG or .GIF is a picture file:
// decoded once and kept (a bounded cache), so painting never reads files
// again; a file that cannot be read leaves its line empty. A failing line
// ends the painting of its cell only.
#pragma once

#include "browse/core/browse.h"

namespace browse {

class RK_XbpOwnerDrawBrowseGeneric : public RK_XbpBrowse {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    // init(oParent, oOwner, aPos, aSize, aPP, lVisible, oGetList).
    rt::Value init(rt::Args a) override;
    // create(...): the fonts, the browse, then the cell height (pair 109).
    rt::Value create(rt::Args a) override;
    // .F. when the cell was painted here (or painting failed: reported once
    // until a cell paints again), .T. when lOwnerDraw is off and the
    // platform draws it.
    rt::Value CustomDrawCell(const rt::Value& oPS, const rt::Value& aInfo);

    // Instance variables (the first nine are not exported).
    rt::Value oIcon, oBitmap, aLineAttrs, aBoxAttrs, oStdFont, oBoldFont, oBoldItalicFont, oFont, oSelectedFont;
    rt::Value lOwnerDraw, nLineHeight, nCellHeight;
    rt::Value stdFontCompoundName, boldFontCompoundName, boldItalicFontCompoundName;

private:
    bool drawFailing_ = false;
};

// The picture cache's size limit (decoded images kept).
inline constexpr std::size_t kPictureCacheSize = 256;
// Pictures decoded since the start (tests check that a repaint reads none).
[[nodiscard]] std::size_t picturesDecoded() noexcept;

void registerOwnerDrawBrowse();

}  // namespace browse
