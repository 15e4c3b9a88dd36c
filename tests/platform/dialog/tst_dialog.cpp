// RK_ReadGUI driven with real key and mouse events on the offscreen
// platform: the server-settings dialog of the start-up, built as the
// program builds it, plus nested reads and the ways a read ends.
#include "common/read_step.h"
#include "platform/dialog/dialog.h"
#include "platform/gui/events.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>

namespace {

using rt::Value;

// Element positions of the server-settings dialog.
enum Element { HostLabel = 1, Host, PortLabel, Port, UserLabel, User, PassLabel, Pass, Connect, Cancel };

void set(const Value& list, int slot, const Value& v) { rt::callWith("RK_GetListSet", list, slot, v); }

void append(const Value& list, const Value& rec) { list.asArray().items.push_back(rec); }

std::string fmt(double d)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%05.1f", d);
    return buf;
}

// A label and its entry field bound to a program-wide variable.
void addSayGet(const Value& list, double& xRow, double step, const char* caption, const char* var, const char* picture,
               bool password = false)
{
    xRow += step;
    append(list, rt::callWith("RK_GetTemplate", 12, 1));
    set(list, 3, caption);
    set(list, 5, xRow);
    set(list, 6, 1.0);
    set(list, 70, rt::makeArray({"RKSAYGET", Value(), Value(), caption, "xRow+=" + fmt(step), "001.0", "", ""}));

    append(list, rt::callWith("RK_GetTemplate", 2));
    const Value current = rt::publicGet(var);
    set(list, 4, rt::callWith("RK_GetAnchorCB", current, Value(), current, picture, Value(), Value(), Value(), var));
    set(list, 5, xRow - 0.1);
    set(list, 6, 10.0);
    set(list, 12, picture);
    set(list, 25, rt::makeArray({var, Value()}));
    set(list, 29, int(list.asArray().size()) - 1);
    set(list, 31, rt::callWith("RK_GetAnchorCB", current, Value(), current, Value(), Value(), Value(), Value(), var));
    set(list, 49, rt::callWith("RK_GetIdDefault", Value(), var, "GET_"));
    if (password)
        set(list, 40, rt::makeArray({true, Value(), false}));
    set(list, 70, rt::makeArray({"RKSAYGET", Value(), Value(), var, "xRow-0.1", "10.0", "", ""}));
}

void addButton(const Value& list, double row, double col, const char* caption, const Value& action,
               bool isDefault = false)
{
    append(list, rt::callWith("RK_GetTemplate", 10));
    set(list, 3, caption);
    set(list, 5, row);
    set(list, 6, col);
    set(list, 9, 8.0);
    set(list, 10, 1.8);
    set(list, 18, action);
    set(list, 21, rt::makeArray({Value(), Value(), Value(), isDefault, false, false, false, false}));
    set(list, 70, rt::makeArray({"RKPUSHBUTTON", Value(), Value(), Value(), "xRow+=2.1", fmt(col), "08.00", "1.8"}));
}

// The server-settings dialog of the start-up, into the program-wide GetList;
// Connect is the default button unless told otherwise.
void buildConnectionDialog(const Value& list, bool connectIsDefault = true)
{
    double xRow = 0.0;
    addSayGet(list, xRow, 0.0, "HostName:", "cHost", "@k");
    addSayGet(list, xRow, 1.1, "NumberPort:", "nPort", "9999");
    addSayGet(list, xRow, 1.1, "UserName:", "cUser", "@k");
    addSayGet(list, xRow, 1.1, "PassWord:", "cPass", "@k", true);
    xRow += 2.1;
    addButton(list, xRow, 1.0, "Connect", rt::compile("{|| RK_ReadGuiEvent(6, GetList)}"), connectIsDefault);
    // XCOL names the column right of Connect, the element added last.
    addButton(list, xRow, rt::callWith("XCOL", list).asDouble() + 1.0, "Cancel",
              rt::compile("{|| RK_ReadGuiEvent(5, GetList)}"));
}

