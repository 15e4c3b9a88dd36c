#include "platform/grid/column.h"

#include "platform/grid/cellgroup.h"
#include "platform/grid/grid_host.h"
#include "platform/gui/presparam.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"
#include "platform/runtime/report_once.h"

#include <QFontMetrics>

#include <algorithm>

namespace gui {

namespace {
constexpr int kDefaultChars = 10;
constexpr int kPadding = 8;
constexpr int kMaxWidth = 4000;

rt::Value newGroup(XbpCellGroup::Area area)
{
    auto* g = new XbpCellGroup();
    g->setArea(area);
    return g->self();
}

rt::ClassInfo makeClass()
{
    using C = XbpColumn;
    rt::ClassInfo c("XbpColumn", {&XbpPart::staticClass()});
    c.field<C>("dataLink", &C::dataLink);
    c.field<C>("colorBlock", &C::colorBlock);
    c.field<C>("type", &C::type);
    c.field<C>("picture", &C::picture);
    c.field<C>("drawMode", &C::drawMode);
    c.field<C>("hideBlock", &C::hideBlock);
    c.field<C>("whenBlock", &C::whenBlock);
    c.field<C>("protectBlock", &C::protectBlock);
    c.field<C>("heading", &C::heading);
    c.field<C>("dataArea", &C::dataArea);
    c.field<C>("footing", &C::footing);
    // Row hooks: nothing to do here; derived classes follow the rows.
    c.method<C>("DrawRow", [](C& o, rt::Args) { return o.self(); });
    c.method<C>("ScrollUp", [](C& o, rt::Args) { return o.self(); });
    c.method<C>("ScrollDown", [](C& o, rt::Args) { return o.self(); });
    c.method<C>("invalidateRect", [](C& o, rt::Args) {
        for (const rt::Value* g : {&o.heading, &o.dataArea, &o.footing})
            if (XbpCellGroup* cg = asCellGroup(*g))
                cg->markAllDirty();
        return true;
    });
    c.method<C>("refresh", [](C& o, rt::Args) {
        if (GridHost* h = o.host())
            h->refreshColumn(&o);
        return o.self();
    });
    return c;
}
}  // namespace

XbpColumn* asColumn(const rt::Value& v) { return v.isObject() ? dynamic_cast<XbpColumn*>(&v.asObject()) : nullptr; }

XbpColumn::XbpColumn() : type(4), drawMode(0)
{
    heading = newGroup(XbpCellGroup::Heading);
    dataArea = newGroup(XbpCellGroup::DataArea);
    footing = newGroup(XbpCellGroup::Footing);
}

XbpColumn::~XbpColumn() = default;

const rt::ClassInfo& XbpColumn::staticClass()
{
    static const rt::ClassInfo cls = makeClass();
    return cls;
}

const rt::ClassInfo& XbpColumn::classInfo() const { return staticClass(); }

GridHost* XbpColumn::host() const
{
    GridHost* h = hostCast_(parent);
    return h && h->colNum(this) > 0 ? h : nullptr;
}

XbpCellGroup* XbpColumn::headingGroup() const { return asCellGroup(heading); }
XbpCellGroup* XbpColumn::dataGroup() const { return dataCast_(dataArea); }
XbpCellGroup* XbpColumn::footingGroup() const { return asCellGroup(footing); }

rt::Value XbpColumn::init(rt::Args a)
{
    takeGeometryArgs(a);
    return self();
}

// The browse creates its columns: create(oBrowse, oBrowse, ...). The
// widget lives in the browse's viewport, which places it.
rt::Value XbpColumn::create(rt::Args a)
{
    takeGeometryArgs(a);
    if (!widget_) {
        auto* w = new QWidget();
        w->setAttribute(Qt::WA_NoSystemBackground);
        adoptWidget(w);
    }
    if (GridHost* h = hostCast_(parent); h && h->viewport() && widget_->parentWidget() != h->viewport())
        widget_->setParent(h->viewport());
    widget_->setVisible(false);  // shown by the browse's layout
    createGroups();
    if (GridHost* h = host())
        h->relayout();
    return self();
}

void XbpColumn::createGroups()
{
    const std::pair<rt::Value*, XbpCellGroup::Area> groups[] = {
        {&heading, XbpCellGroup::Heading}, {&dataArea, XbpCellGroup::DataArea}, {&footing, XbpCellGroup::Footing}};
    for (auto [slot, area] : groups) {
        if (!asCellGroup(*slot))
            *slot = newGroup(area);
        XbpCellGroup* g = asCellGroup(*slot);
        g->setArea(area);
        if (g->status == Created && g->widget())
            continue;
        const rt::Value me = self();
        const rt::Value groupValue = *slot;
        rt::runReporting([&] {
            rt::sendWith(groupValue, "create", me, me, pairValue(0, 0), pairValue(-1, -1), rt::Value::array(), true);
        });
    }
}

rt::Value XbpColumn::configure(rt::Args a)
{
    takeGeometryArgs(a);
    applyPresParams();
    return self();
}

rt::Value XbpColumn::destroy()
{
    const rt::Value keep = self();
    if (GridHost* h = host())
        h->delColumn(h->colNum(this));
    return XbpPart::destroy();
}

bool XbpColumn::setSize(QSize s)
{
    if (s.width() > 0)
        width_ = std::min(s.width(), kMaxWidth);
    size = pairValue(width(), s.height());
    if (GridHost* h = host())
        h->relayout();
    return true;
}

void XbpColumn::setVisible(bool on)
{
    visible = on;
    if (GridHost* h = host())
        h->relayout();
    else if (widget_)
        widget_->setVisible(on);
}

bool XbpColumn::isShown() const { return !visible.isLogical() || visible.asBool(); }

void XbpColumn::applyPresParams()
{
    for (const rt::Value* g : {&heading, &dataArea, &footing})
        if (XbpCellGroup* cg = asCellGroup(*g))
            cg->applyPresParams();
    const bool remeasure = measureSkipped_ && !hasFixedWidth();
    if (remeasure) {
        measureSkipped_ = false;
        measuring_ = true;
    }
    if (GridHost* h = host()) {
        h->relayout();
        if (remeasure)
            h->refreshColumn(this);
    }
}

bool XbpColumn::hasHook(Hook h) const
{
    // An object's class never changes: asked once.
    if (!hooksKnown_) {
        hooksKnown_ = true;
        const rt::ClassInfo& cls = classInfo();
        const rt::ClassInfo& base = staticClass();
        const std::pair<Hook, const char*> named[] = {
            {DrawRowHook, "DrawRow"}, {ScrollUpHook, "ScrollUp"}, {ScrollDownHook, "ScrollDown"}};
        if (&cls != &base)
            for (auto [hook, name] : named)
                if (cls.find(name) != base.find(name))
                    hooks_ |= hook;
    }
    return (hooks_ & h) != 0;
}

void XbpColumn::drawRow(int row, bool cursor)
{
    if (hasHook(DrawRowHook)) {
        const rt::Value keep = self();
        rt::runReportingOnce([&] { rt::sendWith(keep, "DrawRow", row, cursor); }, hookFailing_);
    }
}

void XbpColumn::scrolled(int rows, bool down)
{
    if (hasHook(down ? ScrollDownHook : ScrollUpHook)) {
        const rt::Value keep = self();
        rt::runReportingOnce([&] { rt::sendWith(keep, down ? "ScrollDown" : "ScrollUp", rows, true); }, hookFailing_);
    }
}

bool XbpColumn::hasFixedWidth() const
{
    if (width_ > 0)
        return true;
    for (int id : {pp::DaCellWidth, pp::ColWidth})
        if (const auto n = presInt(presParams, id); n && *n > 0)
            return true;
    return false;
}

int XbpColumn::width() const
{
    if (width_ > 0)
        return width_;
    if (const auto px = presInt(presParams, pp::DaCellWidth); px && *px > 0)
        return std::min(*px, kMaxWidth);
    const XbpCellGroup* data = dataGroup();
    const QFontMetrics fm(data ? data->cellFont() : QFont());
    if (const auto chars = presInt(presParams, pp::ColWidth); chars && *chars > 0)
        return std::min(*chars * std::max(fm.averageCharWidth(), fm.horizontalAdvance(QLatin1Char('0'))) + kPadding,
                        kMaxWidth);
    if (measured_ > 0)
        return measured_;
    return kDefaultChars * fm.averageCharWidth() + kPadding;
}

void XbpColumn::measure(const QString& text)
{
    if (!measuring_ || hasFixedWidth())
        return;
    const XbpCellGroup* data = dataGroup();
    const int w = QFontMetrics(data ? data->cellFont() : QFont()).horizontalAdvance(text) + kPadding;
    measured_ = std::clamp(std::max(measured_, w), 8, kMaxWidth);
}

void XbpColumn::skipMeasuring() noexcept
{
    measuring_ = false;
    measureSkipped_ = true;
}

void XbpColumn::fixMeasuredWidth()
{
    if (!measuring_)
        return;
    measuring_ = false;
    for (const XbpCellGroup* g : {headingGroup(), footingGroup()}) {
        if (!g)
            continue;
        const QFontMetrics fm(g->cellFont());
        for (int r = 1; r <= g->rowCount(); ++r) {
            const rt::Value v = g->cellValue(r);
            if (v.isChar())
                measured_ = std::clamp(std::max(measured_, fm.horizontalAdvance(QString::fromUtf8(v.asString().data(),
                                                                                                 qsizetype(v.asString().size()))) +
                                                              kPadding),
                                       8, kMaxWidth);
        }
    }
}

QString XbpColumn::format(const rt::Value& v) const
{
    std::string out;
    const bool ok = rt::guarded([&] {
        rt::Value pic = picture.isBlock() ? rt::eval(picture) : picture;
        if (pic.isChar() && !pic.asString().empty())
            out = rt::transform(v, pic.asString());
        else
            out = v.isChar() ? v.str() : rt::var2char(v);
    });
    if (!ok)
        return QString::fromLatin1(XbpCellGroup::kErrorMark);
    return QString::fromUtf8(out.data(), qsizetype(out.size()));
}

}  // namespace gui
