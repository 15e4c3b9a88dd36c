// Group boxes, check boxes, combo boxes, pictures, entry key handlers, valid
// and pop-up buttons, when and hide conditions and RK_GetRefresh, driven
// with real key and mouse events on the offscreen platform. The form is
// built like the client window: a flag decides what is editable and which of
// two buttons in the same place shows.
#include "common/read_step.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/element_parts.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
#include "platform/gui/events.h"
#include "platform/gui/xbppart.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

using rt::Value;

void set(const Value& list, int slot, const Value& v) { rt::callWith("RK_GetListSet", list, slot, v); }
void append(const Value& list, const Value& rec) { list.asArray().items.push_back(rec); }
Value code(const char* text) { return rt::compile(text); }

using testread::Step;

// Element numbers of the form.
enum Form {
    Group1 = 1, CodeLabel, Code, NameLabel, Name, Credit, Picture, Group2, Order, Search, Exit, Cancel, Edit, Refresh
};

class Controls : public ::testing::Test {
protected:
    void SetUp() override
    {
        gui::registerGuiFunctions();
        dlg::registerDialogFunctions();
        gui::clearAppEvents();
        previousHandler = rt::setErrorHandler([this](const rt::Error& e) { errors.push_back(e.message()); });
        rt::publicSet("lEdit", false);
        rt::publicSet("cCode", rt::padR("", 6));
        rt::publicSet("cName", rt::padR("ANA", 10));
        rt::publicSet("lCredit", true);
        rt::publicSet("cOrder", "nombre");
        rt::publicSet("aOrder", rt::makeArray({"codcli", "nombre", "apell"}));
        rt::publicSet("cSearch", rt::padR("", 12));
        rt::publicSet("nChanges", 0);
        rt::publicSet("cSeen", "");
        list = Value::array();
        rt::publicSet("GetList", list);
        testread::startReadWatchdog(watchdog);
    }
    void TearDown() override
    {
        watchdog.stop();
        rt::setErrorHandler(previousHandler);
        for (const char* name : {"lEdit", "cCode", "cName", "lCredit", "cOrder", "aOrder", "cSearch", "nChanges", "cSeen",
                                 "GetList", "oGroup1", "oGroup2", "oCode", "oPicture", "oSearch"})
            rt::publicRelease(name);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        gui::clearAppEvents();
    }

    // A record of the template (type, sub) with the given slots, appended.
    void add(int type, const Value& sub, std::initializer_list<std::pair<int, Value>> entries)
    {
        append(list, rt::callWith("RK_GetTemplate", type, sub));
        for (const auto& [n, v] : entries)
            set(list, n, v);
    }
    static Value anchor(const char* name) { return dlg::publicAnchorCB(name); }

