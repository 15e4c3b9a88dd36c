// The base of every platform window object: a runtime object (members
// reached by name) that owns one Qt widget.
//
// Coordinates are the platform's: {x, y} from the bottom-left corner of the
// parent, y growing upwards; sizes {width, height} in pixels. Callbacks are
// callback slots (object.h): `o:lbDown := {|mp1, mp2, obj| ...}` sets one,
// reading `o:lbDown` gives the block back, and the platform fires them by
// name through rt::send, so a derived class may override the handler.
// The runtime class is "XbpWindow"; platform classes derive from it.
//
// Lifetime: while the widget exists it holds a reference to its object
// (through the PartBinding installed on it, widgetbase.h), so Qt input never
// reaches a freed object; the object sees its widget through a QPointer, so
// a widget deleted by Qt (with its parent) leaves no dangling pointer and
// the object falls back to status NotCreated. destroy() deletes the widget.
#pragma once

#include "platform/runtime/object.h"

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

class QEvent;
class QImage;
class QPainter;

namespace gui {

class XbpPS;
class PartBinding;
class WeakPart;

class XbpPart : public rt::Object {
public:
    XbpPart();
    ~XbpPart() override;

    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    // The object as a runtime value (shares ownership).
    [[nodiscard]] rt::Value self() { return rt::Value(static_cast<rt::Object*>(this)); }
    [[nodiscard]] QWidget* widget() const noexcept { return widget_; }
    // The object of a widget made by a window object, or null.
    [[nodiscard]] static XbpPart* fromWidget(const QWidget* w);

    // Status: 0 not created, 1 created, 2 failed (as `status` gives it).
    enum { NotCreated = 0, Created = 1, Failed = 2 };

    // --- life cycle: new(parent, owner, pos, size, presParams, visible), then create(...)
    virtual rt::Value init(rt::Args a);
    // The base creates a plain QWidget (through adoptWidget) unless a
    // derived create() adopted one before calling it.
    virtual rt::Value create(rt::Args a);
    // Takes the same arguments as create; geometry, presentation and
    // visibility that are given are applied to the created widget.
    virtual rt::Value configure(rt::Args a);
    virtual rt::Value destroy();
    // Runs the callback slot of the event (lbDown for ev::LbDown, ...);
    // returns what the callback returned, NIL for an event without slot.
    virtual rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2);

    // Platform geometry helpers: convert between our bottom-left coordinates
    // and Qt's top-left ones inside this widget (pixel positions: platform
    // y 0 is the bottom pixel row).
    [[nodiscard]] QPoint toQt(int x, int y) const;
    [[nodiscard]] std::pair<int, int> fromQt(QPoint p) const;

    // Fires a callback by name with (mp1, mp2, self).
    rt::Value fire(std::string_view name, const rt::Value& mp1 = {}, const rt::Value& mp2 = {});

    // --- geometry (platform coordinates, relative to the parent)
    [[nodiscard]] QPoint currentPos() const;
    [[nodiscard]] QSize currentSize() const;
    virtual bool setPos(QPoint p);
    virtual bool setSize(QSize s);
    bool setPosAndSize(QPoint p, QSize s);

    // --- state
    virtual void setVisible(bool on);
    [[nodiscard]] bool isVisible() const;
    virtual void setEnabled(bool on);
    [[nodiscard]] bool isEnabled() const;

    // --- look, kept in presParams (pp::FgClr, pp::BgClr, pp::CompoundName)
    // so setPresParam() shows it. Colours are colour numbers (color.h), -1
    // the default.
    [[nodiscard]] long long colorFG() const;
    [[nodiscard]] long long colorBG() const;
    virtual void setColorFG(long long c);
    virtual void setColorBG(long long c);
    [[nodiscard]] std::string fontCompoundName() const;
    virtual void setFontCompoundName(std::string_view name);
    // Merges `list` into presParams and applies it to the widget.
    void setPresParam(const rt::Value& list);
    // Applies the general ids (pp::FgClr, pp::BgClr, pp::CompoundName) of
    // presParams to the widget; derived classes add their own ids.
    virtual void applyPresParams();
    void lockUpdate(bool on);
    // Repaints the rectangle {x1, y1, x2, y2} (platform coordinates), or all.
    void invalidateRect(std::optional<QRect> platformRect = std::nullopt);

    // --- tree
    // Window objects whose widgets are children of this one, in creation order.
    [[nodiscard]] std::vector<XbpPart*> children() const;
    // Re-parents the widget to another window object's widget (or makes it
    // top-level for NIL).
    void reparent(const rt::Value& newParent);

