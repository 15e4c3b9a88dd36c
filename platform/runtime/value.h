// The dynamic value every part of the system handles.
//
// A Value is 16 bytes: a kind tag, two bytes of number detail and an
// 8-byte payload. NIL, numbers, dates and logicals live in the payload, so
// copying or passing them never allocates. Text, arrays, blocks and objects
// live on the heap behind an intrusive reference count; copying a Value
// shares them (arrays and objects have reference semantics, text is
// immutable so sharing it is invisible).
//
// Reference counts are not atomic: all values belong to the one GUI thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace rt {

enum class Kind : std::uint8_t { Nil, Char, Num, Date, Logical, Array, Block, Object };

class Value;
class Array;
class Block;
class Object;
using Args = std::span<const Value>;

// Base of every heap-held payload.
class HeapCell {
public:
    HeapCell() = default;
    HeapCell(const HeapCell&) = delete;
    HeapCell& operator=(const HeapCell&) = delete;
    virtual ~HeapCell() = default;

    void retain() const noexcept { ++refs_; }
    void release() const noexcept
    {
        if (--refs_ == 0)
            destroy();
    }
    [[nodiscard]] int refCount() const noexcept { return refs_; }

protected:
    // Frees the cell; text overrides it because it is allocated in one piece.
    virtual void destroy() const noexcept { delete this; }

private:
    mutable int refs_ = 0;
};

// Immutable UTF-8 text with its length in characters; allocated in one piece.
class String final : public HeapCell {
public:
    static String* make(std::string_view utf8);
    static String* empty() noexcept;
    // Room for a text of `bytes` bytes that the caller writes at room()
    // and then counts with finish(): a big text is built without a copy.
    static String* allocate(std::size_t bytes);
    [[nodiscard]] char* room() noexcept { return data_; }
    void finish() noexcept;

    [[nodiscard]] std::string_view view() const noexcept { return {data_, bytes_}; }
    [[nodiscard]] std::uint32_t bytes() const noexcept { return bytes_; }
    [[nodiscard]] std::uint32_t chars() const noexcept { return chars_; }
    // True when every character is one byte, so byte and character positions agree.
    [[nodiscard]] bool isAscii() const noexcept { return bytes_ == chars_; }

private:
    String() = default;
    void destroy() const noexcept override;

    std::uint32_t bytes_ = 0;
    std::uint32_t chars_ = 0;
    char data_[1];
};

// A date is a Julian day number; 0 is the empty date.
struct Date {
    std::int32_t julian = 0;
    [[nodiscard]] bool empty() const noexcept { return julian == 0; }
    friend bool operator==(Date, Date) = default;
    friend auto operator<=>(Date, Date) = default;
};

class Value {
public:
    Value() noexcept : kind_(Kind::Nil) { u_.i = 0; }
    Value(const Value& o) noexcept : kind_(o.kind_), int_(o.int_), dec_(o.dec_), u_(o.u_)
    {
        if (isHeap())
            u_.h->retain();
    }
    Value(Value&& o) noexcept : kind_(o.kind_), int_(o.int_), dec_(o.dec_), u_(o.u_)
    {
        o.kind_ = Kind::Nil;
    }
    Value& operator=(const Value& o) noexcept
    {
        if (o.isHeap())
            o.u_.h->retain();
        drop();
        kind_ = o.kind_;
        int_ = o.int_;
        dec_ = o.dec_;
        u_ = o.u_;
        return *this;
    }
    Value& operator=(Value&& o) noexcept
    {
        if (this != &o) {
            drop();
            kind_ = o.kind_;
            int_ = o.int_;
            dec_ = o.dec_;
            u_ = o.u_;
            o.kind_ = Kind::Nil;
        }
        return *this;
    }
    ~Value() { drop(); }

    // Convenience constructors for C++ code; kinds are explicit where a
    // conversion could surprise (a char* must not become a logical).
    Value(bool b) noexcept : kind_(Kind::Logical) { u_.b = b; }
    Value(int n) noexcept : kind_(Kind::Num), int_(true) { u_.i = n; }
    Value(long n) noexcept : kind_(Kind::Num), int_(true) { u_.i = n; }
    Value(long long n) noexcept : kind_(Kind::Num), int_(true) { u_.i = n; }
    Value(unsigned n) noexcept : kind_(Kind::Num), int_(true) { u_.i = n; }
    Value(double d) noexcept;  // decimals guessed from the value, at most 9
    Value(Date d) noexcept : kind_(Kind::Date) { u_.date = d.julian; }
    Value(const char* s) : Value(std::string_view(s)) {}
    Value(std::string_view s);
    Value(const std::string& s) : Value(std::string_view(s)) {}
    explicit Value(Array* a) noexcept;
    explicit Value(Block* b) noexcept;
    explicit Value(Object* o) noexcept;

