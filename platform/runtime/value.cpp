#include "value.h"

#include "array.h"
#include "block.h"
#include "object.h"
#include "text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace rt {

// --- String ---------------------------------------------------------------

String* String::make(std::string_view utf8)
{
    String* s = allocate(utf8.size());
    if (!utf8.empty()) {
        std::memcpy(s->data_, utf8.data(), utf8.size());
        s->finish();
    }
    return s;
}

String* String::allocate(std::size_t bytes)
{
    if (bytes == 0)
        return empty();
    if (bytes > std::numeric_limits<std::uint32_t>::max() / 2)
        throw std::bad_alloc();
    void* mem = ::operator new(sizeof(String) + bytes);
    auto* s = new (mem) String();
    s->bytes_ = static_cast<std::uint32_t>(bytes);
    s->data_[bytes] = '\0';
    return s;
}

void String::finish() noexcept
{
    const std::string_view utf8(data_, bytes_);
    data_[bytes_] = '\0';
    bool ascii = true;
    for (unsigned char c : utf8)
        ascii &= c < 0x80;
    // One rule of counting for every text function, malformed bytes included.
    chars_ = static_cast<std::uint32_t>(ascii ? utf8.size() : utf8Length(utf8));
}

String* String::empty() noexcept
{
    // Immortal: the one reference taken here is never given back.
    static String* e = [] {
        void* mem = ::operator new(sizeof(String));
        auto* s = new (mem) String();
        s->data_[0] = '\0';
        s->retain();
        return s;
    }();
    return e;
}

void String::destroy() const noexcept
{
    auto* self = const_cast<String*>(this);
    self->~String();
    ::operator delete(self);
}

// --- Value ----------------------------------------------------------------

namespace {
int guessDecimals(double d) noexcept
{
    if (!std::isfinite(d) || d == std::trunc(d))
        return 0;
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
    if (r.ec != std::errc())
        return 9;
    const char* dot = static_cast<const char*>(std::memchr(buf, '.', r.ptr - buf));
    if (!dot)
        return 0;
    const long n = r.ptr - dot - 1;
    return n > 9 ? 9 : static_cast<int>(n);
}
}  // namespace

Value::Value(double d) noexcept : kind_(Kind::Num), dec_(static_cast<std::uint8_t>(guessDecimals(d)))
{
    u_.d = d;
}

Value::Value(std::string_view s) : kind_(Kind::Char)
{
    u_.h = String::make(s);
    u_.h->retain();
}

void Value::adopt(Kind k, HeapCell* h) noexcept
{
    kind_ = k;
    u_.h = h;
    h->retain();
}

Value::Value(Array* a) noexcept : kind_(Kind::Nil)
{
    if (a)
        adopt(Kind::Array, a);
}
Value::Value(Block* b) noexcept : kind_(Kind::Nil)
{
    if (b)
        adopt(Kind::Block, b);
}
Value::Value(Object* o) noexcept : kind_(Kind::Nil)
{
    if (o)
        adopt(Kind::Object, o);
}

Value Value::number(double d, int decimals) noexcept
{
    Value v;
    v.kind_ = Kind::Num;
    v.int_ = false;
    v.dec_ = static_cast<std::uint8_t>(decimals < 0 ? 0 : decimals > 99 ? 99 : decimals);
    v.u_.d = d;
    return v;
}

Value Value::array() { return Value(new Array()); }
Value Value::array(std::size_t n) { return Value(new Array(n)); }

char Value::typeLetter() const noexcept
{
    switch (kind_) {
    case Kind::Nil: return 'U';
    case Kind::Char: return 'C';
    case Kind::Num: return 'N';
    case Kind::Date: return 'D';
    case Kind::Logical: return 'L';
    case Kind::Array: return 'A';
    case Kind::Block: return 'B';
    case Kind::Object: return 'O';
    }
    return 'U';
}

std::string_view Value::asString() const noexcept
{
    return static_cast<const String*>(u_.h)->view();
}

std::size_t Value::charLen() const noexcept { return static_cast<const String*>(u_.h)->chars(); }

std::int64_t clampToInt(double d) noexcept
{
    if (std::isnan(d))
        return 0;
    if (d >= 9.2e18)
        return std::numeric_limits<std::int64_t>::max();
    if (d <= -9.2e18)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(d);
}

std::int64_t Value::asInt() const noexcept { return int_ ? u_.i : clampToInt(u_.d); }

Array& Value::asArray() const noexcept { return *static_cast<Array*>(u_.h); }
Block& Value::asBlock() const noexcept { return *static_cast<Block*>(u_.h); }
Object& Value::asObject() const noexcept { return *static_cast<Object*>(u_.h); }

Value Value::withDecimals(int decimals) const noexcept
{
    if (kind_ != Kind::Num)
        return *this;
    if (int_ && decimals <= 0)
        return *this;
    return number(asDouble(), decimals);
}

const Value& nil() noexcept
{
    static const Value n;
    return n;
}

bool isEmpty(const Value& v) noexcept
{
    switch (v.kind()) {
    case Kind::Nil: return true;
    case Kind::Char:
        for (char c : v.asString())
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
                return false;
        return true;
    case Kind::Num: return v.isInteger() ? v.asInt() == 0 : v.asDouble() == 0.0;
    case Kind::Date: return v.asDate().empty();
    case Kind::Logical: return !v.asBool();
    case Kind::Array: return v.asArray().size() == 0;
    case Kind::Block:
    case Kind::Object: return false;
    }
    return false;
}

std::string_view valType(const Value& v) noexcept
{
    static const char letters[] = "UCNDLABO";
    return {letters + static_cast<int>(v.kind()), 1};
}

}  // namespace rt
