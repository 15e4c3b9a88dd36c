// The dialog library's value, block, presentation and message functions.
#include "platform/dialog/library.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/layout.h"
#include "platform/grid/browse.h"
#include "platform/grid/column.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/color.h"
#include "platform/gui/presparam.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace dlg {

namespace {

// --- messages

MessageSink& sink()
{
    static MessageSink s;
    return s;
}

QMessageBox::Icon iconOf(Severity s)
{
    switch (s) {
    case Severity::Info: return QMessageBox::Information;
    case Severity::Error: return QMessageBox::Critical;
    default: return QMessageBox::Warning;
    }
}

void show(const Message& m)
{
    if (sink()) {
        sink()(m);
        return;
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s%s%s\n", m.title.c_str(), m.title.empty() ? "" : ": ", m.text.c_str());
        return;
    }
    // Modal to the window in front, so it cannot fall behind a running dialog.
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(iconOf(m.severity), QString::fromStdString(m.title), QString::fromStdString(m.text),
                    QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

// Message lines of any kind; an array gives one line per entry.
std::string messageText(const rt::Value& lines)
{
    if (!lines.isArray())
        return lines.isChar() ? lines.str() : lines.isNil() ? std::string() : rt::var2char(lines);
    std::string text;
    bool first = true;
    for (const rt::Value& l : lines.asArray().items) {
        text += (first ? "" : "\n") + (l.isChar() ? l.str() : l.isNil() ? std::string() : rt::var2char(l));
        first = false;
    }
    return text;
}

// --- blocks

bool isBareName(std::string_view s)
{
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
        return false;
    for (char ch : s)
        if (!(std::isalnum(static_cast<unsigned char>(ch)) || ch == '_'))
            return false;
    return true;
}

// --- data check

std::string kindName(char k)
{
    switch (k) {
    case 'A': return "an array";
    case 'B': return "a code block";
    case 'C': return "a character value";
    case 'D': return "a date";
    case 'L': return "a logical value";
    case 'M': return "a memo";
    case 'N': return "a number";
    case 'O': return "an object";
    case 'U': return "NIL";
    default: return std::string("type ") + k;
    }
}

// "element 3 (RKBROWSE, id CLIENTS)" from the element's record.
std::string describeElement(const rt::Value& list, int pointer)
{
    std::string out = "element " + std::to_string(pointer);
    if (!list.isArray() || pointer < 1 || std::size_t(pointer) > list.asArray().size())
        return out;
    const rt::Value& rec = list.asArray().items[std::size_t(pointer) - 1];
    std::vector<std::string> parts;
    const rt::Value& src = slotOf(rec, slot::Source);
    const rt::Value name = src.isArray() && src.asArray().size() > 0 ? src.asArray().items[0] : rt::Value();
    if (name.isChar() && !rt::alltrim(name.asString()).empty())
        parts.push_back(rt::alltrim(name.asString()));
    else if (const rt::Value& t = slotOf(rec, slot::Type); t.isNum())
        parts.push_back("type " + std::to_string(t.asInt()));
    if (const rt::Value& id = slotOf(rec, slot::Id); id.isChar() && !rt::alltrim(id.asString()).empty())
        parts.push_back("id " + rt::alltrim(id.asString()));
    if (!parts.empty()) {
        out += " (";
        for (std::size_t i = 0; i < parts.size(); ++i)
            out += (i ? ", " : "") + parts[i];
        out += ")";
    }
    return out;
}

std::string expectedKinds(std::string_view kinds)
{
    std::string out;
    for (std::size_t i = 0; i < kinds.size(); ++i)
        out += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + kindName(kinds[i]);
    return out;
}

// --- focus highlight

// A frame drawn over an element's window while it has the focus. It is a
// child of that window, so it follows it; it takes no input.
class HiliteFrame final : public QWidget {
public:
    HiliteFrame(QWidget* target, QColor color) : QWidget(target), color_(color)
    {
        setObjectName(QStringLiteral("dlgHiliteFrame"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        target->installEventFilter(this);
        setGeometry(target->rect());
        raise();
        show();
    }
    void setColor(QColor c)
    {
        color_ = c;
        update();
    }
    [[nodiscard]] QColor color() const { return color_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == parent() && e->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        else if (watched == parent() && e->type() == QEvent::ChildAdded)
            raise();  // stays above children made later
        return false;
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QRect r = rect();
        p.fillRect(QRect(r.left(), r.top(), r.width(), kWidth), color_);
        p.fillRect(QRect(r.left(), r.bottom() - kWidth + 1, r.width(), kWidth), color_);
        p.fillRect(QRect(r.left(), r.top(), kWidth, r.height()), color_);
        p.fillRect(QRect(r.right() - kWidth + 1, r.top(), kWidth, r.height()), color_);
    }

private:
    static constexpr int kWidth = 2;
    QColor color_;
};

HiliteFrame* frameOf(QWidget* w) { return w->findChild<HiliteFrame*>(QStringLiteral("dlgHiliteFrame"), Qt::FindDirectChildrenOnly); }

QColor hiliteColor(const rt::Value& option)
{
    rt::Value c = option;
    // A colour pair {fg, bg}: the background is the one that shows as a frame.
    if (c.isArray() && c.asArray().size() == 2)
        c = c.asArray().items[1];
    if (const auto q = gui::colorOf(c))
        return *q;
    return QApplication::palette().color(QPalette::Highlight);
}

// --- pictures

rt::Value newPicture(bool icon)
{
    return icon ? rt::Value(static_cast<rt::Object*>(new gui::XbpIcon()))
                : rt::Value(static_cast<rt::Object*>(new gui::XbpBitmap()));
}

// --- centring

// The rectangle of a window in global coordinates (frame included for a top-level one).
QRect globalRect(const QWidget* w)
{
    if (w->isWindow())
        return w->frameGeometry();
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// --- column blocks

// RK_GetColBlock's block. It runs for every visible cell, so the browse's
// two members are resolved once per class instead of by name on each call.
// The column that keeps the block belongs to the browse: the browse is held
// weakly, or the pair would keep each other alive.
class ColBlock final : public rt::Block {
public:
    ColBlock(int element, const rt::Value& browse) : element_(element), browse_(gui::WeakPart::from(browse)) {}

    rt::Value call(rt::Args a) override
    {
        // Reading two variables runs no caller code: a live window object
        // need not be held meanwhile (the common case, once per cell).
        if (gui::XbpPart* part = browse_.get(); part && resolve(*part) && dataSource_->get && arrayElement_->get)
            return access(dataSource_->get(*part), arrayElement_->get(*part), a);
        const rt::Value browse = browse_.lock();
        if (!browse.isObject() || !resolve(browse.asObject()))
            return {};
        return access(read(dataSource_, browse), read(arrayElement_, browse), a);
    }

private:
    // The element of row `at` of the rows `ds`; assigned first when an
    // argument is given. NIL outside the rows.
    rt::Value access(const rt::Value& ds, const rt::Value& at, rt::Args a) const
    {
        if (!ds.isArray() || !at.isNum())
            return {};
        const auto& rows = ds.asArray().items;
        const std::int64_t r = at.asInt();
        if (r < 1 || std::size_t(r) > rows.size() || !rows[std::size_t(r) - 1].isArray())
            return {};
        auto& row = rows[std::size_t(r) - 1].asArray().items;
        if (element_ < 1 || std::size_t(element_) > row.size())
            return {};
        if (!a.empty() && !a[0].isNil())
            row[std::size_t(element_) - 1] = a[0];
        return row[std::size_t(element_) - 1];
    }

    // The block serves one browse, whose class never changes: looked up once.
    bool resolve(const rt::Object& browse)
    {
        if (!resolved_) {
            resolved_ = true;
            const rt::ClassInfo& cls = browse.classInfo();
            dataSource_ = cls.find("dataSource");
            arrayElement_ = cls.find("arrayElement");
        }
        return dataSource_ && arrayElement_;
    }

    // A member read as rt::getMember reads it (a method is called).
    static rt::Value read(const rt::Member* m, const rt::Value& obj)
    {
        if (m->get)
            return m->get(obj.asObject());
        return m->call ? m->call(obj.asObject(), {}) : rt::Value();
    }

    int element_;
    gui::WeakPart browse_;
    bool resolved_ = false;
    const rt::Member* dataSource_ = nullptr;
    const rt::Member* arrayElement_ = nullptr;
};

// --- registered functions

rt::Value fnGetBlock(rt::Args a)
{
    const rt::Value& kind = rt::argAt(a, 1);
    return getBlock(rt::argAt(a, 0), kind.isChar() ? kind.asString() : std::string_view());
}

rt::Value fnMergeBlocks(rt::Args a) { return mergeBlocks(rt::argAt(a, 0), rt::argAt(a, 1)); }

rt::Value fnGetColBlock(rt::Args a)
{
    const rt::Value& n = rt::numArg(a, 0, "RK_GetColBlock");
    return getColBlock(int(std::clamp<std::int64_t>(n.asInt(), 0, INT32_MAX)), rt::argAt(a, 1));
}

rt::Value fnReadDataCheck(rt::Args a)
{
    const rt::Value& kinds = rt::argAt(a, 1);
    if (!kinds.isChar())
        rt::raiseArg("RK_ReadDataCheck", a);
    const rt::Value& pointer = rt::argAt(a, 3);
    const rt::Value& alert = rt::argAt(a, 4);
    return readDataCheck(rt::argAt(a, 0), kinds.asString(), rt::argAt(a, 2),
                         pointer.isNum() ? int(std::clamp<std::int64_t>(pointer.asInt(), 0, INT32_MAX)) : 0,
                         alert.isLogical() && alert.asBool());
}

rt::Value fnHiliteGets(rt::Args a)
{
    const rt::Value& mode = rt::argAt(a, 1);
    return hiliteGets(rt::argAt(a, 0), mode.isNum() ? int(std::clamp<std::int64_t>(mode.asInt(), 0, 3)) : 0,
                      rt::argAt(a, 2));
}

rt::Value fnBrowPres(rt::Args) { return browPres(); }

rt::Value fnPresAdd(rt::Args a)
{
    const rt::Value& id = rt::argAt(a, 1);
    if (!id.isNum())
        rt::raiseArg("RK_PresAdd", a);
    presAdd(rt::argAt(a, 0), id.asInt(), rt::argAt(a, 2));
    return rt::argAt(a, 0);
}

std::string titleArg(rt::Args a, std::size_t i)
{
    const rt::Value& t = rt::argAt(a, i);
    return t.isChar() ? t.str() : std::string();
}

rt::Value fnWinAlert(rt::Args a)
{
    winAlert(messageText(rt::argAt(a, 0)), titleArg(a, 1));
    return {};
}

rt::Value fnMsgBox(rt::Args a)
{
    msgBox(rt::argAt(a, 0), titleArg(a, 1));
    return {};
}

rt::Value fnGetBitmap(rt::Args a)
{
    const rt::Value& icon = rt::argAt(a, 4);
    return getBitmap(rt::argAt(a, 0), rt::argAt(a, 2), rt::argAt(a, 3), icon.isLogical() && icon.asBool());
}

rt::Value fnCenterObject(rt::Args a) { return centerObject(rt::argAt(a, 0), rt::argAt(a, 1)); }

rt::Value fnBrowseSuper(rt::Args) { return xbpBrowseSuper(); }
rt::Value fnColumnSuper(rt::Args) { return xbpColumnSuper(); }

}  // namespace

// --- blocks

rt::Value getBlock(const rt::Value& code) { return getBlock(code, {}); }

rt::Value getBlock(const rt::Value& code, std::string_view kind)
{
    if (code.isBlock())
        return code;
    if (code.isArray()) {
        // { block, source text }; a saved record may hold only the text.
        const auto& items = code.asArray().items;
        if (!items.empty() && items[0].isBlock())
            return items[0];
        if (items.size() >= 2 && items[0].isNil() && items[1].isChar())
            return getBlock(items[1], kind);
        return {};
    }
    if (!code.isChar())
        return {};
    const std::string text = rt::alltrim(code.asString());
    if (text.empty())
        return {};
    if (rt::upperAscii(kind) == "O" && isBareName(text))
        return publicAnchorCB(text);
    return rt::compile(text);
}

rt::Value mergeBlocks(const rt::Value& first, const rt::Value& second)
{
    if (!first.isBlock())
        return second.isBlock() ? second : rt::Value();
    if (!second.isBlock())
        return first;
    return rt::makeBlock([first, second](rt::Args a) {
        rt::eval(first, a);
        return rt::eval(second, a);
    });
}

rt::Value getColBlock(int element, const rt::Value& browse)
{
    return rt::Value(static_cast<rt::Block*>(new ColBlock(element, browse)));
}

// --- data check

bool readDataCheck(const rt::Value& value, std::string_view kinds, const rt::Value& list, int pointer, bool alert)
{
    const std::string wanted = rt::upperAscii(kinds);
    if (wanted.find(value.typeLetter()) != std::string::npos)
        return true;
    if (alert)
        winAlert("RK_ReadGui() error! The data of " + describeElement(list, pointer) + " is " +
                     kindName(value.typeLetter()) + "; it must be " + expectedKinds(wanted) + ".",
                 "Dialog element error");
    return false;
}

// --- presentation

void presAdd(const rt::Value& pres, long long id, const rt::Value& value)
{
    if (!pres.isArray())
        return;
    for (const rt::Value& p : pres.asArray().items)
        if (p.isArray() && p.asArray().size() >= 2 && p.asArray().items[0].isNum() &&
            p.asArray().items[0].asInt() == id) {
            p.asArray().items[1] = value;
            return;
        }
    pres.asArray().items.push_back(rt::makeArray({id, value}));
}

rt::Value browPres()
{
    // Alignment ids (110, 121, 128) stay out: columns choose theirs by the
    // kind of data unless the list already has one.
    using namespace gui;
    return rt::makeArray({
        rt::makeArray({pp::HaFgClr, clr::SysButtonText}),
        rt::makeArray({pp::HaBgClr, clr::SysButton}),
        rt::makeArray({pp::FaFgClr, clr::SysButtonText}),
        rt::makeArray({pp::FaBgClr, clr::SysButton}),
        rt::makeArray({pp::DaFgClr, clr::SysText}),
        rt::makeArray({pp::DaBgClr, clr::SysBase}),
        rt::makeArray({pp::DaHiliteFgClr, clr::SysHighlightText}),
        rt::makeArray({pp::DaHiliteBgClr, clr::SysHighlight}),
        rt::makeArray({pp::DaRowHeight, -1}),
    });
}

// --- messages

void winAlert(std::string_view text, std::string_view title)
{
    show({std::string(title.empty() ? "Aviso" : title), std::string(text), Severity::Warning});
}

void msgBox(const rt::Value& lines, std::string_view title)
{
    show({std::string(title), messageText(lines), Severity::Info});
}

bool askYesNo(std::string_view text, std::string_view title)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(title.data(), qsizetype(title.size())),
                    QString::fromUtf8(text.data(), qsizetype(text.size())), QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QString::fromUtf8("Sí"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return box.clickedButton() == yes;
}

MessageSink setMessageSink(MessageSink s)
{
    MessageSink old = std::move(sink());
    sink() = std::move(s);
    return old;
}

MessageCapture::MessageCapture()
    : previous_(setMessageSink([this](const Message& m) { messages.push_back(m); }))
{
}

MessageCapture::~MessageCapture() { setMessageSink(std::move(previous_)); }

void installErrorMessageBox()
{
    rt::setErrorHandler([](const rt::Error& e) {
        // A timer or a queued event may fail again while the box waits for
        // the user: one box at a time, the rest to standard error.
        static bool showing = false;
        if (showing) {
            std::fprintf(stderr, "%s\n", e.message().c_str());
            return;
        }
        showing = true;
        struct Reset {
            ~Reset() { showing = false; }
        } reset;
        show({"Error", e.message(), Severity::Error});
    });
}

// --- focus highlight

bool hiliteGets(const rt::Value& object, int mode, const rt::Value& option)
{
    const gui::XbpPart* part = gui::asPart(object);
    QWidget* w = part ? part->widget() : nullptr;
    if (!w)
        return false;
    HiliteFrame* frame = frameOf(w);
    if (mode == 1) {
        if (frame)
            frame->setColor(hiliteColor(option));
        else
            new HiliteFrame(w, hiliteColor(option));
        return true;
    }
    if (mode == 2 && frame) {
        w->removeEventFilter(frame);
        delete frame;
    }
    return true;
}

// --- pictures

rt::Value getBitmap(const rt::Value& resource, const rt::Value& width, const rt::Value& height, bool icon)
{
    if (gui::asPicture(resource))
        return resource;
    const bool sized = width.isNum() && height.isNum() && width.asInt() > 0 && height.asInt() > 0;
    rt::Value pic = newPicture(icon);
    auto* p = gui::asPicture(pic);
    bool loaded = false;
    if (resource.isNum()) {
        const rt::Value args[] = {rt::Value(), resource, sized ? width : rt::Value(), sized ? height : rt::Value()};
        rt::guarded([&] { loaded = p->load(rt::Args(args, 4)).isLogical() && p->status == 1; });
    } else if (resource.isChar() && !rt::alltrim(resource.asString()).empty()) {
        const rt::Value args[] = {rt::Value(rt::alltrim(resource.asString())), sized ? width : rt::Value(),
                                  sized ? height : rt::Value()};
        // A missing or broken file is not an error here: the caller gets NIL.
        rt::guarded([&] { loaded = p->loadFile(rt::Args(args, 3), "RK_GetBitmap").isLogical() && p->status == 1; });
    }
    if (!loaded)
        return {};
    p->create({});
    return pic;
}

// --- centring

bool centerObject(const rt::Value& object, const rt::Value& over)
{
    gui::XbpPart* part = gui::asPart(object);
    QWidget* w = part ? part->widget() : nullptr;
    if (!w)
        return false;
    const gui::XbpPart* o = gui::asPart(over);
    QWidget* ow = o ? o->widget() : nullptr;
    QWidget* pw = w->isWindow() ? nullptr : w->parentWidget();
    QRect area;  // global coordinates
    if (ow)
        area = globalRect(ow);
    else if (pw)
        area = QRect(pw->mapToGlobal(QPoint(0, 0)), pw->size());
    else if (const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    else
        return false;
    const QSize outer = w->isWindow() ? w->frameGeometry().size() : w->size();
    QPoint topLeft(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
    if (w->isWindow()) {
        // The frame's corner, to the client area's: setPos places the client area.
        topLeft += w->geometry().topLeft() - w->frameGeometry().topLeft();
        const QScreen* s = QGuiApplication::primaryScreen();
        const int screenHeight = s ? s->geometry().height() : 0;
        part->setPos(QPoint(topLeft.x(), screenHeight - topLeft.y() - w->height()));
    } else {
        const QPoint local = pw->mapFromGlobal(topLeft);
        part->setPos(QPoint(local.x(), pw->height() - local.y() - w->height()));
    }
    return true;
}

// --- platform classes

rt::Value xbpBrowseSuper() { return rt::detail::classFunction<gui::XbpBrowse>({}); }
rt::Value xbpColumnSuper() { return rt::detail::classFunction<gui::XbpColumn>({}); }

void registerLibraryFunctions()
{
    rt::registerFunction("RK_GetBlock", fnGetBlock);
    rt::registerFunction("RK_MergeBlocks", fnMergeBlocks);
    rt::registerFunction("RK_GetColBlock", fnGetColBlock);
    rt::registerFunction("RK_ReadDataCheck", fnReadDataCheck);
    rt::registerFunction("RK_HiliteGets", fnHiliteGets);
    rt::registerFunction("RK_BrowPres", fnBrowPres);
    rt::registerFunction("RK_PresAdd", fnPresAdd);
    rt::registerFunction("RK_WinAlert", fnWinAlert);
    rt::registerFunction("RK_MsgBox", fnMsgBox);
    rt::registerFunction("RK_GetBitmap", fnGetBitmap);
    rt::registerFunction("RK_CenterObject", fnCenterObject);
    rt::registerFunction("RK_XbpBrowseSuper", fnBrowseSuper);
    rt::registerFunction("RK_XbpColumnSuper", fnColumnSuper);
}

}  // namespace dlg
