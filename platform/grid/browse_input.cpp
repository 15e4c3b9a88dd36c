// XbpBrowse: the user's input, from its own window and, as their grid
// host, from its cell groups: clicks, keys, the wheel, focus, the scroll
// bars and column border drags.
#include "platform/grid/browse.h"

#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/grid/scrollbar.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"

#include <QApplication>

#include <algorithm>

namespace gui {

namespace {
constexpr int kBorderGrip = 5;
constexpr int kMinColumnWidth = 8;
constexpr int kWheelRows = 3;
}  // namespace

// --- input

void XbpBrowse::cellClicked(XbpColumn* c, int row)
{
    const int r = rowPos(), col = colPos_;
    rt::runReporting([&] {
        rows_.gotoRow(row);
        setColPos(colNum(c));
    });
    afterMove(r, col, true);
}

void XbpBrowse::cellActivated() { fire("itemSelected", rt::makeArray({rowPos(), colPos_})); }

// By name: a derived browse may answer the click itself.
void XbpBrowse::cellRightClicked(const rt::Value& aPos, XbpColumn* c, int row)
{
    rt::sendWith(self(), "itemRbDown", aPos, rt::makeArray({c->self(), row}));
}

// By name, so a derived browse draws its cells; an error in it leaves the
// cell to the grid.
bool XbpBrowse::ownerDrawCell(const rt::Value& ps, const rt::Value& info)
{
    rt::Value result(true);
    const bool ok = rt::guarded([&] { result = rt::sendWith(self(), "CustomDrawCell", ps, info); });
    return ok && result.isLogical() && !result.asBool();
}

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
    case key::Enter: cellActivated(); return true;
    default: return false;
    }
    afterMove(r, c, true);
    return true;
}

void XbpBrowse::areaKeyPressed(XbpCellGroup* area, int key)
{
    // The data area may carry the browse's own keyboard block: run it once.
    if (cbKeyboard.isBlock() && cbKeyboard.cell() != area->cbKeyboard.cell())
        fire("keyboard", key);
    handleKey(key);
}

void XbpBrowse::areaFocusChanged(bool in)
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

// By name: a derived browse may take the press itself (HFLbDown).
bool XbpBrowse::borderPressed(const rt::Value& aPos, XbpColumn* c, int area)
{
    const rt::Value values = rt::makeArray({c->self(), area});
    const rt::Value keep = self();
    rt::runReporting([&] { rt::sendWith(keep, "HFLbDown", aPos, values); });
    return isSizing();
}

void XbpBrowse::borderDragged(int browseX)
{
    XbpColumn* c = columnAt(sizingCol_);
    if (!c)
        return;
    const int w = std::max(kMinColumnWidth, sizingStartW_ + browseX - sizingStartX_);
    if (w != c->width())
        c->setSize(QSize(w, c->currentSize().height()));
}

}  // namespace gui
