// The table file layer, through real files in both directions: tables that
// python3-dbf wrote are read and compared with what it says it wrote;
// tables we write are read back with python3-dbfread. Damaged files must
// raise errors that name the file and the fault.
#include "tst_table_util.h"

#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using dbf::Format;
using dbf::Table;
using rt::Value;
using namespace tst;

namespace {

std::string hex(std::string_view bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Our value against the JSON of a python reader for a field of type `type`.
// null there means a blank field, which we read as the type's empty value.
void expectSame(const Value& ours, const QJsonValue& theirs, char type, int dec, const std::string& where,
                bool dbase4Memo = false)
{
    SCOPED_TRACE(where);
    switch (type) {
    case 'C':
        ASSERT_TRUE(ours.isChar());
        EXPECT_EQ(rt::rtrim(ours.asString()), theirs.isNull() ? "" : theirs.toString().toStdString());
        break;
    case 'M': {
        ASSERT_TRUE(ours.isChar());
        std::string text = theirs.isNull() ? "" : theirs.toString().toStdString();
        // dbfread takes a dBASE IV memo's length as the text's alone, though it
        // counts the block's 8 header bytes too, and reads 8 bytes of padding more.
        if (dbase4Memo && text.size() >= 8 && text.compare(text.size() - 8, 8, std::string(8, '\0')) == 0)
            text.resize(text.size() - 8);
        EXPECT_EQ(ours.str(), text);
        break;
    }
    case 'N':
    case 'F':
    case 'B':
        ASSERT_TRUE(ours.isNum());
        EXPECT_DOUBLE_EQ(ours.asDouble(), theirs.isNull() ? 0.0 : theirs.toDouble());
        if (type != 'B' && dec > 0) {
            EXPECT_EQ(ours.decimals(), dec);
        }
        break;
    case 'I':
        ASSERT_TRUE(ours.isNum());
        EXPECT_TRUE(ours.isInteger());
        EXPECT_EQ(ours.asInt(), theirs.isNull() ? 0 : theirs.toInteger());
        break;
    case 'Y':
        ASSERT_TRUE(ours.isNum());
        EXPECT_EQ(ours.decimals(), 4);
        EXPECT_EQ(rt::alltrim(rt::str(ours, 25, 4)), theirs.toString().toStdString());
        break;
    case 'D':
        ASSERT_TRUE(ours.isDate());
        EXPECT_EQ(rt::alltrim(rt::dtos(ours.asDate())), theirs.isNull() ? "" : theirs.toString().toStdString());
        break;
    case 'L':
        ASSERT_TRUE(ours.isLogical());
        EXPECT_EQ(ours.asBool(), theirs.isBool() && theirs.toBool());
        break;
    case 'T':
        ASSERT_TRUE(ours.isChar());
        EXPECT_EQ(ours.str(), theirs.isNull() ? "" : theirs.toString().toStdString());
        break;
    case 'G':
    case 'P':
        ASSERT_TRUE(ours.isChar());
        EXPECT_EQ(hex(ours.asString()), theirs.isNull() ? "" : theirs.toString().toStdString());
        break;
    default: FAIL() << "no comparison for type " << type;
    }
}

QJsonObject parseJson(const std::string& text)
{
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &err);
    EXPECT_EQ(err.error, QJsonParseError::NoError) << err.errorString().toStdString();
    return doc.object();
}

// --- tables written by python3-dbf ---

class ForeignTables : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir("tst_table_fixtures");
        const std::string out = runPython({fixtureScript("make_fixtures.py"), dir_->path()});
        expected_ = new QJsonObject(parseJson(readFile(dir_->file("expected.json"))));
    }
    static void TearDownTestSuite()
    {
        delete expected_;
        delete dir_;
    }

    static TempDir* dir_;
    static QJsonObject* expected_;
};

TempDir* ForeignTables::dir_ = nullptr;
QJsonObject* ForeignTables::expected_ = nullptr;

