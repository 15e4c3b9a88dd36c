// The connection object: connecting, database and table management and
// single statements.
#include "connection.h"

#include "collation.h"

#include "pq_internal.h"

#include "platform/runtime/array.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

#include <string.h>  // explicit_bzero

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace pgsql {

using detail::Result;

namespace {

// character(n) and numeric(p,s) limits of the server; outside them the
// unconstrained type keeps every value.
constexpr std::int64_t kMaxCharLength = 10485760;
constexpr std::int64_t kMaxNumericPrecision = 1000;

std::string columnType(char type, std::int64_t len, std::int64_t dec)
{
    switch (std::toupper(static_cast<unsigned char>(type))) {
    case 'C': return len >= 1 && len <= kMaxCharLength ? "character(" + std::to_string(len) + ")" : "text";
    case 'F':  // its writers use the exponent form: every value it can hold
        return "numeric";
    case 'N':
        if (len >= 1 && len <= kMaxNumericPrecision && dec >= 0 && dec <= len)
            return "numeric(" + std::to_string(len) + "," + std::to_string(dec) + ")";
        return "numeric";
    case 'D': return "date";
    case 'L': return "boolean";
    case 'I': return "integer";
    case 'B': return "double precision";
    case 'Y': return "numeric(19,4)";
    case 'T': return "timestamp";
    case 'G':  // general, picture, blob and varbinary fields hold bytes
    case 'P':
    case 'W':
    case 'Q': return "bytea";
    default:  // M, V and anything unknown keep their text
        return "text";
    }
}

struct ColumnDef {
    std::string name;
    std::string type;
};

// One DbStruct entry {name, type, length, decimals}; raises on another shape.
// The name is the field's, made a column name by columnNames().
ColumnDef columnOf(const rt::Value& entry, const rt::Value& aStruct)
{
    const auto bad = [&] { rt::raise("Argument error", "CreateTable", {entry, aStruct}); };
    if (!entry.isArray() || entry.asArray().size() < 2)
        bad();
    const auto& f = entry.asArray().items;
    const rt::Value& len = f.size() > 2 ? f[2] : rt::nil();
    const rt::Value& dec = f.size() > 3 ? f[3] : rt::nil();
    if (!f[0].isChar() || !f[1].isChar() || f[1].asString().empty() || !(len.isNum() || len.isNil()) ||
        !(dec.isNum() || dec.isNil()))
        bad();
    return {f[0].str(), columnType(f[1].asString()[0], len.isNum() ? len.asInt() : 0, dec.isNum() ? dec.asInt() : 0)};
}

// The server's limit on the bytes of a name.
constexpr std::size_t kMaxNameBytes = 63;

}  // namespace

// ------------------------------------------------------------------ connecting

Connection::Connection() : lError(true), sChema("public") {}

Connection::~Connection() { close(); }

bool Connection::connect(std::string_view host, std::string_view database, std::string_view user,
                         std::string_view password, int port)
{
    close();
    lError = true;
    const std::string hostText(host), userText(user);
    // No database: the server's maintenance database, which every
    // installation has, rather than libpq's guess of one named after the
    // user; PGDATABASE still decides when it is set.
    const char* envDb = std::getenv("PGDATABASE");
    const std::string dbText = !database.empty() ? std::string(database)
                                                 : (envDb && *envDb ? std::string() : std::string("postgres"));
    const std::string portText = port > 0 ? std::to_string(port) : std::string();
    std::string pass(password);

    std::vector<const char*> keys, vals;
    const auto add = [&](const char* key, const std::string& val) {
        if (!val.empty()) {
            keys.push_back(key);
            vals.push_back(val.c_str());
        }
    };
    add("host", hostText);
    add("port", portText);
    add("user", userText);
    add("password", pass);  // none: libpq looks in PGPASSWORD and the password file
    add("dbname", dbText);
    const std::string fixed[][2] = {{"client_encoding", "UTF8"},
                                    {"options", "-c DateStyle=ISO,YMD"},
                                    {"application_name", "dxc"},
                                    {"connect_timeout", "10"}};
    for (const auto& kv : fixed)
        add(kv[0].c_str(), kv[1]);
    keys.push_back(nullptr);
    vals.push_back(nullptr);

    const bool ok = open(keys, vals);
    explicit_bzero(pass.data(), pass.size());
    return ok;
}

bool Connection::connectLike(const Connection& other)
{
    close();
    lError = true;
    if (!other.conn_) {
        failure_ = localFailure("not connected");
        return false;
    }
    PQconninfoOption* options = PQconninfo(other.conn_);
    if (!options) {
        failure_ = localFailure("out of memory");
        return false;
    }
    std::vector<const char*> keys, vals;
    for (const PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val && *o->val) {
            keys.push_back(o->keyword);
            vals.push_back(o->val);
        }
    keys.push_back(nullptr);
    vals.push_back(nullptr);
    const bool ok = open(keys, vals);
    // Its password copy goes with it.
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val && std::string_view(o->keyword) == "password")
            explicit_bzero(o->val, std::strlen(o->val));
    PQconninfoFree(options);
    if (ok)
        sChema = other.sChema;
    return ok;
}

