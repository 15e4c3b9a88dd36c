#include "app/messages.h"

#include "platform/dbf/table.h"
#include "platform/dialog/library.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace app {

namespace {

struct State {
    int depth = 0;
    std::vector<std::string> pending;  // shown when the outermost action ends
    bool lossPending = false;          // one loss per action, whichever object met it
    bool lossShownOutside = false;
};
State& state()
{
    static State s;
    return s;
}

void show(const std::string& text) { dlg::winAlert(text, "dxc"); }

void onFailure(const pgsql::Failure& f)
{
    State& s = state();
    const std::string text = failureMessage(f);
    if (s.depth > 0) {
        const bool loss = f.kind == pgsql::FailureKind::ConnectionLost;
        if ((loss && s.lossPending) || std::find(s.pending.begin(), s.pending.end(), text) != s.pending.end())
            return;
        s.lossPending = s.lossPending || loss;
        s.pending.push_back(text);
        return;
    }
    // A repaint that finds the server gone would otherwise ask again and again.
    if (f.kind == pgsql::FailureKind::ConnectionLost) {
        if (s.lossShownOutside)
            return;
        s.lossShownOutside = true;
    }
    show(text);
}

}  // namespace

std::string failureMessage(const pgsql::Failure& f)
{
    using K = pgsql::FailureKind;
    const std::string server = f.serverText.empty() ? std::string() : "\n" + f.serverText;
    switch (f.kind) {
    case K::ConnectionLost: return "Se perdió la conexión con el servidor." + server;
    case K::Conflict: return "El cliente fue modificado por otro usuario. Sus cambios no se guardaron.";
    case K::Gone: return "El registro fue borrado por otro usuario.";
    case K::DuplicateKey: return "Ya existe un cliente con esos datos. Sus cambios no se guardaron.";
    case K::ValueTooLong: return "Un valor no cabe en su campo. Sus cambios no se guardaron." + server;
    case K::NoMatch: return "El registro no cumple la condición indicada. Sus cambios no se guardaron.";
    case K::NotDeleted: return "El registro no cumple la condición indicada. No se borró.";
    case K::Other: break;
    }
    return "El servidor rechazó la operación." + server;
}

std::string connectionFailureMessage(const std::string& why)
{
    const auto has = [&why](const char* part) { return why.find(part) != std::string::npos; };
    std::string reason;
    if (has("password authentication failed") || has("no password supplied") || has("role \""))
        reason = "El usuario o la contraseña no son válidos.";
    else if (has("invalid port") || has("invalid integer value"))
        reason = "El puerto no es válido (debe estar entre 1 y 65535).";
    else if (has("could not translate host name") || has("Name or service not known"))
        reason = "No se encontró el servidor con ese nombre.";
    else if (has("Connection refused"))
        reason = "El servidor no acepta conexiones en ese puerto.";
    else if (has("timeout expired") || has("No route to host"))
        reason = "El servidor no responde.";
    else if (has("database \"") && has("does not exist"))
        reason = "La base de datos no existe en el servidor.";
    else
        reason = "El servidor rechazó la conexión.";
    return "No se pudo conectar con el servidor. " + reason + (why.empty() ? "" : "\n" + why);
}

std::string dbfFailureMessage(const rt::Error& e)
{
    const std::string file = e.filename.empty() ? std::string("el archivo") : "el archivo " + e.filename;
    const std::string at = e.position >= 0 ? " (byte " + std::to_string(e.position) + ")" : std::string();
    if (e.subsystem != "DBF")
        return e.message();
    switch (e.genCode) {
    case dbf::kErrVersion: return "es una tabla dBASE II, una versión que no se puede leer";
    case dbf::kErrRecordPastEnd: {
        // The engine gives the record's number as its argument.
        const std::string record =
            !e.args.empty() && e.args[0].isNum() ? " " + std::to_string(e.args[0].asInt()) : std::string();
        return file + " termina antes del registro" + record + at + ": está cortado";
    }
    case dbf::kErrRead: return "error de lectura en " + file + at;
    case dbf::kErrOpen: return file + " no existe o no se puede abrir";
    case dbf::kErrCorrupt: return file + " está dañado" + at;
    case dbf::kErrUnsupported: return file + " usa un tipo de campo o una página de códigos que no se puede leer";
    default: return "error al leer " + file + " (DBF/" + std::to_string(e.genCode) + ")";
    }
}

void installFailureMessages() { pgsql::setFailureReporter(onFailure); }

void sayInstead(const pgsql::Failure& f, const std::string& text)
{
    State& s = state();
    const auto it = std::find(s.pending.begin(), s.pending.end(), failureMessage(f));
    if (it != s.pending.end())
        *it = text;
    else if (s.depth > 0)
        s.pending.push_back(text);
    else
        show(text);
}

UserAction::UserAction() { ++state().depth; }

UserAction::~UserAction()
{
    State& s = state();
    if (--s.depth > 0)
        return;
    s.lossShownOutside = false;
    s.lossPending = false;
    const std::vector<std::string> texts = std::move(s.pending);
    s.pending.clear();
    for (const std::string& t : texts)
        show(t);
}

}  // namespace app