TEST_F(ForeignTables, EveryValueReadsAsWritten)
{
    const QJsonArray tables = (*expected_)["tables"].toArray();
    ASSERT_EQ(tables.size(), 4);
    for (const QJsonValue& tv : tables) {
        const QJsonObject t = tv.toObject();
        const std::string file = t["file"].toString().toStdString();
        SCOPED_TRACE(file);
        auto table = Table::open(dir_->file(file), true, false);
        EXPECT_EQ(table->codePage(), t["codepage"].toInt());
        EXPECT_EQ(formatName(table->format()), t["format"].toString().toStdString());

        const QJsonArray fields = t["fields"].toArray();
        ASSERT_EQ(table->fields().size(), std::size_t(fields.size()));
        for (int f = 0; f < fields.size(); ++f) {
            const QJsonArray spec = fields[f].toArray();
            const dbf::Field& ours = table->fields()[std::size_t(f)];
            EXPECT_EQ(ours.name, spec[0].toString().toStdString());
            EXPECT_EQ(ours.type, spec[1].toString().toStdString()[0]);
            EXPECT_EQ(ours.len, spec[2].toInt());
        }

        const QJsonArray records = t["records"].toArray();
        ASSERT_EQ(table->recordCount(), std::uint32_t(records.size()));
        for (int r = 0; r < records.size(); ++r) {
            const QJsonObject rec = records[r].toObject();
            table->go(std::uint32_t(r + 1));
            EXPECT_EQ(table->deleted(), rec["deleted"].toBool()) << "record " << r + 1;
            const QJsonArray values = rec["values"].toArray();
            for (int f = 0; f < values.size(); ++f) {
                const dbf::Field& field = table->fields()[std::size_t(f)];
                expectSame(table->get(f), values[f], field.type, field.dec,
                           "record " + std::to_string(r + 1) + " field " + field.name);
            }
        }
    }
}

TEST_F(ForeignTables, HeaderWithAndWithoutTheVisualFoxProAreaReadAlike)
{
    auto full = Table::open(dir_->file("fp_850.dbf"), true, false);
    auto shortHeader = Table::open(dir_->file("fp_850_short.dbf"), true, false);
    ASSERT_EQ(full->recordCount(), shortHeader->recordCount());
    for (std::uint32_t r = 1; r <= full->recordCount(); ++r) {
        full->go(r);
        shortHeader->go(r);
        EXPECT_EQ(full->rawRecord(), shortHeader->rawRecord());
    }
}

TEST_F(ForeignTables, CharactersKeepTrailingBlanksAndPhantomIsBlank)
{
    auto table = Table::open(dir_->file("db3_437.dbf"), true, false);
    table->go(1);
    EXPECT_EQ(table->get(0).str(), "ñandú               ");
    EXPECT_EQ(table->get(0).charLen(), 20u);
    table->go(table->recordCount() + 1);
    EXPECT_EQ(table->recno(), 0u);
    EXPECT_EQ(table->get(0).str(), std::string(20, ' '));
    EXPECT_EQ(table->get(1).asDouble(), 0.0);
    EXPECT_TRUE(table->get(3).asDate().empty());
    EXPECT_FALSE(table->get(4).asBool());
    EXPECT_EQ(table->get(5).str(), "");
    EXPECT_FALSE(table->deleted());
}

TEST_F(ForeignTables, BackwardAndRandomReadsMatchForward)
{
    auto table = Table::open(dir_->file("fp_850.dbf"), true, false);
    std::vector<std::string> forward;
    for (std::uint32_t r = 1; r <= table->recordCount(); ++r) {
        table->go(r);
        forward.emplace_back(table->rawRecord());
    }
    for (std::uint32_t r = table->recordCount(); r >= 1; --r) {
        table->go(r);
        EXPECT_EQ(table->rawRecord(), forward[r - 1]);
    }
    for (std::uint32_t r : {3u, 1u, 4u, 2u, 2u}) {
        table->go(r);
        EXPECT_EQ(table->rawRecord(), forward[r - 1]);
    }
}