bool Connection::open(const std::vector<const char*>& keys, const std::vector<const char*>& values)
{
    PGconn* c = PQconnectdbParams(keys.data(), values.data(), 0);
    if (!c) {
        failure_ = localFailure("out of memory");
        return false;
    }
    if (PQstatus(c) != CONNECTION_OK) {
        failure_ = localFailure(detail::oneLine(PQerrorMessage(c)));
        PQfinish(c);
        return false;
    }
    // Notices ("table does not exist, skipping") would reach stderr; no caller reads them.
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);
    conn_ = c;
    failure_ = {};
    lError = false;
    return true;
}

void Connection::close()
{
    collation_.reset();
    if (conn_) {
        PQfinish(conn_);
        conn_ = nullptr;
    }
}

bool Connection::reconnect()
{
    if (!conn_)
        return false;
    PQreset(conn_);
    if (PQstatus(conn_) != CONNECTION_OK) {
        failure_ = localFailure(detail::oneLine(PQerrorMessage(conn_)));
        return false;
    }
    failure_ = {};
    lError = false;
    return true;
}

bool Connection::isOpen() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

// ------------------------------------------------------------------ statements

namespace {

// Whether a statement may go out now; errorText says why not.
bool ready(Connection& c)
{
    if (!c.handle()) {
        c.setErrorText("not connected");
        return false;
    }
    if (PQpipelineStatus(c.handle()) != PQ_PIPELINE_OFF) {
        c.setErrorText("the connection is busy with a pipeline");
        return false;
    }
    return true;
}

// A query with text parameters; the result when the server ran it, else
// null with errorText set.
Result query(Connection& c, const char* sql, std::initializer_list<std::string> params)
{
    if (!ready(c))
        return nullptr;
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p.c_str());
    Result r(
        PQexecParams(c.handle(), sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
    const ExecStatusType st = PQresultStatus(r.get());
    if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) {
        c.setFailure(detail::failureOf(c.handle(), r.get(), sql));
        return nullptr;
    }
    return r;
}

bool hasRow(Connection& c, const char* sql, std::initializer_list<std::string> params)
{
    const Result r = query(c, sql, params);
    return r && PQntuples(r.get()) > 0;
}

// Ends a COPY that a plain statement started; such statements are not for execute().
void abandonCopy(PGconn* conn, ExecStatusType st)
{
    if (st == PGRES_COPY_IN) {
        PQputCopyEnd(conn, "COPY FROM STDIN needs the loader");
    } else if (st == PGRES_COPY_OUT) {
        char* buf = nullptr;
        while (PQgetCopyData(conn, &buf, 0) > 0)
            PQfreemem(buf);
    }
    while (Result next{PQgetResult(conn)})
        if (PQstatus(conn) != CONNECTION_OK)
            break;
}

}  // namespace

bool Connection::execute(std::string_view sql)
{
    // libpq reads the text up to its first NUL: a shortened statement must never run.
    if (sql.find('\0') != std::string_view::npos) {
        failure_ = localFailure("the statement contains a NUL character");
        return false;
    }
    if (!ready(*this))
        return false;
    Result r(PQexec(conn_, std::string(sql).c_str()));
    const ExecStatusType st = PQresultStatus(r.get());
    if (st == PGRES_COPY_IN || st == PGRES_COPY_OUT) {
        abandonCopy(conn_, st);
        failure_ = localFailure("COPY is not run by Execute");
        return false;
    }
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && st != PGRES_EMPTY_QUERY) {
        failure_ = detail::failureOf(conn_, r.get(), sql);
        return false;
    }
    return true;
}

std::optional<std::string> Connection::value(const char* sql, std::initializer_list<std::string> params)
{
    const Result r = query(*this, sql, params);
    if (!r || PQntuples(r.get()) == 0 || PQnfields(r.get()) == 0 || PQgetisnull(r.get(), 0, 0))
        return std::nullopt;
    return std::string(PQgetvalue(r.get(), 0, 0));
}

