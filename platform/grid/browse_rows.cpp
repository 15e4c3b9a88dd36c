// XbpBrowse: reading the rows from the data source, refreshing and
// stabilising.
#include "platform/grid/browse.h"

#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/grid/scrollbar.h"
#include "platform/gui/color.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"

#include <QTimer>

#include <algorithm>
#include <functional>
#include <new>
#include <optional>

namespace gui {

namespace {
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
}  // namespace

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
        auto& valid = validAt(p.pos);
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
        if (auto& valid = validAt(i); row <= int(valid.size()))
            valid[row - 1] = 0;
    }
}

void XbpBrowse::shiftRows(int delta)
{
    for (int i = 1; i <= colCount(); ++i) {
        XbpColumn* c = columnAt(i);
        if (XbpCellGroup* g = c->dataGroup())
            g->shiftRows(delta);
        auto& valid = validAt(i);
        std::vector<char> out(valid.size(), 0);
        for (int r = 1; r <= int(valid.size()); ++r)
            if (r + delta >= 1 && r + delta <= int(valid.size()))
                out[r - 1] = valid[r + delta - 1];
        valid = std::move(out);
        c->scrolled(std::abs(delta), delta > 0);
    }
}

// --- refresh and stabilisation

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
    std::fill(validAt(pos).begin(), validAt(pos).end(), 0);
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

}  // namespace gui
