// In-place editing of a DBF through the browse: real keys into the editor,
// the file read back by an independent reader.
#include "browse/core/tst_browse_fixture.h"
#include "common/read_step.h"
#include "browse/features/features.h"

#include "platform/dialog/cell_editor.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"

#include "platform/runtime/text.h"

#include <QLineEdit>
#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

namespace slot = dlg::slot;

using rt::Value;
using tb::Elements;

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string run(const std::string& cmd)
{
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[256];
    while (p && std::fgets(buf, sizeof buf, p))
        out += buf;
    if (p)
        ::pclose(p);
    return out;
}

class CellEdit : public tb::BrowseTest {
protected:
    static void SetUpTestSuite()
    {
        tb::BrowseTest::SetUpTestSuite();
        browse::registerBrowseFeatures();
    }

    void SetUp() override
    {
        openTable("EDIT", 3);
        const char* base = std::getenv("DXC_TEST_TMP");
        path = std::string(base && *base ? base : "/tmp") + "/browse_EDIT_" + std::to_string(getpid()) + ".dbf";
        Elements e;
        e.add(dlg::type::Browse).set(slot::Alias, "EDIT").add(dlg::type::Column);
        make(e);
        b->create({});
        auto* c = new gui::XbpColumn();
        c->dataLink = rt::makeBlock([](rt::Args a) {
            if (!rt::argAt(a, 0).isNil())
                rt::fieldHooks().aliasPut("EDIT", "NAME", a[0]);
            return rt::fieldHooks().aliasGet("EDIT", "NAME");
        });
        b->addColumn(c->self());
        b->widget()->show();
        settle();
    }

    QLineEdit* open()
    {
        EXPECT_TRUE(dlg::browCellEdit(bv));
        auto* edit = qobject_cast<QLineEdit*>(dlg::cellEditor(bv));
        EXPECT_NE(edit, nullptr);
        EXPECT_TRUE(rt::isTrue(b->isCellEditing));
        return edit;
    }

    std::string names() const
    {
        return run("/usr/bin/python3 -c \"import dbfread; print('|'.join(r['NAME'] for r in dbfread.DBF('" + path +
                   "')))\"");
    }

    std::string path;
};

TEST_F(CellEdit, EnterWritesTheRecordThatAnotherReaderSees)
{
    QLineEdit* edit = open();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->selectedText(), "name 1");  // typing replaces the whole value
    QTest::keyClicks(edit, "nuevo");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dlg::cellEditor(bv), nullptr);
    EXPECT_FALSE(rt::isTrue(b->isCellEditing));
    EXPECT_EQ(names(), "nuevo|name 2|name 3\n");
}

TEST_F(CellEdit, EscapeLeavesTheFileByteForByte)
{
    const std::string before = slurp(path);
    QLineEdit* edit = open();
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, "changed");
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(dlg::cellEditor(bv), nullptr);
    rt::evalText("DbCommit()");
    EXPECT_EQ(slurp(path), before);
}

TEST_F(CellEdit, TooLongTextIsRefusedAndTheEditorStays)
{
    dlg::MessageCapture capture;
    QLineEdit* edit = open();
    ASSERT_NE(edit, nullptr);
    // Pasted whole: nothing cuts it before the write refuses it.
    QGuiApplication::clipboard()->setText("a text far longer than ten");
    edit->clear();
    edit->paste();
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_NE(capture.messages[0].text.find("demasiado largo"), std::string::npos);
    EXPECT_EQ(dlg::cellEditor(bv), edit);
    EXPECT_EQ(edit->text().toStdString(), "a text far longer than ten") << "the text stays to be shortened";
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(names(), "name 1|name 2|name 3\n");
}

TEST_F(CellEdit, SettingsAreNormalisedInPlace)
{
    Elements e = tb::arrayDialog(tb::rows(3));
    e.browseSlot(37, rt::makeArray({13}));
    make(e);
    const Value& rec = e.record(1);
    ASSERT_TRUE(tb::at(rec, 37).isArray());
    EXPECT_EQ(tb::at(rec, 37).asArray().size(), 8u);
    EXPECT_EQ(rt::var2char(tb::at(tb::at(rec, 37), 1)), "{13, NIL}");
    EXPECT_EQ(tb::at(rec, 38).asArray().size(), 5u);
    EXPECT_EQ(tb::at(rec, 39).asArray().size(), 3u);
    EXPECT_TRUE(rt::isTrue(b->cellEditMode));
    b->destroy();
    make(tb::arrayDialog(tb::rows(3)));
    EXPECT_FALSE(rt::isTrue(b->cellEditMode));
}

}  // namespace

