// Options of a read: the title fallback and resizable windows whose browses
// follow the window's size.
#include "platform/dialog/dialog_options.h"

#include "platform/dialog/elements.h"

#include "platform/grid/browse.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <QDialog>
#include <QEvent>
#include <QResizeEvent>

namespace dlg {

namespace {

// Grows the dialog's browses with the window, through the size block.
class ResizeFollower final : public QObject {
public:
    ResizeFollower(QDialog* d, rt::Value dialog, rt::Value sizeBlock)
        : QObject(d), dialog_(std::move(dialog)), sizeBlock_(std::move(sizeBlock)), last_(d->size())
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() != QEvent::Resize || watched != parent())
            return false;
        const QSize now = static_cast<QResizeEvent*>(e)->size();
        const int dx = now.width() - last_.width(), dy = now.height() - last_.height();
        last_ = now;
        if (dx == 0 && dy == 0)
            return false;
        const std::vector<rt::Value> elements = static_cast<DialogPart&>(dialog_.asObject()).elements;
        for (const rt::Value& el : elements)
            if (gui::XbpBrowse* b = gui::asBrowse(el); b && b->widget())
                rt::runReporting([&] { resizeBrowse(*b, el, dx, dy); });
        return false;
    }

private:
    void resizeBrowse(gui::XbpBrowse& b, const rt::Value& el, int dx, int dy)
    {
        const rt::Value s = rt::evalWith(sizeBlock_, dx, dy, el);
        const rt::Value& w = rt::entryOf(s, 1);
        const rt::Value& h = rt::entryOf(s, 2);
        if (w.isNum() && h.isNum())
            b.setSize(QSize(std::max<int>(1, int(w.asInt())), std::max<int>(1, int(h.asInt()))));
    }

    rt::Value dialog_;  // the dialog owns this filter: no cycle, the value only reaches its elements
    rt::Value sizeBlock_;
    QSize last_;
};

rt::Value fnDialogOptions(rt::Args) { return dialogOptions(); }

}  // namespace

rt::Value dialogOptions() { return rt::Value::array(kDialogOptions); }

rt::Value optionTitle(const rt::Value& options)
{
    const rt::Value& t = rt::entryOf(options, readOption::Title);
    return t.isChar() ? t : rt::Value();
}

void applyDialogOptions(const rt::Value& dialog, const rt::Value& options)
{
    auto* part = dialog.isObject() ? dynamic_cast<DialogPart*>(&dialog.asObject()) : nullptr;
    QDialog* d = part ? part->dialog() : nullptr;
    if (!d || !rt::isTrue(rt::entryOf(options, readOption::Resizable)))
        return;
    d->setMinimumSize(QSize(120, 80));
    d->setMaximumSize(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    d->setSizeGripEnabled(true);
    if (rt::isTrue(rt::entryOf(options, readOption::Maximize)))
        d->setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    if (const rt::Value& b = rt::entryOf(options, readOption::SizeBlock); b.isBlock())
        d->installEventFilter(new ResizeFollower(d, dialog, b));
}

void registerDialogOptionFunctions() { rt::registerFunction("RK_DialogOptions", fnDialogOptions); }

}  // namespace dlg
