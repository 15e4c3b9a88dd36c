// Reading speed of the table layer against two other readers.
//
//   bench_dbf_read [FILE] [--records N] [--keep DIR] [--engine-only] [--instructions]
//
// Without FILE it writes a table of N (default 1,000,000) client-like
// records of 10 fields into a temporary folder. It then times iterating the
// table and reading every field of every record and `pgdbf FILE > /dev/null`
// over the whole file (3 runs each, interleaved; medians), runs
// python3-dbfread over the first 100,000 records (scaled to rows/s), and
// prints rows/s and the ratios. `dxc-dbf dump FILE --format csv > /dev/null`
// is timed in the same rounds as pgdbf: the whole tool against the whole peer. Peak memory of a child that reads
// 100,000 records and of one that reads 1,000,000 shows that memory does not grow with the record count.
// --keep DIR writes the tables into DIR and leaves them there; --engine-only
// skips the other readers (for profiling). --instructions also counts, with
// valgrind's callgrind, the instructions the dump and pgdbf execute on the
// 100,000-record table (on FILE when given): a ratio that the load of a
// shared machine does not move, where wall-clock times drift. Last, the
// cost of detecting the code page of a table whose header names none (a
// copy of FILE with language driver 0): what opening it costs beyond
// opening FILE, against the time of the dump (at most 5%).
#include "platform/dbf/table.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"

#include <sys/resource.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

const std::vector<dbf::FieldSpec> kClientFields = {
    {"CODIGO", 'C', 8, 0},    {"NOMBRE", 'C', 40, 0},  {"DIRECCION", 'C', 40, 0}, {"CIUDAD", 'C', 25, 0},
    {"SALDO", 'N', 12, 2},    {"CREDITO", 'N', 10, 2}, {"ALTA", 'D', 8, 0},       {"ACTIVO", 'L', 1, 0},
    {"TELEFONO", 'C', 15, 0}, {"ZONA", 'N', 4, 0},
};

std::string fixed(std::string s, std::size_t n)
{
    s.resize(n, ' ');
    return s;
}

// Writes the records' bytes directly after a header made by the engine:
// building a million records through put() would time the writer, not the reader.
void makeTable(const std::string& path, std::uint32_t records)
{
    dbf::Table::create(path, kClientFields, dbf::Format::FoxPro, 850);
    std::string head;
    {
        std::ifstream in(path, std::ios::binary);
        head.assign(std::istreambuf_iterator<char>(in), {});
    }
    head.pop_back();  // the end mark goes after the records
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const char* names[] = {
        "Mu\xA4oz Garc\xA1"
        "a, Jos\x82",
        "P\x82rez L\xA2pez, Mar\xA1"
        "a",
        "Smith, John",
        "Ib\xA0\xA4"
        "ez, C\xA0"
        "ndido"};
    const char* cities[] = {"Bogot\xA0", "Medell\xA1n", "Cali",
                            "C\xA3"
                            "cuta"};
    std::string rec;
    std::vector<char> chunk;
    out.write(head.data(), std::streamsize(head.size()));
    for (std::uint32_t i = 1; i <= records; ++i) {
        char num[64];
        rec.assign(1, ' ');
        std::snprintf(num, sizeof num, "%08u", i);
        rec += num;
        rec += fixed(names[i % 4], 40);
        std::snprintf(num, sizeof num, "Calle %u # %u-%u", i % 200, i % 97, i % 53);
        rec += fixed(num, 40);
        rec += fixed(cities[i % 4], 25);
        std::snprintf(num, sizeof num, "%12.2f", (i % 100000) * 12.34 - 5000);
        rec += num;
        std::snprintf(num, sizeof num, "%10.2f", (i % 1000) * 100.5);
        rec += num;
        std::snprintf(num, sizeof num, "%04u%02u%02u", 1990 + i % 30, 1 + i % 12, 1 + i % 28);
        rec += num;
        rec += i % 3 ? 'T' : 'F';
        std::snprintf(num, sizeof num, "+57 %u", 3000000 + i);
        rec += fixed(num, 15);
        std::snprintf(num, sizeof num, "%4u", i % 50);
        rec += num;
        chunk.insert(chunk.end(), rec.begin(), rec.end());
        if (chunk.size() > (1 << 20)) {
            out.write(chunk.data(), std::streamsize(chunk.size()));
            chunk.clear();
        }
    }
    chunk.push_back('\x1A');
    out.write(chunk.data(), std::streamsize(chunk.size()));
    out.seekp(4);
    const char count[4] = {char(records), char(records >> 8), char(records >> 16), char(records >> 24)};
    out.write(count, 4);
}

