// The pop-up and toolbar library: XbToolsBar, XbBitmap, SQLBrowPres,
// SQLBrowseZebra and xbPopBrowse, reached by name from the client window.
// (XCOL, the column right of the last element, belongs to the dialog
// library and keeps working after the records these functions append.)
//
// Everything here builds dialog element records; the dialog library turns
// them into widgets. The SQL data objects are reached only by method name
// (GoTop, SQLViewSkip, FieldGet, locate, SetFilter, ...); of their class
// only the settings the lookup makes one with are used.
#pragma once

#include "platform/runtime/value.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace popup {

// Registers XbToolsBar, XbBitmap, SQLBrowPres, SQLBrowseZebra and
// xbPopBrowse with the runtime.
void registerPopupFunctions();

// --- record toolbar

// XbToolsBar(GetList, nRow, nCol, oConn, xData, xParent, aLabels, lX, bBlock,
// lBrowse, NIL, NIL): appends four buttons (first, previous, next, last)
// that move the data object xData (an object, or a block yielding it) and
// then evaluate bBlock; with aLabels {{cCaption, cColumn}, ...} a read-only
// entry per pair, the caption its tool tip, showing FieldGet(cColumn) of the
// current row.
// All in one row from nRow/nCol, so XCOL after it names the column right of
// its last element; xParent goes into slot 30 of each record. The audit
// entries are refreshed with the dialog (RK_GetRefresh) after every move.
// oConn, lX and lBrowse are accepted and not needed: the data object knows
// its connection, and a browse over it follows through bBlock.
rt::Value xbToolsBar(rt::Args a);

// XbToolsBar's arguments by name; args() gives the positional ones.
struct ToolsBarSetup {
    rt::Value getList{};
    double row = 0, col = 0;
    rt::Value connection{};
    rt::Value data{};                                          // the data object, or a get/set block yielding it
    rt::Value parent{};                                        // the group the buttons sit in
    std::vector<std::pair<std::string, std::string>> audit{};  // {caption, column}
    rt::Value afterMove{};                                     // evaluated after every move
    bool browse = false;   // the data is a browse's
    rt::Value beforeMove{};  // .F. from it keeps the row
    [[nodiscard]] std::vector<rt::Value> args() const;
};
rt::Value xbToolsBar(const ToolsBarSetup& setup);

// Button width and height in text units; an audit value holds up to
// kAuditChars characters in an entry kAuditCols wide. Small enough that the
// record toolbar with three values fits beside the client code.
inline constexpr double kToolButtonCols = 1.6;
inline constexpr double kToolButtonRows = 1.1;
inline constexpr int kAuditChars = 11;
inline constexpr double kAuditCols = 7.8;

// --- picture element

// XbBitmap(GetList, nRow, nCol, oData, NIL, xAnchor, aSize, xParent, NIL,
// lX): appends a picture element of aSize {nCols, nRows}. Once created its
// object goes through xAnchor and it shows oData:FieldGetPicture(); a click
// (while the element is enabled) asks for an image file and stages it with
// oData:FieldPutPicture(cBytes).
rt::Value xbBitmap(rt::Args a);

// XbBitmap's arguments by name; args() gives the positional ones.
struct BitmapSetup {
    rt::Value getList{};
    double row = 0, col = 0;
    rt::Value data{};      // the data object whose picture shows
    rt::Value receiver{};  // a get/set block given the element's object
    double cols = 0, rows = 0;
    rt::Value parent{};
    [[nodiscard]] std::vector<rt::Value> args() const;
};
rt::Value xbBitmap(const BitmapSetup& setup);

// Files larger than this are refused: a picture column is no file store.
inline constexpr std::int64_t kMaxPictureBytes = 16 * 1024 * 1024;

// Asks the user for an image file; returns its path, "" when cancelled.
using ImageChooser = std::function<std::string()>;
// Replaces the file chooser (tests install one that returns a path at
// once); an empty function restores the native dialog. Returns the previous.
ImageChooser setImageChooser(ImageChooser chooser);

// Reads an image file for a picture column: the bytes, or "" with a
// message shown (missing, unreadable, larger than kMaxPictureBytes, not an
// image).
[[nodiscard]] std::string readPictureFile(const std::string& path);

// --- browse look

// SQLBrowPres(nRowHeight): the presentation list of a SQL browse: the
// library's default look, a header in the stripe colours' dark tone,
// zebra stripes (ids 150 to 155) and, when nRowHeight is a number of
// pixels, that row height.
rt::Value sqlBrowPres(const rt::Value& rowHeight);

// SQLBrowseZebra(x): the {fg, bg} colours of a row. x is a logical (.T. an
// even row) or the browse, whose data source's getNum() parity decides.
rt::Value sqlBrowseZebra(const rt::Value& x);

// The stripe colours, as colour numbers.
struct Stripe {
    long long fg;
    long long bg;
};
[[nodiscard]] Stripe evenStripe();
[[nodiscard]] Stripe oddStripe();

// --- lookup

// xbPopBrowse(oConn, cTitle, nWidth, nHeight, xValue, cField, aCols, cTable,
// NIL, cOrder, cPicCol, NIL, NIL, aFilter): a modal lookup over cTable;
// returns cField of the chosen row, or NIL when cancelled.
rt::Value xbPopBrowse(rt::Args a);

}  // namespace popup
