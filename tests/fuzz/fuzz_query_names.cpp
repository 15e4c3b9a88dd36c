// Fuzzes what a table's field names and values reach in the browse library:
// the query panel's set-up, a search and its clearing, and a sort order on
// each text field in the user's collation, as dxc-browse builds them.
//
// Input: one byte of options (bit 0: a dBASE 7 table, 31-byte names, else
// dBASE III, 10-byte names; bits 1-3: the number of fields, 1 to 8), then
// per field its name bytes up to a 0 byte, then the bytes of the one
// record's values (4 per field, C(4) fields), and the search entry's text.
// The table is written into a scratch folder, opened for writing and the
// panel built over every field, by position and by the name the table
// reports. A name is never code: the table and the folder must be as they
// were afterwards (a name run as DBAPPEND() or DBCREATE(...) changes them).
// Only runtime errors may come out.
#include "query_panel.h"

#include "common/hostile_tables.h"

#include "platform/dbf/workarea.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    char templ[] = "/tmp/fuzz_query_XXXXXX";
    fuzzpanel::start(argc, argv, templ);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const bool level7 = data[0] & 1;
    const std::size_t count = 1 + (data[0] >> 1 & 7), maxName = level7 ? 31 : 10;
    std::size_t at = 1;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) {
        std::string n;
        while (at < size && data[at] != 0)
            n += char(data[at++]);
        ++at;
        names.push_back(n.substr(0, maxName));
    }
    std::string record(4 * count, ' ');
    for (std::size_t i = 0; i < record.size() && at < size; ++i)
        record[i] = char(data[at++]);
    const std::string entry = at < size ? std::string(reinterpret_cast<const char*>(data + at), size - at) : "";

    fuzzpanel::checkUntouched(hostile::tableBytes(names, {record}, level7),
                              [&] { rt::guarded([&] { fuzzpanel::buildAndSearch(entry); }); });
    return 0;
}
