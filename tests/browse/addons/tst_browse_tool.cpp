// dxc-browse run as a program over hostile tables: field names that are
// code, quotes or blanks are shown and exported as they are and never run,
// and an export never waits on a box nobody can see.
#include "common/hostile_tables.h"

#include "common/pg_test_db.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class BrowseTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* base = std::getenv("DXC_TEST_TMP");
        dir_ = fs::path(base && *base ? base : "/tmp") /
               ("browse_tool_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "config");
        // V.dbf is what DBCREATE("V", ...) would empty if a name ran.
        hostile::write(file("V.dbf"), {"X"}, {"abcd", "efgh"}, false);
    }
    void TearDown() override { fs::remove_all(dir_); }

    [[nodiscard]] std::string file(const std::string& name) const { return (dir_ / name).string(); }

    // dxc-browse ARGS in the tables' folder, offscreen. A window stays open:
    // it is ended after `windowMs`, and must have lived that long.
    struct Run {
        int status = -1;
        bool crashed = false, stillOpen = false;
        std::string err;
    };
    Run browse(const QStringList& args, int windowMs = 0)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* locale : {"LC_ALL", "LC_COLLATE"})
            env.remove(locale);
        env.insert("LANG", "C");  // no locale named: the Spanish order
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(file("config")));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir_.string()));
        p.start(DXC_BROWSE_BIN, args);
        Run r;
        if (!p.waitForStarted())
            return r;
        const bool ended = p.waitForFinished(windowMs > 0 ? windowMs : 60000);
        r.stillOpen = !ended;
        if (!ended) {
            p.kill();
            p.waitForFinished();
        } else {
            r.crashed = p.exitStatus() == QProcess::CrashExit;
            r.status = p.exitCode();
        }
        r.err = p.readAllStandardError().toStdString();
        return r;
    }

    fs::path dir_;
};

struct Table {
    const char* name;
    std::vector<std::string> names;
    bool level7;
};

const Table kTables[] = {
    {"dBASE III", hostile::kLevel3Names, false},
    {"dBASE 7", {hostile::kLevel7Name, "NAME"}, true},
};

// Opening the window (read-only and --edit) builds the query panel and the
// sortable columns over every field; no name runs as code and none aborts.
TEST_F(BrowseTool, HostileFieldNamesAreShownNeverRun)
{
    for (const Table& t : kTables) {
        SCOPED_TRACE(t.name);
        std::vector<std::string> records{std::string(4 * t.names.size(), 'a'), std::string(4 * t.names.size(), 'b')};
        hostile::write(file("H.DBF"), t.names, records, t.level7);
        const std::string table = slurp(file("H.DBF")), victim = slurp(file("V.dbf"));
        for (const QStringList& args : {QStringList{"H.DBF"}, QStringList{"--edit", "H.DBF"}}) {
            SCOPED_TRACE(args.join(' ').toStdString());
            const Run r = browse(args, 2500);
            EXPECT_TRUE(r.stillOpen) << "status " << r.status << ": " << r.err;
            EXPECT_EQ(slurp(file("H.DBF")), table);
            EXPECT_EQ(slurp(file("V.dbf")), victim);
        }
        // Ordered on a field whose name is code, as a header click orders it.
        const Run r = browse({"H.DBF", "--export", "out.csv", "--order", QString::fromStdString(t.names[0]), "--force"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(slurp(file("H.DBF")), table);
        EXPECT_EQ(slurp(file("V.dbf")), victim);
    }
}

// Quotes, blanks only and trailing blanks: the CSV header holds each name
// as the file does, the rows follow without their padding. A DBF cannot
// take such names: the export says so on standard error and fails at once,
// leaving no file (no message box waits where there is no window).
TEST_F(BrowseTool, OddNamesExportAsTheyAreOrFailWithAMessage)
{
    hostile::write(file("H.DBF"), hostile::kLevel3Names, {"ab  cd  ef  gh  ij  "}, false);
    const Run csv = browse({"H.DBF", "--export", "out.csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(slurp(file("out.csv")), "DBAPPEND(),A'B,   ,NAME ,RECNO \r\nab,cd,ef,gh,ij\r\n");

    const Run dbf = browse({"H.DBF", "--export", "out.dbf"});
    EXPECT_EQ(dbf.status, 1);
    EXPECT_NE(dbf.err.find("dxc-browse: cannot write out.dbf"), std::string::npos) << dbf.err;
    EXPECT_FALSE(fs::exists(file("out.dbf")));
}


// --order sorts text in Spanish (letters without case and accents, Ñ after
// N; ties by accents, then case), as PostgreSQL's "es-x-icu" collation
// orders the same names. The ties come in an order the result must undo.
TEST_F(BrowseTool, OrderAgreesWithPostgreSQLSpanish)
{
    DXC_REQUIRE_DATABASE();
    const std::vector<std::string> names = {"YOLANDA", "ÁNGEL", "ÑANDÚ", "ÓSCAR",   "ÚRSULA", "MARTÍN", "MARÍA",
                                            "JOSUÉ",   "JOSÉ",  "AGUSTÍN", "NUÑEZ", "NUNEZ",  "José",   "jose",
                                            "JOSE",    "jóse",  "Jose",  "nuñez",   "Nuñez"};
    std::vector<std::string> records, values;
    for (const std::string& n : names) {
        records.push_back(QString::fromStdString(n).leftJustified(10).toLatin1().toStdString());  // Windows ANSI
        values.push_back("('" + n + "')");
    }
    hostile::write(file("N.DBF"), {"NAME"}, records, false, 10);
    const Run r = browse({"N.DBF", "--export", "out.csv", "--order", "NAME"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected = "NAME\r\n";
    PGconn* c = testpg::connectTo(testpg::Database::instance().name());
    ASSERT_NE(c, nullptr);
    std::string sql = "SELECT n FROM (VALUES ";
    for (std::size_t i = 0; i < values.size(); ++i)
        sql += (i ? "," : "") + values[i];
    for (const std::string& n : testpg::rows(c, sql + ") v(n) ORDER BY n COLLATE \"es-x-icu\""))
        expected += n + "\r\n";
    PQfinish(c);
    EXPECT_EQ(slurp(file("out.csv")), expected);
}


// A deleted record is neither shown nor exported, as dump leaves it out.
TEST_F(BrowseTool, DeletedRecordsAreNotExported)
{
    hostile::write(file("D.DBF"), {"NAME"}, {"abcd", "*efgh", "ijkl"}, false);
    const Run r = browse({"D.DBF", "--export", "out.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(file("out.csv")), "NAME\r\nabcd\r\nijkl\r\n");
}

// A value the record does not store is an empty cell, as dump writes it,
// not the 0 or false its column reads; stored 0 and false stay.
TEST_F(BrowseTool, ValuesNotStoredExportAsEmptyCells)
{
    std::ofstream(file("E.DBF"), std::ios::binary | std::ios::trunc)
        << hostile::tableBytes({"N", "L", "C"}, {"    ?ab  ", "   0Fcd  "}, false, 4, "NLC");
    const Run r = browse({"E.DBF", "--export", "out.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(file("out.csv")), "N,L,C\r\n,,ab\r\n0,false,cd\r\n");
}

}  // namespace
