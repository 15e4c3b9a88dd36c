// The glue between a window object and its Qt widget.
//
// PartBinding is a QObject child of the widget: it holds a reference to the
// object for as long as the widget lives, filters the widget's events into
// platform events (XbpPart::translateEvent) and tells the object when the
// widget goes. PartWidget<W> is a widget W that also lets the object paint
// over it (paint callback, lockPS canvas); window objects use it for their
// own widgets, and any widget adopted by adoptWidget gets a binding.
#pragma once

#include "platform/gui/xbppart.h"

#include <QObject>
#include <QPaintEvent>
#include <QPainter>

namespace gui {

class PartBinding final : public QObject {
public:
    PartBinding(QWidget* w, XbpPart* part);
    ~PartBinding() override;
    [[nodiscard]] XbpPart* part() const noexcept { return part_; }
    // Cuts the widget off its object (destroy, re-create): no more events
    // reach the object; the reference is dropped with the widget.
    void detach() noexcept { part_ = nullptr; }
    // The binding of a widget, or null.
    [[nodiscard]] static PartBinding* of(const QWidget* w);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QWidget* widget_;  // the parent, alive while the binding is
    XbpPart* part_;
    rt::Value keep_;  // the object lives at least as long as the widget
};

template <class W>
class PartWidget : public W {
public:
    using W::W;

protected:
    void paintEvent(QPaintEvent* e) override
    {
        W::paintEvent(e);
        if (XbpPart* part = XbpPart::fromWidget(this)) {
            QPainter p(this);
            part->paintOver(p, e->rect());
        }
    }
};

}  // namespace gui
