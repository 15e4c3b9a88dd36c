// The dialog library's block, data, presentation, picture and message
// functions, called as compiled text calls them.
#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/color.h"
#include "platform/gui/events.h"
#include "platform/gui/presparam.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/classes.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

namespace {

using rt::Value;

Value call(std::string_view text) { return rt::evalText(text); }

class Library : public ::testing::Test {
protected:
    void SetUp() override
    {
        gui::registerGuiFunctions();
        dlg::registerDialogFunctions();
    }
};

TEST_F(Library, GetBlockCompilesTextsAndRaisesTheCompilersError)
{
    EXPECT_EQ(rt::evalWith(call("RK_GetBlock('{|x| x * 2}')"), 21).asInt(), 42);
    EXPECT_EQ(rt::evalWith(call("RK_GetBlock('  3 + 4  ')")).asInt(), 7);
    // A saved record may hold { NIL, source text } only.
    EXPECT_EQ(rt::evalWith(dlg::getBlock(rt::makeArray({Value(), "'text'"}))).str(), "text");
    for (const Value& v : {Value(), Value("   "), Value(5), rt::makeArray({1, 2})})
        EXPECT_TRUE(dlg::getBlock(v).isNil()) << rt::literalText(v);
    try {
        (void)dlg::getBlock(Value("{|x| x + (1 }"));
        ADD_FAILURE() << "no error raised";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.subsystem, "COMPILER");
        EXPECT_GT(e.position, 0);
    }
    // Kind "O": a bare name anchors the program-wide variable.
    rt::publicSet("oAnchored", Value());
    rt::evalWith(call("RK_GetBlock('oAnchored', 'O')"), "obj");
    EXPECT_EQ(rt::publicGet("oAnchored").str(), "obj");
    rt::publicRelease("oAnchored");
}

TEST_F(Library, MergedBlocksRunInOrderAndGiveTheSecondsResult)
{
    std::string seen;
    const Value first = rt::makeBlock([&](rt::Args a) { seen += "1" + rt::argAt(a, 0).str(); return Value("one"); });
    const Value second = rt::makeBlock([&](rt::Args a) { seen += "2" + rt::argAt(a, 0).str(); return Value("two"); });
    EXPECT_EQ(rt::evalWith(rt::callWith("RK_MergeBlocks", first, second), "x").str(), "two");
    EXPECT_EQ(seen, "1x2x");
    EXPECT_EQ(dlg::mergeBlocks(Value(5), second).cell(), second.cell());
    EXPECT_TRUE(dlg::mergeBlocks(Value(), Value()).isNil());
}

Value arrayBrowse(const Value& rows, int current)
{
    static const rt::DynClass cls = [] {
        rt::DynClass c("FakeArrayBrowse");
        c.addVar("dataSource");
        c.addVar("arrayElement");
        return c;
    }();
    Value o = cls.instantiate();
    rt::setMember(o, "dataSource", rows);
    rt::setMember(o, "arrayElement", current);
    return o;
}

TEST_F(Library, ColBlockGetsAndSetsTheCurrentRowOnly)
{
    const Value rows = rt::makeArray({rt::makeArray({"a1", "b1"}), Value("no row")});
    const Value browse = arrayBrowse(rows, 1);
    const Value col = rt::callWith("RK_GetColBlock", 2, browse);
    EXPECT_EQ(rt::evalWith(col).str(), "b1");
    EXPECT_EQ(rt::evalWith(col, "new").str(), "new");
    EXPECT_EQ(rows.asArray().at1(1).asArray().at1(2).str(), "new");
    for (int at : {2, 0, 9}) {  // a row that is no array, before and past the rows
        rt::setMember(browse, "arrayElement", at);
        EXPECT_TRUE(rt::evalWith(col, "x").isNil()) << at;
    }
    EXPECT_TRUE(rt::evalWith(dlg::getColBlock(3, arrayBrowse(rows, 1)), "x").isNil());  // past the row's end
    EXPECT_EQ(rows.asArray().at1(1).asArray().size(), 2u);
    EXPECT_TRUE(rt::evalWith(dlg::getColBlock(1, Value("not a browse"))).isNil());
}

// A window object with the two members a column block reads.
class RowsPart final : public gui::XbpPart {
public:
    const rt::ClassInfo& classInfo() const override
    {
        static const rt::ClassInfo cls = [] {
            rt::ClassInfo c("RowsPart", {&gui::XbpPart::staticClass()});
            c.field<RowsPart>("dataSource", &RowsPart::dataSource);
            c.field<RowsPart>("arrayElement", &RowsPart::arrayElement);
            return c;
        }();
        return cls;
    }
    Value dataSource, arrayElement;
};

