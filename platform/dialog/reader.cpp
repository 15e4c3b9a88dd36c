// RK_ReadGUI: builds the dialog of an element list and runs it modally.
//
// The dialog is laid out before anything is created: every record's
// rectangle in text units gives the dialog's size, so each element can be
// placed at once in the platform's bottom-left coordinates. Then one
// window object per record is created, in list order (which is also the Tab
// order), and the application event loop runs until the dialog ends.
//
// Labels, entry fields and buttons are this library's own classes; a browse
// and its columns belong to the browse library, which this one does not
// link: they are made through the class functions registered under their
// names. Every element gets the same element list object.
#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/layout.h"

#include "platform/gui/browse.h"
#include "platform/gui/events.h"
#include "platform/gui/font.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetricsF>
#include <QLabel>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <optional>

namespace dlg {

namespace {

constexpr const char* kDialogFont = "9.Tahoma";
// An entry field's frame and inner margin, above and below its text: a row
// is as high as an entry field, so entries on consecutive rows do not overlap.
constexpr int kEntryFramePx = 6;
// Space between the elements and the dialog's edges.
constexpr double kMarginRows = 0.5;
constexpr double kMarginCols = 1.0;
// An empty dialog still shows its title.
constexpr int kMinWidthPx = 160;
constexpr int kMinHeightPx = 40;

struct Metrics {
    int row;
    int col;
};

// A column is the average width of the letters, rounded up, plus a pixel:
// a caption of n characters then fits in n columns even when wide letters
// crowd it ("NumberPort:" before an entry ten columns in), where fonts' own
// average width is narrower than mixed-case text.
const Metrics& metrics()
{
    static const Metrics m = [] {
        const QFontMetricsF fm(dialogFont());
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        const int col = int(std::ceil(fm.horizontalAdvance(letters) / letters.size())) + 1;
        return Metrics{int(std::ceil(fm.lineSpacing())) + kEntryFramePx, std::max(1, col)};
    }();
    return m;
}

// One running read; the innermost is last.
struct Read {
    rt::Value list;
    rt::Value dialog;   // DialogPart
    rt::Value getList;  // the element list object every element holds
};

std::vector<Read*>& reads()
{
    static std::vector<Read*> r;
    return r;
}

DialogPart& dialogOf(const Read& r) { return static_cast<DialogPart&>(r.dialog.asObject()); }

// The innermost read of a list, given as the array or as its element list object.
const Read* readOf(const rt::Value& list)
{
    if (!list.isArray() && !asGetList(list))
        return nullptr;
    for (auto it = reads().rbegin(); it != reads().rend(); ++it)
        if ((*it)->list.cell() == list.cell() || (*it)->getList.cell() == list.cell())
            return *it;
    return nullptr;
}

// --- element creators, one per element type

struct ElementContext {
    const rt::Value& record;
    int listPointer;
    const rt::Value& dialog;
    const rt::Value& getList;
    QRect rect;  // pixels, top-left origin inside the dialog
    int dialogHeight;
};

// The element's rectangle as the platform's {x, y} and {width, height}.
rt::Value platformPos(const ElementContext& c)
{
    return gui::pairValue(c.rect.x(), c.dialogHeight - c.rect.y() - c.rect.height());
}
rt::Value platformSize(const ElementContext& c) { return gui::pairValue(c.rect.width(), c.rect.height()); }

// Takes a half-made element off the dialog: its window must not stay behind.
void discard(const rt::Value& element)
{
    if (gui::XbpPart* p = gui::asPart(element); p && p->widget())
        rt::guarded([p] { p->destroy(); });
}

using Creator = rt::Value (*)(const ElementContext&);

template <class T>
rt::Value createElement(const ElementContext& c)
{
    rt::Value v(static_cast<rt::Object*>(new T()));
    T& part = static_cast<T&>(v.asObject());
    part.initParts(c.getList, c.listPointer);
    const rt::Value args[] = {c.dialog, rt::Value(), platformPos(c), platformSize(c)};
    try {
        part.create(rt::Args(args, 4));
    } catch (...) {
        discard(v);
        throw;
    }
    return v;
}

struct CreatorEntry {
    int type;
    Creator make;
};
constexpr CreatorEntry kCreators[] = {
    {type::Say, &createElement<SayPart>},
    {type::Get, &createElement<GetPart>},
    {type::PushButton, &createElement<PushButtonPart>},
};

Creator creatorOf(int t)
{
    for (const CreatorEntry& c : kCreators)
        if (c.type == t)
            return c.make;
    return nullptr;
}

bool isColumnType(int t) { return t == type::Column || t == type::ColumnAlt; }

// Elements that take a rectangle of the dialog (columns live in their browse).
bool hasRect(int t) { return t == type::Browse || creatorOf(t); }

void setListPointer(const rt::Value& getList, int position)
{
    if (GetListObject* g = asGetList(getList))
        g->getListPointer = position;
}

// A browse library class, by name: the dialog library does not link it.
rt::Value browseClass(std::string_view name) { return rt::callFunction(name); }

// A browse whose Init stopped (no data source, refused data) says so
// through `initialised`; one without the member is taken as ready.
bool isInitialised(const rt::Value& browse)
{
    if (!rt::hasMember(browse, "initialised"))
        return true;
    rt::Value v;
    rt::runReporting([&] { v = rt::getMember(browse, "initialised"); });
    return v.isLogical() && v.asBool();
}

// Makes the browse of record c.listPointer: new, create; nothing when
// either fails or Init stopped. Returns the browse or NIL.
rt::Value createBrowse(const ElementContext& c)
{
    rt::Value browse;
    rt::runReporting([&] {
        setListPointer(c.getList, c.listPointer);
        const rt::Value args[] = {c.dialog, rt::Value(), platformPos(c), platformSize(c), rt::Value(), true, c.getList};
        browse = rt::send(browseClass("RK_XbpBrowse"), "new", rt::Args(args, 7));
    });
    if (!browse.isObject() || !isInitialised(browse))
        return {};
    if (!rt::runReporting([&] { rt::sendWith(browse, "create"); })) {
        discard(browse);
        return {};
    }
    return browse;
}

// One column of the run; a column that fails after adding itself to the
// browse is taken out again.
rt::Value createColumn(const rt::Value& browse, const rt::Value& getList, int position)
{
    gui::XbpBrowse* grid = gui::asBrowse(browse);
    const int before = grid ? grid->colCount() : 0;
    rt::Value column;
    const bool made = rt::runReporting([&] {
        setListPointer(getList, position);
        const rt::Value args[] = {browse, getList};
        column = rt::send(browseClass("RK_XbpColumn"), "new", rt::Args(args, 2));
    });
    if (!made && grid && grid->colCount() > before)
        discard(grid->delColumn(grid->colCount()));
    return made ? column : rt::Value();
}

// The browse at `at` (0-based) and the column run after it; returns the
// index after the run.
std::size_t createBrowseRun(const ElementContext& c, const std::vector<rt::Value>& records,
                            std::vector<rt::Value>& elements)
{
    const std::size_t at = std::size_t(c.listPointer - 1);
    std::size_t end = at + 1;
    while (end < records.size() && isColumnType(elementType(records[end])))
        ++end;
    const rt::Value browse = createBrowse(c);
    if (!browse.isObject())
        return end;
    elements[at] = browse;
    for (std::size_t i = at + 1; i < end; ++i)
        elements[i] = createColumn(browse, c.getList, int(i + 1));
    if (rt::hasMember(browse, "setTimerRefresh"))
        rt::runReporting([&] { rt::sendWith(browse, "setTimerRefresh"); });
    return end;
}

// --- layout

struct TextRect {
    double row, col, rows, cols;
};

struct Layout {
    std::vector<QRect> rects;  // per record; empty for records without widget
    QSize size;
};

int px(double units, int unitPx) { return int(std::lround(units * unitPx)); }

Layout layOut(const std::vector<rt::Value>& records)
{
    std::vector<std::optional<TextRect>> text(records.size());
    double minRow = 0, minCol = 0, maxRow = 0, maxCol = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!hasRect(elementType(records[i])))
            continue;
        const TextRect t{numberSlot(records[i], slot::Row, 0.0), numberSlot(records[i], slot::Col, 0.0),
                         std::max(0.0, elementRows(records[i])), std::max(0.0, elementColumns(records[i]))};
        minRow = std::min(minRow, t.row);
        minCol = std::min(minCol, t.col);
        maxRow = std::max(maxRow, t.row + t.rows);
        maxCol = std::max(maxCol, t.col + t.cols);
        text[i] = t;
    }
    // Elements above row 0 or left of column 0 (an entry 0.1 above its
    // label on row 0) move the origin rather than leave the dialog.
    const double originRow = kMarginRows - minRow;
    const double originCol = kMarginCols - minCol;
    const Metrics& m = metrics();
    Layout out;
    out.rects.resize(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!text[i])
            continue;
        const TextRect& t = *text[i];
        const int x = px(originCol + t.col, m.col);
        const int y = px(originRow + t.row, m.row);
        out.rects[i] = QRect(x, y, px(t.cols, m.col), px(t.rows, m.row));
    }
    out.size = QSize(std::max(kMinWidthPx, px(originCol + maxCol + kMarginCols, m.col)),
                     std::max(kMinHeightPx, px(originRow + maxRow + kMarginRows, m.row)));
    return out;
}