const std::string& Connection::textCollation()
{
    static const std::string none;
    if (!icuCollationAllowed())
        return none;
    if (!collation_ && conn_) {
        // Usable only when made for the database's encoding (or any).
        const Result r = query(*this,
                               "SELECT collname FROM pg_catalog.pg_collation WHERE collname IN ('es-x-icu', "
                               "'und-x-icu') AND collprovider = 'i' AND collencoding IN (-1, "
                               "pg_catalog.pg_char_to_encoding(pg_catalog.getdatabaseencoding())) "
                               "ORDER BY collname = 'es-x-icu' DESC LIMIT 1",
                               {});
        // A failed look-up is tried again on the next call.
        if (r)
            collation_ = PQntuples(r.get()) > 0 ? std::string(PQgetvalue(r.get(), 0, 0)) : std::string();
    }
    return collation_ ? *collation_ : none;
}

bool Connection::dbExist(std::string_view database)
{
    return hasRow(*this, "SELECT 1 FROM pg_catalog.pg_database WHERE datname = $1", {detail::withoutNul(database)});
}

bool Connection::dbCreate(std::string_view database) { return execute("CREATE DATABASE " + quoteIdent(database)); }

bool Connection::existTables(std::string_view table)
{
    // Views and foreign tables count too: CREATE TABLE would collide with them.
    static const char* const sql =
        "SELECT 1 FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = $1 AND c.relname = $2 AND c.relkind IN ('r', 'p', 'v', 'm', 'f')";
    const std::string schema = sChema.isChar() && !sChema.asString().empty() ? sChema.str() : "public";
    return hasRow(*this, sql, {detail::withoutNul(schema), detail::withoutNul(table)});
}

std::string Connection::qualified(std::string_view table) const
{
    const std::string_view schema = sChema.isChar() && !sChema.asString().empty() ? sChema.asString() : "public";
    return quoteIdent(schema) + "." + quoteIdent(table);
}

std::string serverName(std::string_view name)
{
    if (name.size() <= kMaxNameBytes)
        return std::string(name);
    std::size_t n = kMaxNameBytes;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
        --n;  // not inside a UTF-8 character
    return std::string(name.substr(0, n));
}

std::vector<std::string> columnNames(const std::vector<std::string>& fieldNames)
{
    std::vector<std::string> names;
    names.reserve(fieldNames.size());
    const auto taken = [&names](const std::string& n) { return std::find(names.begin(), names.end(), n) != names.end(); };
    for (const std::string& field : fieldNames) {
        std::string base = serverName(rt::lower(rt::alltrim(detail::withoutNul(field))));
        if (base.empty())
            base = "campo_" + std::to_string(names.size() + 1);
        std::string name = base;
        for (int k = 2; taken(name); ++k) {
            const std::string suffix = "_" + std::to_string(k);
            name = serverName(base.substr(0, kMaxNameBytes - suffix.size())) + suffix;
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::string Connection::createTableSql(std::string_view table, const rt::Value& aStruct,
                                       std::string_view schema) const
{
    if (!aStruct.isArray())
        rt::raise("Argument error", "CreateTable", {rt::Value(table), aStruct});
    std::vector<ColumnDef> cols;
    std::vector<std::string> fieldNames;
    for (const rt::Value& entry : aStruct.asArray().items) {
        cols.push_back(columnOf(entry, aStruct));
        fieldNames.push_back(cols.back().name);
    }
    const std::vector<std::string> names = columnNames(fieldNames);
    for (std::size_t i = 0; i < cols.size(); ++i)
        cols[i].name = names[i];
    const bool hasRecno = std::find(names.begin(), names.end(), "recno") != names.end();
    // BY DEFAULT: the client window inserts rows without a recno.
    const std::string name = schema.empty() ? qualified(table) : quoteIdent(schema) + "." + quoteIdent(table);
    std::string sql = "CREATE TABLE " + name + " (";
    if (!hasRecno)
        sql += "\"recno\" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY";
    for (std::size_t i = 0; i < cols.size(); ++i) {
        if (i > 0 || !hasRecno)
            sql += ", ";
        sql += quoteIdent(cols[i].name) + " " + cols[i].type;
    }
    return sql + ")";
}

bool Connection::createTable(std::string_view table, const rt::Value& aStruct, std::string_view schema)
{
    return execute(createTableSql(table, aStruct, schema));
}

}  // namespace pgsql
