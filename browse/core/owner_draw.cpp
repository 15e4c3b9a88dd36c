// RK_XbpOwnerDrawBrowseGeneric: the cell painting of the owner-drawn browse.
#include "browse/core/owner_draw.h"

#include "browse/columns/presentation.h"

#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/color.h"
#include "platform/gui/font.h"
#include "platform/gui/presparam.h"
#include "platform/gui/ps.h"
#include "platform/runtime/array.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"
#include "platform/runtime/report_once.h"

#include <QImageReader>

#include <list>
#include <map>
#include <optional>

namespace browse {

namespace {

using G = RK_XbpOwnerDrawBrowseGeneric;

constexpr double kLineHeight = 17.5;
constexpr double kCellHeight = 20;

// Decoded pictures by file and size; the least recently used goes first.
class PictureCache {
public:
    // The picture scaled to `size` (the file's own size when empty); a null
    // image when the file cannot be read.
    const QImage& get(const QString& path, QSize size)
    {
        const Key key{path, size.width(), size.height()};
        if (auto it = index_.find(key); it != index_.end()) {
            order_.splice(order_.begin(), order_, it->second);
            return it->second->second;
        }
        QImage img;
        if (size.isEmpty()) {
            QImageReader reader(path);
            img = reader.read();
            ++decoded_;
        } else {
            img = get(path, {});
            if (!img.isNull())
                img = img.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        order_.emplace_front(key, std::move(img));
        index_[key] = order_.begin();
        while (order_.size() > kPictureCacheSize) {
            index_.erase(order_.back().first);
            order_.pop_back();
        }
        return order_.front().second;
    }
    [[nodiscard]] std::size_t decoded() const noexcept { return decoded_; }

private:
    struct Key {
        QString path;
        int w, h;
        bool operator<(const Key& o) const { return std::tie(path, w, h) < std::tie(o.path, o.w, o.h); }
    };
    std::list<std::pair<Key, QImage>> order_;
    std::map<Key, std::list<std::pair<Key, QImage>>::iterator> index_;
    std::size_t decoded_ = 0;
};

PictureCache& pictures()
{
    static PictureCache cache;
    return cache;
}

enum class LineKind { Text, Bitmap, Icon };

LineKind kindOf(const rt::Value& caption)
{
    if (!caption.isChar())
        return LineKind::Text;
    const std::string upper = rt::upper(rt::alltrim(caption.asString()));
    const auto ends = [&upper](const char* ext) { return upper.size() > 4 && upper.ends_with(ext); };
    if (ends(".ICO"))
        return LineKind::Icon;
    if (ends(".BMP") || ends(".JPG") || ends(".PNG") || ends(".GIF"))
        return LineKind::Bitmap;
    return LineKind::Text;
}

rt::Value colourOf(const rt::Value& v)
{
    if (v.isArray())
        return rt::Value(gui::colorNumber(v));
    return v.isNum() ? v : rt::Value();
}

double num(const rt::Value& v, double def) { return v.isNum() ? v.asDouble() : def; }

// The alignment of a column's cells: pair 10 or 110, else 4.
int alignmentOf(const rt::Value& column)
{
    const rt::Value a = cellAlignment(column, gui::align::VCenter);
    return a.isNum() ? int(a.asInt()) : gui::align::VCenter;
}

// One cell's geometry and state while its lines are drawn.
struct CellPaint {
    gui::XbpPS& ps;
    double x1, y1, x2, y2;
    double lineHeight;
    bool selected;
};

void paintLineEntry(G& b, CellPaint& c, const rt::Array& line, int i)
{
    const rt::Value& caption = line.items[0];
    const double x = num(line.items[1], c.x1 + 5);
    double startY = line.items[2].isNum() ? c.y2 - line.items[2].asDouble() : c.y2 - c.lineHeight * (i - 1) - 5;
    rt::Value font = line.items[5];
    if (c.selected && !rt::isEmpty(line.items[6]))
        font = line.items[6];
    const rt::Value fg = colourOf(line.items[7]);
    const rt::Value bg = colourOf(line.items[8]);
    const int align = line.items[9].isNum() ? int(line.items[9].asInt()) : 0;

    const QFont before = c.ps.font();
    c.ps.setFont(font.isChar() && !rt::isEmpty(font) ? font : b.stdFontCompoundName);
    if (fg.isNum() || bg.isNum())
        c.ps.setColor(fg, bg);

    const LineKind kind = kindOf(caption);
    if (kind == LineKind::Text) {
        const QString text = QString::fromStdString(caption.isChar() ? caption.str() : rt::var2char(caption));
        const double right = line.items[3].isNum() ? x + line.items[3].asDouble() : c.x2;
        const gui::TextBox box = gui::graQueryTextBox(c.ps, QStringLiteral("Wxxxx"));
        const double h = line.items[4].isNum() ? line.items[4].asDouble() : box.topLeft.y() - box.bottomLeft.y();
        gui::graCaptionStr(c.ps, QPointF(x, startY - h), QPointF(right, startY), text, align);
    } else {
        const QString path = QString::fromStdString(rt::alltrim(caption.asString()));
        const bool icon = kind == LineKind::Icon;
        const double w = num(line.items[3], -1), h = num(line.items[4], -1);
        QSize want = w > 0 && h > 0 ? QSize(int(w), int(h)) : QSize();
        if (icon && want.isEmpty())
            want = QSize(int(c.lineHeight), int(c.lineHeight));
        const QImage& img = pictures().get(path, want);
        if (!img.isNull()) {
            const double right = w > 0 ? x + w : x + img.width();
            double endY;
            if (h > 0) {
                startY -= h;
                endY = startY + h;
            } else {
                endY = icon ? c.y2 - c.lineHeight * i : startY - img.height();
            }
            gui::drawImage(c.ps, img, {x, startY, right, endY});
        }
    }
    c.ps.setQFont(before);
    if (fg.isNum() || bg.isNum())
        c.ps.setColor(fg, bg);
}

}  // namespace

std::size_t picturesDecoded() noexcept { return pictures().decoded(); }

const rt::ClassInfo& G::staticClass()
{
    static const rt::ClassInfo cls = [] {
        rt::ClassInfo c("RK_XbpOwnerDrawBrowseGeneric", {&RK_XbpBrowse::staticClass()});
        for (auto [name, m] : {std::pair{"lOwnerDraw", &G::lOwnerDraw},
                               {"nLineHeight", &G::nLineHeight},
                               {"nCellHeight", &G::nCellHeight},
                               {"stdFontCompoundName", &G::stdFontCompoundName},
                               {"boldFontCompoundName", &G::boldFontCompoundName},
                               {"boldItalicFontCompoundName", &G::boldItalicFontCompoundName}})
            c.field<G>(name, m);
        c.method<G>("init", [](G& o, rt::Args a) { return o.init(a); });
        c.method<G>("create", [](G& o, rt::Args a) { return o.create(a); });
        c.method<G>("CustomDrawCell",
                    [](G& o, rt::Args a) { return o.CustomDrawCell(rt::argAt(a, 0), rt::argAt(a, 1)); });
        return c;
    }();
    return cls;
}

const rt::ClassInfo& G::classInfo() const { return staticClass(); }

rt::Value G::init(rt::Args a)
{
    drawMode = 1;
    oIcon = (new gui::XbpIcon())->self();
    oBitmap = (new gui::XbpBitmap())->self();
    nLineHeight = kLineHeight;
    nCellHeight = kCellHeight;
    lOwnerDraw = true;
    aLineAttrs = rt::makeArray({1, {}, {}, 0});
    aBoxAttrs = rt::Value::array(5);
    stdFontCompoundName = "10.Tahoma";
    boldFontCompoundName = "10.Tahoma Bold";
    boldItalicFontCompoundName = "10.Tahoma Bold Italic";
    const rt::Value r = RK_XbpBrowse::init(a);
    drawMode = 1;  // the browse's own settings must not turn it off
    return r;
}

rt::Value G::create(rt::Args a)
{
    const auto font = [](const rt::Value& name) {
        auto* f = new gui::XbpFont(name.isChar() ? gui::fontFromCompoundName(name.asString()) : QFont());
        return f->self();
    };
    oStdFont = font(stdFontCompoundName);
    oBoldFont = font(boldFontCompoundName);
    oBoldItalicFont = font(boldItalicFontCompoundName);
    oSelectedFont = oBoldItalicFont;
    oFont = font({});
    RK_XbpBrowse::create(a);
    const rt::Value given = rt::argAt(a, 4);
    const rt::Value& pres = given.isArray() && !rt::isEmpty(given) ? given : presParams;
    if (const rt::Value* v = gui::presFind(pres, gui::pp::DaCellHeight); v && v->isNum())
        nCellHeight = *v;
    return self();
}

rt::Value G::CustomDrawCell(const rt::Value& oPS, const rt::Value& aInfo)
{
    if (!rt::isTrue(lOwnerDraw))
        return true;
    gui::XbpPS* ps = gui::asPS(oPS);
    if (!ps || !aInfo.isArray() || aInfo.asArray().size() < 6)
        return false;
    const auto& info = aInfo.asArray().items;
    rt::runReportingOnce([&] {
        const rt::Value column = info[5];
        const gui::XbpColumn* col = gui::asColumn(column);
        const gui::XbpCellGroup* area = col ? col->dataGroup() : nullptr;
        const rt::Value data = area && info[0].isNum() ? area->cellValue(int(info[0].asInt())) : rt::Value();
        const auto& r = info[3].asArray().items;
        CellPaint c{*ps, r[0].asDouble(), r[1].asDouble(), r[2].asDouble(), r[3].asDouble(), 0,
                    info[2].isNum() && (info[2].asInt() & 1)};
        const double ratio = num(nCellHeight, kCellHeight) / num(nLineHeight, kLineHeight);
        c.lineHeight = (c.y2 - c.y1) / (ratio > 0 ? ratio : 1);
        if (data.isChar()) {
            gui::graCaptionStr(*ps, QPointF(c.x1, c.y1), QPointF(c.x2, c.y2),
                               QString::fromUtf8(data.asString().data(), qsizetype(data.asString().size())),
                               alignmentOf(column));
            return;
        }
        if (!data.isArray())
            return;
        int i = 0;
        for (const rt::Value& entry : data.asArray().items) {
            ++i;
            if (!entry.isArray())
                continue;
            entry.asArray().items.resize(std::max<std::size_t>(entry.asArray().size(), 10));
            paintLineEntry(*this, c, entry.asArray(), i);
        }
    }, drawFailing_);
    return false;
}

void registerOwnerDrawBrowse() { rt::registerClass<RK_XbpOwnerDrawBrowseGeneric>(); }

}  // namespace browse
