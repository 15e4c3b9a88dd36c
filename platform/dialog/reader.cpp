// RK_ReadGUI: builds the dialog of an element list and runs it modally.
//
// The dialog is laid out before anything is created: every record's
// rectangle in text units gives the dialog's size, so each element can be
// placed at once in the platform's bottom-left coordinates. Then one
// window object per record is created, in list order (which is also the Tab
// order), and the application event loop runs until the dialog ends.
//
// Labels, entry fields, buttons, groups, check boxes, combo boxes and
// pictures are this library's own classes; a browse and its columns belong
// to the browse library, which this one does not link: they are made
// through the class functions registered under their names. Every element
// gets the same element list object.
//
// Groups and statics are parents: an element whose slot 30 yields one
// becomes a child of it, its row and column counted from the parent's
// corner. The parent is only known once it exists (its slot 28 stores it),
// yet the dialog's size must be known before: a first pass stores a marker
// through each parent's anchor and asks every slot 30 which marker it yields.
#include "platform/dialog/dialog.h"
#include "platform/dialog/dialog_options.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/hotkeys.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/layout.h"
#include "platform/dialog/library.h"
#include "platform/dialog/panel.h"

#include "platform/grid/browse.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/positional_args.h"
#include "platform/runtime/text.h"

#include <QApplication>
#include <QTimer>
#include <QDialog>
#include <QLabel>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace dlg {

