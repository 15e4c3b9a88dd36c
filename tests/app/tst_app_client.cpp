// The client window on the offscreen platform against the test server's
// database "dxc": its states, its buttons, the search field and the
// helpers it calls by name.
#include "app_harness.h"

#include "app/client.h"
#include "app/dxc.h"
#include "browse/core/browse.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/gui/events.h"
#include "platform/gui/xbppart.h"
#include "platform/pgsql/collation.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/dataobject.h"
#include "platform/popup/popup.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace apptest;

namespace {

using Lines = std::vector<std::string>;
using Window = app::ClientWindow;

// The clients, ordered by name: ABEL 3, FABIO 5, JUAN 4, LUISA 6, MARCOS 2, MARIA 1.
// dxcam01e has partners for 000001 and 000003 only.
const char* kClients =
    "INSERT INTO dxcam01 (codcli, nombre, apell, direccion, direccion2, feching, datacredit, estatus) VALUES "
    "('000001', 'MARIA', 'PEREZ', 'CALLE 1', '', '2020-03-15', true, 'N'),"
    "('000002', 'MARCOS', 'GOMEZ', 'CALLE 2', '', '2021-01-02', false, 'N'),"
    "('000003', 'ABEL', 'RUIZ', 'CALLE 3', '', '2020-03-15', false, 'C'),"
    "('000004', 'JUAN', 'CABRERA', 'CALLE 4', '', '2019-07-30', true, 'N'),"
    "('000005', 'FABIO', 'DIAZ', 'CALLE 5', '', '2022-11-11', false, 'N'),"
    "('000006', 'LUISA', 'MARTIN', 'CALLE 6', '', NULL, false, 'N')";

rt::Value field(const char* name, const char* type, int len, int dec = 0)
{
    return rt::makeArray({name, type, len, dec});
}

QWidget* widgetOf(const rt::Value& object)
{
    const gui::XbpPart* p = gui::asPart(object);
    return p ? p->widget() : nullptr;
}

QLineEdit* lineEditOf(QWidget* w)
{
    if (!w)
        return nullptr;
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e;
    return w->findChild<QLineEdit*>();
}

std::string text(const rt::Value& v) { return v.isChar() ? rt::alltrim(v.asString()) : rt::var2char(v); }

// A step of a script that drives the running window.
struct Ui {
    Window& w;
    QDialog& d;

    QLineEdit* entry(const char* id) const
    {
        QLineEdit* e = lineEditOf(widgetOf(dlg::getObject(w.GetList, id)));
        EXPECT_TRUE(e) << "no entry " << id;
        return e;
    }
    QPushButton* button(const QString& caption) const
    {
        for (QPushButton* b : d.findChildren<QPushButton*>())
            if (b->text().remove('&').replace('\n', ';') == caption)
                return b;
        ADD_FAILURE() << "no button " << caption.toStdString();
        return nullptr;
    }
    bool shown(const QString& caption) const
    {
        QPushButton* b = button(caption);
        return b && b->isVisibleTo(&d);
    }
    bool enabled(const QString& caption) const
    {
        QPushButton* b = button(caption);
        return b && b->isEnabled();
    }
    void click(const QString& caption) const
    {
        if (QPushButton* b = button(caption))
            QTest::mouseClick(b, Qt::LeftButton);
    }
    void type(const char* id, const QString& keys) const
    {
        if (QLineEdit* e = entry(id)) {
            e->setFocus();
            QTest::keyClicks(e, keys);
        }
    }
    // Any text, accents included, one key event per character.
    void typeText(const char* id, const QString& keys) const
    {
        if (QLineEdit* e = entry(id)) {
            e->setFocus();
            for (const QChar c : keys)
                QTest::sendKeyEvent(QTest::Click, e, c.unicode() < 128 ? Qt::Key(QChar(c).toUpper().unicode())
                                                                        : Qt::Key_unknown,
                                    QString(c), Qt::NoModifier);
        }
    }
    void key(const char* id, Qt::Key k) const
    {
        if (QLineEdit* e = entry(id)) {
            e->setFocus();
            QTest::keyClick(e, k);
        }
    }
    void setText(const char* id, const QString& value) const
    {
        if (QLineEdit* e = entry(id)) {
            e->setFocus();
            e->selectAll();
            QTest::keyClick(e, Qt::Key_Delete);
            QTest::keyClicks(e, value);
            QTest::keyClick(e, Qt::Key_Tab);
        }
    }
    // The next question box is answered with a click on Sí or No as soon as
    // it opens; its text goes to *asked.
    void answerNext(bool yes, std::string* asked) const
    {
        auto* poll = new QTimer(&d);
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, yes, asked] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll->stop();
            poll->deleteLater();
            *asked = box->text().toStdString();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == (yes ? QString::fromUtf8("Sí") : QString("No")))
                    QTest::mouseClick(b, Qt::LeftButton);
        });
        poll->start();
    }
    [[nodiscard]] std::string record(const char* member) const { return text(rt::getMember(w.app(2), member)); }
    [[nodiscard]] std::string browseSet(const char* member) const { return text(rt::getMember(w.app(3), member)); }
    QComboBox* combo() const { return d.findChild<QComboBox*>(); }
    QCheckBox* check() const { return d.findChild<QCheckBox*>(); }
};
using Step = std::function<void(Ui&)>;

class ClientWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        app::registerProgramFunctions();
    }

    void SetUp() override
    {
        DXC_REQUIRE_DATABASE();
        QSettings("dxc", "client").clear();  // each test starts as a first run
        dropDxc();
        {
            PGconn* admin = testpg::connectTo("postgres");
            ASSERT_TRUE(admin);
            testpg::exec(admin, "CREATE DATABASE dxc");
            PQfinish(admin);
        }
        rt::publicSet("cHost", rt::padR(envOr("PGHOST", "127.0.0.1"), 19));
        rt::publicSet("cUser", rt::padR(envOr("PGUSER", "postgres"), 18));
        rt::publicSet("cPass", rt::replicate(" ", 12));
        rt::publicSet("nPort", std::atoi(envOr("PGPORT", "5432").c_str()));
        rt::setCentury(1);
        rt::setDateFormat("dd-mm-yyyy");

        // The tables as the import makes them: the DBF structure plus "foto".
        pgsql::Connection conn;
        ASSERT_TRUE(conn.connect(envOr("PGHOST", "127.0.0.1"), "dxc", envOr("PGUSER", "postgres"), "",
                                 std::atoi(envOr("PGPORT", "5432").c_str())));
        ASSERT_TRUE(conn.createTable(
            "dxcam01",
            rt::makeArray({field("CODCLI", "C", 6), field("NOMBRE", "C", 30), field("APELL", "C", 30),
                           field("DIRECCION", "C", 40), field("DIRECCION2", "C", 40), field("FECHING", "D", 8),
                           field("DATACREDIT", "L", 1), field("ESTATUS", "C", 1), field("ID_USUARIO", "C", 10),
                           field("ID_FECHA", "D", 8), field("ID_HORA", "C", 11)})))
            << conn.errorText();
        ASSERT_TRUE(conn.createTable("dxcam01e", rt::makeArray({field("CODCLI", "C", 6), field("TELEFONO", "C", 15)})))
            << conn.errorText();
        ASSERT_TRUE(conn.execute("ALTER TABLE dxcam01 ADD COLUMN foto text"));
        ASSERT_TRUE(conn.execute(kClients)) << conn.errorText();
        ASSERT_TRUE(
            conn.execute("INSERT INTO dxcam01e (codcli, telefono) VALUES ('000001', '555'), ('000003', '556')"));
        conn.close();
        db_.reset(connectDxc());
        ASSERT_TRUE(db_);
    }

    static std::string envOr(const char* name, const char* fallback)
    {
        const char* v = std::getenv(name);
        return v && *v ? v : fallback;
    }

    // Runs Test and plays the steps once the window is shown, each when
    // the dialog's queue is empty; then leaves through Exit.
    void run(std::vector<Step> steps, const rt::Value& xCodCli = {}, bool scriptEnds = true)
    {
        std::size_t next = 0;
        int idleTicks = 0;
        int loopLevel = 0;
        bool ended = false;
        QDialog* mine = nullptr;
        QTimer tick;
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const auto w = app::runningClient();
            QDialog* d = dlg::activeDialog();
            if (ended || !w || !d || !d->isVisible() || gui::appEventCount() > 0)
                return;
            if (!mine) {
                mine = d;
                loopLevel = QThread::currentThread()->loopLevel();
            }
            if (d != mine)
                return;  // a lookup of the window is open
            // A question or message box waits for its answer, or its answer
            // has not reached the action that asked yet.
            if (QThread::currentThread()->loopLevel() > loopLevel ||
                (QApplication::activeModalWidget() && QApplication::activeModalWidget() != d))
                return;
            if (next < steps.size() && !HasFatalFailure()) {
                Ui ui{*w, *d};
                steps[next++](ui);
                return;
            }
            // A window that must end by itself gets a second to do so.
            if (!scriptEnds && ++idleTicks < 200)
                return;
            ended = true;
            dlg::readGuiEvent(6, w->GetList);
        });
        tick.start();
        rt::callWith("Test", rt::Value(), xCodCli);
        if (scriptEnds)
            EXPECT_TRUE(ended) << "the window ended before its script";
        else
            EXPECT_FALSE(ended) << "the window did not end by itself";
        EXPECT_EQ(next, steps.size()) << "steps left unplayed";
        EXPECT_FALSE(app::runningClient());
    }

    std::string one(const std::string& sql) { return testpg::value(db_.get(), sql); }

    Conn db_;
    dlg::MessageCapture messages_;
};

