// The client window's actions as functions its compiled texts call by name:
// "{|| ClientSave(aApp, GetList, oBrowse, ocodcli)}". Each is handed the
// window's variables it works on and runs the action over them.
#include "app/client.h"

#include "platform/dialog/dialog.h"
#include "platform/pgsql/dataobject.h"
#include "platform/runtime/array.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <initializer_list>
#include <iterator>
#include <utility>

namespace app {

namespace {

using Var = rt::Value ClientWindow::*;

// A window's aApp: an array with every entry the actions read.
bool isAppArray(const rt::Value& aApp) { return aApp.isArray() && aApp.asArray().size() >= appSlot::Count; }

// The window as the arguments give it: aApp, GetList, then `more` in order.
ClientWindow given(rt::Args a, const char* fn, std::initializer_list<Var> more)
{
    ClientWindow window;
    window.aApp = rt::argAt(a, 0);
    window.GetList = rt::argAt(a, 1);
    std::size_t i = 2;
    for (Var v : more)
        if (v)
            window.*v = rt::argAt(a, i++);
    if (!isAppArray(window.aApp) || !window.GetList.isArray())
        rt::raiseArg(fn, a);
    return window;
}

// A command of the window: its function name, the action and the variables
// the text hands it after aApp and GetList.
struct Command {
    const char* name;
    void (*run)(ClientWindow&);
    Var more[3];
};

constexpr Var kBrowse = &ClientWindow::oBrowse;
constexpr Var kConn = &ClientWindow::oConn;
constexpr Command kCommands[] = {
    {"ClientCancel", client::cancelEdit, {kBrowse, kConn}},
    {"ClientSave", client::saveRecord, {kBrowse, &ClientWindow::ocodcli, kConn}},
    {"ClientNew", client::newRecord, {kBrowse, &ClientWindow::ocodcli}},
    {"ClientEdit", client::editRecord, {&ClientWindow::oNombre}},
    {"ClientDelete", client::deleteRecord, {kBrowse, kConn}},
    {"ClientRefreshTable", client::refreshTable, {kBrowse}},
    {"ClientRefreshBrowse", client::refreshBrowse, {kBrowse}},
    {"ClientNextMatch", client::nextMatch, {kBrowse}},
    // the search text comes by reference: Like empties it
    {"ClientLike", client::likeSearch, {kBrowse, kConn, &ClientWindow::cBuscar}},
    {"ClientChoose", client::chooseRow, {kConn, kBrowse}},
    {"ClientFollowBrowse", client::followBrowse, {kConn, kBrowse}},
    {"ClientShowInBrowse", client::followInBrowse, {kBrowse}},
    {"ClientSort", client::sortBrowse, {kBrowse}},
};

template <std::size_t N>
rt::Value runCommand(rt::Args a)
{
    const Command& c = kCommands[N];
    ClientWindow window = given(a, c.name, {c.more[0], c.more[1], c.more[2]});
    c.run(window);
    return {};
}

template <std::size_t... N>
void registerCommands(std::index_sequence<N...>)
{
    (rt::registerFunction(kCommands[N].name, &runCommand<N>), ...);
}

}  // namespace

namespace client {

void likeSearch(ClientWindow& window)
{
    if (!mayLeaveRecord(window))
        return;
    Like(window.cBuscar, window.oConn, window.app(appSlot::Record), window.app(appSlot::OrderColumn));
    followInBrowse(window);
    showRecord(window, {dlg::type::Browse, dlg::type::Group});
    focus(window.app(appSlot::SearchField));
}

void chooseRow(ClientWindow& window)
{
    // A chosen row becomes the form's record: the record object is put on
    // the browse set's row before it is read. A Like search may have
    // narrowed the record object to other clients; then it reads the whole
    // table again, in its order, to find the chosen one.
    if (!mayLeaveRecord(window))
        return;
    const rt::Value recno = rt::Value::integer(browseSet(window, "recno").recno());
    if (!record(window, "seek").seek(recno, "recno")) {
        sqlRefresh(window.oConn, window.app(appSlot::Record), record(window, "sort").orderColumn(), {}, {}, {}, false);
        record(window, "seek").seek(recno, "recno");
    }
    RecordGet(window.aApp, window.GetList);
    followInBrowse(window);
}

}  // namespace client

void registerClientActions()
{
    registerCommands(std::make_index_sequence<std::size(kCommands)>());
    rt::registerFunction("ClientMayLeave", [](rt::Args a) {
        ClientWindow window = given(a, "ClientMayLeave", {});
        return rt::Value(client::mayLeaveRecord(window));
    });
    rt::registerFunction("ClientCodeChosen", [](rt::Args a) {
        ClientWindow window = given(a, "ClientCodeChosen", {&ClientWindow::oConn});
        const rt::Value& code = rt::argAt(a, 3);
        if (code.isChar())
            client::sayIfTaken(window, code.asString());
        return code;
    });
    rt::registerFunction("ClientShowPicture", [](rt::Args a) {
        ClientWindow window;
        window.aApp = rt::argAt(a, 0);
        if (!isAppArray(window.aApp))
            rt::raiseArg("ClientShowPicture", a);
        client::showPicture(window);
        return rt::Value();
    });
    rt::registerFunction("ClientRefreshAll", [](rt::Args a) {
        client::refreshAll(rt::argAt(a, 0));
        return rt::Value();
    });
}

}  // namespace app
