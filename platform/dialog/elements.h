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

#include <vector>

class QDialog;
class QLineEdit;

namespace dlg {

// Events of the dialog library, queued like the platform's.
namespace dev {
constexpr int Activate = 1048800;  // a button was pressed
constexpr int EndRead = 1048801;   // mp1: 6 ends the read with OK, 5 without
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
    [[nodiscard]] bool ended() const noexcept { return ended_; }
    [[nodiscard]] bool accepted() const noexcept { return accepted_; }
    [[nodiscard]] QDialog* dialog() const;

    rt::Value title;
    // The element objects in list order (NIL where no widget was made);
    // cleared when the read ends, as each element's parent is this object.
    std::vector<rt::Value> elements;

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
class GetPart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;

    // Shows the bound value.
    void load();
    // Writes an edited field back through the get/set block.
    void commit();
    [[nodiscard]] QLineEdit* lineEdit() const;
    [[nodiscard]] std::string editBuffer() const;

    rt::Value binding;
    EntryFormat format;
};

// RK_XbpPushButton: a button whose action (slot 18) runs when it is pressed,
// by mouse, Space or Enter; then its activate callback runs.
class PushButtonPart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;

    rt::Value cbActivate;
};

}  // namespace dlg