TEST_F(ClientWindowTest, ViewingAtStartThenNewEnablesFieldsAsTheCodeArrives)
{
    rt::Value recordObject;
    std::string asked;
    run({
        [&](Ui& ui) {
            recordObject = ui.w.app(2);
            // The form shows the client under the browse's cursor: the first by name.
            EXPECT_EQ(ui.record("codcli"), "000003");
            EXPECT_EQ(ui.browseSet("codcli"), "000003");
            EXPECT_EQ(ui.entry("GET_CODCLI")->text().trimmed(), "000003");
            for (const char* id :
                 {"GET_CODCLI", "GET_NOMBRE", "GET_APELL", "GET_DIRECCION", "GET_DIRECCION2", "GET_FECHING"})
                EXPECT_FALSE(ui.entry(id)->isEnabled()) << id;
            EXPECT_FALSE(ui.check()->isEnabled());
            EXPECT_FALSE(ui.combo()->isEnabled());
            EXPECT_TRUE(ui.entry("GET_CBUSCAR")->isEnabled());
            EXPECT_TRUE(ui.shown("Exit"));
            EXPECT_FALSE(ui.shown("Cancel"));
            EXPECT_FALSE(ui.enabled("Save"));
            for (const char* b :
                 {"New", "Edit", "Delete", "Refresh;Tabla", "Refresh;Picture", "Refresh;Browse", "Siguiente", "Like"})
                EXPECT_TRUE(ui.enabled(b)) << b;
            EXPECT_FALSE(ui.check()->isChecked()) << "000003 has no credit";
            // The browse shows the registration date of its row (ABEL).
            ASSERT_EQ(rt::sendWith(ui.w.oBrowse, "colCount").asInt(), 5);
            const rt::Value date = rt::eval(rt::getMember(rt::sendWith(ui.w.oBrowse, "getColumn", 5), "dataLink"));
            EXPECT_EQ(text(date), "15-03-2020");
            ui.click("New");
        },
        [](Ui& ui) {
            EXPECT_TRUE(ui.w.editing());
            EXPECT_FALSE(ui.shown("Exit"));
            EXPECT_TRUE(ui.shown("Cancel"));
            EXPECT_TRUE(ui.entry("GET_CODCLI")->isEnabled());
            EXPECT_TRUE(ui.entry("GET_NOMBRE")->isEnabled());
            EXPECT_TRUE(ui.entry("GET_CODCLI")->hasFocus());
            for (const char* id : {"GET_APELL", "GET_DIRECCION", "GET_DIRECCION2", "GET_FECHING"})
                EXPECT_FALSE(ui.entry(id)->isEnabled()) << id;
            EXPECT_FALSE(ui.check()->isEnabled());
            EXPECT_FALSE(ui.combo()->isEnabled());
            EXPECT_TRUE(ui.enabled("Save")) << "to say that the code is missing";
            ui.type("GET_CODCLI", "000007");
            ui.key("GET_CODCLI", Qt::Key_Tab);
        },
        [&](Ui& ui) {
            EXPECT_EQ(ui.record("codcli"), "000007");
            for (const char* id : {"GET_APELL", "GET_DIRECCION", "GET_DIRECCION2", "GET_FECHING"})
                EXPECT_TRUE(ui.entry(id)->isEnabled()) << id;
            EXPECT_TRUE(ui.check()->isEnabled());
            EXPECT_TRUE(ui.combo()->isEnabled());
            EXPECT_TRUE(ui.enabled("Save"));
            ui.answerNext(true, &asked);
            ui.click("Cancel");
        },
        [&](Ui& ui) {
            EXPECT_EQ(asked, "¿Descartar los cambios del cliente?") << "Cancel drops typed work only when told";
            EXPECT_FALSE(ui.w.editing());
            EXPECT_TRUE(ui.shown("Exit"));
            EXPECT_FALSE(ui.shown("Cancel"));
            EXPECT_FALSE(ui.entry("GET_CODCLI")->isEnabled());
            EXPECT_EQ(ui.record("codcli"), "000003");
        },
    });
    EXPECT_EQ(one("SELECT count(*) FROM dxcam01"), "6") << "Cancel wrote nothing";
    // The window let go of its objects: only this copy holds the record object.
    ASSERT_TRUE(recordObject.isObject());
    EXPECT_EQ(recordObject.cell()->refCount(), 1);
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(ClientWindowTest, AnEmptyTableLeavesNewEditAndDeleteDisabled)
{
    testpg::exec(db_.get(), "DELETE FROM dxcam01");
    run({[](Ui& ui) {
        for (const char* b : {"New", "Edit", "Delete", "Refresh;Tabla", "Refresh;Browse", "Save"})
            EXPECT_FALSE(ui.enabled(b)) << b;
        EXPECT_TRUE(ui.enabled("Refresh;Picture"));
        EXPECT_TRUE(ui.shown("Exit"));
    }});
}

TEST_F(ClientWindowTest, SaveWritesTheClientWithAuditColumnsAndAwkwardText)
{
    run({
        [](Ui& ui) { ui.click("New"); },
        [](Ui& ui) { ui.setText("GET_CODCLI", "000010"); },
        [](Ui& ui) { ui.setText("GET_NOMBRE", "O'NEIL 100%_X"); },
        [](Ui& ui) {
            ui.setText("GET_APELL", "D\\ARCY");
            ui.click("Save");
        },
        [](Ui& ui) {
            EXPECT_FALSE(ui.w.editing());
            EXPECT_TRUE(ui.shown("Exit"));
            EXPECT_EQ(ui.record("codcli"), "000010");
            EXPECT_GT(rt::sendWith(ui.w.app(2), "recno").asInt(), 6) << "the new row is current";
            ui.click("Refresh;Browse");
        },
        // The saved name is found again by seek-as-you-type, quote included.
        [](Ui& ui) { ui.type("GET_CBUSCAR", "O'N"); },
        [](Ui& ui) {
            EXPECT_EQ(ui.browseSet("nombre"), "O'NEIL 100%_X");
            EXPECT_EQ(text(ui.w.cBuscar), "O'N");
        },
    });
    EXPECT_EQ(one("SELECT nombre || '|' || apell FROM dxcam01 WHERE codcli = '000010'"), "O'NEIL 100%_X|D\\ARCY");
    EXPECT_EQ(one("SELECT rtrim(id_usuario) FROM dxcam01 WHERE codcli = '000010'"), "DXC");
    EXPECT_EQ(one("SELECT id_fecha = current_date FROM dxcam01 WHERE codcli = '000010'"), "t");
    const QString hour = QString::fromStdString(one("SELECT rtrim(id_hora) FROM dxcam01 WHERE codcli = '000010'"));
    EXPECT_TRUE(QRegularExpression("^(1[0-2]|[ 0]?[1-9]):[0-5]\\d:[0-5]\\d [ap]m$").match(hour).hasMatch())
        << hour.toStdString();
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(ClientWindowTest, TheComboBoxReordersTheBrowseWhileEditing)
{
    run({
        [](Ui& ui) {
            EXPECT_EQ(text(ui.w.app(6)), "nombre");
            EXPECT_EQ(ui.browseSet("nombre"), "ABEL");
            EXPECT_EQ(ui.entry("GET_CBUSCAR")->placeholderText(), "Buscar por Nombre");
            // Viewing: the combo box is disabled and drawn so (greyed text).
            const QPalette& look = ui.combo()->palette();
            EXPECT_FALSE(ui.combo()->isEnabled());
            for (auto role : {QPalette::Text, QPalette::ButtonText})
                EXPECT_NE(look.color(QPalette::Disabled, role), look.color(QPalette::Active, role)) << role;
            ui.click("Edit");
        },
        [](Ui& ui) {
            EXPECT_TRUE(ui.entry("GET_NOMBRE")->hasFocus());
            QComboBox* c = ui.combo();
            ASSERT_TRUE(c->isEnabled());
            // Captions, while aApp[6] keeps the column name.
            ASSERT_EQ(c->currentText(), "Nombre");
            ASSERT_EQ(c->findText(QString::fromUtf8("Código")), c->currentIndex() - 1);
            EXPECT_EQ(c->itemText(0), "Registro");
            EXPECT_GE(c->findText(QString::fromUtf8("Dirección 2")), 0);
            EXPECT_EQ(c->findText("codcli"), -1);
            c->setFocus();
            QTest::keyClick(c, Qt::Key_Up);
        },
        [](Ui& ui) {
            EXPECT_EQ(text(ui.w.app(6)), "codcli");
            EXPECT_EQ(ui.combo()->currentText(), QString::fromUtf8("Código"));
            EXPECT_EQ(text(rt::sendWith(ui.w.app(3), "sort")), "codcli");
            EXPECT_EQ(ui.browseSet("codcli"), "000003") << "still on the form's client";
            EXPECT_EQ(ui.entry("GET_CBUSCAR")->placeholderText(), QString::fromUtf8("Buscar por Código"));
            ui.click("Cancel");
        },
    });
}

TEST_F(ClientWindowTest, SeekAsYouTypeFollowsTheSearchTextAndNavigationKeysStopAtTheEnds)
{
    run({
        [](Ui& ui) {
            EXPECT_EQ(ui.browseSet("nombre"), "ABEL");
            ui.key("GET_CBUSCAR", Qt::Key_Up);  // already on the first row
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.browseSet("nombre"), "ABEL");
            EXPECT_EQ(rt::sendWith(ui.w.app(3), "getNum").asInt(), 1);
            ui.key("GET_CBUSCAR", Qt::Key_Down);
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.browseSet("nombre"), "FABIO");
            ui.type("GET_CBUSCAR", "mar");
        },
        [](Ui& ui) {
            EXPECT_EQ(text(ui.w.cBuscar), "MAR");
            EXPECT_EQ(ui.browseSet("nombre"), "MARCOS");
            ui.type("GET_CBUSCAR", "i");
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.browseSet("nombre"), "MARIA");
            ui.key("GET_CBUSCAR", Qt::Key_Backspace);
        },
        [](Ui& ui) {
            EXPECT_EQ(text(ui.w.cBuscar), "MAR");
            EXPECT_EQ(ui.browseSet("nombre"), "MARCOS");
            EXPECT_TRUE(ui.entry("GET_CBUSCAR")->hasFocus());
            ui.type("GET_CBUSCAR", "X");  // not found: the set stays
        },
        [](Ui& ui) { EXPECT_EQ(ui.browseSet("nombre"), "MARCOS"); },
    });
}

