// Building an order over 1,000,000 records: keys read straight from the
// record (simple) against the same keys through the expression compiler.
//
// Prints seconds per build (best of 3) for each key and both paths. The
// table (client-shaped: NAME C30, CITY C20, AMOUNT N12.2, BORN D) is
// written once into the temporary folder and kept for later runs.
#include "client_table.h"

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
            bench::writeClientTable(path, kRecords);
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
