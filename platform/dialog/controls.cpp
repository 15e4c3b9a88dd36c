// The element windows beyond labels, entries and buttons: group boxes,
// check boxes, combo boxes and pictures, and RK_BitMapDraw.
#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/layout.h"
#include "platform/dialog/library.h"

#include "platform/gui/bitmap.h"
#include "platform/gui/events.h"
#include "platform/gui/widgetbase.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

#include <QByteArray>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>

namespace dlg {

namespace {

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

void postActivate(QWidget* w, const rt::Value& mp1)
{
    if (gui::XbpPart* part = gui::XbpPart::fromWidget(w))
        gui::postAppEvent(dev::Activate, mp1, rt::Value(), part->self());
}

// The text a combo box shows for an item: a text as it stands (trailing
// blanks dropped), an array by its first entry, anything else converted.
std::string itemText(const rt::Value& v)
{
    if (v.isChar())
        return rt::rtrim(v.asString());
    if (v.isArray())
        return v.asArray().size() > 0 ? itemText(v.asArray().items[0]) : std::string();
    return v.isNil() ? std::string() : rt::var2char(v);
}

// The item list of slot 31: an array, or a block (alone or as { block, text }) yielding one.
std::vector<rt::Value> itemsOf(const rt::Value& source)
{
    rt::Value list = source;
    if (const rt::Value b = slotBlock(source); b.isBlock())
        list = rt::evalWith(b);
    return list.isArray() ? list.asArray().items : std::vector<rt::Value>{};
}

// Enter moves on, as it does in an entry field.
class CheckBoxWidget final : public gui::PartWidget<QCheckBox> {
protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
            (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            focusNextPrevChild(true);
            e->accept();
            return;
        }
        QCheckBox::keyPressEvent(e);
    }
};

class PictureWidget final : public gui::PartWidget<QFrame> {
public:
    PictureWidget()
    {
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        setObjectName(QStringLiteral("dlgPicture"));
    }
    QImage image;

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QFrame::paintEvent(e);
        QPainter p(this);
        const QRect box = contentsRect();
        if (!image.isNull() && !box.isEmpty()) {
            const QSize fit = image.size().scaled(box.size(), Qt::KeepAspectRatio);
            const QRect target(box.x() + (box.width() - fit.width()) / 2, box.y() + (box.height() - fit.height()) / 2,
                               fit.width(), fit.height());
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(target, image);
        }
        if (gui::XbpPart* part = gui::XbpPart::fromWidget(this))
            part->paintOver(p, e->rect());
    }
};

// Image bytes as a text value; base64 text (as pictures are often kept in
// text columns) is decoded when the bytes themselves are no image.
QImage decodeImage(std::string_view bytes)
{
    const QByteArray raw(bytes.data(), qsizetype(bytes.size()));
    QImage img = QImage::fromData(raw);
    if (!img.isNull())
        return img;
    const auto decoded = QByteArray::fromBase64Encoding(raw.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? QImage::fromData(*decoded) : QImage();
}

}  // namespace

// --- group

const rt::ClassInfo& GroupPart::staticClass()
{
    static const rt::ClassInfo cls("RK_XbpGroup", {&ElementPart::staticClass()});
    return cls;
}

const rt::ClassInfo& GroupPart::classInfo() const { return staticClass(); }

rt::Value GroupPart::create(rt::Args a)
{
    takeGeometryArgs(a);
    takeCommonSlots();
    auto* w = new gui::PartWidget<QGroupBox>();
    w->setTitle(qstr(textSlot(element(), slot::Caption)));
    w->setFocusPolicy(Qt::NoFocus);
    adoptWidget(w);
    applyFont();
    return self();
}

// --- check box

const rt::ClassInfo& CheckBoxPart::staticClass()
{
    static const rt::ClassInfo cls("RK_XbpCheckBox", {&ElementPart::staticClass()});
    return cls;
}

const rt::ClassInfo& CheckBoxPart::classInfo() const { return staticClass(); }


