// Shared by the work-area tests: a scratch folder, a table of people opened
// as alias PEOPLE, and short ways to evaluate text.
#pragma once

#include "platform/dbf/dbf.h"
#include "platform/dbf/table.h"

#include "platform/runtime/array.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace wa {

using rt::Value;

// A folder of this test process's own (ctest runs cases side by side),
// removed when the process ends.
struct ScratchDir {
    ScratchDir()
    {
        const char* base = std::getenv("DXC_TEST_TMP");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/workarea_XXXXXX";
        if (mkdtemp(templ.data()))
            path = templ;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

inline const std::string& scratch()
{
    static const ScratchDir dir;
    return dir.path;
}

inline Value ev(const std::string& text) { return rt::evalText(text); }
inline long long num(const std::string& text) { return ev(text).asInt(); }
inline bool yes(const std::string& text) { return ev(text).asBool(); }
inline std::string str(const std::string& text) { return ev(text).str(); }

// Record numbers met walking with `step` from the current record until `stop` holds.
inline std::vector<long long> walk(const std::string& step = "DbSkip()", const std::string& stop = "Eof()")
{
    std::vector<long long> seen;
    while (!yes(stop) && seen.size() < 100) {
        seen.push_back(num("RecNo()"));
        ev(step);
    }
    return seen;
}

using Recs = std::vector<long long>;

struct Person {
    const char* name;
    int age;
    const char* born;  // yyyymmdd or ""
    bool ok;
};

// NAME C10, AGE N4, BORN D, OK L, AMT N8.2, NOTES M
inline const std::vector<Person> kPeople = {
    {"smith", 40, "19840102", true},  {"Adams", -5, "20010203", false}, {"SMALL", 40, "", true},
    {"Baker", 12, "19990101", false}, {"asmith", 7, "19840102", true},  {"Zoë", 40, "20200202", false},
};

class WorkAreaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dbf::registerDbfFunctions(); }
    void TearDown() override
    {
        dbf::closeAllAreas();
        dbf::setDeletedHidden(false);
    }

    static std::string path(const std::string& name) { return scratch() + "/" + name; }

    // A table of kPeople opened as alias PEOPLE.
    static void openPeople(const std::string& file = "people.dbf")
    {
        const std::string p = path(file);
        dbf::Table::create(p, {{"NAME", 'C', 10, 0},
                               {"AGE", 'N', 4, 0},
                               {"BORN", 'D', 8, 0},
                               {"OK", 'L', 1, 0},
                               {"AMT", 'N', 8, 2},
                               {"NOTES", 'M', 10, 0}});
        auto t = dbf::Table::open(p, false, false);
        for (const Person& person : kPeople) {
            t->appendBlank();
            t->put(0, Value(person.name));
            t->put(1, Value(person.age));
            t->put(2, Value(rt::stod(person.born)));
            t->put(3, Value(person.ok));
            t->put(4, Value::number(person.age * 1.25, 2));
            t->put(5, Value(std::string("note of ") + person.name));
        }
        t->flush();
        t.reset();
        ev("DbUseArea(.T., \"FOXCDX\", \"" + p + "\", \"PEOPLE\")");
    }
};

}  // namespace wa
