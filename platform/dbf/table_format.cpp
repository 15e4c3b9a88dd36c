#include "table_format.h"

#include "platform/runtime/codepage.h"
#include "platform/runtime/text.h"

#include <dirent.h>
#include <iconv.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace dbf::detail {

void fail(int genCode, const std::string& file, std::string description, long long position, std::string operation,
          std::vector<rt::Value> args)
{
    rt::Error e(std::move(description), std::move(operation), std::move(args));
    e.subsystem = "DBF";
    e.genCode = genCode;
    e.filename = file;
    e.position = position;
    rt::raise(std::move(e));
}

namespace {

std::string systemText(int err) { return std::strerror(err); }

}  // namespace

// --- File ---

File::~File()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void File::open(const std::string& path, bool& readOnly)
{
    path_ = path;
    int fd = -1;
    if (!readOnly) {
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
            readOnly = true;
    }
    if (fd < 0)
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(kErrOpen, path, "Cannot open file (" + systemText(errno) + ")");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(kErrOpen, path, "Not a regular file");
    }
    fd_ = fd;
}

std::uint64_t File::size() const
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        fail(kErrRead, path_, "Cannot read the file size (" + systemText(errno) + ")");
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t File::readSome(std::uint64_t offset, void* out, std::size_t n) const
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, static_cast<char*>(out) + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            fail(kErrRead, path_, "Read error (" + systemText(errno) + ")", static_cast<long long>(offset + done));
        }
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

void File::readExact(std::uint64_t offset, void* out, std::size_t n, const char* what) const
{
    if (readSome(offset, out, n) != n)
        fail(kErrCorrupt, path_, std::string(what) + " runs past the end of the file", static_cast<long long>(offset));
}

void File::write(std::uint64_t offset, const void* data, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r =
            ::pwrite(fd_, static_cast<const char*>(data) + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            fail(kErrWrite, path_, "Write error (" + systemText(errno) + ")", static_cast<long long>(offset + done));
        done += static_cast<std::size_t>(r);
    }
}

void File::sync()
{
    if (::fdatasync(fd_) != 0)
        fail(kErrWrite, path_, "Cannot flush the file to disk (" + systemText(errno) + ")");
}

// --- TempFile ---

TempFile::TempFile(const std::string& target) : target_(target), temp_(target + ".XXXXXX")
{
    fd_ = ::mkstemp(temp_.data());
    if (fd_ < 0)
        fail(kErrCreate, target, "Cannot create a temporary file beside it (" + systemText(errno) + ")");
    ::fchmod(fd_, 0644);
}

TempFile::~TempFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temp_.c_str());
    }
}

void TempFile::append(std::string_view data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t r = ::write(fd_, data.data() + done, data.size() - done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            fail(kErrCreate, target_, "Write error (" + systemText(errno) + ")");
        done += static_cast<std::size_t>(r);
    }
}

void TempFile::commit()
{
    if (::fsync(fd_) != 0)
        fail(kErrCreate, target_, "Cannot flush the file to disk (" + systemText(errno) + ")");
    ::close(fd_);
    fd_ = -1;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp_.c_str());
        fail(kErrCreate, target_, "Cannot rename the temporary file into place (" + systemText(err) + ")");
    }
}

// --- names ---