    // The form: two groups with their fields, Exit and Cancel in one place.
    void buildForm()
    {
        const Value inGroup1 = anchor("oGroup1"), whenEdit = code("{|| lEdit}");
        add(1, 2, {{3, "Test-Get"}, {5, 1.0}, {9, 70.0}, {10, 8.0}, {28, inGroup1}});
        add(12, 1, {{3, "Code:"}, {5, 1.1}, {6, 1.0}, {30, inGroup1}});
        // Refuses an empty code left with Enter, as the client window does.
        add(2, Value(), {{4, anchor("cCode")}, {5, 1.0}, {6, 15.0}, {12, "@!K"}, {13, whenEdit}, {28, anchor("oCode")},
                         {29, CodeLabel}, {30, inGroup1},
                         {14, code("{|| iif(Empty(cCode) .and. RK_ReadGuiLastKey(GetList) == 13,"
                                   " (RK_WinAlert('Empty code'), RK_ReadGuiLastKey(GetList, 0), .F.),"
                                   " (RK_ReadGuiLastKey(GetList, 0), .T.))}")},
                         {37, rt::makeArray({code("{|x| 'C-77'}"), Value(), false})}});
        add(12, 1, {{3, "Name:"}, {5, 2.2}, {6, 1.0}, {30, inGroup1}});
        add(2, Value(), {{4, anchor("cName")}, {5, 2.1}, {6, 15.0}, {12, "@!K"}, {29, NameLabel}, {30, inGroup1},
                         {13, code("{|| lEdit .and. !Empty(cCode)}")}});
        add(5, Value(), {{5, 3.3}, {6, 35.0}, {13, whenEdit}, {23, rt::makeArray({"DataCredito", Value()})}, {30, inGroup1},
                         {26, code("{|x| RK_ReadVar({|v| iif(v == NIL, lCredit, lCredit := v)}, x, NIL, .T.)}")}});
        add(7, Value(), {{5, 3.2}, {6, 56.0}, {9, 13.0}, {10, 4.65}, {13, whenEdit}, {28, anchor("oPicture")}, {30, inGroup1},
                         {18, code("{|a, b, o| nChanges := nChanges + 100}")}});

        add(1, 2, {{3, "Test-Browse"}, {5, 9.48}, {9, 70.0}, {10, 6.0}, {28, anchor("oGroup2")}});
        add(6, 3, {{4, anchor("cOrder")}, {5, 0.7}, {6, 0.5}, {9, 13.5}, {10, 10.5}, {13, whenEdit},
                   {21, rt::makeArray({false, false})}, {30, anchor("oGroup2")},
                   {31, rt::makeArray({anchor("aOrder"), "aOrder"})},
                   {38, code("{|x| nChanges := nChanges + 1, cSeen := cOrder}")}});
        add(2, 0, {{4, anchor("cSearch")}, {5, 0.7}, {6, rt::callWith("XCOL", list).asDouble() + 1.2}, {9, 28.0},
                   {12, "@!K"}, {28, anchor("oSearch")}, {30, rt::makeArray({anchor("oGroup2"), "oGroup2"})},
                   {44, rt::makeBlock([this](rt::Args a) {
                        keys.push_back(int(rt::argAt(a, 0).asInt()));
                        buffers.push_back(rt::sendWith(rt::argAt(a, 2), "EditBuffer").str());
                    })}});

        auto button = [this](double col, const char* caption, const char* action) {
            add(10, Value(), {{3, caption}, {5, 16.5}, {6, col}, {9, 8.8}, {10, 1.8}, {18, code(action)}});
        };
        button(0.5, "Exit", "{|| RK_ReadGuiEvent(6, GetList)}");
        set(list, 53, whenEdit);
        set(list, 15, "Update Record");
        button(0.5, "Cancel", "{|| lEdit := .F., RK_GetRefresh(GetList, NIL, 4, {28})}");
        set(list, 53, code("{|| !lEdit}"));
        button(9.3, "Edit", "{|| lEdit := .T., RK_GetRefresh(GetList, NIL, 4, {28})}");
        button(18.1, "Refresh;Tabla", "{|| cName := 'REFRESHED', RK_GetRefresh(GetList, NIL, 4, {28, 1})}");
        set(list, 42, 8192);
    }

    // Runs the read while `steps` drive it, each after the events the one
    // before it caused were handled.
    bool run(std::vector<std::function<void()>> steps)
    {
        QTimer::singleShot(0, [this, steps] {
            QDialog* d = dlg::activeDialog();
            ASSERT_NE(d, nullptr);
            ASSERT_TRUE(QTest::qWaitForWindowActive(d));
            chain(steps, 0);
        });
        const Value args[] = {list, "Form"};
        return dlg::readGui(rt::Args(args, 2));
    }
    void chain(std::vector<std::function<void()>> steps, std::size_t i)
    {
        if (i >= steps.size())
            return;
        gui::postAppEvent(gui::ev::User, Value(), Value(), Value(static_cast<rt::Object*>(new Step([this, steps, i] {
                              steps[i]();
                              chain(steps, i + 1);
                          }))));
    }

    QWidget* at(int i) const { return dlg::elementWidget(list, i); }
    QLineEdit* entry(int i) const { return qobject_cast<QLineEdit*>(at(i)); }
    QPushButton* button(int i) const { return qobject_cast<QPushButton*>(at(i)); }
    static void escape() { QTest::keyClick(dlg::activeDialog(), Qt::Key_Escape); }

