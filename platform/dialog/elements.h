// The window objects of a read: the dialog and one class per element type.
//
// Each element wraps a plain Qt widget (QLabel, QLineEdit, QPushButton), so
// editing, focus and clicks work natively, while the binding every window
// object has queues its input as platform events. The reader's event loop
// hands those to handleEvent: that is where entry fields write back and
// buttons run their actions, never inside Qt's own event delivery.
#pragma once

#include "platform/dialog/element_parts.h"
#include "platform/dialog/entry.h"
#include "platform/gui/xbppart.h"

#include <functional>
#include <vector>

class QImage;

class QDialog;
class QLineEdit;

namespace dlg {

// Events of the dialog library, queued like the platform's.
namespace dev {
constexpr int Activate = 1048800;  // a button was pressed, a check box toggled, a combo box item chosen
constexpr int EndRead = 1048801;   // mp1: 6 ends the read with OK, 5 without
constexpr int Popup = 1048802;     // an entry's pop-up button was pressed
}  // namespace dev

// The block of a code slot: a block, or an array whose entry 1 is one; NIL otherwise.
[[nodiscard]] rt::Value slotBlock(const rt::Value& v);

// RK_XbpDialog: the modal window of one read. It is a top-level window;
// `owner` is the window it belongs to. Closing it or pressing Escape ends
// the read without OK.
class DialogPart final : public gui::XbpPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    rt::Value create(rt::Args a) override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;
    // Ends the read. With ok the edited entry fields are written back first;
    // an error there leaves the read running.
    void endRead(bool ok);
    // Writes every edited entry field back to its variable; false when a
    // field holds text that is not a value (it keeps the text, unwritten).
    bool commitEdits();
    [[nodiscard]] bool ended() const noexcept { return ended_; }
    [[nodiscard]] bool accepted() const noexcept { return accepted_; }
    [[nodiscard]] QDialog* dialog() const;

    // Evaluates the when and hide conditions of every element of the read.
    void refreshConditions();

    // Asked before Escape, closing the window or event 5 end the read; false
    // keeps the read running. Installed by the caller (unsaved work).
    std::function<bool()> mayEndWithoutOk;

    rt::Value title;
    // The element objects in list order (NIL where no widget was made);
    // cleared when the read ends, as each element's parent is this object.
    std::vector<rt::Value> elements;
    // RK_ReadGuiLastKey: the key that last left a field or was pressed.
    int lastKey = 0;
    // The entry whose valid refused to let it go, until it has the focus
    // again: fields the focus passes through meanwhile are not validated.
    const void* refocus = nullptr;

private:
    bool ended_ = false;
    bool accepted_ = false;
};

// Base of the library's own element windows: a platform window with the
// element mix-in, so it finds its record through the element list object
// (element(), getListPointer) like the browse and its columns do.
class ElementPart : public gui::XbpPart, public ElementParts {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    // Shows the bound value again (RK_GetRefresh); elements without one do nothing.
    virtual void refreshValue() {}
    // Enables the element while its when block gives .T. and hides it while
    // its hide block gives .T.; each block gets the object. A block that
    // raises is reported and leaves that state as it was.
    void refreshConditions();
    // Evaluates the anchor (slot 28) with the object.
    void runAnchor();
    // The dialog of the read the element belongs to, or null.
    [[nodiscard]] DialogPart* dialogPart() const;
    // Once the read has ended: drops the element list and the caller's
    // blocks, which may hold the variable the object was anchored in (a
    // cycle nothing else would break).
    virtual void release();

protected:
    // The hide block has just shown the element again.
    virtual void revealed() {}
    // Tool tip (slot 15), when (13) and hide (53) blocks; before adoptWidget.
    void takeCommonSlots();
    // The font of slot 11; after adoptWidget.
    void applyFont();
    // Conditions of the whole dialog after the user changed something.
    void afterChange() const;
};

