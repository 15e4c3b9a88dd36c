// dxc-dbf sample: the client tables DXCAM01.DBF and DXCAM01E.DBF filled
// with made-up Spanish clients, for import tests and benchmarks.
//
// Client n gets code n zero-padded to six digits and is drawn from a
// generator seeded with the fixed seed and n alone, so the first 250
// clients are the same whatever the count, on every machine and run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sample {

inline constexpr int kDefaultClients = 250;
inline constexpr int kMaxClients = 999999;  // six-digit codes

struct Options {
    std::string dir;
    int clients = kDefaultClients;
    bool force = false;  // replace existing tables
};

// Reads the words after "sample"; on a wrong command line gives nothing
// and says why in `error`.
[[nodiscard]] std::optional<Options> parseOptions(const std::vector<std::string>& words, std::string& error);

struct Written {
    std::string path;
    std::uint32_t records = 0;
    std::size_t fields = 0;
};

// Creates the folder if needed and writes both tables (FoxPro without memo,
// which is also a dBASE III table, code page 850). Each table is filled
// under a temporary name and renamed into place when complete. Existing
// tables of the same names, in any letter case, are refused unless
// options.force. Raises a runtime error on any failure.
std::vector<Written> writeSample(const Options& options);

}  // namespace sample
