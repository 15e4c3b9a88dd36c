#include "platform/gui/font.h"

#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <cmath>

namespace gui {

namespace {
// Common faces of the source platform and what we draw them with.
struct Substitute {
    const char* face;
    const char* family;
};
constexpr Substitute kSubstitutes[] = {
    {"Tahoma", "DejaVu Sans"},          {"Arial", "DejaVu Sans"},
    {"Verdana", "DejaVu Sans"},         {"MS Sans Serif", "DejaVu Sans"},
    {"Microsoft Sans Serif", "DejaVu Sans"}, {"Segoe UI", "DejaVu Sans"},
    {"Helv", "DejaVu Sans"},            {"Helvetica", "DejaVu Sans"},
    {"System", "DejaVu Sans"},          {"Calibri", "DejaVu Sans"},
    {"Arial Narrow", "DejaVu Sans Condensed"},
    {"Times New Roman", "DejaVu Serif"}, {"Times", "DejaVu Serif"},
    {"Georgia", "DejaVu Serif"},        {"MS Serif", "DejaVu Serif"},
    {"Courier New", "DejaVu Sans Mono"}, {"Courier", "DejaVu Sans Mono"},
    {"Lucida Console", "DejaVu Sans Mono"}, {"Consolas", "DejaVu Sans Mono"},
    {"Fixedsys", "DejaVu Sans Mono"},   {"Terminal", "DejaVu Sans Mono"},
};
constexpr const char* kFallbackFamily = "DejaVu Sans";

struct SymbolGlyph {
    char16_t letter;
    char16_t symbol;
};
// Marlett's window-control glyphs, as far as we draw them.
constexpr SymbolGlyph kMarlett[] = {
    {u'0', u'\u2581'},  // minimise bar
    {u'1', u'\u25A1'},  // maximise box
    {u'3', u'\u25C0'},  // left triangle
    {u'4', u'\u25B6'},  // right triangle
    {u'5', u'\u25B2'},  // up triangle
    {u'6', u'\u25BC'},  // down triangle
    {u'7', u'\u25C2'},  // small left triangle
    {u'8', u'\u25B8'},  // small right triangle
    {u'a', u'\u2713'},  // check mark
    {u'b', u'\u2022'},  // bullet
    {u'h', u'\u25C6'},  // diamond
    {u'n', u'\u25CF'},  // radio dot
    {u'r', u'\u2715'},  // close cross
    {u't', u'\u25B2'},  // up triangle
    {u'u', u'\u25BC'},  // down triangle
};
constexpr const char* kSymbolFaces[] = {"Marlett"};

bool familyInstalled(const QString& family)
{
    static const QStringList families = QFontDatabase::families();
    return families.contains(family, Qt::CaseInsensitive);
}

QString resolveFamily(const QString& face)
{
    if (face.isEmpty())
        return QGuiApplication::font().family();
    for (const char* s : kSymbolFaces)
        if (face.compare(QLatin1String(s), Qt::CaseInsensitive) == 0)
            return QLatin1String(s);
    if (familyInstalled(face))
        return face;
    for (const Substitute& s : kSubstitutes)
        if (face.compare(QLatin1String(s.face), Qt::CaseInsensitive) == 0 && familyInstalled(QLatin1String(s.family)))
            return QLatin1String(s.family);
    return QLatin1String(kFallbackFamily);
}

bool endsWithWord(std::string& s, std::string_view word)
{
    if (s.size() < word.size() + 1)
        return false;
    const std::string_view tail = std::string_view(s).substr(s.size() - word.size());
    if (!rt::sameNameNoCase(tail, word) || s[s.size() - word.size() - 1] != ' ')
        return false;
    s.erase(s.size() - word.size() - 1);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return true;
}

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
}  // namespace

CompoundName parseCompoundName(std::string_view name)
{
    CompoundName out;
    std::string rest = rt::alltrim(name);
    // "<points>." prefix; a face may itself contain periods after it.
    std::size_t i = 0;
    while (i < rest.size() && (std::isdigit(static_cast<unsigned char>(rest[i])) || rest[i] == ','))
        ++i;
    if (i > 0 && i < rest.size() && rest[i] == '.') {
        std::string digits = rest.substr(0, i);
        std::replace(digits.begin(), digits.end(), ',', '.');
        out.points = std::clamp(std::atof(digits.c_str()), 0.0, 500.0);
        rest.erase(0, i + 1);
    }
    rest = rt::alltrim(rest);
    for (bool found = true; found;) {
        found = false;
        for (std::string_view w : {"Bold", "Italic", "Underline", "Underscore", "Strikeout", "Normal"}) {
            if (endsWithWord(rest, w)) {
                found = true;
                if (w == "Bold")
                    out.bold = true;
                else if (w == "Italic")
                    out.italic = true;
                else if (w == "Underline" || w == "Underscore")
                    out.underline = true;
                else if (w == "Strikeout")
                    out.strikeOut = true;
            }
        }
    }
    out.face = rest;
    return out;
}

QFont fontFromCompoundName(std::string_view name)
{
    const CompoundName c = parseCompoundName(name);
    QFont f = QGuiApplication::font();
    f.setFamilies({resolveFamily(qstr(c.face))});
    if (c.points > 0)
        f.setPointSizeF(c.points);
    f.setBold(c.bold);
    f.setItalic(c.italic);
    f.setUnderline(c.underline);
    f.setStrikeOut(c.strikeOut);
    return f;
}

std::string compoundNameOf(const QFont& f)
{
    const double pt = f.pointSizeF() > 0 ? f.pointSizeF() : QGuiApplication::font().pointSizeF();
    std::string out;
    if (pt == std::floor(pt))
        out = std::to_string(static_cast<int>(pt));
    else
        out = QString::number(pt, 'g', 4).toStdString();
    out += '.';
    out += f.family().toStdString();
    if (f.bold())
        out += " Bold";
    if (f.italic())
        out += " Italic";
    if (f.underline())
        out += " Underline";
    if (f.strikeOut())
        out += " Strikeout";
    return out;
}

bool isSymbolFont(const QFont& f)
{
    for (const char* s : kSymbolFaces)
        if (f.family().compare(QLatin1String(s), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString mapSymbolText(const QFont& f, const QString& text)
{
    if (!isSymbolFont(f))
        return text;
    QString out = text;
    for (QChar& ch : out)
        for (const SymbolGlyph& g : kMarlett)
            if (ch.unicode() == g.letter) {
                ch = QChar(g.symbol);
                break;
            }
    return out;
}

QFont drawingFont(const QFont& f)
{
    if (!isSymbolFont(f))
        return f;
    QFont d = f;
    d.setFamilies({QLatin1String(kFallbackFamily)});
    return d;
}

// --- XbpFont

namespace {
rt::ClassInfo makeFontClass()
{
    rt::ClassInfo c("XbpFont");
    using F = XbpFont;
    c.method<F>("init", [](F& o, rt::Args a) { return o.init(a); });
    c.method<F>("create", [](F& o, rt::Args a) { return o.create(a); });
    c.method<F>("configure", [](F& o, rt::Args a) { return o.configure(a); });
    c.method<F>("destroy", [](F& o, rt::Args) { return o.destroy(); });
    c.method<F>("status", [](F& o, rt::Args) { return o.status; });
    c.addVar("compoundName", [](rt::Object& o) { return rt::Value(compoundNameOf(static_cast<F&>(o).font())); },
             [](rt::Object& o, const rt::Value& v) {
                 if (v.isChar())
                     static_cast<F&>(o).setFont(fontFromCompoundName(v.asString()));
             });
    auto ro = [&c](const char* name, rt::Value (*get)(const QFont&)) {
        c.addVar(name, [get](rt::Object& o) { return get(static_cast<F&>(o).font()); });
    };
    ro("familyName", [](const QFont& f) { return rt::Value(f.family().toStdString()); });
    ro("nominalPointSize", [](const QFont& f) { return rt::Value(f.pointSizeF()); });
    ro("bold", [](const QFont& f) { return rt::Value(f.bold()); });
    ro("italic", [](const QFont& f) { return rt::Value(f.italic()); });
    ro("underscore", [](const QFont& f) { return rt::Value(f.underline()); });
    ro("strikeOut", [](const QFont& f) { return rt::Value(f.strikeOut()); });
    ro("fixed", [](const QFont& f) { return rt::Value(QFontInfo(drawingFont(f)).fixedPitch()); });
    ro("height", [](const QFont& f) { return rt::Value(int(std::ceil(QFontMetricsF(drawingFont(f)).height()))); });
    ro("width", [](const QFont& f) {
        return rt::Value(int(std::ceil(QFontMetricsF(drawingFont(f)).averageCharWidth())));
    });
    ro("baseLine", [](const QFont& f) { return rt::Value(int(std::ceil(QFontMetricsF(drawingFont(f)).descent()))); });
    return c;
}
}  // namespace

XbpFont::XbpFont() : font_(QGuiApplication::font()) {}

XbpFont::XbpFont(const QFont& f) : status(1), font_(f) {}

const rt::ClassInfo& XbpFont::staticClass()
{
    static const rt::ClassInfo cls = makeFontClass();
    return cls;
}

const rt::ClassInfo& XbpFont::classInfo() const { return staticClass(); }

rt::Value XbpFont::init(rt::Args a)
{
    ps = rt::argAt(a, 0);
    return self();
}

rt::Value XbpFont::create(rt::Args a)
{
    const rt::Value& name = rt::argAt(a, 0);
    if (!name.isNil() && !name.isChar())
        rt::raiseArg("XbpFont:create", a);
    if (name.isChar())
        setFont(fontFromCompoundName(name.asString()));
    status = 1;
    return self();
}

rt::Value XbpFont::configure(rt::Args a) { return create(a); }

rt::Value XbpFont::destroy()
{
    status = 0;
    return self();
}

void XbpFont::setFont(const QFont& f)
{
    font_ = f;
    compoundName = rt::Value(compoundNameOf(f));
}

XbpFont* asFont(const rt::Value& v) { return v.isObject() ? dynamic_cast<XbpFont*>(&v.asObject()) : nullptr; }

std::optional<QFont> fontOf(const rt::Value& v)
{
    if (const XbpFont* f = asFont(v))
        return f->font();
    if (v.isChar() && !rt::alltrim(v.asString()).empty())
        return fontFromCompoundName(v.asString());
    return std::nullopt;
}

}  // namespace gui
