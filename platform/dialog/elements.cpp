#include "platform/dialog/elements.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/layout.h"
#include "platform/dialog/library.h"
#include "platform/gui/events.h"
#include "platform/gui/font.h"
#include "platform/gui/widgetbase.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>
#include <QValidator>

namespace dlg {

namespace {

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

bool isEnterKey(const QKeyEvent& e)
{
    return (e.key() == Qt::Key_Return || e.key() == Qt::Key_Enter) &&
           (e.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
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
    EntryWidget()
    {
        connect(this, &QLineEdit::textEdited, this, [this] { edited = true; });
    }

    void setClearOnFirstKey(bool on) { clearOnFirstKey_ = on; }
    // A date typed over is a new date: the first character typed since the
    // field was filled replaces the whole date, wherever the cursor was, so
    // a two-digit year never lands before the old year's last digits.
    void setReplacedWhole(bool on) { replacedWhole_ = on; }
    // The characters the field holds, shown as "typed/limit" at its right
    // while it has the focus (red once over); 0 shows nothing.
    void setLimit(int chars)
    {
        limit_ = chars;
        update();
    }

    // The pop-up button at the right end; it takes no focus, so pressing it
    // does not leave the field.
    void setPopupButton(bool on)
    {
        if (on == bool(button_))
            return;
        if (!on) {
            delete button_;
            placeButton();
            return;
        }
        button_ = new QToolButton(this);
        button_->setObjectName(QStringLiteral("dlgPopupButton"));
        button_->setText(QStringLiteral("..."));
        button_->setFocusPolicy(Qt::NoFocus);
        button_->setCursor(Qt::ArrowCursor);
        connect(button_, &QToolButton::clicked, this, [this] {
            if (gui::XbpPart* part = gui::XbpPart::fromWidget(this))
                gui::postAppEvent(dev::Popup, rt::Value(), rt::Value(), part->self());
        });
        placeButton();
        button_->show();
    }

    bool edited = false;  // typed into since it was filled or written back
    // Why the focus last left: a window that lost the activation (a message
    // box, a pop-up) did not leave the field.
    Qt::FocusReason lastFocusOut = Qt::OtherFocusReason;

protected:
    void resizeEvent(QResizeEvent* e) override
    {
        QLineEdit::resizeEvent(e);
        placeButton();
    }
    void paintEvent(QPaintEvent* e) override
    {
        QLineEdit::paintEvent(e);
        if (limit_ <= 0 || !hasFocus())
            return;
        QPainter p(this);
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.75);
        p.setFont(small);
        const int typed = int(text().toStdU32String().size());
        p.setPen(typed > limit_ ? QColor(Qt::red) : palette().color(QPalette::PlaceholderText));
        p.drawText(rect().adjusted(0, 0, -(limitRoom() - counterWidth()) - 3, 0), Qt::AlignRight | Qt::AlignVCenter,
                   counterText());
    }
    void focusInEvent(QFocusEvent* e) override
    {
        placeButton();
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
        placeButton();
        lastFocusOut = e->reason();
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
            if (!pressDefaultButton())
                focusNextPrevChild(true);
            e->accept();
            return;
        }
        if (replacedWhole_ && !edited && typesText(*e) && !isReadOnly()) {
            fresh_ = false;
            const QString old = text();
            clear();
            setCursorPosition(0);
            QLineEdit::keyPressEvent(e);
            if (!edited)  // a key the field refuses keeps the date
                setText(old);
            return;
        }
        if (!gui::isModifierKey(e->key())) {
            // Typing over the whole selection replaces it only when the
            // validator takes the new text, so a rejected key keeps the value.
            if (fresh_ && typesText(*e))
                selectAll();
            fresh_ = false;
        }
        QLineEdit::keyPressEvent(e);
    }

private:
    // Enter in a dialog with a default button presses it. The focus goes to
    // the button first, so the field is written back and validated as when
    // it is left; a field that refuses keeps the focus and the press is
    // dropped.
    bool pressDefaultButton()
    {
        for (QPushButton* b : window()->findChildren<QPushButton*>())
            if (b->isDefault() && b->window() == window() && b->isVisible() && b->isEnabled()) {
                b->setFocus(Qt::TabFocusReason);
                if (b->hasFocus())
                    b->click();
                return true;
            }
        return false;
    }
    QString counterText() const { return QStringLiteral("%1/%2").arg(text().toStdU32String().size()).arg(limit_); }
    int counterWidth() const
    {
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.75);
        return limit_ > 0 && hasFocus() ? QFontMetrics(small).horizontalAdvance(counterText() + "0") + 4 : 0;
    }
    // Room at the right for the pop-up button and the counter.
    int limitRoom() const
    {
        const int side = button_ ? std::max(12, height() - 4) + 2 : 0;
        return side + counterWidth();
    }
    void placeButton()
    {
        if (button_) {
            const int side = std::max(12, height() - 4);
            button_->setGeometry(width() - side - 2, (height() - side) / 2, side, side);
        }
        setTextMargins(0, 0, limitRoom(), 0);
    }