TEST_F(ForeignTables, FieldIndexIgnoresCase)
{
    auto table = Table::open(dir_->file("fp_850.dbf"), true, false);
    EXPECT_EQ(table->fieldIndex("price"), 2);
    EXPECT_EQ(table->fieldIndex("Remark"), 6);
    EXPECT_EQ(table->fieldIndex("nothing"), -1);
}

// --- tables we write, read back with python3-dbfread ---

struct RoundTripCase {
    const char* name;
    Format format;
    int codePage;
    const char* encoding;  // as dbfread names it
    const char* memoExt;
    std::vector<dbf::FieldSpec> fields;
    std::vector<std::vector<Value>> rows;  // NIL leaves the field blank
};

std::vector<RoundTripCase> roundTripCases()
{
    const Value date1 = Value(rt::makeDate(1999, 12, 31));
    const Value date2 = Value(rt::makeDate(2024, 2, 29));
    const std::string longMemo = rt::replicate("Línea larga ñ ", 300);
    return {
        {"dBASE III, code page 437",
         Format::DBase3,
         437,
         "cp437",
         ".dbt",
         {{"NAME", 'C', 20, 0},
          {"AMOUNT", 'N', 10, 2},
          {"QTY", 'N', 6, 0},
          {"BORN", 'D', 8, 0},
          {"OK", 'L', 1, 0},
          {"NOTE", 'M', 10, 0}},
         {{Value("ñandú Ç é"), Value::number(1234.5, 2), Value(42), date1, Value(true), Value("memo ñ\r\nsegunda")},
          {Value("Ça va"), Value::number(-0.25, 2), Value(-99999), date2, Value(false), Value(longMemo)},
          {Value(), Value(), Value(), Value(), Value(), Value()}}},
        {"dBASE IV with a dBASE IV memo file, code page 850",
         Format::DBase4,
         850,
         "cp850",
         ".dbt",
         {{"NAME", 'C', 30, 0}, {"RATE", 'F', 12, 4}, {"NOTE", 'M', 10, 0}},
         {{Value("Müller ÁÉÍÓÚ"), Value::number(-3.1416, 4), Value("años " + longMemo)},
          {Value("x"), Value::number(0.0625, 4), Value("")}}},
        {"FoxPro with .FPT memos, code page 850",
         Format::FoxPro,
         850,
         "cp850",
         ".fpt",
         {{"CODE", 'C', 6, 0},
          {"PRICE", 'N', 12, 3},
          {"SINCE", 'D', 8, 0},
          {"ACTIVE", 'L', 1, 0},
          {"REMARK", 'M', 10, 0}},
         {{Value("A001"), Value::number(99999999.999, 3), date1, Value(true), Value("çüéâäàåçêëèïîì")},
          {Value("A002"), Value::number(-12.5, 3), Value(rt::Date{}), Value(false), Value(longMemo)},
          {Value("A003"), Value(), Value(), Value(), Value("")}}},
        {"Visual FoxPro, code page 1252, binary types",
         Format::VisualFoxPro,
         1252,
         "cp1252",
         ".fpt",
         {{"NAME", 'C', 15, 0},
          {"COUNT", 'I', 4, 0},
          {"RATIO", 'B', 8, 2},
          {"BALANCE", 'Y', 8, 4},
          {"STAMP", 'T', 8, 0},
          {"NOTE", 'M', 4, 0},
          {"BORN", 'D', 8, 0}},
         {{Value("Zoë €"), Value(-2147483647 - 1), Value::number(3.125, 2), Value::number(92233720368.5477, 4),
           Value("2021-03-04 05:06:07.890"), Value("VFP memo àèìòù"), date2},
          {Value("x"), Value(2147483647), Value::number(-1e-3, 3), Value::number(-1.5, 4), Value("1970-01-01 00:00:00"),
           Value(""), date1},
          {Value(), Value(), Value(), Value(), Value(), Value(), Value()}}},
    };
}