    Value list;
    std::vector<std::string> errors;
    std::vector<int> keys;
    std::vector<std::string> buffers;
    rt::ErrorHandler previousHandler;
    QTimer watchdog;
};

TEST_F(Controls, GroupsHoldTheirChildrenAndTheDialogCoversThem)
{
    buildForm();
    QWidget *group1 = nullptr, *group2 = nullptr;
    QRect exitRect, dialogRect, searchInDialog, group2Rect;
    QString title, order;
    run({[&] {
        group1 = at(Group1);
        group2 = at(Group2);
        title = qobject_cast<QGroupBox*>(group1)->title();
        exitRect = at(Exit)->geometry();
        dialogRect = dlg::activeDialog()->rect();
        searchInDialog = QRect(at(Search)->mapTo(dlg::activeDialog(), QPoint(0, 0)), at(Search)->size());
        group2Rect = group2->geometry();
        order = qobject_cast<QComboBox*>(at(Order))->currentText();
        EXPECT_EQ(at(Code)->parentWidget(), group1);
        EXPECT_EQ(at(Credit)->parentWidget(), group1);
        EXPECT_EQ(at(Order)->parentWidget(), group2);
        EXPECT_EQ(at(Search)->parentWidget(), group2);
        EXPECT_EQ(at(Exit)->parentWidget(), dlg::activeDialog());
        EXPECT_EQ(at(Exit)->toolTip(), "Update Record");
        EXPECT_EQ(button(Refresh)->text(), "Refresh\nTabla");
        // Anchors received the objects, groups before their children.
        ASSERT_NE(gui::asPart(rt::publicGet("oGroup1")), nullptr);
        EXPECT_EQ(gui::asPart(rt::publicGet("oGroup1"))->widget(), group1);
        EXPECT_EQ(gui::asPart(rt::publicGet("oCode"))->widget(), at(Code));
        escape();
    }});
    EXPECT_EQ(title, "Test-Get");
    EXPECT_TRUE(dialogRect.contains(exitRect));
    EXPECT_TRUE(group2Rect.contains(searchInDialog));
    EXPECT_TRUE(dialogRect.contains(group2Rect));
    EXPECT_EQ(order, "nombre");
    // Anchored objects outlive the read without holding the list and its blocks.
    EXPECT_TRUE(dlg::asElementParts(rt::publicGet("oCode"))->getList.isNil());
    EXPECT_TRUE(dlg::asElementParts(rt::publicGet("oGroup1"))->whenBlock.isNil());
    EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(Controls, TheEditFlagDrivesEnablingAndWhichOfExitAndCancelShows)
{
    buildForm();
    struct State {
        bool exit, cancel, code, name, credit, order, search;
    };
    std::vector<State> seen;
    auto snap = [&] {
        seen.push_back({at(Exit)->isVisible(), at(Cancel)->isVisible(), at(Code)->isEnabled(), at(Name)->isEnabled(),
                        at(Credit)->isEnabled(), at(Order)->isEnabled(), at(Search)->isEnabled()});
    };
    const bool ok = run({snap, [&] { QTest::mouseClick(button(Edit), Qt::LeftButton); }, snap,
                         [&] {
                             // Typing a code enables the name once the field is left.
                             entry(Code)->setFocus();
                             QTest::keyClicks(entry(Code), "c1");
                             QTest::keyClick(entry(Code), Qt::Key_Tab);
                         },
                         snap, [&] { QTest::mouseClick(button(Cancel), Qt::LeftButton); }, snap,
                         // Exit, shown where Cancel was clicked, ignores the second click of a double click.
                         [&] { QTest::mouseClick(button(Exit), Qt::LeftButton); }, snap,
                         [&] {
                             QTest::qWait(QApplication::doubleClickInterval() + 50);
                             QTest::mouseClick(button(Exit), Qt::LeftButton);
                         }});
    EXPECT_TRUE(ok);
    ASSERT_EQ(seen.size(), 5u);
    // Viewing: Exit only, the form disabled, the search field usable.
    EXPECT_TRUE(seen[0].exit && !seen[0].cancel);
    EXPECT_FALSE(seen[0].code || seen[0].name || seen[0].credit || seen[0].order);
    EXPECT_TRUE(seen[0].search);
    // Editing with an empty code: code, check box, combo; the name waits for a code.
    EXPECT_TRUE(!seen[1].exit && seen[1].cancel);
    EXPECT_TRUE(seen[1].code && seen[1].credit && seen[1].order);
    EXPECT_FALSE(seen[1].name);
    EXPECT_TRUE(seen[2].name);
    EXPECT_EQ(rt::publicGet("cCode").str(), "C1    ");
    EXPECT_TRUE(seen[3].exit && !seen[3].cancel && !seen[3].code);
    EXPECT_TRUE(seen[4].exit) << "the read went on";
    EXPECT_TRUE(errors.empty());
}

TEST_F(Controls, KeyHandlerSeesEachKeyWithTheBufferAlreadyUpdated)
{
    buildForm();
    // One key per step: the handler reads the buffer when it runs, so keys
    // typed ahead of it would already be in it.
    auto key = [this](Qt::Key k, char text = 0) {
        return [this, k, text] {
            if (text)
                QTest::keyClicks(entry(Search), QString(QChar(text)));
            else
                QTest::keyClick(entry(Search), k);
        };
    };
    run({[&] { entry(Search)->setFocus(); }, key(Qt::Key_A, 'a'), key(Qt::Key_B, 'b'), key(Qt::Key_Backspace),
         key(Qt::Key_Up), key(Qt::Key_Down), key(Qt::Key_PageUp), key(Qt::Key_PageDown), key(Qt::Key_Delete),
         key(Qt::Key_Return), [] { escape(); }});
    const std::vector<int> want = {'a', 'b', 8, 65574, 65576, 65569, 65570, 65582, 13};
    EXPECT_EQ(keys, want);
    ASSERT_EQ(buffers.size(), want.size());
    EXPECT_EQ(buffers[0], rt::padR("A", 12));  // "@!" upper-cases, padded like the variable
    EXPECT_EQ(buffers[1], rt::padR("AB", 12));
    EXPECT_EQ(buffers[2], rt::padR("A", 12));
}

TEST_F(Controls, ValidKeepsTheFocusOnlyWhenLeftWithEnter)
{
    buildForm();
    rt::publicSet("lEdit", true);
    dlg::MessageCapture capture;
    bool stayedAfterEnter = false, leftAfterTab = false;
    run({[&] {
             entry(Code)->setFocus();
             QTest::keyClick(entry(Code), Qt::Key_Return);
         },
         [&] {
             stayedAfterEnter = entry(Code)->hasFocus();
             QTest::keyClick(entry(Code), Qt::Key_Tab);
         },
         [&] {
             leftAfterTab = !entry(Code)->hasFocus();
             escape();
         }});
    EXPECT_TRUE(stayedAfterEnter);
    EXPECT_TRUE(leftAfterTab);
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0].text, "Empty code");
    EXPECT_TRUE(errors.empty());
}