    // --- drawing. lockPS gives the object's presentation space: bound to
    // the painter of the paint event in progress, or else to a retained
    // canvas drawn over the widget (unlockPS then repaints). Nested lockPS
    // calls share the binding; the last unlockPS ends it.
    XbpPS& lockPS();
    void unlockPS();
    [[nodiscard]] rt::Value psValue();
    // For paint events of the widget: binds the PS to `p` while the paint
    // callback runs, then draws the canvas. Widgets made by PartWidget call
    // this after their own painting.
    void paintOver(QPainter& p, const QRect& dirty);

    // Turns a Qt event on the widget into platform events (posted to the
    // application queue with this object as target). Returns true to stop
    // Qt from handling the event itself. Derived classes may extend it.
    virtual bool translateEvent(QEvent* e);

    // Instance variables shared by every window object.
    rt::Value parent, owner, pos, size, presParams, visible, cargo, tabstop, group, tooltipText;
    rt::Value cbLbDown, cbLbUp, cbLbClick, cbLbDblClick, cbRbDown, cbRbUp, cbMotion, cbWheel, cbKeyboard,
        cbSetInputFocus, cbKillInputFocus, cbResize, cbClose, cbPaint;
    int status = NotCreated;

protected:
    // Derived classes make their widget in create() and hand it over here:
    // the widget is parented to the parent object's widget, bound to this
    // object, placed, given presParams and shown when visible; status
    // becomes Created. A previous widget is deleted.
    void adoptWidget(QWidget* w);
    // Reads parent, owner, pos, size, presParams, visible from create's or
    // new's arguments where they are given.
    void takeGeometryArgs(rt::Args a);
    // Places the widget from pos and size (called again when the parent
    // resizes, so the distance to the parent's bottom edge stays).
    void placeWidget();

    QPointer<QWidget> widget_;

private:
    friend class PartBinding;
    friend class WeakPart;
    void widgetGone() noexcept;
    [[nodiscard]] QWidget* parentWidget() const;

    rt::Value ps_;                       // the XbpPS, made on first use
    std::unique_ptr<QImage> canvas_;     // lockPS outside a paint event
    std::unique_ptr<QPainter> canvasPainter_;
    QPainter* paintPainter_ = nullptr;   // the paint event in progress
    int lockDepth_ = 0;
    int updateLocks_ = 0;
    std::shared_ptr<char> alive_;  // made by the first WeakPart; expires with the object
};

// A weak reference to a window object. Blocks an object keeps (its
// callbacks, its columns' data links and colour blocks) reach it through
// one, so they never keep it alive in a cycle: there is no cycle collector.
//
// Made from a value that is no window object, it holds that value as it is
// (strongly): there is no cycle to break through an object we do not own.
class WeakPart {
public:
    WeakPart() = default;
    explicit WeakPart(XbpPart& part);
    [[nodiscard]] static WeakPart from(const rt::Value& v);

    // The object (sharing ownership while the caller holds the value), or
    // NIL once it is gone or being destroyed.
    [[nodiscard]] rt::Value lock() const;
    // The window object while it lives, else null; takes no ownership. An
    // object whose count fell to 0 is inside its destructor: a new
    // reference would free it a second time.
    [[nodiscard]] XbpPart* get() const noexcept
    {
        return part_ && !alive_.expired() && part_->refCount() > 0 ? part_ : nullptr;
    }

private:
    XbpPart* part_ = nullptr;
    std::weak_ptr<char> alive_;
    rt::Value other_;  // from() of a value that is no window object
};

// The XbpPart behind a runtime value, or null.
[[nodiscard]] XbpPart* asPart(const rt::Value& v);

// dynamic_cast<T*> of the object in a value, redone only when another
// object (or one of another type at the same address) is there: for the
// links a grid follows on every cell (a column's data area, a cell group's
// column). It holds no reference.
template <class T>
class CastCache {
public:
    [[nodiscard]] T* operator()(const rt::Value& v) const
    {
        if (!v.isObject())
            return nullptr;
        rt::Object& o = v.asObject();
        const std::type_info& type = typeid(o);
        if (&o != object_ || &type != type_) {
            object_ = &o;
            type_ = &type;
            cast_ = dynamic_cast<T*>(&o);
        }
        return cast_;
    }

private:
    mutable const rt::Object* object_ = nullptr;
    mutable const std::type_info* type_ = nullptr;
    mutable T* cast_ = nullptr;
};

// A size or position value {a, b}; nullopt unless two numbers.
[[nodiscard]] std::optional<QPoint> pairOf(const rt::Value& v);
[[nodiscard]] rt::Value pairValue(int a, int b);

}  // namespace gui
