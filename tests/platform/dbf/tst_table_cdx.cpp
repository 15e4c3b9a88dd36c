// The structural compound index beside a table: its tag directory is read
// into indexTags(), and writes to the table are refused. No program here
// writes such files, so the test builds them byte by byte.
#include "tst_table_util.h"

#include "common/cdx_bytes.h"

using dbf::Format;
using dbf::Table;
using rt::Value;
using namespace tst;
using namespace cdxbytes;

namespace {

class StructuralIndex : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = dir_.file("idx.dbf");
        cdxPath_ = dir_.file("idx.cdx");
        Table::create(path_, {{"CODE", 'C', 6, 0}, {"NAME", 'C', 20, 0}}, Format::FoxPro, 850);
        auto t = Table::open(path_, false, false);
        t->appendBlank();
        t->put(0, Value("A1"));
    }

    TempDir dir_{"tst_table_cdx"};
    std::string path_, cdxPath_;
    const std::vector<TagSpec> tags_ = {
        {"CODE", "CODE", "", false, true},
        {"NAME", "UPPER(NAME)", "!DELETED()", true, false},
        {"NAMECODE", "NAME+CODE", "", false, false},
    };
};

TEST_F(StructuralIndex, TagsAreReadFromTheDirectory)
{
    writeFile(cdxPath_, buildCdx(tags_));
    auto t = Table::open(path_, true, false);
    const auto& tags = t->indexTags();
    ASSERT_EQ(tags.size(), 3u);
    // Directory order is name order: CODE, NAME, NAMECODE (a prefix of the
    // key before it, so stored compressed).
    EXPECT_EQ(tags[0].name, "CODE");
    EXPECT_EQ(tags[0].key, "CODE");
    EXPECT_TRUE(tags[0].unique);
    EXPECT_FALSE(tags[0].descending);
    EXPECT_EQ(tags[0].forExpr, "");
    EXPECT_EQ(tags[1].name, "NAME");
    EXPECT_EQ(tags[1].key, "UPPER(NAME)");
    EXPECT_EQ(tags[1].forExpr, "!DELETED()");
    EXPECT_TRUE(tags[1].descending);
    EXPECT_FALSE(tags[1].unique);
    EXPECT_EQ(tags[2].name, "NAMECODE");
    EXPECT_EQ(tags[2].key, "NAME+CODE");
    t->go(1);
    EXPECT_EQ(t->get(0).str(), "A1    ");
}

TEST_F(StructuralIndex, DirectoryOverSeveralNodes)
{
    std::vector<TagSpec> many;
    for (int i = 0; i < 12; ++i)
        many.push_back({"TAG" + std::to_string(10 + i), "FIELD" + std::to_string(i), "", false, false});
    writeFile(cdxPath_, buildCdx(many, true));
    auto t = Table::open(path_, true, false);
    ASSERT_EQ(t->indexTags().size(), 12u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(t->indexTags()[std::size_t(i)].name, "TAG" + std::to_string(10 + i));
        EXPECT_EQ(t->indexTags()[std::size_t(i)].key, "FIELD" + std::to_string(i));
    }
}

TEST_F(StructuralIndex, EveryWriteRaisesNamingTheIndexFile)
{
    writeFile(cdxPath_, buildCdx(tags_));
    auto t = Table::open(path_, false, false);
    t->go(1);
    const std::function<void()> writes[] = {
        [&] { t->put(0, Value("B2")); },
        [&] { t->setDeleted(true); },
        [&] { (void)t->appendBlank(); },
    };
    for (const auto& w : writes) {
        const rt::Error e = errorOf(w);
        EXPECT_NE(e.description.find(cdxPath_), std::string::npos) << e.description;
        EXPECT_NE(e.description.find("read-only"), std::string::npos) << e.description;
    }
    EXPECT_EQ(t->get(0).str(), "A1    ");
    EXPECT_EQ(t->recordCount(), 1u);
}

TEST_F(StructuralIndex, CreateRemovesTheIndexOfTheTableItReplaces)
{
    writeFile(cdxPath_, buildCdx(tags_));
    Table::create(path_, {{"CODE", 'C', 6, 0}}, Format::FoxPro, 850);
    EXPECT_FALSE(fileExists(cdxPath_));
    EXPECT_NO_THROW(Table::open(path_, false, false)->appendBlank());
}

struct CorruptCase {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* fragment;
};

TEST_F(StructuralIndex, CorruptDirectoryRaisesNamingTheIndexFile)
{
    const std::size_t leaf = 2 * kPage;
    const std::size_t firstTag = 3 * kPage;
    const CorruptCase cases[] = {
        {"file shorter than its header", [](std::string& b) { b.resize(700); }, "Index file header"},
        {"root past the end", [](std::string& b) { le32(b, 0, 1u << 30); }, "past the end of the index file"},
        {"root not on a page", [](std::string& b) { le32(b, 0, 1000); }, "is not a node"},
        {"root inside the header", [](std::string& b) { le32(b, 0, 512); }, "is not a node"},
        {"key length 0", [](std::string& b) { le16(b, 12, 0); }, "key length 0"},
        {"leaf that links to itself", [=](std::string& b) { le32(b, leaf + 8, std::uint32_t(leaf)); }, "loop"},
        {"more keys than fit", [=](std::string& b) { le16(b, leaf + 2, 400); }, "more keys than fit"},
        {"entry layout wider than its bytes", [=](std::string& b) { b[leaf + 20] = 40; }, "key entry layout"},
        {"keys overlapping their entries",
         [=](std::string& b) {
             b[leaf + 22] = 0;  // no trailing count: every key stored whole
             b[leaf + 21] = 0;
             b[leaf + 20] = 24;
             le16(b, leaf + 2, 40);
         },
         "overlap"},
        {"tag header past the end",
         [=](std::string& b) {
             b[leaf + 24] = char(0xF0);
             b[leaf + 25] = char(0xFF);
         },
         "past the end of the index file"},
        {"expression pool overflow", [=](std::string& b) { le16(b, firstTag + 510, 600); }, "overflow their pool"},
        {"tag without key expression", [=](std::string& b) { b[firstTag + kPage] = 0; }, "has no key expression"},
        {"interior node without keys",
         [=](std::string& b) {
             le16(b, leaf, 1);
             le16(b, leaf + 2, 0);
         },
         "Interior index node has no keys"},
        {"interior nodes without end",
         [=](std::string& b) {
             le16(b, leaf, 1);
             be32(b, leaf + 12 + 10 + 4, std::uint32_t(leaf));
         },
         "deeper than any real one"},
    };
    for (const CorruptCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = buildCdx(tags_);
        c.damage(bytes);
        writeFile(cdxPath_, bytes);
        const rt::Error e = errorOf([&] { (void)Table::open(path_, true, false); });
        EXPECT_NE(e.description.find(c.fragment), std::string::npos) << e.description;
        EXPECT_EQ(e.filename, cdxPath_);
    }
}

TEST_F(StructuralIndex, EveryTruncationRaisesOrReads)
{
    const std::string bytes = buildCdx(tags_);
    for (std::size_t size = 0; size < bytes.size(); size += 97) {
        writeFile(cdxPath_, bytes.substr(0, size));
        try {
            auto t = Table::open(path_, true, false);
            ADD_FAILURE() << "a cut index file read whole at " << size;
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.filename, cdxPath_);
        }
    }
}

}  // namespace
