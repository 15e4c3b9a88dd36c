// Fonts, colour numbers, presentation lists, presentation spaces, the
// graphics functions and pictures, checked on drawn pixels.
#include "platform/gui/bitmap.h"
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/gui/font.h"
#include "platform/gui/functions.h"
#include "platform/gui/presparam.h"
#include "platform/gui/ps.h"
#include "platform/gui/static.h"
#include "platform/runtime/array.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

namespace {

using rt::Value;

bool isDark(QRgb c) { return qGray(c) < 128; }

// Rows (device, top-down) holding a dark pixel.
std::pair<int, int> darkRows(const QImage& img)
{
    int first = -1, last = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (isDark(img.pixel(x, y))) {
                if (first < 0)
                    first = y;
                last = y;
                break;
            }
    return {first, last};
}

// Width of the dark run on row y.
int darkWidth(const QImage& img, int y)
{
    int n = 0;
    for (int x = 0; x < img.width(); ++x)
        n += isDark(img.pixel(x, y));
    return n;
}

QImage whiteImage(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    return img;
}

// An 8 x 6 GIF of colour (200, 0, 0): Qt reads GIF but does not write it.
constexpr unsigned char kRedGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x08, 0x00, 0x06, 0x00, 0xf0, 0x00, 0x00, 0xc8, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00,
    0x08, 0x00, 0x06, 0x00, 0x00, 0x02, 0x06, 0x84, 0x8f, 0xa9, 0xcb, 0x7d, 0x05, 0x00, 0x3b};

QString scratchDir()
{
    static QTemporaryDir fallback;
    const char* env = std::getenv("DXC_TEST_TMP");
    QString dir = env && *env ? QString::fromLocal8Bit(env) + "/guibase" : fallback.path();
    QDir().mkpath(dir);
    return dir;
}

// --- compound font names

struct FontCase {
    const char* name;
    const char* compound;
    double points;  // 0: the application's size
    const char* family;
    bool bold, italic, underline;
};
void PrintTo(const FontCase& c, std::ostream* os) { *os << c.name; }

class CompoundNames : public ::testing::TestWithParam<FontCase> {};

