// Compiled blocks against hand-written C++ over the same rows, and the heap
// traffic of passing plain values through a block.
//
// Prints ns/row for {|r| Upper(r[2]) + Str(r[3], 10, 2)} and for a C++
// lambda doing the same work (medians of 5 interleaved runs), their ratio,
// and the heap allocations per value passed through {|x| x}.
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {
std::size_t allocations = 0;
}

void* operator new(std::size_t n)
{
    ++allocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr std::size_t kRows = 1'000'000;
constexpr int kRuns = 5;

rt::Value makeRows()
{
    static const char* const names[] = {"García López", "smith & sons", "Müller GmbH", "o'neil", "zoë café"};
    rt::Value rows = rt::Value::array(kRows);
    auto& items = rows.asArray().items;
    for (std::size_t i = 0; i < kRows; ++i) {
        const std::string name = std::string(names[i % 5]) + " " + std::to_string(i);
        const double amount = static_cast<double>(i % 100000) * 1.25 + 0.5;
        items[i] = rt::makeArray({rt::Value::integer(static_cast<std::int64_t>(i + 1)), rt::Value(name),
                                  rt::Value::number(amount, 2)});
    }
    return rows;
}

template <class F>
double nsPerRow(const rt::Value& rows, F&& perRow, std::size_t& checksum)
{
    const auto start = std::chrono::steady_clock::now();
    for (const rt::Value& r : rows.asArray().items)
        checksum += perRow(r).charLen();
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(stop - start).count() / static_cast<double>(kRows);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void compareWithCpp(const rt::Value& rows)
{
    const rt::Value block = rt::compile("{|r| Upper(r[2]) + Str(r[3], 10, 2)}");
    const auto viaBlock = [&](const rt::Value& r) { return block.asBlock().call(rt::Args(&r, 1)); };
    const auto viaCpp = [](const rt::Value& r) {
        const rt::Array& a = r.asArray();
        std::string s = rt::upper(a.at1(2).asString());
        s += rt::str(a.at1(3), 10, 2);
        return rt::Value(s);
    };
    if (viaBlock(rows.asArray().items[1]).asString() != viaCpp(rows.asArray().items[1]).asString())
        std::printf("warning: block and C++ disagree: [%s] [%s]\n",
                    viaBlock(rows.asArray().items[1]).str().c_str(), viaCpp(rows.asArray().items[1]).str().c_str());

    std::vector<double> blockTimes, cppTimes;
    std::size_t checksum = 0;
    for (int run = 0; run < kRuns; ++run) {
        blockTimes.push_back(nsPerRow(rows, viaBlock, checksum));
        cppTimes.push_back(nsPerRow(rows, viaCpp, checksum));
    }
    const double b = median(blockTimes), c = median(cppTimes);
    std::printf("rows: %zu, medians of %d interleaved runs (checksum %zu)\n", kRows, kRuns, checksum);
    std::printf("block {|r| Upper(r[2]) + Str(r[3], 10, 2)}: %8.1f ns/row\n", b);
    std::printf("hand-written C++:                          %8.1f ns/row\n", c);
    std::printf("ratio block / C++: %.2f (goal <= 10)\n", b / c);
}

void countAllocations()
{
    const rt::Value identity = rt::compile("{|x| x}");
    rt::Block& block = identity.asBlock();
    struct Kind {
        const char* name;
        rt::Value (*make)(std::size_t i);
    };
    const Kind kinds[] = {
        {"N (whole)", [](std::size_t i) { return rt::Value::integer(static_cast<std::int64_t>(i)); }},
        {"N (2 decimals)", [](std::size_t i) { return rt::Value::number(static_cast<double>(i) / 4, 2); }},
        {"L", [](std::size_t i) { return rt::Value(i % 2 == 0); }},
        {"D", [](std::size_t i) { return rt::Value(rt::Date{static_cast<std::int32_t>(2451545 + i % 10000)}); }},
        {"U (NIL)", [](std::size_t) { return rt::Value(); }},
    };
    for (const Kind& k : kinds) {
        std::size_t kept = 0;
        const std::size_t before = allocations;
        for (std::size_t i = 0; i < kRows; ++i) {
            const rt::Value v = k.make(i);
            const rt::Value copy = v;
            const rt::Value out = block.call(rt::Args(&copy, 1));
            kept += out.isNil() ? 0 : 1;
        }
        const std::size_t n = allocations - before;
        std::printf("heap allocations passing %zu %-15s values through {|x| x}: %zu (%.3f per value; %zu non-NIL)\n",
                    kRows, k.name, n, static_cast<double>(n) / kRows, kept);
    }
}

}  // namespace

int main()
{
    rt::setCentury(1);
    rt::setDateFormat("dd-mm-yyyy");
    const rt::Value rows = makeRows();
    compareWithCpp(rows);
    countAllocations();
    return 0;
}
