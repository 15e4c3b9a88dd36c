#include "platform/grid/cellgroup.h"

#include "platform/grid/grid_host.h"
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/gui/font.h"
#include "platform/gui/presparam.h"
#include "platform/gui/ps.h"
#include "platform/gui/widgetbase.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"
#include "platform/runtime/report_once.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace gui {

namespace {
constexpr int kMaxCaptionRows = 64;
constexpr int kBorderGrip = 5;  // pixels either side of a column border that start sizing
constexpr int kTextMargin = 3;  // pixels between a cell's text and its sides

// The widget of a cell group: paints the retained image of its object.
class CellGroupWidget final : public QWidget {
public:
    CellGroupWidget() { setAttribute(Qt::WA_OpaquePaintEvent); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (auto* g = dynamic_cast<XbpCellGroup*>(XbpPart::fromWidget(this))) {
            QPainter p(this);
            g->paintWidget(p);
        }
    }
};

bool lArg(rt::Args a, std::size_t i, bool def)
{
    const rt::Value& v = rt::argAt(a, i);
    return v.isLogical() ? v.asBool() : def;
}

int rowArg(rt::Args a, std::size_t i)
{
    const rt::Value& v = rt::argAt(a, i);
    return v.isNum() ? int(std::clamp<std::int64_t>(v.asInt(), -1, 1 << 20)) : 0;
}

// A caption made of the placeholder character only stands for an empty line.
bool isPlaceholder(std::string_view s) { return s == "\xC3\xBF" || s == "\xC2\xA0" || s == "\xFF"; }

rt::ClassInfo makeClass()
{
    using G = XbpCellGroup;
    rt::ClassInfo c("XbpCellGroup", {&XbpPart::staticClass()});
    c.field<G>("maxRow", &G::maxRow);
    c.field<G>("useVisualStyle", &G::useVisualStyle);
    c.field<G>("drawMode", &G::drawMode);
    c.method<G>("setCell", [](G& o, rt::Args a) {
        const int row = rowArg(a, 0);
        if (row < 1 || row > o.rowCount())
            return false;
        o.storeCell(row, rt::argAt(a, 1), rt::argAt(a, 2), lArg(a, 3, true));
        return true;
    });
    c.method<G>("getCell", [](G& o, rt::Args a) { return o.cellValue(rowArg(a, 0)); });
    c.method<G>("drawCell", [](G& o, rt::Args a) {
        o.drawCells(rt::argAt(a, 0));
        return true;
    });
    c.method<G>("hiliteCell", [](G& o, rt::Args a) {
        const int row = rowArg(a, 0);
        if (row < 1 || row > o.rowCount())
            return false;
        o.lockPSValue();
        o.drawOne(row, lArg(a, 1, true));
        o.unlockPSValue();
        return true;
    });
    c.method<G>("cellRect", [](G& o, rt::Args a) { return o.cellRect(rowArg(a, 0), lArg(a, 1, true)); });
    c.method<G>("cellFromPos", [](G& o, rt::Args a) {
        const auto p = pairOf(rt::argAt(a, 0));
        return p ? o.cellFromPos(*p) : 0;
    });
    c.method<G>("rowCount", [](G& o, rt::Args) { return o.rowCount(); });
    c.method<G>("paint", [](G& o, rt::Args) {
        o.lockPSValue();
        o.paintCells();
        o.unlockPSValue();
        return true;
    });
    c.method<G>("setSize", [](G& o, rt::Args a) {
        const auto s = pairOf(rt::argAt(a, 0));
        return s ? o.setSize(QSize(s->x(), s->y())) : false;
    });
    c.method<G>("lockPS", [](G& o, rt::Args) { return o.lockPSValue(); });
    c.method<G>("unlockPS", [](G& o, rt::Args) {
        o.unlockPSValue();
        return true;
    });
    // Colours and repaints reach the retained image, so they are the group's own.
    for (bool fg : {true, false})
        c.method<G>(fg ? "setColorFG" : "setColorBG", [fg](G& o, rt::Args a) {
            const auto [curFg, curBg] = o.cellColors(0, false);
            const long long previous = fg ? curFg : curBg;
            if (!a.empty() && (a[0].isNum() || a[0].isArray())) {
                if (fg)
                    o.setColorFG(colorNumber(a[0]));
                else
                    o.setColorBG(colorNumber(a[0]));
            }
            return rt::Value(previous);
        });
    c.method<G>("invalidateRect", [](G& o, rt::Args) {
        o.markAllDirty();
        return true;
    });
    c.method<G>("getCellColor", [](G& o, rt::Args a) {
        const auto [fg, bg] = o.cellColors(rowArg(a, 0), false);
        return rt::makeArray({fg, bg});
    });
    return c;
}
}  // namespace

