// What the client window's buttons do, and the question that guards typed
// work before the form shows another client or the window closes.
#include "app/client.h"
#include "app/messages.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
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

pgsql::DataObject* recordObject(const ClientWindow& window)
{
    return window.app(appSlot::Record).isObject() ? dynamic_cast<pgsql::DataObject*>(&window.app(appSlot::Record).asObject()) : nullptr;
}

dlg::DialogPart* dialogOf(const ClientWindow& window)
{
    return window.app(appSlot::Dialog).isObject() ? dynamic_cast<dlg::DialogPart*>(&window.app(appSlot::Dialog).asObject()) : nullptr;
}

std::string conditionOfCode(const ClientWindow& window)
{
    const rt::Value code = rt::getMember(window.app(appSlot::Record), "codcli");
    return "dxcam01.codcli=" + pgsql::stoq(code.isChar() ? code.asString() : rt::var2char(code));
}

std::string memberText(const ClientWindow& window, const char* member)
{
    return rt::alltrim(rt::var2char(rt::getMember(window.app(appSlot::Record), member)));
}

// A column of the client as read from the table, whatever the form holds.
std::string storedText(const ClientWindow& window, const char* column)
{
    return rt::alltrim(rt::var2char(record(window, "FieldGet").fieldGet(column)));
}

std::string storedCode(const ClientWindow& window) { return storedText(window, "codcli"); }

// Delete names the client as stored: a code typed over in the form must
// not pick another client.
std::string conditionOfStoredCode(const ClientWindow& window) { return "dxcam01.codcli=" + pgsql::stoq(storedCode(window)); }

}  // namespace

bool mayLeaveRecord(ClientWindow& window)
{
    if (!window.editing())
        return true;
    // A field whose text is not a value (a wrong date) counts as typed work.
    dlg::DialogPart* d = dialogOf(window);
    const bool allWritten = !d || d->commitEdits();
    const pgsql::DataObject* record = recordObject(window);
    if (allWritten && (!record || !record->changed()))
        return true;
    const bool discard = dlg::askYesNo("¿Descartar los cambios del cliente?", kTitle);
    if (!discard)
        getRefresh(window.GetList, {28});  // the values as written back
    return discard;
}

void showRecord(const ClientWindow& window, std::initializer_list<int> skip)
{
    getRefresh(window.GetList, skip);
    showPicture(window);
}

void cancelEdit(ClientWindow& window)
{
    // Cancel drops typed work only as Escape does: after asking.
    if (!mayLeaveRecord(window))
        return;
    pgsql::DataObject& rec = record(window, "RecordCancel");
    const bool wasNew = rec.isNewRow();
    rec.recordCancel();
    window.app(appSlot::Editing) = false;
    if (!wasNew && rec.recno() > 0 && !clientExists(window, rec.recno())) {
        clientGone(window, storedCode(window), {});
        return;
    }
    followInBrowse(window);
    showRecord(window, {28});
}

void clientGone(ClientWindow& window, const std::string& code, const std::optional<pgsql::Failure>& reported)
{
    const std::string text = "El cliente " + code + " fue borrado por otro usuario.";
    if (reported)
        sayInstead(*reported, text);
    else
        dlg::winAlert(text, kTitle);
    window.app(appSlot::Editing) = false;
    // The next client takes the place of the one that went.
    record(window, "Refresh").refresh();
    browseSet(window, "Refresh").refresh();
    followInBrowse(window);
    showRecord(window, {28});
}

namespace {

// Says why the client cannot be written as it stands, keeping the focus on
// its code: an empty code, or one another client holds.
bool codeRefused(ClientWindow& window)
{
    const std::string code = padRecordCode(window);
    getRefresh(window.GetList, {28});
    std::string why;
    const bool sameCode = !record(window, "isNewRow").isNewRow() && code == storedCode(window);
    if (code.empty())
        why = "Codigo de Producto no Puede Estar en Blanco, Verifique...";
    else if (const auto owner = sameCode ? std::nullopt : codeOwner(window, code))
        why = takenCodeMessage(code, *owner);
    if (why.empty())
        return false;
    dlg::winAlert(why, kTitle);
    focus(window.ocodcli);
    return true;
}

}  // namespace

void saveRecord(ClientWindow& window)
{
    if (codeRefused(window))
        return;
    // A refused write (a conflict, a code taken, a lost server) keeps the
    // form in editing with the user's values.
    pgsql::DataObject& rec = record(window, "RecordPut");
    const std::string code = memberText(window, "codcli");
    if (!rec.recordPut(conditionOfCode(window))) {
        const pgsql::Failure& f = rec.lastFailure();
        if (f.kind == pgsql::FailureKind::Gone)
            return clientGone(window, storedCode(window), f);
        if (f.kind == pgsql::FailureKind::DuplicateKey)
            sayInstead(f, "Ya existe un cliente con el código " + code + ". Sus cambios no se guardaron.");
    } else {
        window.app(appSlot::Editing) = false;
    }
    followInBrowse(window);
    focus(window.ocodcli);
    showRecord(window, {28});
}

