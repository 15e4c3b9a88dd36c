// Tables whose field names are code, quotes or blanks, written byte by byte
// as a dBASE III (Windows ANSI) or a dBASE 7 writer would: fields C(len)
// unless given other types, the records given as their fields' bytes (a
// deleted one with its "*" flag in front).
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace hostile {

// dBASE III: names of up to 10 bytes. dBASE 7: names of up to 31 bytes.
inline const std::vector<std::string> kLevel3Names = {"DBAPPEND()", "A'B", "   ", "NAME ", "RECNO "};
inline const std::string kLevel7Name = R"(DBCREATE("V",{{"A","C",1,0}}))";

inline void put16(std::string& s, std::size_t at, unsigned v)
{
    s[at] = char(v & 0xFF);
    s[at + 1] = char(v >> 8 & 0xFF);
}

inline void put32(std::string& s, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + std::size_t(i)] = char(v >> (8 * i) & 0xFF);
}

// A field's length: fixed for D, L, I and B fields, `len` for the others.
inline unsigned fieldLength(char type, unsigned len)
{
    return type == 'D' || type == 'B' ? 8 : type == 'L' ? 1 : type == 'I' ? 4 : len;
}

// types: one letter per field, "C" for those it does not reach.
inline std::string tableBytes(const std::vector<std::string>& names, const std::vector<std::string>& records,
                              bool level7, unsigned len = 4, const std::string& types = {})
{
    unsigned recLen = 1;
    for (std::size_t i = 0; i < names.size(); ++i)
        recLen += fieldLength(i < types.size() ? types[i] : 'C', len);
    const std::size_t head = level7 ? 68 : 32, desc = level7 ? 48 : 32;
    std::string h(head, '\0');
    h[0] = char(level7 ? 0x04 : 0x03);
    h[1] = 124, h[2] = 12, h[3] = 7;
    put32(h, 4, std::uint32_t(records.size()));
    put16(h, 8, unsigned(head + desc * names.size() + 1));
    put16(h, 10, recLen);
    if (level7)
        h.replace(32, 8, "DBWINUS0");
    else
        h[29] = 0x03;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const char type = i < types.size() ? types[i] : 'C';
        std::string d(desc, '\0');
        d.replace(0, names[i].size(), names[i]);
        d[level7 ? 32 : 11] = type;
        d[level7 ? 33 : 16] = char(fieldLength(type, len));
        h += d;
    }
    h += '\x0d';
    for (const std::string& r : records)  // "*..." : a deleted record, its flag given
        h += r.size() == recLen && r[0] == '*' ? r : ' ' + r;
    return h + '\x1a';
}

inline void write(const std::string& path, const std::vector<std::string>& names,
                  const std::vector<std::string>& records, bool level7, unsigned len = 4)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << tableBytes(names, records, level7, len);
}

}  // namespace hostile
