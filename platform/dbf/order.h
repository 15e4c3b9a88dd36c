// An order of a work area: the records sorted by a key expression, held in
// memory as a sorted run of (key, record number) entries.
//
// Keys are normalised so that plain byte comparison orders them:
//
//   kind      bytes  encoding
//   text      W      UTF-8, padded with blanks to the order's width W
//   number    8      IEEE double, sign bit flipped (negatives: all bits), big-endian
//   date      4      Julian day + 2^31, big-endian (the empty date sorts first)
//   logical   1      0 false, 1 true
//
// Entries sort by key, then by record number, so equal keys keep record
// order and a unique order shows the lowest record of each key. A search
// value of text matches every key that starts with it (blanks past the
// key's width compare as the key's padding).
//
// Simple keys are read straight from the record: text parts joined with
// "+", each a text field, DTOS(date), DTOC(date) or STR(number[, len[, dec]]),
// optionally inside UPPER, ALLTRIM, TRIM, RTRIM, LTRIM, SUBSTR(x, start[,
// count]), LEFT(x, n) or RIGHT(x, n); or one field of any kind. Any other
// expression of the program's own is compiled and evaluated in the work
// area that owns the order. An expression read from an index file is never
// compiled: it is a simple key (with at most a FOR of !DELETED()) or refused.
#pragma once

#include "platform/runtime/value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dbf {

class Table;

enum class KeyKind : std::uint8_t { None, Text, Number, Date, Logical };

// How a field key reads its text: as stored, upper-cased, or as the user's
// collation orders it (platform/runtime/collation.h).
enum class KeyFold : std::uint8_t { None, Upper, Collate };

struct OrderSpec {
    std::string name;     // upper case
    std::string key;      // key expression text
    std::string forExpr;  // empty when every record belongs
    bool unique = false;
    bool descending = false;
    // field >= 0: the key is that field (from 0), read from the record and
    // never compiled, since a field's name may come from any file; `key`
    // then only describes it. A collated key is searched by the letters of
    // a text, without regard to case and accents.
    int field = -1;
    KeyFold fold = KeyFold::None;
    // The expressions came from a file (a tag of the table's index): data,
    // read by the key plan only; what it cannot read is refused.
    bool fromFile = false;
};

class Order {
public:
    // Compiles the expressions; raises naming the tag when they do not
    // compile (or, read from a file, when the key plan cannot read them).
    // Fields are resolved against the table's structure.
    Order(OrderSpec spec, const Table& table);
    ~Order();
    Order(const Order&) = delete;
    Order& operator=(const Order&) = delete;

    [[nodiscard]] const OrderSpec& spec() const noexcept { return spec_; }
    [[nodiscard]] const std::string& name() const noexcept { return spec_.name; }
    [[nodiscard]] bool built() const noexcept { return built_; }
    [[nodiscard]] KeyKind kind() const noexcept { return kind_; }
    [[nodiscard]] std::size_t width() const noexcept { return width_; }
    // True when the key is read from the record without the compiler.
    [[nodiscard]] bool isSimple() const noexcept;
    // Tests and benchmarks compare both paths.
    void forceCompiled() noexcept { forceCompiled_ = true; }

    // Reads every record of the table; the owning work area must be the
    // current one (compiled keys read its fields). Leaves the table on the
    // phantom record. Raises when keys of different kinds meet.
    void build(Table& table);
    void clear() noexcept;

    [[nodiscard]] std::size_t size() const noexcept { return recnos_.size(); }
    [[nodiscard]] std::uint32_t recno(std::size_t pos) const noexcept { return recnos_[pos]; }
    [[nodiscard]] std::string_view key(std::size_t pos) const noexcept { return {keys_.data() + pos * width_, width_}; }

    // The key of the table's current record, or nothing when the FOR
    // condition leaves the record out.
    [[nodiscard]] std::optional<std::string> currentKey(Table& table) const;
    // A search value encoded for this order: text becomes a prefix; a text
    // of digits searches a date order by DTOS; a date searches a text order by DTOS.
    [[nodiscard]] std::string searchKey(const rt::Value& v, const char* op) const;

    // First entry not below (key, recno); size() when none.
    [[nodiscard]] std::size_t lowerBound(std::string_view key, std::uint32_t recno) const;
    // Position of exactly (key, recno), or npos.
    [[nodiscard]] std::size_t find(std::string_view key, std::uint32_t recno) const;
    // First entry whose key, cut to the prefix's length, is >= (lowerPrefix) or > (upperPrefix) it.
    [[nodiscard]] std::size_t lowerPrefix(std::string_view prefix) const;
    [[nodiscard]] std::size_t upperPrefix(std::string_view prefix) const;
    // True when entry pos has the same key as the entry before it.
    [[nodiscard]] bool repeatsKey(std::size_t pos) const noexcept;

    void insert(std::string_view key, std::uint32_t recno);
    void erase(std::size_t pos);

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    struct Plan;
    rt::Value evalKey(Table& table) const;
    [[nodiscard]] bool included(Table& table) const;
    void appendKey(Table& table, std::string& out) const;
    void fixKind(const rt::Value& v);
    void encode(const rt::Value& v, std::string& out) const;
    void widen(std::size_t width);

    OrderSpec spec_;
    std::unique_ptr<Plan> plan_;  // null: the key is compiled
    rt::Value keyBlock_;
    rt::Value forBlock_;
    bool forNotDeleted_ = false;  // a file's FOR of !DELETED(), read without the compiler
    bool forceCompiled_ = false;
    bool built_ = false;
    KeyKind kind_ = KeyKind::None;
    std::size_t width_ = 0;
    std::vector<char> keys_;  // size() * width_ bytes, sorted
    std::vector<std::uint32_t> recnos_;
};

// Byte comparison of a key with a search prefix; bytes past the key's end count as blanks.
[[nodiscard]] int comparePrefix(std::string_view key, std::string_view prefix) noexcept;

}  // namespace dbf
