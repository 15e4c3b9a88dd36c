// XbpBrowse: laying out the viewport, the scroll bars, the rows and the
// columns.
#include "platform/grid/browse.h"

#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/grid/scrollbar.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/error.h"
#include "platform/runtime/report_once.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>

#include <algorithm>

namespace gui {

namespace {
constexpr int kMaxRowHeight = 2000;

void placeChild(XbpPart* part, QWidget* parentWidget, const QRect& r)
{
    if (!part || !part->widget())
        return;
    part->widget()->setGeometry(r);
    part->pos = pairValue(r.x(), parentWidget->height() - r.y() - r.height());
    part->size = pairValue(r.width(), r.height());
}
}  // namespace

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
                rt::runReportingOnce([&] { rt::sendWith(dv, "setSize", pairValue(it->w, dataH), false); },
                                     areaSizeFailing_);
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

}  // namespace gui
