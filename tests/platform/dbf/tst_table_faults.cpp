// Damaged tables: each fault raises an error naming the file and the fault
// (or, where other readers agree on a sensible reading, is read that way);
// nothing is read outside the files.
#include "tst_table_util.h"

#include "platform/runtime/datetime.h"

#include <functional>

using dbf::Format;
using dbf::Table;
using rt::Value;
using namespace tst;

namespace {

// The table every case damages: FoxPro, no Visual FoxPro area, fields
// NAME, AMOUNT, BORN and NOTE described at field(0) .. field(3), so
//   header 32 + 4 fields * 32 + 1 = 161 bytes, records of 37 bytes:
//   flag 0, NAME 1..10, AMOUNT 11..18, BORN 19..26, NOTE 27..36.
constexpr std::size_t kHeader = 161;
constexpr std::size_t kRecord = 37;
constexpr std::size_t field(int n) { return 32 + 32 * std::size_t(n); }
constexpr std::size_t record(int r) { return kHeader + kRecord * std::size_t(r - 1); }

struct Files {
    std::string dbf;
    std::string memo;
};

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = dir_.file("f.dbf");
        memoPath_ = dir_.file("f.fpt");
        Table::create(path_, {{"NAME", 'C', 10, 0}, {"AMOUNT", 'N', 8, 2}, {"BORN", 'D', 8, 0}, {"NOTE", 'M', 10, 0}},
                      Format::FoxPro, 850);
        auto t = Table::open(path_, false, false);
        for (int i = 1; i <= 3; ++i) {
            t->appendBlank();
            t->put(0, Value("name " + std::to_string(i)));
            t->put(1, Value::number(i * 1.25, 2));
            t->put(2, Value(rt::makeDate(2000 + i, 1, 2)));
            t->put(3, Value("memo " + std::to_string(i)));
        }
        t->flush();
        t.reset();
        good_ = {readFile(path_), readFile(memoPath_)};
        ASSERT_EQ(good_.dbf.size(), kHeader + 3 * kRecord + 1);
    }

    void write(const Files& f)
    {
        writeFile(path_, f.dbf);
        if (f.memo.empty())
            std::filesystem::remove(memoPath_);
        else
            writeFile(memoPath_, f.memo);
    }

    TempDir dir_{"tst_table_faults"};
    std::string path_, memoPath_;
    Files good_;
};

void put(std::string& bytes, std::size_t at, std::string_view s) { bytes.replace(at, s.size(), s); }
void put16(std::string& bytes, std::size_t at, unsigned v)
{
    bytes[at] = char(v & 0xFF);
    bytes[at + 1] = char(v >> 8);
}
void put32(std::string& bytes, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + std::size_t(i)] = char(v >> (8 * i));
}

struct FaultCase {
    const char* name;
    std::function<void(Files&)> damage;
    int readField;  // -1: open fails; else reading this field of record 1 or 2 fails
    int record;
    const char* fragment;
    bool inMemo;         // the error names the memo file
    bool write = false;  // a date is written to the field instead of read
};

// A table fuzz_dbf found: Visual FoxPro, records of 1 byte, one D field of
// length 0 at the record's end.
const std::string kDateOfLength0(
    "\x31\x01\x00\x99\x06\x00\x00\x00\x40\x00\x01\x00\x32\x00\x00\x13\x02\xff\x03\x00"
    "\x01\x00\x00\x32\x00\x00\x21\x00\x00\xff\xff\x01\xd9\xbe\xff\xbe\x00\x21\x31\x00"
    "\x57\x49\x4e\x44\x4f\x57\x53\x2d\x00\x31\x00\x00\x02\x00\x00\x00\x00\x00\x01\x1d"
    "\x02\xd9\xff\xbe\x21",
    65);