TEST_F(Controls, FieldsTheFocusPassesThroughOnItsWayBackAreNotValidated)
{
    rt::publicSet("nChecked", 0);
    add(2, 0, {{4, anchor("cCode")}, {14, code("{|| RK_ReadGuiLastKey(GetList) != 13}")}});
    add(2, 0, {{4, anchor("cName")}, {5, 1.0}, {14, code("{|| nChecked := nChecked + 1, .F.}")}});
    bool back = false;
    run({[&] {
             entry(1)->setFocus();
             QTest::keyClick(entry(1), Qt::Key_Return);
         },
         [&] {
             back = entry(1)->hasFocus();
             escape();
         }});
    EXPECT_TRUE(back);
    EXPECT_EQ(rt::publicGet("nChecked").asInt(), 0);
    rt::publicRelease("nChecked");
}

TEST_F(Controls, PopupButtonStoresItsResultUnlessToldNotTo)
{
    buildForm();
    rt::publicSet("lEdit", true);
    std::string stored, kept;
    run({[&] { QTest::mouseClick(at(Code)->findChild<QToolButton*>(), Qt::LeftButton); },
         [&] {
             stored = entry(Code)->text().toStdString();
             escape();
         }});
    EXPECT_EQ(stored, "C-77");
    EXPECT_EQ(rt::publicGet("cCode").str(), "C-77  ");

    // Entry 3 .T.: the result is not stored.
    list = Value::array();
    rt::publicSet("GetList", list);
    rt::publicSet("cCode", rt::padR("X", 6));
    add(2, 0, {{4, anchor("cCode")}, {37, rt::makeArray({code("{|x| nChanges := nChanges + 1, 'ZZ'}"), Value(), true})}});
    run({[&] { QTest::mouseClick(at(1)->findChild<QToolButton*>(), Qt::LeftButton); },
         [&] {
             kept = entry(1)->text().toStdString();
             escape();
         }});
    EXPECT_EQ(kept, "X");
    EXPECT_EQ(rt::publicGet("cCode").str(), rt::padR("X", 6));
    EXPECT_EQ(rt::publicGet("nChanges").asInt(), 1);
}

