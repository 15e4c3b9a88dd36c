// The dialog library: dialogs described as lists of element records and
// run modally.
//
// A caller appends one element record per element to its element list
// (`GetList`, an array) and hands the list to RK_ReadGUI, which creates the
// widgets in list order and runs the dialog until an element ends it with
// RK_ReadGuiEvent(6, GetList) (RK_ReadGUI returns .T.) or
// RK_ReadGuiEvent(5, GetList), Escape or closing the window (.F.).
//
// When the environment variable DXC_DIALOG_GEOMETRY names a file, each read
// appends to it, once its window is shown, one line per element that has a
// window: "<title>\t<index>\t<type>\t<caption or id>\t<x> <y> <w> <h>" in
// screen pixels (top-left origin), all lines of a read in one write.
//
// Records are arrays of kRecordSlots slots; the slot numbers are the
// constants of namespace slot (slots.h). Positions and sizes are in text rows and
// columns, fractions allowed, row 0 at the top; the dialog font's line
// height and average character width turn them into pixels.
#pragma once

#include "platform/dialog/slots.h"
#include "platform/runtime/value.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QDialog;
class QFont;
class QWidget;

namespace dlg {

// Element type numbers (slot 1), as the template function stores them.
namespace type {
constexpr int Group = 1;
constexpr int Get = 2;
constexpr int CheckBox = 5;
constexpr int ComboBox = 6;
constexpr int Bitmap = 7;      // a picture ("RKBITMAP")
constexpr int PushButton = 10;
constexpr int Say = 12;
constexpr int Static = 13;
constexpr int Browse = 28;
constexpr int Column = 29;
constexpr int ColumnAlt = 98;  // also read as a column when it follows a browse
constexpr int OnCreate = 81;  // carries a block evaluated when the dialog is created
}  // namespace type

// RK_GetTemplate(type[, subType]): a fresh record with every slot at its
// default.
[[nodiscard]] rt::Value getTemplate(int type, const rt::Value& subType = {});
// RK_GetListSet(GetList, slot, value): sets a slot of the list's last record.
void getListSet(const rt::Value& getList, int slot, const rt::Value& value);
// Raises "Element record expected": what operation was given is not an
// element record, or not a list whose last entry is one.
[[noreturn]] void recordExpected(std::string operation, std::vector<rt::Value> args);
// RK_GetAnchorCB: a get/set block over a variable. Evaluated without
// argument it returns the variable's value; with one it assigns it (an
// object, for anchors of kind "O") and returns it.
[[nodiscard]] rt::Value getAnchorCB(std::function<rt::Value()> get, std::function<void(const rt::Value&)> set,
                                    std::string name = {});
// The same over a program-wide variable.
[[nodiscard]] rt::Value publicAnchorCB(std::string_view publicName);
// RK_GetIdDefault(id, name, prefix): id when it is a non-empty text, else
// prefix + name in upper case ("GET_CHOST").
[[nodiscard]] std::string getIdDefault(const rt::Value& id, std::string_view name, std::string_view prefix);

// XCOL(GetList): the column just right of the last record's element.
[[nodiscard]] double xcol(const rt::Value& getList);

// RK_ReadGUI with its positional arguments (1 GetList, 2 title, 3 options,
// 7 receives the dialog object, 11 parent window; the rest are accepted).
// Returns .T. when ended by event 6. Argument 7, when a block, is evaluated
// with the dialog object once the elements exist; argument 11, a window
// object, owns the dialog (default: the dialog of the enclosing read).
// Labels, entry fields, push buttons, group boxes, check boxes, combo
// boxes, pictures and browses with their columns are built; records of the
// other types are accepted and get no widget. An element whose slot 30
// yields a group of the read (or another created window object) becomes its
// child, placed relative to the group's top-left corner; slot 28 receives
// each element's object right after it is created. When (slot 13) and hide
// (slot 53) are evaluated once all elements exist, and again after every
// button action, check box or combo box change and whenever an entry field
// is left. A list
// entry that is not a record raises an error before any window appears; an
// error while one element is created is reported and the dialog goes on
// without that element.
//
// The list is wrapped in one element list object (makeGetList) whose
// getOptions is argument 3, handed to every element. A browse record
// (type 28) becomes RK_XbpBrowse():new(oDialog, NIL, aPos, aSize, NIL, .T.,
// oGetList), found by class name at run time; when its `initialised` is
// true its create() follows, then RK_XbpColumn():new(oBrowse, oGetList) for
// each record of the column run after it (types 29 and 98), and last its
// setTimerRefresh() when it has one. Before each new, getListPointer is the
// position of the element being made.
bool readGui(rt::Args args);

// What a read of this program hands RK_ReadGUI, by name. args() makes the
// 30 positional arguments; the switches the library does not read (the
// positions 10, 15, 21 to 30) go as every read of the program has passed them.
struct ReadSetup {
    rt::Value getList{};
    std::optional<std::string> title{};  // none: the options' title
    rt::Value options{};                 // the dialog's option array, NIL for none
    rt::Value dialogReceiver{};          // a get/set block given the dialog object once it exists
    rt::Value owner{};                   // the parent window, NIL for the window in front
    bool startsOnValue = false;  // the caller put its data on a given value first
    rt::Value redraw{};          // a block that redraws the dialog's browse
    [[nodiscard]] std::vector<rt::Value> args() const;
};
bool readGui(const ReadSetup& setup);
// RK_ReadGuiEvent(nEvent, GetList): ends the running read of that list
// (6: with OK, 5: without) once the events queued before it are handled.
// False when no read of that list runs; another event number raises an
// argument error.
bool readGuiEvent(int nEvent, const rt::Value& getList);

// RK_GetRefresh(GetList, NIL, nMode, aSkipTypes): the elements of a running
// read show their bound values again (mode 1), evaluate their when and hide
// conditions again (mode 2), or both (mode 4, NIL or any other number).
// Elements whose type number is in skipTypes are left out. A browse that is
// not left out gets RefreshAll and WhenHideEval. False when no read of the
// list runs.
bool getRefresh(const rt::Value& getList, int mode = 4, const rt::Value& skipTypes = {});
// RK_ReadGuiLastKey(GetList[, nKey]): the key that last left a field or was
// pressed in the read's dialog (0 after a mouse click); with nKey sets it.
// Returns the value before the call; 0 when no read of the list runs.
int readGuiLastKey(const rt::Value& getList, std::optional<int> set = std::nullopt);
// RK_ReadVar(bGetSet, xNew, NIL, lLogical): writes xNew through the block
// when it is not NIL, then returns what the block gives; as a logical when
// lLogical (.T., "T", "Y", ".T." and non-zero numbers are true).
[[nodiscard]] rt::Value readVar(const rt::Value& getSet, const rt::Value& xNew, bool logical);
// A value read as a logical, as check boxes read their data.
[[nodiscard]] bool logicalOf(const rt::Value& v);
// RK_PopDate([dStart]): a modal calendar on dStart (today when not a date);
// the date picked with Enter or a double click, NIL on Escape.
[[nodiscard]] rt::Value popDate(const rt::Value& start = {});
// RK_BitMapDraw(oPicture, xData): shows the image whose bytes xData holds (a
// text value in any format QImage reads, or base64 of one; or an XbpBitmap)
// in a picture element, scaled into its box keeping proportions. NIL, "" or
// bytes that do not decode clear it. True when an image is shown.
bool bitMapDraw(const rt::Value& picture, const rt::Value& data);

// The Qt dialog of the innermost running read, or null (for tests).
[[nodiscard]] QDialog* activeDialog();
// The dialog window object (class "RK_XbpDialog") of the innermost running
// read, or NIL.
[[nodiscard]] rt::Value activeDialogObject();
// The widget of element `index` (1-based) of a list whose read runs, or
// null (no such read, an index out of range, an element without widget).
[[nodiscard]] QWidget* elementWidget(const rt::Value& getList, int index);
// RK_GetObject(GetList, cId): the object of the element whose id (slot 49)
// is cId, while the read of that list runs; NIL otherwise. GetList may also
// be the read's element list object.
[[nodiscard]] rt::Value getObject(const rt::Value& getList, std::string_view id);
// The font dialogs are laid out with; rows and columns in pixels.
[[nodiscard]] const QFont& dialogFont();
[[nodiscard]] double rowPixels();
[[nodiscard]] double colPixels();

// Registers RK_GetTemplate, RK_GetListSet, RK_GetAnchorCB, RK_GetIdDefault,
// RK_ReadGUI, RK_ReadGuiEvent, RK_GetObject, RK_GetRefresh,
// RK_ReadGuiLastKey, RK_ReadVar, RK_PopDate, RK_BitMapDraw and XCOL, and the
// functions of registerLibraryFunctions (library.h).
void registerDialogFunctions();

}  // namespace dlg