void newRecord(ClientWindow& window)
{
    if (!mayLeaveRecord(window))
        return;
    record(window, "RecordBlank").recordBlank();
    window.app(appSlot::Editing) = true;
    showRecord(window, {28});
    refreshAll(window.oBrowse);
    focus(window.ocodcli);
}

void editRecord(ClientWindow& window)
{
    window.app(appSlot::Editing) = true;
    getRefresh(window.GetList, {28});
    focus(window.oNombre);
}

void deleteRecord(ClientWindow& window)
{
    const std::string code = storedCode(window);
    std::string who = code;
    for (const char* member : {"nombre", "apell"})
        if (const std::string part = storedText(window, member); !part.empty())
            who += " " + part;
    // The client's row of the second table goes with it: a later client
    // with the same code must not inherit it.
    const bool second = hasSecondRow(window, code);
    if (!dlg::askYesNo("¿Borrar el cliente " + who + (second ? " y sus datos de dxcam01e" : "") + "?", kTitle))
        return;
    pgsql::DataObject& rec = record(window, "RecordDelete");
    if (rec.recordDelete(conditionOfStoredCode(window), {{"dxcam01e", "codcli"}}))
        window.app(appSlot::Editing) = false;
    else if (rec.lastFailure().kind == pgsql::FailureKind::Gone)
        return clientGone(window, code, rec.lastFailure());
    followInBrowse(window);
    showRecord(window, {28});
}

void refreshTable(ClientWindow& window)
{
    if (!mayLeaveRecord(window))
        return;
    record(window, "Refresh").refresh();
    followInBrowse(window);
    showRecord(window, {28});
}

void showPicture(const ClientWindow& window)
{
    if (window.app(appSlot::Picture).isObject())
        dlg::bitMapDraw(window.app(appSlot::Picture), record(window, "FieldGetPicture").fieldGetPicture({}));
}

void refreshBrowse(ClientWindow& window)
{
    browseSet(window, "Refresh").refresh();
    refreshAll(window.oBrowse);
    getRefresh(window.GetList, {28});
}

void nextMatch(ClientWindow& window)
{
    if (!mayLeaveRecord(window))
        return;
    const bool found = record(window, "LocateNext").locateNext();
    if (!found && !rt::isTrue(rt::getMember(window.app(appSlot::Record), "lError")))
        dlg::winAlert("Ese era el último cliente encontrado.", kTitle);
    followInBrowse(window);
    showRecord(window, {28, 1});
    focus(window.app(appSlot::SearchField));
}

void followInBrowse(ClientWindow& window)
{
    const std::int64_t shown = record(window, "recno").recno();
    pgsql::DataObject& rows = browseSet(window, "seek");
    if (shown > 0 && rows.recno() != shown && !rows.seek(rt::Value::integer(shown), "recno")) {
        rows.refresh();  // a client saved since the browse last read
        rows.seek(rt::Value::integer(shown), "recno");
    }
    refreshAll(window.oBrowse);
}

void followBrowse(ClientWindow& window)
{
    // The form being edited stays; the browse comes back to it when the
    // editing ends. A move the window makes itself finds both on one client.
    static bool following = false;
    if (following || window.editing())
        return;
    const std::int64_t row = browseSet(window, "recno").recno();
    if (row <= 0 || row == record(window, "recno").recno())
        return;
    following = true;
    rt::runReporting([&] { chooseRow(window); });
    following = false;
}

void sortBrowse(ClientWindow& window)
{
    browseSet(window, "sort").sort(rt::var2char(window.app(appSlot::OrderColumn)));
    followInBrowse(window);
    showSearchOrder(window);
}

void showSearchOrder(const ClientWindow& window)
{
    const gui::XbpPart* part = gui::asPart(window.app(appSlot::SearchField));
    if (auto* field = part ? qobject_cast<QLineEdit*>(part->widget()) : nullptr)
        field->setPlaceholderText(
            QString::fromStdString("Buscar por " + orderCaption(rt::var2char(window.app(appSlot::OrderColumn)))));
}

void restoreOrder(ClientWindow& window)
{
    const rt::Value saved = keptWindow(KeptEntry::Order);
    const auto& names = window.aOrderBy.asArray().items;
    const bool known = saved.isChar() && std::any_of(names.begin(), names.end(), [&](const rt::Value& n) {
        return n.isChar() && n.asString() == saved.asString();
    });
    if (!known || saved.asString() == rt::var2char(window.app(appSlot::OrderColumn)))
        return;
    pgsql::DataObject& rows = browseSet(window, "sort");
    if (!rows.sort(saved.str()))
        return;
    window.app(appSlot::OrderColumn) = saved;
    if (const std::int64_t shown = record(window, "recno").recno(); shown > 0)
        rows.seek(rt::Value::integer(shown), "recno");
}

}  // namespace app::client
