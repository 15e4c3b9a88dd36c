#include "platform/dialog/elements.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/layout.h"
#include "platform/gui/events.h"
#include "platform/gui/font.h"
#include "platform/gui/widgetbase.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"

#include <QDialog>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QValidator>

namespace dlg {

namespace {

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

bool isEnterKey(const QKeyEvent& e)
{
    return (e.key() == Qt::Key_Return || e.key() == Qt::Key_Enter) &&
           (e.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

bool isModifierKey(int k)
{
    return k == Qt::Key_Shift || k == Qt::Key_Control || k == Qt::Key_Alt || k == Qt::Key_Meta ||
           k == Qt::Key_AltGr || k == Qt::Key_CapsLock || k == Qt::Key_NumLock;
}

// A key that types a character (not an editing or navigation key).
bool typesText(const QKeyEvent& e)
{
    if (e.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString t = e.text();
    return !t.isEmpty() && t[0].isPrint();
}

class DialogWidget final : public gui::PartWidget<QDialog> {
public:
    DialogWidget() : gui::PartWidget<QDialog>(nullptr, Qt::Dialog) {}

    // Escape: the read decides, through the queue, instead of the dialog hiding itself.
    void reject() override
    {
        if (gui::XbpPart* part = gui::XbpPart::fromWidget(this))
            gui::postAppEvent(dev::EndRead, 5, rt::Value(), part->self());
    }
};

class EntryValidator final : public QValidator {
public:
    EntryValidator(EntryFormat f, QObject* parent) : QValidator(parent), format_(std::move(f)) {}
    State validate(QString& input, int&) const override
    {
        std::u32string text = input.toStdU32String();
        if (!entryAccepts(format_, text))
            return Invalid;
        input = QString::fromStdU32String(text);
        return Acceptable;
    }

private:
    EntryFormat format_;
};

class EntryWidget final : public gui::PartWidget<QLineEdit> {
public:
    explicit EntryWidget(bool clearOnFirstKey) : clearOnFirstKey_(clearOnFirstKey)
    {
        connect(this, &QLineEdit::textEdited, this, [this] { edited = true; });
    }

    bool edited = false;  // typed into since it was filled or written back

protected:
    void focusInEvent(QFocusEvent* e) override
    {
        QLineEdit::focusInEvent(e);
        if (e->reason() == Qt::MouseFocusReason)
            return;  // the click places the cursor
        fresh_ = clearOnFirstKey_;
        if (fresh_)
            selectAll();
        else
            home(false);
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        fresh_ = false;
        QLineEdit::focusOutEvent(e);
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        fresh_ = false;
        QLineEdit::mousePressEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        if (isEnterKey(*e)) {
            focusNextPrevChild(true);
            e->accept();
            return;
        }
        if (!isModifierKey(e->key())) {
            // Typing over the whole selection replaces it only when the
            // validator takes the new text, so a rejected key keeps the value.
            if (fresh_ && typesText(*e))
                selectAll();
            fresh_ = false;
        }
        QLineEdit::keyPressEvent(e);
    }

private:
    bool clearOnFirstKey_;
    bool fresh_ = false;  // focus arrived by keyboard and nothing was typed yet
};

class ButtonWidget final : public gui::PartWidget<QPushButton> {
public:
    ButtonWidget()
    {
        // Enter in an entry field moves on; it must not press a default button.
        setAutoDefault(false);
        setDefault(false);
        connect(this, &QAbstractButton::clicked, this, [this] {
            if (gui::XbpPart* part = gui::XbpPart::fromWidget(this))
                gui::postAppEvent(dev::Activate, rt::Value(), rt::Value(), part->self());
        });
    }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if (isEnterKey(*e)) {
            click();
            e->accept();
            return;
        }
        QPushButton::keyPressEvent(e);
    }
};

// Help text (slot 15), which every element may have.
void applyCommonSlots(ElementPart& part)
{
    if (const rt::Value tip = part.elementSlot(slot::Tooltip); tip.isChar())
        part.tooltipText = tip;
}

void applyFont(ElementPart& part)
{
    if (!part.widget())
        return;
    if (const auto font = gui::fontOf(part.elementSlot(slot::Font)))
        part.widget()->setFont(*font);
}

bool isPasswordRecord(const rt::Value& record)
{
    const rt::Value& p = slotOf(record, slot::Password);
    if (!p.isArray() || p.asArray().size() == 0)
        return false;
    const rt::Value& on = p.asArray().items[0];
    return on.isLogical() && on.asBool();
}

rt::ClassInfo makeDialogClass()
{
    rt::ClassInfo c("RK_XbpDialog", {&gui::XbpPart::staticClass()});
    c.field<DialogPart>("title", &DialogPart::title);
    return c;
}


rt::ClassInfo makeGetClass()
{
    rt::ClassInfo c("RK_XbpGet", {&ElementPart::staticClass()});
    c.method<GetPart>("editBuffer", [](GetPart& o, rt::Args) { return rt::Value(o.editBuffer()); });
    c.method<GetPart>("getData", [](GetPart& o, rt::Args) { return rt::Value(o.editBuffer()); });
    return c;
}

}  // namespace

rt::Value slotBlock(const rt::Value& v)
{
    if (v.isBlock())
        return v;
    if (v.isArray() && v.asArray().size() > 0 && v.asArray().items[0].isBlock())
        return v.asArray().items[0];
    return {};
}

// --- dialog

const rt::ClassInfo& DialogPart::staticClass()
{
    static const rt::ClassInfo cls = makeDialogClass();
    return cls;
}

const rt::ClassInfo& DialogPart::classInfo() const { return staticClass(); }

rt::Value DialogPart::create(rt::Args a)
{
    takeGeometryArgs(a);
    auto* w = new DialogWidget();
    w->setWindowTitle(title.isChar() ? qstr(title.asString()) : QString());
    w->setFont(dialogFont());
    w->setWindowModality(Qt::ApplicationModal);
    if (const auto s = gui::pairOf(size))
        w->setFixedSize(s->x(), s->y());
    adoptWidget(w);
    return self();
}

rt::Value DialogPart::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    switch (nEvent) {
    case dev::EndRead:
        endRead(mp1.isNum() && mp1.asInt() == 6);
        return {};
    case gui::ev::Close: {
        rt::Value r = XbpPart::handleEvent(nEvent, mp1, mp2);
        endRead(false);
        return r;
    }
    default: return XbpPart::handleEvent(nEvent, mp1, mp2);
    }
}

void DialogPart::endRead(bool ok)
{
    if (ended_)
        return;
    if (ok)
        for (const rt::Value& e : elements)
            if (auto* get = e.isObject() ? dynamic_cast<GetPart*>(&e.asObject()) : nullptr)
                get->commit();
    ended_ = true;
    accepted_ = ok;
}

QDialog* DialogPart::dialog() const { return qobject_cast<QDialog*>(widget()); }

// --- elements

const rt::ClassInfo& ElementPart::staticClass()
{
    static const rt::ClassInfo cls("RK_XbpElement", {&gui::XbpPart::staticClass(), &ElementParts::staticClass()});
    return cls;
}

const rt::ClassInfo& ElementPart::classInfo() const { return staticClass(); }

const rt::ClassInfo& SayPart::staticClass()
{
    static const rt::ClassInfo cls("RK_XbpSay", {&ElementPart::staticClass()});
    return cls;
}

const rt::ClassInfo& SayPart::classInfo() const { return staticClass(); }

rt::Value SayPart::create(rt::Args a)
{
    takeGeometryArgs(a);
    applyCommonSlots(*this);
    auto* w = new gui::PartWidget<QLabel>();
    w->setText(qstr(textSlot(element(), slot::Caption)));
    w->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    w->setTextFormat(Qt::PlainText);
    adoptWidget(w);
    applyFont(*this);
    // The caption is never cut: a wide text may reach under the next element.
    if (const int need = w->sizeHint().width(); need > w->width())
        setSize(QSize(need, w->height()));
    return self();
}

const rt::ClassInfo& GetPart::staticClass()
{
    static const rt::ClassInfo cls = makeGetClass();
    return cls;
}

const rt::ClassInfo& GetPart::classInfo() const { return staticClass(); }

rt::Value GetPart::create(rt::Args a)
{
    takeGeometryArgs(a);
    applyCommonSlots(*this);
    const rt::Value record = element();
    binding = entryBinding(record);
    const rt::Value value = binding.isBlock() ? rt::evalWith(binding) : rt::Value();
    format = entryFormat(value, slotOf(record, slot::Picture));
    auto* w = new EntryWidget(format.clearOnFirstKey);
    if (const std::string mask = entryInputMask(format); !mask.empty())
        w->setInputMask(qstr(mask));
    w->setValidator(new EntryValidator(format, w));
    if (format.kind == 'N')
        w->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (isPasswordRecord(record))
        w->setEchoMode(QLineEdit::Password);
    w->setReadOnly(format.kind == 'U' || !binding.isBlock());
    adoptWidget(w);
    applyFont(*this);
    w->setText(qstr(entryText(format, value)));
    return self();
}

rt::Value GetPart::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    if (nEvent == gui::ev::KillInputFocus)
        commit();
    return ElementPart::handleEvent(nEvent, mp1, mp2);
}

QLineEdit* GetPart::lineEdit() const { return qobject_cast<QLineEdit*>(widget()); }

std::string GetPart::editBuffer() const
{
    const QLineEdit* le = lineEdit();
    return le ? le->text().toStdString() : std::string();
}

void GetPart::load()
{
    auto* w = static_cast<EntryWidget*>(lineEdit());
    if (!w || !binding.isBlock())
        return;
    w->setText(qstr(entryText(format, rt::evalWith(binding))));
    w->edited = false;
}

void GetPart::commit()
{
    auto* w = static_cast<EntryWidget*>(lineEdit());
    if (!w || !w->edited || !binding.isBlock() || format.kind == 'U')
        return;
    const std::string text = w->text().toStdString();
    rt::evalWith(binding, entryValue(format, text));
    w->edited = false;
    // Show the value as written (padding, number form) unless the user is
    // already typing in the field again.
    if (!w->hasFocus())
        load();
}

const rt::ClassInfo& PushButtonPart::staticClass()
{
    static const rt::ClassInfo cls = [] {
        rt::ClassInfo c("RK_XbpPushButton", {&ElementPart::staticClass()});
        c.callback<PushButtonPart>("activate", &PushButtonPart::cbActivate,
                                   [](PushButtonPart& o, rt::Args a) -> rt::Value {
                                       return o.cbActivate.isBlock()
                                                  ? rt::evalWith(o.cbActivate, rt::argAt(a, 0), rt::argAt(a, 1), o.self())
                                                  : rt::Value();
                                   });
        return c;
    }();
    return cls;
}

const rt::ClassInfo& PushButtonPart::classInfo() const { return staticClass(); }

rt::Value PushButtonPart::create(rt::Args a)
{
    takeGeometryArgs(a);
    applyCommonSlots(*this);
    auto* w = new ButtonWidget();
    QStringList lines;
    for (const std::string& line : captionLines(element()))
        lines << qstr(line);
    w->setText(lines.join(QLatin1Char('\n')));
    adoptWidget(w);
    applyFont(*this);
    return self();
}

rt::Value PushButtonPart::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    if (nEvent != dev::Activate)
        return ElementPart::handleEvent(nEvent, mp1, mp2);
    if (const rt::Value action = slotBlock(elementSlot(slot::Action)); action.isBlock())
        rt::evalWith(action, rt::Value(), rt::Value(), self());
    return fire("activate");
}

}  // namespace dlg