TEST_P(CompoundNames, MapToInstalledFonts)
{
    const FontCase& c = GetParam();
    const QFont f = gui::fontFromCompoundName(c.compound);
    EXPECT_DOUBLE_EQ(f.pointSizeF(), c.points > 0 ? c.points : QGuiApplication::font().pointSizeF());
    EXPECT_EQ(QFontInfo(f).family(), QString(c.family));
    EXPECT_EQ(f.bold(), c.bold);
    EXPECT_EQ(f.italic(), c.italic);
    EXPECT_EQ(f.underline(), c.underline);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompoundNames,
    ::testing::Values(FontCase{"TahomaBoldItalic", "10.Tahoma Bold Italic", 10, "DejaVu Sans", true, true, false},
                      FontCase{"Arial", "8.Arial", 8, "DejaVu Sans", false, false, false},
                      FontCase{"CourierNew", "12.Courier New", 12, "DejaVu Sans Mono", false, false, false},
                      FontCase{"TimesItalic", "11.Times New Roman italic", 11, "DejaVu Serif", false, true, false},
                      FontCase{"UnknownFaceFallsBack", "9.No Such Face Underline", 9, "DejaVu Sans", false, false, true},
                      FontCase{"InstalledFaceKept", "10.DejaVu Sans Mono Bold", 10, "DejaVu Sans Mono", true, false, false},
                      FontCase{"NoSize", "DejaVu Serif", 0, "DejaVu Serif", false, false, false},
                      FontCase{"Empty", "", 0, "DejaVu Sans", false, false, false},
                      FontCase{"Garbage", "..  .", 0, "DejaVu Sans", false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Fonts, CompoundNameRoundTrips)
{
    const QFont f = gui::fontFromCompoundName("10.Tahoma Bold Italic");
    EXPECT_EQ(gui::compoundNameOf(f), "10.DejaVu Sans Bold Italic");
    EXPECT_EQ(gui::compoundNameOf(gui::fontFromCompoundName(gui::compoundNameOf(f))), gui::compoundNameOf(f));
}

TEST(Fonts, XbpFontCreateFromCompiledText)
{
    gui::registerGuiFunctions();
    const Value f = rt::evalText("XbpFont():new():create('12.Arial Bold')");
    EXPECT_EQ(rt::getMember(f, "nominalPointSize").asInt(), 12);
    EXPECT_TRUE(rt::getMember(f, "bold").asBool());
    EXPECT_GT(rt::getMember(f, "height").asInt(), 12);
    EXPECT_THROW(rt::evalText("XbpFont():new():create(12)"), rt::Error);
}

TEST(Fonts, MarlettLettersBecomeTriangles)
{
    const QFont marlett = gui::fontFromCompoundName("12.Marlett");
    EXPECT_TRUE(gui::isSymbolFont(marlett));
    EXPECT_EQ(gui::mapSymbolText(marlett, "t"), QString::fromUtf8("▲"));
    EXPECT_EQ(gui::mapSymbolText(marlett, "u"), QString::fromUtf8("▼"));
    EXPECT_EQ(gui::mapSymbolText(gui::fontFromCompoundName("12.Arial"), "tu"), QString("tu"));
}

// The sort marker: a 12 x 12 text static in "12.Marlett".
TEST(Fonts, SortArrowStaticDrawsUpAndDownTriangles)
{
    gui::registerGuiFunctions();
    const Value st = rt::evalText("XbpStatic():new(NIL, NIL, {0, 0}, {12, 12})");
    rt::setMember(st, "type", 1);
    rt::setMember(st, "caption", "t");
    rt::sendWith(st, "create");
    rt::sendWith(st, "setFontCompoundName", "12.Marlett");
    rt::sendWith(st, "setColorBG", gui::clr::White);
    rt::sendWith(st, "setColorFG", gui::clr::Neutral);
    QWidget* w = gui::asPart(st)->widget();
    auto shape = [&] {
        const QImage img = w->grab().toImage();
        const auto [top, bottom] = darkRows(img);
        EXPECT_GE(top, 0) << "something is drawn";
        EXPECT_GT(bottom - top, 3);
        return std::pair(darkWidth(img, top + 1), darkWidth(img, bottom - 1));
    };
    const auto [upTop, upBottom] = shape();
    EXPECT_LT(upTop, upBottom) << "\"t\": narrow at the top";
    rt::setMember(st, "caption", "u");
    const auto [downTop, downBottom] = shape();
    EXPECT_GT(downTop, downBottom) << "\"u\": narrow at the bottom";
    rt::sendWith(st, "destroy");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    gui::clearAppEvents();
}

// --- colours

TEST(Colors, RgbNumbersAreApartFromNamedOnes)
{
    gui::registerGuiFunctions();
    const long long black = rt::evalText("GraMakeRGBColor({0, 0, 0})").asInt();
    EXPECT_EQ(black, gui::kRgbBase);
    EXPECT_FALSE(gui::isNamedColor(black));
    EXPECT_EQ(gui::toQColor(black), QColor(0, 0, 0));
    EXPECT_EQ(gui::toQColor(gui::makeRgbColor(10, 20, 30)), QColor(10, 20, 30));
    EXPECT_EQ(gui::toQColor(gui::makeRgbColor(300, -5, 255)), QColor(255, 0, 255)) << "components clamp";
    EXPECT_EQ(gui::toQColor(gui::clr::Red), QColor(Qt::red));
    EXPECT_EQ(gui::toQColor(gui::clr::Background), QColor(Qt::white));
    EXPECT_EQ(gui::toQColor(gui::clr::Default, Qt::green), QColor(Qt::green));
    EXPECT_EQ(gui::toQColor(12345, Qt::green), QColor(Qt::green)) << "not a colour number";
    EXPECT_EQ(gui::toQColor(gui::clr::SysHighlightText), QGuiApplication::palette().color(QPalette::HighlightedText));
    EXPECT_FALSE(gui::colorOf(Value()).has_value());
    EXPECT_FALSE(gui::colorOf(-1).has_value());
    EXPECT_EQ(*gui::colorOf(rt::makeArray({255, 0, 0})), QColor(Qt::red));
    EXPECT_THROW(rt::evalText("GraMakeRGBColor({1, 2})"), rt::Error);
}

// --- presentation lists

TEST(PresParams, MergeReplacesFirstPairOrAppendsACopy)
{
    Value target = rt::makeArray({rt::makeArray({7, 9})});
    const Value source = rt::makeArray({rt::makeArray({5, 1}), rt::makeArray({7, 2})});
    gui::presMerge(target, source);
    ASSERT_EQ(target.asArray().size(), 2u);
    EXPECT_EQ(gui::presGet(target, 7).asInt(), 2);
    EXPECT_EQ(target.asArray().at1(2).asArray().at1(1).asInt(), 5);
    EXPECT_NE(target.asArray().at1(2).cell(), source.asArray().at1(1).cell()) << "appended pairs are copies";
}

TEST(PresParams, ReadersSkipMalformedEntries)
{
    const Value list = rt::makeArray({5, rt::makeArray({"x", 1}), rt::makeArray({110}),
                                      rt::makeArray({110, 6}), rt::makeArray({110, 2}),
                                      rt::makeArray({105, "8.Arial Bold"}), rt::makeArray({102, rt::makeArray({0, 0, 255})})});
    EXPECT_EQ(gui::presGet(list, 110).asInt(), 6) << "the first pair wins";
    EXPECT_EQ(gui::presGet(list, 999, "d").str(), "d");
    EXPECT_EQ(gui::presGet(Value("not a list"), 110, 4).asInt(), 4);
    EXPECT_EQ(gui::presGetAny(list, {10, 110}).asInt(), 6);
    EXPECT_TRUE(gui::presFont(list, gui::pp::DaCompoundName)->bold());
    EXPECT_EQ(*gui::presColor(list, gui::pp::DaBgClr), QColor(Qt::blue));
    EXPECT_FALSE(gui::presInt(list, gui::pp::DaCompoundName).has_value());
    EXPECT_STREQ(gui::presParamInfo(gui::pp::HaCaption)->name, "HaCaption");
    EXPECT_EQ(gui::presParamInfo(111), nullptr);
}

// --- presentation space and graphics functions

class Graphics : public ::testing::Test {
protected:
    void SetUp() override { gui::registerGuiFunctions(); }
};

TEST_F(Graphics, QueryTextBoxGeometry)
{
    QImage img = whiteImage(10, 10);
    gui::ImagePS ips(img);
    ips.ps().setFont(Value("12.Arial"));
    const Value box = rt::callWith("GraQueryTextBox", ips.value(), "Wxxxx");
    ASSERT_EQ(box.asArray().size(), 5u);
    auto pt = [&](int i, int c) { return box.asArray().at1(i).asArray().at1(c).asInt(); };
    EXPECT_EQ(pt(1, 1), 0);
    EXPECT_EQ(pt(2, 1), 0);
    EXPECT_EQ(pt(3, 1), pt(4, 1)) << "right edge";
    EXPECT_GT(pt(3, 1), 30);
    EXPECT_EQ(pt(1, 2), pt(3, 2)) << "top";
    EXPECT_EQ(pt(2, 2), pt(4, 2)) << "bottom";
    EXPECT_GT(pt(1, 2), 0);
    EXPECT_LT(pt(2, 2), 0) << "descent below the base line";
    const QFontMetricsF fm(gui::fontFromCompoundName("12.Arial"), &img);
    EXPECT_NEAR(pt(1, 2) - pt(2, 2), fm.height(), 2.0);
    EXPECT_EQ(pt(5, 1), pt(3, 1));
    EXPECT_EQ(pt(5, 2), 0);
    const Value empty = rt::callWith("GraQueryTextBox", ips.value(), "");
    EXPECT_EQ(empty.asArray().at1(3).asArray().at1(1).asInt(), 0);
}

TEST_F(Graphics, StringAtDrawsAboveTheBaseLineCountedFromTheBottom)
{
    QImage img = whiteImage(100, 60);
    {
        gui::ImagePS ips(img);
        rt::callWith("GraSetFont", ips.value(), "14.Arial");
        rt::callWith("GraSetColor", ips.value(), gui::clr::Neutral, Value());
        EXPECT_TRUE(rt::callWith("GraStringAt", ips.value(), gui::pairValue(10, 20), "HX").asBool());
    }
    const auto [top, bottom] = darkRows(img);
    EXPECT_GE(bottom, 60 - 20 - 2);
    EXPECT_LE(bottom, 60 - 20 - 1) << "capitals end on the base line, y 20 from the bottom";
    EXPECT_GT(top, 10);
    EXPECT_FALSE(isDark(img.pixel(5, 30))) << "nothing left of x 10";
}

TEST_F(Graphics, SetColorAndAttrStringChooseTheTextColour)
{
    QImage img = whiteImage(80, 40);
    {
        gui::ImagePS ips(img);
        rt::callWith("GraSetFont", ips.value(), "20.Arial Bold");
        const Value previous = rt::callWith("GraSetColor", ips.value(), gui::clr::Red, Value());
        EXPECT_EQ(previous.asArray().at1(1).asInt(), -1);
        const Value attrs = Value::array(12);
        attrs.asArray().at1(1) = gui::makeRgbColor(0, 0, 255);
        const Value saved = rt::callWith("SetAttrString", ips.value(), attrs);
        rt::callWith("GraStringAt", ips.value(), gui::pairValue(2, 8), "I");
        rt::callWith("SetAttrString", ips.value(), saved);
        rt::callWith("GraStringAt", ips.value(), gui::pairValue(40, 8), "I");
    }
    auto found = [&](int x0, int x1, QColor c) {
        for (int y = 0; y < img.height(); ++y)
            for (int x = x0; x < x1; ++x)
                if (const QColor p = img.pixelColor(x, y);
                    std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) + std::abs(p.blue() - c.blue()) < 40)
                    return true;
        return false;
    };
    EXPECT_TRUE(found(0, 38, Qt::blue));
    EXPECT_FALSE(found(0, 38, Qt::red));
    EXPECT_TRUE(found(40, 80, Qt::red)) << "the previous attributes are back";
}

TEST_F(Graphics, CaptionStrAlignsInsideTheRectangle)
{
    QImage img = whiteImage(200, 40);
    {
        gui::ImagePS ips(img);
        rt::callWith("GraSetFont", ips.value(), "10.Arial");
        rt::callWith("GraCaptionStr", ips.value(), gui::pairValue(0, 0), gui::pairValue(200, 40), "ab",
                     gui::align::Right | gui::align::Bottom);
    }
    int minX = 200;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (isDark(img.pixel(x, y)))
                minX = std::min(minX, x);
    EXPECT_GT(minX, 170);
    EXPECT_GT(darkRows(img).first, 20) << "bottom half";
}

TEST_F(Graphics, DrawingWithoutADeviceIsRefusedQuietly)
{
    const Value ps = rt::evalText("XbpPresSpace():new()");
    EXPECT_FALSE(rt::callWith("GraStringAt", ps, gui::pairValue(0, 0), "x").asBool());
    EXPECT_THROW(rt::callWith("GraStringAt", Value(), gui::pairValue(0, 0), "x"), rt::Error);
    EXPECT_THROW(rt::callWith("GraStringAt", ps, 5, "x"), rt::Error);
}

TEST_F(Graphics, BoxCornersAreInclusivePixels)
{
    QImage img = whiteImage(20, 20);
    {
        gui::ImagePS ips(img);
        rt::callWith("GraSetColor", ips.value(), gui::clr::Neutral, Value());
        rt::callWith("GraBox", ips.value(), gui::pairValue(2, 3), gui::pairValue(5, 7), gui::gra_fill::Fill);
    }
    // Platform rows 3..7 are device rows 12..16.
    EXPECT_TRUE(isDark(img.pixel(2, 16)));
    EXPECT_TRUE(isDark(img.pixel(5, 12)));
    EXPECT_FALSE(isDark(img.pixel(6, 12)));
    EXPECT_FALSE(isDark(img.pixel(2, 17)));
    EXPECT_FALSE(isDark(img.pixel(2, 11)));
}

// --- pictures

struct PictureCase {
    const char* name;
    const char* suffix;
    const char* format;
    bool icon;
};
void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }

