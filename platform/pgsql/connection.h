// The PostgreSQL connection object over libpq, runtime class "XBPGSQL":
//
//     oConn := XBPGSQL():New(cHost, NIL, cUser, cPass, nPort, NIL)
//     IF ! oConn:lError ...
//
// Connections use client_encoding UTF8, DateStyle ISO, an application name
// and a connect timeout of 10 s. An empty password lets libpq find one in
// PGPASSWORD or the password file. Statements built from names and text
// quote them with quoteIdent() and stoq() (quoting.cpp, below), values of
// the loaders and data objects go as parameters, so no name or value can
// change a statement. The password is handed to libpq and not kept.
#pragma once

#include "failure.h"

#include "platform/runtime/object.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
using PGconn = pg_conn;

namespace pgsql {

class Connection final : public rt::Object {
public:
    Connection();
    ~Connection() override;  // closes
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    // New(host, database or NIL, user, password, port, NIL). An empty
    // database means the server's default one: "postgres", or PGDATABASE
    // when set. Sets lError; a failure's
    // reason is in errorText().
    bool connect(std::string_view host, std::string_view database, std::string_view user,
                 std::string_view password, int port);
    // Keeps errorText, so a loader that closes a connection it cannot bring
    // back to a usable state leaves the reason behind.
    void close();
    [[nodiscard]] bool isOpen() const;
    // Opens a second session with the settings another connection was
    // opened with (libpq keeps them, the password included), for work
    // shared between sessions. False with errorText on failure.
    bool connectLike(const Connection& other);
    // Opens the session again with the settings of the last connect (libpq
    // keeps them, the password included); false with errorText when the
    // server still cannot be reached.
    bool reconnect();
    [[nodiscard]] PGconn* handle() const noexcept { return conn_; }

    // The last failure, connection or statement; its text is libpq's or the
    // server's message on one line, never containing the password.
    [[nodiscard]] const Failure& failure() const noexcept { return failure_; }
    [[nodiscard]] const std::string& errorText() const noexcept { return failure_.serverText; }
    void setFailure(Failure f) { failure_ = std::move(f); }
    void setErrorText(std::string text) { failure_ = localFailure(std::move(text)); }

    [[nodiscard]] bool dbExist(std::string_view database);
    // CREATE DATABASE; true when created.
    bool dbCreate(std::string_view database);
    // Whether the table exists in sChema.
    [[nodiscard]] bool existTables(std::string_view table);
    // aStruct: { {name, type letter, length, decimals}, ... } as DbStruct
    // gives it. Columns are named by columnNames() of the field names; a
    // "recno" identity primary key comes first unless a field has that name.
    // In sChema, or in `schema` when one is given.
    bool createTable(std::string_view table, const rt::Value& aStruct, std::string_view schema = {});
    [[nodiscard]] std::string createTableSql(std::string_view table, const rt::Value& aStruct,
                                             std::string_view schema = {}) const;
    // Runs one statement; false (and errorText) when the server rejects it.
    bool execute(std::string_view sql);
    // The first column of the first row of a query with text parameters
    // ($1, ...); nullopt for no row, NULL, or an error (errorText).
    [[nodiscard]] std::optional<std::string> value(const char* sql, std::initializer_list<std::string> params = {});

    // The ICU collation that orders text here ("es-x-icu", else
    // "und-x-icu"), looked up once per connection; "" when the server has
    // none, or ICU is not allowed (collation.h): the default collation then.
    [[nodiscard]] const std::string& textCollation();

    // "schema"."table" quoted for statements (schema from sChema).
    [[nodiscard]] std::string qualified(std::string_view table) const;

    // Instance variables as the language sees them.
    rt::Value lError;   // .T. until a connection succeeds
    rt::Value sChema;   // "public"

private:
    bool open(const std::vector<const char*>& keys, const std::vector<const char*>& values);

    PGconn* conn_ = nullptr;
    Failure failure_;
    std::optional<std::string> collation_;
};

// A name as the server keeps it: cut to its 63 bytes, never inside a
// character.
[[nodiscard]] std::string serverName(std::string_view name);
// The column each field becomes, in field order: the name trimmed of blanks
// and in lower case (as the server keeps it), "campo_N" for a name of
// blanks (N its position from 1), and "_2", "_3", ... added to a name met
// before. CreateTable names its columns so, and the import's rows follow.
[[nodiscard]] std::vector<std::string> columnNames(const std::vector<std::string>& fieldNames);

// "name" with inner quotes doubled.
[[nodiscard]] std::string quoteIdent(std::string_view name);
// A quoted SQL string literal that means exactly the text, whatever the
// server's standard_conforming_strings: 'it''s', E'a\\b' when a backslash is
// present. NUL characters, which no PostgreSQL text can hold, are dropped.
[[nodiscard]] std::string stoq(std::string_view text);
// The same literal appended to out (a big text is not built twice).
void appendStoq(std::string& out, std::string_view text);
// Text without the NULs no PostgreSQL text can hold: the text itself when
// it has none, else a copy without them, made in room.
[[nodiscard]] std::string_view withoutNul(std::string_view text, std::string& room);
[[nodiscard]] std::string withoutNul(std::string_view text);
// A date literal '2024-01-31' (ISO, whatever the date format); NULL for the
// empty date. unquoted: the date as the server shows it in text,
// "2024-01-31", for a LIKE pattern ("" for the empty date).
[[nodiscard]] std::string dtoq(const rt::Value& date, bool quoted = true);

// Registers XBPGSQL (the class function), StoQ, DtoQ, PGSQL and SQLRefresh.
void registerPgsqlFunctions();

}  // namespace pgsql