XbpCellGroup* asCellGroup(const rt::Value& v) { return v.isObject() ? dynamic_cast<XbpCellGroup*>(&v.asObject()) : nullptr; }

XbpCellGroup::XbpCellGroup()
    : maxRow(1), useVisualStyle(false), drawMode(0), cells_(1), dirty_(1, 0), rowAsked_(1, 0)
{
}

XbpCellGroup::~XbpCellGroup()
{
    if (psDepth_ > 0) {
        if (XbpPS* ps = asPS(psValue()))
            ps->end();
        backPainter_.reset();
    }
}

const rt::ClassInfo& XbpCellGroup::staticClass()
{
    static const rt::ClassInfo cls = makeClass();
    return cls;
}

const rt::ClassInfo& XbpCellGroup::classInfo() const { return staticClass(); }

CellOwner* XbpCellGroup::cellOwner() const { return ownerCast_(parent); }

XbpColumn* XbpCellGroup::column() const
{
    CellOwner* o = cellOwner();
    return o ? o->gridColumn() : nullptr;
}

GridHost* XbpCellGroup::host() const
{
    const CellOwner* o = cellOwner();
    return o ? o->host() : nullptr;
}

// create(oParent, oOwner, aPos, aSize, aPresParams, lVisible): a size
// height above 0 fixes the height of a heading or footing; -1 lets the
// caption lines decide.
rt::Value XbpCellGroup::create(rt::Args a)
{
    takeGeometryArgs(a);
    if (const auto s = pairOf(size); s && s->y() > 0 && area_ != DataArea)
        fixedHeight_ = std::min(s->y(), 4000);
    if (area_ != DataArea) {
        const int n = maxRow.isNum() ? int(std::clamp<std::int64_t>(maxRow.asInt(), 1, kMaxCaptionRows)) : 1;
        setRowCount(n);
        if (const rt::Value* cap = ownCaption(); cap && cells_[0].value.isNil())
            cells_[0].value = *cap;
    }
    auto* w = new CellGroupWidget();
    w->setFocusPolicy(area_ == DataArea ? Qt::ClickFocus : Qt::NoFocus);
    adoptWidget(w);
    forgetAskedRepaints();  // asked of a previous widget
    markAllDirty();
    if (GridHost* h = host())
        h->relayout();
    return self();
}

rt::Value XbpCellGroup::destroy()
{
    if (psDepth_ > 0) {
        asPS(psValue())->end();
        backPainter_.reset();
        psDepth_ = 0;
    }
    forgetAskedRepaints();
    const rt::Value keep = XbpPart::destroy();
    // The column keeps its groups: a destroyed group lets go of its column,
    // or the two keep each other alive for ever (create links them again).
    for (rt::Value* link : {&parent, &owner})
        if (link->isObject() && dynamic_cast<CellOwner*>(&link->asObject()))
            *link = rt::Value();
    return keep;
}

void XbpCellGroup::applyPresParams()
{
    XbpPart::applyPresParams();
    for (Cell& c : cells_)
        c.textValid = false;
    markAllDirty();
}

void XbpCellGroup::setColorFG(long long c)
{
    fgSet_ = c;
    markAllDirty();
}

void XbpCellGroup::setColorBG(long long c)
{
    bgSet_ = c;
    markAllDirty();
}

void XbpCellGroup::setFontCompoundName(std::string_view name)
{
    fontSet_ = std::string(name);
    markAllDirty();
    if (GridHost* h = host())
        h->relayout();
}

// The browse lays the groups out; an explicit height of a heading or
// footing is remembered as the band it wants.
bool XbpCellGroup::setSize(QSize s)
{
    if (area_ != DataArea && s.height() > 0) {
        fixedHeight_ = std::min(s.height(), 4000);
        if (GridHost* h = host())
            h->relayout();
    }
    return status == Created;
}

// --- cells

void XbpCellGroup::setRowCount(int rows)
{
    rows = std::max(0, rows);
    if (rows == int(cells_.size()))
        return;
    cells_.resize(rows);
    dirty_.assign(rows, 0);
    rowAsked_.assign(rows, 0);
    markAllDirty();
}