// Reads every field of the first `limit` records; returns a checksum so
// that nothing is optimised away.
std::size_t readAll(const std::string& path, std::uint32_t limit)
{
    auto table = dbf::Table::open(path, true, false);
    const int fields = int(table->fields().size());
    const std::uint32_t n = std::min(limit, table->recordCount());
    std::size_t sum = 0;
    for (std::uint32_t r = 1; r <= n; ++r) {
        table->go(r);
        for (int f = 0; f < fields; ++f) {
            const rt::Value v = table->get(f);
            sum += v.isChar() ? v.asString().size() : v.isNum() ? std::size_t(v.asDouble()) & 1 : 1;
        }
    }
    return sum;
}

std::string quote(const std::string& s) { return "'" + s + "'"; }

// Peak resident memory (KB) of a fresh process of this program that reads
// `limit` records of the table and nothing else.
long childPeakKb(const std::string& self, const std::string& path, std::uint32_t limit)
{
    const std::string cmd = quote(self) + " --peak " + quote(path) + " " + std::to_string(limit);
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    long kb = -1;
    if (std::fscanf(p, "%ld", &kb) != 1)
        kb = -1;
    pclose(p);
    return kb;
}

// python3-dbfread over the first `limit` records: rows/s measured inside
// python, so its start-up does not count.
double dbfreadRowsPerSecond(const std::string& path, std::uint32_t limit)
{
    const std::string script =
        "import sys, time, dbfread\n"
        "n = int(sys.argv[2]); t = time.perf_counter(); i = 0\n"
        "for r in dbfread.DBF(sys.argv[1]):\n"
        "    for v in r.values(): pass\n"
        "    i += 1\n"
        "    if i >= n: break\n"
        "print(i / (time.perf_counter() - t))\n";
    const std::string cmd = "/usr/bin/python3 -c " + quote(script) + " " + quote(path) + " " + std::to_string(limit);
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return 0;
    double rate = 0;
    if (std::fscanf(p, "%lf", &rate) != 1)
        rate = 0;
    pclose(p);
    return rate;
}

double commandSeconds(const std::string& command)
{
    const auto start = Clock::now();
    const int rc = std::system((command + " > /dev/null 2>&1").c_str());
    return rc == 0 ? seconds(start) : -1;
}

// Instructions `command` executes (standard output discarded), counted by
// callgrind; 0 when valgrind is missing or the command fails.
unsigned long long instructions(const std::string& command)
{
    const std::string cmd = "valgrind --tool=callgrind --callgrind-out-file=/dev/null " + command + " 2>&1 >/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return 0;
    unsigned long long count = 0;
    char line[512];
    while (std::fgets(line, sizeof line, p))
        if (const char* at = std::strstr(line, "Collected :"))
            count = std::strtoull(at + std::strlen("Collected :"), nullptr, 10);
    return pclose(p) == 0 ? count : 0;
}

std::string dumpCommand(const std::string& path)
{
    return std::string(DXC_DBF_TOOL) + " dump " + quote(path) + " --format csv";
}

double pgdbfSeconds(const std::string& path) { return commandSeconds("pgdbf " + quote(path)); }

double dumpSeconds(const std::string& path) { return commandSeconds(dumpCommand(path)); }

}  // namespace

// Median seconds of opening `path` (and reading its first record), over 15 opens.
double openSeconds(const std::string& path, int& codePage)
{
    double times[15];
    for (double& t : times) {
        const auto start = Clock::now();
        const auto table = dbf::Table::open(path, true, false);
        table->go(1);
        codePage = table->codePage();
        t = seconds(start);
    }
    std::sort(std::begin(times), std::end(times));
    return times[7];
}

