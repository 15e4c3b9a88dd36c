// The element list object and the element mix-in.
//
// A dialog's element records live in an array (`GetList`); the reader wraps
// it in an element list object (runtime class "RK_GetList") that element
// classes receive in their constructor. Through it an element finds its own
// record (getListArray[getListPointer]), the options of the read and the
// dialog's scale.
//
// RK_ElementParts is the mix-in every element class of the library derives
// from besides its platform class: `init(oGetList, nPointer, oSelf)` binds
// the list and the element's position, `setOrig` records the settings the
// element was created with (so a layout can go back to them), and it holds
// the when, hide and protect blocks that the dialog evaluates.
#pragma once

#include "platform/runtime/object.h"

namespace gui {
class XbpPart;
}

namespace dlg {

class GetListObject final : public rt::Object {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    rt::Value getListArray;     // the element records
    rt::Value getListPointer;   // 1-based position of the element being constructed
    rt::Value getOptions;       // the options array of the read (grown to 60 entries)
    rt::Value scaleFactor;      // {x factor, y factor, pixel factor}, {1, 1, 1} unscaled
    rt::Value isDataToolTips;   // some element shows data tool tips
    rt::Value dialog;           // the dialog window object while the read runs
    rt::Value hotKeys;          // AddHotKey's registrations (hotkeys.h)
};

// A new element list object over `records` (an array of element records).
[[nodiscard]] rt::Value makeGetList(const rt::Value& records, const rt::Value& options = {});
// The object behind a value, or null.
[[nodiscard]] GetListObject* asGetList(const rt::Value& v);

class ElementParts {
public:
    virtual ~ElementParts() = default;
    // The runtime class "RK_ElementParts"; a class deriving from the mix-in
    // names it as a parent of its own ClassInfo.
    static const rt::ClassInfo& staticClass();

    // init(oGetList, nPointer): binds the list; without a numeric pointer
    // the list's getListPointer is this element's position.
    void initParts(const rt::Value& oGetList, const rt::Value& nPointer = {});
    // The element's record, NIL while unbound.
    [[nodiscard]] rt::Value element() const;
    // Slot n of the record (NIL when unbound or out of range).
    [[nodiscard]] rt::Value elementSlot(int n) const;
    // Writes slot n of the record (grown when shorter).
    void setElementSlot(int n, const rt::Value& v) const;
    // The array of element records, NIL while unbound.
    [[nodiscard]] rt::Value elementsArray() const;
    // Records position, size, presentation and visibility as created.
    void setOrig(const gui::XbpPart& self);

    rt::Value getList;         // the element list object
    int getListPointer = 0;    // 1-based position of the record
    rt::Value whenBlock, hideBlock, protectBlock;
    rt::Value origSettings;    // {pos, size, presParams, visible} from setOrig
};

// The mix-in of an object value, or null.
[[nodiscard]] ElementParts* asElementParts(const rt::Value& v);

}  // namespace dlg
