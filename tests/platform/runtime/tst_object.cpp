// Objects: members by name, ancestors, run-time classes and the errors of
// missing members.
#include "platform/runtime/block.h"
#include "platform/runtime/error.h"
#include "platform/runtime/object.h"
#include "platform/runtime/report_once.h"

#include <gtest/gtest.h>

using rt::Value;

namespace {
class Base : public rt::Object {
public:
    static const rt::ClassInfo& staticClass()
    {
        static const rt::ClassInfo cls = [] {
            rt::ClassInfo c("XbpBrowse");
            c.field<Base>("cargo", &Base::cargo);
            c.method<Base>("Sort", [](Base& o, rt::Args a) {
                o.sorted = rt::argAt(a, 1).isNum() ? rt::argAt(a, 1).asInt() : -1;
                return Value(true);
            });
            return c;
        }();
        return cls;
    }
    const rt::ClassInfo& classInfo() const override { return staticClass(); }
    Value cargo;
    long long sorted = 0;
};

class Derived final : public Base {
public:
    static const rt::ClassInfo& staticClass()
    {
        static const rt::ClassInfo cls = [] {
            rt::ClassInfo c("RK_XbpBrowse", {&Base::staticClass()});
            c.field<Derived>("dataSource", &Derived::dataSource);
            c.addVar("rowCount", [](rt::Object&) { return Value(40); });  // read-only
            return c;
        }();
        return cls;
    }
    const rt::ClassInfo& classInfo() const override { return staticClass(); }
    Value dataSource;
};

std::string errorText(const std::function<void()>& f)
{
    rt::Error e("none");
    EXPECT_FALSE(rt::guarded(f, &e));
    return e.description + " " + e.operation;
}
}  // namespace

TEST(Object, MembersAreFoundByNameWithoutRegardToCase)
{
    Value o(static_cast<rt::Object*>(new Derived));
    rt::setMember(o, "DATASOURCE", Value("alias"));
    EXPECT_EQ(rt::getMember(o, "datasource").asString(), "alias");
    rt::setMember(o, "Cargo", Value(7));  // inherited
    EXPECT_EQ(rt::getMember(o, "cargo").asInt(), 7);
    EXPECT_TRUE(rt::sendWith(o, "sort", Value::array(), Value(3)).asBool());
    EXPECT_EQ(static_cast<Derived&>(o.asObject()).sorted, 3);
    EXPECT_TRUE(rt::hasMember(o, "ROWCOUNT"));
    EXPECT_FALSE(rt::hasMember(o, "nothing"));
    EXPECT_FALSE(rt::hasMember(Value(1), "cargo"));
}

TEST(Object, AccessorConventionOfSend)
{
    Value o(static_cast<rt::Object*>(new Derived));
    EXPECT_EQ(rt::sendWith(o, "cargo", Value("x")).asString(), "x");  // one argument assigns
    EXPECT_EQ(rt::sendWith(o, "cargo").asString(), "x");              // none reads
    EXPECT_EQ(rt::sendWith(o, "classname").asString(), "RK_XbpBrowse");
}

TEST(Object, AncestorsByNameIgnoringCase)
{
    Value o(static_cast<rt::Object*>(new Derived));
    EXPECT_TRUE(rt::isDerivedFrom(o, "xbpbrowse"));
    EXPECT_TRUE(rt::isDerivedFrom(o, "RK_XBPBROWSE"));
    EXPECT_FALSE(rt::isDerivedFrom(o, "XbpColumn"));
    EXPECT_FALSE(rt::isDerivedFrom(Value("XbpBrowse"), "XbpBrowse"));
    EXPECT_TRUE(rt::sendWith(o, "isDerivedFrom", Value("XbpBrowse")).asBool());
}

TEST(Object, MisuseRaisesErrorsNamingTheMember)
{
    Value o(static_cast<rt::Object*>(new Derived));
    EXPECT_EQ(errorText([&] { (void)rt::getMember(o, "nosuch"); }), "No such member RK_XbpBrowse:nosuch");
    EXPECT_EQ(errorText([&] { rt::setMember(o, "rowCount", Value(1)); }), "Read-only member RK_XbpBrowse:rowCount");
    EXPECT_EQ(errorText([&] { (void)rt::getMember(Value(1), "x"); }), "Not an object :x");
}

TEST(Object, RunTimeClassesWithSlotsAndBlockMethods)
{
    rt::DynClass cls("SQLStatement");
    cls.addVar("nRow", Value(1));
    cls.addMethod("skip", rt::makeBlock([](rt::Args a) {
        const Value& self = a[0];
        const Value n = rt::getMember(self, "nRow");
        rt::setMember(self, "nRow", Value(n.asInt() + rt::argAt(a, 1).asInt()));
        return rt::argAt(a, 1);
    }));
    Value a = cls.instantiate();
    Value b = cls.instantiate();
    EXPECT_EQ(rt::sendWith(a, "Skip", Value(4)).asInt(), 4);
    EXPECT_EQ(rt::getMember(a, "nrow").asInt(), 5);
    EXPECT_EQ(rt::getMember(b, "nrow").asInt(), 1);  // slots are per instance
    EXPECT_TRUE(rt::isDerivedFrom(a, "sqlstatement"));
}

TEST(Object, MethodMayDropTheLastOutsideReference)
{
    rt::DynClass cls("Holder");
    cls.addVar("self");
    cls.addVar("n", Value(0));
    // The method clears the only other reference to its receiver and keeps using it.
    cls.addMethod("drop", rt::makeBlock([](rt::Args a) {
        rt::setMember(a[0], "self", Value());
        rt::setMember(a[0], "n", Value(9));
        return rt::getMember(a[0], "n");
    }));
    Value* holder = new Value(cls.instantiate());
    rt::setMember(*holder, "self", *holder);
    Value target = *holder;
    delete holder;
    EXPECT_EQ(rt::sendWith(target, "drop").asInt(), 9);
}

// A step run on every paint or row reports a failure once, and again only
// after it has completed in between.
TEST(ErrorReporting, AFailureOnEveryPassIsReportedOncePerRun)
{
    int reported = 0;
    const rt::ErrorHandler previous = rt::setErrorHandler([&reported](const rt::Error&) { ++reported; });
    bool failing = false;
    const struct {
        bool fails;
        int reportedAfter;
    } passes[] = {{true, 1}, {true, 1}, {true, 1}, {false, 1}, {true, 2}};
    for (const auto& p : passes) {
        EXPECT_EQ(rt::runReportingOnce([&] { if (p.fails) rt::raise("paint failed"); }, failing), !p.fails);
        EXPECT_EQ(reported, p.reportedAfter);
    }
    rt::setErrorHandler(previous);
}