class Pictures : public ::testing::TestWithParam<PictureCase> {
protected:
    void SetUp() override { gui::registerGuiFunctions(); }
};

TEST_P(Pictures, LoadFileAndDrawScaled)
{
    const PictureCase& c = GetParam();
    QImage src(8, 6, QImage::Format_RGB32);
    src.fill(QColor(200, 0, 0));
    const QString path = scratchDir() + "/pic_" + c.name + "." + c.suffix;
    if (std::string_view(c.format) == "GIF") {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(kRedGif), sizeof kRedGif);
    } else {
        ASSERT_TRUE(src.save(path, c.format)) << path.toStdString();
    }

    const Value pic = gui::newObject(c.icon ? "XbpIcon" : "XbpBitmap", {});
    rt::sendWith(pic, "create");
    EXPECT_TRUE(rt::sendWith(pic, "loadFile", path.toStdString()).asBool());
    EXPECT_EQ(rt::getMember(pic, "xSize").asInt(), 8);
    EXPECT_EQ(rt::getMember(pic, "ySize").asInt(), 6);

    QImage img = whiteImage(40, 40);
    {
        gui::ImagePS ips(img);
        const Value target = rt::makeArray({10, 10, 30, 30});
        if (c.icon)
            rt::sendWith(pic, "draw", ips.value(), target, 1);
        else
            rt::sendWith(pic, "draw", ips.value(), target, rt::makeArray({0, 0, 8, 6}), gui::rop::SrcCopy, 1);
    }
    const QColor inside = img.pixelColor(20, 20);
    EXPECT_GT(inside.red(), 150);
    EXPECT_LT(inside.green(), 60) << "scaled over the whole target";
    EXPECT_EQ(img.pixelColor(12, 28).red() > 150, true) << "target corner";
    EXPECT_EQ(img.pixelColor(5, 5), QColor(Qt::white)) << "outside the target";
}

