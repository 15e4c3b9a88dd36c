// Fuzzes the table layer with arbitrary table, memo and index files.
//
// Input: one byte of options (bits 0-1: memo file .fpt, .dbt or none; bit 2:
// a structural .cdx beside the table; bit 3: open for writing; bit 4: read
// in the double-byte code page 936 whatever the header says; bit 5: a .cpg
// beside the table holding the memo file's first bytes; bit 6: NUL bytes in
// text told), the table's
// length and the memo file's length (4 bytes each, little-endian, cut to
// what is there), then the table's bytes, the memo file's bytes and the
// index file's bytes. The files are written into a scratch folder; the table
// is opened (a header naming no code page has it detected from the text) and
// every field of every record is read (value, emptiness, exact number text,
// faults told to a handler), forwards, then a few records backwards.
// Opened for writing, the first record is written back with the values it
// holds. Only runtime errors may come out.
#include "platform/dbf/table.h"
#include "platform/runtime/error.h"

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string g_dir;

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

std::uint32_t le32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

void readEverything(dbf::Table& t)
{
    // Enough records to cross read-ahead windows, few enough to stay fast.
    const std::uint32_t last = std::min<std::uint32_t>(t.recordCount(), 3000);
    const int fields = int(t.fields().size());
    for (std::uint32_t r = 1; r <= last + 1; ++r) {
        t.go(r);
        (void)t.deleted();
        (void)t.rawRecord();
        for (int f = 0; f < fields; ++f) {
            try {
                (void)t.isEmpty(f);
                const rt::Value v = t.get(f);
                (void)t.numberText(f, v);
            } catch (const rt::Error&) {
            }
        }
    }
    for (std::uint32_t r = last; r > 0 && r + 5 > last; --r) {
        t.go(r);
        if (fields > 0) {
            try {
                (void)t.get(fields - 1);
            } catch (const rt::Error&) {
            }
        }
    }
}

void writeBack(dbf::Table& t)
{
    if (t.recordCount() == 0)
        return;
    t.go(1);
    for (int f = 0; f < int(t.fields().size()); ++f) {
        try {
            t.put(f, t.get(f));
        } catch (const rt::Error&) {
        }
    }
    t.appendBlank();
    t.flush();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char templ[] = "/tmp/fuzz_dbf_XXXXXX";
    if (!mkdtemp(templ))
        std::abort();
    g_dir = templ;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 9)
        return 0;
    const std::uint8_t options = data[0];
    std::size_t dbfLen = le32(data + 1), memoLen = le32(data + 5);
    data += 9;
    size -= 9;
    dbfLen = std::min(dbfLen, size);
    memoLen = std::min(memoLen, size - dbfLen);
    const std::size_t cdxLen = size - dbfLen - memoLen;

    const std::string base = g_dir + "/t";
    for (const char* ext : {".dbf", ".fpt", ".dbt", ".cdx", ".cpg"})
        ::unlink((base + ext).c_str());
    writeFile(base + ".dbf", data, dbfLen);
    if ((options & 3) == 0)
        writeFile(base + ".fpt", data + dbfLen, memoLen);
    else if ((options & 3) == 1)
        writeFile(base + ".dbt", data + dbfLen, memoLen);
    if (options & 4)
        writeFile(base + ".cdx", data + dbfLen + memoLen, cdxLen);
    if (options & 32)
        writeFile(base + ".cpg", data + dbfLen, std::min<std::size_t>(memoLen, 16));

    try {
        dbf::overrideCodePage(options & 16 ? 936 : 0);
        auto table = dbf::Table::open(base + ".dbf", !(options & 8), false);
        std::size_t told = 0;
        table->setFaultHandler([&](const dbf::ValueFault& f) { told += f.bytes.size() + f.why.size(); });
        table->setNulFaults(options & 64);
        readEverything(*table);
        if (options & 8)
            writeBack(*table);
    } catch (const rt::Error&) {
    }
    return 0;
}
