#include "array.h"

#include "block.h"
#include "builtins.h"
#include "error.h"
#include "functions.h"
#include "ops.h"

#include <algorithm>
#include <unordered_map>

namespace rt {

namespace {
// Arrays larger than this are refused rather than exhausting memory.
constexpr std::int64_t kMaxArray = 64 * 1024 * 1024;

[[noreturn]] void boundError(std::int64_t pos)
{
    Error e("Bound error", "array access", {Value::integer(pos)});
    e.genCode = gen::Bound;
    raise(std::move(e));
}
}  // namespace

Value& Array::at1(std::int64_t pos)
{
    if (pos < 1 || pos > static_cast<std::int64_t>(items.size()))
        boundError(pos);
    return items[static_cast<std::size_t>(pos - 1)];
}

const Value& Array::at1(std::int64_t pos) const { return const_cast<Array*>(this)->at1(pos); }

Value makeArray(std::initializer_list<Value> items) { return Value(new Array(std::vector<Value>(items))); }
Value makeArray(std::vector<Value> items) { return Value(new Array(std::move(items))); }

namespace {
Value cloneRec(const Value& a, std::unordered_map<const HeapCell*, Value>& seen)
{
    if (!a.isArray())
        return a;
    if (auto it = seen.find(a.cell()); it != seen.end())
        return it->second;  // keeps shared and cyclic structure, never loops
    Value copy = Value::array(a.asArray().size());
    seen.emplace(a.cell(), copy);
    auto& src = a.asArray().items;
    auto& dst = copy.asArray().items;
    for (std::size_t i = 0; i < src.size(); ++i)
        dst[i] = cloneRec(src[i], seen);
    return copy;
}

Array& arrayArg(Args args, std::size_t i, const char* fn)
{
    const Value& v = argAt(args, i);
    if (!v.isArray())
        raiseArg(fn, args);
    return v.asArray();
}

std::int64_t sizeArg(const Value& v, const char* fn, Args args)
{
    if (!v.isNum())
        raiseArg(fn, args);
    const std::int64_t n = v.asInt();
    if (n > kMaxArray)
        raise("Array too large", fn, {v});
    return n < 0 ? 0 : n;
}

// The [start, start+count) slice that functions with optional start and count work on.
std::pair<std::size_t, std::size_t> range(const Array& a, Args args, std::size_t iStart, std::size_t iCount)
{
    const std::int64_t n = static_cast<std::int64_t>(a.size());
    std::int64_t start = argAt(args, iStart).isNum() ? argAt(args, iStart).asInt() : 1;
    if (start < 1)
        start = 1;
    std::int64_t count = argAt(args, iCount).isNum() ? argAt(args, iCount).asInt() : n - start + 1;
    if (start > n || count <= 0)
        return {0, 0};
    count = std::min(count, n - start + 1);
    return {static_cast<std::size_t>(start - 1), static_cast<std::size_t>(start - 1 + count)};
}

bool scanMatch(const Value& elem, const Value& target)
{
    if (elem.kind() != target.kind())
        return false;
    return looseEqual(elem, target);
}

// Kinds of different sort are ordered by kind so a mixed array still sorts.
bool defaultLess(const Value& a, const Value& b)
{
    if (a.kind() != b.kind())
        return a.kind() < b.kind();
    switch (a.kind()) {
    case Kind::Char:
        return a.asString() < b.asString();
    case Kind::Num:
    case Kind::Date:
    case Kind::Logical:
        return compare(a, b) < 0;
    default:
        return false;
    }
}

Value fnAAdd(Args a)
{
    Array& arr = arrayArg(a, 0, "AADD");
    if (static_cast<std::int64_t>(arr.size()) >= kMaxArray)
        raise("Array too large", "AADD", {});
    arr.items.push_back(argAt(a, 1));
    return argAt(a, 1);
}

Value fnASize(Args a)
{
    Array& arr = arrayArg(a, 0, "ASIZE");
    arr.items.resize(static_cast<std::size_t>(sizeArg(argAt(a, 1), "ASIZE", a)));
    return a[0];
}

Value fnAIns(Args a)
{
    Array& arr = arrayArg(a, 0, "AINS");
    const std::int64_t pos = argAt(a, 1).isNum() ? argAt(a, 1).asInt() : 0;
    if (pos >= 1 && pos <= static_cast<std::int64_t>(arr.size())) {
        arr.items.insert(arr.items.begin() + (pos - 1), argAt(a, 2));
        arr.items.pop_back();
    }
    return a[0];
}

Value fnADel(Args a)
{
    Array& arr = arrayArg(a, 0, "ADEL");
    const std::int64_t pos = argAt(a, 1).isNum() ? argAt(a, 1).asInt() : 0;
    if (pos >= 1 && pos <= static_cast<std::int64_t>(arr.size())) {
        arr.items.erase(arr.items.begin() + (pos - 1));
        arr.items.emplace_back();
    }
    return a[0];
}

Value fnAScan(Args a)
{
    Array& arr = arrayArg(a, 0, "ASCAN");
    const Value& target = argAt(a, 1);
    auto [from, to] = range(arr, a, 2, 3);
    for (std::size_t i = from; i < to && i < arr.size(); ++i) {
        // Copy: the block may change the array while we scan it.
        const Value elem = arr.items[i];
        const bool hit = target.isBlock() ? truth(evalWith(target, elem, Value::integer(i + 1)), "ASCAN")
                                          : scanMatch(elem, target);
        if (hit)
            return Value::integer(static_cast<std::int64_t>(i + 1));
    }
    return Value::integer(0);
}

Value fnASort(Args a)
{
    Array& arr = arrayArg(a, 0, "ASORT");
    auto [from, to] = range(arr, a, 1, 2);
    const Value& block = argAt(a, 3);
    // Sort a copy: a block that changes the array must not invalidate the sort.
    std::vector<Value> part(arr.items.begin() + from, arr.items.begin() + to);
    // A merge sort stays in bounds even when a block's order is inconsistent.
    if (block.isBlock())
        std::stable_sort(part.begin(), part.end(),
                         [&](const Value& x, const Value& y) { return truth(evalWith(block, x, y), "ASORT"); });
    else
        std::stable_sort(part.begin(), part.end(), defaultLess);
    if (to <= arr.size())
        std::move(part.begin(), part.end(), arr.items.begin() + from);
    return a[0];
}

Value fnAEval(Args a)
{
    Array& arr = arrayArg(a, 0, "AEVAL");
    const Value& block = argAt(a, 1);
    if (!block.isBlock())
        raiseArg("AEVAL", a);
    auto [from, to] = range(arr, a, 2, 3);
    for (std::size_t i = from; i < to && i < arr.size(); ++i)
        evalWith(block, Value(arr.items[i]), Value::integer(static_cast<std::int64_t>(i + 1)));
    return a[0];
}

Value fnAFill(Args a)
{
    Array& arr = arrayArg(a, 0, "AFILL");
    auto [from, to] = range(arr, a, 2, 3);
    for (std::size_t i = from; i < to; ++i)
        arr.items[i] = argAt(a, 1);
    return a[0];
}

Value fnATail(Args a)
{
    Array& arr = arrayArg(a, 0, "ATAIL");
    return arr.items.empty() ? Value() : arr.items.back();
}

Value fnAClone(Args a) { return argAt(a, 0).isArray() ? aClone(a[0]) : Value(); }

Value makeDims(Args a, std::size_t i)
{
    const std::int64_t n = sizeArg(a[i], "ARRAY", a);
    Value arr = Value::array(static_cast<std::size_t>(n));
    if (i + 1 < a.size())
        for (auto& e : arr.asArray().items)
            e = makeDims(a, i + 1);
    return arr;
}

Value fnArray(Args a)
{
    if (a.empty())
        return Value::array();
    std::int64_t total = 1;
    for (const auto& d : a) {
        total *= std::max<std::int64_t>(1, sizeArg(d, "ARRAY", a));
        if (total > kMaxArray)
            raise("Array too large", "ARRAY", {});
    }
    return makeDims(a, 0);
}
}  // namespace

const Value& entryOf(const Value& a, std::size_t pos) noexcept
{
    if (!a.isArray() || pos < 1 || pos > a.asArray().size())
        return nil();
    return a.asArray().items[pos - 1];
}

Value aClone(const Value& a)
{
    std::unordered_map<const HeapCell*, Value> seen;
    return cloneRec(a, seen);
}

void detail::registerArrayFunctions()
{
    registerFunction("AADD", fnAAdd);
    registerFunction("ASIZE", fnASize);
    registerFunction("AINS", fnAIns);
    registerFunction("ADEL", fnADel);
    registerFunction("ASCAN", fnAScan);
    registerFunction("ASORT", fnASort);
    registerFunction("AEVAL", fnAEval);
    registerFunction("AFILL", fnAFill);
    registerFunction("ATAIL", fnATail);
    registerFunction("ACLONE", fnAClone);
    registerFunction("ARRAY", fnArray);
}

}  // namespace rt
