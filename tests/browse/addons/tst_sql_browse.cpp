// The SQL browse window over cursors of the test server, and dxc-sql.
#include "addons_fixture.h"

#include "common/pg_test_db.h"

#include "platform/dbf/tst_table_util.h"
#include "platform/grid/browse.h"
#include "platform/grid/cellgroup.h"
#include "platform/grid/column.h"
#include "platform/gui/static.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/cursor.h"

#include <QDialog>
#include <QTest>
#include <QWidget>

namespace {

using rt::Value;

class SqlBrowseTest : public addtest::AddonsTest {
protected:
    void SetUp() override
    {
        AddonsTest::SetUp();
        DXC_REQUIRE_DATABASE();
        ASSERT_TRUE(conn.connect(std::getenv("PGHOST"), testpg::Database::instance().name(), std::getenv("PGUSER"), "",
                                 std::atoi(std::getenv("PGPORT"))))
            << conn.errorText();
    }
    Value cursor(const std::string& sql)
    {
        Value v(static_cast<rt::Object*>(new pgsql::Cursor()));
        EXPECT_TRUE(pgsql::asCursor(v)->open(conn, sql)) << pgsql::asCursor(v)->errorText();
        return v;
    }
    // Runs RK_BrowseSQL; fn runs inside the window with the dialog and its browse.
    bool show(const Value& c, const std::function<void(dlg::DialogPart&, gui::XbpBrowse*)>& fn)
    {
        const Value created = rt::makeBlock([fn](rt::Args a) {
            const Value dialog = rt::argAt(a, 0);
            QTimer::singleShot(0, [fn, dialog] {
                auto& d = dynamic_cast<dlg::DialogPart&>(dialog.asObject());
                gui::XbpBrowse* b = d.elements.empty() ? nullptr : gui::asBrowse(d.elements[0]);
                rt::Error err("");
                if (!rt::guarded([&] { fn(d, b); }, &err))
                    ADD_FAILURE() << err.message();
                gui::postAppEvent(gui::ev::Close, Value(), Value(), dialog);
            });
        });
        return addons::browseSQL(c, created);
    }
    // The text of column `col` on screen rows 1..n, read through its data link.
    static std::vector<std::string> shown(gui::XbpBrowse* b, int col, int n)
    {
        std::vector<std::string> out;
        b->goTop();
        b->forceStable();
        for (int i = 0; i < n; ++i) {
            const Value v = rt::evalWith(b->columnAt(col)->dataLink);
            out.push_back(v.isNil() ? "NIL" : v.isChar() ? v.str() : std::to_string(v.asInt()));
            b->down();
            b->forceStable();
        }
        return out;
    }

