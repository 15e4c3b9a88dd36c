#include "cdx.h"

#include "table_format.h"

#include <set>

namespace dbf::detail {

namespace {

constexpr std::uint32_t kPage = 512;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
// A directory deeper or wider than this is a loop or garbage.
constexpr std::size_t kMaxNodes = 4096;

class CdxReader {
public:
    explicit CdxReader(const std::string& path)
    {
        bool readOnly = true;
        file_.open(path, readOnly);
        size_ = file_.size();
    }

    std::vector<IndexTag> tags()
    {
        unsigned char head[2 * kPage];
        readAt(0, head, sizeof head, "Index file header");
        const std::uint32_t keyLength = le16(head + 12);
        if (keyLength == 0 || keyLength > 240)
            corrupt("Tag directory key length " + std::to_string(keyLength) + " is not possible", 12);
        std::vector<IndexTag> out;
        std::uint32_t node = firstLeaf(le32(head), keyLength);
        std::set<std::uint32_t> seen;
        while (node != kNone) {
            if (!seen.insert(node).second || seen.size() > kMaxNodes)
                corrupt("Tag directory nodes form a loop", node);
            unsigned char page[kPage];
            readNode(node, page);
            if (!(le16(page) & 0x02))
                corrupt("Tag directory node is not a leaf where a leaf belongs", node);
            for (const auto& [name, offset] : leafKeys(node, page, keyLength))
                out.push_back(tag(name, offset));
            node = le32(page + 8);
        }
        return out;
    }

private:
    [[noreturn]] void corrupt(const std::string& what, std::uint64_t offset) const
    {
        fail(kErrCorrupt, file_.path(), what, static_cast<long long>(offset));
    }

    void readAt(std::uint64_t offset, unsigned char* out, std::size_t n, const char* what) const
    {
        if (offset > size_ || n > size_ - offset)
            corrupt(std::string(what) + " lies past the end of the index file", offset);
        file_.readExact(offset, out, n, what);
    }

    void readNode(std::uint32_t node, unsigned char* page) const
    {
        if (node % kPage != 0 || node < 2 * kPage)
            corrupt("Index node pointer " + std::to_string(node) + " is not a node", node);
        readAt(node, page, kPage, "Index node");
    }

    // Interior nodes lead down through their first key to the leftmost leaf.
    std::uint32_t firstLeaf(std::uint32_t node, std::uint32_t keyLength) const
    {
        for (std::size_t depth = 0; depth < 64; ++depth) {
            unsigned char page[kPage];
            readNode(node, page);
            if (le16(page) & 0x02)
                return node;
            if (le16(page + 2) == 0 || 12 + keyLength + 8 > kPage)
                corrupt("Interior index node has no keys", node);
            node = be32(page + 12 + keyLength + 4);
        }
        corrupt("Tag directory is deeper than any real one", node);
    }

    std::vector<std::pair<std::string, std::uint32_t>> leafKeys(std::uint32_t node, const unsigned char* page,
                                                                std::uint32_t keyLength) const
    {
        const std::uint32_t count = le16(page + 2);
        const std::uint32_t recMask = le32(page + 14);
        const unsigned dupBits = page[21], trailBits = page[22], recBits = page[20];
        const std::uint32_t entryBytes = page[23];
        if (entryBytes == 0 || entryBytes > 8 || recBits + dupBits + trailBits > 8 * entryBytes || recBits > 32 ||
            dupBits > 16 || trailBits > 16)
            corrupt("Tag directory leaf has a bad key entry layout", node);
        if (24 + std::uint64_t(count) * entryBytes > kPage)
            corrupt("Tag directory leaf holds more keys than fit", node);
        std::vector<std::pair<std::string, std::uint32_t>> keys;
        std::string previous(keyLength, ' ');
        std::uint32_t keyEnd = kPage;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t packed = 0;
            for (std::uint32_t b = 0; b < entryBytes; ++b)
                packed |= std::uint64_t(page[24 + i * entryBytes + b]) << (8 * b);
            const std::uint32_t offset = std::uint32_t(packed) & recMask;
            const std::uint32_t dup = std::uint32_t(packed >> recBits) & ((1u << dupBits) - 1);
            const std::uint32_t trail = std::uint32_t(packed >> (recBits + dupBits)) & ((1u << trailBits) - 1);
            if (dup + trail > keyLength)
                corrupt("Tag directory key is longer than its key length", node);
            const std::uint32_t stored = keyLength - dup - trail;
            if (stored > keyEnd || keyEnd - stored < 24 + count * entryBytes)
                corrupt("Tag directory keys overlap their entries", node);
            keyEnd -= stored;
            std::string key = previous.substr(0, dup);
            key.append(reinterpret_cast<const char*>(page + keyEnd), stored);
            key.append(trail, ' ');
            previous = key;
            keys.emplace_back(key, offset);
        }
        return keys;
    }

    // The tag whose header starts at offset.
    IndexTag tag(const std::string& key, std::uint32_t offset) const
    {
        IndexTag t;
        std::size_t end = key.find_last_not_of(std::string_view(" \0", 2));
        t.name = end == std::string::npos ? std::string() : key.substr(0, end + 1);
        if (t.name.empty() || t.name.find('\0') != std::string::npos)
            corrupt("Tag directory holds a tag without a name", offset);
        unsigned char head[2 * kPage];
        readAt(offset, head, sizeof head, ("Header of tag " + t.name).c_str());
        const std::uint32_t root = le32(head);
        if (root % kPage != 0 || root < 2 * kPage || root > size_ || size_ - root < kPage)
            corrupt("Root node of tag " + t.name + " lies past the end of the index file", offset);
        const unsigned char options = head[14];
        t.unique = options & 0x01;
        t.descending = le16(head + 502) == 1;
        const std::uint32_t forLength = le16(head + 506);
        const std::uint32_t keyLength = le16(head + 510);
        if (keyLength + forLength > kPage)
            corrupt("Expressions of tag " + t.name + " overflow their pool", offset + 506);
        const char* pool = reinterpret_cast<const char*>(head + kPage);
        t.key = text(pool, keyLength);
        if (t.key.empty())
            corrupt("Tag " + t.name + " has no key expression", offset + kPage);
        if (options & 0x08)
            t.forExpr = text(pool + keyLength, forLength);
        return t;
    }

    static std::string text(const char* p, std::uint32_t n)
    {
        std::uint32_t len = 0;
        while (len < n && p[len] != '\0')
            ++len;
        return std::string(p, len);
    }

    File file_;
    std::uint64_t size_ = 0;
};

}  // namespace

std::vector<IndexTag> readCdxTags(const std::string& path) { return CdxReader(path).tags(); }

}  // namespace dbf::detail
