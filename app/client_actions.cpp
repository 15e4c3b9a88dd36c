// What the client window's buttons do, and the question that guards typed
// work before the form shows another client or the window closes.
#include "app/client.h"
#include "app/messages.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
#include "platform/dialog/storage.h"
#include "platform/gui/xbppart.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/dataobject.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <QLineEdit>

#include <algorithm>

namespace app::client {

namespace {

pgsql::DataObject* recordObject(const ClientWindow& s)
{
    return s.app(appSlot::Record).isObject() ? dynamic_cast<pgsql::DataObject*>(&s.app(appSlot::Record).asObject()) : nullptr;
}

dlg::DialogPart* dialogOf(const ClientWindow& s)
{
    return s.app(appSlot::Dialog).isObject() ? dynamic_cast<dlg::DialogPart*>(&s.app(appSlot::Dialog).asObject()) : nullptr;
}

std::string conditionOfCode(const ClientWindow& s)
{
    const rt::Value code = rt::getMember(s.app(appSlot::Record), "codcli");
    return "dxcam01.codcli=" + pgsql::stoq(code.isChar() ? code.asString() : rt::var2char(code));
}

std::string memberText(const ClientWindow& s, const char* member)
{
    return rt::alltrim(rt::var2char(rt::getMember(s.app(appSlot::Record), member)));
}

// A column of the client as read from the table, whatever the form holds.
std::string storedText(const ClientWindow& s, const char* column)
{
    return rt::alltrim(rt::var2char(record(s, "FieldGet").fieldGet(column)));
}

std::string storedCode(const ClientWindow& s) { return storedText(s, "codcli"); }

// Delete names the client as stored: a code typed over in the form must
// not pick another client.
std::string conditionOfStoredCode(const ClientWindow& s) { return "dxcam01.codcli=" + pgsql::stoq(storedCode(s)); }

}  // namespace

bool mayLeaveRecord(ClientWindow& s)
{
    if (!s.editing())
        return true;
    // A field whose text is not a value (a wrong date) counts as typed work.
    dlg::DialogPart* d = dialogOf(s);
    const bool allWritten = !d || d->commitEdits();
    const pgsql::DataObject* record = recordObject(s);
    if (allWritten && (!record || !record->changed()))
        return true;
    const bool discard = dlg::askYesNo("¿Descartar los cambios del cliente?", kTitle);
    if (!discard)
        getRefresh(s.GetList, {28});  // the values as written back
    return discard;
}

void showRecord(const ClientWindow& s, std::initializer_list<int> skip)
{
    getRefresh(s.GetList, skip);
    showPicture(s);
}

void cancelEdit(ClientWindow& s)
{
    // Cancel drops typed work only as Escape does: after asking.
    if (!mayLeaveRecord(s))
        return;
    pgsql::DataObject& rec = record(s, "RecordCancel");
    const bool wasNew = rec.isNewRow();
    rec.recordCancel();
    s.app(appSlot::Editing) = false;
    if (!wasNew && rec.recno() > 0 && !clientExists(s, rec.recno())) {
        clientGone(s, storedCode(s), {});
        return;
    }
    followInBrowse(s);
    showRecord(s, {28});
}

void clientGone(ClientWindow& s, const std::string& code, const std::optional<pgsql::Failure>& reported)
{
    const std::string text = "El cliente " + code + " fue borrado por otro usuario.";
    if (reported)
        sayInstead(*reported, text);
    else
        dlg::winAlert(text, kTitle);
    s.app(appSlot::Editing) = false;
    // The next client takes the place of the one that went.
    record(s, "Refresh").refresh();
    browseSet(s, "Refresh").refresh();
    followInBrowse(s);
    showRecord(s, {28});
}

namespace {

// Says why the client cannot be written as it stands, keeping the focus on
// its code: an empty code, or one another client holds.
bool codeRefused(ClientWindow& s)
{
    const std::string code = padRecordCode(s);
    getRefresh(s.GetList, {28});
    std::string why;
    const bool sameCode = !record(s, "isNewRow").isNewRow() && code == storedCode(s);
    if (code.empty())
        why = "Codigo de Producto no Puede Estar en Blanco, Verifique...";
    else if (const auto owner = sameCode ? std::nullopt : codeOwner(s, code))
        why = takenCodeMessage(code, *owner);
    if (why.empty())
        return false;
    dlg::winAlert(why, kTitle);
    focus(s.ocodcli);
    return true;
}

}  // namespace

void saveRecord(ClientWindow& s)
{
    if (codeRefused(s))
        return;
    // A refused write (a conflict, a code taken, a lost server) keeps the
    // form in editing with the user's values.
    pgsql::DataObject& rec = record(s, "RecordPut");
    const std::string code = memberText(s, "codcli");
    if (!rec.recordPut(conditionOfCode(s))) {
        const pgsql::Failure& f = rec.lastFailure();
        if (f.kind == pgsql::FailureKind::Gone)
            return clientGone(s, storedCode(s), f);
        if (f.kind == pgsql::FailureKind::DuplicateKey)
            sayInstead(f, "Ya existe un cliente con el código " + code + ". Sus cambios no se guardaron.");
    } else {
        s.app(appSlot::Editing) = false;
    }
    followInBrowse(s);
    focus(s.ocodcli);
    showRecord(s, {28});
}

void newRecord(ClientWindow& s)
{
    if (!mayLeaveRecord(s))
        return;
    record(s, "RecordBlank").recordBlank();
    s.app(appSlot::Editing) = true;
    showRecord(s, {28});
    refreshAll(s.oBrowse);
    focus(s.ocodcli);
}

void editRecord(ClientWindow& s)
{
    s.app(appSlot::Editing) = true;
    getRefresh(s.GetList, {28});
    focus(s.oNombre);
}

void deleteRecord(ClientWindow& s)
{
    const std::string code = storedCode(s);
    std::string who = code;
    for (const char* member : {"nombre", "apell"})
        if (const std::string part = storedText(s, member); !part.empty())
            who += " " + part;
    // The client's row of the second table goes with it: a later client
    // with the same code must not inherit it.
    const bool second = hasSecondRow(s, code);
    if (!dlg::askYesNo("¿Borrar el cliente " + who + (second ? " y sus datos de dxcam01e" : "") + "?", kTitle))
        return;
    pgsql::DataObject& rec = record(s, "RecordDelete");
    if (rec.recordDelete(conditionOfStoredCode(s), {{"dxcam01e", "codcli"}}))
        s.app(appSlot::Editing) = false;
    else if (rec.lastFailure().kind == pgsql::FailureKind::Gone)
        return clientGone(s, code, rec.lastFailure());
    followInBrowse(s);
    showRecord(s, {28});
}

void refreshTable(ClientWindow& s)
{
    if (!mayLeaveRecord(s))
        return;
    record(s, "Refresh").refresh();
    followInBrowse(s);
    showRecord(s, {28});
}

void showPicture(const ClientWindow& s)
{
    if (s.app(appSlot::Picture).isObject())
        dlg::bitMapDraw(s.app(appSlot::Picture), record(s, "FieldGetPicture").fieldGetPicture({}));
}

void refreshBrowse(ClientWindow& s)
{
    browseSet(s, "Refresh").refresh();
    refreshAll(s.oBrowse);
    getRefresh(s.GetList, {28});
}

void nextMatch(ClientWindow& s)
{
    if (!mayLeaveRecord(s))
        return;
    const bool found = record(s, "LocateNext").locateNext();
    if (!found && !rt::isTrue(rt::getMember(s.app(appSlot::Record), "lError")))
        dlg::winAlert("Ese era el último cliente encontrado.", kTitle);
    followInBrowse(s);
    showRecord(s, {28, 1});
    focus(s.app(appSlot::SearchField));
}

void followInBrowse(ClientWindow& s)
{
    const std::int64_t shown = record(s, "recno").recno();
    pgsql::DataObject& rows = browseSet(s, "seek");
    if (shown > 0 && rows.recno() != shown && !rows.seek(rt::Value::integer(shown), "recno")) {
        rows.refresh();  // a client saved since the browse last read
        rows.seek(rt::Value::integer(shown), "recno");
    }
    refreshAll(s.oBrowse);
}

void followBrowse(ClientWindow& s)
{
    // The form being edited stays; the browse comes back to it when the
    // editing ends. A move the window makes itself finds both on one client.
    static bool following = false;
    if (following || s.editing())
        return;
    const std::int64_t row = browseSet(s, "recno").recno();
    if (row <= 0 || row == record(s, "recno").recno())
        return;
    following = true;
    rt::runReporting([&] { chooseRow(s); });
    following = false;
}

void sortBrowse(ClientWindow& s)
{
    browseSet(s, "sort").sort(rt::var2char(s.app(appSlot::OrderColumn)));
    followInBrowse(s);
    showSearchOrder(s);
}

void showSearchOrder(const ClientWindow& s)
{
    const gui::XbpPart* part = gui::asPart(s.app(appSlot::SearchField));
    if (auto* field = part ? qobject_cast<QLineEdit*>(part->widget()) : nullptr)
        field->setPlaceholderText(
            QString::fromStdString("Buscar por " + orderCaption(rt::var2char(s.app(appSlot::OrderColumn)))));
}

void rememberOrder(const ClientWindow& s)
{
    dlg::regWrite("client", "window", "order", s.app(appSlot::OrderColumn));
}

void restoreOrder(ClientWindow& s)
{
    const rt::Value saved = dlg::regQuery("client", "window", "order");
    const auto& names = s.aOrderBy.asArray().items;
    const bool known = saved.isChar() && std::any_of(names.begin(), names.end(), [&](const rt::Value& n) {
        return n.isChar() && n.asString() == saved.asString();
    });
    if (!known || saved.asString() == rt::var2char(s.app(appSlot::OrderColumn)))
        return;
    pgsql::DataObject& rows = browseSet(s, "sort");
    if (!rows.sort(saved.str()))
        return;
    s.app(appSlot::OrderColumn) = saved;
    if (const std::int64_t shown = record(s, "recno").recno(); shown > 0)
        rows.seek(rt::Value::integer(shown), "recno");
}

}  // namespace app::client
