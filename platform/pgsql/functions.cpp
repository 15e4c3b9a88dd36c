// The connection as compiled text sees it (class XBPGSQL) and the quoting
// functions StoQ and DtoQ.
#include "connection.h"
#include "dataobject.h"

#include "platform/runtime/classes.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"

#include <algorithm>
#include <charconv>

namespace pgsql {

namespace {

using rt::Args;
using rt::Value;

// The port as a number or as digits; NIL or 0 gives libpq's default.
int portArg(Args a, std::size_t i, const char* op)
{
    const Value& v = rt::argAt(a, i);
    std::int64_t port = 0;
    if (v.isNum()) {
        port = v.asInt();
    } else if (v.isChar()) {
        const std::string_view s = v.asString();
        const auto first = s.find_first_not_of(' ');
        if (first != std::string_view::npos) {
            const auto [p, ec] = std::from_chars(s.data() + first, s.data() + s.size(), port);
            if (ec != std::errc() ||
                s.find_first_not_of(' ', static_cast<std::size_t>(p - s.data())) != std::string_view::npos)
                rt::raiseArg(op, a);
        }
    } else if (!v.isNil()) {
        rt::raiseArg(op, a);
    }
    // Out of range reaches libpq, which reports an invalid port.
    return static_cast<int>(std::clamp<std::int64_t>(port, -1, 1 << 20));
}

Value init(Connection& c, Args a)
{
    c.connect(rt::textArgOr(a, 0, "XBPGSQL:New"), rt::textArgOr(a, 1, "XBPGSQL:New"), rt::textArgOr(a, 2, "XBPGSQL:New"),
              rt::textArgOr(a, 3, "XBPGSQL:New"), portArg(a, 4, "XBPGSQL:New"));
    return Value(static_cast<rt::Object*>(&c));
}

Value fnStoQ(Args a) { return Value(stoq(rt::textArg(a, 0, "STOQ"))); }

Value fnDtoQ(Args a)
{
    const Value& d = rt::argAt(a, 0);
    const Value& quoted = rt::argAt(a, 1);
    if (!d.isDate() || !(quoted.isNil() || quoted.isLogical()))
        rt::raiseArg("DTOQ", a);
    return Value(dtoq(d, quoted.isNil() || quoted.asBool()));
}

}  // namespace

const rt::ClassInfo& Connection::staticClass()
{
    static const rt::ClassInfo cls = [] {
        rt::ClassInfo c("XBPGSQL");
        c.field<Connection>("lError", &Connection::lError);
        c.field<Connection>("sChema", &Connection::sChema);
        c.method<Connection>("init", &init);
        c.method<Connection>("Db_Exist",
                             [](Connection& o, Args a) { return o.dbExist(rt::textArg(a, 0, "DB_EXIST")); });
        c.method<Connection>("Db_Create",
                             [](Connection& o, Args a) { return o.dbCreate(rt::textArg(a, 0, "DB_CREATE")); });
        c.method<Connection>("ExistTables",
                             [](Connection& o, Args a) { return o.existTables(rt::textArg(a, 0, "EXISTTABLES")); });
        c.method<Connection>("CreateTable", [](Connection& o, Args a) {
            return o.createTable(rt::textArg(a, 0, "CREATETABLE"), rt::argAt(a, 1));
        });
        c.method<Connection>("Execute", [](Connection& o, Args a) { return o.execute(rt::textArg(a, 0, "EXECUTE")); });
        c.method<Connection>("Close", [](Connection& o, Args) { o.close(); });
        c.method<Connection>("ErrorText", [](Connection& o, Args) { return o.errorText(); });
        return c;
    }();
    return cls;
}

const rt::ClassInfo& Connection::classInfo() const { return staticClass(); }

void registerPgsqlFunctions()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    rt::registerClass<Connection>();
    rt::registerFunction("StoQ", fnStoQ);
    rt::registerFunction("DtoQ", fnDtoQ);
    registerDataObjectFunctions();
}

}  // namespace pgsql