// The column that keeps the block belongs to the browse: the block must not
// keep the browse alive, and reads nothing once it is gone.
TEST_F(Library, ColBlockHoldsAWindowBrowseWeakly)
{
    const Value rows = rt::makeArray({rt::makeArray({"a1", "b1"}), rt::makeArray({"a2", "b2"})});
    Value browse = (new RowsPart())->self();
    auto* part = static_cast<RowsPart*>(gui::asPart(browse));
    part->dataSource = rows;
    part->arrayElement = 2;
    const Value col = dlg::getColBlock(1, browse);
    EXPECT_EQ(rt::evalWith(col).str(), "a2");
    EXPECT_EQ(rt::evalWith(col, "new").str(), "new");
    part->arrayElement = 1;
    EXPECT_EQ(rt::evalWith(col).str(), "a1");
    EXPECT_EQ(browse.cell()->refCount(), 1) << "the block holds no reference";
    const gui::WeakPart weak(*part);
    browse = Value();
    EXPECT_EQ(weak.get(), nullptr) << "the browse was freed";
    EXPECT_TRUE(rt::evalWith(col).isNil());
    EXPECT_TRUE(rt::evalWith(col, "x").isNil());
    EXPECT_EQ(rows.asArray().at1(2).asArray().at1(1).str(), "new");
    EXPECT_EQ(rows.cell()->refCount(), 1);
}

TEST_F(Library, DataCheckAlertNamesTheElementAndWhatWasWrong)
{
    const Value list = rt::makeArray({rt::callWith("RK_GetTemplate", 12, 1), rt::callWith("RK_GetTemplate", 28)});
    rt::callWith("RK_GetListSet", list, 49, "CLIENTS");
    dlg::MessageCapture capture;
    EXPECT_TRUE(dlg::readDataCheck(Value(3), "ACONI", list, 2, true));
    EXPECT_TRUE(dlg::readDataCheck(Value("x"), "c", list, 2, true));
    EXPECT_FALSE(dlg::readDataCheck(Value(), "ACONI", list, 2, false));
    EXPECT_TRUE(capture.messages.empty());
    EXPECT_FALSE(rt::callWith("RK_ReadDataCheck", true, "AC", list, 2, true).asBool());
    ASSERT_EQ(capture.messages.size(), 1u);
    for (const char* part : {"element 2", "RKBROWSE", "CLIENTS", "a logical value", "an array", "a character value"})
        EXPECT_NE(capture.messages[0].text.find(part), std::string::npos) << capture.messages[0].text;
}

TEST_F(Library, PresAddInPlaceAndTheDefaultBrowsePresentation)
{
    const Value pres = rt::makeArray({rt::makeArray({7, 9}), Value("junk"), rt::makeArray({7, 3})});
    EXPECT_EQ(rt::callWith("RK_PresAdd", pres, 7, 2).cell(), pres.cell());
    dlg::presAdd(pres, 123, "Name");
    EXPECT_EQ(rt::literalText(pres), R"({{7, 2}, "junk", {7, 3}, {123, "Name"}})");

    const Value a = rt::callWith("RK_BrowPres");
    EXPECT_NE(a.cell(), rt::callWith("RK_BrowPres").cell());  // callers change it in place
    for (int id : {gui::pp::HaFgClr, gui::pp::HaBgClr, gui::pp::DaFgClr, gui::pp::DaBgClr, gui::pp::DaHiliteBgClr})
        EXPECT_TRUE(gui::isColorNumber(gui::presGet(a, id, -1).asInt())) << id;
    // Alignment stays the columns' choice (numbers right-aligned).
    for (int id : {gui::pp::DaAlignment, gui::pp::HaAlignment, gui::pp::FaAlignment})
        EXPECT_FALSE(gui::presHas(a, id)) << id;
}

TEST_F(Library, MessagesGoToTheSink)
{
    dlg::MessageCapture capture;
    call("RK_WinAlert('No Search Criteria Entered!!')");
    call("RK_MsgBox({'No Matching Records', 42, 'Found'}, 'Data Alert')");
    ASSERT_EQ(capture.messages.size(), 2u);
    EXPECT_EQ(capture.messages[0].text, "No Search Criteria Entered!!");
    EXPECT_EQ(capture.messages[1].title, "Data Alert");
    EXPECT_EQ(capture.messages[1].text, "No Matching Records\n42\nFound");
}

TEST_F(Library, ErrorBoxShowsUncaughtErrorsOneAtATime)
{
    const rt::ErrorHandler previous = rt::setErrorHandler({});
    dlg::installErrorMessageBox();
    std::vector<dlg::Message> shown;
    const dlg::MessageSink old = dlg::setMessageSink([&](const dlg::Message& m) {
        shown.push_back(m);
        rt::handleError(rt::Error("second failure"));  // a timer failing while the box is open
    });
    EXPECT_FALSE(rt::runReporting([] { rt::evalText("1 + 'a'"); }));
    EXPECT_FALSE(rt::runReporting([] { rt::raise("third failure"); }));  // the guard was released
    dlg::setMessageSink(old);
    rt::setErrorHandler(previous);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].severity, dlg::Severity::Error);
    EXPECT_NE(shown[0].text.find("Argument error"), std::string::npos) << shown[0].text;
    EXPECT_NE(shown[1].text.find("third failure"), std::string::npos);
}

