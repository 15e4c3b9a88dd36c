#include "platform/gui/widgetbase.h"

#include <QEvent>

#include <unordered_map>

namespace gui {

namespace {
// Widget to binding, so a lookup does not walk the widget's children on
// every event. A table rather than a dynamic property: changing a property
// sends an event, which a widget being deleted must not get.
std::unordered_map<const QWidget*, PartBinding*>& bindings()
{
    static std::unordered_map<const QWidget*, PartBinding*> table;
    return table;
}
}  // namespace

PartBinding::PartBinding(QWidget* w, XbpPart* part) : QObject(w), widget_(w), part_(part), keep_(part->self())
{
    bindings()[w] = this;
    w->installEventFilter(this);
}

PartBinding::~PartBinding()
{
    bindings().erase(widget_);
    if (part_)
        part_->widgetGone();
    // Dropping the reference may free the object; nothing touches it after.
    rt::Value last = std::move(keep_);
}

PartBinding* PartBinding::of(const QWidget* w)
{
    if (!w)
        return nullptr;
    const auto it = bindings().find(w);
    return it != bindings().end() ? it->second : nullptr;
}

bool PartBinding::eventFilter(QObject* watched, QEvent* e)
{
    if (!part_ || watched != parent())
        return false;
    // The object may drop its last other reference while handling the event.
    const rt::Value hold = keep_;
    return part_->translateEvent(e);
}

}  // namespace gui