// RK_XbpSay: a label (slot 3 its caption).
class SayPart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
};

// RK_XbpGet: an entry field bound to a variable through the record's get/set
// block. Filled from it when created; written back when the field loses the
// focus and when the read ends with OK, in both cases only after the user
// edited it (so a value changed meanwhile by an action is not overwritten).
// Slot 44, the key handler, is evaluated with (nKey, NIL, self) for every
// key the field got, from the read's event loop: the edit buffer then holds
// that key (and any typed ahead of the loop). Slot 14, valid, is evaluated
// with (self) when the field is left, after the write-back; .F. puts the
// focus back. Slot 37 (entry 1 a block) or a date value gives the field a
// pop-up button at its right end (also F4 or Alt+Down in the field).
class GetPart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;
    void refreshValue() override { load(); }

    // Shows the bound value; a value of another kind or length than the
    // field was made for (a record blanked after an empty table) brings
    // the format along.
    void load();
    // Writes an edited field back through the get/set block; false when its
    // text is not a value of the field (nothing is written then).
    bool commit();
    [[nodiscard]] QLineEdit* lineEdit() const;
    // EditBuffer(): the text as typed, padded with blanks to the field's
    // length for a character value (as the bound value is).
    [[nodiscard]] std::string editBuffer() const;
    // The pop-up button (slot 37 block, or the calendar of a date field):
    // writes back an edit, evaluates it with (value, NIL, self) and stores a
    // non-NIL result unless entry 3 of slot 37 is .T.
    void popup();
    [[nodiscard]] bool hasPopup() const noexcept { return popupBlock.isBlock() || format.kind == 'D'; }

    void release() override;

    rt::Value binding;
    EntryFormat format;
    rt::Value keyHandler, validBlock, popupBlock;
    bool popupStores = true;

private:
    void applyFormat(const rt::Value& value);
    void leave();
    void refuseText(QLineEdit& w);
};

// RK_XbpPushButton: a button whose action (slot 18) runs when it is pressed,
// by mouse, Space or Enter; then its activate callback runs. Option 4 true
// makes it the dialog's default button: Enter in an entry field presses it. A button that
// its hide block has just shown ignores mouse presses for a double-click
// interval: it may stand where the button that revealed it was, and the
// second click of a double click on that one is not meant for it.
class PushButtonPart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;
    void release() override;

    rt::Value cbActivate;

protected:
    void revealed() override;
};

}  // namespace dlg

namespace dlg {

// RK_XbpGroup: a titled frame (slot 3) that other elements of the read
// take as their parent through slot 30.
class GroupPart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
};

// RK_XbpCheckBox: caption from slot 23 { cCaption, NIL } (else slot 3); its
// value goes through slot 26, a block read without argument and written
// with the new logical on every toggle (else the get/set block of slot 4).
class CheckBoxPart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;
    void refreshValue() override;
    void release() override;

    rt::Value data;
};

// RK_XbpComboBox: the chosen item goes through the get/set block of slot 4;
// items from slot 31 (array, block yielding one, { block, text }); slot 21
// { lEditable, lSorted }; slot 10 the list's height in rows; slot 38 is
// evaluated with (value, NIL, self) after a new choice was written back.
class ComboBoxPart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;
    // Reads the item list again, then shows the bound value.
    void refreshValue() override;
    void release() override;

    rt::Value binding;
    std::vector<rt::Value> items;  // as the list gave them; the combo shows their text

private:
    void loadItems();
    void showValue();
};

// RK_XbpPicture (type 7, "RKBITMAP"): an image scaled into the element's box
// keeping its proportions; RK_BitMapDraw sets it. A left click evaluates
// slot 18 with (NIL, NIL, self) while the element is enabled.
class PicturePart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;
    // Shows an image (a null image clears the box).
    void setImage(const QImage& image);
    [[nodiscard]] QImage image() const;
};

}  // namespace dlg