// Keeps the parameter's text short and free of list separators for ctest.
void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, WhatWeWriteOthersRead)
{
    const RoundTripCase& c = GetParam();
    TempDir dir("tst_table_roundtrip");
    const std::string path = dir.file("t.dbf");
    Table::create(path, c.fields, c.format, c.codePage);
    EXPECT_TRUE(fileExists(dir.file(std::string("t") + c.memoExt)));
    {
        auto table = Table::open(path, false, false);
        for (const auto& row : c.rows) {
            table->appendBlank();
            for (std::size_t f = 0; f < row.size(); ++f)
                if (!row[f].isNil())
                    table->put(int(f), row[f]);
        }
        // A deleted copy of the first row goes last.
        table->appendBlank();
        for (std::size_t f = 0; f < c.rows[0].size(); ++f)
            table->put(int(f), c.rows[0][f]);
        table->setDeleted(true);
        table->flush();
    }

    const QJsonObject theirs = parseJson(runPython({fixtureScript("read_dbf.py"), path}));
    EXPECT_EQ(theirs["encoding"].toString().toStdString(), c.encoding);
    const QJsonArray records = theirs["records"].toArray();
    const QJsonArray deleted = theirs["deleted"].toArray();
    ASSERT_EQ(records.size(), int(c.rows.size()));
    ASSERT_EQ(deleted.size(), 1);

    auto table = Table::open(path, true, false);
    ASSERT_EQ(table->recordCount(), c.rows.size() + 1);
    for (std::uint32_t r = 1; r <= table->recordCount(); ++r) {
        table->go(r);
        const bool isDeleted = r == table->recordCount();
        EXPECT_EQ(table->deleted(), isDeleted);
        const QJsonArray values = isDeleted ? deleted[0].toArray() : records[int(r - 1)].toArray();
        const auto& row = c.rows[isDeleted ? 0 : r - 1];
        for (std::size_t f = 0; f < row.size(); ++f) {
            const dbf::Field& field = table->fields()[f];
            const std::string where = "record " + std::to_string(r) + " field " + field.name;
            // Theirs against what we meant to write, ours against theirs.
            expectSame(table->get(int(f)), values[int(f)], field.type, field.dec, where, c.format == Format::DBase4);
            if (!row[f].isNil() && field.type != 'C') {
                EXPECT_TRUE(rt::isEmpty(row[f]) || !values[int(f)].isNull()) << where;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::ValuesIn(roundTripCases()), [](const auto& info) {
    std::string n;
    for (const char* p = info.param.name; *p; ++p)
        n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return n;
});

// --- writing ---

class Writing : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = dir_.file("w.dbf");
        Table::create(path_, {{"NAME", 'C', 10, 0}, {"AMOUNT", 'N', 8, 2}, {"NOTE", 'M', 10, 0}, {"OK", 'L', 1, 0}},
                      Format::FoxPro, 437);
    }
    TempDir dir_{"tst_table_writing"};
    std::string path_;
};

TEST_F(Writing, AppendThenReopenSeesTheRecord)
{
    {
        auto t = Table::open(path_, false, false);
        EXPECT_EQ(t->appendBlank(), 1u);
        t->put(0, Value("Ñu"));
        t->put(1, Value::number(12.5, 2));
        t->put(2, Value("memo"));
    }  // closing writes the pending record
    auto t = Table::open(path_, true, false);
    ASSERT_EQ(t->recordCount(), 1u);
    t->go(1);
    EXPECT_EQ(t->get(0).str(), "Ñu        ");
    EXPECT_EQ(t->get(1).asDouble(), 12.5);
    EXPECT_EQ(t->get(2).str(), "memo");
}

TEST_F(Writing, CreateLeavesNoTemporaryFileBehind)
{
    EXPECT_EQ(listFolder(dir_.path()), (std::vector<std::string>{"w.dbf", "w.fpt"}));
}

TEST_F(Writing, UnrepresentableCharacterRaisesAndLeavesTheRecordUnchanged)
{
    auto t = Table::open(path_, false, false);
    t->appendBlank();
    t->put(0, Value("before"));
    t->flush();
    const std::string raw(t->rawRecord());
    try {
        t->put(0, Value("€uro"));
        FAIL() << "no error";
    } catch (const rt::Error& e) {
        EXPECT_NE(e.description.find("cannot be written in code page 437"), std::string::npos) << e.description;
        EXPECT_NE(e.description.find("NAME"), std::string::npos) << e.description;
        EXPECT_EQ(e.filename, t->path());
    }
    EXPECT_THROW(t->put(2, Value("memo €")), rt::Error);
    EXPECT_EQ(t->rawRecord(), raw);
    t->go(1);
    EXPECT_EQ(t->get(0).str(), "before    ");
}

TEST_F(Writing, RefusedValuesNameTheField)
{
    auto t = Table::open(path_, false, false);
    t->appendBlank();
    struct Case {
        int field;
        Value value;
        const char* fragment;
    };
    const Case cases[] = {
        {1, Value::number(123456.789, 3), "does not fit in 8 characters"},
        {1, Value("12"), "kind C is wrong"},
        {3, Value(1), "kind N is wrong"},
        {0, Value(), "kind U is wrong"},
        {0, Value(rt::makeDate(2020, 1, 1)), "kind D is wrong"},
    };
    for (const Case& c : cases) {
        try {
            t->put(c.field, c.value);
            ADD_FAILURE() << "no error for " << c.fragment;
        } catch (const rt::Error& e) {
            EXPECT_NE(e.description.find(c.fragment), std::string::npos) << e.description;
            EXPECT_NE(e.description.find(t->fields()[std::size_t(c.field)].name), std::string::npos);
        }
    }
}

TEST_F(Writing, WritesNeedACurrentRecordAndAWritableTable)
{
    {
        auto t = Table::open(path_, false, false);
        t->go(0);
        EXPECT_THROW(t->put(0, Value("x")), rt::Error);
        EXPECT_THROW(t->setDeleted(true), rt::Error);
    }
    auto ro = Table::open(path_, true, false);
    EXPECT_TRUE(ro->readOnly());
    EXPECT_THROW(ro->appendBlank(), rt::Error);
}

TEST_F(Writing, RecordCountReachesTheHeaderAfterTheRecord)
{
    auto t = Table::open(path_, false, false);
    t->appendBlank();
    t->put(0, Value("one"));
    // Until flushed, the file holds the old count and no record: still valid.
    EXPECT_EQ(headerCount(path_), 0u);
    EXPECT_EQ(Table::open(path_, true, false)->recordCount(), 0u);
    t->flush();
    EXPECT_EQ(headerCount(path_), 1u);
    const std::string bytes = readFile(path_);
    EXPECT_EQ(bytes.back(), '\x1A');
}

// An exclusive table writes appended records a block at a time. At every
// moment the file on disk stays a valid table (its header never counts a
// record the file lacks), and reading or closing brings every record in.
TEST_F(Writing, AppendsInBlocksKeepTheFileValidAndLoseNothing)
{
    constexpr std::uint32_t kRecords = 20000;  // a few blocks of 256 kB
    // { the header's count, the whole records the file holds }
    auto onDisk = [&] {
        const std::string bytes = readFile(path_);
        const auto u16 = [&](std::size_t at) { return unsigned(std::uint8_t(bytes[at])) | unsigned(std::uint8_t(bytes[at + 1])) << 8; };
        const std::uint32_t held = static_cast<std::uint32_t>((bytes.size() - u16(8)) / u16(10));
        return std::pair{headerCount(path_), held};
    };
    {
        auto t = Table::open(path_, false, false);
        for (std::uint32_t i = 1; i <= kRecords; ++i) {
            t->appendBlank();
            t->put(0, Value("n" + std::to_string(i)));
            if (i == 12000) {
                const auto [count, held] = onDisk();
                EXPECT_GT(count, 0u) << "blocks reach the file while appending";
                EXPECT_LT(count, 12000u) << "records wait in a block";
                EXPECT_LE(count, held);
            }
        }
        // Reading an earlier record brings every appended one in first.
        t->go(1);
        EXPECT_EQ(t->get(0).str(), "n1        ");
        EXPECT_EQ(onDisk().first, kRecords);
        t->go(kRecords);
        t->appendBlank();
        t->put(0, Value("last"));
    }  // closing writes the rest
    EXPECT_EQ(onDisk().first, kRecords + 1);
    auto t = Table::open(path_, true, false);
    ASSERT_EQ(t->recordCount(), kRecords + 1);
    for (std::uint32_t i : {1u, 1234u, 12001u, kRecords}) {
        t->go(i);
        EXPECT_EQ(rt::rtrim(t->get(0).str()), "n" + std::to_string(i));
    }
    t->go(kRecords + 1);
    EXPECT_EQ(rt::rtrim(t->get(0).str()), "last");
}

TEST_F(Writing, ASharedTableWritesEachAppendAtOnce)
{
    auto t = Table::open(path_, false, true);
    for (int i = 1; i <= 3; ++i) {
        t->appendBlank();
        t->put(0, Value("s"));
        t->appendBlank();
        EXPECT_EQ(headerCount(path_), std::uint32_t(2 * i - 1)) << "others see every record but the open one";
        t->flush();
    }
}

TEST_F(Writing, UpdatesTheLastUpdateDate)
{
    std::string bytes = readFile(path_);
    bytes[1] = 80;  // 1980-01-01
    bytes[2] = 1;
    bytes[3] = 1;
    writeFile(path_, bytes);
    {
        auto t = Table::open(path_, false, false);
        t->appendBlank();
    }
    int y = 0, m = 0, d = 0;
    rt::splitDate(rt::today(), y, m, d);
    bytes = readFile(path_);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), y - 1900);
    EXPECT_EQ(static_cast<unsigned char>(bytes[2]), m);
    EXPECT_EQ(static_cast<unsigned char>(bytes[3]), d);
}

