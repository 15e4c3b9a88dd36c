// Object data sources: each kind's blocks call its own methods, as a
// recording cursor of each class sees them.
#include "tst_navigation_fixture.h"

#include "platform/runtime/object.h"

#include <algorithm>
#include <memory>

using namespace navtest;

namespace {

// Rows 1..rows; rows + 1 is the phantom. Every call is logged by name
// (names are case-insensitive: DbSkipper is dbSkipper).
struct Cursor {
    long long rows = 10, rec = 1, overSkip = 1;
    bool eof = false, bof = false;
    std::vector<std::string> log;
};

Value makeCursor(const std::string& className, const std::shared_ptr<Cursor>& c)
{
    using Fn = Value (*)(Cursor&, long long);
    const std::pair<const char*, Fn> methods[] = {
        {"Skipper", nullptr}, {"dbSkipper", nullptr}, {"SQLViewSkip", nullptr},
        {"goTop", [](Cursor& k, long long) { return Value(k.rec = 1); }},
        {"DbGoTop", [](Cursor& k, long long) { return Value(k.rec = 1); }},
        {"goBottom", [](Cursor& k, long long) { return Value(k.rec = k.rows); }},
        {"DbGoBottom", [](Cursor& k, long long) { return Value(k.rec = k.rows); }},
        {"RecNo", [](Cursor& k, long long) { return Value(k.rec); }},
        {"getNum", [](Cursor& k, long long) { return Value(k.rec); }},
        {"RecCount", [](Cursor& k, long long) { return Value(k.rows); }},
        {"LastRec", [](Cursor& k, long long) { return Value(k.rows); }},
        {"DbPosition", [](Cursor& k, long long) { return Value(k.rec * 100 / k.rows); }},
        {"Position", [](Cursor& k, long long) { return Value(k.rec * 100 / k.rows); }},
        {"DbGoPosition", [](Cursor&, long long) { return Value(); }},
        {"GoPosition", [](Cursor&, long long) { return Value(); }},
        {"Eof", [](Cursor& k, long long) { return Value(k.eof); }},
        {"Bof", [](Cursor& k, long long) { return Value(k.bof); }},
        {"Skip", [](Cursor& k, long long n) {
             k.rec += n;
             k.eof = k.rec > k.rows;
             k.bof = k.rec < 1;
             k.rec = std::clamp(k.rec, 1LL, k.rows + 1);
             return Value();
         }},
    };
    rt::DynClass cls(className);
    for (auto [name, fn] : methods)
        cls.addMethod(name, rt::makeBlock([c, name = std::string(name), fn](rt::Args a) {
            const Value& arg = rt::argAt(a, 1);  // argument 0 is the object
            c->log.push_back(name + (arg.isNum() ? " " + std::to_string(arg.asDouble()).substr(0, 4) : ""));
            if (fn)
                return fn(*c, arg.isNum() ? arg.asInt() : 0);
            const long long to = std::clamp(c->rec + arg.asInt(), 1LL, c->rows);
            const long long did = to - c->rec;
            c->rec = to;
            return Value(did * c->overSkip);
        }));
    rt::DynClass area("DataArea");
    area.addMethod("goTo", rt::makeBlock([c](rt::Args a) { return Value(c->rec = rt::argAt(a, 1).asInt()); }));
    cls.addVar("dataarea", area.instantiate());
    return cls.instantiate();
}

class ObjectNav : public NavTest {
protected:
    void source(const std::string& className, int kind, long long rows = 10)
    {
        cursor = std::make_shared<Cursor>();
        cursor->rows = rows;
        install(makeCursor(className, cursor), kind);
    }
    std::string lastCall() const { return cursor->log.empty() ? "" : cursor->log.back(); }
    std::shared_ptr<Cursor> cursor;
};

TEST_F(ObjectNav, EachKindCallsItsOwnMethods)
{
    struct Case {
        const char* className;
        int kind;
        const char* skip;
        const char* top;
        const char* bottom;
        const char* pos;
        const char* phyPos;
        long long first, last;
    } cases[] = {
        {"SQLStatement", 3, "Skipper 3.00", "goTop", "goBottom", "RecNo", "RecNo", 1, 10},
        {"SQLDataSet", 3, "Skipper 3.00", "goTop", "goBottom", "RecNo", "RecNo", 1, 10},
        {"SQLRecordSet", 3, "Skipper 3.00", "goTop", "goBottom", "RecNo", "RecNo", 1, 10},
        {"Customers", 4, "dbSkipper 3.00", "DbGoTop", "DbGoBottom", "DbPosition", "RecNo", 1, 100},
        {"SpSql", 7, "SQLViewSkip 3.00", "goTop", "goBottom", "getNum", "getNum", 1, 10},
        {"MyResult", 8, "dbSkipper 3.00", "goTop", "goBottom", "RecNo", "RecNo", 1, 10},
        {"dsACEServer", 5, "Eof", "goTop", "goBottom", "Position", "RecNo", 0, 1000},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.className);
        source(k.className, k.kind);
        EXPECT_EQ(skip(3), 3);
        EXPECT_EQ(cursor->rec, 4);
        EXPECT_EQ(lastCall(), k.skip);
        top();
        EXPECT_EQ(lastCall(), k.top);
        bottom();
        EXPECT_EQ(lastCall(), k.bottom);
        pos();
        EXPECT_EQ(lastCall(), k.pos);
        EXPECT_EQ(phy(), 10);
        EXPECT_EQ(lastCall(), k.phyPos);
        EXPECT_EQ(first(), k.first);
        EXPECT_EQ(last(), k.last);
        // More rows reported than wanted, or the wrong way, never reach the grid.
        cursor->overSkip = 3;
        top();
        EXPECT_EQ(skip(2), 2);
        cursor->overSkip = -1;
        EXPECT_EQ(skip(2), k.kind == 5 ? 2 : 0);
    }
    source("Customers", 4);
    goPos(40);
    EXPECT_EQ(lastCall(), "DbGoPosition 40.0");
    source("SpSql", 7);
    goPos(7);
    EXPECT_EQ(cursor->rec, 7);
    source("dsACEServer", 5);
    goPos(500);
    EXPECT_EQ(lastCall(), "GoPosition 50.0");
    EXPECT_EQ(pos(), 100);  // Position() 10 at row 1
}