namespace {

// Space between the elements and the dialog's edges.
constexpr double kMarginRows = 0.5;
constexpr double kMarginCols = 1.0;
// An empty dialog still shows its title.
constexpr int kMinWidthPx = 160;
constexpr int kMinHeightPx = 40;

// One running read; the innermost is last.
struct Read {
    rt::Value list;
    rt::Value dialog;   // DialogPart
    rt::Value getList;  // the element list object every element holds
    std::vector<int> types;  // element type of each record, as the read began
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
    const rt::Value& parent;  // the dialog, or the group it is placed in
    const rt::Value& getList;
    QRect rect;  // pixels, top-left origin inside the parent
    int parentHeight;
};

// The element's rectangle as the platform's {x, y} and {width, height}.
rt::Value platformPos(const ElementContext& c)
{
    return gui::pairValue(c.rect.x(), c.parentHeight - c.rect.y() - c.rect.height());
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
    const rt::Value args[] = {c.parent, rt::Value(), platformPos(c), platformSize(c)};
    try {
        part.create(rt::Args(args, 4));
    } catch (...) {
        discard(v);
        throw;
    }
    // The anchor runs once the window exists; an error there leaves the element in place.
    rt::runReporting([&part] { part.runAnchor(); });
    return v;
}

struct CreatorEntry {
    int type;
    Creator make;
};
constexpr CreatorEntry kCreators[] = {
    {type::Say, &createElement<SayPart>},         {type::Get, &createElement<GetPart>},
    {type::PushButton, &createElement<PushButtonPart>}, {type::Group, &createElement<GroupPart>},
    {type::CheckBox, &createElement<CheckBoxPart>}, {type::ComboBox, &createElement<ComboBoxPart>},
    {type::Bitmap, &createElement<PicturePart>},       {type::Static, &createElement<StaticPart>},
    {type::OnCreate, &createElement<OnCreatePart>},
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
        // The application's presentation list goes over the browse's own.
        const rt::Value pres = slotOf(c.record, slot::Presentation);
        const rt::Value args[] = {c.parent,  rt::Value(), platformPos(c), platformSize(c),
                                  pres.isArray() ? pres : rt::Value(), true, c.getList};
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
    std::vector<QRect> rects;      // per record, in the dialog; empty for records without widget
    std::vector<QRect> relRects;   // the same counted from the parent's corner
    QSize size;
};

int px(double units, int unitPx) { return int(std::lround(units * unitPx)); }

// What a group's anchor holds while the parents are worked out.
class LayoutMarker final : public rt::Object {
public:
    explicit LayoutMarker(std::size_t i) : index(i) {}
    [[nodiscard]] const rt::ClassInfo& classInfo() const override
    {
        static const rt::ClassInfo cls("RK_LayoutMarker");
        return cls;
    }
    const std::size_t index;
};

// The parent block of slot 30: a block, or { block, text }.
rt::Value parentBlock(const rt::Value& record) { return slotBlock(slotOf(record, slot::ParentAnchor)); }

// For each record the index of the group it will be placed in, or -1.
// The variables the groups' anchors name get their values back afterwards.
std::vector<int> predictParents(const std::vector<rt::Value>& records)
{
    std::vector<int> parents(records.size(), -1);
    std::vector<std::pair<rt::Value, rt::Value>> restore;  // anchor, value before
    for (std::size_t i = 0; i < records.size(); ++i) {
        const int t = elementType(records[i]);
        if (const rt::Value b = parentBlock(records[i]); b.isBlock() && t != type::Column && t != type::ColumnAlt) {
            rt::Value p;
            rt::guarded([&] { p = rt::evalWith(b); });
            if (const auto* m = p.isObject() ? dynamic_cast<const LayoutMarker*>(&p.asObject()) : nullptr)
                parents[i] = int(m->index);
        }
        if (t != type::Group && t != type::Static)
            continue;
        rt::Value anchor;
        rt::guarded([&] { anchor = getBlock(slotOf(records[i], slot::Anchor), "O"); });
        if (!anchor.isBlock())
            continue;
        rt::Value before;
        rt::guarded([&] { before = rt::evalWith(anchor); });
        if (rt::guarded([&] { rt::evalWith(anchor, rt::Value(static_cast<rt::Object*>(new LayoutMarker(i)))); }))
            restore.emplace_back(anchor, before);
    }
    for (auto it = restore.rbegin(); it != restore.rend(); ++it)
        rt::guarded([&] { rt::evalWith(it->first, it->second); });
    return parents;
}

Layout layOut(const std::vector<rt::Value>& records)
{
    const std::vector<int> parents = predictParents(records);
    std::vector<std::optional<TextRect>> text(records.size());  // in the dialog
    double minRow = 0, minCol = 0, maxRow = 0, maxCol = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!hasRect(elementType(records[i])))
            continue;
        TextRect t{numberSlot(records[i], slot::Row, 0.0), numberSlot(records[i], slot::Col, 0.0),
                   std::max(0.0, elementRows(records[i])), std::max(0.0, elementColumns(records[i]))};
        if (const int p = parents[i]; p >= 0 && text[std::size_t(p)]) {
            t.row += text[std::size_t(p)]->row;
            t.col += text[std::size_t(p)]->col;
        }
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
    const int rowPx = int(rowPixels()), colPx = int(colPixels());
    Layout out;
    out.rects.resize(records.size());
    out.relRects.resize(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!text[i])
            continue;
        const TextRect& t = *text[i];
        const int w = px(t.cols, colPx), h = px(t.rows, rowPx);
        out.rects[i] = QRect(px(originCol + t.col, colPx), px(originRow + t.row, rowPx), w, h);
        out.relRects[i] = QRect(px(numberSlot(records[i], slot::Col, 0.0), colPx),
                                px(numberSlot(records[i], slot::Row, 0.0), rowPx), w, h);
    }
    out.size = QSize(std::max(kMinWidthPx, px(originCol + maxCol + kMarginCols, colPx)),
                     std::max(kMinHeightPx, px(originRow + maxRow + kMarginRows, rowPx)));
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

// The window an element is placed in: what its slot 30 yields when that is
// a created window object other than the dialog, else none (the dialog).
rt::Value parentOf(const rt::Value& record, const rt::Value& dialog)
{
    const rt::Value b = parentBlock(record);
    if (!b.isBlock())
        return {};
    rt::Value p;
    rt::runReporting([&] { p = rt::evalWith(b); });
    const gui::XbpPart* part = gui::asPart(p);
    return part && part->widget() && p.cell() != dialog.cell() ? p : rt::Value();
}