INSTANTIATE_TEST_SUITE_P(Table, Pictures,
                         ::testing::Values(PictureCase{"png", "png", "PNG", false},
                                           PictureCase{"bmp", "bmp", "BMP", false},
                                           PictureCase{"jpg", "jpg", "JPG", false},
                                           PictureCase{"gif", "gif", "GIF", false},
                                           PictureCase{"ico", "ico", "ICO", true},
                                           PictureCase{"png_named_jpg", "jpg", "PNG", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pictures, IconLoadFileScalesToTheAskedSize)
{
    QImage src(32, 32, QImage::Format_ARGB32);
    src.fill(Qt::green);
    const QString path = scratchDir() + "/sized.ico";
    ASSERT_TRUE(src.save(path, "ICO"));
    const Value icon = gui::newObject("XbpIcon", {});
    rt::sendWith(icon, "loadFile", path.toStdString(), 17.5, 17.5);
    EXPECT_EQ(rt::getMember(icon, "xSize").asInt(), 17);
}

TEST_F(Pictures, MissingOrCorruptFilesGiveAClearError)
{
    const Value bmp = gui::newObject("XbpBitmap", {});
    const QString missing = scratchDir() + "/no_such_file.png";
    try {
        rt::sendWith(bmp, "loadFile", missing.toStdString());
        FAIL() << "no error";
    } catch (const rt::Error& e) {
        EXPECT_NE(e.description.find("file not found"), std::string::npos) << e.message();
        EXPECT_EQ(e.filename, missing.toStdString());
        EXPECT_EQ(e.operation, "XbpBitmap:loadFile");
    }
    const QString corrupt = scratchDir() + "/corrupt.png";
    {
        QFile f(corrupt);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x89PNG\r\n\x1a\nthis is not really a picture");
    }
    try {
        rt::sendWith(bmp, "loadFile", corrupt.toStdString());
        FAIL() << "no error";
    } catch (const rt::Error& e) {
        EXPECT_NE(e.description.find("Cannot load picture"), std::string::npos) << e.message();
        EXPECT_EQ(e.filename, corrupt.toStdString());
    }
    EXPECT_EQ(rt::getMember(bmp, "xSize").asInt(), 0) << "a failed load leaves the bitmap as it was";
    EXPECT_THROW(rt::sendWith(bmp, "loadFile", 5), rt::Error);
}

TEST_F(Pictures, ResourcesByNumber)
{
    const Value bmp = gui::newObject("XbpBitmap", {});
    EXPECT_TRUE(rt::sendWith(bmp, "load", Value(), gui::res::SortAscend).asBool());
    EXPECT_EQ(rt::getMember(bmp, "xSize").asInt(), 16);
    EXPECT_FALSE(rt::sendWith(bmp, "load", Value(), 99999).asBool());
    // The up triangle is narrow at the top.
    const QImage up = *gui::resourceImage(gui::res::SortAscend);
    const QImage opaque = up.convertToFormat(QImage::Format_ARGB32);
    int firstRow = -1, lastRow = -1;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (qAlpha(opaque.pixel(x, y)) > 128) {
                if (firstRow < 0)
                    firstRow = y;
                lastRow = y;
            }
    auto width = [&](int y) {
        int n = 0;
        for (int x = 0; x < 16; ++x)
            n += qAlpha(opaque.pixel(x, y)) > 128;
        return n;
    };
    EXPECT_LT(width(firstRow), width(lastRow));
}

}  // namespace
