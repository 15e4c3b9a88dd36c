// The client window's helpers: RecordGet, aCliente, KeySeekBrow, Like,
// ValidarCampo and cChar.
#include "app/client.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"
#include "platform/grid/browse.h"
#include "platform/gui/events.h"
#include "platform/gui/xbppart.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/dataobject.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/codepage.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/error.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <array>
#include <utility>
#include <vector>

namespace app {

namespace client {

void getRefresh(const rt::Value& getList, std::initializer_list<int> skip)
{
    std::vector<rt::Value> types(skip.begin(), skip.end());
    dlg::getRefresh(getList, 4, rt::makeArray(std::move(types)));
}

namespace {

// What a send by name raises when the receiver cannot answer `member`.
[[noreturn]] void cannotAnswer(const rt::Value& v, std::string_view member)
{
    rt::Error e(v.isObject() ? "No such member" : "Not an object",
                (v.isObject() ? v.asObject().className() : std::string()) + ":" + std::string(member), {v});
    e.genCode = v.isObject() ? 13 : 4;
    rt::raise(std::move(e));
}

}  // namespace

pgsql::DataObject& dataObject(const rt::Value& v, std::string_view member)
{
    auto* data = v.isObject() ? dynamic_cast<pgsql::DataObject*>(&v.asObject()) : nullptr;
    if (!data)
        cannotAnswer(v, member);
    return *data;
}

pgsql::DataObject& record(const ClientWindow& window, std::string_view member)
{
    return dataObject(window.app(appSlot::Record), member);
}

pgsql::DataObject& browseSet(const ClientWindow& window, std::string_view member)
{
    return dataObject(window.app(appSlot::BrowseSet), member);
}

gui::XbpBrowse& grid(const rt::Value& v, std::string_view member)
{
    gui::XbpBrowse* b = gui::asBrowse(v);
    if (!b)
        cannotAnswer(v, member);
    return *b;
}

void refreshAll(const rt::Value& oBrowse)
{
    if (oBrowse.isObject())
        grid(oBrowse, "RefreshAll").refreshWhole();
}

rt::Value focus(const rt::Value& oElement)
{
    // Only a created element can take the focus; SetAppFocus refuses others.
    if (!gui::asPart(oElement))
        return {};
    return gui::setAppFocus(oElement);
}

void sqlRefresh(const rt::Value& oConn, const rt::Value& oDb, const std::string& order, const rt::Value& joinTable,
                const rt::Value& joinCond, const rt::Value& like, bool)
{
    const rt::Value db = deref(oDb);
    auto* data = db.isObject() ? dynamic_cast<pgsql::DataObject*>(&db.asObject()) : nullptr;
    if (!data)
        return;
    const auto text = [](const rt::Value& v) { return v.isChar() ? v.str() : std::string(); };
    data->sqlRefresh(oConn, "dxcam01." + order, text(joinTable), text(joinCond), text(like));
}

std::string orderCaption(std::string_view column)
{
    static const std::pair<std::string_view, std::string_view> captions[] = {
        {"recno", "Registro"},           {"codcli", "Código"},         {"nombre", "Nombre"},
        {"apell", "Apellidos"},          {"direccion", "Dirección 1"}, {"direccion2", "Dirección 2"},
        {"feching", "Fecha de Registro"}, {"datacredit", "DataCredito"},
    };
    const std::string name = rt::lower(rt::alltrim(column));
    for (const auto& [col, caption] : captions)
        if (col == name)
            return std::string(caption);
    return name;
}

rt::Value orderCaptions(const rt::Value& names)
{
    return dlg::getAnchorCB(
        [names] {
            std::vector<rt::Value> out;
            if (const rt::Value list = deref(names); list.isArray())
                for (const rt::Value& n : list.asArray().items)
                    out.emplace_back(orderCaption(rt::var2char(n)));
            return rt::makeArray(std::move(out));
        },
        [](const rt::Value&) {}, "aOrderBy");
}

rt::Value captionAnchor(const rt::Value& column, const rt::Value& names)
{
    return dlg::getAnchorCB([column] { return rt::Value(orderCaption(rt::var2char(deref(column)))); },
                            [column, names](const rt::Value& caption) {
                                const rt::Value list = deref(names);
                                if (!list.isArray())
                                    return;
                                for (const rt::Value& n : list.asArray().items)
                                    if (orderCaption(rt::var2char(n)) == rt::alltrim(rt::var2char(caption)))
                                        assignRef(column, n);
                            },
                            "aApp[6]");
}

}  // namespace client

rt::Value deref(const rt::Value& ref) { return ref.isBlock() ? rt::eval(ref) : ref; }

void assignRef(const rt::Value& ref, const rt::Value& v)
{
    if (ref.isBlock())
        rt::evalWith(ref, v);
}

namespace {

rt::Value& entry(const rt::Value& aApp, std::size_t n)
{
    auto& items = aApp.asArray().items;
    if (items.size() < n)
        items.resize(n);
    return items[n - 1];
}

bool isAppArray(const rt::Value& aApp) { return aApp.isArray(); }

// RK_ReadGuiLastKey(GetList[, nKey]).
long long lastKey(const rt::Value& getList)
{
    return dlg::readGuiLastKey(getList);
}
void clearLastKey(const rt::Value& getList) { dlg::readGuiLastKey(getList, 0); }

}  // namespace

rt::Value RecordGet(const rt::Value& aApp, const rt::Value& getList)
{
    if (!isAppArray(aApp))
        return {};
    entry(aApp, appSlot::Editing) = false;
    const rt::Value record = entry(aApp, appSlot::Record);
    client::dataObject(record, "RecordGet").recordGet();
    client::getRefresh(getList, {28, 1});
    if (const rt::Value picture = entry(aApp, appSlot::Picture); picture.isObject())
        dlg::bitMapDraw(picture, client::dataObject(record, "FieldGetPicture").fieldGetPicture("foto"));
    return {};
}

rt::Value aCliente()
{
    const auto col = [](const char* expr, const char* header, int width) {
        return rt::makeArray({expr, header, width, "@!"});
    };
    return rt::makeArray({
        col("dxcam01.codcli", "Nº;CLIENTE", 5),
        col("dxcam01.nombre", ";NOMBRES", 14),
        col("dxcam01.apell", ";APELLIDOS", 14),
        col("dxcam01.direccion", ";DIRECCION", 14),
        col("dxcam01.estatus", "", 1),
    });
}

rt::Value KeySeekBrow(const rt::Value& nKey, const rt::Value&, const rt::Value& oGet, const rt::Value& oBrowse,
                      const rt::Value& cSeek, const rt::Value& oData)
{
    // The search text is always what the field holds.
    if (oGet.isObject())
        assignRef(cSeek, rt::sendWith(oGet, "EditBuffer"));

    const long long k = nKey.isNum() ? nKey.asInt() : 0;
    const auto atBof = [&] { return client::dataObject(oData, "Bof").bof(); };
    const auto atEof = [&] { return client::dataObject(oData, "eof").eof(); };
    const auto move = [&](const char* method, void (gui::XbpBrowse::*step)()) {
        (client::grid(oBrowse, method).*step)();
        client::refreshAll(oBrowse);
    };

    if (k == gui::key::Tab || k == gui::key::Enter) {
        // the field's own handling
    } else if (k == gui::key::Up && !atBof()) {
        move("up", &gui::XbpBrowse::up);
    } else if (k == gui::key::Down && !atEof()) {
        move("down", &gui::XbpBrowse::down);
    } else if (k == gui::key::PgUp && !atBof()) {
        move("pageUp", &gui::XbpBrowse::pageUp);
    } else if (k == gui::key::PgDn && !atEof()) {
        move("pageDown", &gui::XbpBrowse::pageDown);
    } else if ((k > 31 && k < 254) || k == gui::key::Backspace || k == gui::key::Del) {
        const rt::Value text = deref(cSeek);
        const std::string wanted = text.isChar() ? rt::alltrim(text.asString()) : std::string();
        if (client::dataObject(oData, "locate").locate(wanted))
            client::refreshAll(oBrowse);
    }
    return client::focus(oGet);
}

rt::Value Like(const rt::Value& cSeek_, const rt::Value& oConn_, const rt::Value& oDb_, const rt::Value& cOrderBy_)
{
    const rt::Value text = deref(cSeek_);
    const std::string typed = text.isChar() ? rt::alltrim(text.asString()) : std::string();
    std::string cxSeek = typed;
    const std::string order = cOrderBy_.isChar() ? rt::alltrim(cOrderBy_.asString()) : std::string();
    const std::int64_t shown = client::dataObject(deref(oDb_), "recno").recno();

    if (!cxSeek.empty()) {
        if (client::dataObject(deref(oDb_), "FieldType").fieldType(order) == "D") {
            cxSeek = "%" + pgsql::dtoq(rt::Value(rt::ctod(cxSeek)), false) + "%";
        } else {
            cxSeek = "%" + cxSeek + "%";
        }
        client::sqlRefresh(oConn_, oDb_, order, {}, {}, rt::Value(cxSeek), false);
    } else {
        client::sqlRefresh(oConn_, oDb_, order, "dxcam01e", "dxcam01.codcli = dxcam01e.codcli", {}, true);
    }
    const rt::Value db = deref(oDb_);
    if (rt::isTrue(rt::getMember(db, "lError")))
        return db;  // the server's failure is said by the window; the text stays
    if (client::dataObject(db, "LastRec").lastRec() == 0) {
        // Nothing found: the whole table again on the client shown before,
        // and the search text kept for another try.
        client::sqlRefresh(oConn_, oDb_, order, {}, {}, {}, false);
        client::dataObject(db, "seek").seek(rt::Value::integer(shown), "recno");
        dlg::winAlert(typed.empty() ? std::string("No se encontraron clientes con datos en dxcam01e.")
                                    : "No se encontraron clientes para \"" + typed + "\".",
                      client::kTitle);
        return db;
    }
    assignRef(cSeek_, rt::replicate(" ", 100));
    return db;
}

bool ValidarCampo(const rt::Value& oCaso, const rt::Value& aApp, const rt::Value& getList)
{
    const bool caso1 = oCaso.isNum() && oCaso.asInt() == 1;
    const rt::Value record = isAppArray(aApp) ? entry(aApp, appSlot::Record) : rt::Value();
    const rt::Value code = record.isObject() ? rt::getMember(record, "codcli") : rt::Value();
    if (caso1 && rt::isEmpty(code) && lastKey(getList) == gui::key::Enter) {
        dlg::winAlert("Codigo de Producto no Puede Estar en Blanco, Verifique...", client::kTitle);
        clearLastKey(getList);
        return false;
    }
    if (caso1 && !rt::isEmpty(code)) {
        // The code as the table keeps it. One another client holds is said
        // at once; moving to that client would drop what is typed here.
        ClientWindow window;
        window.aApp = aApp;
        if (const auto running = runningClient())
            window.oConn = running->oConn;
        const std::string padded = client::padRecordCode(window);
        if (const auto owner = client::codeOwner(window, padded))
            dlg::winAlert(client::takenCodeMessage(padded, *owner), client::kTitle);
        client::getRefresh(getList, {28, 1});
    }
    clearLastKey(getList);
    return true;
}

std::string cChar(std::string_view cValor)
{
    // The substitutions as DOS (850) bytes; the text is Unicode here, so
    // each byte stands for the character it shows.
    static const std::vector<std::pair<std::string, std::string>> table = [] {
        const std::array<std::pair<unsigned char, unsigned char>, 6> bytes = {
            {{0x27, 0x22}, {0x81, 'u'}, {0x90, 'E'}, {0xBE, 'N'}, {0xAE, 0xAB}, {0xAA, 0xAC}}};
        std::vector<std::pair<std::string, std::string>> t;
        for (const auto& [from, to] : bytes)
            t.emplace_back(rt::cp::decode(std::string(1, char(from)), 850),
                           rt::cp::decode(std::string(1, char(to)), 850));
        return t;
    }();
    std::string out(cValor);
    for (const auto& [from, to] : table) {
        for (std::size_t at = out.find(from); at != std::string::npos; at = out.find(from, at + to.size()))
            out.replace(at, from.size(), to);
    }
    return out;
}

void registerClientFunctions()
{
    rt::registerFunction("Test", [](rt::Args a) { return Test(a); });
    rt::registerFunction("RecordGet", [](rt::Args a) { return RecordGet(rt::argAt(a, 0), rt::argAt(a, 1)); });
    rt::registerFunction("aCliente", [](rt::Args) { return aCliente(); });
    rt::registerFunction("KeySeekBrow", [](rt::Args a) {
        return KeySeekBrow(rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2), rt::argAt(a, 3), rt::argAt(a, 4),
                           rt::argAt(a, 5));
    });
    rt::registerFunction(
        "Like", [](rt::Args a) { return Like(rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2), rt::argAt(a, 3)); });
    rt::registerFunction("ValidarCampo", [](rt::Args a) {
        return rt::Value(ValidarCampo(rt::argAt(a, 0), rt::argAt(a, 1), rt::argAt(a, 2)));
    });
    rt::registerFunction("cChar", [](rt::Args a) { return rt::Value(cChar(rt::textArg(a, 0, "cChar"))); });
    registerClientActions();
}

}  // namespace app