// --- the dialog window

// The platform position {x, y} (bottom-left, screen) that centres a window
// of `size` over the owner's window, or over the screen.
rt::Value centredPos(const rt::Value& owner, QSize size)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return gui::pairValue(0, 0);
    QRect over = screen->availableGeometry();
    if (const gui::XbpPart* o = gui::asPart(owner); o && o->widget() && o->widget()->window()->isVisible())
        over = o->widget()->window()->frameGeometry();
    const QRect r(QPoint(over.center().x() - size.width() / 2, over.center().y() - size.height() / 2), size);
    return gui::pairValue(r.x(), screen->geometry().height() - r.y() - r.height());
}

rt::Value makeDialog(const rt::Value& title, const rt::Value& owner, QSize size)
{
    rt::Value v(static_cast<rt::Object*>(new DialogPart()));
    auto& part = static_cast<DialogPart&>(v.asObject());
    part.title = title.isChar() ? title : rt::Value("");
    const rt::Value args[] = {rt::Value(), owner, centredPos(owner, size), gui::pairValue(size.width(), size.height()),
                              rt::Value(), rt::Value(false)};
    part.create(rt::Args(args, 6));
    if (QDialog* d = part.dialog()) {
        // A dialog deleted from outside must still end the loop that waits for it.
        QObject::connect(d, &QObject::destroyed, [] { gui::postAppEvent(gui::ev::None, {}, {}, {}); });
        const gui::XbpPart* o = gui::asPart(owner);
        if (QWidget* ow = o && o->widget() ? o->widget()->window() : nullptr) {
            d->winId();
            if (d->windowHandle() && ow->windowHandle())
                d->windowHandle()->setTransientParent(ow->windowHandle());
        }
    }
    return v;
}