TEST_F(ClientWindowTest, LikeFiltersTheRecordObjectAndAnEmptyTextJoinsTheSecondTable)
{
    run({
        [](Ui& ui) { ui.type("GET_CBUSCAR", "ab"); },
        [](Ui& ui) { ui.click("Like"); },
        [](Ui& ui) {
            // "%AB%" on nombre: ABEL and FABIO, in the record object's recno order.
            EXPECT_EQ(rt::sendWith(ui.w.app(2), "LastRec").asInt(), 2);
            EXPECT_EQ(ui.record("codcli"), "000003");
            EXPECT_TRUE(rt::isEmpty(ui.w.cBuscar));
            EXPECT_TRUE(ui.entry("GET_CBUSCAR")->text().trimmed().isEmpty());
            EXPECT_EQ(ui.entry("GET_CODCLI")->text().trimmed(), "000003");
            ui.click("Siguiente");
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.record("codcli"), "000005");
            EXPECT_TRUE(ui.entry("GET_CBUSCAR")->hasFocus());
            ui.click("Like");
        },
        [](Ui& ui) {
            // Only the clients with a partner in dxcam01e, by name.
            EXPECT_EQ(rt::sendWith(ui.w.app(2), "LastRec").asInt(), 2);
            rt::sendWith(ui.w.app(2), "GoTop");
            EXPECT_EQ(ui.record("codcli"), "000003");
            rt::sendWith(ui.w.app(2), "SQLViewSkip", 1);
            EXPECT_EQ(ui.record("codcli"), "000001");
        },
    });
}

TEST_F(ClientWindowTest, AnEmptyCodeLeftWithEnterIsRefusedAndWithTabAccepted)
{
    run({
        [](Ui& ui) { ui.click("New"); },
        [](Ui& ui) { ui.key("GET_CODCLI", Qt::Key_Return); },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 1u);
            EXPECT_EQ(messages_.messages[0].text, "Codigo de Producto no Puede Estar en Blanco, Verifique...");
            EXPECT_TRUE(ui.entry("GET_CODCLI")->hasFocus());
            EXPECT_EQ(rt::callWith("RK_ReadGuiLastKey", ui.w.GetList).asInt(), 0);
            ui.key("GET_CODCLI", Qt::Key_Tab);
        },
        [&](Ui& ui) {
            EXPECT_EQ(messages_.messages.size(), 1u);
            EXPECT_FALSE(ui.entry("GET_CODCLI")->hasFocus());
            // A code another client holds is said at once, naming it.
            ui.setText("GET_CODCLI", "4");
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 2u);
            EXPECT_EQ(messages_.messages[1].text, "El código 000004 ya es del cliente 000004 JUAN CABRERA. Use otro código.");
            EXPECT_EQ(ui.record("codcli"), "000004") << "padded as the table keeps codes";
            EXPECT_EQ(ui.record("nombre"), "") << "the new client is not replaced by that one";
        },
    });
}

TEST_F(ClientWindowTest, ChoosingARowInTheBrowseShowsThatClient)
{
    run({
        [](Ui& ui) { ui.type("GET_CBUSCAR", "FA"); },
        [](Ui& ui) {
            ASSERT_EQ(ui.browseSet("codcli"), "000005");
            QWidget* grid = widgetOf(ui.w.oBrowse);
            ASSERT_TRUE(grid);
            grid->setFocus();
            QWidget* focused = QApplication::focusWidget();
            ASSERT_TRUE(focused && (focused == grid || grid->isAncestorOf(focused)));
            QTest::keyClick(focused, Qt::Key_Return);
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.record("codcli"), "000005");
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "FABIO");
            EXPECT_FALSE(ui.w.editing());
        },
    });
}

// Paged far past the rows the data object keeps at once, the browse set
// stands on the row under the browse's cursor, so choosing it shows that
// client and not a neighbour.
TEST_F(ClientWindowTest, AfterPagingTheChosenRowIsTheOneUnderTheCursor)
{
    ASSERT_TRUE(testpg::exec(db_.get(), "INSERT INTO dxcam01 (codcli, nombre, apell) SELECT lpad(i::text, 6, '0'), "
                                        "'N' || lpad(i::text, 5, '0'), 'X' FROM generate_series(100, 1300) i"));
    auto grid = [](Ui& ui) {
        QWidget* g = widgetOf(ui.w.oBrowse);
        g->setFocus();
        return QApplication::focusWidget();
    };
    std::string shown;
    run({
        [&](Ui& ui) {
            for (int i = 0; i < 60; ++i)
                QTest::keyClick(grid(ui), Qt::Key_PageDown);
        },
        [&](Ui& ui) {
            QTest::keyClick(grid(ui), Qt::Key_Up);
            QTest::keyClick(grid(ui), Qt::Key_Up);
        },
        [&](Ui& ui) {
            auto* b = gui::asBrowse(ui.w.oBrowse);
            ASSERT_TRUE(b);
            shown = b->columnAt(2)->dataGroup()->cellText(b->rowPos()).trimmed().toStdString();
            EXPECT_EQ(ui.browseSet("codcli"), shown) << "the browse set stands on the cursor row";
            QTest::keyClick(grid(ui), Qt::Key_Return);
        },
        [&](Ui& ui) { EXPECT_EQ(ui.record("codcli"), shown); },
    });
    EXPECT_GT(std::stoi(shown), 600) << "paged well into the table";
}

// After a Like search the record object holds only the matches; a row
// chosen in the browse outside them still shows that client.
TEST_F(ClientWindowTest, AChosenRowOutsideALikeSearchStillShowsThatClient)
{
    run({
        [](Ui& ui) { ui.type("GET_CBUSCAR", "ab"); },
        [](Ui& ui) { ui.click("Like"); },
        [](Ui& ui) {
            ASSERT_EQ(rt::sendWith(ui.w.app(2), "LastRec").asInt(), 2);
            ui.type("GET_CBUSCAR", "JU");
        },
        [](Ui& ui) {
            ASSERT_EQ(ui.browseSet("codcli"), "000004");
            QWidget* grid = widgetOf(ui.w.oBrowse);
            grid->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.record("codcli"), "000004");
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "JUAN");
            EXPECT_EQ(rt::sendWith(ui.w.app(2), "LastRec").asInt(), 6) << "the whole table again";
        },
    });
}

// The password typed into the settings dialog is not kept while the window
// runs: the window's connection was its last use.
TEST_F(ClientWindowTest, ThePasswordIsGoneOnceTheWindowIsConnected)
{
    std::ifstream passFile(envOr("PGPASSFILE", ""));
    std::string line;
    if (!std::getline(passFile, line) || std::count(line.begin(), line.end(), ':') != 4)
        GTEST_SKIP() << "no password file to take the password from";
    const std::string password = line.substr(line.rfind(':') + 1);
    rt::publicSet("cPass", rt::padR(password, std::max<std::size_t>(password.size(), 12)));
    std::string during;
    run({[&](Ui&) { during = rt::var2char(rt::publicGet("cPass")); }});
    EXPECT_FALSE(during.empty());
    EXPECT_TRUE(rt::alltrim(during).empty()) << "the password was kept";
}

TEST_F(ClientWindowTest, AConflictingSaveKeepsTheUsersEdit)
{
    std::string asked;
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [&](Ui& ui) {
            ui.setText("GET_NOMBRE", "MARIA JOSE");
            // Another program changes the same client meanwhile.
            testpg::exec(db_.get(), "UPDATE dxcam01 SET apell = 'OTRO' WHERE codcli = '000001'");
            ui.click("Save");
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 1u);
            EXPECT_NE(messages_.messages[0].text.find("modificado por otro usuario"), std::string::npos)
                << messages_.messages[0].text;
            EXPECT_TRUE(ui.w.editing());
            EXPECT_TRUE(ui.shown("Cancel"));
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "MARIA JOSE");
            ui.answerNext(true, &asked);
            ui.click("Cancel");
        },
        [](Ui& ui) {
            // The client as it is stored now, read again.
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "MARIA");
            EXPECT_EQ(ui.entry("GET_APELL")->text().trimmed(), "OTRO");
        },
    }, "000001");
    EXPECT_EQ(one("SELECT rtrim(nombre) || '|' || rtrim(apell) FROM dxcam01 WHERE codcli = '000001'"), "MARIA|OTRO");
}

