// Export of what a browse shows, read back by python3-dbfread value by
// value, and the accessors of array and object browses.
#include "addons_fixture.h"

#include "platform/dbf/tst_table_util.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using addtest::Dialog;
using rt::Value;

// The exported table as dbfread reads it: one JSON array per record.
std::vector<std::string> readBack(const std::string& path)
{
    const std::string out = tst::runPython(
        {"-c", "import dbfread, json, sys\n"
               "for r in dbfread.DBF(sys.argv[1]):\n"
               "    print(json.dumps(list(r.values()), default=str, ensure_ascii=False))\n",
         path});
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < out.size()) {
        const std::size_t nl = out.find('\n', at);
        lines.push_back(out.substr(at, nl - at));
        at = nl == std::string::npos ? out.size() : nl + 1;
    }
    return lines;
}

Value stru(std::initializer_list<std::tuple<const char*, const char*, int, int>> fields)
{
    Value s = Value::array();
    for (auto [n, t, l, d] : fields)
        s.asArray().items.push_back(rt::makeArray({n, t, l, d}));
    return s;
}

class ExportTest : public addtest::AddonsTest {
protected:
    std::string target(const std::string& name) { return (fs::path(tmp()) / name).string(); }
    // Exports the browse of the dialog; the result of RK_Browse2Dbf.
    bool exportTo(Dialog& d, const std::string& file, const Value& aStru)
    {
        bool ok = false;
        d.run([&](const Value& browse) { ok = addons::browse2Dbf(browse, file, aStru); });
        rt::callFunction("DbCloseAll");
        return ok;
    }
};