TEST_F(Writing, OverwrittenMemoKeepsOtherRecordsMemos)
{
    auto t = Table::open(path_, false, false);
    for (const char* text : {"first", "second", "third"}) {
        t->appendBlank();
        t->put(2, Value(text));
    }
    t->go(2);
    t->put(2, Value(rt::replicate("longer text ", 50)));
    t->go(1);
    EXPECT_EQ(t->get(2).str(), "first");
    t->go(2);
    EXPECT_EQ(t->get(2).str(), rt::replicate("longer text ", 50));
    t->go(3);
    EXPECT_EQ(t->get(2).str(), "third");
    t->go(2);
    t->put(2, Value(""));
    t->flush();
    EXPECT_EQ(t->get(2).str(), "");
}

TEST(TableCreate, RefusesBadStructures)
{
    TempDir dir("tst_table_create");
    const std::string path = dir.file("bad.dbf");
    struct Case {
        const char* name;
        std::vector<dbf::FieldSpec> fields;
        Format format;
        int codePage;
        const char* fragment;
    };
    const Case cases[] = {
        {"no fields", {}, Format::FoxPro, 0, "1 to 255 fields"},
        {"name too long", {{"ABCDEFGHIJK", 'C', 5, 0}}, Format::FoxPro, 0, "field name"},
        {"name with blank inside", {{"A B", 'C', 5, 0}}, Format::FoxPro, 0, "field name"},
        {"name twice", {{"A", 'C', 5, 0}, {"a", 'N', 5, 0}}, Format::FoxPro, 0, "named twice"},
        {"zero length", {{"A", 'C', 0, 0}}, Format::FoxPro, 0, "1 to 254"},
        {"decimals leave no room", {{"A", 'N', 3, 2}}, Format::FoxPro, 0, "room for the decimals"},
        {"unknown type", {{"A", 'X', 3, 0}}, Format::FoxPro, 0, "cannot be created"},
        {"binary type in dBASE", {{"A", 'I', 4, 0}}, Format::DBase3, 0, "needs a FoxPro table"},
        {"code page without driver byte", {{"A", 'C', 3, 0}}, Format::FoxPro, 12345, "cannot be named"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            Table::create(path, c.fields, c.format, c.codePage);
            ADD_FAILURE() << "no error";
        } catch (const rt::Error& e) {
            EXPECT_NE(e.description.find(c.fragment), std::string::npos) << e.description;
            EXPECT_EQ(e.filename, path);
        }
    }
    EXPECT_TRUE(listFolder(dir.path()).empty());
}