TEST_F(ClientWindowTest, ALostServerIsReportedTheEditKeptAndTheNextSaveReconnects)
{
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [&](Ui& ui) {
            ui.setText("GET_NOMBRE", "MARIA LUISA");
            testpg::exec(db_.get(),
                         "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                         "WHERE datname = 'dxc' AND pid <> pg_backend_pid()");
            ui.click("Save");
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 1u);
            EXPECT_EQ(messages_.messages[0].text.rfind("Se perdió la conexión con el servidor.", 0), 0u)
                << messages_.messages[0].text;
            EXPECT_TRUE(ui.w.editing());
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "MARIA LUISA");
            EXPECT_EQ(ui.record("nombre"), "MARIA LUISA");
            // Leaving the unchanged code for Save must not reload the row.
            EXPECT_TRUE(ui.entry("GET_CODCLI")->hasFocus());
            ui.click("Save");
        },
        [&](Ui& ui) {
            EXPECT_EQ(messages_.messages.size(), 1u);
            EXPECT_FALSE(ui.w.editing());
        },
    }, "000001");
    EXPECT_EQ(one("SELECT rtrim(nombre) FROM dxcam01 WHERE codcli = '000001'"), "MARIA LUISA");
}

TEST_F(ClientWindowTest, TheRecordToolbarMovesTheFormAndEndsEditing)
{
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [](Ui& ui) {
            QWidget* group = widgetOf(ui.w.oMyGroup1);
            ASSERT_TRUE(group);
            QPushButton* next = nullptr;
            for (QPushButton* b : group->findChildren<QPushButton*>())
                if (b->toolTip() == "Siguiente")
                    next = b;
            ASSERT_TRUE(next);
            QTest::mouseClick(next, Qt::LeftButton);
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.record("codcli"), "000002");
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "MARCOS");
            EXPECT_FALSE(ui.w.editing());
            EXPECT_TRUE(ui.shown("Exit"));
        },
    }, "000001");
}

TEST_F(ClientWindowTest, ThePictureTakesAClickOnlyWhileEditing)
{
    const std::string png = scratch("picture") + "/red.png";
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(png)));
    int asked = 0;
    const popup::ImageChooser previous = popup::setImageChooser([&] {
        ++asked;
        return png;
    });
    const auto clickPicture = [](Ui& ui) {
        QWidget* picture = widgetOf(ui.w.app(7));
        ASSERT_TRUE(picture);
        QTest::mouseClick(picture, Qt::LeftButton);
    };
    run({
        clickPicture,
        [&](Ui& ui) {
            EXPECT_EQ(asked, 0) << "viewing: the picture stays";
            ui.click("Edit");
        },
        clickPicture,
        [&](Ui& ui) {
            EXPECT_EQ(asked, 1);
            ui.click("Save");
        },
    }, "000001");
    popup::setImageChooser(previous);
    EXPECT_EQ(one("SELECT left(foto, 15) FROM dxcam01 WHERE codcli = '000001'"), "data:image/png;");
}

TEST_F(ClientWindowTest, DeleteRemovesTheCurrentClientAndTheRefreshButtonsRereadTheTable)
{
    std::string asked;
    run({
        [&](Ui& ui) {
            ASSERT_EQ(ui.record("codcli"), "000001");
            ui.answerNext(true, &asked);
            ui.click("Delete");
        },
        [&](Ui& ui) {
            EXPECT_EQ(asked, "¿Borrar el cliente 000001 MARIA PEREZ y sus datos de dxcam01e?");
            EXPECT_EQ(one("SELECT count(*) FROM dxcam01 WHERE codcli = '000001'"), "0");
            EXPECT_EQ(one("SELECT count(*) FROM dxcam01e WHERE codcli = '000001'"), "0") << "its second row went too";
            EXPECT_EQ(one("SELECT count(*) FROM dxcam01e"), "1");
            EXPECT_EQ(ui.record("codcli"), "000002") << "the next client is current";
            EXPECT_EQ(ui.entry("GET_CODCLI")->text().trimmed(), "000002");
            EXPECT_FALSE(ui.w.editing());
            // Another program renames the client on show; the table is read again.
            testpg::exec(db_.get(), "UPDATE dxcam01 SET nombre = 'MARCO' WHERE codcli = '000002'");
            ui.click("Refresh;Tabla");
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "MARCO");
            ui.click("Refresh;Browse");
        },
        [](Ui& ui) {
            EXPECT_EQ(rt::sendWith(ui.w.app(3), "LastRec").asInt(), 5);
            ui.type("GET_CBUSCAR", "MARI");
        },
        [](Ui& ui) { EXPECT_NE(ui.browseSet("nombre"), "MARIA") << "the deleted client is gone from the browse"; },
    }, "000001");
    EXPECT_EQ(one("SELECT count(*) FROM dxcam01"), "5");
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(ClientWindowTest, TheCreditBoxIsSavedWithTheClient)
{
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [](Ui& ui) {
            ASSERT_TRUE(ui.check()->isChecked());
            ASSERT_TRUE(ui.check()->isEnabled());
            QTest::mouseClick(ui.check(), Qt::LeftButton, {}, QPoint(5, ui.check()->height() / 2));
        },
        [](Ui& ui) {
            EXPECT_FALSE(ui.check()->isChecked());
            ui.click("Save");
        },
        [](Ui& ui) {
            EXPECT_FALSE(ui.w.editing());
            EXPECT_FALSE(ui.check()->isChecked());
        },
    }, "000001");
    EXPECT_EQ(one("SELECT datacredit FROM dxcam01 WHERE codcli = '000001'"), "f");
}

TEST_F(ClientWindowTest, StartingOnAClientCode)
{
    run({[](Ui& ui) { EXPECT_EQ(ui.record("codcli"), "000004"); }}, "000004");
}

TEST_F(ClientWindowTest, WithoutItsConnectionOrItsTableTheWindowDoesNotOpen)
{
    bool shown = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (QDialog* d = dlg::activeDialog()) {
            shown = true;
            d->reject();
        }
    });
    look.start(5);
    rt::publicSet("cUser", rt::padR("no_such_user_here", 18));
    EXPECT_EQ(rt::callWith("Test").kind(), rt::Kind::Logical);
    rt::publicSet("cUser", rt::padR(envOr("PGUSER", "postgres"), 18));
    testpg::exec(db_.get(), "DROP TABLE dxcam01");
    const rt::Value noTable = rt::callWith("Test");
    EXPECT_TRUE(noTable.isLogical() && !noTable.asBool());
    EXPECT_FALSE(shown);
    ASSERT_EQ(messages_.messages.size(), 2u);
    EXPECT_EQ(messages_.messages[0].text.rfind("No se pudo conectar con el servidor. El usuario o la contraseña", 0), 0u)
        << messages_.messages[0].text;
    EXPECT_EQ(messages_.messages[1].text.rfind("La base de datos dxc no tiene la tabla de clientes dxcam01.", 0), 0u)
        << messages_.messages[1].text;
    EXPECT_FALSE(app::runningClient());
}

// ------------------------------------------------------------------ typed work is not lost unasked

// Escape (a real key to the dialog) and closing the window, with changes typed.
TEST_F(ClientWindowTest, EscapeOrClosingWithChangesAsksAndNoKeepsTheForm)
{
    std::string asked;
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [&](Ui& ui) {
            // Typed, not yet written back: the field still has the focus.
            ui.type("GET_NOMBRE", "JOSE");  // the first key replaces the name (@K)
            ui.answerNext(false, &asked);
            QTest::keyClick(ui.entry("GET_NOMBRE"), Qt::Key_Escape);
        },
        [&](Ui& ui) {
            EXPECT_EQ(asked, "¿Descartar los cambios del cliente?");
            EXPECT_TRUE(ui.w.editing());
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "JOSE");
            asked.clear();
            ui.answerNext(false, &asked);
            ui.d.close();
        },
        [&](Ui& ui) {
            EXPECT_EQ(asked, "¿Descartar los cambios del cliente?");
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "JOSE");
            asked.clear();
            ui.answerNext(true, &asked);
            QTest::keyClick(ui.entry("GET_NOMBRE"), Qt::Key_Escape);
        },
    }, "000001", false);
    EXPECT_EQ(asked, "¿Descartar los cambios del cliente?");
    EXPECT_EQ(one("SELECT rtrim(nombre) FROM dxcam01 WHERE codcli = '000001'"), "MARIA") << "nothing was saved";
}

TEST_F(ClientWindowTest, EscapeWithoutChangesEndsWithoutAQuestion)
{
    std::string asked;
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [&](Ui& ui) {
            ui.answerNext(false, &asked);
            QTest::keyClick(ui.entry("GET_NOMBRE"), Qt::Key_Escape);
        },
    }, "000001", false);
    EXPECT_EQ(asked, "");
}

