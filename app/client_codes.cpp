// What the client table says about a code before the window writes it: the
// code as stored (six digits), which client holds it already, whether a
// client still exists and whether it has a row in "dxcam01e". Asked of the
// window's connection directly, so the record object and the browse set
// stay where they are.
#include "app/client.h"

#include "platform/dialog/library.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/dataobject.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <algorithm>

namespace app::client {

namespace {

pgsql::Connection* connectionOf(const ClientWindow& window)
{
    return window.oConn.isObject() ? dynamic_cast<pgsql::Connection*>(&window.oConn.asObject()) : nullptr;
}

std::string trimmed(const rt::Value& v) { return rt::alltrim(v.isChar() ? v.asString() : rt::var2char(v)); }

}  // namespace

std::string paddedCode(std::string_view code, std::size_t length)
{
    const std::string text = rt::alltrim(code);
    const bool digits =
        !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    return digits && text.size() < length ? std::string(length - text.size(), '0') + text : text;
}

std::string padRecordCode(const ClientWindow& window)
{
    const rt::Value code = rt::getMember(window.app(appSlot::Record), "codcli");
    const std::size_t length = code.isChar() ? std::max<std::size_t>(code.charLen(), 1) : 6;
    const std::string padded = paddedCode(trimmed(code), length);
    if (!padded.empty() && padded != trimmed(code))
        rt::setMember(window.app(appSlot::Record), "codcli", rt::padR(padded, length));
    return padded;
}

std::optional<std::string> codeOwner(const ClientWindow& window, const std::string& code)
{
    pgsql::Connection* conn = connectionOf(window);
    if (!conn || code.empty())
        return std::nullopt;
    const std::int64_t shown = record(window, "recno").recno();
    const std::string sql = "SELECT concat_ws(' ', trim(codcli), trim(nombre), trim(apell)) FROM " +
                            conn->qualified("dxcam01") + " WHERE codcli = $1 AND recno <> $2 LIMIT 1";
    return conn->value(sql.c_str(), {code, std::to_string(shown)});
}

std::string takenCodeMessage(const std::string& code, const std::string& owner)
{
    return "El código " + code + " ya es del cliente " + owner + ". Use otro código.";
}

void sayIfTaken(const ClientWindow& window, std::string_view code)
{
    const rt::Value current = rt::getMember(window.app(appSlot::Record), "codcli");
    const std::string padded = paddedCode(code, current.isChar() ? std::max<std::size_t>(current.charLen(), 1) : 6);
    if (const auto owner = codeOwner(window, padded))
        dlg::winAlert(takenCodeMessage(padded, *owner), kTitle);
}

bool clientExists(const ClientWindow& window, std::int64_t recno)
{
    pgsql::Connection* conn = connectionOf(window);
    if (!conn)
        return true;
    const std::string sql = "SELECT count(*) FROM " + conn->qualified("dxcam01") + " WHERE recno = $1";
    // A server that does not answer says so itself; the client is not taken for gone.
    const std::optional<std::string> n = conn->value(sql.c_str(), {std::to_string(recno)});
    return !n || *n != "0";
}

bool hasSecondRow(const ClientWindow& window, const std::string& code)
{
    pgsql::Connection* conn = connectionOf(window);
    if (!conn || code.empty() || !conn->existTables("dxcam01e"))
        return false;
    const std::string sql = "SELECT count(*) FROM " + conn->qualified("dxcam01e") + " WHERE codcli = $1";
    const std::optional<std::string> n = conn->value(sql.c_str(), {code});
    return n && *n != "0";
}

}  // namespace app::client