// One window object per record, in list order (which is the Tab order).
void createElements(const Read& read, const std::vector<rt::Value>& records, const Layout& layout)
{
    DialogPart& dialog = dialogOf(read);
    dialog.elements.resize(records.size());
    for (std::size_t i = 0; i < records.size();) {
        const int t = elementType(records[i]);
        const rt::Value parent = hasRect(t) ? parentOf(records[i], read.dialog) : rt::Value();
        const gui::XbpPart* p = gui::asPart(parent);
        const ElementContext c = p ? ElementContext{records[i], int(i + 1), parent, read.getList, layout.relRects[i],
                                                    p->widget()->height()}
                                   : ElementContext{records[i], int(i + 1), read.dialog, read.getList, layout.rects[i],
                                                    layout.size.height()};
        if (t == type::Browse) {
            i = createBrowseRun(c, records, dialog.elements);
            continue;
        }
        if (Creator make = creatorOf(t))
            rt::runReporting([&] { dialog.elements[i] = make(c); });
        ++i;
    }
}

// DXC_DIALOG_GEOMETRY: one line per element with a window, in screen
// pixels, appended by one write so reads of several processes do not mix.
void dumpGeometry(const DialogPart& dialog, const std::vector<int>& types)
{
    const char* path = std::getenv("DXC_DIALOG_GEOMETRY");
    if (!path || !*path)
        return;
    const std::string title = dialog.title.isChar() ? dialog.title.str() : std::string();
    std::string out;
    for (std::size_t i = 0; i < dialog.elements.size(); ++i) {
        const gui::XbpPart* p = gui::asPart(dialog.elements[i]);
        const QWidget* w = p ? p->widget() : nullptr;
        if (!w)
            continue;
        const ElementParts* e = asElementParts(dialog.elements[i]);
        const rt::Value record = e ? e->element() : rt::Value();
        std::string label = elementType(record) == type::CheckBox ? checkBoxCaption(record) : textSlot(record, slot::Caption);
        if (rt::alltrim(label).empty())
            label = textSlot(record, slot::Id);
        std::replace_if(label.begin(), label.end(), [](char ch) { return ch == '\t' || ch == '\n' || ch == '\r'; }, ' ');
        const QPoint at = w->mapToGlobal(QPoint(0, 0));
        char geometry[64];
        std::snprintf(geometry, sizeof geometry, "%d %d %d %d", at.x(), at.y(), w->width(), w->height());
        out += title + '\t' + std::to_string(i + 1) + '\t' + std::to_string(i < types.size() ? types[i] : 0) +
               '\t' + label + '\t' + geometry + '\n';
    }
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const ssize_t written = ::write(fd, out.data(), out.size());
    (void)written;
    ::close(fd);
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
            recordExpected("RK_ReadGUI", {r});
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
        const std::vector<rt::Value> elements = std::move(d.elements);
        d.elements.clear();
        if (GetListObject* g = asGetList(read_.getList))
            g->dialog = rt::Value();  // the list outlives the dialog; no cycle through it
        // Elements' destroy runs caller code (a browse saves its layout):
        // its errors are reported, never thrown out of a destructor.
        rt::runReporting([&d] { d.destroy(); });
        for (const rt::Value& e : elements)
            if (auto* part = e.isObject() ? dynamic_cast<ElementPart*>(&e.asObject()) : nullptr)
                part->release();
        if (const gui::XbpPart* o = gui::asPart(owner); o && o->widget())
            o->widget()->window()->activateWindow();
    }
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

private:
    Read& read_;
};

}  // namespace

// --- the read

std::vector<rt::Value> ReadSetup::args() const
{
    const rt::Value titleArg = title ? rt::Value(*title) : rt::Value();
    return rt::positionalArgs(30, {{0, getList}, {1, titleArg}, {2, options}, {6, dialogReceiver}, {7, true},
                                   {9, false}, {10, owner}, {11, startsOnValue}, {12, redraw}, {14, false},
                                   {20, false}, {21, true}, {22, false}, {24, false}, {26, false}, {29, false}});
}

