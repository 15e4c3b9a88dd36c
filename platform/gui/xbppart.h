// The base of every platform window object: a runtime object (members
// reached by name) that owns one Qt widget.
//
// Coordinates are the platform's: {x, y} from the bottom-left corner of the
// parent, y growing upwards; sizes {width, height} in pixels. Callbacks are
// callback slots (object.h): `o:lbDown := {|mp1, mp2, obj| ...}` sets one,
// reading `o:lbDown` gives the block back, and the platform fires them by
// name through rt::send, so a derived class may override the handler.
#pragma once

#include "platform/runtime/object.h"

#include <QPointer>
#include <QWidget>

namespace gui {

class XbpPart : public rt::Object {
public:
    XbpPart();
    ~XbpPart() override;

    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    // The object as a runtime value (shares ownership).
    [[nodiscard]] rt::Value self() { return rt::Value(static_cast<rt::Object*>(this)); }
    [[nodiscard]] QWidget* widget() const noexcept { return widget_; }

    // Status: 0 not created, 1 created, 2 failed (as `status` gives it).
    enum { NotCreated = 0, Created = 1, Failed = 2 };

    // --- life cycle: new(parent, owner, pos, size, presParams, visible), then create(...)
    virtual rt::Value init(rt::Args a);
    virtual rt::Value create(rt::Args a);
    virtual rt::Value configure(rt::Args a);
    virtual rt::Value destroy();
    virtual rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2);

    // Platform geometry helpers: convert between our bottom-left coordinates
    // and Qt's top-left ones inside this widget.
    [[nodiscard]] QPoint toQt(int x, int y) const;
    [[nodiscard]] std::pair<int, int> fromQt(QPoint p) const;

    // Fires a callback by name with (mp1, mp2, self).
    rt::Value fire(std::string_view name, const rt::Value& mp1 = {}, const rt::Value& mp2 = {});

    // Instance variables shared by every window object.
    rt::Value parent, owner, pos, size, presParams, visible, cargo, tabstop, group, tooltipText;
    rt::Value cbLbDown, cbLbUp, cbLbClick, cbLbDblClick, cbRbDown, cbRbUp, cbMotion, cbWheel, cbKeyboard,
        cbSetInputFocus, cbKillInputFocus, cbResize, cbClose, cbPaint;
    int status = NotCreated;

protected:
    // Derived classes make their widget in create() and hand it over here;
    // the widget is parented to the parent object's widget.
    void adoptWidget(QWidget* w);
    // Reads parent, owner, pos, size, presParams, visible from create's or
    // new's arguments where they are given.
    void takeGeometryArgs(rt::Args a);

    QPointer<QWidget> widget_;
};

// The XbpPart behind a runtime value, or null.
[[nodiscard]] XbpPart* asPart(const rt::Value& v);

}  // namespace gui