void XbpCellGroup::storeCell(int row, const rt::Value& value, const rt::Value& type, bool repaint)
{
    if (row < 1 || row > rowCount())
        return;
    Cell& c = cells_[row - 1];
    c.value = value;
    c.type = type;
    c.error = false;
    c.textValid = false;
    markDirty(row);
    if (repaint && widget_)
        widget_->update(rowRect(row));
    if (area_ != DataArea)  // a caption may open or resize the band
        if (GridHost* h = host())
            h->relayout();
}

rt::Value XbpCellGroup::cellValue(int row) const
{
    if (row < 1 || row > rowCount())
        return {};
    return cells_[row - 1].value;
}

QString XbpCellGroup::cellText(int row)
{
    if (row < 1 || row > rowCount())
        return {};
    return textOf(cells_[row - 1]);
}

void XbpCellGroup::storeError(int row)
{
    if (row < 1 || row > rowCount())
        return;
    Cell& c = cells_[row - 1];
    c.value = rt::Value();
    c.error = true;
    c.textValid = false;
    markDirty(row);
}

void XbpCellGroup::setRowColors(int row, long long fg, long long bg, long long hfg, long long hbg)
{
    if (row < 1 || row > rowCount())
        return;
    Cell& c = cells_[row - 1];
    if (c.fg != fg || c.bg != bg || c.hfg != hfg || c.hbg != hbg)
        markDirty(row);
    c.fg = fg;
    c.bg = bg;
    c.hfg = hfg;
    c.hbg = hbg;
}

void XbpCellGroup::clearRow(int row)
{
    if (row < 1 || row > rowCount())
        return;
    cells_[row - 1] = Cell();
    markDirty(row);
}

void XbpCellGroup::shiftRows(int delta)
{
    const int n = rowCount();
    if (delta == 0 || n == 0)
        return;
    std::vector<Cell> out(n);
    for (int r = 1; r <= n; ++r)
        if (r + delta >= 1 && r + delta <= n)
            out[r - 1] = std::move(cells_[r + delta - 1]);
    cells_ = std::move(out);
    markAllDirty();
}

bool XbpCellGroup::hasCaption() const
{
    // A placeholder caption counts: it keeps the band of its browse aligned.
    for (const Cell& c : cells_)
        if (!c.value.isNil())
            return true;
    return ownCaption() != nullptr;
}

// The first caption line from the group's or its column's presentation.
const rt::Value* XbpCellGroup::ownCaption() const
{
    const int id = area_ == Heading ? pp::HaCaption : pp::FaCaption;
    if (area_ == DataArea)
        return nullptr;
    if (const rt::Value* v = presFind(presParams, id))
        return v;
    CellOwner* o = cellOwner();
    return o ? presFind(o->columnPart().presParams, id) : nullptr;
}

QString XbpCellGroup::textOf(Cell& c) const
{
    if (c.textValid)
        return c.text;
    c.textValid = true;
    if (c.error) {
        c.text = QString::fromLatin1(kErrorMark);
        return c.text;
    }
    const rt::Value& v = c.value;
    if (v.isNil() || v.isArray() || v.isBlock() || v.isObject()) {
        c.text.clear();
    } else if (area_ == DataArea) {
        const CellOwner* o = cellOwner();
        c.text = o ? o->format(v) : QString::fromStdString(rt::var2char(v));
    } else if (v.isChar()) {
        c.text = isPlaceholder(v.asString()) ? QString() : QString::fromUtf8(v.asString().data(), qsizetype(v.asString().size()));
    } else {
        c.text = QString::fromStdString(rt::var2char(v));
    }
    return c.text;
}

// --- look: own settings, then the column's, then the browse's presentation

namespace {
const rt::Value* lookup(const XbpCellGroup& g, int id)
{
    if (const rt::Value* v = presFind(g.presParams, id))
        return v;
    if (CellOwner* o = g.cellOwner()) {
        if (const rt::Value* v = presFind(o->columnPart().presParams, id))
            return v;
        if (GridHost* h = o->host())
            return presFind(h->gridPart().presParams, id);
    }
    return nullptr;
}

std::optional<QColor> lookupColor(const XbpCellGroup& g, int id)
{
    const rt::Value* v = lookup(g, id);
    return v ? colorOf(*v) : std::nullopt;
}
}  // namespace

