// Building an order over 1,000,000 records: keys read straight from the
// record (simple) against the same keys through the expression compiler.
//
// Prints seconds per build (best of 3) for each key and both paths. The
// table (client-shaped: NAME C30, CITY C20, AMOUNT N12.2, BORN D) is
// written once into the temporary folder and kept for later runs.
#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"

#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr std::uint32_t kRecords = 1'000'000;
constexpr int kRuns = 3;

std::string padded(std::string s, std::size_t n)
{
    s.resize(n, ' ');
    return s;
}

// Records are written as raw bytes after an empty table's header; the
// count at header offset 4 is patched last.
void writeTable(const std::string& path)
{
    dbf::Table::create(path, {{"NAME", 'C', 30, 0}, {"CITY", 'C', 20, 0}, {"AMOUNT", 'N', 12, 2}, {"BORN", 'D', 8, 0}});
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char head[12];
    f.read(reinterpret_cast<char*>(head), sizeof head);
    const unsigned headerLen = head[8] | (head[9] << 8);
    f.seekp(headerLen);
    static const char* const names[] = {"garcia lopez", "Smith & Sons", "MULLER GMBH", "o'neil", "zoe cafe", "Baker"};
    static const char* const cities[] = {"Lima", "Madrid", "Quito", "Bogota", "Caracas"};
    std::string buf;
    for (std::uint32_t i = 0; i < kRecords; ++i) {
        const std::uint32_t h = i * 2654435761u;
        char amount[16];
        std::snprintf(amount, sizeof amount, "%12.2f", static_cast<double>(h % 10000000) / 100.0);
        char born[16];
        std::snprintf(born, sizeof born, "%04u%02u%02u", 1940 + h % 80, 1 + (h >> 8) % 12, 1 + (h >> 12) % 28);
        buf += ' ';
        buf += padded(std::string(names[h % 6]) + " " + std::to_string(h % 100000), 30);
        buf += padded(cities[(h >> 4) % 5], 20);
        buf += amount;
        buf += born;
        if (buf.size() > (1 << 20)) {
            f.write(buf.data(), static_cast<std::streamsize>(buf.size()));
            buf.clear();
        }
    }
    buf += '\x1A';
    f.write(buf.data(), static_cast<std::streamsize>(buf.size()));
    const unsigned char count[4] = {kRecords & 0xFF, (kRecords >> 8) & 0xFF, (kRecords >> 16) & 0xFF, kRecords >> 24};
    f.seekp(4);
    f.write(reinterpret_cast<const char*>(count), 4);
}

double secondsToBuild(const std::string& key, bool compiled)
{
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        dbf::WorkArea& area = *dbf::currentArea();
        const auto start = std::chrono::steady_clock::now();
        area.createOrder({"BENCH", key, ""}, compiled);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main()
{
    dbf::registerDbfFunctions();
    const std::string path = (std::filesystem::temp_directory_path() / "dxc_bench_order.dbf").string();
    try {
        bool fresh = true;
        if (std::filesystem::exists(path)) {
            auto t = dbf::Table::open(path, true, true);
            fresh = t->recordCount() != kRecords;
        }
        if (fresh)
            writeTable(path);
        dbf::useArea(true, "FOXCDX", path, "BENCH", true, true);
        std::printf("%u records; seconds per order build, best of %d\n", kRecords, kRuns);
        std::printf("%-22s %10s %10s\n", "key", "simple", "compiled");
        for (const char* key : {"NAME", "UPPER(NAME)", "CITY+NAME", "STR(AMOUNT,12,2)", "DTOS(BORN)", "AMOUNT"}) {
            const double simple = secondsToBuild(key, false);
            const double compiled = secondsToBuild(key, true);
            std::printf("%-22s %10.3f %10.3f\n", key, simple, compiled);
        }
        std::printf("%-22s %10s %10.3f\n", "Left(NAME,5)+CITY", "-", secondsToBuild("Left(NAME,5)+CITY", true));
    } catch (const rt::Error& e) {
        std::fprintf(stderr, "bench_order: %s\n", e.message().c_str());
        return 1;
    }
    return 0;
}
