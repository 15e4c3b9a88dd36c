// Tables as other programs write them (fixtures/real_world.py writes them
// byte by byte): every value reads as those programs meant it, a value that
// cannot be read is NIL and told, and numbers keep every stored digit.
#include "tst_table_util.h"

#include "platform/runtime/datetime.h"

using dbf::Format;
using dbf::Table;
using rt::Value;
using namespace tst;

namespace {

class RealWorld : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir("tst_table_real_world");
        runPython({fixtureScript("real_world.py"), dir_->path()});
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    void TearDown() override { dbf::overrideCodePage(0); }

    static std::unique_ptr<Table> open(const std::string& name) { return Table::open(dir_->file(name), true, false); }

    // Every field of every record as text: NIL as "NIL", dates as yyyymmdd,
    // logicals T/F, numbers as their exact text, text as read.
    static std::vector<std::string> read(Table& t)
    {
        std::vector<std::string> out;
        for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
            t.go(r);
            std::string line;
            for (int f = 0; f < int(t.fields().size()); ++f) {
                const Value v = t.get(f);
                line += f ? "|" : "";
                line += v.isNil()       ? "NIL"
                        : v.isDate()    ? rt::dtos(v.asDate())
                        : v.isLogical() ? (v.asBool() ? "T" : "F")
                        : v.isNum()     ? t.numberText(f, v)
                                        : v.str();
            }
            out.push_back(line);
        }
        return out;
    }

    static TempDir* dir_;
};

TempDir* RealWorld::dir_ = nullptr;

struct ReadCase {
    const char* file;
    Format format;
    int codePage;
    std::vector<std::string> names;
    std::vector<std::string> records;  // the first ones
    std::uint32_t total = 0;           // records in the table, when more than listed
};

TEST_F(RealWorld, EachTableReadsAsItsWriterMeantIt)
{
    const std::string pic("\x89PNG\r\n\x1A\n", 8);
    const ReadCase cases[] = {
        {"nulpad.dbf",  // NUL padding reads as blanks; "*" numbers are NIL
         Format::DBase3,
         1250,
         {"REGION", "POP", "AREA"},
         {"Jihočeský kraj" + std::string(36, ' ') + "|NIL|10056.79", "Praha" + std::string(45, ' ') + "|1300000|NIL"}},
        {"dupnames.dbf", Format::DBase3, 1252, {"POINT_ID", "POINT_ID_2", "NAME"}, {"1|2|one     ", "3|4|two     "}},
        {"big5.dbf", Format::DBase3, 950, {"名稱", "城市"}, {"台北市      |台灣    "}},
        {"gbk.dbf", Format::DBase3, 936, {"NAME"}, {"中文名字  "}},
        {"dbt64.dbf", Format::DBase4, 1252, {"ID", "NOTE"}, {"1|short note", "2|" + std::string(100, 'x')}},
        {"dbase7.dbf",
         Format::DBase7,
         1252,
         {"CUSTOMER_NAME", "ID", "AMOUNT", "STAMP", "PHOTO"},
         {"Café      |1|-2.75|2024-02-29 13:45:30.250|" + std::string("\0\xFF\xFE binary \x80", 12),
          "Zoë       |2|1e+06|"
          "|"}},
        {"vfpvar.dbf",
         Format::VisualFoxPro,
         1252,
         {"NAME", "CODE", "PIC"},
         {"abc|" + std::string("\0\xFF\x10", 3) + "|" + pic + std::string(1, '\0'), "0123456789|ABCDEF|", "NIL||"}},
        {"noterm.dbf", Format::DBase3, 1252, {"A", "B"}, {"abc|7"}},
        {"term00.dbf", Format::DBase3, 1252, {"A", "B"}, {"abc|7"}},
        {"term0a.dbf", Format::DBase3, 1252, {"A", "B"}, {"abc|7"}},
        {"nofields.dbf", Format::DBase3, 1252, {}, {"", "", ""}},
        {"date10.dbf", Format::DBase3, 1252, {"WHEN", "N"}, {"20240229|1", "20240229|2", "        |3"}},
        {"unknowncp.dbf", Format::DBase3, 850, {"T"}, {"ñand"}},
        // No code page named: detected from the text.
        {"cz1250.dbf", Format::DBase3, 1250, {"KRAJ"}, {"Jihočeský kraj      "}, 9},
        {"ru866.dbf", Format::DBase3, 866, {"GOROD"}, {"Москва         "}, 9},
        {"th874.dbf", Format::DBase3, 874, {"CHANGWAT"}, {"กรุงเทพมหานคร"}, 6},
        {"big5name.dbf", Format::DBase3, 950, {"畜主姓名"}, {"王小明"}, 7},
        {"utf8.dbf", Format::DBase3, 65001, {"☃"}, {"snow ☃ man"}, 3},
        // The .cpg file wins over the header's 1252.
        {"grenada.dbf", Format::DBase3, 65001, {"NAME"}, {"Гренада" + std::string(6, ' ')}},
        {"ansi1251.dbf", Format::DBase3, 1251, {"NAME"}, {"Гренада   "}},
        {"mazovia.dbf", Format::DBase3, 620, {"MIASTO"}, {"Łódź Gdańsk Żółć"}},
        // Memos as stored; blank dBASE IV decimals, a lone sign; F in exponent form.
        {"memos.dbf",
         Format::FoxPro,
         1252,
         {"NOTE", "CODE"},
         {"A Hilton Wedding" + std::string(134, ' ') + "|plain ", " |" + std::string("\0reak ", 6),
          std::string("\xC3\xBF\xC3\x98\xC3\xBF\xC3\xA0\0\x10JFIF\0\x01", 16) + std::string(10, '\0') + "end|jpeg  "}},
        {"blanks.dbf", Format::DBase4, 1252, {"AMOUNT", "WHEN", "RATIO"},
         {"0.00|19600101|3411810000.00000000000", "0.00|        |0.50000000000"}},
        // Headers whose meaning is clear: a field of length 0, an empty
        // shapefile, a record length one short, an Excel C length, dBASE 7
        // types under an older version byte.
        {"len0.dbf", Format::DBase3, 1252, {"GEOM", "ID"}, {"|1", "|2"}},
        {"emptyshp.dbf", Format::DBase3, 850, {}, {}},
        {"shortrec.dbf", Format::DBase3, 1252, {"A", "B"}, {"abc|7", "xyz|8"}},
        {"excelc.dbf", Format::DBase3, 1252, {"NAME", "N"}, {"hello|4"}},
        {"newtypes.dbf", Format::DBase3, 1252, {"O", "I", "P", "AT"}, {"-2.75|9|3|2024-02-29 13:00:00"}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.file);
        auto t = open(c.file);
        EXPECT_EQ(formatName(t->format()), formatName(c.format));
        EXPECT_EQ(t->codePage(), c.codePage);
        std::vector<std::string> names;
        for (const dbf::Field& f : t->fields())
            names.push_back(f.name);
        EXPECT_EQ(names, c.names);
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(t->fieldIndex(names[i]), int(i)) << names[i];
        std::vector<std::string> records = read(*t);
        EXPECT_EQ(records.size(), c.total ? c.total : c.records.size());
        records.resize(c.records.size());
        EXPECT_EQ(records, c.records);
    }
}