QColor XbpCellGroup::areaColor(bool foreground, bool hilite) const
{
    const QPalette pal = QApplication::palette();
    if (hilite) {
        if (foreground)
            return lookupColor(*this, pp::DaHiliteFgClr)
                .value_or(lookupColor(*this, pp::HiliteFgClr).value_or(pal.color(QPalette::HighlightedText)));
        return lookupColor(*this, pp::DaHiliteBgClr)
            .value_or(lookupColor(*this, pp::HiliteBgClr).value_or(pal.color(QPalette::Highlight)));
    }
    const long long set = foreground ? fgSet_ : bgSet_;
    if (isColorNumber(set))
        return toQColor(set);
    int id = 0;
    switch (area_) {
    case DataArea: id = foreground ? pp::DaFgClr : pp::DaBgClr; break;
    case Heading: id = foreground ? pp::HaFgClr : pp::HaBgClr; break;
    case Footing: id = foreground ? pp::FaFgClr : pp::FaBgClr; break;
    }
    if (auto c = lookupColor(*this, id))
        return *c;
    if (auto c = presColor(presParams, foreground ? pp::FgClr : pp::BgClr))
        return *c;
    if (area_ == DataArea)
        return pal.color(foreground ? QPalette::Text : QPalette::Base);
    return pal.color(foreground ? QPalette::ButtonText : QPalette::Button);
}

QFont XbpCellGroup::cellFont() const
{
    if (!fontSet_.empty())
        return fontFromCompoundName(fontSet_);
    const int areaId = area_ == DataArea ? pp::DaCompoundName : area_ == Heading ? pp::HaCompoundName : pp::FaCompoundName;
    // The column's own font (15) is meant for its cells; headings keep theirs.
    const int first = area_ == DataArea ? pp::CompoundName : areaId;
    const int second = area_ == DataArea ? areaId : pp::CompoundName;
    for (int id : {first, second})
        if (const rt::Value* v = lookup(*this, id); v && v->isChar() && !v->asString().empty())
            return fontFromCompoundName(v->asString());
    return widget_ ? widget_->font() : QApplication::font();
}

int XbpCellGroup::alignment() const
{
    const int id = area_ == DataArea ? pp::DaAlignment : area_ == Heading ? pp::HaAlignment : pp::FaAlignment;
    if (const rt::Value* v = lookup(*this, id); v && v->isNum())
        return int(v->asInt());
    return align::Left | align::VCenter;
}

std::pair<long long, long long> XbpCellGroup::cellColors(int row, bool hilite) const
{
    long long fg = -1, bg = -1;
    if (row >= 1 && row <= rowCount()) {
        const Cell& c = cells_[row - 1];
        fg = hilite ? c.hfg : c.fg;
        bg = hilite ? c.hbg : c.bg;
    }
    if (!isColorNumber(fg))
        fg = rgbNumber(areaColor(true, hilite));
    if (!isColorNumber(bg))
        bg = rgbNumber(areaColor(false, hilite));
    return {fg, bg};
}

// --- geometry

int XbpCellGroup::lineHeight() const { return QFontMetrics(cellFont()).height() + 4; }

int XbpCellGroup::cellWidthFor(const QString& text) const
{
    // The grid line is drawn on the cell's last pixel column.
    return QFontMetrics(cellFont()).horizontalAdvance(text) + 2 * kTextMargin + 1;
}

int XbpCellGroup::rowHeight() const
{
    if (area_ == DataArea) {
        if (const GridHost* h = host())
            return std::max(1, h->dataRowHeight());
        return lineHeight();
    }
    const int n = std::max(1, rowCount());
    const int h = widget_ ? widget_->height() : preferredHeight();
    return std::max(1, h / n);
}

int XbpCellGroup::preferredHeight() const
{
    if (fixedHeight_ > 0)
        return fixedHeight_;
    if (const rt::Value* v = lookup(*this, area_ == Heading ? pp::HaHeight : pp::FaHeight); v && v->isNum() && v->asInt() > 0)
        return int(std::min<std::int64_t>(v->asInt(), 4000));
    return std::max(1, rowCount()) * lineHeight();
}

