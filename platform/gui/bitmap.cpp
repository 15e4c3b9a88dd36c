#include "platform/gui/bitmap.h"

#include "platform/gui/ps.h"
#include "platform/runtime/array.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <map>

namespace gui {

namespace {
constexpr int kResSize = 16;
constexpr int kMaxPixels = 64 * 1024 * 1024;  // refuse pictures above this (width x height)

QImage blank()
{
    QImage img(kResSize, kResSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

QImage drawTriangle(bool up)
{
    QImage img = blank();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    QPainterPath path;
    if (up) {
        path.moveTo(8, 4);
        path.lineTo(13, 11);
        path.lineTo(3, 11);
    } else {
        path.moveTo(3, 5);
        path.lineTo(13, 5);
        path.lineTo(8, 12);
    }
    path.closeSubpath();
    p.drawPath(path);
    return img;
}

void tick(QPainter& p, QColor c)
{
    p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(4, 8.5), QPointF(7, 11.5), QPointF(12.5, 4.5)}));
}

QImage drawBuiltin(int id)
{
    switch (id) {
    case res::SortAscend: return drawTriangle(true);
    case res::SortDescend: return drawTriangle(false);
    default: break;
    }
    QImage img = blank();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    switch (id) {
    case res::CheckMark: tick(p, Qt::black); break;
    case res::BoxUnchecked:
    case res::BoxChecked:
        p.setPen(QPen(Qt::darkGray, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        if (id == res::BoxChecked)
            tick(p, Qt::black);
        break;
    case res::Cross:
        p.setPen(QPen(Qt::darkRed, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case res::ArrowRight: {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawPolygon(QPolygonF({QPointF(5, 3), QPointF(12, 8), QPointF(5, 13)}));
        break;
    }
    default: return {};
    }
    return img;
}

std::map<int, QImage>& resources()
{
    static std::map<int, QImage> table;
    return table;
}

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

std::optional<QSize> wantedSize(rt::Args a, std::size_t i)
{
    const rt::Value& w = rt::argAt(a, i);
    const rt::Value& h = rt::argAt(a, i + 1);
    if (!w.isNum() || !h.isNum() || w.asDouble() < 1 || h.asDouble() < 1)
        return std::nullopt;
    return QSize(int(std::min(w.asDouble(), 8192.0)), int(std::min(h.asDouble(), 8192.0)));
}

QPainter::CompositionMode compositionOf(int rasterOp)
{
    switch (rasterOp) {
    case rop::SrcPaint: return QPainter::RasterOp_SourceOrDestination;
    case rop::SrcAnd: return QPainter::RasterOp_SourceAndDestination;
    case rop::SrcInvert: return QPainter::RasterOp_SourceXorDestination;
    default: return QPainter::CompositionMode_SourceOver;  // copy, keeping the picture's transparency
    }
}

XbpPicture& pictureOf(rt::Object& o) { return static_cast<XbpPicture&>(o); }
}  // namespace

// --- resources

std::optional<QImage> resourceImage(int id)
{
    auto& table = resources();
    if (auto it = table.find(id); it != table.end())
        return it->second;
    QImage img = drawBuiltin(id);
    if (img.isNull())
        return std::nullopt;
    table.emplace(id, img);
    return img;
}

void registerResource(int id, const QImage& image) { resources()[id] = image; }

// --- files

QImage readImageFile(const QString& path, const char* op, QSize want)
{
    auto fail = [&](const std::string& why) {
        rt::Error e("Cannot load picture: " + why, op, {rt::Value(path.toStdString())});
        e.subsystem = "GUI";
        e.filename = path.toStdString();
        rt::raise(std::move(e));
    };
    const QFileInfo info(path);
    if (!info.exists())
        fail("file not found");
    if (!info.isFile() || !info.isReadable())
        fail("file cannot be read");
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        fail("not a picture in a known format (BMP, JPG, PNG, GIF, ICO)");
    // An icon file holds several images: take the one nearest the wanted size.
    QImage best;
    const int count = std::max(1, std::min(reader.imageCount(), 64));
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QSize s = reader.size();
        if (s.isValid() && qint64(s.width()) * s.height() > kMaxPixels)
            fail("picture too large");
        QImage img = reader.read();
        if (img.isNull()) {
            if (best.isNull())
                fail(reader.errorString().toStdString());
            break;
        }
        const auto distance = [&](const QImage& m) {
            return want.isValid() ? std::abs(m.width() - want.width()) + std::abs(m.height() - want.height())
                                  : -m.width() * m.height();
        };
        if (best.isNull() || distance(img) < distance(best))
            best = std::move(img);
        if (!want.isValid() && reader.imageCount() <= 1)
            break;
    }
    if (best.isNull())
        fail("no image in the file");
    return best;
}

bool drawImage(XbpPS& ps, const QImage& img, const std::array<double, 4>& target,
               const std::optional<std::array<double, 4>>& source, int rasterOp)
{
    QPainter* p = ps.painter();
    if (!p || img.isNull())
        return false;
    const QRectF to = ps.toDevice(QPointF(target[0], target[1]), QPointF(target[2], target[3]));
    QRectF from(0, 0, img.width(), img.height());
    if (source) {
        const auto& s = *source;
        // Image rows run downwards: source y is flipped against the image height.
        from = QRectF(QPointF(std::min(s[0], s[2]), img.height() - std::max(s[1], s[3])),
                      QPointF(std::max(s[0], s[2]), img.height() - std::min(s[1], s[3])))
                   .intersected(QRectF(0, 0, img.width(), img.height()));
    }
    if (to.isEmpty() || from.isEmpty())
        return true;
    p->save();
    p->setRenderHint(QPainter::SmoothPixmapTransform);
    p->setCompositionMode(compositionOf(rasterOp));
    p->drawImage(to, img, from);
    p->restore();
    return true;
}

// --- XbpPicture

rt::Value XbpPicture::create(rt::Args a)
{
    if (!rt::argAt(a, 0).isNil())
        ps = a[0];
    status = 1;
    return self();
}

rt::Value XbpPicture::destroy()
{
    image_ = QImage();
    status = 0;
    return self();
}

rt::Value XbpPicture::loadFile(rt::Args a, const char* op)
{
    const rt::Value& file = rt::argAt(a, 0);
    if (!file.isChar() || file.asString().empty())
        rt::raiseArg(op, a);
    const auto want = wantedSize(a, 1);
    QImage img = readImageFile(qstr(file.asString()), op, want.value_or(QSize()));
    if (want && img.size() != *want)
        img = img.scaled(*want, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image_ = std::move(img);
    status = 1;
    return true;
}

rt::Value XbpPicture::load(rt::Args a)
{
    const rt::Value& id = rt::argAt(a, 1);
    if (!id.isNum())
        rt::raiseArg("XbpBitmap:load", a);
    auto img = resourceImage(int(std::clamp<std::int64_t>(id.asInt(), INT32_MIN, INT32_MAX)));
    if (!img)
        return false;
    if (const auto want = wantedSize(a, 2); want && img->size() != *want)
        *img = img->scaled(*want, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image_ = *img;
    status = 1;
    return true;
}

void XbpPicture::registerCommon(rt::ClassInfo& c, const char* loadOp)
{
    c.method<XbpPicture>("init", [](XbpPicture& o, rt::Args a) {
        if (!rt::argAt(a, 0).isNil())
            o.ps = a[0];
        return o.self();
    });
    c.method<XbpPicture>("create", [](XbpPicture& o, rt::Args a) { return o.create(a); });
    c.method<XbpPicture>("destroy", [](XbpPicture& o, rt::Args) { return o.destroy(); });
    c.method<XbpPicture>("status", [](XbpPicture& o, rt::Args) { return o.status; });
    c.method<XbpPicture>("loadFile", [loadOp](XbpPicture& o, rt::Args a) { return o.loadFile(a, loadOp); });
    c.method<XbpPicture>("load", [](XbpPicture& o, rt::Args a) { return o.load(a); });
    c.addVar("xSize", [](rt::Object& o) { return rt::Value(pictureOf(o).xSize()); });
    c.addVar("ySize", [](rt::Object& o) { return rt::Value(pictureOf(o).ySize()); });
    c.addVar("bits", [](rt::Object& o) { return rt::Value(pictureOf(o).image().depth()); });
    c.field<XbpPicture>("cargo", &XbpPicture::cargo);
}

// --- XbpBitmap

const rt::ClassInfo& XbpBitmap::staticClass()
{
    static const rt::ClassInfo cls = [] {
        rt::ClassInfo c("XbpBitmap");
        registerCommon(c, "XbpBitmap:loadFile");
        c.method<XbpBitmap>("draw", [](XbpBitmap& o, rt::Args a) { return o.draw(a); });
        return c;
    }();
    return cls;
}

const rt::ClassInfo& XbpBitmap::classInfo() const { return staticClass(); }

rt::Value XbpBitmap::draw(rt::Args a)
{
    XbpPS* target = asPS(rt::argAt(a, 0));
    if (!target)
        target = asPS(ps);
    if (!target)
        rt::raiseArg("XbpBitmap:draw", a);
    std::array<double, 4> to{};
    if (const auto r = rectOf(rt::argAt(a, 1)))
        to = *r;
    else if (const auto p = pointOf(rt::argAt(a, 1)))
        to = {p->x(), p->y(), p->x() + xSize(), p->y() + ySize()};
    else
        rt::raiseArg("XbpBitmap:draw", a);
    const int rasterOp = int(rt::intArg(a, 3, "XbpBitmap:draw", rop::SrcCopy));
    return drawImage(*target, image_, to, rectOf(rt::argAt(a, 2)), rasterOp);
}

// --- XbpIcon

const rt::ClassInfo& XbpIcon::staticClass()
{
    static const rt::ClassInfo cls = [] {
        rt::ClassInfo c("XbpIcon");
        registerCommon(c, "XbpIcon:loadFile");
        c.method<XbpIcon>("draw", [](XbpIcon& o, rt::Args a) { return o.draw(a); });
        return c;
    }();
    return cls;
}

const rt::ClassInfo& XbpIcon::classInfo() const { return staticClass(); }

rt::Value XbpIcon::draw(rt::Args a)
{
    XbpPS* target = asPS(rt::argAt(a, 0));
    if (!target)
        target = asPS(ps);
    if (!target)
        rt::raiseArg("XbpIcon:draw", a);
    // {x, y}, {x1, y1, x2, y2}, or a rectangle with missing corner entries:
    // what is missing comes from the icon's own size.
    const rt::Value& where = rt::argAt(a, 1);
    if (!where.isArray() || where.asArray().size() < 2)
        rt::raiseArg("XbpIcon:draw", a);
    const auto& e = where.asArray().items;
    if (!e[0].isNum() || !e[1].isNum())
        rt::raiseArg("XbpIcon:draw", a);
    const double x = std::clamp(e[0].asDouble(), -1.0e7, 1.0e7);
    const double y = std::clamp(e[1].asDouble(), -1.0e7, 1.0e7);
    const double x2 = e.size() > 2 && e[2].isNum() ? std::clamp(e[2].asDouble(), -1.0e7, 1.0e7) : x + xSize();
    const double y2 = e.size() > 3 && e[3].isNum() ? std::clamp(e[3].asDouble(), -1.0e7, 1.0e7) : y + ySize();
    const std::array<double, 4> to{x, y, x2, y2};
    return drawImage(*target, image_, to);
}

XbpPicture* asPicture(const rt::Value& v) { return v.isObject() ? dynamic_cast<XbpPicture*>(&v.asObject()) : nullptr; }

std::optional<QImage> imageOf(const rt::Value& v)
{
    if (const XbpPicture* p = asPicture(v))
        return p->image().isNull() ? std::nullopt : std::optional<QImage>(p->image());
    if (v.isNum())
        return resourceImage(int(std::clamp<std::int64_t>(v.asInt(), INT32_MIN, INT32_MAX)));
    return std::nullopt;
}

}  // namespace gui