TEST_F(Controls, DateFieldsOpenTheCalendar)
{
    rt::publicSet("dDate", rt::Value(rt::makeDate(2024, 3, 10)));
    add(2, 0, {{4, anchor("dDate")}, {12, "@D"}});
    // Escape first (nothing stored), then Right and Enter picks the next day.
    // Drives the calendar once it is up (the click reaches the field through the read's queue).
    std::function<void(std::function<void(QWidget*)>, int)> drive = [&drive](std::function<void(QWidget*)> f, int tries) {
        QTimer::singleShot(10, [f, tries, &drive] {
            QWidget* box = QApplication::activeModalWidget();
            if ((!box || box->objectName() != "RK_PopDate") && tries > 0)
                return drive(f, tries - 1);
            ASSERT_NE(box, nullptr);
            ASSERT_EQ(box->objectName(), "RK_PopDate");
            ASSERT_TRUE(QTest::qWaitForWindowActive(box));
            auto* view = box->findChild<QCalendarWidget*>()->findChild<QTableView*>();
            ASSERT_NE(view, nullptr);
            view->setFocus();
            f(view);
        });
    };
    run({[&] {
             drive([](QWidget* view) { QTest::keyClick(view, Qt::Key_Escape); }, 500);
             QTest::mouseClick(at(1)->findChild<QToolButton*>(), Qt::LeftButton);
         },
         [&] { EXPECT_EQ(rt::dtos(rt::publicGet("dDate").asDate()), "20240310"); },
         [&] {
             drive([](QWidget* view) {
                 QTest::keyClick(view, Qt::Key_Right);
                 QTest::keyClick(view, Qt::Key_Return);
             }, 500);
             QTest::mouseClick(at(1)->findChild<QToolButton*>(), Qt::LeftButton);
         },
         [] { escape(); }});
    EXPECT_EQ(rt::dtos(rt::publicGet("dDate").asDate()), "20240311");
    rt::publicRelease("dDate");
}

// A date field in the format a program starts with (day first, four-digit
// year), blank as the query panel's are or holding a date, takes a date
// typed as it shows dates or as "21/06/97" (the whole date replaced, the
// century from the epoch rule), and shows it back so.
TEST_F(Controls, DateFieldsTakeTheDatesAsTheyShowThem)
{
    const std::string previous = rt::setDateFormat(rt::localeDateFormat());
    const int epoch = rt::setEpoch(1950);
    for (const char* typed : {"21-06-1997", "21/06/97"})
    for (const rt::Date old : {rt::Date{}, rt::makeDate(2024, 3, 11)}) {
        SCOPED_TRACE(std::string(typed) + " over " + rt::dtos(old));
        list = Value::array();
        rt::publicSet("GetList", list);
        rt::publicSet("dDate", rt::Value(old));
        rt::publicSet("cCode", rt::padR("", 6));
        add(2, 0, {{4, anchor("dDate")}, {12, "@D"}});
        add(2, 0, {{4, anchor("cCode")}});
        std::string shown;
        run({[&] {
                 entry(1)->setFocus();
                 QTest::keyClick(entry(1), Qt::Key_Home);
                 QTest::keyClicks(entry(1), typed);
                 QTest::keyClick(entry(1), Qt::Key_Return);
             },
             [&] {
                 shown = entry(1)->text().toStdString();
                 escape();
             }});
        EXPECT_EQ(rt::dtos(rt::publicGet("dDate").asDate()), "19970621");
        EXPECT_EQ(shown, "21-06-1997");
    }
    rt::setEpoch(epoch);
    rt::setDateFormat(previous);
}