QRect XbpCellGroup::rowRect(int row) const
{
    const int w = widget_ ? widget_->width() : 0;
    if (area_ == DataArea) {
        const int h = rowHeight();
        return QRect(0, (row - 1) * h, w, h);
    }
    const int n = std::max(1, rowCount());
    const int total = widget_ ? widget_->height() : preferredHeight();
    const int h = std::max(1, total / n);
    const int top = (row - 1) * h;
    return QRect(0, top, w, row == n ? std::max(1, total - top) : h);
}

rt::Value XbpCellGroup::cellRect(int row, bool inGroup) const
{
    if (row < 1 || row > rowCount() || !widget_)
        return rt::makeArray({0, 0, 0, 0});
    QRect r = rowRect(row);
    int height = widget_->height();
    if (!inGroup) {
        if (GridHost* h = host(); h && h->gridPart().widget()) {
            const QWidget* grid = h->gridPart().widget();
            r.translate(widget_->mapTo(grid, QPoint(0, 0)));
            height = grid->height();
        }
    }
    return rt::makeArray({r.left(), height - r.top() - r.height(), r.left() + r.width(), height - r.top()});
}

int XbpCellGroup::cellFromPos(QPoint platformPos) const
{
    if (!widget_)
        return 0;
    const QPoint q = toQt(platformPos.x(), platformPos.y());
    if (!widget_->rect().contains(q))
        return 0;
    for (int r = 1; r <= rowCount(); ++r)
        if (rowRect(r).contains(q))
            return r;
    return 0;
}

// --- drawing

void XbpCellGroup::markDirty(int row)
{
    const bool inRange = row >= 1 && row <= int(dirty_.size());
    if (inRange)
        dirty_[row - 1] = 1;
    if (!widget_ || inPaint_ || wholeAsked_)
        return;
    if (inRange && row <= int(rowAsked_.size())) {
        if (rowAsked_[row - 1])
            return;
        rowAsked_[row - 1] = 1;
    }
    widget_->update(rowRect(row));
}

void XbpCellGroup::forgetAskedRepaints() noexcept
{
    wholeAsked_ = false;
    std::fill(rowAsked_.begin(), rowAsked_.end(), 0);
}

void XbpCellGroup::markAllDirty()
{
    allDirty_ = true;
    if (widget_ && !inPaint_ && !wholeAsked_) {
        wholeAsked_ = true;
        widget_->update();
    }
}

bool XbpCellGroup::hasHook(Hook h) const
{
    // An object's class never changes: asked once.
    if (!hooksKnown_) {
        hooksKnown_ = true;
        const rt::ClassInfo& cls = classInfo();
        const rt::ClassInfo& base = staticClass();
        const std::pair<Hook, const char*> named[] = {{SetCellHook, "setCell"},
                                                      {SetSizeHook, "setSize"},
                                                      {DrawCellHook, "drawCell"},
                                                      {HiliteCellHook, "hiliteCell"},
                                                      {PaintHook, "paint"}};
        if (&cls != &base)
            for (auto [hook, name] : named)
                if (cls.find(name) != base.find(name))
                    hooks_ |= hook;
    }
    return (hooks_ & h) != 0;
}

bool XbpCellGroup::showsCursor() const
{
    if (area_ != DataArea)
        return false;
    const GridHost* h = host();
    if (!h || h->filledRows() == 0 || h->rowPos() > rowCount())
        return false;
    const int mode = h->cursorMode();
    return mode == cursor::Row || (mode == cursor::Cell && h->isCurrentColumn(column()));
}

rt::Value XbpCellGroup::lockPSValue()
{
    if (psDepth_++ == 0) {
        const QSize s = widget_ ? widget_->size().expandedTo(QSize(1, 1)) : QSize(1, 1);
        if (back_.size() != s) {
            back_ = QImage(s, QImage::Format_ARGB32_Premultiplied);
            back_.fill(areaColor(false, false));
            allDirty_ = true;
        }
        backPainter_ = std::make_unique<QPainter>(&back_);
        XbpPS& ps = *asPS(psValue());
        if (ps.isBound())
            ps.end();
        ps.setQFont(cellFont());
        ps.begin(backPainter_.get(), back_.height());
    }
    return psValue();
}

void XbpCellGroup::unlockPSValue()
{
    if (psDepth_ == 0 || --psDepth_ > 0)
        return;
    asPS(psValue())->end();
    backPainter_.reset();
    if (widget_ && !inPaint_) {
        wholeAsked_ = true;
        widget_->update();
    }
}