    pgsql::Connection conn;
};

const char* kFruit = "SELECT w AS word, n AS qty FROM (VALUES ('Banana', 3), ('apple', 10), ('cherry', 2)) v(w, n)";

TEST_F(SqlBrowseTest, ElementsFollowTheCursorsFields)
{
    const Value c = cursor("SELECT word, qty, qty::money AS price FROM (" + std::string(kFruit) + ") f");
    Value anchor;
    const Value list = addons::sqlBrowseList(c, anchor);
    ASSERT_EQ(list.asArray().size(), 4u);
    // Numbers and money (kept as its text) are right-aligned, text is not.
    for (int i : {1, 2, 3})
        EXPECT_EQ(tb::at(tb::at(list, std::size_t(i) + 1), dlg::slot::Presentation).isArray(), i > 1) << i;
    const Value& browse = tb::at(list, 1);
    EXPECT_EQ(tb::at(browse, dlg::slot::Type).asInt(), dlg::type::Browse);
    EXPECT_EQ(tb::at(browse, dlg::slot::Id).str(), "SQL_BROWSE");
    EXPECT_EQ(rt::evalWith(tb::at(tb::at(browse, dlg::slot::DataSource), 1)).cell(), c.cell());
    for (int i : {1, 2}) {
        const Value& col = tb::at(list, std::size_t(i) + 1);
        EXPECT_EQ(tb::at(col, dlg::slot::Type).asInt(), dlg::type::Column);
        EXPECT_EQ(tb::at(col, dlg::slot::Caption).str(), i == 1 ? "word" : "qty");
        EXPECT_TRUE(tb::at(tb::at(col, dlg::slot::Options), dlg::columnOption::SortBlock).isBlock()) << "every column sorts";
    }
    EXPECT_EQ(tb::at(addons::sqlBrowseOptions(), dlg::readOption::Title).str(), "SQL Browse");
}

TEST_F(SqlBrowseTest, HeaderSortBlocksOrderTheCursorAndTheBrowseShowsIt)
{
    const Value c = cursor(kFruit);
    bool ran = false;
    EXPECT_TRUE(show(c, [&](dlg::DialogPart& d, gui::XbpBrowse* b) {
        ran = true;
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(d.dialog()->windowTitle().toStdString(), "SQL Browse");
        EXPECT_EQ(b->colCount(), 2);
        EXPECT_EQ(shown(b, 1, 3), (std::vector<std::string>{"Banana", "apple", "cherry"}));
        // What a header click evaluates: the column's sort block with the direction.
        const Value block = rt::getMember(d.elements[1], "sortBlock");
        EXPECT_EQ(rt::evalWith(block, Value(), 1, false).asInt(), 1);
        b->refreshAll();
        EXPECT_EQ(shown(b, 1, 3), (std::vector<std::string>{"apple", "Banana", "cherry"}));
        rt::evalWith(rt::getMember(d.elements[2], "sortBlock"), Value(), 2, true);
        b->refreshAll();
        EXPECT_EQ(shown(b, 2, 3), (std::vector<std::string>{"10", "3", "2"}));
    }));
    EXPECT_TRUE(ran);
}

TEST_F(SqlBrowseTest, TheWindowResizesAndTheBrowseFollows)
{
    const Value c = cursor(kFruit);
    EXPECT_TRUE(show(c, [&](dlg::DialogPart& d, gui::XbpBrowse* b) {
        ASSERT_NE(b, nullptr);
        const QSize before = b->widget()->size();
        d.dialog()->resize(d.dialog()->size() + QSize(120, 60));
        EXPECT_EQ(b->widget()->size(), before + QSize(120, 60));
    }));
}

TEST_F(SqlBrowseTest, NoFieldsGiveAnEmptyBrowseAndANonObjectNothing)
{
    const Value c = cursor("SELECT FROM generate_series(1, 3)");
    bool ran = false;
    EXPECT_TRUE(show(c, [&](dlg::DialogPart&, gui::XbpBrowse* b) {
        ran = true;
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->colCount(), 0);
    }));
    EXPECT_TRUE(ran);
    dlg::MessageCapture capture;
    EXPECT_FALSE(addons::browseSQL(Value("dxcam01")));
    EXPECT_EQ(dlg::activeDialog(), nullptr);
    EXPECT_TRUE(capture.messages.empty());
}

// dxc-sql --csv over values that need quoting, NULLs and non-ASCII text,
// read back by Python's csv reader.
TEST_F(SqlBrowseTest, DxcSqlWritesAwkwardValuesAsCsv)
{
    const std::string query =
        "SELECT * FROM (VALUES (1, $$it's \"quoted\", with comma$$, 'back\\slash'), (2, NULL, E'line\\nbreak'), "
        "(3, '', 'Ñandú €')) v(id, a, b) ORDER BY id";
    const std::string out = tst::runPython(
        {"-c",
         "import csv, io, json, subprocess, sys\n"
         "p = subprocess.run([sys.argv[1], '--csv', sys.argv[2]], capture_output=True)\n"
         "assert p.returncode == 0, p.stderr\n"
         "rows = list(csv.reader(io.StringIO(p.stdout.decode('utf-8'), newline='')))\n"
         "print(json.dumps(rows, ensure_ascii=False))\n"
         "print(b'\\r\\n2,,' in p.stdout, b'\\r\\n3,\"\",' in p.stdout)\n",
         DXC_SQL_BIN, query});
    EXPECT_EQ(out, "[[\"id\", \"a\", \"b\"], [\"1\", \"it's \\\"quoted\\\", with comma\", \"back\\\\slash\"], "
                   "[\"2\", \"\", \"line\\nbreak\"], [\"3\", \"\", \"Ñandú €\"]]\n"
                   "True True\n");  // NULL an empty cell, the empty text ""
}

