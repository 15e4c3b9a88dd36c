// What the client window's buttons do, and the question that guards typed
// work before the form shows another client or the window closes.
#include "app/client.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/dataobject.h"
#include "platform/runtime/block.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

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
    record(s, "RecordCancel").recordCancel();
    refreshAll(s.oBrowse);
    s.app(appSlot::Editing) = false;
    showRecord(s, {28});
}

void saveRecord(ClientWindow& s)
{
    // A refused write (a conflict, a code taken, a lost server) keeps the
    // form in editing with the user's values.
    const std::string condition = conditionOfCode(s);
    const bool saved = record(s, "RecordPut").recordPut(condition);
    if (saved)
        s.app(appSlot::Editing) = false;
    refreshAll(s.oBrowse);
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
    std::string who = memberText(s, "codcli");
    for (const char* member : {"nombre", "apell"})
        if (const std::string part = memberText(s, member); !part.empty())
            who += " " + part;
    if (!dlg::askYesNo("¿Borrar el cliente " + who + "?", kTitle))
        return;
    const std::string condition = conditionOfCode(s);
    if (record(s, "RecordDelete").recordDelete(condition))
        s.app(appSlot::Editing) = false;
    refreshAll(s.oBrowse);
    showRecord(s, {28});
}

void refreshTable(ClientWindow& s)
{
    if (!mayLeaveRecord(s))
        return;
    record(s, "Refresh").refresh();
    refreshAll(s.oBrowse);
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
    refreshAll(s.oBrowse);
    showRecord(s, {28, 1});
    focus(s.app(appSlot::SearchField));
}

}  // namespace app::client