Value makeWindow(const Value& parent, QPoint pos, QSize size)
{
    Value w = rt::newObject("XbpWindow");
    rt::sendWith(w, "create", parent, Value(), gui::pairValue(pos.x(), pos.y()),
                 gui::pairValue(size.width(), size.height()), Value(), true);
    return w;
}

TEST_F(Library, HiliteFramesTheElementUntilFocusOut)
{
    const Value top = makeWindow(Value(), {0, 0}, {200, 120});
    const Value field = makeWindow(top, {20, 20}, {100, 30});
    QWidget* w = gui::asPart(field)->widget();
    const std::string presBefore = rt::literalText(gui::asPart(field)->presParams);
    auto pixel = [w](int x, int y) { return QColor(w->grab().toImage().pixel(x, y)); };

    EXPECT_TRUE(rt::callWith("RK_HiliteGets", field, 1, rt::makeArray({255, 0, 0})).asBool());
    EXPECT_EQ(pixel(0, 0), QColor(255, 0, 0));
    EXPECT_NE(pixel(50, 15), QColor(255, 0, 0));
    // Again with a {fg, bg} pair: the same frame in the background colour, following a resize.
    dlg::hiliteGets(field, 1, rt::makeArray({gui::clr::Neutral, gui::makeRgbColor(0, 0, 255)}));
    gui::asPart(field)->setSize(QSize(150, 40));
    EXPECT_EQ(w->findChildren<QWidget*>().size(), 1);
    EXPECT_EQ(pixel(149, 39), QColor(0, 0, 255));
    dlg::hiliteGets(field, 2, Value());
    EXPECT_NE(pixel(149, 39), QColor(0, 0, 255));
    EXPECT_EQ(rt::literalText(gui::asPart(field)->presParams), presBefore);
    EXPECT_FALSE(dlg::hiliteGets(Value("no window"), 1, Value()));
    gui::asPart(top)->destroy();
}

// A window with plain child widgets of its own (a grid's viewport): the
// frame is found as the frame, and the children are left alone.
TEST_F(Library, HiliteLeavesTheWindowsOwnChildrenAlone)
{
    const Value top = makeWindow(Value(), {0, 0}, {200, 120});
    const Value field = makeWindow(top, {20, 20}, {100, 30});
    QWidget* w = gui::asPart(field)->widget();
    QPointer<QWidget> own = new QWidget(w);
    own->setGeometry(5, 5, 20, 10);
    dlg::hiliteGets(field, 1, rt::makeArray({255, 0, 0}));
    dlg::hiliteGets(field, 1, rt::makeArray({0, 0, 255}));
    EXPECT_EQ(w->findChildren<QWidget*>().size(), 2) << "one frame beside the own child";
    EXPECT_EQ(own->geometry(), QRect(5, 5, 20, 10));
    dlg::hiliteGets(field, 2, Value());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(own.isNull()) << "focus out removed the frame, not the child";
    EXPECT_EQ(w->findChildren<QWidget*>().size(), 1);
    gui::asPart(top)->destroy();
}

TEST_F(Library, GetBitmapFromResourceOrFileElseNil)
{
    EXPECT_GT(rt::getMember(rt::callWith("RK_GetBitmap", gui::res::SortAscend), "xSize").asInt(), 0);
    EXPECT_TRUE(rt::isDerivedFrom(rt::callWith("RK_GetBitmap", gui::res::Cross, Value(), Value(), Value(), true), "XbpIcon"));
    QTemporaryDir dir;
    const QString file = dir.path() + "/green.png";
    QImage img(8, 6, QImage::Format_RGB32);
    img.fill(Qt::green);
    ASSERT_TRUE(img.save(file));
    const Value scaled = rt::callWith("RK_GetBitmap", file.toStdString(), Value(), 16, 12);
    ASSERT_TRUE(rt::isDerivedFrom(scaled, "XbpBitmap"));
    EXPECT_EQ(rt::getMember(scaled, "ySize").asInt(), 12);
    EXPECT_EQ(dlg::getBitmap(scaled).cell(), scaled.cell());
    for (const Value& v : {Value(987654), Value((dir.path() + "/missing.png").toStdString()), Value(true)})
        EXPECT_TRUE(dlg::getBitmap(v).isNil()) << rt::literalText(v);
}

TEST_F(Library, CenterObjectInItsParentOrOverAnotherWindow)
{
    const Value top = makeWindow(Value(), {0, 0}, {400, 300});
    const Value child = makeWindow(top, {0, 0}, {100, 50});
    const Value other = makeWindow(top, {10, 200}, {60, 40});
    EXPECT_TRUE(rt::callWith("RK_CenterObject", child).asBool());
    EXPECT_EQ(gui::asPart(child)->widget()->geometry(), QRect(150, 125, 100, 50));
    EXPECT_EQ(rt::literalText(rt::send(child, "currentPos")), "{150, 125}");
    EXPECT_TRUE(dlg::centerObject(child, other));
    EXPECT_EQ(gui::asPart(child)->widget()->geometry().center(), gui::asPart(other)->widget()->geometry().center());
    gui::asPart(top)->destroy();
}

}  // namespace