void linkLabels(const DialogPart& dialog)
{
    const auto& el = dialog.elements;
    for (const rt::Value& e : el) {
        auto* get = e.isObject() ? dynamic_cast<GetPart*>(&e.asObject()) : nullptr;
        if (!get)
            continue;
        const double n = numberSlot(get->element(), slot::LabelOf, 0.0);
        if (n < 1 || n > double(el.size()) || !el[std::size_t(n) - 1].isObject())
            continue;
        if (auto* say = dynamic_cast<SayPart*>(&el[std::size_t(n) - 1].asObject()))
            if (auto* label = qobject_cast<QLabel*>(say->widget()))
                label->setBuddy(get->widget());
    }
}

void focusFirst(const DialogPart& dialog)
{
    for (const rt::Value& e : dialog.elements) {
        const gui::XbpPart* p = gui::asPart(e);
        QWidget* w = p ? p->widget() : nullptr;
        if (w && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

// One window object per record, in list order (which is the Tab order).
void createElements(const Read& read, const std::vector<rt::Value>& records, const Layout& layout)
{
    DialogPart& dialog = dialogOf(read);
    dialog.elements.resize(records.size());
    for (std::size_t i = 0; i < records.size();) {
        const int t = elementType(records[i]);
        const ElementContext c{records[i], int(i + 1), read.dialog, read.getList, layout.rects[i], layout.size.height()};
        if (t == type::Browse) {
            i = createBrowseRun(c, records, dialog.elements);
            continue;
        }
        if (Creator make = creatorOf(t))
            rt::runReporting([&] { dialog.elements[i] = make(c); });
        ++i;
    }
}

// Hands one queued event to its target, as the platform's loop does: input
// for a window that is gone is dropped, errors go to the standard handler.
void dispatch(int nEvent, const rt::Value& mp1, const rt::Value& mp2, const rt::Value& target)
{
    if (!target.isObject())
        return;
    const gui::XbpPart* p = gui::asPart(target);
    if (p && p->status != gui::XbpPart::Created && nEvent < gui::ev::User)
        return;
    rt::runReporting([&] { rt::sendWith(target, "handleEvent", nEvent, mp1, mp2); });
}

std::vector<rt::Value> checkedRecords(const rt::Value& list)
{
    std::vector<rt::Value> records = list.asArray().items;
    for (const rt::Value& r : records)
        if (!r.isArray() || !slotOf(r, slot::Type).isNum())
            rt::raise("Element record expected", "RK_ReadGUI", {r});
    return records;
}

// Pops the read and destroys its dialog however the read ends.
class ReadScope {
public:
    explicit ReadScope(Read& r) : read_(r) { reads().push_back(&r); }
    ~ReadScope()
    {
        std::erase(reads(), &read_);
        DialogPart& d = dialogOf(read_);
        const rt::Value owner = d.owner;
        d.elements.clear();
        if (GetListObject* g = asGetList(read_.getList))
            g->dialog = rt::Value();  // the list outlives the dialog; no cycle through it
        // Elements' destroy runs caller code (a browse saves its layout):
        // its errors are reported, never thrown out of a destructor.
        rt::runReporting([&d] { d.destroy(); });
        if (const gui::XbpPart* o = gui::asPart(owner); o && o->widget())
            o->widget()->window()->activateWindow();
    }
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

private:
    Read& read_;
};

}  // namespace

// --- metrics

const QFont& dialogFont()
{
    static const QFont font = gui::fontFromCompoundName(kDialogFont);
    return font;
}

double rowPixels() { return metrics().row; }
double colPixels() { return metrics().col; }

// --- the read

bool readGui(rt::Args args)
{
    const rt::Value& list = rt::argAt(args, 0);
    if (!list.isArray())
        rt::raiseArg("RK_ReadGUI", args);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        rt::raise("No GUI application", "RK_ReadGUI");
    // A snapshot: the caller may empty the list while the dialog runs.
    const std::vector<rt::Value> records = checkedRecords(list);
    const Layout layout = layOut(records);

    rt::Value owner = rt::argAt(args, 10);
    if (!gui::asPart(owner))
        owner = reads().empty() ? rt::Value() : reads().back()->dialog;
    Read read{list, makeDialog(rt::argAt(args, 1), owner, layout.size), makeGetList(list, rt::argAt(args, 2))};
    asGetList(read.getList)->dialog = read.dialog;
    ReadScope scope(read);
    DialogPart& dialog = dialogOf(read);
    if (dialog.status != gui::XbpPart::Created)
        rt::raise("Dialog window not created", "RK_ReadGUI");

    createElements(read, records, layout);
    linkLabels(dialog);
    if (const rt::Value& receiver = rt::argAt(args, 6); receiver.isBlock())
        rt::evalWith(receiver, read.dialog);

    dialog.setVisible(true);
    QDialog* d = dialog.dialog();
    d->activateWindow();
    focusFirst(dialog);

    while (!dialog.ended() && dialog.status == gui::XbpPart::Created) {
        rt::Value mp1, mp2, target;
        const int n = gui::appEvent(mp1, mp2, target, 0);
        dispatch(n, mp1, mp2, target);
    }
    return dialog.accepted();
}

bool readGuiEvent(int nEvent, const rt::Value& getList)
{
    if (nEvent != 5 && nEvent != 6)
        rt::raiseArg("RK_ReadGuiEvent", std::vector<rt::Value>{nEvent, getList});
    const Read* r = readOf(getList);
    if (!r)
        return false;
    gui::postAppEvent(dev::EndRead, nEvent, rt::Value(), r->dialog);
    return true;
}

rt::Value getObject(const rt::Value& getList, std::string_view id)
{
    const Read* r = readOf(getList);
    const std::string want = rt::alltrim(id);
    if (!r || want.empty())
        return {};
    const GetListObject* g = asGetList(r->getList);
    const rt::Value records = g ? g->getListArray : r->list;
    if (!records.isArray())
        return {};
    const auto& el = dialogOf(*r).elements;
    const std::size_t n = std::min(el.size(), records.asArray().size());
    for (std::size_t i = 0; i < n; ++i)
        if (const rt::Value& v = slotOf(records.asArray().items[i], slot::Id); v.isChar() && rt::alltrim(v.asString()) == want)
            return el[i];
    return {};
}

QDialog* activeDialog() { return reads().empty() ? nullptr : dialogOf(*reads().back()).dialog(); }

rt::Value activeDialogObject() { return reads().empty() ? rt::Value() : reads().back()->dialog; }

QWidget* elementWidget(const rt::Value& getList, int index)
{
    const Read* r = readOf(getList);
    if (!r)
        return nullptr;
    const auto& el = dialogOf(*r).elements;
    if (index < 1 || std::size_t(index) > el.size())
        return nullptr;
    const gui::XbpPart* p = gui::asPart(el[std::size_t(index) - 1]);
    return p ? p->widget() : nullptr;
}

}  // namespace dlg
