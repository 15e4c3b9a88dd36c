// Private helpers of the table layer: byte order, the one error channel,
// files read and written by offset, and the code page of a table.
#pragma once

#include "platform/dbf/table.h"
#include "platform/runtime/error.h"
#include "platform/runtime/value.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace dbf::detail {

inline std::uint16_t le16(const unsigned char* p) noexcept { return std::uint16_t(p[0] | p[1] << 8); }
inline std::uint32_t le32(const unsigned char* p) noexcept
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline std::uint64_t le64(const unsigned char* p) noexcept { return le32(p) | std::uint64_t(le32(p + 4)) << 32; }
inline std::uint32_t be32(const unsigned char* p) noexcept
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}
inline std::uint16_t be16(const unsigned char* p) noexcept { return std::uint16_t(p[0] << 8 | p[1]); }
inline std::uint64_t be64(const unsigned char* p) noexcept { return std::uint64_t(be32(p)) << 32 | be32(p + 4); }

inline void putLe16(unsigned char* p, std::uint32_t v) noexcept
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
inline void putLe32(unsigned char* p, std::uint32_t v) noexcept
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}
inline void putLe64(unsigned char* p, std::uint64_t v) noexcept
{
    for (int i = 0; i < 8; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}
inline void putBe32(unsigned char* p, std::uint32_t v) noexcept
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (24 - 8 * i));
}
inline void putBe16(unsigned char* p, std::uint32_t v) noexcept
{
    p[0] = std::uint8_t(v >> 8);
    p[1] = std::uint8_t(v);
}

inline unsigned char* bytes(char* p) noexcept { return reinterpret_cast<unsigned char*>(p); }
inline const unsigned char* bytes(const char* p) noexcept { return reinterpret_cast<const unsigned char*>(p); }

// Raises a DBF error naming the file (and the offset in it, when known).
// args: the numbers the description names, for a caller that words the
// failure itself.
[[noreturn]] void fail(int genCode, const std::string& file, std::string description, long long position = -1,
                       std::string operation = {}, std::vector<rt::Value> args = {});

// A file opened by descriptor, read and written at offsets. Short reads and
// failed writes raise naming the file.
class File {
public:
    File() = default;
    ~File();
    File(File&& o) noexcept : fd_(o.fd_), path_(std::move(o.path_)) { o.fd_ = -1; }
    File& operator=(File&&) = delete;
    File(const File&) = delete;

    // Opens for reading and, unless readOnly, writing; a file that cannot be
    // written is opened for reading and reports it through readOnly.
    void open(const std::string& path, bool& readOnly);
    [[nodiscard]] bool isOpen() const noexcept { return fd_ >= 0; }
    [[nodiscard]] const std::string& path() const noexcept { return path_; }
    [[nodiscard]] std::uint64_t size() const;
    // Reads up to n bytes at offset; returns how many there were.
    std::size_t readSome(std::uint64_t offset, void* out, std::size_t n) const;
    // Reads exactly n bytes at offset or raises naming `what`.
    void readExact(std::uint64_t offset, void* out, std::size_t n, const char* what) const;
    void write(std::uint64_t offset, const void* data, std::size_t n);
    void sync();

private:
    int fd_ = -1;
    std::string path_;
};

// Writes a new file beside `target` under a temporary name; commit() makes
// it durable and renames it into place; a file never committed is removed.
class TempFile {
public:
    explicit TempFile(const std::string& target);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    void append(std::string_view data);
    void commit();

private:
    int fd_ = -1;
    std::string target_;
    std::string temp_;
};

// The file `path` names, or one in the same folder whose name differs only
// in letter case; "" when there is none.
[[nodiscard]] std::string findFileNoCase(const std::string& path);
// The file beside `path` with the same base name and extension `ext`
// (".fpt"), found without regard to case; "" when there is none.
[[nodiscard]] std::string findSibling(const std::string& path, std::string_view ext);
// The name `path` would have with extension `ext`, in the letter case of
// the table's own extension.
[[nodiscard]] std::string siblingName(const std::string& path, std::string_view ext);

// The code page of a language-driver byte; 0 for a byte we do not know.
[[nodiscard]] int codePageOfDriver(unsigned char driver) noexcept;
// The language-driver byte we write for a code page; 0 when it has none.
[[nodiscard]] unsigned char driverOfCodePage(int codePage) noexcept;
// The code page of a dBASE 7 language driver name ("DBWINUS0" 1252,
// "DB850WE0" 850); 0 for a name we do not know.
[[nodiscard]] int codePageOfDriverName(std::string_view name) noexcept;
// The code page the .cpg file beside a table names (shapefiles); 0 when
// there is none or it names none we read.
[[nodiscard]] int codePageOfCpg(const std::string& tablePath);
// Whether a table's text in this code page can be read: the runtime's one
// byte pages, the double-byte ones through iconv (932 936 949 950), UTF-8.
[[nodiscard]] bool codecSupported(int codePage);

// Bytes of one code page to UTF-8: by table look-up for the one-byte
// pages, through iconv for the double-byte ones.
class Codec {
public:
    // The page's tables, built once; raises for a page the runtime lacks.
    static const Codec& of(int codePage);

    [[nodiscard]] int codePage() const noexcept { return codePage_; }
    // The text of n bytes, as a runtime value.
    [[nodiscard]] rt::Value decode(const char* p, std::size_t n) const;
    // The text of n bytes as UTF-8, without building a value: the bytes
    // themselves when they are ASCII the page keeps, else the text written
    // into scratch (which grows when it must). nul tells whether the text
    // holds a NUL byte (kept). Good while p and scratch are.
    [[nodiscard]] std::string_view text(const char* p, std::size_t n, std::string& scratch, bool& nul) const;
    // Whether dropping trailing 0x20 bytes before decoding gives the same
    // text as dropping trailing blanks after: true for the one-byte pages
    // that keep ASCII and give no other byte a text ending in a blank.
    [[nodiscard]] bool trimsBytes() const noexcept { return trimsBytes_; }
    // UTF-8 to the page's bytes; raises naming a character the page lacks.
    [[nodiscard]] std::string encode(std::string_view utf8) const;

private:
    [[nodiscard]] rt::Value decodeWide(const char* p, std::size_t n) const;
    [[nodiscard]] std::string_view wellFormedUtf8(const char* p, std::size_t n, std::string& scratch) const;
    // Writes the text of p[from, n) at o, of which `from` bytes are copied
    // already; gives the end.
    char* translate(const char* p, std::size_t from, std::size_t n, char* o, bool& nul) const;

    int codePage_ = 0;
    bool wide_ = false;  // two bytes for some characters
    bool utf8Mode_ = false;  // 65001: the bytes are the text
    bool asciiSame_ = true;
    bool trimsBytes_ = false;
    std::array<std::array<char, 4>, 256> utf8_{};  // each byte's character as UTF-8, NUL-padded
    std::array<std::uint8_t, 256> len_{};
    std::size_t longest_ = 4;  // the most bytes of UTF-8 one byte becomes
};

}  // namespace dbf::detail