rt::Value CheckBoxPart::create(rt::Args a)
{
    takeGeometryArgs(a);
    takeCommonSlots();
    data = getBlock(elementSlot(slot::CheckData));
    if (!data.isBlock())
        data = entryBinding(element());
    auto* w = new CheckBoxWidget();
    w->setText(qstr(checkBoxCaption(element())));
    // Only the user's clicks are changes; showing a value is not.
    QObject::connect(w, &QCheckBox::clicked, w, [w](bool on) { postActivate(w, on); });
    adoptWidget(w);
    applyFont();
    // A value that cannot be read is reported; the element still shows.
    rt::runReporting([this] { refreshValue(); });
    return self();
}

void CheckBoxPart::refreshValue()
{
    if (auto* w = qobject_cast<QCheckBox*>(widget()); w && data.isBlock())
        w->setChecked(logicalOf(rt::evalWith(data)));
}

void CheckBoxPart::release()
{
    ElementPart::release();
    data = rt::Value();
}

rt::Value CheckBoxPart::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    if (nEvent != dev::Activate)
        return ElementPart::handleEvent(nEvent, mp1, mp2);
    if (data.isBlock())
        rt::runReporting([&] { rt::evalWith(data, rt::isTrue(mp1)); });
    afterChange();
    return {};
}

// --- combo box

const rt::ClassInfo& ComboBoxPart::staticClass()
{
    static const rt::ClassInfo cls = [] {
        rt::ClassInfo c("RK_XbpComboBox", {&ElementPart::staticClass()});
        c.method<ComboBoxPart>("refresh", [](ComboBoxPart& o, rt::Args) { o.refreshValue(); return o.self(); });
        return c;
    }();
    return cls;
}

const rt::ClassInfo& ComboBoxPart::classInfo() const { return staticClass(); }

rt::Value ComboBoxPart::create(rt::Args a)
{
    takeGeometryArgs(a);
    takeCommonSlots();
    if (const rt::Value& b = slotOf(element(), slot::GetSet); b.isBlock())
        binding = b;
    auto* w = new gui::PartWidget<QComboBox>();
    w->setEditable(rt::isTrue(rt::entryOf(elementSlot(slot::Options), 1)));
    w->setInsertPolicy(QComboBox::NoInsert);
    if (const double rows = numberSlot(element(), slot::Height, 0.0); rows >= 1.0)
        w->setMaxVisibleItems(int(rows));
    QObject::connect(w, &QComboBox::activated, w, [w](int index) { postActivate(w, index); });
    if (QLineEdit* edit = w->lineEdit())
        QObject::connect(edit, &QLineEdit::editingFinished, w, [w] { postActivate(w, -1); });
    adoptWidget(w);
    applyFont();
    // A value that cannot be read is reported; the element still shows.
    rt::runReporting([this] { refreshValue(); });
    return self();
}

void ComboBoxPart::loadItems()
{
    items = itemsOf(elementSlot(slot::Items));
    if (rt::isTrue(rt::entryOf(elementSlot(slot::Options), 2)))
        std::stable_sort(items.begin(), items.end(),
                         [](const rt::Value& x, const rt::Value& y) { return itemText(x) < itemText(y); });
    auto* w = qobject_cast<QComboBox*>(widget());
    if (!w)
        return;
    const QSignalBlocker quiet(w);
    w->clear();
    for (const rt::Value& item : items)
        w->addItem(qstr(itemText(item)));
}

// Selects the item the bound value names: the same text, else the same
// text in another case; an editable box shows any other value as typed.
void ComboBoxPart::showValue()
{
    auto* w = qobject_cast<QComboBox*>(widget());
    if (!w || !binding.isBlock())
        return;
    const QString want = qstr(rt::alltrim(itemText(rt::evalWith(binding))));
    int index = w->findText(want, Qt::MatchExactly);
    if (index < 0)
        index = w->findText(want, Qt::MatchFixedString);
    const QSignalBlocker quiet(w);
    w->setCurrentIndex(index);
    if (index < 0 && w->isEditable())
        w->setEditText(want);
}