// A move of the record toolbar and a row chosen in the browse ask too.
TEST_F(ClientWindowTest, MovingToAnotherClientWithChangesAsksFirst)
{
    std::string asked;
    const auto next = [](Ui& ui) {
        for (QPushButton* b : widgetOf(ui.w.oMyGroup1)->findChildren<QPushButton*>())
            if (b->toolTip() == "Siguiente")
                QTest::mouseClick(b, Qt::LeftButton);
    };
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [&](Ui& ui) {
            ui.setText("GET_NOMBRE", "MARIA JOSE");
            ui.answerNext(false, &asked);
            next(ui);
        },
        [&](Ui& ui) {
            EXPECT_EQ(asked, "¿Descartar los cambios del cliente?");
            EXPECT_EQ(ui.record("codcli"), "000001") << "No: the form stays";
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "MARIA JOSE");
            EXPECT_TRUE(ui.w.editing());
            ui.type("GET_CBUSCAR", "JU");
        },
        [&](Ui& ui) {
            ASSERT_EQ(ui.browseSet("codcli"), "000004");
            asked.clear();
            ui.answerNext(true, &asked);
            widgetOf(ui.w.oBrowse)->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        },
        [&](Ui& ui) {
            EXPECT_EQ(asked, "¿Descartar los cambios del cliente?");
            EXPECT_EQ(ui.record("codcli"), "000004") << "Sí: the chosen client";
            EXPECT_FALSE(ui.w.editing());
        },
    }, "000001");
    EXPECT_EQ(one("SELECT rtrim(nombre) FROM dxcam01 WHERE codcli = '000001'"), "MARIA");
}

TEST_F(ClientWindowTest, DeleteAnsweredNoChangesNothing)
{
    std::string asked;
    run({
        [&](Ui& ui) {
            ui.answerNext(false, &asked);
            ui.click("Delete");
        },
        [&](Ui& ui) {
            EXPECT_EQ(asked, "¿Borrar el cliente 000004 JUAN CABRERA?");
            EXPECT_EQ(ui.record("codcli"), "000004");
        },
    }, "000004");
    EXPECT_EQ(one("SELECT count(*) FROM dxcam01"), "6");
}

// 31-02-2024 is refused where it is typed; Save then writes nothing over the date.
TEST_F(ClientWindowTest, ADateThatIsNotADateIsRefusedInItsField)
{
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [](Ui& ui) {
            QLineEdit* date = ui.entry("GET_FECHING");
            ASSERT_TRUE(date->isEnabled());
            date->setFocus();
            date->selectAll();
            QTest::keyClicks(date, "31022024");
            QTest::keyClick(date, Qt::Key_Tab);
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 1u);
            EXPECT_EQ(messages_.messages[0].text, "La fecha \"31-02-2024\" no es válida.");
            EXPECT_TRUE(ui.entry("GET_FECHING")->hasFocus());
            EXPECT_EQ(ui.entry("GET_FECHING")->text(), "31-02-2024");
            EXPECT_EQ(text(rt::getMember(ui.w.app(2), "feching")), "15-03-2020");
            ui.click("Save");
        },
        [&](Ui& ui) {
            EXPECT_TRUE(ui.w.editing()) << "the press behind the refused field did nothing";
            EXPECT_TRUE(ui.entry("GET_FECHING")->hasFocus());
            QLineEdit* date = ui.entry("GET_FECHING");
            date->selectAll();
            QTest::keyClicks(date, "29022024");
            QTest::keyClick(date, Qt::Key_Tab);
        },
        [](Ui& ui) { ui.click("Save"); },
        [](Ui& ui) { EXPECT_FALSE(ui.w.editing()); },
    }, "000001");
    EXPECT_EQ(one("SELECT feching FROM dxcam01 WHERE codcli = '000001'"), "2024-02-29");
}

// ------------------------------------------------------------------ failures said in the window

// While the server refuses new sessions every Save says so, not only the first.
TEST_F(ClientWindowTest, EverySaveWhileTheServerIsGoneSaysSo)
{
    PGconn* admin = testpg::connectTo("postgres");
    ASSERT_TRUE(admin);
    const auto allow = [admin](bool on) {
        testpg::exec(admin, std::string("ALTER DATABASE dxc ALLOW_CONNECTIONS ") + (on ? "true" : "false"));
    };
    const auto cut = [&] {
        allow(false);
        testpg::exec(admin, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = 'dxc'");
    };
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [&](Ui& ui) {
            ui.setText("GET_NOMBRE", "MARIA LUISA");
            cut();
            ui.click("Save");
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 1u);
            ui.click("Save");
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 2u) << "the second Save said nothing";
            for (const auto& m : messages_.messages)
                EXPECT_EQ(m.text.rfind("Se perdió la conexión con el servidor.\n", 0), 0u) << m.text;
            EXPECT_TRUE(ui.w.editing());
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), "MARIA LUISA");
            allow(true);
            ui.click("Save");
        },
        [&](Ui& ui) {
            EXPECT_EQ(messages_.messages.size(), 2u);
            EXPECT_FALSE(ui.w.editing());
        },
    }, "000001");
    allow(true);
    PQfinish(admin);
    db_.reset(connectDxc());  // its session was ended with the others
    EXPECT_EQ(one("SELECT rtrim(nombre) FROM dxcam01 WHERE codcli = '000001'"), "MARIA LUISA");
}

TEST_F(ClientWindowTest, LikeWithoutMatchesAndSiguientePastTheLastSaySo)
{
    run({
        [](Ui& ui) { ui.type("GET_CBUSCAR", "ZZ"); },
        [](Ui& ui) { ui.click("Like"); },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 1u);
            EXPECT_EQ(messages_.messages[0].text, "No se encontraron clientes para \"ZZ\".");
            EXPECT_EQ(ui.entry("GET_CBUSCAR")->text().trimmed(), "ZZ") << "the search text stays";
            EXPECT_EQ(ui.entry("GET_CODCLI")->text().trimmed(), "000004") << "the form stays";
            ui.entry("GET_CBUSCAR")->clear();
            ui.type("GET_CBUSCAR", "AB");
        },
        [](Ui& ui) { ui.click("Like"); },
        [](Ui& ui) { ui.click("Siguiente"); },
        [&](Ui& ui) {
            EXPECT_EQ(ui.record("codcli"), "000005");
            EXPECT_EQ(messages_.messages.size(), 1u);
            ui.click("Siguiente");
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 2u);
            EXPECT_EQ(messages_.messages[1].text, "Ese era el último cliente encontrado.");
            EXPECT_EQ(ui.record("codcli"), "000005");
        },
    }, "000004");
}

// ------------------------------------------------------------------ one current client

TEST_F(ClientWindowTest, ThePictureAlwaysBelongsToTheClientShown)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    testpg::exec(db_.get(), "UPDATE dxcam01 SET foto = 'data:image/png;base64," + png.toBase64().toStdString() +
                                "' WHERE codcli = '000001'");
    const auto shown = [](Ui& ui) {
        auto* p = dynamic_cast<dlg::PicturePart*>(&ui.w.app(7).asObject());
        return p && !p->image().isNull();
    };
    run({
        [&](Ui& ui) {
            EXPECT_TRUE(shown(ui));
            ui.click("New");
        },
        [&](Ui& ui) {
            EXPECT_FALSE(shown(ui)) << "a new client has no picture";
            ui.click("Cancel");
        },
        [&](Ui& ui) {
            EXPECT_TRUE(shown(ui));
            ui.type("GET_CBUSCAR", "JUAN");
        },
        [](Ui& ui) { ui.click("Like"); },
        [&](Ui& ui) {
            EXPECT_EQ(ui.record("codcli"), "000004");
            EXPECT_FALSE(shown(ui)) << "JUAN has no picture";
        },
    }, "000001");
}

// --- no typed work lost, no client half kept

// The second click of a double click on Cancel lands where Exit appears.
TEST_F(ClientWindowTest, ADoubleClickOnCancelNeverEndsTheWindow)
{
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [](Ui& ui) { ui.click("Cancel"); },
        [](Ui& ui) {
            ASSERT_TRUE(ui.shown("Exit"));
            ui.click("Exit");  // within the double-click interval of the Cancel click
        },
        [](Ui& ui) { EXPECT_FALSE(ui.w.editing()) << "the window is still running"; },
    });
}

TEST_F(ClientWindowTest, AClientDeletedByAnotherUserIsSaidAndTheNextOneShown)
{
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [&](Ui& ui) {
            ui.setText("GET_DIRECCION2", "PISO 2");
            testpg::exec(db_.get(), "DELETE FROM dxcam01 WHERE codcli = '000001'");
            ui.click("Save");
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 1u);
            EXPECT_EQ(messages_.messages[0].text, "El cliente 000001 fue borrado por otro usuario.");
            EXPECT_FALSE(ui.w.editing());
            EXPECT_EQ(ui.record("codcli"), "000002");
            EXPECT_EQ(ui.browseSet("codcli"), "000002") << "the browse left the deleted row";
            ui.click("Edit");
        },
        [&](Ui& ui) {
            testpg::exec(db_.get(), "DELETE FROM dxcam01 WHERE codcli = '000002'");
            ui.click("Cancel");
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 2u);
            EXPECT_EQ(messages_.messages[1].text, "El cliente 000002 fue borrado por otro usuario.");
            EXPECT_EQ(ui.record("codcli"), "000003");
            EXPECT_EQ(ui.browseSet("codcli"), "000003");
        },
    }, "000001");
    EXPECT_EQ(one("SELECT count(*) FROM dxcam01"), "4") << "nothing written back";
}