TEST_F(Faults, EachFaultRaisesNamingFileAndFault)
{
    const FaultCase cases[] = {
        {"truncated header", [](Files& f) { f.dbf.resize(20); }, -1, 0, "Table header is truncated", false},
        {"header length past the end", [](Files& f) { put16(f.dbf, 8, 60000); }, -1, 0, "runs past the end of the file",
         false},
        {"record length shorter than the fields", [](Files& f) { put16(f.dbf, 10, 20); }, -1, 0,
         "past the record length", false},
        {"field past the record length", [](Files& f) { f.dbf[field(1) + 16] = char(200); }, -1, 0,
         "lies past the record length", false},
        {"unknown field type", [](Files& f) { f.dbf[field(1) + 11] = 'Z'; }, -1, 0, "unknown type 'Z'", false},
        {"date field of length 6", [](Files& f) { f.dbf[field(2) + 16] = 6; }, -1, 0, "cannot have length 6", false},
        {"more decimals than digits", [](Files& f) { f.dbf[field(1) + 17] = 9; }, -1, 0, "9 decimals in length 8",
         false},
        {"not a table", [](Files& f) { f.dbf[0] = 0; }, -1, 0, "Not a table file (version byte 0x00)", false},
        {"no fields", [](Files& f) { f.dbf[field(0)] = 0x0D; }, -1, 0, "Table has no fields", false},
        {"header ends inside a descriptor", [](Files& f) { put16(f.dbf, 8, 150); }, -1, 0,
         "Header length 150 ends inside field descriptor 4 (no 0x0D terminator", false},
        {"dBASE II", [](Files& f) { f.dbf[0] = 0x02; }, -1, 0,
         "dBASE II tables (version byte 0x02) are not supported", false},
        {"date of length 0 written", [](Files& f) { f = {kDateOfLength0, ""}; }, 0, 1, "Length 0 cannot hold the value",
         false, true},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        Files files = good_;
        c.damage(files);
        write(files);
        const rt::Error e = errorOf([&] {
            auto t = Table::open(path_, !c.write, false);
            if (c.readField >= 0) {
                t->go(std::uint32_t(c.record));
                if (c.write)
                    t->put(c.readField, Value(rt::makeDate(2024, 1, 2)));
                else
                    (void)t->get(c.readField);
            }
        });
        EXPECT_EQ(e.subsystem, "DBF");
        EXPECT_NE(e.description.find(c.fragment), std::string::npos) << e.description;
        EXPECT_EQ(e.filename, c.inMemo ? memoPath_ : path_);
        if (c.readField < 0 || c.write)
            continue;
        // The other fields of the record still read.
        auto t = Table::open(path_, true, false);
        t->go(std::uint32_t(c.record));
        EXPECT_EQ(t->get(0).str(), "name " + std::to_string(c.record) + "    ");
    }
}

struct BadValueCase {
    const char* name;
    std::function<void(Files&)> damage;
    int field;
    int record;
    dbf::ValueFault::Kind kind;
    const char* fragment;
};

// A value that cannot be read reads as NIL and is told, once per record and
// field; the rest of the record and the table still read.
TEST_F(Faults, EachBadValueReadsAsNilAndIsTold)
{
    using K = dbf::ValueFault::Kind;
    const BadValueCase cases[] = {
        {"memo pointer past the end", [](Files& f) { put(f.dbf, record(1) + 27, "    999999"); }, 3, 1, K::BadMemo,
         "lies past the end of the memo file"},
        {"memo pointer inside the memo header", [](Files& f) { put(f.dbf, record(1) + 27, "         1"); }, 3, 1,
         K::BadMemo, "inside the memo file header"},
        {"memo length past the end", [](Files& f) { put(f.memo, 8 * 64 + 4, std::string("\x00\x00\x03\xE8", 4)); },
         3, 1, K::BadMemo, "Memo block 8 holds 1000 bytes, which run past the end of the memo file (704 bytes)"},
        {"memo pointer not a number", [](Files& f) { put(f.dbf, record(2) + 27, "      1x2 "); }, 3, 2, K::BadMemo,
         "Memo block number is not a number"},
        {"number field with letters", [](Files& f) { put(f.dbf, record(2) + 11, "  12a.45"); }, 1, 2, K::NotANumber,
         "Text \"  12a.45\" is not a number"},
        {"number overflowed", [](Files& f) { put(f.dbf, record(2) + 11, "********"); }, 1, 2, K::Overflow,
         "overflowed"},
        {"date field with letters", [](Files& f) { put(f.dbf, record(1) + 19, "NotAYear"); }, 2, 1, K::NotADate,
         "\"NotAYear\" is not a date"},
        {"date that does not exist", [](Files& f) { put(f.dbf, record(3) + 19, "20241345"); }, 2, 3, K::NotADate,
         "is not a date"},
    };
    for (const BadValueCase& c : cases) {
        SCOPED_TRACE(c.name);
        Files files = good_;
        c.damage(files);
        write(files);
        auto t = Table::open(path_, true, false);
        std::vector<dbf::ValueFault> told;
        t->setFaultHandler([&](const dbf::ValueFault& f) { told.push_back(f); });
        for (std::uint32_t r = 1; r <= 3; ++r) {
            t->go(r);
            for (int f = 0; f < 4; ++f) {
                const Value v = t->get(f);
                EXPECT_EQ(v.isNil(), int(r) == c.record && f == c.field) << "record " << r << " field " << f;
            }
            (void)t->get(c.field);  // read again: told once
        }
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].kind, c.kind);
        EXPECT_EQ(told[0].recno, std::uint32_t(c.record));
        EXPECT_EQ(told[0].field, c.field);
        EXPECT_EQ(told[0].bytes, files.dbf.substr(record(c.record) + std::size_t(t->fields()[c.field].offset),
                                                  std::size_t(t->fields()[c.field].len)));
        EXPECT_NE(told[0].why.find(c.fragment), std::string::npos) << told[0].why;
        EXPECT_EQ(t->faultCount(), 1u);
    }
}

