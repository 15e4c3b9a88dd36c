// The structural compound index beside a table: its tag directory is read
// into indexTags(), and writes to the table are refused. No program here
// writes such files, so the test builds them byte by byte.
#include "tst_table_util.h"

using dbf::Format;
using dbf::Table;
using rt::Value;
using namespace tst;

namespace {

constexpr std::size_t kPage = 512;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

struct TagSpec {
    std::string name;
    std::string key;
    std::string forExpr;
    bool descending = false;
    bool unique = false;
};

void le16(std::string& b, std::size_t at, unsigned v)
{
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}
void le32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = char(v >> (8 * i));
}
void be32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = char(v >> (24 - 8 * i));
}

// Two pages of index header: root node, key length, options, order and the
// expression pool.
std::string indexHeader(std::uint32_t root, unsigned keyLength, unsigned char options, bool descending,
                        const std::string& key, const std::string& forExpr)
{
    std::string h(2 * kPage, '\0');
    le32(h, 0, root);
    le32(h, 4, kNone);
    le16(h, 12, keyLength);
    h[14] = char(options);
    le16(h, 502, descending ? 1 : 0);
    le16(h, 506, unsigned(forExpr.size() + 1));
    le16(h, 510, unsigned(key.size() + 1));
    h.replace(kPage, key.size(), key);
    h.replace(kPage + key.size() + 1, forExpr.size(), forExpr);
    return h;
}

struct Key {
    std::string bytes;  // keyLength bytes, blank-padded
    std::uint32_t recno;
};

// A leaf page with compressed keys, packed from the end of the page down.
std::string leafNode(const std::vector<Key>& keys, unsigned keyLength, std::uint32_t left, std::uint32_t right,
                     bool root, unsigned recBits = 16, unsigned dupBits = 4, unsigned trailBits = 4)
{
    const unsigned entryBytes = (recBits + dupBits + trailBits + 7) / 8;
    std::string n(kPage, '\0');
    le16(n, 0, root ? 3 : 2);
    le16(n, 2, unsigned(keys.size()));
    le32(n, 4, left);
    le32(n, 8, right);
    le32(n, 14, (1u << recBits) - 1);
    n[18] = char((1u << dupBits) - 1);
    n[19] = char((1u << trailBits) - 1);
    n[20] = char(recBits);
    n[21] = char(dupBits);
    n[22] = char(trailBits);
    n[23] = char(entryBytes);
    std::size_t end = kPage;
    std::string previous;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string& k = keys[i].bytes;
        unsigned trail = 0;
        while (trail < keyLength && k[keyLength - 1 - trail] == ' ')
            ++trail;
        unsigned dup = 0;
        while (dup < previous.size() && dup < keyLength - trail && previous[dup] == k[dup])
            ++dup;
        const unsigned stored = keyLength - dup - trail;
        end -= stored;
        n.replace(end, stored, k.substr(dup, stored));
        const std::uint64_t packed =
            keys[i].recno | std::uint64_t(dup) << recBits | std::uint64_t(trail) << (recBits + dupBits);
        for (unsigned b = 0; b < entryBytes; ++b)
            n[24 + i * entryBytes + b] = char(packed >> (8 * b));
        previous = k;
    }
    le16(n, 12, unsigned(end - 24 - keys.size() * entryBytes));
    return n;
}

std::string padKey(const std::string& name, unsigned keyLength)
{
    return name + std::string(keyLength - name.size(), ' ');
}

// A compound index file whose directory lists `tags` (sorted by name, as a
// B-tree keeps them): directory header, its leaf (or, when split, a root
// with two leaves), then per tag a header and an empty leaf.
std::string buildCdx(std::vector<TagSpec> tags, bool splitDirectory = false)
{
    std::sort(tags.begin(), tags.end(), [](const TagSpec& a, const TagSpec& b) { return a.name < b.name; });
    const std::uint32_t dirNodes = splitDirectory ? 3 : 1;
    const std::uint32_t firstTag = std::uint32_t(2 * kPage + dirNodes * kPage);
    std::vector<Key> keys;
    for (std::size_t i = 0; i < tags.size(); ++i)
        keys.push_back({padKey(tags[i].name, 10), firstTag + std::uint32_t(i * 3 * kPage)});

    std::string file = indexHeader(2 * kPage, 10, 0xE0, false, "", "");
    if (!splitDirectory) {
        file += leafNode(keys, 10, kNone, kNone, true);
    } else {
        const std::size_t half = keys.size() / 2;
        const std::vector<Key> a(keys.begin(), keys.begin() + std::ptrdiff_t(half));
        const std::vector<Key> b(keys.begin() + std::ptrdiff_t(half), keys.end());
        const std::uint32_t leafA = 3 * kPage, leafB = 4 * kPage;
        std::string root(kPage, '\0');
        le16(root, 0, 1);
        le16(root, 2, 2);
        le32(root, 4, kNone);
        le32(root, 8, kNone);
        root.replace(12, 10, a.back().bytes);
        be32(root, 22, a.back().recno);
        be32(root, 26, leafA);
        root.replace(30, 10, b.back().bytes);
        be32(root, 40, b.back().recno);
        be32(root, 44, leafB);
        file += root;
        file += leafNode(a, 10, kNone, leafB, false);
        file += leafNode(b, 10, leafA, kNone, false);
    }
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const TagSpec& t = tags[i];
        const auto at = std::uint32_t(file.size());
        const unsigned char options = 0x20 | (t.unique ? 0x01 : 0) | (t.forExpr.empty() ? 0 : 0x08);
        file += indexHeader(at + 2 * kPage, 12, options, t.descending, t.key, t.forExpr);
        file += leafNode({}, 12, kNone, kNone, true);
    }
    return file;
}

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