    bool clearOnFirstKey_ = false;
    bool replacedWhole_ = false;
    int limit_ = 0;
    bool fresh_ = false;  // focus arrived by keyboard and nothing was typed yet
    QPointer<QToolButton> button_;
};

class ButtonWidget final : public gui::PartWidget<QPushButton> {
public:
    // Shown again by a hide condition: a press at its place a moment ago
    // was the first of a double click on the button it replaces.
    void markRevealed()
    {
        const Press& last = lastPress();
        armed_ = last.when.isValid() && rect().contains(mapFromGlobal(last.global));
        if (armed_)
            revealedBy_ = last.when;
    }

    ButtonWidget()
    {
        // Enter in an entry field moves on unless the element names this
        // button its dialog's default (entry fields press that one).
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
    void mousePressEvent(QMouseEvent* e) override
    {
        if (armed_ && revealedBy_.elapsed() < QApplication::doubleClickInterval()) {
            e->accept();
            return;
        }
        armed_ = false;
        lastPress() = {e->globalPosition().toPoint(), {}};
        lastPress().when.start();
        QPushButton::mousePressEvent(e);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override { mousePressEvent(e); }

private:
    struct Press {
        QPoint global;
        QElapsedTimer when;
    };
    static Press& lastPress()
    {
        static Press p;
        return p;
    }
    bool armed_ = false;
    QElapsedTimer revealedBy_;
};

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
    c.method<GetPart>("refresh", [](GetPart& o, rt::Args) { o.load(); return o.self(); });
    return c;
}

bool isPopupKey(int k) { return k == gui::key::F1 + 3 || k == gui::key::Down + gui::key::AltFlag; }

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
    case dev::EndRead: {
        const bool ok = mp1.isNum() && mp1.asInt() == 6;
        if (ok || ended_ || !mayEndWithoutOk || mayEndWithoutOk())
            endRead(ok);
        return {};
    }
    case gui::ev::Close: {
        rt::Value r = XbpPart::handleEvent(nEvent, mp1, mp2);
        if (ended_ || !mayEndWithoutOk || mayEndWithoutOk())
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
    // A field holding a text that is not its value (said when it was left)
    // keeps the read running: ending with OK would drop that text unseen.
    if (ok && !commitEdits())
        return;
    ended_ = true;
    accepted_ = ok;
}

bool DialogPart::commitEdits()
{
    bool all = true;
    for (const rt::Value& e : elements)
        if (auto* get = e.isObject() ? dynamic_cast<GetPart*>(&e.asObject()) : nullptr)
            all = get->commit() && all;
    return all;
}

QDialog* DialogPart::dialog() const { return qobject_cast<QDialog*>(widget()); }

void DialogPart::refreshConditions()
{
    const std::vector<rt::Value> all = elements;  // a block may end the read meanwhile
    for (const rt::Value& e : all)
        if (auto* part = e.isObject() ? dynamic_cast<ElementPart*>(&e.asObject()) : nullptr)
            part->refreshConditions();
}

// --- elements

const rt::ClassInfo& ElementPart::staticClass()
{
    static const rt::ClassInfo cls("RK_XbpElement", {&gui::XbpPart::staticClass(), &ElementParts::staticClass()});
    return cls;
}

const rt::ClassInfo& ElementPart::classInfo() const { return staticClass(); }

void ElementPart::takeCommonSlots()
{
    if (const rt::Value tip = elementSlot(slot::Tooltip); tip.isChar())
        tooltipText = tip;
    whenBlock = getBlock(elementSlot(slot::When));
    hideBlock = getBlock(elementSlot(slot::Hide));
}

void ElementPart::applyFont()
{
    if (!widget())
        return;
    if (const auto font = gui::fontOf(elementSlot(slot::Font)))
        widget()->setFont(*font);
}

void ElementPart::runAnchor()
{
    if (const rt::Value anchor = getBlock(elementSlot(slot::Anchor), "O"); anchor.isBlock())
        rt::evalWith(anchor, self());
}

void ElementPart::refreshConditions()
{
    if (!widget())
        return;
    rt::Value v;
    if (whenBlock.isBlock() && rt::runReporting([&] { v = rt::evalWith(whenBlock, self()); }))
        setEnabled(rt::isTrue(v));
    if (hideBlock.isBlock() && rt::runReporting([&] { v = rt::evalWith(hideBlock, self()); })) {
        const bool wasHidden = widget()->isHidden();
        setVisible(!rt::isTrue(v));
        if (wasHidden && !rt::isTrue(v))
            revealed();
    }
}

DialogPart* ElementPart::dialogPart() const
{
    const GetListObject* g = asGetList(getList);
    return g && g->dialog.isObject() ? dynamic_cast<DialogPart*>(&g->dialog.asObject()) : nullptr;
}

void ElementPart::release()
{
    getList = whenBlock = hideBlock = protectBlock = rt::Value();
    // Callbacks the caller set can no longer fire, yet may hold the object.
    for (rt::Value* cb : {&cbLbDown, &cbLbUp, &cbLbClick, &cbLbDblClick, &cbRbDown, &cbRbUp, &cbMotion, &cbWheel,
                          &cbKeyboard, &cbSetInputFocus, &cbKillInputFocus, &cbResize, &cbClose, &cbPaint})
        *cb = rt::Value();
}

void ElementPart::afterChange() const
{
    if (DialogPart* d = dialogPart(); d && !d->ended())
        d->refreshConditions();
}

const rt::ClassInfo& SayPart::staticClass()
{
    static const rt::ClassInfo cls("RK_XbpSay", {&ElementPart::staticClass()});
    return cls;
}

const rt::ClassInfo& SayPart::classInfo() const { return staticClass(); }

rt::Value SayPart::create(rt::Args a)
{
    takeGeometryArgs(a);
    takeCommonSlots();
    auto* w = new gui::PartWidget<QLabel>();
    w->setText(qstr(textSlot(element(), slot::Caption)));
    w->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    w->setTextFormat(Qt::PlainText);
    adoptWidget(w);
    applyFont();
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
    takeCommonSlots();
    const rt::Value record = element();
    binding = entryBinding(record);
    keyHandler = getBlock(slotOf(record, slot::KeyHandler));
    validBlock = getBlock(slotOf(record, slot::Valid));
    if (const rt::Value& pop = slotOf(record, slot::Popup); pop.isArray()) {
        popupBlock = slotBlock(pop.asArray().size() > 0 ? pop.asArray().items[0] : rt::Value());
        popupStores = !rt::isTrue(rt::entryOf(pop, 3));
    }
    const rt::Value value = binding.isBlock() ? rt::evalWith(binding) : rt::Value();
    auto* w = new EntryWidget();
    if (isPasswordRecord(record))
        w->setEchoMode(QLineEdit::Password);
    adoptWidget(w);
    applyFormat(value);
    applyFont();
    w->setText(qstr(entryText(format, value)));
    return self();
}

void GetPart::applyFormat(const rt::Value& value)
{
    auto* w = static_cast<EntryWidget*>(lineEdit());
    format = entryFormat(value, slotOf(element(), slot::Picture));
    if (!w)
        return;
    w->setClearOnFirstKey(format.clearOnFirstKey);
    w->setReplacedWhole(format.kind == 'D');
    w->setInputMask(qstr(entryInputMask(format)));
    delete w->validator();
    w->setValidator(new EntryValidator(editingFormat(format), w));
    // A text of a hundred characters and more is a buffer (a search text),
    // not a field of a table: no count.
    w->setLimit(format.kind == 'C' && format.length < 100 && !isPasswordRecord(element()) ? format.length : 0);
    w->setAlignment((format.kind == 'N' ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    w->setReadOnly(format.kind == 'U' || !binding.isBlock());
    w->setPopupButton(hasPopup());
}

rt::Value GetPart::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    switch (nEvent) {
    case gui::ev::Keyboard:
        if (mp1.isNum() && isPopupKey(int(mp1.asInt())) && hasPopup())
            popup();
        if (keyHandler.isBlock() && mp1.isNum())
            rt::evalWith(keyHandler, mp1, rt::Value(), self());
        break;
    case gui::ev::SetInputFocus:
        if (DialogPart* d = dialogPart(); d && d->refocus == this)
            d->refocus = nullptr;
        break;
    case gui::ev::KillInputFocus: leave(); break;
    case dev::Popup: popup(); return {};
    default: break;
    }
    return ElementPart::handleEvent(nEvent, mp1, mp2);
}

// Leaving the field: the edit is written back, then valid decides whether
// the focus may go. Fields the focus only passes through on its way back to
// a refused one, or a window that merely lost the activation, are not
// validated.
void GetPart::leave()
{
    auto* w = static_cast<EntryWidget*>(lineEdit());
    if (!w)
        return;
    DialogPart* d = dialogPart();
    const bool deactivated = w->lastFocusOut == Qt::ActiveWindowFocusReason || w->lastFocusOut == Qt::PopupFocusReason;
    if (w->edited && !entryTextValid(format, w->text().toStdString())) {
        if (!deactivated && !(d && (d->refocus || d->ended())))
            refuseText(*w);
        return;
    }
    commit();
    // A click that took the focus left the field, not the key pressed before
    // it (its own press is queued behind this event).
    if (d && w->lastFocusOut == Qt::MouseFocusReason)
        d->lastKey = 0;
    if (validBlock.isBlock() && !deactivated && !(d && (d->refocus || d->ended()))) {
        rt::Value ok;
        if (rt::runReporting([&] { ok = rt::evalWith(validBlock, self()); }) && ok.isLogical() && !ok.asBool() &&
            w->isEnabled() && w->isVisible() && !w->hasFocus()) {
            w->setFocus(Qt::OtherFocusReason);
            if (d && w->hasFocus())
                d->refocus = this;
        }
    }
    afterChange();
}

// A text that is not a value of the field: said, and the field keeps the
// focus and the text, so nothing typed is lost or written as empty.
void GetPart::refuseText(QLineEdit& w)
{
    winAlert(entryRefusal(format, w.text().toStdString()), format.kind == 'D' ? "Fecha" : "Aviso");
    if (!w.isEnabled() || !w.isVisible())
        return;
    w.setFocus(Qt::OtherFocusReason);
    if (DialogPart* d = dialogPart(); d && w.hasFocus())
        d->refocus = this;
}

void GetPart::release()
{
    ElementPart::release();
    binding = keyHandler = validBlock = popupBlock = rt::Value();
}

QLineEdit* GetPart::lineEdit() const { return qobject_cast<QLineEdit*>(widget()); }

std::string GetPart::editBuffer() const
{
    const QLineEdit* le = lineEdit();
    if (!le)
        return {};
    const std::string text = le->text().toStdString();
    return format.kind == 'C' ? rt::padR(text, std::size_t(format.length)) : text;
}

void GetPart::load()
{
    auto* w = static_cast<EntryWidget*>(lineEdit());
    if (!w || !binding.isBlock())
        return;
    const rt::Value v = rt::evalWith(binding);
    const char k = v.typeLetter();
    const bool editable = k == 'C' || k == 'N' || k == 'D' || k == 'L';
    if (editable && (k != format.kind || (k == 'C' && v.charLen() != std::size_t(format.length))))
        applyFormat(v);
    w->setText(qstr(entryText(format, v)));
    w->edited = false;
}

bool GetPart::commit()
{
    auto* w = static_cast<EntryWidget*>(lineEdit());
    if (!w || !w->edited || !binding.isBlock() || format.kind == 'U')
        return true;
    const std::string text = w->text().toStdString();
    // Not a value: the variable keeps what it had (never an empty date).
    if (!entryTextValid(format, text))
        return false;
    rt::evalWith(binding, entryValue(format, text));
    w->edited = false;
    // Show the value as written (padding, number form) unless the user is
    // already typing in the field again.
    if (!w->hasFocus())
        load();
    return true;
}

void GetPart::popup()
{
    const QLineEdit* w = lineEdit();
    if (!w || !w->isEnabled() || !hasPopup())
        return;
    commit();
    const rt::Value current = binding.isBlock() ? rt::evalWith(binding) : rt::Value();
    rt::Value result = popupBlock.isBlock() ? rt::evalWith(popupBlock, current, rt::Value(), self()) : popDate(current);
    if (!result.isNil() && popupStores && binding.isBlock() && format.kind != 'U') {
        // A text is fitted to the field as typed text would be.
        if (format.kind == 'C' && result.isChar())
            result = entryValue(format, result.asString());
        rt::evalWith(binding, result);
        load();
    }
    afterChange();
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
    takeCommonSlots();
    auto* w = new ButtonWidget();
    QStringList lines;
    for (const std::string& line : captionLines(element()))
        lines << qstr(line);
    w->setText(lines.join(QLatin1Char('\n')));
    w->setDefault(rt::isTrue(rt::entryOf(elementSlot(slot::Options), buttonOption::Default)));
    adoptWidget(w);
    applyFont();
    return self();
}

void PushButtonPart::revealed()
{
    if (auto* w = dynamic_cast<ButtonWidget*>(widget()))
        w->markRevealed();
}

void PushButtonPart::release()
{
    ElementPart::release();
    cbActivate = rt::Value();
}

rt::Value PushButtonPart::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    if (nEvent != dev::Activate)
        return ElementPart::handleEvent(nEvent, mp1, mp2);
    // A press queued before an earlier action disabled or hid the button
    // (a double click), or behind a field that refused to let the focus
    // go, does not act.
    if (!isEnabled() || !widget()->isVisibleTo(widget()->window()))
        return {};
    if (const DialogPart* d = dialogPart(); d && d->refocus)
        return {};
    rt::Value r;
    // An action that raises is reported; the dialog's state still follows
    // whatever it changed before.
    rt::runReporting([&] {
        if (const rt::Value action = slotBlock(elementSlot(slot::Action)); action.isBlock())
            rt::evalWith(action, rt::Value(), rt::Value(), self());
        r = fire("activate");
    });
    afterChange();
    return r;
}

}  // namespace dlg