// What detecting the code page costs: the open of a copy of `file` whose
// header names no code page against the open of `file`, over `whole` (the
// time of reading the whole table).
void detectionCost(const std::string& file, double whole, const char* wholeName)
{
    const std::string undeclared = file + ".cp0.dbf";
    std::filesystem::copy_file(file, undeclared, std::filesystem::copy_options::overwrite_existing);
    {
        std::fstream f(undeclared, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(29);
        f.put('\0');
    }
    int named = 0, found = 0;
    const double plain = openSeconds(file, named);
    const double detected = openSeconds(undeclared, found);
    std::filesystem::remove(undeclared);
    const double cost = std::max(0.0, detected - plain);
    std::printf("detection: %.2f ms a table (open %.2f ms, %.2f ms with the header's page; read as %d), "
                "%.3f%% of the %s\n",
                cost * 1000, detected * 1000, plain * 1000, found, whole > 0 ? 100 * cost / whole : 0.0, wholeName);
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) {
        readAll(argv[2], std::uint32_t(std::strtoul(argv[3], nullptr, 10)));
        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        std::printf("%ld\n", ru.ru_maxrss);
        return 0;
    }
    std::string file, keep;
    std::uint32_t records = 1000000;
    bool engineOnly = false, counted = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc)
            records = std::uint32_t(std::strtoul(argv[++i], nullptr, 10));
        else if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc)
            keep = argv[++i];
        else if (std::strcmp(argv[i], "--engine-only") == 0)
            engineOnly = true;
        else if (std::strcmp(argv[i], "--instructions") == 0)
            counted = true;
        else
            file = argv[i];
    }
    try {
        std::filesystem::path tempDir;
        std::string small;
        if (file.empty()) {
            std::filesystem::path dir = keep;
            if (keep.empty()) {
                std::string templ = (std::filesystem::temp_directory_path() / "bench_dbf_XXXXXX").string();
                if (!mkdtemp(templ.data()))
                    return 1;
                tempDir = dir = templ;
            }
            file = (dir / "clients.dbf").string();
            small = (dir / "clients100k.dbf").string();
            const auto start = Clock::now();
            makeTable(file, records);
            makeTable(small, std::min<std::uint32_t>(records, 100000));
            std::printf("wrote %u records in %.2f s: %s\n", records, seconds(start), file.c_str());
        }
        const auto table = dbf::Table::open(file, true, false);
        const std::uint32_t count = table->recordCount();
        std::printf("table: %u records, %zu fields, record length %zu bytes\n", count, table->fields().size(),
                    table->rawRecord().size());

        // Interleaved, so that drift in the machine's load hits both alike.
        std::size_t check = 0;
        double oursTimes[3], pgTimes[3], dumpTimes[3];
        for (int round = 0; round < 3; ++round) {
            const auto start = Clock::now();
            check += readAll(file, count);
            oursTimes[round] = seconds(start);
            pgTimes[round] = engineOnly ? 0 : pgdbfSeconds(file);
            dumpTimes[round] = engineOnly ? 0 : dumpSeconds(file);
        }
        std::sort(oursTimes, oursTimes + 3);
        std::sort(pgTimes, pgTimes + 3);
        std::sort(dumpTimes, dumpTimes + 3);
        const double ours = oursTimes[1], pg = pgTimes[1], dump = dumpTimes[1];
        const double oursRate = count / ours;
        std::printf("engine:   %.3f s  %10.0f rows/s  (median of 3, every field read; checksum %zu)\n", ours, oursRate,
                    check);
        if (engineOnly) {
            detectionCost(file, ours, "engine's read");
            return 0;
        }
        detectionCost(file, dump > 0 ? dump : ours, dump > 0 ? "dump csv" : "engine's read");

        const double pgRate = pg > 0 ? count / pg : 0;
        if (pg > 0)
            std::printf("pgdbf:    %.3f s  %10.0f rows/s  (pgdbf FILE > /dev/null, whole process, median of 3)\n", pg,
                        pgRate);
        else
            std::printf("pgdbf:    failed or not installed\n");
        if (dump > 0)
            std::printf("dump csv: %.3f s  %10.0f rows/s  (dxc-dbf dump FILE --format csv > /dev/null, median of 3)\n",
                        dump, count / dump);
        if (dump > 0 && pg > 0)
            std::printf("dump csv / pgdbf = %.2fx (time of pgdbf over time of the dump; 1 or more: not slower)\n",
                        pg / dump);

        const std::uint32_t pyRecords = std::min<std::uint32_t>(count, 100000);
        const double pyRate = dbfreadRowsPerSecond(file, pyRecords);
        std::printf("dbfread:  %10.0f rows/s  (first %u records, scaled)\n", pyRate, pyRecords);

        if (pyRate > 0)
            std::printf("engine / dbfread = %.1fx\n", oursRate / pyRate);
        if (pgRate > 0)
            std::printf("engine / pgdbf   = %.2fx\n", oursRate / pgRate);

        if (counted) {
            const std::string& counts = small.empty() ? file : small;
            const unsigned long long dumpCount = instructions(dumpCommand(counts));
            const unsigned long long pgCount = instructions("pgdbf " + quote(counts));
            std::printf("instructions (callgrind, %s): dump csv %llu, pgdbf %llu", counts.c_str(), dumpCount, pgCount);
            if (dumpCount > 0 && pgCount > 0)
                std::printf(", pgdbf / dump csv = %.2fx", double(pgCount) / double(dumpCount));
            std::printf("\n");
        }
        if (!small.empty()) {
            const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
            std::printf("peak RSS of a process reading a 100,000-record table: %ld KB\n",
                        childPeakKb(self, small, 100000));
            std::printf("peak RSS of a process reading a %u-record table: %ld KB\n", count,
                        childPeakKb(self, file, count));
        }
        if (!tempDir.empty())
            std::filesystem::remove_all(tempDir);
    } catch (const rt::Error& e) {
        std::fprintf(stderr, "bench_dbf_read: %s\n", e.message().c_str());
        return 1;
    }
    return 0;
}
