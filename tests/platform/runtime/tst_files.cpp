// The directory listing: case-blind matching, attributes, order and entry
// contents, over files made in a fresh folder.
#include "platform/runtime/array.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/files.h"
#include "platform/runtime/functions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using rt::Value;

namespace {

class DirectoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* base = std::getenv("DXC_TEST_TMP");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/tst_files_XXXXXX";
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        dir_ = templ;
        for (const char* name : {"x.dbf", "Y.DBF", "z.txt", "A.B.DBF", ".hidden.dbf"})
            make(name, "12345");
        fs::create_directory(dir_ / "Sub.DBF");
        fs::create_directory(dir_ / "data");
        make("data/c.DBF", "");
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    void make(const std::string& name, const std::string& content)
    {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    [[nodiscard]] std::string in(const std::string& pattern) const { return (dir_ / pattern).string(); }

    fs::path dir_;
};

std::vector<std::string> names(const Value& listing)
{
    std::vector<std::string> out;
    for (const Value& row : listing.asArray().items)
        out.push_back(row.asArray().items.at(0).str());
    return out;
}

using Names = std::vector<std::string>;

}  // namespace

TEST_F(DirectoryTest, PatternsMatchWithoutRegardToCase)
{
    struct Case {
        const char* name;
        const char* pattern;
        const char* attributes;
        Names expected;
    } cases[] = {
        {"upper-case extension", "*.DBF", "", {"A.B.DBF", "x.dbf", "Y.DBF"}},
        {"lower-case extension", "*.dbf", "", {"A.B.DBF", "x.dbf", "Y.DBF"}},
        {"every file", "*.*", "", {"A.B.DBF", "x.dbf", "Y.DBF", "z.txt"}},
        {"every file by a bare star", "*", "", {"A.B.DBF", "x.dbf", "Y.DBF", "z.txt"}},
        {"one character", "?.DBF", "", {"x.dbf", "Y.DBF"}},
        {"plain name in the other case", "y.dbf", "", {"Y.DBF"}},
        {"folders with D", "*.DBF", "D", {"A.B.DBF", "Sub.DBF", "x.dbf", "Y.DBF"}},
        {"lower-case d", "*.dbf", "d", {"A.B.DBF", "Sub.DBF", "x.dbf", "Y.DBF"}},
        {"hidden with H", "*.DBF", "H", {".hidden.dbf", "A.B.DBF", "x.dbf", "Y.DBF"}},
        {"nothing matches", "nothing*", "", {}},
        {"folder part only", "data/", "", {"c.DBF"}},
        {"folder and name", "data/*.dbf", "", {"c.DBF"}},
        {"missing folder", "missing/*.DBF", "", {}},
        {"a file as folder", "z.txt/*", "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names(rt::directory(in(c.pattern), c.attributes)), c.expected) << c.name;
}

TEST_F(DirectoryTest, EmptyFolderPartMeansTheCurrentFolder)
{
    const fs::path here = fs::current_path();
    fs::current_path(dir_);
    EXPECT_EQ(names(rt::directory("*.DBF")), (Names{"A.B.DBF", "x.dbf", "Y.DBF"}));
    EXPECT_EQ(names(rt::directory("")), (Names{"A.B.DBF", "x.dbf", "Y.DBF", "z.txt"}));
    EXPECT_EQ(rt::currentFolder(), fs::current_path().string());
    fs::current_path(here);
}

TEST_F(DirectoryTest, EntriesCarryNameSizeStampAndAttributes)
{
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 7;
    tm.tm_hour = 14;
    tm.tm_min = 30;
    tm.tm_sec = 5;
    tm.tm_isdst = -1;
    const auto stamp = std::chrono::system_clock::from_time_t(std::mktime(&tm));
    fs::last_write_time(dir_ / "x.dbf", std::chrono::file_clock::from_sys(stamp));
    fs::permissions(dir_ / "z.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);

    const Value all = rt::directory(in("*"), "DH");
    struct Case {
        const char* name;
        std::int64_t size;
        const char* attributes;
    } cases[] = {
        {"x.dbf", 5, "A"}, {"z.txt", 5, "AR"}, {".hidden.dbf", 5, "AH"}, {"Sub.DBF", 0, "D"}, {"data", 0, "D"},
    };
    for (const auto& c : cases) {
        const Value* row = nullptr;
        for (const Value& r : all.asArray().items)
            if (r.asArray().items[0].asString() == c.name)
                row = &r;
        ASSERT_NE(row, nullptr) << c.name;
        const auto& items = row->asArray().items;
        ASSERT_EQ(items.size(), 5u) << c.name;
        EXPECT_EQ(items[1].asInt(), c.size) << c.name;
        EXPECT_TRUE(items[1].isInteger()) << c.name;
        EXPECT_TRUE(items[2].isDate() && !items[2].asDate().empty()) << c.name;
        EXPECT_EQ(items[3].str().size(), 8u) << c.name;
        EXPECT_EQ(items[4].asString(), c.attributes) << c.name;
    }
    const Value listing = rt::directory(in("x.dbf"));  // keeps the entries alive
    const auto& x = listing.asArray().at1(1).asArray().items;
    EXPECT_EQ(x[2].asDate(), rt::makeDate(2026, 12, 7));
    EXPECT_EQ(x[3].asString(), "14:30:05");
}

TEST_F(DirectoryTest, OrderIsCaseBlindThenByteWise)
{
    for (const char* name : {"b.txt", "B.txt", "a2.txt", "A1.txt", "ab.txt"})
        make(name, "");
    EXPECT_EQ(names(rt::directory(in("*.txt"))), (Names{"A1.txt", "a2.txt", "ab.txt", "B.txt", "b.txt", "z.txt"}));
}

TEST_F(DirectoryTest, AccentedNamesMatchWithoutRegardToCase)
{
    make("Ñandú.DBF", "");
    make("\xFF" "raw.bin", "");  // not UTF-8: listed, matched byte for byte
    EXPECT_EQ(names(rt::directory(in("ñandú.dbf"))), (Names{"Ñandú.DBF"}));
    EXPECT_EQ(names(rt::directory(in("ñ*.dbf"))), (Names{"Ñandú.DBF"}));
    EXPECT_EQ(names(rt::directory(in("?and?.DBF"))), (Names{"Ñandú.DBF"}));
    EXPECT_EQ(names(rt::directory(in("*.bin"))), (Names{"\xFF" "raw.bin"}));
    EXPECT_EQ(names(rt::directory(in("?RAW.BIN"))), (Names{"\xFF" "raw.bin"}));
}

TEST_F(DirectoryTest, FileTellsWhetherAFileMatches)
{
    struct Case {
        const char* path;
        bool exists;
    } cases[] = {
        {"X.DBF", true}, {"x.dbf", true},   {"*.TXT", true},    {".hidden.dbf", true},
        {"nope", false}, {"Sub.DBF", false}, {"", false},       {"data/C.dbf", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rt::fileExists(in(c.path)), c.exists) << c.path;
        EXPECT_EQ(rt::callWith("File", in(c.path)).asBool(), c.exists) << c.path;
    }
}

TEST_F(DirectoryTest, RegisteredDirectory)
{
    EXPECT_EQ(names(rt::callWith("Directory", in("*.DBF"))), (Names{"A.B.DBF", "x.dbf", "Y.DBF"}));
    EXPECT_EQ(names(rt::callWith("Directory", in("*.DBF"), "D")).size(), 4u);
    EXPECT_THROW(rt::callWith("Directory", 1), rt::Error);
    EXPECT_THROW(rt::callWith("Directory", in("*"), 1), rt::Error);
    EXPECT_THROW(rt::callFunction("File"), rt::Error);
    EXPECT_TRUE(rt::callFunction("CurDir").isChar());
}