void ComboBoxPart::refreshValue()
{
    loadItems();
    showValue();
}

void ComboBoxPart::release()
{
    ElementPart::release();
    binding = rt::Value();
    items.clear();
}

rt::Value ComboBoxPart::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    auto* w = qobject_cast<QComboBox*>(widget());
    if (nEvent != dev::Activate || !w)
        return ElementPart::handleEvent(nEvent, mp1, mp2);
    const int index = mp1.isNum() ? int(mp1.asInt()) : -1;
    const rt::Value chosen = index >= 0 && std::size_t(index) < items.size() ? items[std::size_t(index)]
                                                                            : rt::Value(w->currentText().toStdString());
    const rt::Value before = binding.isBlock() ? rt::evalWith(binding) : rt::Value();
    // Choosing the item that is already chosen changes nothing.
    if (rt::alltrim(itemText(before)) == rt::alltrim(itemText(chosen)))
        return {};
    if (binding.isBlock())
        rt::evalWith(binding, chosen);
    if (const rt::Value change = getBlock(elementSlot(slot::Change)); change.isBlock())
        rt::runReporting([&] { rt::evalWith(change, chosen, rt::Value(), self()); });
    afterChange();
    return {};
}

// --- picture

const rt::ClassInfo& PicturePart::staticClass()
{
    static const rt::ClassInfo cls("RK_XbpPicture", {&ElementPart::staticClass()});
    return cls;
}

const rt::ClassInfo& PicturePart::classInfo() const { return staticClass(); }

rt::Value PicturePart::create(rt::Args a)
{
    takeGeometryArgs(a);
    takeCommonSlots();
    adoptWidget(new PictureWidget());
    return self();
}

rt::Value PicturePart::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    rt::Value r = ElementPart::handleEvent(nEvent, mp1, mp2);
    if (nEvent != gui::ev::LbClick || !isEnabled())
        return r;
    if (const rt::Value click = slotBlock(elementSlot(slot::Action)); click.isBlock()) {
        rt::runReporting([&] { rt::evalWith(click, rt::Value(), rt::Value(), self()); });
        afterChange();
    }
    return r;
}

void PicturePart::setImage(const QImage& image)
{
    if (auto* w = dynamic_cast<PictureWidget*>(widget())) {
        w->image = image;
        w->update();
    }
}

QImage PicturePart::image() const
{
    const auto* w = dynamic_cast<const PictureWidget*>(widget());
    return w ? w->image : QImage();
}

bool bitMapDraw(const rt::Value& picture, const rt::Value& data)
{
    auto* part = picture.isObject() ? dynamic_cast<PicturePart*>(&picture.asObject()) : nullptr;
    if (!part)
        return false;
    QImage img;
    if (data.isChar() && data.asString().size() > 0)
        img = decodeImage(data.asString());
    else if (const auto* pic = data.isObject() ? dynamic_cast<const gui::XbpPicture*>(&data.asObject()) : nullptr)
        img = pic->image();
    part->setImage(img);
    return !img.isNull() && part->widget();
}

// --- values read as logicals

bool logicalOf(const rt::Value& v)
{
    switch (v.kind()) {
    case rt::Kind::Logical: return v.asBool();
    case rt::Kind::Num: return v.asDouble() != 0.0;
    case rt::Kind::Char: {
        const std::string t = rt::upperAscii(rt::alltrim(v.asString()));
        return t == "T" || t == "Y" || t == ".T." || t == "TRUE";
    }
    default: return false;
    }
}

rt::Value readVar(const rt::Value& getSet, const rt::Value& xNew, bool logical)
{
    rt::Value v = getSet;
    if (getSet.isBlock()) {
        if (!xNew.isNil())
            rt::evalWith(getSet, xNew);
        v = rt::evalWith(getSet);
    }
    return logical ? rt::Value(logicalOf(v)) : v;
}

}  // namespace dlg