using testread::Step;

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        gui::registerGuiFunctions();
        dlg::registerDialogFunctions();
        gui::clearAppEvents();
        previousHandler = rt::setErrorHandler([this](const rt::Error& e) { errors.push_back(e.message()); });
        rt::publicSet("cHost", rt::padR("localhost", 19));
        rt::publicSet("cUser", rt::padR("postgres", 18));
        rt::publicSet("cPass", rt::padR("", 12));
        rt::publicSet("nPort", 5432);
        list = Value::array();
        rt::publicSet("GetList", list);
        testread::startReadWatchdog(watchdog);
    }
    void TearDown() override
    {
        watchdog.stop();
        rt::setErrorHandler(previousHandler);
        for (const char* name : {"cHost", "cUser", "cPass", "nPort", "GetList"})
            rt::publicRelease(name);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        gui::clearAppEvents();
    }

    // Runs RK_ReadGUI on `readList` while `act` drives the dialog.
    bool read(const Value& readList, std::function<void(QDialog*)> act, dlg::ReadSetup setup = {})
    {
        QTimer::singleShot(0, [act] {
            QDialog* d = dlg::activeDialog();
            ASSERT_NE(d, nullptr);
            act(d);
        });
        setup.getList = readList;
        setup.title = "Connection Server";
        return dlg::readGui(setup);
    }

    bool readConnection(std::function<void(QDialog*)> act)
    {
        buildConnectionDialog(list);
        return read(list, std::move(act));
    }

    QWidget* at(int index) const { return dlg::elementWidget(list, index); }
    QLineEdit* entry(int index) const { return qobject_cast<QLineEdit*>(at(index)); }
    QPushButton* button(int index) const { return qobject_cast<QPushButton*>(at(index)); }

    static void activate(QDialog* d) { ASSERT_TRUE(QTest::qWaitForWindowActive(d)); }

    static void then(std::function<void()> next) { testread::then(std::move(next)); }

    Value list;
    std::vector<std::string> errors;
    rt::ErrorHandler previousHandler;
    QTimer watchdog;
};