namespace {

// Two programs add 1 to the same field 200 times each, both through the
// locked write: no increment is lost.
TEST_F(CellEdit, TwoProgramsEditingOneSharedTableLoseNothing)
{
    b->destroy();
    b = nullptr;
    dbf::closeAllAreas();
    const std::string shared = path + ".shared.dbf";
    dbf::Table::create(shared, {{"CODE", 'N', 8, 0}});
    {
        auto t = dbf::Table::open(shared, false, false);
        t->appendBlank();
        t->put(0, Value(0));
        t->flush();
    }
    const auto increments = [&shared] {
        rt::evalText("DbUseArea(.T., \"FOXCDX\", \"" + shared + "\", \"SHARED\", .T.)");
        dbf::WorkArea* area = dbf::findArea("SHARED");
        int written = 0;
        for (int i = 0; i < 200; ++i)
            written += dlg::lockedWrite(*area, 1, [area] { area->fieldPut(0, Value(area->fieldGet(0).asInt() + 1)); });
        rt::evalText("DbCloseArea()");
        return written;
    };
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(increments() == 200 ? 0 : 1);
    EXPECT_EQ(increments(), 200);
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(run("/usr/bin/python3 -c \"import dbfread; print(next(iter(dbfread.DBF('" + shared + "')))['CODE'])\""),
              "400\n");
    std::remove(shared.c_str());
}

}  // namespace

namespace {

// A new row is shown below the last record and reaches the file with its
// first write; left without one, the file stays as it was.
TEST_F(CellEdit, ANewRowIsAppendedOnlyByItsFirstWrite)
{
    struct Case {
        const char* name;
        const char* typed;
        Qt::Key key;  // Qt::Key_unknown: the focus goes elsewhere
        const char* names;
    };
    const Case cases[] = {
        {"escape", "", Qt::Key_Escape, "name 1|name 2|name 3\n"},
        {"typed, then escape", "added", Qt::Key_Escape, "name 1|name 2|name 3\n"},
        {"untouched, clicked away", "", Qt::Key_unknown, "name 1|name 2|name 3\n"},
        {"typed, enter", "added", Qt::Key_Return, "name 1|name 2|name 3|added\n"},
    };
    const std::string before = slurp(path);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rt::evalText("DbGoTo(2)");
        ASSERT_TRUE(dlg::appendRow(bv));
        auto* edit = qobject_cast<QLineEdit*>(dlg::cellEditor(bv));
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(b->rowPos(), 4) << "the new row is below the last record";
        EXPECT_EQ(b->filledRows(), 4);
        QTest::keyClicks(edit, c.typed);
        if (c.key == Qt::Key_unknown)
            b->widget()->setFocus();
        else
            QTest::keyClick(edit, c.key);
        settle();
        EXPECT_EQ(dlg::cellEditor(bv), nullptr);
        EXPECT_EQ(names(), c.names);
        if (c.key != Qt::Key_Return) {
            EXPECT_EQ(slurp(path), before) << "byte for byte";
            EXPECT_EQ(rt::evalText("RecNo()").asInt(), 2) << "the record current before";
            EXPECT_EQ(b->filledRows(), 3);
        }
    }
    EXPECT_EQ(rt::evalText("RecNo()").asInt(), 4) << "the new record is current";
}

// With deleted records hidden the grid stops showing the record at once.
TEST_F(CellEdit, DeleteMarksTheRecordDeleted)
{
    dlg::MessageCapture capture;  // answers the confirmation with yes
    const bool was = dbf::setDeletedHidden(true);
    rt::evalText("DbGoTo(2)");
    const bool deleted = dlg::deleteRow(bv);
    settle();
    const int rows = b->filledRows();
    const long long current = rt::evalText("RecNo()").asInt();
    dbf::setDeletedHidden(was);
    ASSERT_TRUE(deleted);
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0].text, "¿Borrar el registro actual?");
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(current, 3) << "the next record is current";
    EXPECT_EQ(run("/usr/bin/python3 -c \"import dbfread; print('|'.join(r['NAME'] for r in dbfread.DBF('" + path +
                  "', ignore_missing_memofile=True)))\""),
              "name 1|name 3\n");
}

