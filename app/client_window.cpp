// The client maintenance window: a form over one client of "dxcam01", a
// browse of all clients with seek-as-you-type and LIKE search, and the
// commands that create, edit, save, cancel and delete clients.
#include "app/client.h"
#include "app/messages.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/dialog_options.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/dataobject.h"
#include "platform/popup/popup.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/compiler.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace app {

rt::Value& ClientWindow::app(int n) const { return aApp.asArray().items[std::size_t(n) - 1]; }
bool ClientWindow::editing() const { return rt::isTrue(app(appSlot::Editing)); }

namespace {

using WeakWindow = std::weak_ptr<ClientWindow>;
std::weak_ptr<ClientWindow> g_running;

constexpr const char* kRecordColumns =
    "dxcam01.recno,dxcam01.codcli,dxcam01.nombre,dxcam01.apell,dxcam01.direccion,dxcam01.direccion2,"
    "dxcam01.feching,dxcam01.datacredit";
// The browse's "FECHA;REGISTRO" column reads feching, so the set selects it too.
constexpr const char* kBrowseColumns =
    "dxcam01.recno,dxcam01.codcli,dxcam01.nombre,dxcam01.apell,dxcam01.direccion,dxcam01.feching";

// A block of the window compiled from its text, which it carries; once the
// window is gone it does nothing.
rt::Value windowBlock(const WeakWindow& weak, const rt::Value& compiled)
{
    return rt::makeBlock(
        [weak, compiled](rt::Args a) -> rt::Value {
            if (const auto window = weak.lock())
                return rt::eval(compiled, a);
            return {};
        },
        compiled.asBlock().text());
}

// A block that runs a user action: failures of the server it meets are
// said once the action is over.
rt::Value windowAction(const WeakWindow& weak, const rt::Value& compiled)
{
    return rt::makeBlock(
        [weak, compiled](rt::Args a) -> rt::Value {
            const auto window = weak.lock();
            if (!window)
                return {};
            const UserAction action;
            return rt::eval(compiled, a);
        },
        compiled.asBlock().text());
}

// A get/set block over a variable of the window.
rt::Value anchor(const WeakWindow& weak, rt::Value ClientWindow::*var, const std::string& name)
{
    return dlg::getAnchorCB(
        [weak, var]() -> rt::Value {
            const auto window = weak.lock();
            return window ? (*window).*var : rt::Value();
        },
        [weak, var](const rt::Value& v) {
            if (const auto window = weak.lock())
                (*window).*var = v;
        },
        name);
}

// The names the window's texts use for the entries of aApp.
constexpr std::pair<const char*, int> kAppSlotNames[] = {
    {"APP_DIALOG", appSlot::Dialog},           {"APP_RECORD", appSlot::Record},
    {"APP_BROWSESET", appSlot::BrowseSet},     {"APP_SEARCHFIELD", appSlot::SearchField},
    {"APP_ORDERCOLUMN", appSlot::OrderColumn}, {"APP_PICTURE", appSlot::Picture},
    {"APP_EDITING", appSlot::Editing},
};

// The variables of the window its texts name.
constexpr std::pair<rt::Value ClientWindow::*, const char*> kWindowVariables[] = {
    {&ClientWindow::GetList, "GetList"}, {&ClientWindow::aApp, "aApp"},       {&ClientWindow::cBuscar, "cBuscar"},
    {&ClientWindow::aOrderBy, "aOrderBy"}, {&ClientWindow::oConn, "oConn"},   {&ClientWindow::cUsuario, "cUsuario"},
    {&ClientWindow::oBrowse, "oBrowse"}, {&ClientWindow::ocodcli, "ocodcli"}, {&ClientWindow::oNombre, "oNombre"},
    {&ClientWindow::oMyGroup1, "oMyGroup1"}, {&ClientWindow::oMyGroup2, "oMyGroup2"},
};

// What the window's texts compile against: its variables and the names of
// aApp's entries.
rt::Names windowNames(const WeakWindow& weak)
{
    rt::Names names;
    for (const auto& [var, name] : kWindowVariables)
        names.variables.emplace_back(name, anchor(weak, var, name));
    for (const auto& [name, n] : kAppSlotNames)
        names.constants.emplace_back(name, n);
    return names;
}

// The name of aApp[n] in the window's texts.
std::string appName(int n)
{
    for (const auto& [name, slotNo] : kAppSlotNames)
        if (slotNo == n)
            return std::string("aApp[") + name + "]";
    return "aApp[" + std::to_string(n) + "]";
}

// A get/set block over aApp[n].
rt::Value appAnchor(const WeakWindow& weak, int n)
{
    return dlg::getAnchorCB(
        [weak, n]() -> rt::Value {
            const auto window = weak.lock();
            return window ? window->app(n) : rt::Value();
        },
        [weak, n](const rt::Value& v) {
            if (const auto window = weak.lock())
                window->app(n) = v;
        },
        appName(n));
}

// The get/set block over aApp[1] that RK_ReadGUI hands the dialog to: the
// dialog then asks before Escape or closing the window discards typed work,
// and the window gets its resizing and fitted browse columns.
rt::Value dialogAnchor(const WeakWindow& weak)
{
    return dlg::getAnchorCB(
        [weak]() -> rt::Value {
            const auto window = weak.lock();
            return window ? window->app(appSlot::Dialog) : rt::Value();
        },
        [weak](const rt::Value& v) {
            const auto window = weak.lock();
            if (!window)
                return;
            window->app(appSlot::Dialog) = v;
            if (auto* d = v.isObject() ? dynamic_cast<dlg::DialogPart*>(&v.asObject()) : nullptr)
                d->mayEndWithoutOk = [weak] {
                    const auto window = weak.lock();
                    return !window || client::mayLeaveRecord(*window);
                };
            client::arrangeWindow(*window);
        },
        appName(appSlot::Dialog));
}

// A get/set block over a member of the record object aApp[2].
rt::Value memberAnchor(const WeakWindow& weak, const std::string& member)
{
    return dlg::getAnchorCB(
        [weak, member]() -> rt::Value {
            const auto window = weak.lock();
            return window && window->app(appSlot::Record).isObject() ? rt::getMember(window->app(appSlot::Record), member) : rt::Value();
        },
        [weak, member](const rt::Value& v) {
            if (const auto window = weak.lock(); window && window->app(appSlot::Record).isObject())
                rt::setMember(window->app(appSlot::Record), member, v);
        },
        appName(appSlot::Record) + ":" + member);
}

rt::Value src(const char* type, rt::Value var, rt::Value parent, rt::Value bound, std::string row, std::string col,
              std::string width, std::string height)
{
    return rt::makeArray({type, std::move(var), std::move(parent), std::move(bound), row, col, width, height});
}

// A layout number as the source texts write it: "1.1", "1.14", "16.0".
std::string layoutText(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    std::string shown = text;
    if (shown.size() > 3 && shown.back() == '0' && shown[shown.size() - 3] == '.')
        shown.pop_back();
    return shown;
}

// Appends the window's element records to GetList, in the order of the
// window's layout.
class Builder {
public:
    Builder(ClientWindow& window, const WeakWindow& weak) : window_(window), weak_(weak), list_(window.GetList), names_(windowNames(weak)) {}
    void build();

private:
    void push(rt::Value record) { list_.asArray().items.push_back(std::move(record)); }
    void set(int slotNo, const rt::Value& v) { dlg::getListSet(list_, slotNo, v); }
    [[nodiscard]] int count() const { return int(list_.asArray().size()); }