TEST_F(Dialogs, ConnectionDialogHasItsTenElements)
{
    std::vector<QString> kinds, texts;
    bool passwordHidden = false, portRight = false;
    QString title;
    const bool ok = readConnection([&](QDialog* d) {
        title = d->windowTitle();
        for (int i = 1; i <= 10; ++i) {
            QWidget* w = at(i);
            kinds.push_back(w ? QString(w->metaObject()->className()) : "none");
            if (auto* l = qobject_cast<QLabel*>(w))
                texts.push_back(l->text());
            else if (auto* e = qobject_cast<QLineEdit*>(w))
                texts.push_back(e->text());
            else if (auto* b = qobject_cast<QPushButton*>(w))
                texts.push_back(b->text());
        }
        passwordHidden = entry(Pass)->echoMode() == QLineEdit::Password;
        portRight = entry(Port)->alignment() & Qt::AlignRight;
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(title, "Connection Server");
    const std::vector<QString> wantKinds = {"QLabel", "QLineEdit", "QLabel", "QLineEdit", "QLabel",
                                            "QLineEdit", "QLabel", "QLineEdit", "QPushButton", "QPushButton"};
    EXPECT_EQ(kinds, wantKinds);
    const std::vector<QString> wantTexts = {"HostName:", "localhost", "NumberPort:", "5432", "UserName:",
                                            "postgres",  "PassWord:", "",            "Connect",   "Cancel"};
    EXPECT_EQ(texts, wantTexts);
    EXPECT_TRUE(passwordHidden);
    EXPECT_TRUE(portRight);
}

TEST_F(Dialogs, TypedValuesAreWrittenBackWithTheirKindAndLength)
{
    const bool ok = readConnection([&](QDialog* d) {
        activate(d);
        QTest::keyClicks(entry(Host), "db.example.org");  // "@k": replaces "localhost"
        QTest::keyClick(entry(Host), Qt::Key_Tab);
        QTest::keyClicks(entry(Port), "5433");
        QTest::keyClick(entry(Port), Qt::Key_Tab);
        QTest::keyClick(entry(User), Qt::Key_Tab);  // left as it was
        QTest::keyClicks(entry(Pass), "secret");
        QTest::keyClick(entry(Pass), Qt::Key_Return);  // the default button, after the field is written
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(rt::publicGet("cHost").str(), rt::padR("db.example.org", 19));
    ASSERT_TRUE(rt::publicGet("nPort").isNum());
    EXPECT_EQ(rt::publicGet("nPort").asInt(), 5433);
    EXPECT_EQ(rt::publicGet("cUser").str(), rt::padR("postgres", 18));
    EXPECT_EQ(rt::publicGet("cPass").str(), rt::padR("secret", 12));
    EXPECT_TRUE(errors.empty());
}

TEST_F(Dialogs, FirstKeyReplacesOnlyWithK)
{
    rt::publicSet("cPlain", rt::padR("abc", 10));
    double xRow = 0.0;
    addSayGet(list, xRow, 0.0, "Plain:", "cPlain", "");
    addSayGet(list, xRow, 1.1, "User:", "cUser", "@k");
    QString plain, user;
    read(list, [&](QDialog* d) {
        activate(d);
        QTest::keyClicks(at(2), "x");  // without "@k" the key goes in at the start
        QTest::keyClick(at(2), Qt::Key_Tab);
        QTest::keyClicks(at(4), "x");
        plain = entry(2)->text();
        user = entry(4)->text();
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_EQ(plain, "xabc");
    EXPECT_EQ(user, "x");
    rt::publicRelease("cPlain");
}

TEST_F(Dialogs, RejectedFirstKeyKeepsTheValue)
{
    QString port;
    readConnection([&](QDialog* d) {
        activate(d);
        QTest::keyClick(entry(Host), Qt::Key_Tab);
        QTest::keyClicks(entry(Port), "x");  // not a digit: the number stays
        port = entry(Port)->text();
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_EQ(port, "5432");
}

TEST_F(Dialogs, EnterAndTabMoveThroughTheFieldsInListOrder)
{
    std::vector<int> seen;
    auto focused = [&](QDialog* d) {
        for (int i = 1; i <= 10; ++i)
            if (at(i) == d->focusWidget())
                return i;
        return 0;
    };
    buildConnectionDialog(list, false);  // no default button: Enter moves on
    const bool ok = read(list, [&](QDialog* d) {
        activate(d);
        seen.push_back(focused(d));
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
        seen.push_back(focused(d));
        QTest::keyClick(d->focusWidget(), Qt::Key_Tab);
        seen.push_back(focused(d));
        QTest::keyClick(d->focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        seen.push_back(focused(d));
        QTest::keyClick(d->focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
        seen.push_back(focused(d));
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
        seen.push_back(focused(d));
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);  // on Connect: presses it
    });
    EXPECT_TRUE(ok);
    const std::vector<int> want = {Host, Port, User, Port, User, Connect};
    EXPECT_EQ(seen, want);
}

struct EndCase {
    const char* name;
    std::function<void(QDialog*, QWidget* connect, QWidget* cancel)> end;
    bool result;
};
void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class ReadEnds : public Dialogs, public ::testing::WithParamInterface<EndCase> {};

TEST_P(ReadEnds, WithTheExpectedResult)
{
    const EndCase& c = GetParam();
    const bool ok = readConnection([&](QDialog* d) { c.end(d, at(Connect), at(Cancel)); });
    EXPECT_EQ(ok, c.result);
    EXPECT_EQ(dlg::activeDialog(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadEnds,
    ::testing::Values(
        EndCase{"ConnectClicked", [](QDialog*, QWidget* c, QWidget*) { QTest::mouseClick(c, Qt::LeftButton); }, true},
        EndCase{"CancelClicked", [](QDialog*, QWidget*, QWidget* c) { QTest::mouseClick(c, Qt::LeftButton); }, false},
        EndCase{"SpaceOnCancel", [](QDialog*, QWidget*, QWidget* c) { QTest::keyClick(c, Qt::Key_Space); }, false},
        EndCase{"EnterOnConnect", [](QDialog*, QWidget* c, QWidget*) { QTest::keyClick(c, Qt::Key_Return); }, true},
        EndCase{"EnterInAFieldPressesConnect",
                [](QDialog* d, QWidget*, QWidget*) {
                    ASSERT_TRUE(QTest::qWaitForWindowActive(d));
                    QTest::keyClick(d->focusWidget(), Qt::Key_Return);
                },
                true},
        EndCase{"EnterOnTheFocusedCancel",
                [](QDialog* d, QWidget*, QWidget* c) {
                    ASSERT_TRUE(QTest::qWaitForWindowActive(d));
                    c->setFocus();
                    QTest::keyClick(c, Qt::Key_Return);
                },
                false},
        EndCase{"EscapeInAField", [](QDialog* d, QWidget*, QWidget*) { QTest::keyClick(d->focusWidget(), Qt::Key_Escape); },
                false},
        EndCase{"WindowClosed", [](QDialog* d, QWidget*, QWidget*) { d->close(); }, false},
        EndCase{"EventSixFromCpp", [](QDialog*, QWidget*, QWidget*) { dlg::readGuiEvent(6, rt::publicGet("GetList")); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Dialogs, CancelAfterLeavingAFieldKeepsWhatWasWritten)
{
    Value hostWhileOpen;
    const bool ok = readConnection([&](QDialog* d) {
        activate(d);
        QTest::keyClicks(entry(Host), "db");
        QTest::keyClick(entry(Host), Qt::Key_Tab);
        then([&] {
            hostWhileOpen = rt::publicGet("cHost");
            QTest::mouseClick(button(Cancel), Qt::LeftButton);
        });
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(hostWhileOpen.str(), rt::padR("db", 19));
    EXPECT_EQ(rt::publicGet("cHost").str(), rt::padR("db", 19));
}

TEST_F(Dialogs, UneditedFieldDoesNotOverwriteAValueSetMeanwhile)
{
    double xRow = 0.0;
    addSayGet(list, xRow, 0.0, "HostName:", "cHost", "@k");
    addButton(list, 2.0, 1.0, "Set", rt::compile("{|| cHost := 'other', RK_ReadGuiEvent(6, GetList)}"));
    const bool ok = read(list, [&](QDialog*) { QTest::mouseClick(at(3), Qt::LeftButton); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(rt::publicGet("cHost").str(), "other");
}

TEST_F(Dialogs, LabelsAndButtonsStandWhereTheirRowsAndColumnsSay)
{
    std::vector<QRect> r(11);
    QSize size;
    readConnection([&](QDialog* d) {
        for (int i = 1; i <= 10; ++i)
            r[std::size_t(i)] = at(i)->geometry();
        size = d->size();
        QTest::keyClick(d, Qt::Key_Escape);
    });
    const double row = dlg::rowPixels();
    const double col = dlg::colPixels();
    ASSERT_GT(row, 0);
    ASSERT_GT(col, 0);
    const int labels[] = {HostLabel, PortLabel, UserLabel, PassLabel};
    for (int i = 1; i < 4; ++i) {
        const QRect& prev = r[std::size_t(labels[i - 1])];
        const QRect& cur = r[std::size_t(labels[i])];
        EXPECT_NEAR(cur.y() - prev.y(), 1.1 * row, 1.0) << "label " << i;
        EXPECT_EQ(cur.x(), prev.x());
        // Its entry stands 0.1 row higher, nine columns to the right.
        const QRect& field = r[std::size_t(labels[i] + 1)];
        EXPECT_NEAR(cur.y() - field.y(), 0.1 * row, 1.0);
        EXPECT_NEAR(field.x() - cur.x(), 9 * col, 1.0);
    }
    EXPECT_NEAR(r[Connect].y() - r[HostLabel].y(), 5.4 * row, 1.0);
    EXPECT_EQ(r[Cancel].y(), r[Connect].y());
    EXPECT_NEAR(r[Connect].width(), 8 * col, 1.0);
    EXPECT_NEAR(r[Connect].height(), 1.8 * row, 1.0);
    EXPECT_NEAR(r[Cancel].x() - r[Connect].right() - 1, col, 1.0);  // one column between them
    for (int i = 1; i <= 10; ++i)
        EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(r[std::size_t(i)])) << "element " << i;
}

TEST_F(Dialogs, NestedRead)
{
    const Value inner = Value::array();
    rt::publicSet("GetInner", inner);
    double xRow = 0.0;
    addSayGet(inner, xRow, 0.0, "UserName:", "cUser", "@k");
    addButton(inner, 2.0, 1.0, "OK", rt::compile("{|| RK_ReadGuiEvent(6, GetInner)}"));

    Value innerResult;
    addButton(list, 0.0, 1.0, "More", rt::makeBlock([&](rt::Args) {
        const Value args[] = {inner, "Inner"};
        innerResult = dlg::readGui(rt::Args(args, 2));
    }));
    addButton(list, 0.0, 10.0, "Close", rt::compile("{|| RK_ReadGuiEvent(5, GetList)}"));

    QDialog* outer = nullptr;
    QDialog* nested = nullptr;
    QDialog* afterInner = nullptr;
    const bool ok = read(list, [&](QDialog* d) {
        outer = d;
        QTest::mouseClick(at(1), Qt::LeftButton);
        then([&] {  // the inner read now runs inside the outer one's action
            nested = dlg::activeDialog();
            QTest::keyClicks(dlg::elementWidget(inner, 2), "admin");
            QTest::mouseClick(dlg::elementWidget(inner, 3), Qt::LeftButton);
            then([&] {
                afterInner = dlg::activeDialog();
                QTest::mouseClick(at(2), Qt::LeftButton);
            });
        });
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(innerResult.isLogical() && innerResult.asBool());
    EXPECT_NE(nested, outer);
    EXPECT_EQ(afterInner, outer);
    EXPECT_EQ(rt::publicGet("cUser").str(), rt::padR("admin", 18));
    rt::publicRelease("GetInner");
}

TEST_F(Dialogs, NonAsciiTextIsTypedAndWrittenBack)
{
    double xRow = 0.0;
    addSayGet(list, xRow, 0.0, "UserName:", "cUser", "@k");
    rt::publicSet("cCity", rt::padR("", 10));
    addSayGet(list, xRow, 1.1, "Ciudad:", "cCity", "@!");
    addButton(list, 3.0, 1.0, "OK", rt::compile("{|| RK_ReadGuiEvent(6, GetList)}"));
    const bool ok = read(list, [&](QDialog* d) {
        activate(d);
        for (const char* ch : {"ñ", "a", "n", "d", "ú"})
            QTest::sendKeyEvent(QTest::Click, at(2), Qt::Key_unknown, QString::fromUtf8(ch), Qt::NoModifier);
        QTest::keyClick(at(2), Qt::Key_Tab);
        for (const char* ch : {"c", "ó", "r", "d", "o", "b", "a"})
            QTest::sendKeyEvent(QTest::Click, at(4), Qt::Key_unknown, QString::fromUtf8(ch), Qt::NoModifier);
        QTest::mouseClick(at(5), Qt::LeftButton);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(rt::publicGet("cUser").str(), rt::padR("ñandú", 18));
    EXPECT_EQ(rt::publicGet("cUser").charLen(), 18u);
    EXPECT_EQ(rt::publicGet("cCity").str(), rt::padR("CÓRDOBA", 10));
    rt::publicRelease("cCity");
}

TEST_F(Dialogs, ListEmptiedDuringAndAfterTheRead)
{
    buildConnectionDialog(list);
    addButton(list, 8.0, 1.0, "Clear", rt::compile("{|| ASize(GetList, 0), RK_ReadGuiEvent(6, GetList)}"));
    const bool ok = read(list, [&](QDialog*) { QTest::mouseClick(at(11), Qt::LeftButton); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(list.asArray().size(), 0u);
    // The emptied list reads again as a dialog without elements.
    EXPECT_FALSE(read(list, [](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); }));
}

TEST_F(Dialogs, ReceiverGetsTheDialogObject)
{
    Value received;
    const Value receiver = rt::makeBlock([&](rt::Args a) { received = rt::argAt(a, 0); });
    dlg::ReadSetup setup;
    setup.dialogReceiver = receiver;
    buildConnectionDialog(list);
    read(list, [](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); }, setup);
    EXPECT_TRUE(rt::isDerivedFrom(received, "RK_XbpDialog"));
}

TEST_F(Dialogs, ActionErrorIsReportedAndTheDialogGoesOn)
{
    addButton(list, 0.0, 1.0, "Fail", rt::compile("{|| 1 + 'a'}"));
    addButton(list, 0.0, 10.0, "OK", rt::compile("{|| RK_ReadGuiEvent(6, GetList)}"));
    const bool ok = read(list, [&](QDialog*) {
        QTest::mouseClick(at(1), Qt::LeftButton);
        then([&] { QTest::mouseClick(at(2), Qt::LeftButton); });
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(Dialogs, ReadGuiEventWithoutARead)
{
    EXPECT_FALSE(rt::callWith("RK_ReadGuiEvent", 6, list).asBool());
    EXPECT_THROW(rt::callWith("RK_ReadGuiEvent", 7, list), rt::Error);
}

TEST_F(Dialogs, BadListIsAnError)
{
    EXPECT_THROW(rt::callWith("RK_ReadGUI", "GetList"), rt::Error);
    EXPECT_THROW(rt::callWith("RK_ReadGUI", rt::makeArray({"not a record"})), rt::Error);
    EXPECT_EQ(dlg::activeDialog(), nullptr);
}

}  // namespace