struct CountCase {
    const char* name;
    std::function<void(std::string&)> damage;
    std::uint32_t count;
    std::uint32_t claimed;
};

// Other readers trust the file size over the header's count; so do we, and
// tell a count that claims more than the file holds whole.
TEST_F(Faults, RecordCountNeverExceedsWhatTheFileHolds)
{
    const CountCase cases[] = {
        {"header claims more records", [](std::string& b) { put32(b, 4, 1000); }, 3, 1000},
        {"header claims fewer records", [](std::string& b) { put32(b, 4, 2); }, 2, 2},
        {"file cut inside a record", [](std::string& b) { b.resize(record(3) + 10); }, 2, 3},
        {"file cut before the end mark", [](std::string& b) { b.resize(record(4)); }, 3, 3},
        {"header claims 4 billion records", [](std::string& b) { put32(b, 4, 0xFFFFFFFFu); }, 3, 0xFFFFFFFFu},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.name);
        Files files = good_;
        c.damage(files.dbf);
        write(files);
        auto t = Table::open(path_, true, false);
        EXPECT_EQ(t->recordCount(), c.count);
        EXPECT_EQ(t->headerCount(), c.claimed);
        t->go(c.count);
        EXPECT_EQ(t->get(0).str(), "name " + std::to_string(c.count) + "    ");
        t->go(c.count + 1);
        EXPECT_EQ(t->recno(), 0u);
    }
}

TEST_F(Faults, FileShrunkWhileOpenRaisesInsteadOfReadingPastTheEnd)
{
    auto t = Table::open(path_, true, false);
    std::filesystem::resize_file(path_, record(2));
    const rt::Error e = errorOf([&] { t->go(3); });
    EXPECT_NE(e.description.find("Record 3 lies past the end of the file"), std::string::npos) << e.description;
    EXPECT_EQ(e.filename, path_);
}

TEST_F(Faults, MissingTableNamesIt)
{
    const std::string missing = dir_.file("nothing.dbf");
    const rt::Error e = errorOf([&] { (void)Table::open(missing, true, false); });
    EXPECT_EQ(e.filename, missing);
    EXPECT_NE(e.description.find("does not exist"), std::string::npos);
}

TEST_F(Faults, NamesMatchWithoutRegardToCase)
{
    std::filesystem::rename(path_, dir_.file("F.DBF"));
    std::filesystem::rename(memoPath_, dir_.file("F.FPT"));
    auto t = Table::open(path_, true, false);
    EXPECT_EQ(t->path(), dir_.file("F.DBF"));
    EXPECT_EQ(t->memoPath(), dir_.file("F.FPT"));
    t->go(2);
    EXPECT_EQ(t->get(3).str(), "memo 2");
}

// The rest of the table is still there: its memos read as NIL, and the
// values lost are counted (once per record and field); writing one refuses.
TEST_F(Faults, MissingMemoFileLeavesTheTableReadable)
{
    Files files = good_;
    files.memo.clear();
    write(files);
    auto t = Table::open(path_, false, false);
    EXPECT_TRUE(t->memoMissing());
    for (std::uint32_t r = 1; r <= 3; ++r) {
        t->go(r);
        EXPECT_TRUE(t->get(3).isNil());
        EXPECT_TRUE(t->get(3).isNil());
        EXPECT_FALSE(t->isEmpty(3));
        EXPECT_EQ(t->get(0).str(), "name " + std::to_string(r) + "    ");
    }
    EXPECT_EQ(t->missingMemos(), 3u);
    EXPECT_EQ(t->faultCount(), 0u);
    const rt::Error e = errorOf([&] { t->put(3, Value("new")); });
    EXPECT_NE(e.description.find("Memo file is missing"), std::string::npos) << e.description;
}