    void group(const char* caption, rt::Value ClientWindow::*var, const char* varName, double row, double height,
               const std::string& rowText);
    // A label the running row's step below the last; its source text says the step.
    void label(const char* caption, double step);
    void memberGet(const std::string& member, double row, double col, double width, const char* picture, rt::Value when,
                   rt::Value ClientWindow::*objectVar, const char* objectName);
    void button(const char* caption, double row, double col, double width, double height, const char* colText,
                rt::Value action, const char* tooltip, rt::Value when, rt::Value hide, bool twoLines);
    void column(const char* header, const std::string& text, int width, const char* picture);

    void formGroup();
    void browseGroup();
    void searchField();  // the search entry, "Siguiente" and "Like"
    void browseElement();
    void commandButtons();

    // The window's blocks, compiled from their texts.
    [[nodiscard]] rt::Value block(const std::string& text) const { return windowBlock(weak_, rt::compile(text, names_)); }
    [[nodiscard]] rt::Value action(const std::string& text) const { return windowAction(weak_, rt::compile(text, names_)); }
    [[nodiscard]] rt::Value whenEditing() const { return block("{|| aApp[APP_EDITING]}"); }
    [[nodiscard]] rt::Value whenEditingWithCode() const
    {
        return block("{|| aApp[APP_EDITING] .AND. !Empty(aApp[APP_RECORD]:codcli)}");
    }
    [[nodiscard]] rt::Value whenCurrentRow() const { return block("{|| aApp[APP_RECORD]:recno() > 0}"); }
    [[nodiscard]] rt::Value clientLookup(bool full) const;

