// Static areas, creation-time elements, button groups and the progress window.
#include "platform/dialog/panel.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/layout.h"
#include "platform/dialog/library.h"

#include "platform/gui/color.h"
#include "platform/gui/widgetbase.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace dlg {

namespace {

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

bool fillsParent(const rt::Value& v) { return v.isNum() && v.asInt() == kFillParent; }

}  // namespace

// ------------------------------------------------------------ static

const rt::ClassInfo& StaticPart::staticClass()
{
    static const rt::ClassInfo cls("RK_XbpStatic", {&ElementPart::staticClass()});
    return cls;
}

const rt::ClassInfo& StaticPart::classInfo() const { return staticClass(); }

rt::Value StaticPart::create(rt::Args a)
{
    takeGeometryArgs(a);
    takeCommonSlots();
    // A size of kFillParent takes the parent's whole area.
    const rt::Value& parentValue = rt::argAt(a, 0);
    const gui::XbpPart* p = gui::asPart(parentValue);
    if (p && p->widget() && (fillsParent(elementSlot(slot::Width)) || fillsParent(elementSlot(slot::Height)))) {
        const QSize ps = p->widget()->size();
        const auto cur = gui::pairOf(size);
        const int w = fillsParent(elementSlot(slot::Width)) ? ps.width() : cur ? cur->x() : 0;
        const int h = fillsParent(elementSlot(slot::Height)) ? ps.height() : cur ? cur->y() : 0;
        size = gui::pairValue(w, h);
        pos = gui::pairValue(0, 0);
    }
    auto* w = new gui::PartWidget<QFrame>();
    w->setFocusPolicy(Qt::NoFocus);
    if (const rt::Value bg = rt::entryOf(elementSlot(slot::Colors), 2); !bg.isNil()) {
        if (const auto c = gui::colorOf(bg)) {
            w->setAutoFillBackground(true);
            QPalette pal = w->palette();
            pal.setColor(QPalette::Window, *c);
            w->setPalette(pal);
        }
    }
    adoptWidget(w);
    if (const rt::Value b = getBlock(elementSlot(slot::StaticBlock)); b.isBlock())
        rt::evalWith(b, self());
    return self();
}

// ------------------------------------------------------------ on create

const rt::ClassInfo& OnCreatePart::staticClass()
{
    static const rt::ClassInfo cls("RK_XbpOnCreate", {&ElementPart::staticClass()});
    return cls;
}

const rt::ClassInfo& OnCreatePart::classInfo() const { return staticClass(); }

rt::Value OnCreatePart::create(rt::Args a)
{
    if (const rt::Value b = getBlock(elementSlot(slot::Action)); b.isBlock())
        rt::evalWith(b, rt::argAt(a, 0));
    return self();
}

// ------------------------------------------------------------ groups

void refreshGroup(const rt::Value& element, std::string_view groupId)
{
    const ElementPart* e = element.isObject() ? dynamic_cast<const ElementPart*>(&element.asObject()) : nullptr;
    DialogPart* d = e ? e->dialogPart() : nullptr;
    if (!d)
        return;
    const std::vector<rt::Value> all = d->elements;
    for (const rt::Value& v : all)
        if (auto* part = v.isObject() ? dynamic_cast<ElementPart*>(&v.asObject()) : nullptr)
            if (textSlot(part->element(), slot::GroupId) == groupId)
                part->refreshConditions();
}

// ------------------------------------------------------------ progress

struct ProgressWindow::Widgets {
    QPointer<QDialog> dialog;
    QPointer<QProgressBar> bar;
    QPointer<QPushButton> cancel;
};

const rt::ClassInfo& ProgressWindow::staticClass()
{
    static const rt::ClassInfo cls = [] {
        rt::ClassInfo c("RK_ProgressWindow");
        c.method<ProgressWindow>("destroy", [](ProgressWindow& o, rt::Args) { o.destroy(); });
        c.method<ProgressWindow>("setData", [](ProgressWindow& o, rt::Args a) {
            const rt::Value& n = rt::argAt(a, 0);
            if (n.isNum())
                o.setProgress(int(n.asInt()));
            return o.progress();
        });
        return c;
    }();
    return cls;
}

