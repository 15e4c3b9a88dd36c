// A structural compound index file written byte by byte: a tag directory
// and per tag its header (key and FOR expressions) and an empty leaf. No
// program here writes such files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace cdxbytes {

constexpr std::size_t kPage = 512;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

struct TagSpec {
    std::string name;
    std::string key;
    std::string forExpr;
    bool descending = false;
    bool unique = false;
};

inline void le16(std::string& b, std::size_t at, unsigned v)
{
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}
inline void le32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = char(v >> (8 * i));
}
inline void be32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = char(v >> (24 - 8 * i));
}

// Two pages of index header: root node, key length, options, order and the
// expression pool.
inline std::string indexHeader(std::uint32_t root, unsigned keyLength, unsigned char options, bool descending,
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
inline std::string leafNode(const std::vector<Key>& keys, unsigned keyLength, std::uint32_t left, std::uint32_t right,
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

inline std::string padKey(const std::string& name, unsigned keyLength)
{
    return name + std::string(keyLength - name.size(), ' ');
}

// A compound index file whose directory lists `tags` (sorted by name, as a
// B-tree keeps them): directory header, its leaf (or, when split, a root
// with two leaves), then per tag a header and an empty leaf.
inline std::string buildCdx(std::vector<TagSpec> tags, bool splitDirectory = false)
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

}  // namespace cdxbytes