    ClientWindow& window_;
    WeakWindow weak_;
    const rt::Value& list_;
    double xRow = 0.0;
    double xCol = 0.0;
    rt::Names names_;
    rt::Value group1_, group2_;
};

void Builder::group(const char* caption, rt::Value ClientWindow::*var, const char* varName, double row, double height,
                    const std::string& rowText)
{
    push(dlg::getTemplate(dlg::type::Group, 2));
    set(dlg::slot::Caption, caption);
    set(dlg::slot::Row, row);
    set(dlg::slot::Col, 0.0);
    set(dlg::slot::Width, 70.0);
    set(dlg::slot::Height, height);
    set(dlg::slot::Anchor, anchor(weak_, var, varName));
    set(dlg::slot::Source, src("RKGROUP", varName, {}, {}, rowText, "0", "70.0", layoutText(height)));
}

void Builder::label(const char* caption, double step)
{
    xRow += step;
    push(dlg::getTemplate(dlg::type::Say, rt::Value(1)));
    set(dlg::slot::Caption, caption);
    set(dlg::slot::Row, xRow);
    set(dlg::slot::Col, 1.0);
    set(dlg::slot::ParentAnchor, group1_);
    set(dlg::slot::Source, src("RKSAYGET", {}, "oMyGroup1", caption, "xRow+=" + layoutText(step), "001.0", "", ""));
}

void Builder::memberGet(const std::string& member, double row, double col, double width, const char* picture,
                        rt::Value when, rt::Value ClientWindow::*objectVar, const char* objectName)
{
    const std::string bound = appName(appSlot::Record) + ":" + member;
    push(dlg::getTemplate(dlg::type::Get));
    set(dlg::slot::GetSet, memberAnchor(weak_, member));
    set(dlg::slot::Row, row);
    set(dlg::slot::Col, col);
    if (width > 0)
        set(dlg::slot::Width, width);
    set(dlg::slot::Picture, picture);
    set(dlg::slot::When, when);
    set(dlg::slot::VarName, rt::makeArray({bound, {}}));
    set(dlg::slot::LabelOf, count() - 1);
    set(dlg::slot::GetSet2, memberAnchor(weak_, member));
    set(dlg::slot::Id, dlg::getIdDefault({}, member, "GET_"));
    set(dlg::slot::ParentAnchor, group1_);
    if (objectVar)
        set(dlg::slot::Anchor, anchor(weak_, objectVar, objectName));
    set(dlg::slot::Source,
        src("RKSAYGET", objectName ? rt::Value(objectName) : rt::Value(), "oMyGroup1", bound, "xRow-0.1",
            rt::str(rt::Value(col), 4, 1), width > 0 ? rt::str(rt::Value(width), 4, 1) : "", ""));
}

void Builder::button(const char* caption, double row, double col, double width, double height, const char* colText,
                     rt::Value action, const char* tooltip, rt::Value when, rt::Value hide, bool twoLines)
{
    push(dlg::getTemplate(dlg::type::PushButton));
    set(dlg::slot::Caption, caption);
    set(dlg::slot::Row, row);
    set(dlg::slot::Col, col);
    set(dlg::slot::Width, width);
    set(dlg::slot::Height, height);
    set(dlg::slot::Action, action);
    set(dlg::slot::Options, rt::makeArray({{}, {}, {}, false, false, false, false, false}));
    if (tooltip)
        set(dlg::slot::Tooltip, tooltip);
    set(dlg::slot::When, when);
    set(dlg::slot::Hide, hide);
    if (twoLines)
        set(dlg::slot::ButtonStyle, 8192);
    set(dlg::slot::Source, src("RKPUSHBUTTON", {}, {}, {}, "xRow", colText, rt::str(rt::Value(width), 5, 2),
                               rt::str(rt::Value(height), 4, 2)));
}

// The client lookup of the code field; the date field's variant has no
// picture and no filter, and its result is not stored.
rt::Value Builder::clientLookup(bool full) const
{
    const std::string common = "oConn, \"Consulta de Cliente\", 60.3, 19, aApp[APP_RECORD]:codcli, \"codcli\", aCliente(), "
                               "\"dxcam01\", NIL, \"dxcam01.nombre\"";
    // A code chosen for the code field that another client holds is said at once.
    return action(full ? "{|| ClientCodeChosen(aApp, GetList, oConn, xbPopBrowse(" + common +
                             ", \"foto\", NIL, NIL, {\"Test\", {{\"estatus\", \"N\", .T.}, {\"estatus\", \"C\", .F.}}}))}"
                       : "{|| xbPopBrowse(" + common + ")}");
}

void Builder::formGroup()
{
    group("Test-Get", &ClientWindow::oMyGroup1, "oMyGroup1", 1.0, 8.0, layoutText(1.0));
    group1_ = anchor(weak_, &ClientWindow::oMyGroup1, "oMyGroup1");

    label("Nº Cliente:", 1.1);
    memberGet("codcli", xRow - 0.1, 15.0, 0, "@!K", whenEditing(), &ClientWindow::ocodcli, "ocodcli");
    set(dlg::slot::Valid, block("{|| ValidarCampo(1, aApp, GetList)}"));
    set(dlg::slot::Popup, rt::makeArray(
                {clientLookup(true), {}, false, false, false, {}, {}, {}, {}, {}, {}, false, {}, false, {}, {}, {}}));

    // The record toolbar: moves the record object and shows who saved it.
    popup::xbToolsBar(popup::ToolsBarSetup{
        .getList = list_,
        .row = xRow - 0.2,
        .col = 38.4,
        .connection = window_.oConn,
        .data = appAnchor(weak_, appSlot::Record),
        .parent = group1_,
        .audit = {{"Usuario", "id_usuario"}, {"Fecha", "id_Fecha"}, {"Hora", "id_hora"}},
        .afterMove = action("{|| RecordGet(aApp, GetList), ClientShowInBrowse(aApp, GetList, oBrowse)}"),
        .beforeMove = action("{|| ClientMayLeave(aApp, GetList)}")});

    label("Nombres:", 1.1);
    memberGet("nombre", xRow - 0.1, 15.0, 54.0, "@!K", whenEditing(), &ClientWindow::oNombre, "oNombre");
    label("Apellidos:", 1.1);
    memberGet("apell", xRow - 0.1, 15.0, 40.0, "@!K", whenEditingWithCode(), nullptr, nullptr);

    // The picture: a click chooses another one, only while editing.
    popup::xbBitmap(popup::BitmapSetup{.getList = list_,
                                       .row = xRow - 0.1,
                                       .col = 56.0,
                                       .data = window_.app(appSlot::Record),
                                       .receiver = appAnchor(weak_, appSlot::Picture),
                                       .cols = 13.0,
                                       .rows = 4.65,
                                       .parent = group1_});
    set(dlg::slot::When, whenEditing());

    label("Dirección 1:", 1.14);
    memberGet("direccion", xRow - 0.1, 15.0, 40.0, "@!K", whenEditingWithCode(), nullptr, nullptr);
    label("Dirección 2:", 1.14);
    memberGet("direccion2", xRow - 0.1, 15.0, 40.0, "@!K", whenEditingWithCode(), nullptr, nullptr);
    label("Fecha de Registro:", 1.1);
    memberGet("feching", xRow - 0.1, 15.0, 0, "@D", whenEditingWithCode(), nullptr, nullptr);
    // Entry 3 .T.: the lookup's answer is not stored into the date.
    set(dlg::slot::Popup, rt::makeArray(
                {clientLookup(false), {}, true, false, false, {}, {}, {}, {}, {}, {}, false, {}, false, {}, {}, {}}));

    push(dlg::getTemplate(dlg::type::CheckBox));
    set(dlg::slot::Row, xRow);
    set(dlg::slot::Col, 35.0);
    set(dlg::slot::When, whenEditingWithCode());
    set(dlg::slot::CheckCaption, rt::makeArray({"DataCredito", {}}));
    // The box's new state arrives as the block's argument and is written.
    set(dlg::slot::CheckData, block("{|x| RK_ReadVar(@aApp[APP_RECORD]:datacredit, x, NIL, .T.)}"));
    set(dlg::slot::ParentAnchor, group1_);
    set(dlg::slot::Source, src("RKCHECKBOX", {}, "oMyGroup1", "aApp[2]:datacredit", "xRow", "35.0", "", ""));
}

void Builder::searchField()
{
    // The search field: every key seeks in the browse set.
    const double searchCol = dlg::xcol(list_) + 1.2;
    push(dlg::getTemplate(dlg::type::Get, 0));
    set(dlg::slot::GetSet, anchor(weak_, &ClientWindow::cBuscar, "cBuscar"));
    set(dlg::slot::Row, 0.7);
    set(dlg::slot::Col, searchCol);
    set(dlg::slot::Width, 28.0);
    set(dlg::slot::Height, 1.01);
    set(dlg::slot::Picture, "@!K");
    set(dlg::slot::VarName, rt::makeArray({"cBuscar", {}}));
    set(dlg::slot::GetSet2, anchor(weak_, &ClientWindow::cBuscar, "cBuscar"));
    set(dlg::slot::Id, dlg::getIdDefault({}, "cBuscar", "GET_"));
    set(dlg::slot::Anchor, appAnchor(weak_, appSlot::SearchField));
    set(dlg::slot::KeyHandler,
        action("{|nKey, b, o| KeySeekBrow(nKey, b, aApp[APP_SEARCHFIELD], oBrowse, @cBuscar, aApp[APP_BROWSESET]), "
               "ClientFollowBrowse(aApp, GetList, oConn, oBrowse)}"));
    set(dlg::slot::ParentAnchor, group2_);
    set(dlg::slot::Source, src("RKGET", "aApp[5]", "oMyGroup2", "cBuscar", "0.7", "XCOL()+1.2", "28.0", "1.01"));

    const auto searchButton = [&](const char* caption, double width, rt::Value act) {
        button(caption, 0.6, dlg::xcol(list_), width, 1.18, "XCOL()+0.0", std::move(act), nullptr, {}, {}, false);
        set(dlg::slot::ParentAnchor, group2_);
        set(dlg::slot::Source,
            src("RKPUSHBUTTON", {}, "oMyGroup2", {}, "0.6", "XCOL()+0.0", rt::str(rt::Value(width), 4, 1), "1.18"));
    };
    searchButton("Siguiente", 8.0, action("{|| ClientNextMatch(aApp, GetList, oBrowse)}"));
    searchButton("Like", 6.0, action("{|| ClientLike(aApp, GetList, oBrowse, oConn, @cBuscar)}"));
}

void Builder::browseGroup()
{
    constexpr double step = 2.8;
    xRow += step;
    group("Test-Browse", &ClientWindow::oMyGroup2, "oMyGroup2", xRow, 15.3, "xRow+=" + layoutText(step));
    group2_ = anchor(weak_, &ClientWindow::oMyGroup2, "oMyGroup2");

    // The ordering column of the browse set.
    push(dlg::getTemplate(dlg::type::ComboBox, 3));
    const rt::Value names = anchor(weak_, &ClientWindow::aOrderBy, "aOrderBy");
    set(dlg::slot::GetSet, client::captionAnchor(appAnchor(weak_, appSlot::OrderColumn), names));
    set(dlg::slot::Row, 0.7);
    set(dlg::slot::Col, 0.5);
    set(dlg::slot::Width, 13.5);
    set(dlg::slot::Height, 10.5);
    set(dlg::slot::When, whenEditingWithCode());
    set(dlg::slot::Options, rt::makeArray({false, false}));
    set(dlg::slot::GetSet2, rt::makeArray({client::orderCaptions(names), "aOrderBy"}));
    set(dlg::slot::Change, action("{|| ClientSort(aApp, GetList, oBrowse)}"));
    set(dlg::slot::ParentAnchor, group2_);
    set(dlg::slot::Source, src("RKCOMBOBOX", {}, "oMyGroup2", "aApp[6]", "0.7", "0.5", "13.5", "10.5"));

    searchField();

    // The browse toolbar: moves the browse set and redraws the browse.
    popup::xbToolsBar(popup::ToolsBarSetup{.getList = list_,
                                           .row = 0.65,
                                           .col = dlg::xcol(list_) + 6.0,
                                           .data = window_.app(appSlot::BrowseSet),
                                           .parent = group2_,
                                           .afterMove = block("{|| ClientRefreshAll(oBrowse)}"),
                                           .browse = true});
    browseElement();
}

void Builder::column(const char* header, const std::string& text, int width, const char* picture)
{
    push(dlg::getTemplate(dlg::type::Column));
    set(dlg::slot::Caption, header);
    set(dlg::slot::Width, width);
    if (picture)
        set(dlg::slot::Picture, picture);
    set(dlg::slot::Options,
        rt::makeArray({{}, {}, {}, {}, {}, false, false, false, false, false, false, false, false}));
    set(dlg::slot::ParentAnchor, anchor(weak_, &ClientWindow::oBrowse, "oBrowse"));
    set(dlg::slot::GetSet2, rt::makeArray({block("{|| " + text + "}"), text}));
    set(dlg::slot::Source, src("RKBROWSECOL", {}, "oBrowse", text, "", "", std::to_string(width), ""));
}

void Builder::browseElement()
{
    push(dlg::getTemplate(dlg::type::Browse));
    set(dlg::slot::Row, 2.0);
    set(dlg::slot::Col, 0.76);
    set(dlg::slot::Width, 69.0);
    set(dlg::slot::Height, 13.0);
    set(dlg::slot::Presentation, popup::sqlBrowPres(17));
    set(dlg::slot::Colors, rt::makeArray({block("{|l| SQLBrowseZebra(l)}"), {}}));
    set(dlg::slot::GetSet2, rt::makeArray({appAnchor(weak_, appSlot::BrowseSet), appName(appSlot::BrowseSet)}));
    set(dlg::slot::CellEdit, rt::makeArray({{}, {}, {}, {}, {}, false, {}}));
    set(dlg::slot::CursorMode, 3);

    rt::Value options = rt::Value::array(dlg::kBrowseOptions);
    auto& o = options.asArray().items;
    const auto opt = [&o](int n, rt::Value v) { o[dlg::index(n)] = std::move(v); };
    using namespace dlg::browseOption;
    for (int n : {IsScope, NoVScroll, NoHScroll, NoSoftTrack, Fit, Optimize, NoSizeCols, Descending, RightButtonSelect,
                  NoDescendToggle, NoRestore, ResizeColumns, TagEnable})
        opt(n, false);
    opt(HeaderLines, 2);
    opt(UseVisualStyle, true);
    opt(ItemSelected, action("{|| ClientChoose(aApp, GetList, oConn, oBrowse)}"));
    opt(ItemMarked, action("{|| ClientFollowBrowse(aApp, GetList, oConn, oBrowse)}"));
    set(dlg::slot::Options, options);
    set(dlg::slot::Anchor, anchor(weak_, &ClientWindow::oBrowse, "oBrowse"));
    set(dlg::slot::Id, std::string(client::kBrowseId));
    set(dlg::slot::ParentAnchor, group2_);
    set(dlg::slot::Source, src("RKBROWSE", "oBrowse", "oMyGroup2", "aApp[03]", "2.0", "0.76", "69.0", "13.0"));

    column(";RECNO", "aApp[APP_BROWSESET]:recno()", 4, nullptr);
    column("Nº;CLIENTE", "aApp[APP_BROWSESET]:codcli", 5, nullptr);
    column(";NOMBRES", "aApp[APP_BROWSESET]:nombre", 15, nullptr);
    column(";APELLIDOS", "aApp[APP_BROWSESET]:apell", 15, nullptr);
    column("FECHA;REGISTRO", "aApp[APP_BROWSESET]:feching", 6, "@D");
}

// The command row. Exit and Cancel share a place: each is hidden while the
// other shows.
struct Command {
    const char* caption;
    double step;  // added to the running column first; 0: at the row's start
    double width;
    const char* tooltip;
    const char* action;
    enum { Always, Editing, CurrentRow } when;
    enum { Never, WhileEditing, WhileViewing } hide;
    bool twoLines;
};
constexpr Command kCommands[] = {
    {"Exit", 0.0, 6.8, "Update Record", "{|| RK_ReadGuiEvent(6, GetList)}", Command::Always,
     Command::WhileEditing, false},
    {"Cancel", 0.0, 6.8, "Cancel Record", "{|| ClientCancel(aApp, GetList, oBrowse, oConn)}", Command::Always,
     Command::WhileViewing, false},
    // Save takes a click while the code is empty, to say that it is missing.
    {"Save", 6.8, 6.8, "Update/Insert Record", "{|| ClientSave(aApp, GetList, oBrowse, ocodcli, oConn)}",
     Command::Editing, Command::Never, false},
    {"New", 6.8, 6.8, "Blank  Record", "{|| ClientNew(aApp, GetList, oBrowse, ocodcli)}",
     Command::CurrentRow, Command::Never, false},
    {"Edit", 6.8, 6.8, "Edit Record", "{|| ClientEdit(aApp, GetList, oNombre)}", Command::CurrentRow,
     Command::Never, false},
    {"Delete", 6.8, 6.8, "Delete Record", "{|| ClientDelete(aApp, GetList, oBrowse, oConn)}",
     Command::CurrentRow, Command::Never, false},
    {"Refresh;Tabla", 16.0, 8.8, nullptr, "{|| ClientRefreshTable(aApp, GetList, oBrowse)}",
     Command::CurrentRow, Command::Never, true},
    {"Refresh;Picture", 8.8, 8.8, nullptr, "{|| ClientShowPicture(aApp)}", Command::Always,
     Command::Never, true},
    {"Refresh;Browse", 8.8, 8.8, nullptr, "{|| ClientRefreshBrowse(aApp, GetList, oBrowse)}",
     Command::CurrentRow, Command::Never, true},
};

void Builder::commandButtons()
{
    xRow += 15.8;
    xCol = 0.5;
    const auto editFlag = [this](bool shownWhenEditing) {
        return block(shownWhenEditing ? "{|| !aApp[APP_EDITING]}" : "{|| aApp[APP_EDITING]}");
    };
    for (const Command& c : kCommands) {
        const rt::Value when = c.when == Command::Editing      ? whenEditing()
                               : c.when == Command::CurrentRow ? whenCurrentRow()
                                                               : rt::Value();
        const rt::Value hide = c.hide == Command::Never ? rt::Value() : editFlag(c.hide == Command::WhileViewing);
        const std::string colText = c.step > 0 ? "xCol+=" + layoutText(c.step) : layoutText(xCol);
        button(c.caption, xRow, xCol += c.step, c.width, 1.8, colText.c_str(), action(c.action), c.tooltip, when, hide,
               c.twoLines);
    }
}

void Builder::build()
{
    formGroup();
    browseGroup();
    commandButtons();
}

// The read's options; only the focus highlighting is read by the dialog
// library, the other entries are handed to it as they stand.
rt::Value getOptions()
{
    rt::Value options = rt::Value::array(dlg::kDialogOptions);
    auto& o = options.asArray().items;
    const auto opt = [&o](int n, rt::Value v) { o[dlg::index(n)] = std::move(v); };
    using namespace dlg::readOption;
    for (int n : KeptSwitches)
        opt(n, true);
    for (int n : KeptEmptyPairs)
        opt(n, rt::makeArray({{}, {}}));
    opt(HiliteGets, 3);
    opt(KeptPairList, rt::makeArray({rt::makeArray({1, 7}), rt::makeArray({2, 0})}));
    opt(KeptNumber, 0);
    return options;
}

// PGSQL(...):new() over dxcam01.
rt::Value openDataObject(const pgsql::DataObject::Settings& settings)
{
    auto* data = new pgsql::DataObject;
    const rt::Value object(static_cast<rt::Object*>(data));
    data->configure(settings);
    data->open();
    return object;
}

std::string trimmedPublic(const char* name) { return rt::alltrim(rt::var2char(rt::publicGet(name))); }

// Releases what the window holds, on every way out of Test.
struct Teardown {
    ClientWindow& window;
    std::weak_ptr<ClientWindow> previous;
    ~Teardown()
    {
        window.GetList.asArray().items.clear();
        for (int n : {appSlot::Record, appSlot::BrowseSet})
            if (window.app(n).isObject()) {
                try {
                    client::dataObject(window.app(n), "DESTROY").destroy();
                } catch (...) {
                    // Releasing must not hide the error that ended the window.
                }
            }
        if (window.oConn.isObject())
            static_cast<pgsql::Connection&>(window.oConn.asObject()).close();
        g_running = previous;
    }
};

// The record object and the browse set over dxcam01; false, after a message
// box, when the table cannot be opened.
bool openDataObjects(ClientWindow& window, const WeakWindow& weak)
{
    const rt::Names names = windowNames(weak);
    const rt::Value auditValues = rt::makeArray({
        windowBlock(weak, rt::compile("{|| cUsuario}", names)),
        windowBlock(weak, rt::compile("{|| Date()}", names)),
        windowBlock(weak, rt::compile("{|| AMPM(Time())}", names)),
    });
    window.app(appSlot::Record) = openDataObject({.connection = window.oConn,
                                             .table = "dxcam01",
                                             .columns = kRecordColumns,
                                             .order = "dxcam01.recno",
                                             .startRow = 1,
                                             .auditColumns = {"dxcam01.ID_USUARIO", "dxcam01.ID_FECHA", "dxcam01.ID_HORA"},
                                             .auditValues = auditValues,
                                             .pictureColumn = "foto"});
    window.app(appSlot::BrowseSet) = openDataObject(
        {.connection = window.oConn, .table = "dxcam01", .columns = kBrowseColumns, .order = "dxcam01.nombre"});
    // Without its table the window has nothing to show: the user is told,
    // the reason also goes beside the console, and the program ends.
    for (int n : {appSlot::Record, appSlot::BrowseSet})
        if (!window.app(n).isObject() || rt::isTrue(rt::getMember(window.app(n), "lError"))) {
            const std::string why =
                window.app(n).isObject() ? rt::var2char(rt::getMember(window.app(n), "cError")) : std::string();
            std::fprintf(stderr, "dxc: the client table cannot be opened: %s\n", why.c_str());
            dlg::winAlert("La base de datos dxc no tiene la tabla de clientes dxcam01.\n" + why, client::kTitle);
            return false;
        }
    return true;
}

}  // namespace