TEST_F(CellEdit, AReadOnlyTableIsRefusedWithAMessage)
{
    b->destroy();
    b = nullptr;
    dbf::closeAllAreas();
    rt::evalText("DbUseArea(.T., \"FOXCDX\", \"" + path + "\", \"RO\", .T., .T.)");
    const std::string before = slurp(path);
    dlg::MessageCapture capture;
    dbf::WorkArea* area = dbf::findArea("RO");
    EXPECT_FALSE(dlg::lockedWrite(*area, 1, [area] { area->fieldPut(0, Value("changed")); }));
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_NE(capture.messages[0].text.find("sólo para lectura"), std::string::npos);
    EXPECT_EQ(slurp(path), before);
}

TEST_F(CellEdit, RightClickMovesTheCursorOnlyWithRightButtonSelect)
{
    for (bool select : {false, true}) {
        Elements e = tb::arrayDialog(tb::rows(5));
        e.option(dlg::browseOption::RightButtonSelect, select);
        b->destroy();
        make(e);
        create();
        const Value values = rt::makeArray({b->columnAt(2)->self(), 3});
        const Value args[] = {rt::makeArray({5, 5}), values};
        rt::send(bv, "itemRbDown", rt::Args(args, 2));
        settle();
        EXPECT_EQ(b->rowPos(), select ? 3 : 1) << select;
        EXPECT_EQ(b->colPos(), select ? 2 : 1) << select;
    }
}

}  // namespace

namespace {

// The cell operations' hot keys inside a running read, pressed with real
// keys where the focus is.
class CellKeysInARead : public tb::BrowseTest {
protected:
    static void SetUpTestSuite()
    {
        tb::BrowseTest::SetUpTestSuite();
        browse::registerBrowseFeatures();
    }
};

TEST_F(CellKeysInARead, ASlot38KeyAppendsOnlyFromTheBrowsesCells)
{
    const Value data = tb::rows(3);
    std::string text = "abc";
    Elements e;
    e.add(dlg::type::Get).set(slot::GetSet, rt::makeBlock([&text](rt::Args a) {
        if (!rt::argAt(a, 0).isNil())
            text = rt::argAt(a, 0).str();
        return Value(text);
    }));
    e.set(slot::Row, 1.0).set(slot::Col, 1.0).set(slot::Width, 20.0);
    e.add(dlg::type::Browse).set(slot::DataSource, rt::makeBlock([data](rt::Args) { return data; })).set(slot::Id, "GRID");
    e.set(slot::Row, 3.0).set(slot::Col, 1.0).set(slot::Width, 40.0).set(slot::Height, 8.0).set(slot::CellOperations, rt::makeArray({gui::key::Ins}));
    e.add(dlg::type::Column).set(slot::ArrayPointer, 1).add(dlg::type::Column).set(slot::ArrayPointer, 2);

    QTimer watchdog;
    testread::startReadWatchdog(watchdog);
    std::size_t fromEntry = 0, fromCells = 0;
    bool editing = false;
    testread::then([&] {
        QWidget* entry = dlg::elementWidget(e.list, 1);
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg::activeDialog()));
        entry->setFocus();
        QTest::keyClick(entry, Qt::Key_Insert);
        testread::then([&] {
            fromEntry = data.asArray().size();
            auto* grid = browse::asRkBrowse(dlg::getObject(e.list, "GRID"));
            ASSERT_NE(grid, nullptr);
            QWidget* cells = grid->columnAt(1)->dataGroup()->widget();
            cells->setFocus();
            QTest::keyClick(cells, Qt::Key_Insert);
            testread::then([&, grid] {
                fromCells = data.asArray().size();
                editing = rt::isTrue(grid->isCellEditing);
                if (QWidget* editor = dlg::cellEditor(grid->self()))
                    QTest::keyClick(editor, Qt::Key_Escape);
                testread::then([&] { dlg::readGuiEvent(5, e.list); });
            });
        });
    });
    const Value args[] = {e.list, "Keys"};
    dlg::readGui(rt::Args(args, 2));
    EXPECT_EQ(fromEntry, 3u) << "the focus was in the entry";
    EXPECT_EQ(fromCells, 4u) << "the focus was in the browse's cells";
    EXPECT_TRUE(editing) << "the editor opens on the new row";
    EXPECT_EQ(data.asArray().size(), 3u) << "Escape takes the unwritten row away";
    EXPECT_EQ(text, "abc");
}

}  // namespace