namespace {

bool sameNoCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 32);
        if (y >= 'a' && y <= 'z')
            y = char(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

bool isRegular(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::size_t extensionAt(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path.size() : dot;
}

}  // namespace

std::string findFileNoCase(const std::string& path)
{
    if (isRegular(path))
        return path;
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return {};
    while (const dirent* entry = ::readdir(dir.get())) {
        if (sameNoCase(entry->d_name, name)) {
            std::string found =
                slash == std::string::npos ? std::string(entry->d_name) : path.substr(0, slash + 1) + entry->d_name;
            if (isRegular(found))
                return found;
        }
    }
    return {};
}

std::string siblingName(const std::string& path, std::string_view ext)
{
    const std::size_t at = extensionAt(path);
    bool upper = false;
    for (std::size_t i = at + 1; i < path.size(); ++i)
        upper = upper || (path[i] >= 'A' && path[i] <= 'Z');
    std::string e(ext);
    if (upper)
        for (char& c : e)
            if (c >= 'a' && c <= 'z')
                c = char(c - 32);
    return path.substr(0, at) + e;
}

std::string findSibling(const std::string& path, std::string_view ext)
{
    return findFileNoCase(siblingName(path, ext));
}

// --- language drivers ---

namespace {

struct Driver {
    unsigned char byte;
    int codePage;
};

// Bytes as tables of several makers write them; the first entry of a code
// page is the byte we write for it.
constexpr Driver kDrivers[] = {
    {0x01, 437},   {0x02, 850},   {0x03, 1252},  {0x64, 852},   {0x65, 866},  {0x66, 865},  {0x67, 861},  {0x6A, 737},
    {0x6B, 857},   {0x1C, 863},   {0x24, 860},   {0x7C, 874},   {0x7D, 1255}, {0x7E, 1256}, {0xC8, 1250}, {0xC9, 1251},
    {0xCA, 1254},  {0xCB, 1253},  {0xCC, 1257},  {0x04, 10000}, {0x08, 865},  {0x09, 437},  {0x0A, 850},  {0x0B, 437},
    {0x0D, 437},   {0x0E, 850},   {0x0F, 437},   {0x10, 850},   {0x11, 437},  {0x12, 850},  {0x13, 932},  {0x14, 850},
    {0x15, 437},   {0x16, 850},   {0x17, 865},   {0x18, 437},   {0x19, 437},  {0x1A, 850},  {0x1B, 437},  {0x6C, 863},
    {0x1D, 850},   {0x1F, 852},   {0x22, 852},   {0x23, 852},   {0x25, 850},  {0x26, 866},  {0x37, 850},  {0x40, 852},
    {0x4D, 936},   {0x4E, 949},   {0x4F, 950},   {0x50, 874},   {0x57, 1252}, {0x58, 1252}, {0x59, 1252}, {0x68, 895},
    {0x69, 620},   {0x78, 950},   {0x79, 949},   {0x7A, 936},   {0x7B, 932},  {0x86, 737},  {0x87, 852},  {0x88, 857},
    {0x96, 10007}, {0x97, 10029}, {0x98, 10006},
};

}  // namespace

int codePageOfDriver(unsigned char driver) noexcept
{
    for (const Driver& d : kDrivers)
        if (d.byte == driver)
            return d.codePage;
    return 0;
}

unsigned char driverOfCodePage(int codePage) noexcept
{
    for (const Driver& d : kDrivers)
        if (d.codePage == codePage)
            return d.byte;
    return 0;
}

int codePageOfDriverName(std::string_view name) noexcept
{
    if (name.substr(0, 5) == "DBWIN")
        return 1252;
    // "DB" and the code page's number: DB437US0, DB850WE0, DB852PO0, ...
    if (name.size() >= 5 && name.substr(0, 2) == "DB" && std::isdigit(static_cast<unsigned char>(name[2])) &&
        std::isdigit(static_cast<unsigned char>(name[3])) && std::isdigit(static_cast<unsigned char>(name[4])))
        return (name[2] - '0') * 100 + (name[3] - '0') * 10 + (name[4] - '0');
    return 0;
}

int codePageOfCpg(const std::string& tablePath)
{
    const std::string cpg = findSibling(tablePath, ".cpg");
    if (cpg.empty())
        return 0;
    bool readOnly = true;
    File file;
    file.open(cpg, readOnly);
    char text[64] = {};
    const std::size_t n = file.readSome(0, text, sizeof text - 1);
    const int page = rt::cp::codePageOfName(std::string_view(text, n));
    return page > 0 && codecSupported(page) ? page : 0;
}

namespace {

bool isWide(int codePage) { return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950; }

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

// One iconv descriptor per thread and direction: a descriptor keeps state.
iconv_t wideConverter(int codePage, bool toUtf8)
{
    struct Converters {
        std::map<int, iconv_t> open;
        ~Converters()
        {
            for (const auto& [key, cd] : open)
                if (cd != kNoIconv)
                    iconv_close(cd);
        }
    };
    thread_local Converters converters;
    const int key = toUtf8 ? codePage : -codePage;
    auto it = converters.open.find(key);
    if (it == converters.open.end()) {
        const std::string page = "CP" + std::to_string(codePage);
        it = converters.open
                 .emplace(key, toUtf8 ? iconv_open("UTF-8", page.c_str()) : iconv_open(page.c_str(), "UTF-8"))
                 .first;
    }
    return it->second;
}

// Converts as much as iconv can; a byte it cannot take becomes `bad` (when
// given) or ends the conversion with false.
bool convert(iconv_t cd, std::string_view in, std::string& out, const char* bad)
{
    out.clear();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char buf[1024];
    auto* ip = const_cast<char*>(in.data());
    std::size_t il = in.size();
    while (il > 0) {
        char* op = buf;
        std::size_t ol = sizeof buf;
        const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
        out.append(buf, std::size_t(op - buf));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            if (!bad)
                return false;
            out += bad;
            ++ip;
            --il;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return true;
}

}  // namespace

bool codecSupported(int codePage)
{
    if (codePage == rt::cp::kUtf8)
        return true;
    if (isWide(codePage))
        return wideConverter(codePage, true) != kNoIconv;
    return rt::cp::supported(codePage);
}

// --- Codec ---

const Codec& Codec::of(int codePage)
{
    static std::mutex lock;
    static std::map<int, std::unique_ptr<Codec>> codecs;
    std::lock_guard guard(lock);
    auto& slot = codecs[codePage];
    if (!slot && codePage == rt::cp::kUtf8) {
        auto c = std::make_unique<Codec>();
        c->codePage_ = codePage;
        c->utf8Mode_ = true;
        c->trimsBytes_ = true;  // no character but the blank holds a byte 0x20
        slot = std::move(c);
    }
    if (!slot && isWide(codePage)) {
        if (!codecSupported(codePage))
            rt::raise("Code page " + std::to_string(codePage) + " is not supported", "codepage", {rt::Value(codePage)});
        auto c = std::make_unique<Codec>();
        c->codePage_ = codePage;
        c->wide_ = true;
        slot = std::move(c);
    }
    if (!slot) {
        auto c = std::make_unique<Codec>();
        c->codePage_ = codePage;
        c->trimsBytes_ = true;
        for (int b = 0; b < 256; ++b) {
            const std::string one = rt::cp::decode(std::string(1, char(b)), codePage);
            std::memcpy(c->utf8_[std::size_t(b)].data(), one.data(), std::min<std::size_t>(one.size(), 4));
            c->len_[std::size_t(b)] = std::uint8_t(one.size());
            if (b < 0x80 && (one.size() != 1 || one[0] != char(b)))
                c->asciiSame_ = false;
            if (b >= 0x80 && !one.empty() && one.back() == ' ')
                c->trimsBytes_ = false;
        }
        c->trimsBytes_ = c->trimsBytes_ && c->asciiSame_;
        c->longest_ = *std::max_element(c->len_.begin(), c->len_.end());
        slot = std::move(c);
    }
    return *slot;
}

namespace {

// Bytes below 0x80 at the start of p, eight at a time up to the word
// that holds the first other byte.
std::size_t asciiPrefix(const char* p, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ull)
            break;
    }
    while (i < n && static_cast<unsigned char>(p[i]) < 0x80)
        ++i;
    return i;
}

}  // namespace

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;