// Text with NUL bytes is told when asked for, with the count; the value reads as stored.
TEST_F(Faults, NulBytesInTextAreToldWhenAsked)
{
    Files files = good_;
    put(files.dbf, record(2) + 1, std::string("a\0b\0c     ", 10));
    write(files);
    auto t = Table::open(path_, true, false);
    std::vector<dbf::ValueFault> told;
    t->setFaultHandler([&](const dbf::ValueFault& f) { told.push_back(f); });
    t->go(2);
    (void)t->get(0);
    EXPECT_TRUE(told.empty());
    t->setNulFaults(true);
    t->go(1);
    t->go(2);
    std::string_view text;
    bool nul = false;
    ASSERT_TRUE(t->textOf(0, text, nul));
    EXPECT_EQ(t->get(0).str(), std::string("a\0b\0c     ", 10));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].kind, dbf::ValueFault::Kind::NulBytes);
    EXPECT_EQ(told[0].nuls, 2);
    EXPECT_EQ(told[0].recno, 2u);
}

TEST_F(Faults, UnknownLanguageDriverReadsAs850AndSaysSo)
{
    Files files = good_;
    files.dbf[29] = char(0xEE);
    write(files);
    auto t = Table::open(path_, true, false);
    EXPECT_EQ(t->codePage(), 850);
    EXPECT_TRUE(t->codePageAssumed());
    files.dbf[29] = 0x02;
    write(files);
    EXPECT_FALSE(Table::open(path_, true, false)->codePageAssumed());
}

}  // namespace

namespace {

// dBASE 7 widened the field descriptors; its integers sort as bytes.
TEST(Level7, FieldsAndIntegersOfTheWiderLayoutRead)
{
    TempDir dir("tst_table_level7");
    const std::string path = dir.file("d7.dbf");
    const std::uint32_t headerLen = 68 + 3 * 48 + 1, recLen = 1 + 10 + 4 + 8;
    std::string b(headerLen, '\0');
    b[0] = 0x04;
    put32(b, 4, 2);
    put16(b, 8, headerLen);
    put16(b, 10, recLen);
    b[29] = 0x02;
    put(b, 32, "DB850US0");
    struct F {
        const char* name;
        char type;
        int len;
    };
    const F fields[] = {{"CUSTOMER_NAME", 'C', 10}, {"ID", 'I', 4}, {"BORN", 'D', 8}};
    for (int i = 0; i < 3; ++i) {
        const std::size_t at = 68 + 48 * std::size_t(i);
        put(b, at, fields[i].name);
        b[at + 32] = fields[i].type;
        b[at + 33] = char(fields[i].len);
    }
    b[headerLen - 1] = 0x0D;
    auto sorted = [](std::int32_t v) {
        const std::uint32_t u = std::uint32_t(v) ^ 0x80000000u;
        return std::string{char(u >> 24), char(u >> 16), char(u >> 8), char(u)};
    };
    b += std::string(" A\xA4o       ") + sorted(5) + "20200101";  // "Año" in code page 850
    b += "*x         " + sorted(-3) + "        ";
    b += '\x1A';
    writeFile(path, b);

    auto t = Table::open(path, false, false);
    EXPECT_EQ(t->format(), Format::DBase7);
    ASSERT_EQ(t->fields().size(), 3u);
    EXPECT_EQ(t->fields()[0].name, "CUSTOMER_NAME");
    EXPECT_EQ(t->fields()[1].offset, 11);
    t->go(1);
    EXPECT_EQ(t->get(0).str(), "Año       ");
    EXPECT_EQ(t->get(1).asInt(), 5);
    EXPECT_EQ(rt::dtos(t->get(2).asDate()), "20200101");
    t->go(2);
    EXPECT_TRUE(t->deleted());
    EXPECT_EQ(t->get(1).asInt(), -3);
    t->put(1, Value(-2147483647 - 1));
    t->flush();
    EXPECT_EQ(t->get(1).asInt(), -2147483647 - 1);
    EXPECT_EQ(t->rawRecord().substr(11, 4), std::string(4, '\0'));
    t->appendBlank();
    EXPECT_EQ(t->get(1).asInt(), 0);
}

}  // namespace