bool readGui(const ReadSetup& setup) { return readGui(setup.args()); }

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
    const rt::Value& options = rt::argAt(args, 2);
    const rt::Value title = rt::argAt(args, 1).isChar() ? rt::argAt(args, 1) : optionTitle(options);
    Read read{list, makeDialog(title, owner, layout.size), makeGetList(list, options), {}};
    asGetList(read.getList)->dialog = read.dialog;
    ReadScope scope(read);
    DialogPart& dialog = dialogOf(read);
    if (dialog.status != gui::XbpPart::Created)
        rt::raise("Dialog window not created", "RK_ReadGUI");

    for (const rt::Value& r : records)
        read.types.push_back(elementType(r));
    createElements(read, records, layout);
    linkLabels(dialog);
    applyDialogOptions(read.dialog, options);
    if (const rt::Value& receiver = rt::argAt(args, 6); receiver.isBlock())
        rt::evalWith(receiver, read.dialog);
    dialog.refreshConditions();

    dialog.setVisible(true);
    QDialog* d = dialog.dialog();
    d->activateWindow();
    focusFirst(dialog);
    QTimer::singleShot(0, d, [dialogValue = read.dialog, types = read.types] {
        dumpGeometry(static_cast<const DialogPart&>(dialogValue.asObject()), types);
    });

    while (!dialog.ended() && dialog.status == gui::XbpPart::Created) {
        rt::Value mp1, mp2, target;
        const int n = gui::appEvent(mp1, mp2, target, 0);
        if (n == gui::ev::Keyboard && mp1.isNum())
            dialog.lastKey = int(mp1.asInt());
        else if (n == gui::ev::LbDown)
            dialog.lastKey = 0;
        if (n == gui::ev::Keyboard && mp1.isNum() && runHotKey(read.getList, int(mp1.asInt())))
            continue;
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

bool getRefresh(const rt::Value& getList, int mode, const rt::Value& skipTypes)
{
    const Read* r = readOf(getList);
    if (!r)
        return false;
    std::vector<int> skip;
    if (skipTypes.isArray())
        for (const rt::Value& t : skipTypes.asArray().items)
            if (t.isNum())
                skip.push_back(int(t.asInt()));
    const std::vector<rt::Value> all = dialogOf(*r).elements;  // blocks may end the read meanwhile
    const std::vector<int> types = r->types;
    auto each = [&](const std::function<void(const rt::Value&, int)>& f) {
        for (std::size_t i = 0; i < all.size() && i < types.size(); ++i)
            if (all[i].isObject() && std::find(skip.begin(), skip.end(), types[i]) == skip.end())
                f(all[i], types[i]);
    };
    if (mode != 2)
        each([](const rt::Value& e, int t) {
            if (auto* part = dynamic_cast<ElementPart*>(&e.asObject()))
                rt::runReporting([part] { part->refreshValue(); });
            else if (t == type::Browse && rt::hasMember(e, "RefreshAll"))
                rt::runReporting([&e] { rt::sendWith(e, "RefreshAll"); });
        });
    if (mode != 1)
        each([](const rt::Value& e, int t) {
            if (auto* part = dynamic_cast<ElementPart*>(&e.asObject()))
                part->refreshConditions();
            else if (t == type::Browse && rt::hasMember(e, "WhenHideEval"))
                rt::runReporting([&e] { rt::sendWith(e, "WhenHideEval"); });
        });
    return true;
}

int readGuiLastKey(const rt::Value& getList, std::optional<int> set)
{
    const Read* r = readOf(getList);
    if (!r)
        return 0;
    DialogPart& d = dialogOf(*r);
    const int before = d.lastKey;
    if (set)
        d.lastKey = *set;
    return before;
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