TEST_F(ClientWindowTest, ACodeIsKeptAsSixDigitsAndNeverSavedTwiceOrEmpty)
{
    run({
        [](Ui& ui) { ui.click("New"); },
        [&](Ui& ui) {
            ui.click("Save");
            ASSERT_EQ(messages_.messages.size(), 0u);
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 1u);
            EXPECT_EQ(messages_.messages[0].text, "Codigo de Producto no Puede Estar en Blanco, Verifique...");
            EXPECT_TRUE(ui.entry("GET_CODCLI")->hasFocus());
            EXPECT_TRUE(ui.w.editing());
            ui.setText("GET_CODCLI", "123");
        },
        [&](Ui& ui) {
            EXPECT_EQ(ui.entry("GET_CODCLI")->text().trimmed(), "000123");
            ui.setText("GET_NOMBRE", "NUEVO");
            ui.click("Save");
        },
        [](Ui& ui) { ui.click("New"); },
        [](Ui& ui) { ui.setText("GET_CODCLI", "2"); },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 2u) << "said at once";
            ui.click("Save");
        },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 3u);
            EXPECT_EQ(messages_.messages[2].text,
                      "El código 000002 ya es del cliente 000002 MARCOS GOMEZ. Use otro código.");
            EXPECT_TRUE(ui.w.editing());
        },
    });
    EXPECT_EQ(one("SELECT string_agg(codcli, ',' ORDER BY codcli) FROM dxcam01 WHERE codcli LIKE '%12%' OR "
                  "codcli LIKE '%2'"),
              "000002,000123");
}

// "@!" shows names in capitals; a save writes only what the clerk changed.
TEST_F(ClientWindowTest, ASaveKeepsTheStoredCaseOfFieldsNotTouched)
{
    testpg::exec(db_.get(), "UPDATE dxcam01 SET nombre = 'Agustín' WHERE codcli = '000001'");
    run({
        [](Ui& ui) {
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text().trimmed(), QString::fromUtf8("AGUSTÍN"));
            ui.click("Edit");
        },
        [](Ui& ui) {
            ui.setText("GET_DIRECCION2", "PISO 2");
            ui.click("Save");
        },
    }, "000001");
    EXPECT_EQ(one("SELECT rtrim(nombre) || '|' || rtrim(direccion2) FROM dxcam01 WHERE codcli = '000001'"),
              "Agustín|PISO 2");
}

TEST_F(ClientWindowTest, AnOverLongNameIsRefusedWithAWordAndKeptToShorten)
{
    const QString longName = QString(35, QLatin1Char('N'));
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [&](Ui& ui) { ui.setText("GET_NOMBRE", longName); },
        [&](Ui& ui) {
            ASSERT_EQ(messages_.messages.size(), 1u);
            EXPECT_EQ(messages_.messages[0].text, "El texto tiene 35 caracteres y el campo admite 30: acórtelo.");
            EXPECT_TRUE(ui.entry("GET_NOMBRE")->hasFocus());
            EXPECT_EQ(ui.entry("GET_NOMBRE")->text(), longName) << "nothing cut";
            ui.setText("GET_NOMBRE", longName.left(30));
        },
        [&](Ui& ui) {
            EXPECT_EQ(messages_.messages.size(), 1u);
            ui.click("Save");
        },
    }, "000001");
    EXPECT_EQ(one("SELECT rtrim(nombre) FROM dxcam01 WHERE codcli = '000001'"), std::string(30, 'N'));
}

TEST_F(ClientWindowTest, TheWindowsPlaceSizeAndTheBrowseOrderAreKeptForTheNextRun)
{
    QRect left;
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [](Ui& ui) {
            ui.combo()->setFocus();
            QTest::keyClick(ui.combo(), Qt::Key_Up);  // Código
        },
        [&](Ui& ui) {
            EXPECT_FALSE(ui.d.isSizeGripEnabled()) << "no status bar corner at the bottom edge";
            ui.d.setGeometry(ui.d.geometry().adjusted(-10, -10, 70, 30));
            left = ui.d.geometry();
            ui.click("Cancel");
        },
    });
    run({[&](Ui& ui) {
        EXPECT_EQ(text(ui.w.app(6)), "codcli");
        EXPECT_EQ(ui.combo()->currentText(), QString::fromUtf8("Código"));
        EXPECT_EQ(ui.d.geometry(), left);
    }});
}

// --- the form and the browse are one view

TEST_F(ClientWindowTest, LikeSiguienteAndTheBrowseKeysMoveFormAndBrowseTogether)
{
    run({
        [](Ui& ui) { ui.type("GET_CBUSCAR", "AR"); },
        [](Ui& ui) { ui.click("Like"); },
        [](Ui& ui) {
            EXPECT_EQ(ui.record("codcli"), "000002");  // MARCOS, then MARIA, by name
            EXPECT_EQ(ui.browseSet("codcli"), "000002");
            ui.click("Siguiente");
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.record("codcli"), "000001");
            EXPECT_EQ(ui.browseSet("codcli"), "000001");
            ui.type("GET_CBUSCAR", "JU");
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.browseSet("codcli"), "000004");
            EXPECT_EQ(ui.record("codcli"), "000004") << "the form follows the browse while viewing";
        },
    });
}

TEST_F(ClientWindowTest, TabAndEnterGoFieldToFieldThenToSave)
{
    run({
        [](Ui& ui) { ui.click("Edit"); },
        [](Ui& ui) {
            QStringList order;
            ui.entry("GET_CODCLI")->setFocus();
            for (int i = 0; i < 7; ++i) {
                QTest::keyClick(QApplication::focusWidget(), i % 2 ? Qt::Key_Tab : Qt::Key_Return);
                QWidget* f = QApplication::focusWidget();
                QString name = f ? f->metaObject()->className() : "none";
                if (const auto* b = qobject_cast<QAbstractButton*>(f))
                    name = b->text();
                for (const char* id : {"GET_NOMBRE", "GET_APELL", "GET_DIRECCION", "GET_DIRECCION2", "GET_FECHING"})
                    if (f == ui.entry(id))
                        name = id;
                order << name;
            }
            EXPECT_EQ(order.join(",").toStdString(),
                      "GET_NOMBRE,GET_APELL,GET_DIRECCION,GET_DIRECCION2,GET_FECHING,DataCredito,Save");
        },
    }, "000001");
}

// --- the window's geometry

// The elements a clerk works with (entries, buttons, the picture, the check
// and combo boxes, the browse), visible ones only, in dialog coordinates.
struct Placed {
    std::string name;
    QRect rect;
};
std::vector<Placed> workingElements(const Ui& ui)
{
    const auto& elements = static_cast<const dlg::DialogPart&>(ui.w.app(1).asObject()).elements;
    const auto& records = ui.w.GetList.asArray().items;
    std::vector<Placed> out;
    for (std::size_t i = 0; i < elements.size() && i < records.size(); ++i) {
        const int type = int(rt::entryOf(records[i], dlg::slot::Type).asInt());
        QWidget* w = widgetOf(elements[i]);
        static constexpr int kWorking[] = {dlg::type::Get,      dlg::type::PushButton, dlg::type::Bitmap,
                                           dlg::type::CheckBox, dlg::type::ComboBox,   dlg::type::Browse};
        if (!w || !w->isVisibleTo(&ui.d) || std::find(std::begin(kWorking), std::end(kWorking), type) == std::end(kWorking))
            continue;
        const rt::Value& caption = rt::entryOf(records[i], dlg::slot::Caption);
        const rt::Value& id = rt::entryOf(records[i], dlg::slot::Id);
        const std::string name = type == dlg::type::Browse   ? "browse"
                                 : type == dlg::type::Bitmap ? "picture"
                                 : caption.isChar() && !rt::alltrim(caption.asString()).empty() ? caption.str()
                                 : id.isChar()                                                   ? id.str()
                                                                                                 : std::to_string(i + 1);
        out.push_back({name, QRect(w->mapTo(&ui.d, QPoint(0, 0)), w->size())});
    }
    return out;
}

// Every working element inside the window, and no two on top of each other.
void expectTidy(const Ui& ui, const char* when)
{
    const std::vector<Placed> all = workingElements(ui);
    EXPECT_GT(all.size(), 30u) << when;
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_TRUE(ui.d.rect().contains(all[i].rect))
            << when << ": " << all[i].name << " leaves the window " << ui.d.width() << "x" << ui.d.height();
        for (std::size_t j = i + 1; j < all.size(); ++j)
            EXPECT_FALSE(all[i].rect.intersects(all[j].rect)) << when << ": " << all[i].name << " overlaps " << all[j].name;
    }
}

QRect rectOf(const Ui& ui, const std::string& name)
{
    for (const Placed& p : workingElements(ui))
        if (p.name == name)
            return p.rect;
    ADD_FAILURE() << "no element " << name;
    return {};
}

std::string headingOf(gui::XbpColumn* c)
{
    std::string out;
    for (int r = 1; r <= c->headingGroup()->rowCount(); ++r)
        out += (r > 1 ? ";" : "") + c->headingGroup()->cellText(r).toStdString();
    return out;
}