TEST_F(Controls, CheckBoxAndComboBoxWriteBackThenRunTheirBlocks)
{
    buildForm();
    rt::publicSet("lEdit", true);
    bool checkedAtStart = false;
    run({[&] {
             checkedAtStart = qobject_cast<QCheckBox*>(at(Credit))->isChecked();
             QTest::mouseClick(at(Credit), Qt::LeftButton, {}, QPoint(6, at(Credit)->height() / 2));
             auto* combo = qobject_cast<QComboBox*>(at(Order));
             combo->setFocus();
             QTest::keyClick(combo, Qt::Key_Down);  // "nombre" -> "apell", activated
         },
         [&] {
             QTest::keyClick(at(Order), Qt::Key_Up);
             QTest::keyClick(at(Order), Qt::Key_Down);
         },
         [] { escape(); }});
    EXPECT_TRUE(checkedAtStart);
    EXPECT_EQ(rt::publicGet("lCredit").typeLetter(), 'L');
    EXPECT_FALSE(rt::publicGet("lCredit").asBool());
    EXPECT_EQ(rt::publicGet("cOrder").str(), "apell");
    EXPECT_EQ(rt::publicGet("cSeen").str(), "apell");  // the change block saw the new value
    EXPECT_EQ(rt::publicGet("nChanges").asInt(), 3);    // down, up, down
    EXPECT_TRUE(errors.empty());
}

TEST_F(Controls, GetRefreshShowsValuesAndItemListsAndSkipsTypes)
{
    buildForm();
    QString name, order, comboAfterSkip;
    int items = 0;
    run({[&] {
             rt::publicSet("cName", rt::padR("LUIS", 10));
             rt::publicSet("aOrder", rt::makeArray({"codcli", "nombre", "apell", "direccion"}));
             rt::publicSet("cOrder", "direccion");
             rt::callWith("RK_GetRefresh", list, Value(), 4, rt::makeArray({6}));
             comboAfterSkip = qobject_cast<QComboBox*>(at(Order))->currentText();
             name = entry(Name)->text();
             rt::callWith("RK_GetRefresh", list, Value(), 1, rt::makeArray({28}));
             order = qobject_cast<QComboBox*>(at(Order))->currentText();
             items = qobject_cast<QComboBox*>(at(Order))->count();
         },
         [&] { QTest::mouseClick(button(Refresh), Qt::LeftButton); },
         [&] {
             name = entry(Name)->text();
             escape();
         }});
    EXPECT_EQ(comboAfterSkip, "nombre");
    EXPECT_EQ(order, "direccion");
    EXPECT_EQ(items, 4);
    EXPECT_EQ(name, "REFRESHED");
    EXPECT_TRUE(rt::callWith("RK_GetRefresh", list).isLogical());
    EXPECT_FALSE(rt::callWith("RK_GetRefresh", list).asBool());  // no read runs
}

QByteArray pngBytes(QSize size, QColor color)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return bytes;
}