TEST_F(SqlBrowseTest, DxcSqlReportsQueryErrorsWithTheirPlace)
{
    const std::string out = tst::runPython(
        {"-c",
         "import subprocess, sys\n"
         "p = subprocess.run([sys.argv[1], '--csv', 'SELECT 1 FROM nosuch_table'], capture_output=True)\n"
         "print(p.returncode)\n"
         "sys.stdout.write(p.stderr.decode())\n",
         DXC_SQL_BIN});
    EXPECT_EQ(out.substr(0, 2), "1\n");
    EXPECT_NE(out.find("relation \"nosuch_table\" does not exist"), std::string::npos) << out;
    EXPECT_NE(out.find("(position 15)"), std::string::npos) << out;
    EXPECT_NE(out.find("\n  SELECT 1 FROM nosuch_table\n                ^"), std::string::npos) << out;
}

// Without --write the statement runs read-only and is rolled back: each
// kind of write is refused with status 1 and the server's reason, and the
// table is as it was; with --write it runs and is committed.
TEST_F(SqlBrowseTest, DxcSqlWritesOnlyWithWrite)
{
    const std::string db = testpg::Database::instance().name();
    ASSERT_TRUE(conn.execute("CREATE TABLE ro (a int); INSERT INTO ro VALUES (1); CREATE SEQUENCE ro_seq"));
    const std::string out = tst::runPython(
        {"-c",
         "import subprocess, sys\n"
         "sql, db = sys.argv[1], sys.argv[2]\n"
         "def run(*args):\n"
         "    return subprocess.run([sql, '--dbname', db, '--csv', *args], capture_output=True, text=True)\n"
         "for stmt in ['INSERT INTO ro VALUES (2)', 'DROP TABLE ro', 'TRUNCATE ro',\n"
         "             'DO $$BEGIN INSERT INTO ro VALUES (3); END$$',\n"
         "             'WITH x AS (INSERT INTO ro VALUES (4) RETURNING a) SELECT * FROM x',\n"
         "             \"SELECT nextval('ro_seq')\", 'SELECT * FROM ro FOR UPDATE']:\n"
         "    p = run(stmt)\n"
         "    print(p.returncode, 'read-only transaction' in p.stderr, repr(p.stdout))\n"
         "print(run('SELECT count(*) AS n FROM ro').stdout.split())\n"
         "print(run('--write', 'INSERT INTO ro VALUES (5) RETURNING a').returncode)\n"
         "print(run('SELECT count(*) AS n FROM ro').stdout.split())\n",
         DXC_SQL_BIN, db});
    EXPECT_EQ(out, "1 True ''\n1 True ''\n1 True ''\n1 True ''\n1 True ''\n1 True ''\n1 True ''\n"
                   "['n', '1']\n0\n['n', '2']\n");
}

// Numbers reach the CSV digit for digit as the server sends them: the same
// bytes as psql --csv (line ends aside), over long decimals, int8 at its
// limits, money, NaN and the infinities, and 500,000 divisions.
TEST_F(SqlBrowseTest, DxcSqlCsvNumbersMatchPsql)
{
    const std::string out = tst::runPython(
        {"-c",
         "import subprocess, sys\n"
         "for q in ['SELECT 12345678901234567890.12::numeric, 1/3::numeric',\n"
         "          'SELECT (-9223372036854775807 - 1)::int8 AS lo, 9223372036854775807::int8 AS hi, '\n"
         "          \"'-1234567.89'::money AS m, 'NaN'::numeric AS nan, '-Infinity'::numeric AS inf, \"\n"
         "          '0.000000000000000000000000000001::numeric AS tiny, 1e20::float8 AS f',\n"
         "          'SELECT g::numeric / 7 AS q FROM generate_series(1, 500000) g']:\n"
         "    ours = subprocess.run([sys.argv[1], '--csv', q], capture_output=True, check=True).stdout\n"
         "    peer = subprocess.run(['psql', '-X', '-d', 'postgres', '--csv', '-c', q], capture_output=True,\n"
         "                          check=True).stdout\n"
         "    print(ours.replace(b'\\r\\n', b'\\n') == peer, ours.count(b'\\r\\n'))\n",
         DXC_SQL_BIN});
    EXPECT_EQ(out, "True 2\nTrue 2\nTrue 500001\n");
}

