// The dialog library's value, block, presentation and message functions
// that element classes (browse, column) rely on.
#pragma once

#include "platform/runtime/value.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dlg {

// RK_GetBlock(xCode[, cKind]): a block given as a block, as an array
// { block, source text }, or as expression text that the runtime compiles
// ("{|o| ...}" or a plain expression). NIL for anything else; a text that
// does not compile raises the compiler's error.
[[nodiscard]] rt::Value getBlock(const rt::Value& code);
// With cKind "O" (an anchor) a text that is a bare name stands for the
// program-wide variable of that name: the block stores an object in it, or
// returns its value without argument (as RK_GetAnchorCB does).
[[nodiscard]] rt::Value getBlock(const rt::Value& code, std::string_view kind);

// RK_MergeBlocks(bFirst, bSecond): one block that evaluates both with the
// same arguments, first then second, and returns the second's result. When
// only one of them is a block, that block; NIL when neither is.
[[nodiscard]] rt::Value mergeBlocks(const rt::Value& first, const rt::Value& second);

// RK_GetColBlock(nElement, oBrowse): a get/set block over element nElement
// of the row the browse's array source is on (dataSource[arrayElement]).
// Without argument it reads, with one it assigns; NIL outside the array.
[[nodiscard]] rt::Value getColBlock(int element, const rt::Value& browse);

// RK_ReadDataCheck(xValue, cKinds, aList, nPointer, lAlert): true when the
// value's kind letter is one of cKinds. Otherwise, with lAlert, an alert
// names the element (position, type name, id) and the kind found and the
// kinds expected; false.
bool readDataCheck(const rt::Value& value, std::string_view kinds, const rt::Value& list, int pointer, bool alert);

// RK_PresAdd(aPres, nId, xValue): sets pair nId of the presentation list
// in place (the first pair with that id, else a new pair at the end).
void presAdd(const rt::Value& pres, long long id, const rt::Value& value);

// RK_BrowPres(): the library's default presentation list of a browse, a
// new array on each call: heading and footing in the button colours, cells
// in the colours of entry fields, the cursor row in the selection colours.
[[nodiscard]] rt::Value browPres();

// Messages. RK_WinAlert(cText[, cTitle]) and RK_MsgBox(xLines[, cTitle])
// show a modal message box. While a message sink is installed (tests, a
// program without windows) the text goes to it instead and no window opens.
void winAlert(std::string_view text, std::string_view title = {});
void msgBox(const rt::Value& lines, std::string_view title = {});
// A question with the buttons "Sí" and "No", modal to the window in front;
// true for Sí. No is the default button and Escape answers No. Without a
// window system the answer is No, so nothing is discarded unasked.
bool askYesNo(std::string_view text, std::string_view title = {});
enum class Severity { Info, Warning, Error };
struct Message {
    std::string title;
    std::string text;
    Severity severity = Severity::Warning;
};
using MessageSink = std::function<void(const Message&)>;
MessageSink setMessageSink(MessageSink sink);  // returns the previous sink

// Collects the messages shown while it lives (for tests).
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    std::vector<Message> messages;

private:
    MessageSink previous_;
};

// Makes the runtime's standard error handler show uncaught errors in a
// message box (through the sink when one is installed); the program goes
// on. An error raised while such a box is open goes to standard error.
void installErrorMessageBox();

// RK_HiliteGets(oObject, nMode, xOption): nMode 1 (focus in) frames the
// element's window in a colour, xOption when it is a colour number or an
// {r, g, b} array (of a {fg, bg} pair, bg), else the palette's highlight;
// nMode 2 (focus out) takes the frame away. The element itself is not
// changed. False when the object has no window.
bool hiliteGets(const rt::Value& object, int mode, const rt::Value& option);

// RK_GetBitmap(xResource, cDll, nWidth, nHeight, lIcon): a picture object
// loaded from a built-in resource number or a picture file, scaled to
// nWidth x nHeight when both are given; an XbpIcon when lIcon is .T., else
// an XbpBitmap. A picture object is returned as it is. NIL when nothing
// can be loaded (unknown resource, missing or broken file).
[[nodiscard]] rt::Value getBitmap(const rt::Value& resource, const rt::Value& width = {}, const rt::Value& height = {},
                                  bool icon = false);

// RK_CenterObject(oObject[, oOver]): centres a window over another window
// object, or, without one, a child window in its parent and a top-level
// window on the screen. False when the object has no window.
bool centerObject(const rt::Value& object, const rt::Value& over = {});

// RK_XbpBrowseSuper(), RK_XbpColumnSuper(): the class objects of the
// platform XbpBrowse and XbpColumn.
[[nodiscard]] rt::Value xbpBrowseSuper();
[[nodiscard]] rt::Value xbpColumnSuper();

// Registers the functions above under their RK_ names (RK_GetBlock,
// RK_MergeBlocks, RK_GetColBlock, RK_ReadDataCheck, RK_PresAdd,
// RK_BrowPres, RK_WinAlert, RK_MsgBox, RK_HiliteGets, RK_GetBitmap,
// RK_CenterObject, RK_XbpBrowseSuper, RK_XbpColumnSuper).
void registerLibraryFunctions();

}  // namespace dlg