std::shared_ptr<ClientWindow> runningClient() { return g_running.lock(); }

rt::Value compileWindowText(const std::shared_ptr<ClientWindow>& window, std::string_view text)
{
    return rt::compile(text, windowNames(window));
}

rt::Value Test(rt::Args args)
{
    const rt::Value& oDialog = rt::argAt(args, 0);
    const rt::Value& xCodCli = rt::argAt(args, 1);

    auto shared = std::make_shared<ClientWindow>();
    ClientWindow& window = *shared;
    const WeakWindow weak = shared;
    window.GetList = rt::Value::array();
    window.aApp = rt::Value::array(appSlot::Count);
    window.cBuscar = rt::replicate(" ", 100);
    window.aOrderBy = rt::Value::array();
    window.cUsuario = std::string(kUsuario);

    auto* conn = new pgsql::Connection;
    window.oConn = rt::Value(static_cast<rt::Object*>(conn));
    conn->connect(trimmedPublic("cHost"), "dxc", trimmedPublic("cUser"), trimmedPublic("cPass"),
                  int(rt::publicGet("nPort").asInt()));
    // The connection was the password's last use: a lost server is
    // reconnected by libpq, which keeps its own copy.
    const std::size_t passWidth = rt::utf8Length(rt::var2char(rt::publicGet("cPass")));
    rt::publicSet("cPass", rt::replicate(" ", std::max<std::size_t>(passWidth, 12)));
    if (rt::isTrue(conn->lError)) {
        std::fprintf(stderr, "dxc: %s\n", conn->errorText().c_str());
        dlg::winAlert(connectionFailureMessage(conn->errorText()), client::kTitle);
        return false;
    }

    Teardown teardown{window, g_running};
    g_running = shared;

    window.app(appSlot::Editing) = false;
    if (!openDataObjects(window, weak))
        return false;
    // The form and the browse start on the same client.
    if (!rt::isEmpty(xCodCli)) {
        client::record(window, "seek").seek(xCodCli, "codcli");
        client::browseSet(window, "seek").seek(xCodCli, "codcli");
    } else if (const std::int64_t shown = client::browseSet(window, "recno").recno(); shown > 0) {
        client::record(window, "seek").seek(rt::Value::integer(shown), "recno");
    }
    window.app(appSlot::OrderColumn) = rt::Value(client::browseSet(window, "sort").orderColumn());

    const pgsql::DataObject& data = client::record(window, "FCount");
    for (std::int64_t i = 1; i <= data.fieldCount(); ++i)
        window.aOrderBy.asArray().items.push_back(rt::Value(data.fieldName(i)));
    client::restoreOrder(window);

    Builder(window, weak).build();

    client::keepLayout(weak);
    dlg::readGui(dlg::ReadSetup{.getList = window.GetList,
                                .title = std::string(client::kTitle),
                                .options = getOptions(),
                                .dialogReceiver = dialogAnchor(weak),
                                .owner = oDialog,
                                .startsOnValue = !rt::isEmpty(xCodCli),
                                .redraw = windowBlock(weak, rt::compile("{|| ClientRefreshAll(oBrowse)}", windowNames(weak)))});
    return {};
}

}  // namespace app