// Whether none of the 8 bytes of w has its high bit set or is NUL (a NUL
// borrows in w - kOnes; no other byte does).
bool plainWord(std::uint64_t w) { return (((w - kOnes) | w) & kHigh) == 0; }

// The same for the last r (1..7) bytes of the 8 at p, which are the high
// bytes of the little-endian word: they come down to the low ones.
bool plainTail(const char* p, std::size_t r, std::uint64_t& w)
{
    const unsigned shift = unsigned(8 * (8 - r));
    w = le64(bytes(p)) >> shift;
    return (((w - (kOnes >> shift)) | w) & (kHigh >> shift)) == 0;
}

}  // namespace

// UTF-8 as it is; a byte that begins no character becomes U+FFFD, so
// that the text is always well formed.
std::string_view Codec::wellFormedUtf8(const char* p, std::size_t n, std::string& scratch) const
{
    const std::string_view in(p, n);
    std::size_t i = 0;
    while (i < n) {
        const rt::Utf8Char u = rt::decodeUtf8(in, i);
        if (!u.ok)
            break;
        i += u.len;
    }
    if (i == n)
        return in;
    scratch.assign(p, i);
    while (i < n) {
        const rt::Utf8Char u = rt::decodeUtf8(in, i);
        if (u.ok)
            scratch.append(in.substr(i, u.len));
        else
            rt::appendUtf8(scratch, 0xFFFD);
        i += std::max<std::size_t>(u.len, 1);
    }
    return scratch;
}