TEST_F(ClientWindowTest, BrowseColumnsShowCodesDatesAndRecordNumbersWholeAndFillTheGrid)
{
    // A record number of seven digits, beyond any the table's row count suggests.
    testpg::exec(db_.get(), "INSERT INTO dxcam01 (recno, codcli, nombre, apell, feching) VALUES "
                            "(1234567, '000099', 'ZOE', 'WU', '2024-12-31')");
    run({[](Ui& ui) {
        auto* b = gui::asBrowse(ui.w.oBrowse);
        ASSERT_TRUE(b);
        b->forceStable();
        ASSERT_EQ(b->filledRows(), 7);
        int right = 0;
        std::vector<int> textWidths;
        for (int i = 1; i <= b->colCount(); ++i) {
            gui::XbpColumn* c = b->columnAt(i);
            const std::string heading = headingOf(c);
            EXPECT_EQ(c->widget()->x(), right) << heading << ": the columns follow each other";
            right = c->widget()->x() + c->width();
            if (heading == ";NOMBRES" || heading == ";APELLIDOS") {
                textWidths.push_back(c->width());
                continue;
            }
            for (int r = 1; r <= c->headingGroup()->rowCount(); ++r)
                EXPECT_LE(c->headingGroup()->cellWidthFor(c->headingGroup()->cellText(r)), c->width())
                    << heading << " clips its heading line " << r;
            for (int r = 1; r <= b->filledRows(); ++r)
                EXPECT_LE(c->dataGroup()->cellWidthFor(c->dataGroup()->cellText(r)), c->width())
                    << heading << " clips " << c->dataGroup()->cellText(r).toStdString();
        }
        EXPECT_EQ(right, b->viewport()->width()) << "the last column ends at the grid's right edge";
        ASSERT_EQ(textWidths.size(), 2u);
        EXPECT_NEAR(textWidths[0], textWidths[1], 1) << "names and surnames share the spare room";
        const int recnoWidth = b->columnAt(1)->dataGroup()->cellWidthFor("1234567");
        EXPECT_LE(recnoWidth, b->columnAt(1)->width());
        EXPECT_GT(textWidths[0], 3 * recnoWidth) << "the names got the room";
    }});
}

TEST_F(ClientWindowTest, TheWindowOpensWholeAndFollowsResizingWithTheButtonsAtTheBottom)
{
    QSize design;
    std::vector<Placed> atDesign;
    QRect browse, nombre, codcli, picture;
    int exitLeft = 0, exitBottom = 0, refreshRight = 0, refreshBottom = 0;
    const auto fromBottom = [](const Ui& ui, const QRect& r) { return ui.d.height() - r.bottom(); };
    const auto fromRight = [](const Ui& ui, const QRect& r) { return ui.d.width() - r.right(); };
    run({
        [&](Ui& ui) {
            expectTidy(ui, "at the opening size");
            const QScreen* screen = ui.d.screen();
            ASSERT_TRUE(screen);
            EXPECT_TRUE(screen->availableGeometry().contains(ui.d.geometry()));
            design = ui.d.size();
            atDesign = workingElements(ui);
            browse = rectOf(ui, "browse");
            exitLeft = rectOf(ui, "Exit").left();
            exitBottom = fromBottom(ui, rectOf(ui, "Exit"));
            refreshRight = fromRight(ui, rectOf(ui, "Refresh;Browse"));
            refreshBottom = fromBottom(ui, rectOf(ui, "Refresh;Browse"));
            nombre = rectOf(ui, "GET_NOMBRE");
            codcli = rectOf(ui, "GET_CODCLI");
            picture = rectOf(ui, "picture");
            EXPECT_LT(ui.d.minimumWidth(), design.width());
            EXPECT_LT(ui.d.minimumHeight(), design.height());
            ui.d.resize(design + QSize(240, 180));
        },
        [&](Ui& ui) {
            expectTidy(ui, "larger");
            EXPECT_EQ(rectOf(ui, "browse").size(), browse.size() + QSize(240, 180)) << "the browse grows";
            EXPECT_EQ(rectOf(ui, "GET_NOMBRE").width(), nombre.width() + 240);
            EXPECT_EQ(rectOf(ui, "GET_CODCLI"), codcli) << "a code needs no more room";
            EXPECT_EQ(rectOf(ui, "picture").topLeft(), picture.topLeft() + QPoint(240, 0)) << "the picture keeps right";
            EXPECT_EQ(fromBottom(ui, rectOf(ui, "Exit")), exitBottom);
            EXPECT_EQ(rectOf(ui, "Exit").left(), exitLeft);
            EXPECT_EQ(fromBottom(ui, rectOf(ui, "Refresh;Browse")), refreshBottom);
            EXPECT_EQ(fromRight(ui, rectOf(ui, "Refresh;Browse")), refreshRight);
            auto* b = gui::asBrowse(ui.w.oBrowse);
            const gui::XbpColumn* last = b->columnAt(b->colCount());
            EXPECT_EQ(last->widget()->x() + last->width(), b->viewport()->width()) << "no empty band once larger";
            ui.d.resize(1, 1);
        },
        [&](Ui& ui) {
            EXPECT_EQ(ui.d.size(), ui.d.minimumSize()) << "the window stops at its least size";
            expectTidy(ui, "at the least size");
            EXPECT_LT(rectOf(ui, "browse").height(), browse.height()) << "the browse shrinks";
            EXPECT_EQ(fromBottom(ui, rectOf(ui, "Exit")), exitBottom);
            EXPECT_EQ(fromRight(ui, rectOf(ui, "Refresh;Browse")), refreshRight);
            ui.d.resize(design);
        },
        [&](Ui& ui) {
            const std::vector<Placed> back = workingElements(ui);
            ASSERT_EQ(back.size(), atDesign.size());
            for (std::size_t i = 0; i < back.size(); ++i)
                EXPECT_EQ(back[i].rect, atDesign[i].rect) << back[i].name << " is back where the design puts it";
        },
    });
}

// The window's blocks are compiled from the texts they carry: each text
// compiles again, and the fresh block does what the window's block does.
TEST_F(ClientWindowTest, EveryBlockOfTheWindowRunsTheTextItCarries)
{
    struct Found {
        std::string where;
        rt::Value block;
        bool pure;  // a condition or a cell's value: evaluated freely to compare
    };
    const auto blocksOf = [](const Window& w) {
        std::vector<Found> out;
        const auto& list = w.GetList.asArray().items;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const auto& e = list[i].asArray().items;
            const auto slot = [&e](int n) { return e.size() >= std::size_t(n) ? e[dlg::index(n)] : rt::Value(); };
            const auto first = [&](int n) {
                const rt::Value v = slot(n);
                return v.isArray() && !v.asArray().items.empty() ? v.asArray().items[0] : rt::Value();
            };
            const std::string at = "element " + std::to_string(i + 1) + " slot ";
            for (int n : {dlg::slot::When, dlg::slot::Hide})
                if (slot(n).isBlock())
                    out.push_back({at + std::to_string(n), slot(n), true});
            const int type = int(slot(dlg::slot::Type).asInt());
            for (int n : {dlg::slot::Valid, dlg::slot::Action, dlg::slot::KeyHandler, dlg::slot::CheckData})
                // The picture box's click is the pop-up library's own block.
                if (slot(n).isBlock() && !(type == dlg::type::Bitmap && n == dlg::slot::Action))
                    out.push_back({at + std::to_string(n), slot(n), false});
            if (type == dlg::type::Column)
                out.push_back({at + "31", first(dlg::slot::GetSet2), true});
            if (type == dlg::type::ComboBox)
                out.push_back({at + "38", slot(dlg::slot::Change), false});
            if (type == dlg::type::Get && first(dlg::slot::Popup).isBlock())
                out.push_back({at + "37", first(dlg::slot::Popup), false});
            if (type == dlg::type::Browse) {
                out.push_back({at + "22", first(dlg::slot::Colors), false});
                out.push_back({at + "21", slot(dlg::slot::Options).asArray().items[dlg::index(
                                              dlg::browseOption::ItemSelected)], false});
            }
        }
        return out;
    };
    // Conditions and cell values: the window's block and the fresh one agree.
    const auto compare = [](const std::shared_ptr<Window>& w, const std::vector<Found>& found) {
        for (const Found& f : found)
            if (f.pure)
                EXPECT_EQ(rt::literalText(rt::eval(f.block)),
                          rt::literalText(rt::eval(app::compileWindowText(w, f.block.asBlock().text()))))
                    << f.where << ": " << f.block.asBlock().text();
    };
    const auto actionOf = [](Ui& ui, const char* caption) {
        for (const rt::Value& e : ui.w.GetList.asArray().items)
            if (text(e.asArray().items[dlg::index(dlg::slot::Caption)]) == caption)
                return app::compileWindowText(app::runningClient(),
                                              e.asArray().items[dlg::index(dlg::slot::Action)].asBlock().text());
        ADD_FAILURE() << "no button " << caption;
        return rt::Value();
    };
    run({
        [&](Ui& ui) {
            const auto w = app::runningClient();
            const std::vector<Found> found = blocksOf(*w);
            EXPECT_GE(found.size(), 40u);
            for (const Found& f : found) {
                ASSERT_TRUE(f.block.isBlock()) << f.where;
                const std::string& source = f.block.asBlock().text();
                EXPECT_EQ(source.rfind("{|", 0), 0u) << f.where << ": " << source;
                EXPECT_EQ(source.find("..."), std::string::npos) << f.where << ": " << source;
                EXPECT_NO_THROW((void)app::compileWindowText(w, source)) << f.where << ": " << source;
            }
            compare(w, found);
            rt::eval(actionOf(ui, "Edit"));  // what a click on "Edit" runs
        },
        [&](Ui& ui) {
            EXPECT_TRUE(ui.w.editing());
            EXPECT_TRUE(ui.entry("GET_NOMBRE")->hasFocus());
            EXPECT_TRUE(ui.shown("Cancel"));
            compare(app::runningClient(), blocksOf(ui.w));
            ui.setText("GET_NOMBRE", "ABELARDO");
        },
        [&](Ui& ui) { rt::eval(actionOf(ui, "Save")); },
        [&](Ui& ui) {
            EXPECT_FALSE(ui.w.editing());
            EXPECT_EQ(ui.record("nombre"), "ABELARDO");
        },
    });
    EXPECT_EQ(one("SELECT trim(nombre) FROM dxcam01 WHERE codcli = '000003'"), "ABELARDO");
    // The window's functions refuse what is not a window's aApp and GetList.
    for (const char* call : {"ClientSave(NIL, {})", "ClientSave({}, {})", "ClientEdit(Array(15), 5)", "ClientMayLeave()",
                             "ClientShowPicture(1)", "ClientShowPicture({1, 2})"})
        EXPECT_THROW(rt::evalText(call), rt::Error) << call;
}