void XbpCellGroup::callDraw(int row, bool hilite)
{
    const rt::Value me = self();
    if (hilite) {
        if (hasHook(HiliteCellHook))
            rt::sendWith(me, "hiliteCell", row, true, false, false);
        else
            drawOne(row, true);
    } else if (hasHook(DrawCellHook)) {
        rt::sendWith(me, "drawCell", row, false);
    } else {
        drawOne(row, false);
    }
}

void XbpCellGroup::paintCells()
{
    if (!backPainter_)
        return;
    backPainter_->fillRect(back_.rect(), areaColor(false, false));
    const int cursorRow = showsCursor() ? host()->rowPos() : 0;
    for (int r = 1; r <= rowCount(); ++r)
        if (r != cursorRow)
            callDraw(r, false);
    if (cursorRow > 0)
        callDraw(cursorRow, true);
}

void XbpCellGroup::drawCells(const rt::Value& rows)
{
    lockPSValue();
    if (rows.isNum()) {
        const int r = int(std::clamp<std::int64_t>(rows.asInt(), 0, 1 << 20));
        if (r >= 1 && r <= rowCount())
            drawOne(r, false);
    } else if (rows.isArray()) {
        for (const rt::Value& v : rows.asArray().items)
            if (v.isNum() && v.asInt() >= 1 && v.asInt() <= rowCount())
                drawOne(int(v.asInt()), false);
    }
    unlockPSValue();
}

bool XbpCellGroup::ownerDrawn(int row, bool hilite, const QRect& r)
{
    GridHost* grid = host();
    CellOwner* owner = cellOwner();
    XbpColumn* col = column();
    const bool mode = (drawMode.isNum() && drawMode.asInt() == 1) || (grid && grid->ownerDraws(col));
    if (!mode || area_ != DataArea || !grid)
        return false;
    XbpPS& ps = *asPS(psValue());
    const auto [fg, bg] = cellColors(row, hilite);
    ps.setColor(rt::Value(fg), rt::Value(bg));
    const int h = back_.height();
    const rt::Value rect = rt::makeArray({r.left(), h - r.top() - r.height(), r.left() + r.width(), h - r.top()});
    const rt::Value info = rt::makeArray({row, self(), hilite ? 1 : 0, rect, grid->colNum(col), owner ? owner->columnPart().self() : rt::Value()});
    backPainter_->save();
    backPainter_->setClipRect(r);
    const bool drawn = grid->ownerDrawCell(psValue(), info);
    backPainter_->restore();
    return drawn;
}

void XbpCellGroup::drawOne(int row, bool hilite)
{
    if (!backPainter_ || row < 1 || row > rowCount())
        return;
    QPainter& p = *backPainter_;
    const QRect r = rowRect(row);
    Cell& c = cells_[row - 1];
    const QColor bg = toQColor(hilite ? c.hbg : c.bg, areaColor(false, hilite));
    p.fillRect(r, bg);
    if (!ownerDrawn(row, hilite, r)) {
        const QString text = textOf(c);
        if (!text.isEmpty()) {
            p.setPen(toQColor(hilite ? c.hfg : c.fg, areaColor(true, hilite)));
            p.setFont(cellFont());
            int flags = toQtAlignment(alignment());
            if (area_ == DataArea && !lookup(*this, pp::DaAlignment) && c.value.isNum())
                flags = (flags & ~Qt::AlignHorizontal_Mask) | Qt::AlignRight;
            const QRect box = r.adjusted(kTextMargin, 0, -kTextMargin, 0);
            // A line longer than its cell ends in "…", so a cut text is not
            // taken for a whole one (and a right-aligned number does not show
            // only its last digits).
            const bool oneLine = !text.contains(QLatin1Char('\n'));
            const QFontMetrics fm(p.font());
            p.drawText(box, flags,
                       oneLine && fm.horizontalAdvance(text) > box.width()
                           ? fm.elidedText(text, Qt::ElideRight, box.width())
                           : text);
        }
    }
    const QColor line = QApplication::palette().color(area_ == DataArea ? QPalette::Midlight : QPalette::Mid);
    p.setPen(line);
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    if (area_ == DataArea || row == rowCount())
        p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
}