std::string_view Codec::text(const char* p, std::size_t n, std::string& scratch, bool& nul) const
{
    nul = false;
    if (utf8Mode_) {
        const std::string_view out = wellFormedUtf8(p, n, scratch);
        nul = out.find('\0') != std::string_view::npos;
        return out;
    }
    if (wide_) {
        if (asciiPrefix(p, n) != n)
            scratch = decodeWide(p, n).asString();
        else
            scratch.assign(p, n);
        nul = scratch.find('\0') != std::string::npos;
        return scratch;
    }
    // Most text is plain ASCII: it is seen, not copied.
    std::size_t i = 0;
    if (asciiSame_) {
        for (std::uint64_t w; i + 8 <= n && (std::memcpy(&w, p + i, 8), plainWord(w));)
            i += 8;
        std::uint64_t w;
        if (i == n || (i + 8 > n && n >= 8 && plainTail(p + n - 8, n - i, w)))
            return {p, n};
        if (n < 8) {
            while (i < n && static_cast<unsigned char>(p[i] - 1) < 0x7F)
                ++i;
            if (i == n)
                return {p, n};
        }
    }
    // The rest is written in one pass into room for the longest text it can
    // become, then cut to what it took.
    if (scratch.size() < n * longest_ + 8)
        scratch.resize(n * longest_ + 8);
    std::memcpy(scratch.data(), p, i);
    const char* end = translate(p, i, n, scratch.data() + i, nul);
    return {scratch.data(), static_cast<std::size_t>(end - scratch.data())};
}

char* Codec::translate(const char* p, std::size_t i, std::size_t n, char* o, bool& nul) const
{
    const auto one = [&](std::size_t k) {
        const auto b = static_cast<unsigned char>(p[k]);
        std::memcpy(o, utf8_[b].data(), 4);
        o += len_[b];
        nul = nul || b == 0;
    };
    if (!asciiSame_) {
        for (; i < n; ++i)
            one(i);
        return o;
    }
    // Eight bytes at a time: the plain ASCII before the first other byte is
    // copied whole, that byte goes through the table. The lowest byte the
    // test flags is a real one: a NUL's borrow only flags the bytes above it.
    while (i + 8 <= n) {
        const std::uint64_t w = le64(bytes(p + i));
        const std::uint64_t flagged = ((w - kOnes) | w) & kHigh;
        const std::size_t plain = flagged ? std::size_t(std::countr_zero(flagged) / 8) : 8;
        putLe64(bytes(o), w);
        o += plain;
        i += plain;
        if (plain < 8)
            one(i++);
    }
    if (std::uint64_t w; i < n && n >= 8 && plainTail(p + n - 8, n - i, w)) {
        putLe64(bytes(o), w);
        return o + (n - i);
    }
    for (; i < n; ++i)
        one(i);
    return o;
}

rt::Value Codec::decodeWide(const char* p, std::size_t n) const
{
    std::string out;
    convert(wideConverter(codePage_, true), std::string_view(p, n), out, "\xEF\xBF\xBD");
    return rt::Value(out);
}

rt::Value Codec::decode(const char* p, std::size_t n) const
{
    if (utf8Mode_) {
        thread_local std::string scratch;
        return rt::Value(wellFormedUtf8(p, n, scratch));
    }
    if (wide_) {
        const bool ascii = std::all_of(p, p + n, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        return ascii ? rt::Value(std::string_view(p, n)) : decodeWide(p, n);
    }
    if (asciiSame_) {
        std::size_t i = 0;
        std::uint64_t high = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            high |= w;
        }
        for (; i < n; ++i)
            high |= static_cast<unsigned char>(p[i]);
        if ((high & 0x8080808080808080ull) == 0)
            return rt::Value(std::string_view(p, n));
    }
    // Counted first, then written straight into the value: a big memo is
    // not held twice over. Where 4 bytes are left, each character's packed
    // UTF-8 is written whole and the end advanced by its length.
    std::size_t size = 0;
    for (std::size_t i = 0; i < n; ++i)
        size += len_[static_cast<unsigned char>(p[i])];
    return rt::Value::filled(size, [&](char* o) {
        char* const end = o + size;
        std::size_t i = 0;
        for (; i < n && end - o >= 4; ++i) {
            const auto b = static_cast<unsigned char>(p[i]);
            std::memcpy(o, utf8_[b].data(), 4);
            o += len_[b];
        }
        for (; i < n; ++i) {
            const auto b = static_cast<unsigned char>(p[i]);
            std::memcpy(o, utf8_[b].data(), len_[b]);
            o += len_[b];
        }
    });
}

std::string Codec::encode(std::string_view utf8) const
{
    if (utf8Mode_)
        return std::string(utf8);  // the runtime's text is UTF-8 already
    if (!wide_)
        return rt::cp::encode(utf8, codePage_);
    std::string out;
    if (!convert(wideConverter(codePage_, false), utf8, out, nullptr))
        rt::raise("Text has a character code page " + std::to_string(codePage_) + " cannot hold", "codepage",
                  {rt::Value(utf8)});
    return out;
}

}  // namespace dbf::detail