// The helpers on their own, over a data object of the test table.
// Clients whose names tell a Spanish, case- and accent-blind order from a
// byte order; one typed in mixed case by another program.
class AccentedClientsTest : public ClientWindowTest {
protected:
    void SetUp() override
    {
        ClientWindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_EQ(one("WITH i AS (INSERT INTO dxcam01 (codcli, nombre, apell, estatus) VALUES "
                      "('000007', 'Fátima', 'Núñez', 'N'), ('000008', 'ÑANDÚ', 'PÉREZ', 'N'), "
                      "('000009', 'NURIA', 'GIL', 'N'), ('000010', 'ÁNGEL', 'OCAÑA', 'N'), "
                      "('000011', 'FRANÇOIS', 'DUPONT', 'N') RETURNING 1) SELECT count(*) FROM i"),
                  "5");
        icu_ = one("SELECT count(*) FROM pg_collation WHERE collname = 'es-x-icu'") == "1";
    }
    ~AccentedClientsTest() override { pgsql::setIcuCollationAllowed(true); }

    // The codes of the browse set from its top, which it is left on.
    static std::vector<std::string> browseOrder(Ui& ui)
    {
        const rt::Value set = ui.w.app(3);
        std::vector<std::string> out;
        rt::sendWith(set, "GoTop");
        do
            out.push_back(text(rt::getMember(set, "codcli")));
        while (rt::sendWith(set, "SQLViewSkip", 1).asInt() == 1 && out.size() < 100);
        rt::sendWith(set, "GoTop");
        app::client::refreshAll(ui.w.oBrowse);
        return out;
    }
    static void search(Ui& ui, const char* typed)
    {
        ui.entry("GET_CBUSCAR")->clear();
        ui.typeText("GET_CBUSCAR", QString::fromUtf8(typed));
    }

    bool icu_ = false;
};

TEST_F(AccentedClientsTest, TheBrowseOrderIsSpanishAndSeekIgnoresCaseAndAccents)
{
    if (!icu_)
        GTEST_SKIP() << "the server has no ICU collation";
    struct Seek {
        const char* typed;
        const char* shown;  // the field, after its "@!" picture
        const char* found;  // the name the browse set lands on
    };
    static const Seek seeks[] = {
        {"fáti", "FÁTI", "Fátima"}, {"FATI", "FATI", "Fátima"}, {"ángel", "ÁNGEL", "ÁNGEL"},
        {"ñan", "ÑAN", "ÑANDÚ"},    {"fra", "FRA", "FRANÇOIS"},
        {"nan", "NAN", "FRANÇOIS"},  // no name starts with NAN (Ñ is a letter): the set stays
    };
    std::vector<Step> steps;
    steps.push_back([](Ui& ui) {
        // Á with A, Fátima before François, Ñ after N.
        EXPECT_EQ(browseOrder(ui), (std::vector<std::string>{"000003", "000010", "000005", "000007", "000011", "000004",
                                                             "000006", "000002", "000001", "000009", "000008"}));
        search(ui, seeks[0].typed);
    });
    for (std::size_t i = 0; i < std::size(seeks); ++i)
        steps.push_back([i](Ui& ui) {
            EXPECT_EQ(ui.entry("GET_CBUSCAR")->text().trimmed().toStdString(), seeks[i].shown);
            EXPECT_EQ(ui.browseSet("nombre"), seeks[i].found) << seeks[i].typed;
            if (i + 1 < std::size(seeks))
                search(ui, seeks[i + 1].typed);
        });
    run(steps);
}

TEST_F(AccentedClientsTest, LikeTypedInLowerCaseWithAccentsFindsTheClient)
{
    run({
        [](Ui& ui) { search(ui, "fátima"); },
        [](Ui& ui) { ui.click("Like"); },
        [&](Ui& ui) {
            EXPECT_TRUE(messages_.messages.empty());
            EXPECT_EQ(rt::sendWith(ui.w.app(2), "LastRec").asInt(), 1);
            EXPECT_EQ(ui.record("codcli"), "000007");
            EXPECT_EQ(ui.record("nombre"), "Fátima");
            search(ui, "ñandu");
        },
        [](Ui& ui) { ui.click("Like"); },
        [](Ui& ui) { EXPECT_EQ(ui.record("codcli"), "000008"); },
    });
}

TEST_F(AccentedClientsTest, WithoutIcuTheDefaultOrderHoldsAndLikeStillIgnoresCaseAndAccents)
{
    pgsql::setIcuCollationAllowed(false);
    std::vector<std::string> byDefault;
    for (const std::string& code : testpg::rows(db_.get(), "SELECT codcli FROM dxcam01 ORDER BY nombre, recno"))
        byDefault.push_back(code);
    run({
        [&](Ui& ui) {
            EXPECT_EQ(browseOrder(ui), byDefault);
            search(ui, "ñan");
        },
        [](Ui& ui) {
            EXPECT_EQ(ui.browseSet("nombre"), "ÑANDÚ");
            search(ui, "fátima");
        },
        [](Ui& ui) { ui.click("Like"); },
        [](Ui& ui) { EXPECT_EQ(ui.record("codcli"), "000007"); },
    });
}

class ClientHelpersTest : public ClientWindowTest {
protected:
    void SetUp() override
    {
        ClientWindowTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        auto* c = new pgsql::Connection;
        conn_ = rt::Value(static_cast<rt::Object*>(c));
        ASSERT_TRUE(c->connect(envOr("PGHOST", "127.0.0.1"), "dxc", envOr("PGUSER", "postgres"), "",
                               std::atoi(envOr("PGPORT", "5432").c_str())));
        const pgsql::DataObject::Settings settings{
            .connection = conn_,
            .table = "dxcam01",
            .columns = "dxcam01.recno,dxcam01.codcli,dxcam01.nombre,dxcam01.feching",
            .order = "dxcam01.recno",
            .startRow = 1};
        data_ = rt::sendWith(rt::callFunction("PGSQL", settings.args()), "new");
    }
    void TearDown() override
    {
        if (data_.isObject())
            rt::sendWith(data_, "DESTROY");
        if (conn_.isObject())
            static_cast<pgsql::Connection&>(conn_.asObject()).close();
    }
    // A variable and its reference.
    static rt::Value refTo(rt::Value& var)
    {
        return rt::makeBlock([&var](rt::Args a) {
            if (!a.empty())
                var = a[0];
            return var;
        });
    }
    std::vector<std::string> codes()
    {
        std::vector<std::string> out;
        rt::sendWith(data_, "GoTop");
        for (std::int64_t n = rt::sendWith(data_, "LastRec").asInt(); n > 0; --n) {
            out.push_back(text(rt::getMember(data_, "codcli")));
            rt::sendWith(data_, "SQLViewSkip", 1);
        }
        return out;
    }
    rt::Value conn_, data_;
};

TEST_F(ClientHelpersTest, LikeBuildsTheTextAndDatePatternsAndEmptiesTheSearch)
{
    rt::Value search = "ZZ";
    const rt::Value ref = refTo(search);
    rt::Value db = data_;
    rt::sendWith(data_, "seek", "000004", "codcli");
    app::Like(ref, conn_, refTo(db), "nombre");
    // Nothing found: said, the search kept, the whole table on the same client.
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0].text, "No se encontraron clientes para \"ZZ\".");
    EXPECT_EQ(search.str(), "ZZ");
    EXPECT_EQ(text(rt::getMember(data_, "codcli")), "000004");
    EXPECT_EQ(codes().size(), 6u);
    messages_.messages.clear();

    search = "AB";
    EXPECT_EQ(app::Like(ref, conn_, refTo(db), "nombre").cell(), data_.cell());
    EXPECT_EQ(search.str(), std::string(100, ' '));
    EXPECT_EQ(codes(), (Lines{"000003", "000005"}));

    // A date column: the typed date as the server writes it.
    search = "15-03-2020";
    app::Like(ref, conn_, refTo(db), "feching");
    EXPECT_EQ(codes(), (Lines{"000001", "000003"}));

    // A quote is text like any other.
    search = "O'N";
    app::Like(ref, conn_, refTo(db), "nombre");
    EXPECT_EQ(codes().size(), 6u);
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0].text, "No se encontraron clientes para \"O'N\".");

    search = "   ";
    app::Like(ref, conn_, refTo(db), "nombre");
    EXPECT_EQ(codes(), (Lines{"000003", "000001"})) << "joined with dxcam01e, ordered by nombre";
}

TEST_F(ClientHelpersTest, ACharReplacesQuotesAndDosLetters)
{
    EXPECT_EQ(app::cChar("O'NEIL"), "O\"NEIL");
    EXPECT_EQ(app::cChar("Müller É ¥ « ¬"), "Muller E N ½ ¼");
    EXPECT_EQ(app::cChar(""), "");
    EXPECT_EQ(rt::callWith("cChar", "it's").str(), "it\"s");
}

}  // namespace