TEST_F(ObjectNav, QueryResultBlocksTakeTheSourceFromTheBrowse)
{
    source("MyResult", 8);
    const auto before = cursor;
    cursor = std::make_shared<Cursor>();
    b->dataSource = makeCursor("MyResult", cursor);
    skip(2);
    top();
    phy();
    EXPECT_TRUE(before->log.empty());
    EXPECT_EQ(cursor->log, (std::vector<std::string>{"dbSkipper 2.00", "goTop", "RecNo"}));
}

TEST_F(ObjectNav, ServerDataSetSkipper)
{
    struct Case {
        const char* name;
        long long rows, from, want, did, to;
    } cases[] = {
        {"past the end stops on the last", 10, 8, 20, 2, 10},
        {"past the top stops on the first", 10, 3, -5, -2, 1},
        {"the phantom does not move forward", 10, 11, 1, 0, 11},
        {"but back", 10, 11, -2, -2, 9},
        {"nothing wanted reads the row again", 10, 5, 0, 0, 5},
        {"empty", 0, 1, 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        source("dsACEServer", 5, c.rows);
        cursor->rec = c.from;
        EXPECT_EQ(rt::callWith("ACEDbSkipper", c.want, b->dataSource).asInt(), c.did);
        EXPECT_EQ(cursor->rec, c.to);
    }
    EXPECT_EQ(cursor->log, (std::vector<std::string>{"LastRec"}));
    source("dsACEServer", 5);
    skip(0);
    EXPECT_EQ(lastCall(), "Skip 0.00");
}

}  // namespace
