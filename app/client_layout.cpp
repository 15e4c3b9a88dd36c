// The client window's geometry beyond its design.
//
// - The browse's columns are at least as wide as what they show: the design
//   gives each its least width, a code, a date or a record number widen it
//   to their whole text and heading, and the room left in the browse goes
//   to the columns of names, so no empty band is left at the grid's right.
// - The user may resize the window. The design, in text rows and columns,
//   stays the layout at the opening size; a resize moves and stretches the
//   elements from there: the groups, the browse and the long entries follow
//   the window's size, what sits right of them follows the right edge, the
//   command buttons the bottom edge. The window never gets so small that a
//   follower runs into an element that stays.
#include "app/client.h"

#include "browse/core/features.h"
#include "browse/core/globals.h"
#include "browse/features/features.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/layout.h"
#include "platform/dialog/storage.h"
#include "platform/grid/browse.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/gui/xbppart.h"
#include "platform/pgsql/connection.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app::client {

namespace {

// Entries whose text is longer than they show: they take the width the
// window gains.
constexpr std::array<std::string_view, 5> kStretchedEntries = {"GET_NOMBRE", "GET_APELL", "GET_DIRECCION",
                                                                "GET_DIRECCION2", "GET_CBUSCAR"};
// The record toolbar's fields of who saved the client, at the form's right.
constexpr std::array<std::string_view, 3> kToolbarEntries = {"GET_ID_USUARIO", "GET_ID_FECHA", "GET_ID_HORA"};
// Browse columns of free text: they keep their designed width as the least
// and take the room the other columns leave.
constexpr std::array<std::string_view, 2> kTextColumns = {"NOMBRES", "APELLIDOS"};

// What a stretched element keeps of its designed size when the window
// shrinks, in parts of it.
constexpr int kShrinkDivisor = 2;

bool listed(const auto& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// --- columns

// The largest record number of the client table: an index lookup. 0 when
// the server does not answer (the heading then sets the width).
std::int64_t largestRecno(const ClientWindow& window)
{
    auto* conn = window.oConn.isObject() ? dynamic_cast<pgsql::Connection*>(&window.oConn.asObject()) : nullptr;
    if (!conn)
        return 0;
    const std::string sql = "SELECT max(recno) FROM " + conn->qualified("dxcam01");
    const std::optional<std::string> v = conn->value(sql.c_str());
    return v ? std::atoll(v->c_str()) : 0;
}

// The widest of the lines a heading or footing shows; 0 without any.
int widestLine(gui::XbpCellGroup* g)
{
    int widest = 0;
    for (int row = 1; g && row <= g->rowCount(); ++row)
        widest = std::max(widest, g->cellWidthFor(g->cellText(row)));
    return widest;
}

// What a value of the column needs, from the current row's value through
// the column's picture: its text, and as many digits as it has characters
// (the widest other rows could show). The window's one numeric column is
// the record number: it needs the digits of the largest one.
int valueWidth(gui::XbpColumn& c, std::int64_t largest)
{
    const gui::XbpCellGroup* data = c.dataGroup();
    if (!data)
        return 0;
    rt::Value value;
    if (!c.dataLink.isBlock() || !rt::guarded([&] { value = rt::eval(c.dataLink); }))
        return 0;
    const QString text = c.format(value);
    qsizetype digits = text.size();
    if (value.isNum())
        digits = std::max<qsizetype>(digits, QString::number(std::max<std::int64_t>(largest, 0)).size());
    return std::max(data->cellWidthFor(text), data->cellWidthFor(QString(digits, QLatin1Char('0'))));
}

bool isTextColumn(const gui::XbpColumn& c)
{
    const gui::XbpCellGroup* h = c.headingGroup();
    for (int r = 1; h && r <= h->rowCount(); ++r)
        if (const rt::Value v = h->cellValue(r); v.isChar() && listed(kTextColumns, rt::alltrim(v.asString())))
            return true;
    return false;
}

struct ColumnFit {
    rt::Value column;  // keeps the column while the window lives
    int least = 0;
    bool text = false;
};

// Each column's least width, taken once while the columns still have
// their designed widths.
std::vector<ColumnFit> measureColumns(gui::XbpBrowse& b, std::int64_t largestRecno)
{
    std::vector<ColumnFit> out;
    for (int i = 1; i <= b.colCount(); ++i) {
        gui::XbpColumn* c = b.columnAt(i);
        ColumnFit f{c->self(), c->width(), isTextColumn(*c)};
        if (!f.text)
            f.least = std::max({f.least, widestLine(c->headingGroup()), widestLine(c->footingGroup()),
                                valueWidth(*c, largestRecno)});
        out.push_back(f);
    }
    return out;
}

// The columns at their least widths, the browse's spare room shared among
// the text columns in the proportion of their least widths.
void fitColumns(gui::XbpBrowse& b, const std::vector<ColumnFit>& fits)
{
    b.relayout();
    const QWidget* view = b.viewport();
    if (!view)
        return;
    int total = 0, textTotal = 0;
    for (const ColumnFit& f : fits)
        if (const gui::XbpColumn* c = gui::asColumn(f.column); c && c->isShown() && b.colNum(c) > 0) {
            total += f.least;
            textTotal += f.text ? f.least : 0;
        }
    int spare = std::max(0, view->width() - total);
    for (const ColumnFit& f : fits) {
        gui::XbpColumn* c = gui::asColumn(f.column);
        if (!c || b.colNum(c) == 0)
            continue;
        int width = f.least;
        if (f.text && c->isShown() && textTotal > 0) {
            const int share = int(std::int64_t(spare) * f.least / textTotal);
            textTotal -= f.least;
            spare -= share;
            // The last text column takes what rounding left over.
            width += textTotal == 0 ? share + spare : share;
        }
        if (width != c->width())
            c->setSize(QSize(width, c->currentSize().height()));
    }
}

// --- the window

// How an element follows the window's size from its place at the opening size.
struct Follow {
    bool moveX = false, moveY = false, growX = false, growY = false;
};

struct Placed {
    rt::Value element;
    QRect design;  // in its parent, at the opening size
    Follow follow;
};

QRect followed(const Placed& p, int dx, int dy)
{
    QRect r = p.design;
    r.translate(p.follow.moveX ? dx : 0, p.follow.moveY ? dy : 0);
    r.setWidth(r.width() + (p.follow.growX ? dx : 0));
    r.setHeight(r.height() + (p.follow.growY ? dy : 0));
    return r;
}

Follow followOf(const ClientWindow& window, const rt::Value& element, const rt::Value& record, const QWidget* parent,
                const QWidget* dialog)
{
    const auto is = [&element](const rt::Value& v) { return v.isObject() && v.cell() == element.cell(); };
    if (is(window.oMyGroup1))
        return {.growX = true};
    if (is(window.oMyGroup2) || is(window.oBrowse))
        return {.growX = true, .growY = true};
    if (parent == dialog) {
        // The command buttons: those designed right of the middle keep to the right.
        const gui::XbpPart* part = gui::asPart(element);
        const QRect r = part && part->widget() ? part->widget()->geometry() : QRect();
        return {.moveX = r.center().x() > dialog->width() / 2, .moveY = true};
    }
    const std::string id = rt::alltrim(dlg::textSlot(record, dlg::slot::Id));
    switch (dlg::elementType(record)) {
    case dlg::type::Get:
        if (listed(kStretchedEntries, id))
            return {.growX = true};
        return {.moveX = listed(kToolbarEntries, id)};
    case dlg::type::PushButton:  // the toolbars, "Siguiente" and "Like"
    case dlg::type::Bitmap:
        return {.moveX = true};
    default:
        return {};
    }
}

bool overlapsRows(const QRect& a, const QRect& b) { return a.top() <= b.bottom() && b.top() <= a.bottom(); }
bool overlapsCols(const QRect& a, const QRect& b) { return a.left() <= b.right() && b.left() <= a.right(); }

// How much smaller than designed the window may get: a growing element
// keeps its part of its size, and an element that follows an edge stays
// clear of one in the same parent that does not.
QSize leastDelta(QSize design, const std::vector<Placed>& placed, const std::vector<const QWidget*>& parents,
                 QSize gap)
{
    int dx = design.width() / kShrinkDivisor - design.width();
    int dy = design.height() / kShrinkDivisor - design.height();
    for (const Placed& p : placed) {
        if (p.follow.growX)
            dx = std::max(dx, p.design.width() / kShrinkDivisor - p.design.width());
        if (p.follow.growY)
            dy = std::max(dy, p.design.height() / kShrinkDivisor - p.design.height());
    }
    for (std::size_t i = 0; i < placed.size(); ++i)
        for (std::size_t j = 0; j < placed.size(); ++j) {
            const Placed &a = placed[i], &b = placed[j];
            if (i == j || parents[i] != parents[j])
                continue;
            if (b.follow.moveX && !a.follow.moveX && !a.follow.growX && overlapsRows(a.design, b.design) &&
                a.design.right() < b.design.left())
                dx = std::max(dx, gap.width() - (b.design.left() - a.design.right()));
            if (b.follow.moveY && !a.follow.moveY && !a.follow.growY && overlapsCols(a.design, b.design) &&
                a.design.bottom() < b.design.top())
                dy = std::max(dy, gap.height() - (b.design.top() - a.design.bottom()));
        }
    return {std::min(dx, 0), std::min(dy, 0)};
}

// Places an element in Qt coordinates of its parent, through its part so
// that its platform position (counted from the parent's bottom) follows.
void place(gui::XbpPart& part, const QRect& r)
{
    const QWidget* parent = part.widget() ? part.widget()->parentWidget() : nullptr;
    if (!parent)
        return;
    part.setPosAndSize(QPoint(r.x(), parent->height() - r.y() - r.height()), r.size());
}

// Owned by the dialog: re-lays the window whenever its size changes.
class WindowLayout final : public QObject {
public:
    static constexpr const char* kName = "clientWindowLayout";

    WindowLayout(QDialog* d, const ClientWindow& window)
        : QObject(d), design_(d->size()), last_(d->size()), browse_(window.oBrowse)
    {
        setObjectName(kName);
        const auto& elements = static_cast<const dlg::DialogPart&>(window.app(appSlot::Dialog).asObject()).elements;
        const auto& records = window.GetList.asArray().items;
        std::vector<const QWidget*> parents;
        for (std::size_t i = 0; i < elements.size() && i < records.size(); ++i) {
            const gui::XbpPart* part = gui::asPart(elements[i]);
            const QWidget* w = part ? part->widget() : nullptr;
            if (!w || !w->parentWidget() || dlg::elementType(records[i]) == dlg::type::Column)
                continue;
            placed_.push_back({elements[i], w->geometry(), followOf(window, elements[i], records[i], w->parentWidget(), d)});
            parents.push_back(w->parentWidget());
        }
        const QSize gap(int(dlg::colPixels()), int(dlg::rowPixels() / 4));
        least_ = leastDelta(design_, placed_, parents, gap);
        d->setMinimumSize(design_ + least_);
        d->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        // The frame resizes it; a grip would draw a status bar's corner at the
        // bottom edge.
        d->setSizeGripEnabled(false);
        if (gui::XbpBrowse* b = gui::asBrowse(browse_)) {
            columns_ = measureColumns(*b, largestRecno(window));
            fitColumns(*b, columns_);
        }
        d->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::Resize && watched == parent())
            relayout(static_cast<QWidget*>(watched)->size());
        return false;
    }

private:
    void relayout(QSize now)
    {
        if (now == last_)
            return;
        last_ = now;
        // Without a window manager the least size is not enforced: below it
        // the window cuts the elements off rather than pile them up.
        const int dx = std::max(now.width() - design_.width(), least_.width());
        const int dy = std::max(now.height() - design_.height(), least_.height());
        // List order places a group before what it holds.
        for (const Placed& p : placed_)
            if (gui::XbpPart* part = gui::asPart(p.element); part && part->widget())
                place(*part, followed(p, dx, dy));
        if (gui::XbpBrowse* b = gui::asBrowse(browse_))
            fitColumns(*b, columns_);
    }

    QSize design_, last_, least_;
    rt::Value browse_;
    std::vector<Placed> placed_;
    std::vector<ColumnFit> columns_;
};

// The window where the last run left it (Qt's own record of a window's
// place, frame and screen), no smaller than its least size.
void restoreGeometry(QDialog& d)
{
    const rt::Value kept = keptWindow(KeptEntry::Place);
    if (!kept.isChar() || !d.restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(kept.str()))))
        return;
    d.resize(d.size().expandedTo(d.minimumSize()));
}

