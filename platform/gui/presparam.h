// Presentation parameters: the look of a window object given as a
// presentation list { {id, value}, ... } of pairs with numeric ids.
//
// Window objects read the general ids (1 to 99) when they are created or
// get setPresParam; the grid reads the browse and column ids (101 to 155)
// from the lists handed to XbpBrowse and XbpColumn. The dialog library's
// zebra ids (150 to 155) are read by the browse library, not by the grid.
// Colours are colour numbers (color.h) or {r, g, b} arrays; fonts are
// compound names (font.h); sizes are pixels; -1 means automatic.
#pragma once

#include "platform/runtime/value.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>
#include <span>
#include <string_view>

namespace gui {

namespace pp {
// --- any window object
constexpr int FgClr = 2;             // text colour
constexpr int BgClr = 3;             // background colour
constexpr int DisabledFgClr = 4;     // text colour while disabled
constexpr int DisabledBgClr = 5;     // background colour while disabled
constexpr int HiliteFgClr = 6;       // text colour of selected items
constexpr int HiliteBgClr = 8;       // background of selected items
constexpr int Alignment = 10;        // text alignment (align:: flags)
constexpr int CompoundName = 15;     // font compound name ("10.Tahoma Bold")

// --- grid, data area of the browse and of each column
constexpr int DaFgClr = 101;         // cell text colour
constexpr int DaBgClr = 102;         // cell background
constexpr int DaHiliteFgClr = 103;   // text colour of the cursor row
constexpr int DaHiliteBgClr = 104;   // background of the cursor row
constexpr int DaCompoundName = 105;  // font of the cells
constexpr int DaCellWidth = 106;     // cell width in pixels (wins over ColWidth)
constexpr int DaRowHeight = 107;     // row height in pixels, -1 from the font
constexpr int DaCellHeight = 109;    // cell height in pixels (owner drawing), default the row height
constexpr int DaAlignment = 110;     // alignment of the cell text (align:: flags)
constexpr int ColWidth = 116;        // column width in characters of the cell font, unless DaCellWidth is given

// --- grid, heading area
constexpr int HaFgClr = 117;         // heading text colour
constexpr int HaBgClr = 118;         // heading background
constexpr int HaCompoundName = 119;  // heading font
constexpr int HaAlignment = 121;     // heading caption alignment (align:: flags)
constexpr int HaHeight = 122;        // heading height in pixels, -1 from the font and caption lines
constexpr int HaCaption = 123;       // first heading caption line

// --- grid, footing area
constexpr int FaFgClr = 124;         // footing text colour
constexpr int FaBgClr = 125;         // footing background
constexpr int FaCompoundName = 126;  // footing font
constexpr int FaAlignment = 128;     // footing caption alignment
constexpr int FaHeight = 129;        // footing height in pixels, -1 automatic
constexpr int FaCaption = 130;       // first footing caption line

// --- zebra stripes of the browse library (read when the browse is built)
constexpr int Zebra = 150;           // > 0: stripe the rows
constexpr int ZebraOddBgClr = 151;   // default clr::Background
constexpr int ZebraOddFgClr = 152;   // default clr::Blue
constexpr int ZebraEvenBgClr = 153;  // default clr::Neutral
constexpr int ZebraReserved = 154;   // kept in the list, read by nothing
constexpr int ZebraEvenFgClr = 155;  // default clr::Background
}  // namespace pp

// Text alignment flags, for pp::Alignment, pp::DaAlignment, pp::HaAlignment,
// pp::FaAlignment, XbpStatic options and GraCaptionStr. Bit n (value
// 2^(n-1)) is what a bit test numbered from 1 sees: bit 1 centre, bit 2
// right, bit 3 vertical centre, bit 4 bottom; 0 is left and top.
namespace align {
constexpr int Left = 0;
constexpr int HCenter = 1;
constexpr int Right = 2;
constexpr int Top = 0;
constexpr int VCenter = 4;
constexpr int Bottom = 8;
constexpr int WordBreak = 16;  // GraCaptionStr and text statics: wrap at word ends
}  // namespace align
// The Qt::Alignment (and word wrap) of a flag combination.
[[nodiscard]] int toQtAlignment(int flags) noexcept;

// What a presentation value holds; the table tells readers how to apply it.
enum class PresKind { Color, Font, Pixels, Align, Text, Number };

struct PresParamInfo {
    int id;
    const char* name;  // the id's name as above, "DaFgClr"
    PresKind kind;
};
// Every id above, ascending.
[[nodiscard]] std::span<const PresParamInfo> presParamTable() noexcept;
// The entry of an id, or null for an id we do not know.
[[nodiscard]] const PresParamInfo* presParamInfo(int id) noexcept;

// --- reading a presentation list. A list that is not an array, and pairs
// that are not 2-entry arrays with a numeric id, are skipped, never an error.

// The value of the first pair whose id equals `id`, or null.
[[nodiscard]] const rt::Value* presFind(const rt::Value& list, int id) noexcept;
[[nodiscard]] inline bool presHas(const rt::Value& list, int id) noexcept { return presFind(list, id) != nullptr; }
// The value of pair `id`, else `def` (RK_GetPresentation).
[[nodiscard]] rt::Value presGet(const rt::Value& list, int id, const rt::Value& def = {});
// Typed readers: nullopt when the pair is missing or its value is of the
// wrong kind (or a colour is the default -1).
[[nodiscard]] std::optional<QColor> presColor(const rt::Value& list, int id);
[[nodiscard]] std::optional<QFont> presFont(const rt::Value& list, int id);
[[nodiscard]] std::optional<int> presInt(const rt::Value& list, int id);  // numbers, truncated
[[nodiscard]] std::optional<QString> presText(const rt::Value& list, int id);
// The first of several ids present ("10 or 110"), as presGet.
[[nodiscard]] rt::Value presGetAny(const rt::Value& list, std::initializer_list<int> ids, const rt::Value& def = {});

// --- changing a presentation list

// RK_MergePresentation: for each pair of `source` in order, the first pair
// of `target` with an equal id takes its value, else a copy of the pair is
// appended. Does nothing unless both are arrays. Returns target.
rt::Value& presMerge(rt::Value& target, const rt::Value& source);
// Sets one pair the same way (target becomes an array when it is not one).
void presSet(rt::Value& target, int id, const rt::Value& value);
// A new list: a deep copy of `list`, or an empty array when it is not one.
[[nodiscard]] rt::Value presCopy(const rt::Value& list);

}  // namespace gui