TEST_F(RealWorld, BinaryFieldsAreMarkedSo)
{
    auto t = open("vfpvar.dbf");
    EXPECT_FALSE(t->fields()[0].binary);
    EXPECT_TRUE(t->fields()[1].binary);
    EXPECT_TRUE(t->fields()[2].binary);
    EXPECT_TRUE(open("dbase7.dbf")->fields()[4].binary);
    EXPECT_FALSE(open("dbt64.dbf")->fields()[1].binary);
}

TEST_F(RealWorld, UnknownCodePageIsAssumedAndTheOverrideWins)
{
    EXPECT_TRUE(open("unknowncp.dbf")->codePageAssumed());
    EXPECT_FALSE(open("nulpad.dbf")->codePageAssumed());
    EXPECT_TRUE(open("cz1250.dbf")->codePageDetected());
    EXPECT_FALSE(open("nulpad.dbf")->codePageDetected());  // named by its header: never detected
    EXPECT_EQ(open("shortrec.dbf")->headerRecordLength(), 5u);
    dbf::overrideCodePage(437);
    auto t = open("unknowncp.dbf");
    EXPECT_EQ(t->codePage(), 437);
    EXPECT_FALSE(t->codePageAssumed());
    t->go(1);
    EXPECT_EQ(t->get(0).str(), "ñand");  // 0xA4 is ñ in 437 too
    dbf::overrideCodePage(1250);
    EXPECT_EQ(open("unknowncp.dbf")->codePage(), 1250);
    EXPECT_EQ(open("grenada.dbf")->codePage(), 1250);  // over the .cpg file too
    EXPECT_THROW(dbf::overrideCodePage(12345), rt::Error);
}

TEST_F(RealWorld, NumbersKeepEveryStoredDigit)
{
    auto t = open("numbers.dbf");
    const std::vector<std::vector<std::string>> expected = {
        {"0.3333333333333333", "1234567890123.4567", "123456789012345.67", "-5", "-0.125", "1e-07"},
        {"2.5", "-1.0000", "-0.50", "7", "0.500", "123456.789"},
    };
    for (std::uint32_t r = 1; r <= 2; ++r) {
        t->go(r);
        for (int f = 0; f < 6; ++f)
            EXPECT_EQ(t->numberText(f), expected[r - 1][std::size_t(f)]) << "record " << r << " field " << f;
    }
    EXPECT_DOUBLE_EQ(t->get(0).asDouble(), 2.5);
    auto n = open("nulpad.dbf");
    n->go(1);
    EXPECT_EQ(n->numberText(1), "");  // "*": no number
    EXPECT_EQ(n->numberText(2), "10056.79");
}

TEST_F(RealWorld, CutFileKeepsTheHeadersClaim)
{
    auto t = open("cut.dbf");
    EXPECT_EQ(t->recordCount(), 6u);
    EXPECT_EQ(t->headerCount(), 10u);
    auto q = open("quotes.dbf");
    EXPECT_EQ(q->recordCount(), q->headerCount());
}

TEST_F(RealWorld, DBaseIIIsRefusedNamingTheVersion)
{
    const rt::Error e = errorOf([&] { (void)open("dbase2.dbf"); });
    EXPECT_NE(e.description.find("dBASE II tables (version byte 0x02) are not supported"), std::string::npos)
        << e.description;
}

// The read-only types refuse a write instead of writing a wrong layout.
TEST_F(RealWorld, NewTypesAreReadOnly)
{
    TempDir dir("tst_table_real_world_w");
    std::filesystem::copy_file(dir_->file("dbase7.dbf"), dir.file("d.dbf"));
    std::filesystem::copy_file(dir_->file("dbase7.dbt"), dir.file("d.dbt"));
    auto t = Table::open(dir.file("d.dbf"), false, false);
    t->go(1);
    for (int f : {2, 3, 4}) {
        const rt::Error e = errorOf([&] { t->put(f, t->get(f)); });
        EXPECT_NE(e.description.find("is read-only"), std::string::npos) << e.description;
    }
}

}  // namespace