void XbpCellGroup::repaintBacking()
{
    inPaint_ = true;
    lockPSValue();
    rt::runReportingOnce([&] {
        if (allDirty_) {
            allDirty_ = false;
            std::fill(dirty_.begin(), dirty_.end(), 0);
            if (hasHook(PaintHook)) {
                const int h = back_.height();
                rt::sendWith(self(), "paint", rt::makeArray({0, 0, back_.width(), h}));
            } else {
                paintCells();
            }
            return;
        }
        const int cursorRow = showsCursor() ? host()->rowPos() : 0;
        for (int r = 1; r <= int(dirty_.size()); ++r) {
            if (!dirty_[r - 1])
                continue;
            dirty_[r - 1] = 0;
            callDraw(r, r == cursorRow);
        }
    }, paintFailing_);
    unlockPSValue();
    inPaint_ = false;
}

void XbpCellGroup::paintWidget(QPainter& p)
{
    if (!widget_)
        return;
    forgetAskedRepaints();  // this paint serves every repaint asked so far
    if (area_ == DataArea)
        if (GridHost* h = host())
            h->stabiliseForPaint();
    if (back_.size() != widget_->size().expandedTo(QSize(1, 1)))
        allDirty_ = true;
    if (allDirty_ || std::any_of(dirty_.begin(), dirty_.end(), [](char d) { return d != 0; }))
        repaintBacking();
    p.drawImage(0, 0, back_);
}

// --- input

rt::Value XbpCellGroup::handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2)
{
    GridHost* h = host();
    XbpColumn* col = column();
    if (!h || !col)
        return XbpPart::handleEvent(nEvent, mp1, mp2);
    const rt::Value keepGrid = h->gridPart().self();
    const auto at = pairOf(mp1);
    const int row = at && area_ == DataArea ? cellFromPos(*at) : 0;
    const bool onData = row >= 1 && row <= h->filledRows();
    switch (nEvent) {
    case ev::LbDown:
        if (onData)
            h->cellClicked(col, row);
        return XbpPart::handleEvent(nEvent, mp1, mp2);
    case ev::LbDblClick: {
        if (onData && (h->rowPos() != row || !h->isCurrentColumn(col)))
            h->cellClicked(col, row);
        rt::Value r = XbpPart::handleEvent(nEvent, mp1, mp2);
        if (onData)
            h->cellActivated();
        return r;
    }
    case ev::RbDown: {
        rt::Value r = XbpPart::handleEvent(nEvent, mp1, mp2);
        if (onData)
            h->cellRightClicked(mp1, col, row);
        return r;
    }
    case ev::Keyboard:
        if (area_ == DataArea) {
            rt::Value r = XbpPart::handleEvent(nEvent, mp1, mp2);
            if (mp1.isNum())
                h->areaKeyPressed(this, int(mp1.asInt()));
            return r;
        }
        break;
    case ev::Wheel:
        if (area_ == DataArea) {
            rt::Value r = XbpPart::handleEvent(nEvent, mp1, mp2);
            h->areaWheeled(mp2);
            return r;
        }
        break;
    case ev::SetInputFocus:
    case ev::KillInputFocus: {
        rt::Value r = XbpPart::handleEvent(nEvent, mp1, mp2);
        h->areaFocusChanged(nEvent == ev::SetInputFocus);
        return r;
    }
    default: break;
    }
    return XbpPart::handleEvent(nEvent, mp1, mp2);
}

// Presses near a column border in a heading or footing start sizing at
// once, so the drag follows the mouse without waiting for the queue.
bool XbpCellGroup::translateEvent(QEvent* e)
{
    GridHost* h = host();
    if (area_ == DataArea || !h || !widget_)
        return XbpPart::translateEvent(e);
    switch (e->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() != Qt::LeftButton)
            break;
        const auto [x, y] = fromQt(me->position().toPoint());
        if (h->borderPressed(pairValue(x, y), column(), int(area_)))
            return true;
        break;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(e);
        if (h->isSizing()) {
            h->borderDragged(widget_->mapTo(h->gridPart().widget(), me->position().toPoint()).x());
            return true;
        }
        const int x = me->position().toPoint().x();
        const bool grip = h->sizesColumns() && (x < kBorderGrip || x >= widget_->width() - kBorderGrip);
        widget_->setCursor(grip ? Qt::SplitHCursor : Qt::ArrowCursor);
        break;
    }
    case QEvent::MouseButtonRelease:
        if (h->isSizing()) {
            h->borderReleased();
            return true;
        }
        break;
    default: break;
    }
    return XbpPart::translateEvent(e);
}

}  // namespace gui
