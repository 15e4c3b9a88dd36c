// XbpBrowse: its class, life cycle and columns. The rest of the class sits
// by concern beside it: browse_rows.cpp (reading, refreshing, stabilising),
// browse_layout.cpp, browse_navigation.cpp and browse_input.cpp.
#include "platform/grid/browse.h"

#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/grid/scrollbar.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"

#include <QResizeEvent>

#include <algorithm>
#include <tuple>

namespace gui {

namespace {
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
    std::vector<rt::Value> cols;
    for (int pos = 1; pos <= colCount(); ++pos)
        cols.push_back(columns_[std::size_t(visual_[std::size_t(pos) - 1])]);
    columns_.clear();
    visual_.clear();
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
    return pos >= 1 && pos <= colCount() ? columnPtrs_[std::size_t(visual_[std::size_t(pos) - 1])] : nullptr;
}

int XbpBrowse::colNum(const XbpColumn* c) const
{
    for (int i = 0; i < colCount(); ++i)
        if (columnPtrs_[std::size_t(visual_[std::size_t(i)])] == c)
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
    columns_.push_back(column);
    columnPtrs_.push_back(c);
    valid_.emplace_back(rowCount(), 0);
    visual_.insert(visual_.begin() + (pos - 1), int(columns_.size()) - 1);
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
    const int logical = visual_[std::size_t(pos) - 1];
    rt::Value v = columns_[std::size_t(logical)];
    columns_.erase(columns_.begin() + logical);
    columnPtrs_.erase(columnPtrs_.begin() + logical);
    valid_.erase(valid_.begin() + logical);
    visual_.erase(visual_.begin() + (pos - 1));
    for (int& l : visual_)
        if (l > logical)
            --l;
    if (c->widget())
        c->widget()->hide();
    if (pos < colPos_)
        --colPos_;
    colPos_ = std::clamp(colPos_, 1, std::max(1, colCount()));
    afterColumnsChanged();
    return v;
}

void XbpBrowse::moveColumn(int from, int to)
{
    const int count = colCount();
    if (from < 1 || from > count)
        return;
    to = std::clamp(to, 1, count);
    const int logical = visual_[std::size_t(from) - 1];
    visual_.erase(visual_.begin() + (from - 1));
    visual_.insert(visual_.begin() + (to - 1), logical);
    if (from < colPos_)
        --colPos_;
    colPos_ = std::clamp(colPos_, 1, std::max(1, count - 1));
    if (count > 1 && to <= colPos_)
        ++colPos_;
    colPos_ = std::clamp(colPos_, 1, count);
    afterColumnsChanged();
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

}  // namespace gui