TEST(TableCreate, FoxProWithBinaryTypesBecomesVisualFoxPro)
{
    TempDir dir("tst_table_create");
    const std::string path = dir.file("v.dbf");
    Table::create(path, {{"N", 'I', 0, 0}, {"S", 'T', 0, 0}}, Format::FoxPro, 0);
    auto t = Table::open(path, true, false);
    EXPECT_EQ(t->format(), Format::VisualFoxPro);
    EXPECT_EQ(t->codePage(), 850);
}

TEST(TableNulls, NullableFieldsReadNilAndTakeNil)
{
    TempDir dir("tst_table_null");
    const std::string path = dir.file("n.dbf");
    runPython({"-c",
               "import dbf, sys\n"
               "t = dbf.Table(sys.argv[1], 'A N(5,1) NULL; B C(3)', dbf_type='vfp')\n"
               "t.open(dbf.READ_WRITE); t.append((1.5, 'x')); t.close()\n",
               path});
    auto t = Table::open(path, false, false);
    t->go(1);
    EXPECT_EQ(t->get(0).asDouble(), 1.5);
    t->put(0, Value());
    EXPECT_TRUE(t->get(0).isNil());
    EXPECT_THROW(t->put(1, Value()), rt::Error);
    t->put(0, Value::number(2.5, 1));
    EXPECT_EQ(t->get(0).asDouble(), 2.5);
}

}  // namespace