TEST_F(ExportTest, ArrayRowsAreWrittenWhateverRowWasCurrent)
{
    const Value data = rt::makeArray({rt::makeArray({"Smith", 12, "12.5"}), rt::makeArray({"apple", 3, "x"}),
                                      rt::makeArray({"Ñandú \"q\"", -7, ""})});
    for (int start : {1, 2, 3}) {
        SCOPED_TRACE(start);
        Dialog d = Dialog::overArray(data, 3);
        d.startAt(start);
        const std::string file = target("rows" + std::to_string(start) + ".dbf");
        // A numeric column into a character field, a text column into a numeric one.
        ASSERT_TRUE(exportTo(d, file, stru({{"NAME", "C", 12, 0}, {"QTY", "C", 5, 0}, {"AMOUNT", "N", 6, 2}})));
        EXPECT_EQ(readBack(file), (std::vector<std::string>{R"(["Smith", "12", 12.5])", R"(["apple", "3", 0.0])",
                                                             R"(["Ñandú \"q\"", "-7", 0.0])"}));
    }
}

TEST_F(ExportTest, AnEmptyArrayWritesTheValuesOfNoRow)
{
    Dialog d = Dialog::overArray(Value::array(), 1);
    const std::string file = target("empty.dbf");
    ASSERT_TRUE(exportTo(d, file, stru({{"NAME", "C", 5, 0}})));
    // The column's block gives "" outside the rows: one blank record.
    EXPECT_EQ(readBack(file), (std::vector<std::string>{R"([""])"}));
}

TEST_F(ExportTest, AliasRowsFollowTheBrowsesOrder)
{
    openTable("ORDERED", {"pear", "Apple", "fig"});
    rt::evalText("OrdCreate(, \"BYNAME\", \"Upper(NAME)\")");
    Dialog d = Dialog::overAlias("ORDERED");
    const std::string file = target("ordered.dbf");
    ASSERT_TRUE(exportTo(d, file, stru({{"NAME", "C", 10, 0}})));
    EXPECT_EQ(readBack(file), (std::vector<std::string>{R"(["Apple"])", R"(["fig"])", R"(["pear"])"}));
}

// What the browse shows is written: deleted records only when they are
// shown, and then with their deleted mark; an empty view writes no record.
TEST_F(ExportTest, DeletedRecordsAreWrittenAsShown)
{
    struct Case {
        const char* name;
        bool hidden;
        std::vector<std::string> deleted;  // record numbers to delete
        const char* expected;              // records: live names | deleted names
    };
    const Case cases[] = {
        {"shown", false, {"2"}, "3: pear,fig|Apple"},
        {"hidden", true, {"2"}, "2: pear,fig|"},
        {"all deleted and hidden", true, {"1", "2", "3"}, "0: |"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openTable("DELS", {"pear", "Apple", "fig"});
        for (const std::string& r : c.deleted)
            rt::evalText("DbGoTo(" + r + "), DbDelete()");
        const bool was = dbf::setDeletedHidden(c.hidden);
        Dialog d = Dialog::overAlias("DELS");
        const std::string file = target(std::string("dels") + (c.hidden ? "h" : "s") + std::to_string(c.deleted.size()) + ".dbf");
        const bool ok = exportTo(d, file, stru({{"NAME", "C", 10, 0}}));
        dbf::setDeletedHidden(was);
        ASSERT_TRUE(ok);
        EXPECT_EQ(tst::runPython({"-c", "import dbfread, sys\n"
                                        "t = dbfread.DBF(sys.argv[1])\n"
                                        "print(t.header.numrecords, end=': ')\n"
                                        "print(','.join(r['NAME'] for r in t) + '|' + ','.join(r['NAME'] for r in t.deleted))",
                                  file}),
                  std::string(c.expected) + "\n");
    }
}

TEST_F(ExportTest, RefusalsCreateNothing)
{
    struct Case {
        const char* name;
        Value source;
        Value aStru;
    };
    rt::DynClass cls("AnyObject");
    const Case cases[] = {
        {"an object source", cls.instantiate(), stru({{"NAME", "C", 5, 0}})},
        {"more fields than columns", Value::array(), stru({{"A", "C", 5, 0}, {"B", "C", 5, 0}})},
        {"a structure that is no array", Value::array(), Value("NAME")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dialog d = Dialog::overArray(c.source, 1);
        const std::string file = target("refused.dbf");
        bool ok = true;
        d.run([&](const Value& browse) { ok = addons::browse2Dbf(browse, file, c.aStru); });
        EXPECT_FALSE(ok);
        EXPECT_TRUE(tst::listFolder(tmp()).empty()) << tst::listFolder(tmp())[0];
    }
}

// A value the field cannot hold raises; neither the table nor its temporary stays behind.
TEST_F(ExportTest, AFailedExportLeavesNoFile)
{
    const Value data = rt::makeArray({rt::makeArray({"ok"}), rt::makeArray({rt::makeArray({1})})});
    Dialog d = Dialog::overArray(data, 1);
    const std::string file = target("broken.dbf");
    bool raised = false;
    d.run([&](const Value& browse) {
        raised = !rt::guarded([&] { addons::browse2Dbf(browse, file, stru({{"NAME", "L", 1, 0}})); });
    });
    EXPECT_TRUE(raised);
    EXPECT_TRUE(tst::listFolder(tmp()).empty());
}

TEST_F(ExportTest, ColumnArrayGivesCellRowOrRowNumber)
{
    const Value data = rt::makeArray({rt::makeArray({"a", 1}), rt::makeArray({"b", 2})});
    Dialog d = Dialog::overArray(data, 2);
    d.startAt(2);
    d.run([&](const Value& browse) {
        EXPECT_EQ(addons::getColArray(Value(0), browse, {}).asInt(), 2);
        EXPECT_EQ(addons::getColArray({}, browse, {}).cell(), tb::at(data, 2).cell());
        EXPECT_EQ(addons::getColArray(Value(1), browse, {}).str(), "b");
        // A value of the cell's kind is written; another kind is not.
        EXPECT_EQ(addons::getColArray(Value(2), browse, Value(20)).asInt(), 20);
        EXPECT_EQ(addons::getColArray(Value(2), browse, Value("x")).asInt(), 20);
        EXPECT_EQ(tb::at(tb::at(data, 2), 2).asInt(), 20);

        EXPECT_EQ(addons::browseRow(browse, Value(1)).asInt(), 2);
        EXPECT_EQ(rt::getMember(browse, "arrayElement").asInt(), 1);
        EXPECT_EQ(addons::browseRow(browse, Value(9)).asInt(), 1);  // beyond the rows: unchanged
        EXPECT_EQ(addons::browseRow(Value("no browse")).asInt(), 0);

        const Value other = rt::makeArray({rt::makeArray({"z", 26})});
        EXPECT_EQ(addons::getBrowArray(browse, other).cell(), other.cell());
        EXPECT_EQ(tb::at(rt::getMember(browse, "cargo"), 5).cell(), other.cell());
    });
}

TEST_F(ExportTest, ObjectAccessNeverRaises)
{
    rt::DynClass cls("Client");
    cls.addVar("name", "Smith");
    const Value client = cls.instantiate();
    const Value data = rt::makeArray({rt::makeArray({client, "text"})});
    Dialog d = Dialog::overArray(data, 1);
    d.run([&](const Value& browse) {
        const Value col = d.column(1);
        struct Case {
            const char* name;
            Value u, cVar, nElement;
            const char* expected;
        };
        const Case cases[] = {
            {"member read", {}, "name", 1, "Smith"},
            {"member write", "Jones", "name", 1, "Jones"},
            {"missing member", {}, "nosuch", 1, "<nosuch:undefined>"},
            {"compiled text", {}, "{|o| Upper(o:name)}", 1, "JONES"},
            {"failing text", {}, "{|o| o:nosuch + 1}", 1, "<{|o| o:nosuch + 1}:undefined>"},
            {"not an object", {}, "name", 2, "<not an object>"},
            {"element beyond the row", {}, "name", 3, "<not an object>"},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            EXPECT_EQ(addons::objectAccess(c.u, col, c.cVar, c.nElement).str(), c.expected);
        }
        EXPECT_EQ(addons::objectAccess({}, Value("no column"), "name", 1).str(), "");
        EXPECT_EQ(rt::evalWith(addons::objectVarBlock("name", 1), Value(), col).str(), "Jones");
    });
}

}  // namespace
