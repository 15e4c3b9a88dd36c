// The data object's session: whether statements may go out, reconnecting a
// connection the server dropped, running a statement, the failure of the
// last call and its report, and the writes of other data objects followed.
#include "dataobject.h"

#include "connection.h"
#include "dataobject_sql.h"

#include <unordered_map>

namespace pgsql {

using detail::Result;

namespace {

const char* const kLost = "connection lost: ";

}  // namespace

Connection* DataObject::conn() const
{
    if (!connValue_.isObject())
        return nullptr;
    return dynamic_cast<Connection*>(&connValue_.asObject());
}

void DataObject::begin()
{
    lError = false;
    error_.clear();
    failure_ = Failure{};
}

void DataObject::fail(std::string text)
{
    fail(FailureKind::Other, std::move(text));
}

void DataObject::fail(FailureKind kind, std::string text, std::string statement, std::string sqlstate)
{
    lError = true;
    failure_ = Failure{kind, table_, std::move(statement), std::move(sqlstate), text};
    error_ = kind == FailureKind::ConnectionLost ? kLost + text : std::move(text);
}

void DataObject::report() const { reportFailure(failure_); }

namespace {

// Writes per database and table, over every data object of the process.
std::uint64_t& writeCount(const std::string& key)
{
    static std::unordered_map<std::string, std::uint64_t> counts;
    return counts[key];
}

}  // namespace

void DataObject::startFollowingWrites()
{
    if (const Connection* c = conn(); c && c->handle())
        writeKey_ = std::string(PQdb(c->handle())) + "|" + table();
    writesSeen_ = writeCount(writeKey_);
}

void DataObject::noteOwnWrite()
{
    if (!writeKey_.empty())
        writesSeen_ = ++writeCount(writeKey_);
}

void DataObject::followOthersWrites()
{
    if (writeKey_.empty() || !opened_ || destroyed_ || newRow_)
        return;
    const std::uint64_t now = writeCount(writeKey_);
    if (now == writesSeen_)
        return;
    writesSeen_ = now;
    refresh();
}

// Whether statements may go out; reconnects a connection the server dropped.
bool DataObject::ready()
{
    if (destroyed_)
        return fail("the data object was released"), false;
    Connection* c = conn();
    if (!c || !c->handle())
        return fail("not connected"), false;
    if (c->isOpen() && !resetPending_)
        return true;
    if (c->reconnect()) {
        resetPending_ = false;
        return true;
    }
    fail(FailureKind::ConnectionLost, c->errorText());
    report();
    return false;
}

bool DataObject::run(const Sql& q, Result& out)
{
    if (!ready())
        return false;
    Connection* c = conn();
    std::vector<const char*> values;
    values.reserve(q.params.size());
    for (const auto& p : q.params)
        values.push_back(p ? p->c_str() : nullptr);
    out.reset(PQexecParams(c->handle(), q.text.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                           nullptr, nullptr, 0));
    const ExecStatusType st = PQresultStatus(out.get());
    if (st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK)
        return true;
    const char* state = out ? PQresultErrorField(out.get(), PG_DIAG_SQLSTATE) : nullptr;
    const std::string sqlstate = state ? state : "";
    if (detail::sessionLost(c->handle(), out.get())) {
        fail(FailureKind::ConnectionLost, detail::errorOf(c->handle(), out.get()), q.text, sqlstate);
        report();
        resetPending_ = true;  // libpq may not have noticed yet
    } else {
        fail(kindOfState(sqlstate), detail::errorOf(c->handle(), out.get()), q.text, sqlstate);
    }
    out.reset();
    return false;
}

}  // namespace pgsql