// A window larger than the screen's free area opens at that area's size
// (as far as its least size allows), inside it.
void fitToScreen(QDialog& d)
{
    const QScreen* screen = d.screen() ? d.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    const QSize size = d.size().boundedTo(free.size()).expandedTo(d.minimumSize());
    if (size == d.size())
        return;
    d.resize(size);
    d.move(std::clamp(d.x(), free.left(), std::max(free.left(), free.right() + 1 - size.width())),
           std::clamp(d.y(), free.top(), std::max(free.top(), free.bottom() + 1 - size.height())));
}

// --- the keyboard

// The entries of the form in the order shown; then the check box, the
// command buttons from Save on and the search row. The toolbars and the
// browse stay out of the chain: they are reached with the mouse or their
// own keys, so a space typed after Tab never presses one of them.
constexpr std::array<std::string_view, 6> kFormEntries = {"GET_CODCLI",    "GET_NOMBRE",     "GET_APELL",
                                                          "GET_DIRECCION", "GET_DIRECCION2", "GET_FECHING"};
constexpr std::array<std::string_view, 9> kCommandOrder = {
    "Save", "New", "Edit", "Delete", "Refresh;Tabla", "Refresh;Picture", "Refresh;Browse", "Exit", "Cancel"};

void orderTabs(const ClientWindow& window, const dlg::DialogPart& dialog)
{
    const auto& records = window.GetList.asArray().items;
    const auto widgetWhere = [&](auto matches) -> QWidget* {
        for (std::size_t i = 0; i < dialog.elements.size() && i < records.size(); ++i)
            if (const gui::XbpPart* part = gui::asPart(dialog.elements[i]); part && matches(records[i]))
                return part->widget();
        return nullptr;
    };
    const auto byId = [&](std::string_view id) {
        return widgetWhere([id](const rt::Value& r) { return rt::alltrim(dlg::textSlot(r, dlg::slot::Id)) == id; });
    };
    const auto byType = [&](int type) {
        return widgetWhere([type](const rt::Value& r) { return dlg::elementType(r) == type; });
    };
    const auto byCaption = [&](std::string_view caption) {
        return widgetWhere([caption](const rt::Value& r) {
            return dlg::elementType(r) == dlg::type::PushButton && dlg::textSlot(r, dlg::slot::Caption) == caption;
        });
    };
    std::vector<QWidget*> chain;
    for (std::string_view id : kFormEntries)
        chain.push_back(byId(id));
    chain.push_back(byType(dlg::type::CheckBox));
    for (std::string_view caption : kCommandOrder)
        chain.push_back(byCaption(caption));
    chain.insert(chain.end(), {byType(dlg::type::ComboBox), byId("GET_CBUSCAR"), byCaption("Siguiente"),
                               byCaption("Like")});
    std::erase(chain, nullptr);
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    if (gui::XbpBrowse* b = gui::asBrowse(window.oBrowse); b && b->widget()) {
        b->widget()->setFocusPolicy(Qt::ClickFocus);
        for (QWidget* child : b->widget()->findChildren<QWidget*>())
            if (child->focusPolicy() & Qt::TabFocus)
                child->setFocusPolicy(Qt::ClickFocus);
    }
}