namespace {

struct CodePageCase {
    int codePage;
    const char* encoding;
    const char* text;
};

TEST(TableCodePages, OthersReadOurTextInEveryCommonCodePage)
{
    const CodePageCase cases[] = {
        {437, "cp437", "Año Ñu Çé ü"},   {850, "cp850", "Ação ÁÉÍÓÚ ñ"},   {852, "cp852", "Łódź žluťoučký"},
        {865, "cp865", "Ærøskøbing Å"},  {866, "cp866", "Привет, мир"},    {1250, "cp1250", "Łódź Škoda"},
        {1251, "cp1251", "Добрый день"}, {1252, "cp1252", "Café € naïve"}, {737, "cp737", "Καλημέρα"},
        {857, "cp857", "Işık Ğğ"},       {863, "cp863", "Québec àâç"},     {1253, "cp1253", "Αθήνα"},
    };
    TempDir dir("tst_table_codepages");
    for (const CodePageCase& c : cases) {
        SCOPED_TRACE(c.codePage);
        const std::string path = dir.file("cp" + std::to_string(c.codePage) + ".dbf");
        Table::create(path, {{"TEXT", 'C', 30, 0}, {"NOTE", 'M', 10, 0}}, Format::DBase3, c.codePage);
        {
            auto t = Table::open(path, false, false);
            EXPECT_EQ(t->codePage(), c.codePage);
            t->appendBlank();
            t->put(0, Value(c.text));
            t->put(1, Value(c.text));
        }
        const QJsonObject theirs = parseJson(runPython({fixtureScript("read_dbf.py"), path}));
        EXPECT_EQ(theirs["encoding"].toString().toStdString(), c.encoding);
        const QJsonArray row = theirs["records"].toArray()[0].toArray();
        EXPECT_EQ(row[0].toString().toStdString(), c.text);
        EXPECT_EQ(row[1].toString().toStdString(), c.text);
        auto t = Table::open(path, true, false);
        t->go(1);
        EXPECT_EQ(rt::rtrim(t->get(0).asString()), c.text);
        EXPECT_EQ(t->get(1).str(), c.text);
    }
}

}  // namespace