const rt::ClassInfo& ProgressWindow::classInfo() const { return staticClass(); }

ProgressWindow::ProgressWindow(std::string_view title, rt::Value onCancel) : w_(std::make_unique<Widgets>())
{
    auto* d = new QDialog(activeDialog());
    d->setWindowTitle(qstr(title));
    d->setFont(dialogFont());
    d->setObjectName(QStringLiteral("RK_ProgressWindow"));
    auto* bar = new QProgressBar(d);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setMinimumWidth(int(50 * colPixels()));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), d);
    cancel->setObjectName(QStringLiteral("Cancel"));
    QObject::connect(cancel, &QPushButton::clicked, [onCancel] {
        if (onCancel.isBlock())
            rt::runReporting([&] { rt::evalWith(onCancel); });
    });
    auto* layout = new QVBoxLayout(d);
    layout->addWidget(bar);
    auto* row = new QHBoxLayout();
    row->addStretch();
    row->addWidget(cancel);
    layout->addLayout(row);
    d->setModal(false);
    d->show();
    w_->dialog = d;
    w_->bar = bar;
    w_->cancel = cancel;
}

ProgressWindow::~ProgressWindow() { destroy(); }

void ProgressWindow::setProgress(int percent)
{
    if (w_->bar)
        w_->bar->setValue(std::clamp(percent, 0, 100));
}

int ProgressWindow::progress() const { return w_->bar ? w_->bar->value() : 0; }

void ProgressWindow::clickCancel()
{
    if (w_->cancel)
        w_->cancel->click();
}

void ProgressWindow::destroy()
{
    if (w_->dialog)
        delete w_->dialog.data();
}

void getProgress(const rt::Value& progress, double current, double total)
{
    auto* p = progress.isObject() ? dynamic_cast<ProgressWindow*>(&progress.asObject()) : nullptr;
    if (p && total > 0)
        p->setProgress(int(std::lround(current * 100.0 / total)));
}

// Called every few records by a long scan: the events are handled at most
// every 10 ms, which keeps a Cancel click prompt without the cost of
// handling events thousands of times a second.
void completeEvents()
{
    static auto last = std::chrono::steady_clock::time_point();
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::milliseconds(10))
        return;
    last = now;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void pointerWait()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void pointerArrow()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
}

namespace {

rt::Value fnGetProgress(rt::Args a)
{
    const rt::Value& n = rt::argAt(a, 1);
    const rt::Value& t = rt::argAt(a, 2);
    getProgress(rt::argAt(a, 0), n.isNum() ? n.asDouble() : 0, t.isNum() ? t.asDouble() : 0);
    return {};
}

rt::Value fnCompleteEvents(rt::Args)
{
    completeEvents();
    return {};
}

rt::Value fnPointerWait(rt::Args)
{
    pointerWait();
    return {};
}

rt::Value fnPointerArrow(rt::Args)
{
    pointerArrow();
    return {};
}

// RK_ProgressWindow(cTitle, bCancel): the window's object; its destroy() closes it.
rt::Value fnProgressWindow(rt::Args a)
{
    const rt::Value& title = rt::argAt(a, 0);
    return rt::Value(static_cast<rt::Object*>(
        new ProgressWindow(title.isChar() ? title.asString() : std::string_view(), rt::argAt(a, 1))));
}

}  // namespace

void registerPanelFunctions()
{
    rt::registerFunction("RK_GetProgress", fnGetProgress);
    rt::registerFunction("RK_CompleteEvents", fnCompleteEvents);
    rt::registerFunction("RK_PointerWait", fnPointerWait);
    rt::registerFunction("RK_PointerArrow", fnPointerArrow);
    rt::registerFunction("RK_ProgressWindow", fnProgressWindow);
}

}  // namespace dlg