// --- what the next run starts with
//
// The window's place and its browse's order are kept by the browse
// library's layout keeping: it saves when the browse goes, as the window
// closes, through the store block below, which keeps one record under the
// user's settings: {the window's place, order column}. The columns'
// widths are not brought back: the window fits them to its data and size
// each time, and kept widths would leave a smaller window scrolling
// sideways.

constexpr const char* kSettingsKey = "client";
constexpr const char* kSettingsGroup = "window";

// The name the browse library gives the window's browse layout: the
// dialog's title and the browse's id.
std::string layoutName() { return std::string(kTitle) + ":" + std::string(kBrowseId); }

QDialog* dialogOf(const ClientWindow& window)
{
    const rt::Value& dialog = window.app(appSlot::Dialog);
    auto* part = dialog.isObject() ? dynamic_cast<dlg::DialogPart*>(&dialog.asObject()) : nullptr;
    return part ? part->dialog() : nullptr;
}

// The window's place as it closes (its browse goes before it does).
rt::Value placeOf(const ClientWindow& window)
{
    const QDialog* d = dialogOf(window);
    return d ? rt::Value(d->saveGeometry().toBase64().toStdString()) : rt::Value();
}

// Called with a name to load a layout (none is given back: the browse
// keeps its designed columns), with a name and a layout to save.
rt::Value layoutStore(const std::weak_ptr<ClientWindow>& weak)
{
    return rt::makeBlock([weak](rt::Args a) -> rt::Value {
        const auto shown = weak.lock();
        if (a.size() < 2 || !shown || rt::var2char(rt::argAt(a, 0)) != layoutName())
            return {};
        dlg::regWrite(kSettingsKey, kSettingsGroup, layoutName(),
                      rt::makeArray({placeOf(*shown), shown->app(appSlot::OrderColumn)}));
        return {};
    });
}

}  // namespace