TEST_F(Controls, PictureDrawsBytesClearsOnGarbageAndClicksOnlyWhileEnabled)
{
    buildForm();
    const QByteArray png = pngBytes(QSize(40, 20), Qt::red);
    std::vector<bool> shown;
    std::vector<QSize> sizes;
    int changesDisabled = -1;
    run({[&] {
             const Value pic = rt::publicGet("oPicture");
             auto draw = [&](const Value& data) {
                 shown.push_back(rt::callWith("RK_BitMapDraw", pic, data).asBool());
                 sizes.push_back(dynamic_cast<dlg::PicturePart&>(pic.asObject()).image().size());
             };
             draw(Value(std::string_view(png.constData(), std::size_t(png.size()))));
             draw(Value("not a picture"));
             draw(Value(png.toBase64().toStdString()));
             draw(Value());
             draw(Value(std::string_view(png.constData(), std::size_t(png.size()))));
             QTest::mouseClick(at(Picture), Qt::LeftButton);  // disabled: when is false
         },
         [&] {
             changesDisabled = int(rt::publicGet("nChanges").asInt());
             QTest::mouseClick(button(Edit), Qt::LeftButton);
         },
         [&] { QTest::mouseClick(at(Picture), Qt::LeftButton); }, [] { escape(); }});
    EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false, true}));
    EXPECT_EQ(sizes[0], QSize(40, 20));
    EXPECT_TRUE(sizes[1].isEmpty());
    EXPECT_EQ(sizes[2], QSize(40, 20));
    EXPECT_EQ(changesDisabled, 0);
    EXPECT_EQ(rt::publicGet("nChanges").asInt(), 100);
    EXPECT_FALSE(rt::callWith("RK_BitMapDraw", Value(), Value("x")).asBool());  // no picture: no error
    EXPECT_TRUE(errors.empty());
}

TEST_F(Controls, FailingActionsAndConditionsAreReportedAndTheReadGoesOn)
{
    buildForm();
    set(list, 18, rt::makeBlock([](rt::Args) {  // the last button
        rt::publicSet("lEdit", true);
        rt::raise("Action failed", "TESTACTION");
    }));
    // A when block that raises leaves its element as it was.
    list.asArray().items[Name - 1].asArray().items[12] = rt::makeBlock([](rt::Args) -> Value {
        if (rt::isTrue(rt::publicGet("lEdit")))
            rt::raise("When failed", "TESTWHEN");
        return false;
    });
    bool cancelShown = false;
    const bool ok = run({[&] { QTest::mouseClick(button(Refresh), Qt::LeftButton); },
                         [&] {
                             // The flag the action set before it failed shows.
                             cancelShown = at(Cancel)->isVisible() && !at(Exit)->isVisible();
                             QTest::mouseClick(button(Cancel), Qt::LeftButton);
                         },
                         [&] {
                             QTest::qWait(QApplication::doubleClickInterval() + 50);
                             QTest::mouseClick(button(Exit), Qt::LeftButton);
                         }});
    EXPECT_TRUE(ok);
    EXPECT_TRUE(cancelShown);
    ASSERT_FALSE(errors.empty());
    bool actionReported = false, whenReported = false;
    for (const std::string& e : errors) {
        actionReported |= e.find("Action failed") != std::string::npos;
        whenReported |= e.find("When failed") != std::string::npos;
    }
    EXPECT_TRUE(actionReported) << errors.front();
    EXPECT_TRUE(whenReported) << errors.front();
}

TEST_F(Controls, LastKeyAndFocusAreReachableByName)
{
    buildForm();
    rt::publicSet("lEdit", true);
    int lastKey = -1, previous = -1, afterSet = -1;
    bool focused = false;
    run({[&] {
             entry(Search)->setFocus();
             QTest::keyClicks(entry(Search), "z");
             QTest::keyClick(entry(Search), Qt::Key_Tab);
         },
         [&] {
             lastKey = int(rt::callWith("RK_ReadGuiLastKey", list).asInt());
             previous = int(rt::callWith("RK_ReadGuiLastKey", list, 27).asInt());
             afterSet = int(rt::callWith("RK_ReadGuiLastKey", list).asInt());
             rt::callWith("SetAppFocus", rt::publicGet("oSearch"));
         },
         [&] {
             focused = entry(Search)->hasFocus();
             escape();
         }});
    EXPECT_EQ(lastKey, 9);
    EXPECT_EQ(previous, 9);
    EXPECT_EQ(afterSet, 27);
    EXPECT_TRUE(focused);
}

