// A set of record numbers as a bitmap: insert, erase and lookup in constant
// time, clearing and counting without walking nodes, iteration in
// ascending order. Made for the tags of a work area, which may hold every
// record of a table of millions.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace dbf {

class RecordSet {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::uint32_t;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::uint32_t*;
        using reference = std::uint32_t;
        const_iterator(const std::vector<std::uint64_t>* w, std::size_t bit) : w_(w), bit_(bit) { settle(); }
        std::uint32_t operator*() const noexcept { return static_cast<std::uint32_t>(bit_); }
        const_iterator& operator++()
        {
            ++bit_;
            settle();
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& o) const noexcept { return bit_ == o.bit_; }

    private:
        // Moves to the first set bit at or after bit_ (the end when none).
        void settle()
        {
            const std::size_t end = w_->size() * 64;
            while (bit_ < end) {
                const std::uint64_t rest = (*w_)[bit_ / 64] >> (bit_ % 64);
                if (rest) {
                    bit_ += std::size_t(std::countr_zero(rest));
                    return;
                }
                bit_ = (bit_ / 64 + 1) * 64;
            }
            bit_ = end;
        }
        const std::vector<std::uint64_t>* w_;
        std::size_t bit_;
    };

    // True when r was not in the set.
    bool insert(std::uint32_t r)
    {
        if (r / 64 >= words_.size())
            words_.resize(r / 64 + 1);
        std::uint64_t& w = words_[r / 64];
        const std::uint64_t m = std::uint64_t(1) << (r % 64);
        if (w & m)
            return false;
        w |= m;
        ++size_;
        return true;
    }
    // 1 when r was in the set, else 0.
    std::size_t erase(std::uint32_t r)
    {
        if (!count(r))
            return 0;
        words_[r / 64] &= ~(std::uint64_t(1) << (r % 64));
        --size_;
        return 1;
    }
    [[nodiscard]] std::size_t count(std::uint32_t r) const noexcept
    {
        return r / 64 < words_.size() && (words_[r / 64] >> (r % 64) & 1) ? 1 : 0;
    }
    void clear() noexcept
    {
        words_.clear();
        size_ = 0;
    }
    [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] const_iterator begin() const { return {&words_, 0}; }
    [[nodiscard]] const_iterator end() const { return {&words_, words_.size() * 64}; }

private:
    std::vector<std::uint64_t> words_;
    std::size_t size_ = 0;
};

}  // namespace dbf
