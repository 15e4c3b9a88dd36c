#include "memo.h"

#include "platform/runtime/text.h"

#include <algorithm>

namespace dbf::detail {

namespace {

constexpr std::uint32_t kHeaderBytes = 512;
constexpr std::uint32_t kFptBlockSize = 64;
constexpr unsigned char kDbt4Marker[4] = {0xFF, 0xFF, 0x08, 0x00};

[[noreturn]] void pastEnd(const std::string& path, std::uint32_t block, std::uint64_t offset)
{
    fail(kErrCorrupt, path, "Memo block " + std::to_string(block) + " lies past the end of the memo file",
         static_cast<long long>(offset));
}

}  // namespace

MemoFile::MemoFile(const std::string& path, Kind kind, bool& readOnly) : kind_(kind)
{
    file_.open(path, readOnly);
    unsigned char head[32] = {};
    if (file_.readSome(0, head, sizeof head) < 8)
        fail(kErrCorrupt, path, "Memo file header is truncated", 0);
    switch (kind_) {
    case Kind::Fpt:
        // A block size of 0 is how some writers say "1 byte".
        blockSize_ = std::max<std::uint32_t>(be16(head + 6), 1);
        break;
    case Kind::Dbt3:
    case Kind::Dbt4: {
        // dBASE IV names its block size at 20; dBASE III leaves it 0 there
        // (its blocks are 512 bytes), and some of its writers leave garbage,
        // so only a power of two from 32 up is taken.
        const std::uint32_t size = le16(head + 20);
        const bool plausible = size >= 32 && (size & (size - 1)) == 0;
        blockSize_ = plausible ? size : 512;
        break;
    }
    }
}

std::string MemoFile::header(Kind kind, std::string_view tableName)
{
    std::string h(kHeaderBytes, '\0');
    auto* p = bytes(h.data());
    switch (kind) {
    case Kind::Fpt:
        putBe32(p, kHeaderBytes / kFptBlockSize);
        putBe16(p + 6, kFptBlockSize);
        break;
    case Kind::Dbt3:
        putLe32(p, 1);
        p[16] = 0x03;
        break;
    case Kind::Dbt4:
        putLe32(p, 1);
        for (std::size_t i = 0; i < 8 && i < tableName.size(); ++i)
            p[8 + i] = static_cast<unsigned char>(tableName[i]);
        putLe16(p + 20, 512);
        break;
    }
    return h;
}

std::uint32_t MemoFile::nextFree() const
{
    unsigned char head[4];
    file_.readExact(0, head, 4, "Memo file header");
    return kind_ == Kind::Fpt ? be32(head) : le32(head);
}

std::string MemoFile::read(std::uint32_t block) const
{
    const std::uint64_t size = file_.size();
    const std::uint64_t offset = std::uint64_t(block) * blockSize_;
    // The .DBT header is block 0 whatever its size; the .FPT header is
    // always 512 bytes.
    const std::uint64_t headerEnd = kind_ == Kind::Fpt ? kHeaderBytes : std::min(kHeaderBytes, blockSize_);
    if (offset < headerEnd)
        fail(kErrCorrupt, path(), "Memo block " + std::to_string(block) + " lies inside the memo file header",
             static_cast<long long>(offset));
    if (offset >= size)
        pastEnd(path(), block, offset);

    unsigned char head[8] = {};
    const std::size_t got = file_.readSome(offset, head, 8);
    std::uint64_t length = 0;
    std::uint64_t start = offset + 8;
    if (kind_ == Kind::Fpt) {
        if (got < 8)
            pastEnd(path(), block, offset);
        length = be32(head + 4);
    } else if (got == 8 && std::equal(head, head + 4, kDbt4Marker)) {
        length = le32(head + 4);
        if (length < 8)
            fail(kErrCorrupt, path(), "Memo block " + std::to_string(block) + " has a bad length",
                 static_cast<long long>(offset));
        length -= 8;
    } else {
        // dBASE III: the text runs to the first end-of-text mark.
        start = offset;
        std::string text;
        char chunk[512];
        for (std::uint64_t at = offset; at < size;) {
            const std::size_t n = file_.readSome(at, chunk, sizeof chunk);
            if (n == 0)
                break;
            const char* end = std::find(chunk, chunk + n, '\x1A');
            text.append(chunk, static_cast<std::size_t>(end - chunk));
            if (end != chunk + n)
                return text;
            rt::ensureTextSize(text.size(), "memo");
            at += n;
        }
        return text;
    }
    if (start + length > size)
        fail(kErrCorrupt, path(),
             "Memo block " + std::to_string(block) + " holds " + std::to_string(length) +
                 " bytes, which run past the end of the memo file (" + std::to_string(size) + " bytes)",
             static_cast<long long>(offset), {}, {rt::Value(static_cast<long long>(length))});
    rt::ensureTextSize(length, "memo");
    std::string text(length, '\0');
    file_.readExact(start, text.data(), text.size(), "Memo block");
    return text;
}

std::uint32_t MemoFile::write(std::string_view data, bool text)
{
    rt::ensureTextSize(data.size(), "memo");
    std::string block;
    switch (kind_) {
    case Kind::Fpt:
        block.assign(8, '\0');
        putBe32(bytes(block.data()), text ? 1 : 0);
        putBe32(bytes(block.data()) + 4, static_cast<std::uint32_t>(data.size()));
        block += data;
        break;
    case Kind::Dbt3:
        block.assign(data);
        block += "\x1A\x1A";
        break;
    case Kind::Dbt4:
        block.assign(reinterpret_cast<const char*>(kDbt4Marker), 4);
        block.append(4, '\0');
        putLe32(bytes(block.data()) + 4, static_cast<std::uint32_t>(data.size() + 8));
        block += data;
        break;
    }
    const std::uint64_t blocks = (block.size() + blockSize_ - 1) / blockSize_;
    block.resize(blocks * blockSize_, '\0');

    // A header pointing inside itself or past the end gets the file's end.
    std::uint64_t first = nextFree();
    const std::uint64_t end = (file_.size() + blockSize_ - 1) / blockSize_;
    const std::uint64_t minFirst = (kHeaderBytes + blockSize_ - 1) / blockSize_;
    if (first < minFirst || first > end)
        first = std::max(end, minFirst);
    if (first + blocks > 0xFFFFFFFFull)
        fail(kErrWrite, path(), "Memo file is full");

    file_.write(first * blockSize_, block.data(), block.size());
    unsigned char head[4];
    if (kind_ == Kind::Fpt)
        putBe32(head, static_cast<std::uint32_t>(first + blocks));
    else
        putLe32(head, static_cast<std::uint32_t>(first + blocks));
    file_.write(0, head, 4);
    return static_cast<std::uint32_t>(first);
}

}  // namespace dbf::detail