TEST(ReadVar, ReadsWritesAndReadsAsLogical)
{
    dlg::registerDialogFunctions();
    rt::publicSet("xVar", "T");
    const Value getSet = dlg::publicAnchorCB("xVar");
    EXPECT_EQ(dlg::readVar(getSet, Value(), false).str(), "T");
    EXPECT_TRUE(dlg::readVar(getSet, Value(), true).asBool());
    EXPECT_FALSE(rt::callWith("RK_ReadVar", getSet, false, Value(), true).asBool());
    EXPECT_EQ(rt::publicGet("xVar").typeLetter(), 'L');
    rt::publicSet("xVar", Value());
    EXPECT_FALSE(rt::callWith("RK_ReadVar", getSet, Value(), Value(), true).asBool());  // NIL reads as false
    rt::publicSet("xVar", 2);
    EXPECT_TRUE(dlg::logicalOf(rt::publicGet("xVar")));
    rt::publicRelease("xVar");
}

TEST_F(Controls, GeometryDumpAppendsOneLinePerElementOnce)
{
    const QByteArray tmp = qgetenv("DXC_TEST_TMP");
    QDir dir(tmp.isEmpty() ? QDir::tempPath() : QString::fromUtf8(tmp));
    dir.mkpath(QStringLiteral("."));
    const QString path = dir.filePath("dlg_geometry_test.txt");
    QFile::remove(path);
    qputenv("DXC_DIALOG_GEOMETRY", path.toUtf8());
    buildForm();
    run({[] {}, [] { escape(); }});
    qunsetenv("DXC_DIALOG_GEOMETRY");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), Refresh);  // every element has a window
    bool sawTabla = false;
    for (const QString& line : lines) {
        const QStringList fields = line.split('\t');
        ASSERT_EQ(fields.size(), 5) << line.toStdString();
        EXPECT_EQ(fields[0], "Form");
        EXPECT_EQ(fields[4].split(' ').size(), 4);
        sawTabla |= fields[1] == QString::number(Refresh) && fields[2] == "10" && fields[3] == "Refresh;Tabla";
    }
    EXPECT_TRUE(sawTabla);
    QFile::remove(path);
}


TEST_F(Controls, PressesQueuedBehindAnActionThatDisablesTheButtonDoNothing)
{
    buildForm();
    rt::publicSet("lEdit", true);
    // Like Save: enabled while editing, and its action ends the editing.
    set(list, 18, code("{|| nChanges := nChanges + 1, lEdit := .F., RK_GetRefresh(GetList, NIL, 4, {28})}"));
    set(list, 13, code("{|| lEdit}"));
    set(list, 28, anchor("oSave"));
    run({[&] {
             // The button's own callback may reach the object: it must not outlive the read.
             auto& save = dynamic_cast<dlg::PushButtonPart&>(rt::publicGet("oSave").asObject());
             save.cbActivate = code("{|| oSave}");
             // Both presses are queued before the first action runs (a double click).
             QTest::mouseClick(button(Refresh), Qt::LeftButton);
             QTest::mouseClick(button(Refresh), Qt::LeftButton);
         },
         [] { escape(); }});
    EXPECT_EQ(rt::publicGet("nChanges").asInt(), 1);
    EXPECT_TRUE(dynamic_cast<dlg::PushButtonPart&>(rt::publicGet("oSave").asObject()).cbActivate.isNil());
    rt::publicRelease("oSave");
}

TEST_F(Controls, AClickThatLeavesAFieldIsNotTheEnterPressedBefore)
{
    buildForm();
    rt::publicSet("lEdit", true);
    dlg::MessageCapture capture;
    // Like New pressed with Enter: its action puts the focus into the empty code.
    set(list, 18, code("{|| SetAppFocus(oCode)}"));
    bool codeFocused = false;
    run({[&] {
             button(Refresh)->setFocus();
             QTest::keyClick(button(Refresh), Qt::Key_Return);
         },
         [&] {
             codeFocused = entry(Code)->hasFocus();
             QTest::mouseClick(button(Edit), Qt::LeftButton);  // leaves the empty code by mouse
         },
         [] { escape(); }});
    EXPECT_TRUE(codeFocused);
    EXPECT_TRUE(capture.messages.empty()) << capture.messages.front().text;
    EXPECT_TRUE(errors.empty());
}

}  // namespace