// Ctrl+C ends dxc-sql with 130 and the statement on the server with it.
TEST_F(SqlBrowseTest, DxcSqlCancelsItsStatementOnCtrlC)
{
    const std::string out = tst::runPython(
        {"-c",
         "import signal, subprocess, sys, time\n"
         "def running():\n"
         "    q = \"SELECT count(*) FROM pg_stat_activity WHERE query = 'SELECT pg_sleep(60.5)'\"\n"
         "    return subprocess.run(['psql', '-X', '-At', '-d', 'postgres', '-c', q], capture_output=True,\n"
         "                          text=True).stdout.strip()\n"
         "p = subprocess.Popen([sys.argv[1], '--csv', 'SELECT pg_sleep(60.5)'], stdout=subprocess.DEVNULL)\n"
         "for _ in range(100):\n"
         "    if running() == '1': break\n"
         "    time.sleep(0.1)\n"
         "p.send_signal(signal.SIGINT)\n"
         "print(p.wait(timeout=20))\n"
         "for _ in range(100):\n"
         "    if running() == '0': break\n"
         "    time.sleep(0.1)\n"
         "print(running())\n",
         DXC_SQL_BIN});
    EXPECT_EQ(out, "130\n0\n");
}

// The help names every option, the window's keys and the exit statuses;
// without a display the window is refused in words while --csv works.
TEST_F(SqlBrowseTest, DxcSqlHelpAndNoDisplay)
{
    const std::string out = tst::runPython(
        {"-c",
         "import os, subprocess, sys\n"
         "h = subprocess.run([sys.argv[1], '--help'], capture_output=True, text=True)\n"
         "print(h.returncode, [w for w in ['--host', '--port', '--user', '--dbname', '--write', '--csv', '--once',\n"
         "      'read-only', 'Esc', 'click', 'Exit status', '130'] if w not in h.stdout])\n"
         "env = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM')}\n"
         "w = subprocess.run([sys.argv[1], 'SELECT 1'], capture_output=True, text=True, env=env)\n"
         "print(w.returncode, w.stderr.strip())\n"
         "c = subprocess.run([sys.argv[1], '--csv', 'SELECT 1 AS one'], capture_output=True, text=True, env=env)\n"
         "print(c.returncode, c.stdout.split())\n",
         DXC_SQL_BIN});
    EXPECT_EQ(out, "0 []\n1 dxc-sql: no display: set DISPLAY or use --csv\n0 ['one', '1']\n");
}

// In the SQL browse no heading shows an arrow before a sort; a left click
// sorts ascending, a second one descending.
TEST_F(SqlBrowseTest, AHeadingClickSortsAscendingFirst)
{
    const Value c = cursor(kFruit);
    EXPECT_TRUE(show(c, [&](dlg::DialogPart&, gui::XbpBrowse* b) {
        ASSERT_NE(b, nullptr);
        auto arrow = [&](int col) -> std::string {
            for (gui::XbpPart* p : gui::asCellGroup(b->columnAt(col)->heading)->children())
                if (auto* s = dynamic_cast<gui::XbpStatic*>(p); s && p->cargo.isChar() && p->cargo.asString() == "SortArrow")
                    return s->caption.isChar() ? s->caption.str() : "?";
            return "none";
        };
        auto click = [&](int col) {
            QWidget* w = gui::asCellGroup(b->columnAt(col)->heading)->widget();
            QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
            gui::dispatchPending();
            b->forceStable();
        };
        EXPECT_EQ(arrow(1), "none");
        EXPECT_EQ(arrow(2), "none");
        click(2);
        EXPECT_EQ(shown(b, 2, 3), (std::vector<std::string>{"2", "3", "10"}));
        EXPECT_EQ(arrow(2), "t");
        click(2);
        EXPECT_EQ(shown(b, 2, 3), (std::vector<std::string>{"10", "3", "2"}));
        EXPECT_EQ(arrow(2), "u");
        click(1);
        EXPECT_EQ(shown(b, 1, 3), (std::vector<std::string>{"apple", "Banana", "cherry"}));
        EXPECT_EQ(arrow(1), "t");
        EXPECT_EQ(arrow(2), "none");
    }));
}

}  // namespace