void keepLayout(const std::weak_ptr<ClientWindow>& weak)
{
    // Of the browse library's features the window takes only the layout's
    // keeping; the rest stay as the core has them.
    browse::Features f = browse::features();
    f.save = &browse::save;
    f.restore = &browse::restore;
    f.restoreDefaults = &browse::restoreDefaults;
    f.restoreLayout = &browse::restoreLayout;
    f.autoSave = &browse::autoSave;
    browse::setFeatures(f);
    const rt::Value setting = rt::makeArray({layoutStore(weak), kSettingsGroup, true});
    browse::autoRestoreBrowse(rt::Args(&setting, 1));
}

rt::Value keptWindow(KeptEntry entry)
{
    return rt::entryOf(dlg::regQuery(kSettingsKey, kSettingsGroup, layoutName()), std::size_t(entry));
}

void arrangeWindow(const ClientWindow& window)
{
    auto* part = dynamic_cast<dlg::DialogPart*>(gui::asPart(window.app(appSlot::Dialog)));
    QDialog* d = dialogOf(window);
    if (!d || d->findChild<QObject*>(WindowLayout::kName, Qt::FindDirectChildrenOnly))
        return;
    new WindowLayout(d, window);
    restoreGeometry(*d);
    fitToScreen(*d);
    orderTabs(window, *part);
    showSearchOrder(window);
}

}  // namespace app::client