    // Numbers: whole numbers stay whole; a decimal number carries the
    // number of decimals it shows with.
    static Value integer(std::int64_t n) noexcept { return Value(static_cast<long long>(n)); }
    static Value number(double d, int decimals) noexcept;
    static Value logical(bool b) noexcept { return Value(b); }
    static Value date(Date d) noexcept { return Value(d); }
    static Value string(std::string_view s) { return Value(s); }
    // A text of `bytes` bytes that fill(char*) writes in place.
    template <class Fill>
    static Value filled(std::size_t bytes, Fill&& fill)
    {
        String* s = String::allocate(bytes);
        Value v;
        v.adopt(Kind::Char, s);  // released should fill raise
        if (bytes > 0) {
            fill(s->room());
            s->finish();
        }
        return v;
    }
    static Value array();  // a new empty array
    static Value array(std::size_t n);  // n NILs

    // --- kind tests ---
    [[nodiscard]] Kind kind() const noexcept { return kind_; }
    [[nodiscard]] char typeLetter() const noexcept;  // "C" "N" "D" "L" "A" "B" "O" "U"
    [[nodiscard]] bool isNil() const noexcept { return kind_ == Kind::Nil; }
    [[nodiscard]] bool isChar() const noexcept { return kind_ == Kind::Char; }
    [[nodiscard]] bool isNum() const noexcept { return kind_ == Kind::Num; }
    [[nodiscard]] bool isDate() const noexcept { return kind_ == Kind::Date; }
    [[nodiscard]] bool isLogical() const noexcept { return kind_ == Kind::Logical; }
    [[nodiscard]] bool isArray() const noexcept { return kind_ == Kind::Array; }
    [[nodiscard]] bool isBlock() const noexcept { return kind_ == Kind::Block; }
    [[nodiscard]] bool isObject() const noexcept { return kind_ == Kind::Object; }

    // --- accessors; calling one on the wrong kind is a programming error ---
    [[nodiscard]] std::string_view asString() const noexcept;  // UTF-8 bytes
    [[nodiscard]] std::string str() const { return std::string(asString()); }
    [[nodiscard]] const String& asStringCell() const noexcept { return *static_cast<const String*>(u_.h); }
    [[nodiscard]] std::size_t charLen() const noexcept;  // characters of a "C" value
    [[nodiscard]] bool isInteger() const noexcept { return int_; }
    [[nodiscard]] std::int64_t asInt() const noexcept;  // truncates a decimal number
    [[nodiscard]] double asDouble() const noexcept { return int_ ? double(u_.i) : u_.d; }
    [[nodiscard]] int decimals() const noexcept { return int_ ? 0 : dec_; }
    [[nodiscard]] bool asBool() const noexcept { return u_.b; }
    [[nodiscard]] Date asDate() const noexcept { return Date{u_.date}; }
    [[nodiscard]] Array& asArray() const noexcept;
    [[nodiscard]] Block& asBlock() const noexcept;
    [[nodiscard]] Object& asObject() const noexcept;

    // Raw identity of a heap payload (arrays, blocks, objects compare by it).
    [[nodiscard]] const HeapCell* cell() const noexcept { return isHeap() ? u_.h : nullptr; }

    // The number with different display decimals (same value).
    [[nodiscard]] Value withDecimals(int decimals) const noexcept;

private:
    [[nodiscard]] bool isHeap() const noexcept { return kind_ == Kind::Char || kind_ >= Kind::Array; }
    void drop() noexcept
    {
        if (isHeap())
            u_.h->release();
    }
    void adopt(Kind k, HeapCell* h) noexcept;

    Kind kind_;
    bool int_ = false;        // Num: whole number in u_.i, else double in u_.d
    std::uint8_t dec_ = 0;    // Num: display decimals of a decimal number
    union Payload {
        std::int64_t i;
        double d;
        std::int32_t date;
        bool b;
        HeapCell* h;
    } u_;
};

static_assert(sizeof(Value) == 16);

// A double as a whole number: truncated, saturated at the int64 range, NaN as 0.
[[nodiscard]] std::int64_t clampToInt(double d) noexcept;

// The shared NIL, for functions that hand out a reference to a missing argument.
const Value& nil() noexcept;

// Argument i (0-based) of a call, or NIL when the caller passed fewer.
inline const Value& argAt(Args args, std::size_t i) noexcept { return i < args.size() ? args[i] : nil(); }

// "Empty" as the language defines it: text of blanks only or of length 0,
// numeric 0, logical false, an empty date, an empty array, or NIL.
[[nodiscard]] bool isEmpty(const Value& v) noexcept;

// True only for a logical .T. (settings of a wrong kind count as false).
[[nodiscard]] inline bool isTrue(const Value& v) noexcept { return v.isLogical() && v.asBool(); }

// The kind letter as text, "U" for NIL.
[[nodiscard]] std::string_view valType(const Value& v) noexcept;

}  // namespace rt
