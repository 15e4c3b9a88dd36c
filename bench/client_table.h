// The client-shaped table the benchmarks share: NAME C30, CITY C20,
// AMOUNT N12.2, BORN D, every record the same in every run.
#pragma once

#include "platform/dbf/table.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

namespace bench {

// Writes `records` records as raw bytes after an empty table's header; the
// count at header offset 4 is patched last.
inline void writeClientTable(const std::string& path, std::uint32_t records)
{
    dbf::Table::create(path, {{"NAME", 'C', 30, 0}, {"CITY", 'C', 20, 0}, {"AMOUNT", 'N', 12, 2}, {"BORN", 'D', 8, 0}});
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char head[12];
    f.read(reinterpret_cast<char*>(head), sizeof head);
    f.seekp(head[8] | (head[9] << 8));
    static const char* const names[] = {"garcia lopez", "Smith & Sons", "MULLER GMBH", "o'neil", "zoe cafe", "Baker"};
    static const char* const cities[] = {"Lima", "Madrid", "Quito", "Bogota", "Caracas"};
    auto padded = [](std::string s, std::size_t n) {
        s.resize(n, ' ');
        return s;
    };
    std::string buf;
    for (std::uint32_t i = 0; i < records; ++i) {
        const std::uint32_t h = i * 2654435761u;
        char amount[16], born[16];
        std::snprintf(amount, sizeof amount, "%12.2f", static_cast<double>(h % 10000000) / 100.0);
        std::snprintf(born, sizeof born, "%04u%02u%02u", 1940 + h % 80, 1 + (h >> 8) % 12, 1 + (h >> 12) % 28);
        buf += ' ' + padded(std::string(names[h % 6]) + " " + std::to_string(h % 100000), 30) +
               padded(cities[(h >> 4) % 5], 20) + amount + born;
        if (buf.size() > (1 << 20)) {
            f.write(buf.data(), static_cast<std::streamsize>(buf.size()));
            buf.clear();
        }
    }
    buf += '\x1A';
    f.write(buf.data(), static_cast<std::streamsize>(buf.size()));
    const unsigned char count[4] = {static_cast<unsigned char>(records & 0xFF), static_cast<unsigned char>((records >> 8) & 0xFF),
                                    static_cast<unsigned char>((records >> 16) & 0xFF), static_cast<unsigned char>(records >> 24)};
    f.seekp(4);
    f.write(reinterpret_cast<const char*>(count), 4);
}

}  // namespace bench
