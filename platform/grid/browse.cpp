#include "platform/grid/browse.h"

#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/grid/scrollbar.h"
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/gui/presparam.h"
#include "platform/gui/widgetbase.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"

#include <QApplication>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <new>
#include <optional>

namespace gui {

namespace {
constexpr int kBorderGrip = 5;
constexpr int kMinColumnWidth = 8;
constexpr int kWheelRows = 3;
constexpr int kMaxRowHeight = 2000;

// The browse's own widget: lays its parts out when it is resized.
class BrowseWidget final : public QWidget {
public:
    BrowseWidget() { setFocusPolicy(Qt::StrongFocus); }

protected:
    void resizeEvent(QResizeEvent* e) override
    {
        QWidget::resizeEvent(e);
        if (auto* b = dynamic_cast<XbpBrowse*>(XbpPart::fromWidget(this)))
            b->relayout();
    }
};

int intArg(rt::Args a, std::size_t i, int def)
{
    const rt::Value& v = rt::argAt(a, i);
    return v.isNum() ? int(std::clamp<std::int64_t>(v.asInt(), -(1 << 30), 1 << 30)) : def;
}

rt::Value positionsValue(const std::vector<int>& v)
{
    std::vector<rt::Value> out(v.begin(), v.end());
    return rt::makeArray(std::move(out));
}

template <void (XbpBrowse::*Move)()>
void addMove(rt::ClassInfo& c, const char* name)
{
    c.method<XbpBrowse>(name, [](XbpBrowse& o, rt::Args) {
        (o.*Move)();
        return o.self();
    });
}

using B = XbpBrowse;

// The navigation blocks, settings and callbacks, as members.
void addMembers(rt::ClassInfo& c)
{
    for (auto [name, slot] : {std::pair{"skipBlock", &B::skipBlock}, {"goTopBlock", &B::goTopBlock},
                              {"goBottomBlock", &B::goBottomBlock}, {"posBlock", &B::posBlock},
                              {"phyPosBlock", &B::phyPosBlock}, {"firstPosBlock", &B::firstPosBlock},
                              {"lastPosBlock", &B::lastPosBlock}, {"goPosBlock", &B::goPosBlock},
                              {"softTrack", &B::softTrack}, {"sizeCols", &B::sizeCols},
                              {"useVisualStyle", &B::useVisualStyle}})
        c.field<B>(name, slot);
    for (auto [name, slot] : {std::pair{"vScroll", &B::vScroll}, {"hScroll", &B::hScroll},
                              {"nScrollHeight", &B::nScrollHeight}, {"drawMode", &B::drawMode}})
        c.addVar(
            name,
            [slot = slot](rt::Object& o) {  // a copy: clang 14 captures no structured binding
                auto& b = static_cast<B&>(o);
                return slot == &B::nScrollHeight ? rt::Value(b.scrollExtent()) : b.*slot;
            },
            [slot = slot](rt::Object& o, const rt::Value& v) {
                static_cast<B&>(o).*slot = v;
                static_cast<B&>(o).relayout();
            });
    c.addVar("cursorMode", [](rt::Object& o) { return rt::Value(static_cast<B&>(o).cursorMode()); },
             [](rt::Object& o, const rt::Value& v) {
                 auto& b = static_cast<B&>(o);
                 if (v.isNum()) {
                     b.cursorModeVar = v;
                     b.refreshCurrent();
                     for (int i = 1; i <= b.colCount(); ++i)
                         if (XbpCellGroup* g = b.columnAt(i)->dataGroup())
                             g->markAllDirty();
                 }
             });
    for (auto [name, slot] : {std::pair{"hitTop", &B::hitTop}, {"hitBottom", &B::hitBottom},
                              {"vScrollBar", &B::vScrollBar}, {"hScrollBar", &B::hScrollBar}})
        c.addVar(name, [slot = slot](rt::Object& o) { return static_cast<B&>(o).*slot; });
    for (auto [name, slot] : {std::pair{"itemSelected", &B::cbItemSelected}, {"itemMarked", &B::cbItemMarked},
                              {"itemRbDown", &B::cbItemRbDown}})
        c.callback<B>(name, slot, [slot = slot](B& o, rt::Args a) -> rt::Value {
            const rt::Value& block = o.*slot;
            return block.isBlock() ? rt::evalWith(block, rt::argAt(a, 0), rt::argAt(a, 1), o.self()) : rt::Value();
        });

}

// The moves and refreshes, and the cursor's position.
void addMoves(rt::ClassInfo& c)
{
    addMove<&B::up>(c, "up");
    addMove<&B::down>(c, "down");
    addMove<&B::pageUp>(c, "pageUp");
    addMove<&B::pageDown>(c, "pageDown");
    addMove<&B::goTop>(c, "goTop");
    addMove<&B::goBottom>(c, "goBottom");
    addMove<&B::left>(c, "left");
    addMove<&B::right>(c, "right");
    addMove<&B::firstCol>(c, "firstCol");
    addMove<&B::lastCol>(c, "lastCol");
    addMove<&B::home>(c, "home");
    addMove<&B::end>(c, "end");
    addMove<&B::panLeft>(c, "panLeft");
    addMove<&B::panRight>(c, "panRight");
    addMove<&B::refreshAll>(c, "refreshAll");
    addMove<&B::refreshCurrent>(c, "refreshCurrent");
    addMove<&B::forceStable>(c, "forceStable");
    c.method<B>("gotoItem", [](B& o, rt::Args a) {
        o.gotoItem(intArg(a, 0, o.rowPos()), intArg(a, 1, o.colPos()));
        return o.self();
    });
    c.method<B>("rowPos", [](B& o, rt::Args) { return o.rowPos(); });
    c.method<B>("rowCount", [](B& o, rt::Args) { return o.rowCount(); });
    c.method<B>("colCount", [](B& o, rt::Args) { return o.colCount(); });
    c.method<B>("colPos", [](B& o, rt::Args a) {
        const int previous = o.colPos();
        if (rt::argAt(a, 0).isNum())
            o.setColPos(intArg(a, 0, previous));
        return previous;
    });
    c.method<B>("stable", [](B& o, rt::Args) { return o.isStable(); });
}

// The columns, and what the platform's subclasses override.
void addColumnMethods(rt::ClassInfo& c)
{
    c.method<B>("addColumn", [](B& o, rt::Args a) {
        if (!asColumn(rt::argAt(a, 0)))
            rt::raiseArg("addColumn", a);
        o.addColumn(a[0]);
        return a[0];
    });
    c.method<B>("insColumn", [](B& o, rt::Args a) {
        if (!rt::argAt(a, 0).isNum() || !asColumn(rt::argAt(a, 1)))
            rt::raiseArg("insColumn", a);
        o.insColumn(intArg(a, 0, 1), a[1]);
        return a[1];
    });
    c.method<B>("delColumn", [](B& o, rt::Args a) { return o.delColumn(intArg(a, 0, 0)); });
    c.method<B>("getColumn", [](B& o, rt::Args a) {
        XbpColumn* col = o.columnAt(intArg(a, 0, 0));
        return col ? col->self() : rt::Value();
    });
    c.method<B>("colNum", [](B& o, rt::Args a) { return o.colNum(asColumn(rt::argAt(a, 0))); });
    c.method<B>("setLeftFrozen", [](B& o, rt::Args a) {
        rt::Value previous = o.frozen(true);
        if (rt::argAt(a, 0).isArray())
            o.setFrozen(true, a[0]);
        return previous;
    });
    c.method<B>("setRightFrozen", [](B& o, rt::Args a) {
        rt::Value previous = o.frozen(false);
        if (rt::argAt(a, 0).isArray())
            o.setFrozen(false, a[0]);
        return previous;
    });
    c.method<B>("navigate", [](B& o, rt::Args a) { return o.navigate(intArg(a, 0, 0), rt::argAt(a, 1)); });
    c.method<B>("HFLbDown", [](B& o, rt::Args a) { return o.startSizing(rt::argAt(a, 0), rt::argAt(a, 1)); });
    c.method<B>("CustomDrawCell", [](B&, rt::Args) { return true; });
    c.method<B>("getCell", [](B& o, rt::Args a) {
        XbpColumn* col = o.columnAt(intArg(a, 0, 0));
        XbpCellGroup* g = col ? col->dataGroup() : nullptr;
        return g ? g->cellValue(intArg(a, 1, 0)) : rt::Value();
    });
    c.method<B>("getCellColor", [](B& o, rt::Args a) {
        XbpColumn* col = o.columnAt(intArg(a, 0, 0));
        XbpCellGroup* g = col ? col->dataGroup() : nullptr;
        if (!g)
            return rt::makeArray({rt::Value(), rt::Value()});
        const auto [fg, bg] = g->cellColors(intArg(a, 1, 0), false);
        return rt::makeArray({fg, bg});
    });
}

rt::ClassInfo makeClass()
{
    rt::ClassInfo c("XbpBrowse", {&XbpPart::staticClass()});
    addMembers(c);
    addMoves(c);
    addColumnMethods(c);
    return c;
}

// rt::guarded for the blocks of a cell. The error object is made only when
// one is raised: making it for every cell took a tenth of the reading.
bool guardedCell(const std::function<void()>& f, std::optional<rt::Error>& failure)
{
    try {
        f();
        return true;
    } catch (const rt::Error& e) {
        failure = e;
    } catch (const std::bad_alloc&) {
        failure.emplace("Out of memory");
    } catch (const std::exception& e) {
        failure.emplace(e.what());
    }
    return false;
}

void placeChild(XbpPart* part, QWidget* parentWidget, const QRect& r)
{
    if (!part || !part->widget())
        return;
    part->widget()->setGeometry(r);
    part->pos = pairValue(r.x(), parentWidget->height() - r.y() - r.height());
    part->size = pairValue(r.width(), r.height());
}
}  // namespace

XbpBrowse* asBrowse(const rt::Value& v) { return v.isObject() ? dynamic_cast<XbpBrowse*>(&v.asObject()) : nullptr; }

XbpBrowse::XbpBrowse()
    : cursorModeVar(cursor::Cell),
      vScroll(true),
      hScroll(true),
      softTrack(true),
      sizeCols(true),
      drawMode(0),
      useVisualStyle(false),
      hitTop(false),
      hitBottom(false),
      rows_(makeSource(), makeSink())
{
}

XbpBrowse::~XbpBrowse()
{
    for (const rt::Value* v : {&vScrollBar, &hScrollBar})
        if (auto* bar = dynamic_cast<XbpScrollBar*>(asPart(*v)))
            bar->onScroll = nullptr;
}

const rt::ClassInfo& XbpBrowse::staticClass()
{
    static const rt::ClassInfo cls = makeClass();
    return cls;
}

const rt::ClassInfo& XbpBrowse::classInfo() const { return staticClass(); }

// --- the data source

RowWindow::Source XbpBrowse::makeSource()
{
    RowWindow::Source s;
    s.skip = [this](long long n) { return skipRows(n); };
    s.goTop = [this] {
        if (goTopBlock.isBlock())
            rt::evalWith(goTopBlock, self());
    };
    s.goBottom = [this] {
        if (goBottomBlock.isBlock())
            rt::evalWith(goBottomBlock, self());
    };
    s.looksEmpty = [this] { return sourceLooksEmpty(); };
    return s;
}

RowWindow::Sink XbpBrowse::makeSink()
{
    RowWindow::Sink s;
    s.read = [this](int row) { readRow(row); };
    s.clear = [this](int row) { clearRow(row); };
    s.shift = [this](int delta) { shiftRows(delta); };
    s.rereadAll = [this] {
        for (auto& v : valid_)
            std::fill(v.begin(), v.end(), 0);
    };
    return s;
}

long long XbpBrowse::skipRows(long long n)
{
    if (!skipBlock.isBlock())
        return 0;
    const rt::Value r = rt::evalWith(skipBlock, n, self());
    return r.isNum() ? r.asInt() : 0;
}

// Asked only when the source showed a single row: no row, when its scale is
// empty or its row identity is 0.
bool XbpBrowse::sourceLooksEmpty()
{
    const rt::Value first = firstPosBlock.isBlock() ? rt::eval(firstPosBlock) : rt::Value();
    const rt::Value last = lastPosBlock.isBlock() ? rt::eval(lastPosBlock) : rt::Value();
    if (first.isNum() && last.isNum() && last.asDouble() < first.asDouble())
        return true;
    const rt::Value id = phyPosBlock.isBlock() ? rt::eval(phyPosBlock) : rt::Value();
    return id.isNum() && id.asInt() == 0;
}

void XbpBrowse::readRow(int row)
{
    for (const Placed& p : placed_) {
        auto& valid = valid_[p.pos - 1];
        if (row > int(valid.size()) || valid[row - 1])
            continue;
        readCell(columnAt(p.pos), row);
        valid[row - 1] = 1;
    }
}

void XbpBrowse::readCell(XbpColumn* c, int row)
{
    XbpCellGroup* g = c ? c->dataGroup() : nullptr;
    if (!g)
        return;
    const rt::Value col = c->self();
    c->drawRow(row, row == rowPos());
    rt::Value value;
    std::optional<rt::Error> failure;
    const bool ok = guardedCell([&] {
        if (c->dataLink.isBlock())
            value = rt::eval(c->dataLink);
    }, failure);
    long long colors[4] = {-1, -1, -1, -1};
    if (ok && c->colorBlock.isBlock()) {
        rt::Value r;
        const bool colored = guardedCell([&] { r = rt::evalWith(c->colorBlock, value, row, col); }, failure);
        if (!colored)
            cellFailed(*failure);
        else if (r.isArray()) {
            const auto& items = r.asArray().items;
            if (items.size() == 2 || items.size() == 4)
                for (std::size_t i = 0; i < items.size(); ++i)
                    colors[i] = colorNumber(items[i]);
        }
    }
    g->setRowColors(row, colors[0], colors[1], colors[2], colors[3]);
    if (!ok) {
        g->storeError(row);
        cellFailed(*failure);
        return;
    }
    if (g->hasHook(XbpCellGroup::SetCellHook)) {
        const rt::Value gv = g->self();
        if (!rt::guarded([&] { rt::sendWith(gv, "setCell", row, value, c->type, false); }))
            g->storeError(row);
    } else {
        g->storeCell(row, value, c->type, false);
    }
    if (c->isMeasuring() && !c->hasFixedWidth() &&
        (value.isChar() || value.isNum() || value.isDate() || value.isLogical()))
        c->measure(c->format(value));
}

void XbpBrowse::clearRow(int row)
{
    for (int i = 1; i <= colCount(); ++i) {
        if (XbpCellGroup* g = columnAt(i)->dataGroup())
            g->clearRow(row);
        if (row <= int(valid_[i - 1].size()))
            valid_[i - 1][row - 1] = 0;
    }
}

void XbpBrowse::shiftRows(int delta)
{
    for (int i = 1; i <= colCount(); ++i) {
        XbpColumn* c = columnAt(i);
        if (XbpCellGroup* g = c->dataGroup())
            g->shiftRows(delta);
        auto& valid = valid_[i - 1];
        std::vector<char> out(valid.size(), 0);
        for (int r = 1; r <= int(valid.size()); ++r)
            if (r + delta >= 1 && r + delta <= int(valid.size()))
                out[r - 1] = valid[r + delta - 1];
        valid = std::move(out);
        c->scrolled(std::abs(delta), delta > 0);
    }
}

// --- life cycle

rt::Value XbpBrowse::init(rt::Args a)
{
    takeGeometryArgs(a);
    return self();
}

rt::Value XbpBrowse::create(rt::Args a)
{
    takeGeometryArgs(a);
    auto* w = new BrowseWidget();
    viewport_ = new QWidget(w);
    viewport_->setAutoFillBackground(true);
    viewport_->setBackgroundRole(QPalette::Base);
    adoptWidget(w);
    configure({});
    ++layoutHolds_;  // one layout for all the columns, after they exist
    for (int i = 1; i <= colCount(); ++i)
        attachColumn(columnAt(i));
    --layoutHolds_;
    relayout();
    stabiliseSoon();
    return self();
}

// Makes or drops the scroll bars as vScroll and hScroll say.
rt::Value XbpBrowse::configure(rt::Args a)
{
    if (!a.empty())
        XbpPart::configure(a);
    if (!widget_)
        return self();
    // The scroll bars are children of the browse's window.
    for (auto [slot, wanted, type] : {std::tuple{&vScrollBar, vScroll.isLogical() ? vScroll.asBool() : true, sb::Vertical},
                                      {&hScrollBar, hScroll.isLogical() ? hScroll.asBool() : true, sb::Horizontal}}) {
        XbpScrollBar* existing = dynamic_cast<XbpScrollBar*>(asPart(*slot));
        if (wanted && !existing) {
            auto* made = new XbpScrollBar();
            *slot = made->self();
            made->type = type;
            const rt::Value args[] = {self(), self(), pairValue(0, 0), pairValue(scrollExtent(), scrollExtent()),
                                      rt::Value(), true};
            made->create(rt::Args(args, 6));
            if (type == sb::Vertical)
                made->onScroll = [this](int cmd, long long pos) { onVScroll(cmd, pos); };
            else
                made->onScroll = [this](int cmd, long long pos) { onHScroll(cmd, pos); };
        } else if (!wanted && existing) {
            existing->destroy();
            *slot = rt::Value();
        }
    }
    relayout();
    return self();
}

rt::Value XbpBrowse::destroy()
{
    const rt::Value keep = self();
    // A scroll still queued for a bar must not reach a browse that is gone.
    for (const rt::Value* v : {&vScrollBar, &hScrollBar})
        if (auto* bar = dynamic_cast<XbpScrollBar*>(asPart(*v)))
            bar->onScroll = nullptr;
    std::vector<rt::Value> cols = std::move(columns_);
    columns_.clear();
    columnPtrs_.clear();
    valid_.clear();
    placed_.clear();
    // No longer ours, the columns destroy only their windows (and a derived
    // column what it keeps).
    for (const rt::Value& v : cols)
        if (XbpColumn* c = asColumn(v))
            c->destroy();
    vScrollBar = hScrollBar = rt::Value();
    return XbpPart::destroy();
}

void XbpBrowse::applyPresParams()
{
    XbpPart::applyPresParams();
    for (int i = 1; i <= colCount(); ++i)
        columnAt(i)->applyPresParams();
    relayout();
}

// --- columns

XbpColumn* XbpBrowse::columnAt(int pos) const
{
    return pos >= 1 && pos <= colCount() ? columnPtrs_[std::size_t(pos) - 1] : nullptr;
}

int XbpBrowse::colNum(const XbpColumn* c) const
{
    for (int i = 0; i < colCount(); ++i)
        if (columns_[i].cell() == c)
            return i + 1;
    return 0;
}

void XbpBrowse::addColumn(const rt::Value& column) { insColumn(colCount() + 1, column); }

void XbpBrowse::insColumn(int pos, const rt::Value& column)
{
    XbpColumn* c = asColumn(column);
    if (!c || colNum(c) > 0)
        return;
    pos = std::clamp(pos, 1, colCount() + 1);
    columns_.insert(columns_.begin() + (pos - 1), column);
    columnPtrs_.insert(columnPtrs_.begin() + (pos - 1), c);
    valid_.insert(valid_.begin() + (pos - 1), std::vector<char>(rowCount(), 0));
    c->parent = self();
    if (colCount() > 1 && pos <= colPos_)
        ++colPos_;
    colPos_ = std::clamp(colPos_, 1, colCount());
    if (status == Created) {
        // Creating the column and its cell groups asks for a layout at each
        // step; the one of afterColumnsChanged() serves them all.
        ++layoutHolds_;
        attachColumn(c);
        --layoutHolds_;
    }
    afterColumnsChanged();
}

void XbpBrowse::attachColumn(XbpColumn* c)
{
    if (XbpCellGroup* g = c->dataGroup())
        g->setRowCount(rowCount());
    if (c->status != Created || !c->widget()) {
        const rt::Value cv = c->self();
        const rt::Value args[] = {self(), self(), rt::Value(), rt::Value(), rt::Value(), true};
        rt::runReporting([&] { rt::send(cv, "create", rt::Args(args, 6)); });
    } else {
        c->widget()->setParent(viewport_);
        c->createGroups();
    }
    if (XbpCellGroup* g = c->dataGroup())
        g->setRowCount(rowCount());
}

rt::Value XbpBrowse::delColumn(int pos)
{
    XbpColumn* c = columnAt(pos);
    if (!c)
        return {};
    rt::Value v = columns_[pos - 1];
    columns_.erase(columns_.begin() + (pos - 1));
    columnPtrs_.erase(columnPtrs_.begin() + (pos - 1));
    valid_.erase(valid_.begin() + (pos - 1));
    if (c->widget())
        c->widget()->hide();
    if (pos < colPos_)
        --colPos_;
    colPos_ = std::clamp(colPos_, 1, std::max(1, colCount()));
    afterColumnsChanged();
    return v;
}

void XbpBrowse::afterColumnsChanged()
{
    relayout();
    rows_.touchAll();
    stabiliseSoon();
}

void XbpBrowse::setFrozen(bool left, const rt::Value& positions)
{
    std::vector<int> out;
    if (positions.isArray())
        for (const rt::Value& v : positions.asArray().items)
            if (v.isNum() && v.asInt() >= 1 && v.asInt() <= colCount())
                out.push_back(int(v.asInt()));
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    (left ? leftFrozen_ : rightFrozen_) = out;
    // A column frozen on one side is not frozen on the other.
    auto& other = left ? rightFrozen_ : leftFrozen_;
    other.erase(std::remove_if(other.begin(), other.end(),
                               [&](int p) { return std::find(out.begin(), out.end(), p) != out.end(); }),
                other.end());
    leftIndex_ = 0;
    relayout();
    ensureColVisible(colPos_);
}

rt::Value XbpBrowse::frozen(bool left) const { return positionsValue(left ? leftFrozen_ : rightFrozen_); }

bool XbpBrowse::isFrozenPos(int pos) const
{
    return std::find(leftFrozen_.begin(), leftFrozen_.end(), pos) != leftFrozen_.end() ||
           std::find(rightFrozen_.begin(), rightFrozen_.end(), pos) != rightFrozen_.end();
}

std::vector<int> XbpBrowse::unfrozenPositions() const
{
    std::vector<int> out;
    for (int i = 1; i <= colCount(); ++i)
        if (!isFrozenPos(i) && columnAt(i)->isShown())
            out.push_back(i);
    return out;
}

// --- layout

int XbpBrowse::scrollExtent() const
{
    if (nScrollHeight.isNum() && nScrollHeight.asInt() > 0)
        return int(std::min<std::int64_t>(nScrollHeight.asInt(), 200));
    return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

void XbpBrowse::relayout()
{
    if (inLayout_ || layoutHolds_ > 0 || !widget_ || !viewport_)
        return;
    inLayout_ = true;
    // Asked before columns are hidden: hiding the focused one hands the
    // focus to the next widget of the window.
    const bool hadFocus = holdsFocus();
    const QSize view = layoutViewport();
    const int dataH = layoutRows(view.height());
    const std::vector<Placed> before = placed_;
    const std::size_t scrolled = arrangeColumns(view.width());
    const bool newlyShown = showColumns(before, view.height(), dataH);
    if (newlyShown)
        rows_.touchAll();
    updateHScroll(view.width(), scrolled);
    updateFocusProxy(hadFocus);
    inLayout_ = false;
    if (newlyShown)
        stabiliseSoon();
}

// The viewport and the scroll bars along its right and bottom edges; the
// viewport's size.
QSize XbpBrowse::layoutViewport()
{
    const int W = widget_->width(), H = widget_->height();
    const int ext = scrollExtent();
    auto* vbar = dynamic_cast<XbpScrollBar*>(asPart(vScrollBar));
    auto* hbar = dynamic_cast<XbpScrollBar*>(asPart(hScrollBar));
    const int vpW = std::max(0, W - (vbar ? ext : 0));
    const int vpH = std::max(0, H - (hbar ? ext : 0));
    viewport_->setGeometry(0, 0, vpW, vpH);
    placeChild(vbar, widget_, QRect(vpW, 0, ext, vpH));
    placeChild(hbar, widget_, QRect(0, vpH, vpW, ext));
    return {vpW, vpH};
}

// The header and footer bands, the row height and the number of rows that
// fit; the height of the data area.
int XbpBrowse::layoutRows(int vpH)
{
    headHeight_ = footHeight_ = 0;
    int rowH = 0;
    for (int i = 1; i <= colCount(); ++i) {
        XbpColumn* c = columnAt(i);
        if (!c->isShown())
            continue;
        if (XbpCellGroup* h = c->headingGroup(); h && h->hasCaption())
            headHeight_ = std::max(headHeight_, h->preferredHeight());
        if (XbpCellGroup* f = c->footingGroup(); f && f->hasCaption())
            footHeight_ = std::max(footHeight_, f->preferredHeight());
        if (XbpCellGroup* d = c->dataGroup())
            rowH = std::max(rowH, d->lineHeight());
    }
    if (const auto h = presInt(presParams, pp::DaRowHeight); h && *h > 0)
        rowH = *h;
    rowHeight_ = std::clamp(rowH > 0 ? rowH : QFontMetrics(widget_->font()).height() + 4, 1, kMaxRowHeight);
    const int dataH = std::max(0, vpH - headHeight_ - footHeight_);
    const int rows = std::max(1, dataH / rowHeight_);
    if (rows != rowCount()) {
        rows_.setRowCount(rows);
        for (auto& v : valid_)
            v.assign(rows, 0);
        for (int i = 1; i <= colCount(); ++i)
            if (XbpCellGroup* d = columnAt(i)->dataGroup())
                d->setRowCount(rows);
        stabiliseSoon();
    }
    return dataH;
}

// Where the columns go: the left frozen ones, the scrolled ones from
// leftIndex_ while they start inside the viewport, the right frozen ones.
// The number of columns that scroll.
std::size_t XbpBrowse::arrangeColumns(int vpW)
{
    placed_.clear();
    int xl = 0;
    for (int pos : leftFrozen_)
        if (XbpColumn* c = columnAt(pos); c && c->isShown()) {
            placed_.push_back({pos, xl, c->width()});
            xl += c->width();
        }
    int xr = std::max(xl, vpW - shownWidth(rightFrozen_));
    const std::vector<int> free = unfrozenPositions();
    leftIndex_ = std::clamp(leftIndex_, 0, std::max(0, int(free.size()) - 1));
    for (std::size_t i = leftIndex_, x = xl; i < free.size() && int(x) < xr; ++i) {
        XbpColumn* c = columnAt(free[i]);
        placed_.push_back({free[i], int(x), c->width()});
        x += c->width();
    }
    for (int pos : rightFrozen_)
        if (XbpColumn* c = columnAt(pos); c && c->isShown()) {
            placed_.push_back({pos, xr, c->width()});
            xr += c->width();
        }
    return free.size();
}

// The column windows where arrangeColumns put them, the others hidden.
// True when a column shows that did not before.
bool XbpBrowse::showColumns(const std::vector<Placed>& before, int vpH, int dataH)
{
    bool newlyShown = false;
    for (int i = 1; i <= colCount(); ++i) {
        XbpColumn* c = columnAt(i);
        QWidget* cw = c->widget();
        if (!cw)
            continue;
        if (cw->parentWidget() != viewport_)
            cw->setParent(viewport_);
        const auto isHere = [i](const Placed& p) { return p.pos == i; };
        const auto it = std::find_if(placed_.begin(), placed_.end(), isHere);
        if (it == placed_.end()) {
            cw->hide();
            continue;
        }
        newlyShown = newlyShown || std::none_of(before.begin(), before.end(), isHere);
        placeChild(c, viewport_, QRect(it->x, 0, it->w, vpH));
        placeChild(c->headingGroup(), cw, QRect(0, 0, it->w, headHeight_));
        placeChild(c->footingGroup(), cw, QRect(0, vpH - footHeight_, it->w, footHeight_));
        XbpCellGroup* d = c->dataGroup();
        const QSize oldSize = d && d->widget() ? d->widget()->size() : QSize();
        placeChild(d, cw, QRect(0, headHeight_, it->w, dataH));
        for (XbpCellGroup* g : {c->headingGroup(), c->footingGroup()})
            if (g && g->widget())
                g->widget()->setVisible(g->widget()->height() > 0);
        if (d && d->widget()) {
            d->widget()->show();
            if (d->widget()->size() != oldSize && d->hasHook(XbpCellGroup::SetSizeHook)) {
                const rt::Value dv = d->self();
                rt::guarded([&] { rt::sendWith(dv, "setSize", pairValue(it->w, dataH), false); });
            }
        }
        cw->show();
        if (isFrozenPos(i))
            cw->raise();
    }
    return newlyShown;
}

// The horizontal scroll bar: one step per scrolled column, a single one
// when they all fit.
void XbpBrowse::updateHScroll(int vpW, std::size_t scrolled)
{
    auto* hbar = dynamic_cast<XbpScrollBar*>(asPart(hScrollBar));
    if (!hbar)
        return;
    const auto isScrolled = [&](const Placed& p) { return !isFrozenPos(p.pos); };
    const bool allFit = leftIndex_ == 0 && !placed_.empty() &&
                        std::size_t(std::count_if(placed_.begin(), placed_.end(), isScrolled)) == scrolled &&
                        std::all_of(placed_.begin(), placed_.end(), [&](const Placed& p) { return p.x + p.w <= vpW; });
    hbar->setRange(1, allFit ? 1 : std::max<long long>(1, (long long)scrolled));
    hbar->setScrollBoxSize(std::max<long long>(1, (long long)placed_.size()));
    hbar->setData(leftIndex_ + 1);
}

int XbpBrowse::shownWidth(const std::vector<int>& positions) const
{
    int w = 0;
    for (int pos : positions)
        if (XbpColumn* c = columnAt(pos); c && c->isShown())
            w += c->width();
    return w;
}

bool XbpBrowse::holdsFocus() const
{
    QWidget* f = QApplication::focusWidget();
    return widget_ && f && widget_->isAncestorOf(f);
}

void XbpBrowse::updateFocusProxy(bool hadFocus)
{
    if (!widget_)
        return;
    XbpColumn* c = columnAt(colPos_);
    XbpCellGroup* d = c ? c->dataGroup() : nullptr;
    QWidget* target = d && d->widget() && d->widget()->isVisibleTo(widget_) ? d->widget() : nullptr;
    widget_->setFocusProxy(target);
    if (!hadFocus)
        return;
    // With the cursor's column out of sight the browse itself keeps it.
    QWidget* to = target ? target : widget_.data();
    if (QApplication::focusWidget() != to)
        to->setFocus(Qt::OtherFocusReason);
}

bool XbpBrowse::setSize(QSize s)
{
    const bool r = XbpPart::setSize(s);
    relayout();
    return r;
}

void XbpBrowse::ensureColVisible(int pos)
{
    if (isFrozenPos(pos) || !columnAt(pos))
        return;
    const std::vector<int> free = unfrozenPositions();
    const auto it = std::find(free.begin(), free.end(), pos);
    if (it == free.end())
        return;
    const int idx = int(it - free.begin());
    if (idx < leftIndex_) {
        leftIndex_ = idx;
    } else {
        const int vpW = viewport_ ? viewport_->width() : 0;
        const int room = vpW - shownWidth(leftFrozen_) - shownWidth(rightFrozen_);
        auto span = [&] {
            int w = 0;
            for (int i = leftIndex_; i <= idx; ++i)
                w += columnAt(free[i])->width();
            return w;
        };
        while (leftIndex_ < idx && span() > room)
            ++leftIndex_;
    }
    relayout();
}

// --- cursor and navigation

int XbpBrowse::cursorMode() const
{
    const int m = cursorModeVar.isNum() ? int(cursorModeVar.asInt()) : cursor::Cell;
    return m == cursor::Row || m == cursor::None ? m : cursor::Cell;
}

bool XbpBrowse::isCurrentColumn(const XbpColumn* c) const { return c && columnAt(colPos_) == c; }

bool XbpBrowse::ownerDraws(const XbpColumn* c) const
{
    const auto isOne = [](const rt::Value& v) { return v.isNum() && v.asInt() == 1; };
    return isOne(drawMode) || (c && isOne(c->drawMode));
}

void XbpBrowse::markCursorRows(int row, int col)
{
    if (cursorMode() == cursor::Row) {
        for (int i = 1; i <= colCount(); ++i)
            if (XbpCellGroup* g = columnAt(i)->dataGroup())
                g->markDirty(row);
    } else if (XbpColumn* c = columnAt(col)) {
        if (XbpCellGroup* g = c->dataGroup())
            g->markDirty(row);
    }
}

void XbpBrowse::updateHitFlags()
{
    hitTop = rows_.hitTop();
    hitBottom = rows_.hitBottom();
}

void XbpBrowse::afterMove(int oldRow, int oldCol, bool user)
{
    autoFailed_ = false;
    markCursorRows(oldRow, oldCol);
    markCursorRows(rowPos(), colPos_);
    updateHitFlags();
    if (!user) {
        stabiliseSoon();
        return;
    }
    // The user sees the move at once and handlers find the data on the row.
    const rt::Value keep = self();  // the browse outlives its stabilisation
    if (!rt::runReporting([&] { stabiliseByItself(); }))
        autoFailed_ = true;
    markCursorRows(rowPos(), colPos_);
    if (rowPos() != oldRow || colPos_ != oldCol || (!rows_.hitTop() && !rows_.hitBottom()))
        fire("itemMarked", rt::makeArray({rowPos(), colPos_}));
}

void XbpBrowse::moveRows(void (*move)(RowWindow&))
{
    const int r = rowPos();
    move(rows_);
    afterMove(r, colPos_, false);
}

void XbpBrowse::up() { moveRows([](RowWindow& r) { r.up(); }); }

void XbpBrowse::down() { moveRows([](RowWindow& r) { r.down(); }); }

void XbpBrowse::pageUp() { moveRows([](RowWindow& r) { r.pageUp(); }); }

void XbpBrowse::pageDown() { moveRows([](RowWindow& r) { r.pageDown(); }); }

void XbpBrowse::goTop() { moveRows([](RowWindow& r) { r.goTop(); }); }

void XbpBrowse::goBottom() { moveRows([](RowWindow& r) { r.goBottom(); }); }

// Without a goPosBlock: go to the top and skip to the position.
void XbpBrowse::goPos(long long pos)
{
    const int r = rowPos();
    if (goPosBlock.isBlock()) {
        rt::evalWith(goPosBlock, pos);
    } else {
        if (goTopBlock.isBlock())
            rt::evalWith(goTopBlock, self());
        const rt::Value first = firstPosBlock.isBlock() ? rt::eval(firstPosBlock) : rt::Value();
        skipRows(pos - (first.isNum() ? first.asInt() : 0));
    }
    rows_.repositioned();
    afterMove(r, colPos_, false);
}

void XbpBrowse::setColPos(int pos)
{
    if (colCount() == 0)
        return;
    const int old = colPos_;
    colPos_ = std::clamp(pos, 1, colCount());
    ensureColVisible(colPos_);
    if (old != colPos_) {
        markCursorRows(rowPos(), old);
        markCursorRows(rowPos(), colPos_);
        updateFocusProxy(holdsFocus());
    }
}

// The cursor to the first shown column from position `from` on, in steps
// of `step`; it stays when there is none.
void XbpBrowse::toShownColumn(int from, int step)
{
    for (int p = from; p >= 1 && p <= colCount(); p += step)
        if (columnAt(p)->isShown()) {
            setColPos(p);
            return;
        }
}

void XbpBrowse::left() { toShownColumn(colPos_ - 1, -1); }

void XbpBrowse::right() { toShownColumn(colPos_ + 1, 1); }

void XbpBrowse::firstCol() { toShownColumn(1, 1); }

void XbpBrowse::lastCol() { toShownColumn(colCount(), -1); }

void XbpBrowse::home()
{
    if (!placed_.empty())
        setColPos(std::min_element(placed_.begin(), placed_.end(), [](auto& a, auto& b) { return a.x < b.x; })->pos);
}

void XbpBrowse::end()
{
    const int vpW = viewport_ ? viewport_->width() : 0;
    int best = 0, bestX = -1;
    for (const Placed& p : placed_)
        if (p.x + p.w <= vpW && p.x > bestX) {
            best = p.pos;
            bestX = p.x;
        }
    if (best == 0 && !placed_.empty())
        best = placed_.back().pos;
    if (best)
        setColPos(best);
}

void XbpBrowse::panLeft()
{
    if (leftIndex_ == 0)
        return;
    --leftIndex_;
    relayout();
    if (std::none_of(placed_.begin(), placed_.end(), [&](const Placed& p) { return p.pos == colPos_; }))
        end();
}

void XbpBrowse::panRight()
{
    const std::vector<int> free = unfrozenPositions();
    if (leftIndex_ + 1 >= int(free.size()))
        return;
    ++leftIndex_;
    relayout();
    if (std::none_of(placed_.begin(), placed_.end(), [&](const Placed& p) { return p.pos == colPos_; }))
        home();
}

void XbpBrowse::gotoItem(int row, int col)
{
    const int r = rowPos(), c = colPos_;
    rows_.gotoRow(row);
    if (columnAt(col))
        setColPos(col);
    afterMove(r, c, false);
}

rt::Value XbpBrowse::navigate(int command, const rt::Value& value)
{
    const auto n = [&](long long def) { return value.isNum() ? value.asInt() : def; };
    switch (command) {
    case nav::Skip: {
        const long long want = n(0);
        for (long long i = 0; i < std::min<long long>(std::abs(want), 1LL << 20); ++i) {
            if (want > 0)
                down();
            else
                up();
            if (rows_.hitTop() || rows_.hitBottom())
                break;
        }
        break;
    }
    case nav::NextLine: down(); break;
    case nav::PrevLine: up(); break;
    case nav::NextPage: pageDown(); break;
    case nav::PrevPage: pageUp(); break;
    case nav::GoTop: goTop(); break;
    case nav::GoBottom: goBottom(); break;
    case nav::GoPos: goPos(n(0)); break;
    case nav::NextCol: right(); break;
    case nav::PrevCol: left(); break;
    case nav::FirstCol: firstCol(); break;
    case nav::LastCol: lastCol(); break;
    case nav::GotoRow: gotoItem(int(std::clamp<long long>(n(rowPos()), 1, rowCount())), colPos_); break;
    case nav::Stable:
        forceStable();
        fire("itemMarked", rt::makeArray({rowPos(), colPos_}));
        break;
    default: break;
    }
    return self();
}

void XbpBrowse::refreshAll()
{
    autoFailed_ = false;
    rows_.refreshAll();
    stabiliseSoon();
}

void XbpBrowse::refreshCurrent()
{
    autoFailed_ = false;
    for (auto& v : valid_)
        if (rowPos() <= int(v.size()))
            v[rowPos() - 1] = 0;
    rows_.refreshRow(rowPos());
    stabiliseSoon();
}

void XbpBrowse::refreshColumn(XbpColumn* c)
{
    const int pos = colNum(c);
    if (pos == 0)
        return;
    std::fill(valid_[pos - 1].begin(), valid_[pos - 1].end(), 0);
    rows_.touchAll();
    stabiliseSoon();
}

void XbpBrowse::forceStable()
{
    const int oldRow = rowPos();
    rows_.stabilise();
    bool widened = false;
    // The first rows shown decide the widths of the columns that measure.
    for (int i = 1; i <= colCount() && rows_.filled() > 0; ++i) {
        XbpColumn* c = columnAt(i);
        if (!c || !c->isMeasuring() ||
            std::none_of(placed_.begin(), placed_.end(), [i](auto& p) { return p.pos == i; }))
            continue;
        if (c->hasFixedWidth()) {
            c->skipMeasuring();
            continue;
        }
        const int w = c->width();
        c->fixMeasuredWidth();
        widened = widened || c->width() != w;
    }
    if (widened)
        relayout();
    if (oldRow != rowPos()) {
        markCursorRows(oldRow, colPos_);
        markCursorRows(rowPos(), colPos_);
    }
    updateHitFlags();
    updateThumbs();
}

void XbpBrowse::updateThumbs()
{
    auto* vbar = dynamic_cast<XbpScrollBar*>(asPart(vScrollBar));
    if (!vbar)
        return;
    rt::Value first, last, pos;
    if (!rt::guarded([&] {
            first = firstPosBlock.isBlock() ? rt::eval(firstPosBlock) : rt::Value();
            last = lastPosBlock.isBlock() ? rt::eval(lastPosBlock) : rt::Value();
            pos = posBlock.isBlock() ? rt::eval(posBlock) : rt::Value();
        }))
        return;
    const long long lo = first.isNum() ? first.asInt() : 0;
    const long long hi = last.isNum() ? std::max<long long>(lo, last.asInt()) : lo;
    vbar->setRange(lo, hi);
    vbar->setScrollBoxSize(std::clamp<long long>(rowCount(), 1, std::max<long long>(1, (hi - lo + 1) / 2)));
    if (pos.isNum())
        vbar->setData(pos.asInt());
}

void XbpBrowse::stabiliseSoon()
{
    if (!widget_ || stablePending_)
        return;
    stablePending_ = true;
    QTimer::singleShot(0, widget_, [this] {
        stablePending_ = false;
        if (autoFailed_ || rows_.isStable() || status != Created)
            return;
        const rt::Value keep = self();  // the browse outlives its stabilisation
        if (!rt::runReporting([&] { stabiliseByItself(); }))
            autoFailed_ = true;
    });
}

void XbpBrowse::stabiliseForPaint()
{
    if (autoFailed_ || rows_.isStable())
        return;
    const rt::Value keep = self();  // the browse outlives its stabilisation
    if (!rt::guarded([&] { stabiliseByItself(); }))
        autoFailed_ = true;
}

// --- input

void XbpBrowse::clickCell(XbpColumn* c, int row)
{
    const int r = rowPos(), col = colPos_;
    rt::runReporting([&] {
        rows_.gotoRow(row);
        setColPos(colNum(c));
    });
    afterMove(r, col, true);
}

void XbpBrowse::selectItem() { fire("itemSelected", rt::makeArray({rowPos(), colPos_})); }

bool XbpBrowse::handleKey(int key)
{
    const int r = rowPos(), c = colPos_;
    switch (key) {
    case key::Up: rows_.up(); break;
    case key::Down: rows_.down(); break;
    case key::PgUp: rows_.pageUp(); break;
    case key::PgDn: rows_.pageDown(); break;
    case key::PgUp + key::CtrlFlag:
    case key::Home + key::CtrlFlag: rows_.goTop(); break;
    case key::PgDn + key::CtrlFlag:
    case key::End + key::CtrlFlag: rows_.goBottom(); break;
    case key::Home: home(); break;
    case key::End: end(); break;
    case key::Left:
        if (cursorMode() == cursor::Row)
            panLeft();
        else
            left();
        break;
    case key::Right:
        if (cursorMode() == cursor::Row)
            panRight();
        else
            right();
        break;
    case key::Left + key::CtrlFlag: panLeft(); break;
    case key::Right + key::CtrlFlag: panRight(); break;
    case key::Enter: selectItem(); return true;
    default: return false;
    }
    afterMove(r, c, true);
    return true;
}

bool XbpBrowse::keyFromArea(XbpCellGroup* area, int key)
{
    // The data area may carry the browse's own keyboard block: run it once.
    if (cbKeyboard.isBlock() && cbKeyboard.cell() != area->cbKeyboard.cell())
        fire("keyboard", key);
    return handleKey(key);
}

void XbpBrowse::areaFocus(bool in)
{
    if (in && !focused_) {
        focused_ = true;
        fire("setInputFocus");
    } else if (!in && focused_) {
        QWidget* now = QApplication::focusWidget();
        if (!now || !widget_ || !widget_->isAncestorOf(now)) {
            focused_ = false;
            fire("killInputFocus");
        }
    }
}

void XbpBrowse::wheel(const rt::Value& delta)
{
    const auto d = pairOf(delta);
    if (!d || d->y() == 0)
        return;
    const int r = rowPos(), c = colPos_;
    const int notches = std::max(1, std::abs(d->y()) / 120);
    for (int i = 0; i < notches * kWheelRows; ++i) {
        if (d->y() < 0)
            rows_.down();
        else
            rows_.up();
        if (rows_.hitTop() || rows_.hitBottom())
            break;
    }
    afterMove(r, c, true);
}

rt::Value XbpBrowse::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    switch (nEvent) {
    case ev::Keyboard: {
        rt::Value r = XbpPart::handleEvent(nEvent, mp1, mp2);
        if (mp1.isNum())
            handleKey(int(mp1.asInt()));
        return r;
    }
    case ev::Wheel: {
        rt::Value r = XbpPart::handleEvent(nEvent, mp1, mp2);
        wheel(mp2);
        return r;
    }
    case ev::Navigate:
    case nav::NavigateEvent: return rt::sendWith(self(), "navigate", mp1, mp2);
    case ev::ItemSelected: return fire("itemSelected", mp1, mp2);
    case ev::ItemMarked: return fire("itemMarked", mp1, mp2);
    case ev::ItemRbDown: return fire("itemRbDown", mp1, mp2);
    case ev::HFLbDown: return fire("HFLbDown", mp1, mp2);
    default: return XbpPart::handleEvent(nEvent, mp1, mp2);
    }
}

void XbpBrowse::onVScroll(int command, long long pos)
{
    const int r = rowPos(), c = colPos_;
    const bool soft = !softTrack.isLogical() || softTrack.asBool();
    switch (command) {
    case sb::PrevPos: rows_.up(); break;
    case sb::NextPos: rows_.down(); break;
    case sb::PrevPage: rows_.pageUp(); break;
    case sb::NextPage: rows_.pageDown(); break;
    case sb::SliderTrack:
        if (soft)
            return;
        goPos(pos);
        break;
    case sb::EndTrack:
    case sb::SliderPos: goPos(pos); break;
    default: return;
    }
    afterMove(r, c, true);
}

void XbpBrowse::onHScroll(int command, long long pos)
{
    const int visibleFree = int(std::count_if(placed_.begin(), placed_.end(), [&](const Placed& p) { return !isFrozenPos(p.pos); }));
    switch (command) {
    case sb::PrevPos: panLeft(); return;
    case sb::NextPos: panRight(); return;
    case sb::PrevPage:
        for (int i = 0; i < std::max(1, visibleFree); ++i)
            panLeft();
        return;
    case sb::NextPage:
        for (int i = 0; i < std::max(1, visibleFree); ++i)
            panRight();
        return;
    default: break;
    }
    leftIndex_ = int(std::max<long long>(0, pos - 1));
    relayout();
    if (std::none_of(placed_.begin(), placed_.end(), [&](const Placed& p) { return p.pos == colPos_; }))
        home();
}

// --- column sizing

rt::Value XbpBrowse::startSizing(const rt::Value& aPos, const rt::Value& aValues)
{
    if (sizeCols.isLogical() && !sizeCols.asBool())
        return {};
    const auto at = pairOf(aPos);
    XbpColumn* col = aValues.isArray() && !aValues.asArray().items.empty() ? asColumn(aValues.asArray().items[0]) : nullptr;
    const int pos = colNum(col);
    if (!at || pos == 0)
        return {};
    const auto it = std::find_if(placed_.begin(), placed_.end(), [pos](const Placed& p) { return p.pos == pos; });
    if (it == placed_.end())
        return {};
    int target = 0;
    if (at->x() < kBorderGrip) {
        const auto left = std::find_if(placed_.begin(), placed_.end(), [&](const Placed& p) { return p.x + p.w == it->x; });
        if (left != placed_.end())
            target = left->pos;
    } else if (at->x() >= it->w - kBorderGrip) {
        target = pos;
    }
    if (target == 0)
        return {};
    const auto t = std::find_if(placed_.begin(), placed_.end(), [target](const Placed& p) { return p.pos == target; });
    sizingCol_ = target;
    sizingStartW_ = t->w;
    sizingStartX_ = it->x + at->x();
    return self();
}

void XbpBrowse::sizeTo(int browseX)
{
    XbpColumn* c = columnAt(sizingCol_);
    if (!c)
        return;
    const int w = std::max(kMinColumnWidth, sizingStartW_ + browseX - sizingStartX_);
    if (w != c->width())
        c->setSize(QSize(w, c->currentSize().height()));
}

void XbpBrowse::endSizing() { sizingCol_ = 0; }

}  // namespace gui
