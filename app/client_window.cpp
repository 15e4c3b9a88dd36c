// The client maintenance window: a form over one client of "dxcam01", a
// browse of all clients with seek-as-you-type and LIKE search, and the
// commands that create, edit, save, cancel and delete clients.
#include "app/client.h"
#include "app/messages.h"

#include "platform/dialog/dialog.h"
#include "platform/dialog/elements.h"
#include "platform/dialog/library.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/dataobject.h"
#include "platform/popup/popup.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/datetime.h"
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

using W = std::weak_ptr<ClientWindow>;
std::weak_ptr<ClientWindow> g_running;

constexpr const char* kRecordColumns =
    "dxcam01.recno,dxcam01.codcli,dxcam01.nombre,dxcam01.apell,dxcam01.direccion,dxcam01.direccion2,"
    "dxcam01.feching,dxcam01.datacredit";
// The browse's "FECHA;REGISTRO" column reads feching, so the set selects it too.
constexpr const char* kBrowseColumns =
    "dxcam01.recno,dxcam01.codcli,dxcam01.nombre,dxcam01.apell,dxcam01.direccion,dxcam01.feching";

// A block over the window; once the window is gone it does nothing.
template <class F>
rt::Value windowBlock(const W& w, F f, std::string text)
{
    return rt::makeBlock(
        [w, f](rt::Args a) -> rt::Value {
            if (const auto s = w.lock())
                return f(*s, a);
            return {};
        },
        std::move(text));
}

// A block that runs a user action: failures of the server it meets are
// said once the action is over.
template <class F>
rt::Value windowAction(const W& w, F f, std::string text)
{
    return windowBlock(
        w,
        [f](ClientWindow& s, rt::Args a) -> rt::Value {
            const UserAction action;
            return f(s, a);
        },
        std::move(text));
}

// A get/set block over a variable of the window.
rt::Value anchor(const W& w, rt::Value ClientWindow::*var, const std::string& name)
{
    return dlg::getAnchorCB(
        [w, var]() -> rt::Value {
            const auto s = w.lock();
            return s ? (*s).*var : rt::Value();
        },
        [w, var](const rt::Value& v) {
            if (const auto s = w.lock())
                (*s).*var = v;
        },
        name);
}

// A get/set block over aApp[n].
rt::Value appAnchor(const W& w, int n)
{
    return dlg::getAnchorCB(
        [w, n]() -> rt::Value {
            const auto s = w.lock();
            return s ? s->app(n) : rt::Value();
        },
        [w, n](const rt::Value& v) {
            if (const auto s = w.lock())
                s->app(n) = v;
        },
        "aApp[" + std::to_string(n) + "]");
}

// The get/set block over aApp[1] that RK_ReadGUI hands the dialog to: the
// dialog then asks before Escape or closing the window discards typed work,
// and the window gets its resizing and fitted browse columns.
rt::Value dialogAnchor(const W& w)
{
    return dlg::getAnchorCB(
        [w]() -> rt::Value {
            const auto s = w.lock();
            return s ? s->app(appSlot::Dialog) : rt::Value();
        },
        [w](const rt::Value& v) {
            const auto s = w.lock();
            if (!s)
                return;
            s->app(appSlot::Dialog) = v;
            if (auto* d = v.isObject() ? dynamic_cast<dlg::DialogPart*>(&v.asObject()) : nullptr)
                d->mayEndWithoutOk = [w] {
                    const auto s = w.lock();
                    return !s || client::mayLeaveRecord(*s);
                };
            client::arrangeWindow(*s);
        },
        "aApp[1]");
}

// A get/set block over a member of the record object aApp[2].
rt::Value memberAnchor(const W& w, const std::string& member)
{
    return dlg::getAnchorCB(
        [w, member]() -> rt::Value {
            const auto s = w.lock();
            return s && s->app(appSlot::Record).isObject() ? rt::getMember(s->app(appSlot::Record), member) : rt::Value();
        },
        [w, member](const rt::Value& v) {
            if (const auto s = w.lock(); s && s->app(appSlot::Record).isObject())
                rt::setMember(s->app(appSlot::Record), member, v);
        },
        "aApp[2]:" + member);
}

bool codeNotEmpty(const ClientWindow& s)
{
    return s.app(appSlot::Record).isObject() && !rt::isEmpty(rt::getMember(s.app(appSlot::Record), "codcli"));
}
bool hasCurrentRow(const ClientWindow& s)
{
    if (!s.app(appSlot::Record).isObject())
        return false;
    const rt::Value n = rt::sendWith(s.app(appSlot::Record), "recno");
    return n.isNum() && n.asDouble() > 0;
}

rt::Value src(const char* type, rt::Value var, rt::Value parent, rt::Value bound, std::string row, std::string col,
              std::string width, std::string height)
{
    return rt::makeArray({type, std::move(var), std::move(parent), std::move(bound), row, col, width, height});
}

// Appends the window's element records to GetList, in the order of the
// window's layout.
class Builder {
public:
    Builder(ClientWindow& s, const W& w) : s_(s), w_(w), list_(s.GetList) {}
    void build();

private:
    void push(rt::Value record) { list_.asArray().items.push_back(std::move(record)); }
    void set(int slotNo, const rt::Value& v) { dlg::getListSet(list_, slotNo, v); }
    [[nodiscard]] int count() const { return int(list_.asArray().size()); }

    void group(const char* caption, rt::Value ClientWindow::*var, const char* varName, double row, double height,
               const char* rowText, const char* heightText);
    void label(const char* caption, double row, const char* rowText, const rt::Value& parent, const char* parentName);
    void memberGet(const std::string& member, double row, double col, double width, const char* picture, rt::Value when,
                   rt::Value ClientWindow::*objectVar, const char* objectName);
    void button(const char* caption, double row, double col, double width, double height, const char* colText,
                rt::Value action, const char* tooltip, rt::Value when, rt::Value hide, bool twoLines);
    void column(const char* header, rt::Value data, const std::string& text, int width, const char* picture);

    void formGroup();
    void browseGroup();
    void searchField();  // the search entry, "Siguiente" and "Like"
    void browseElement();
    void commandButtons();

    [[nodiscard]] rt::Value whenEditing() const;
    [[nodiscard]] rt::Value whenEditingWithCode() const;
    [[nodiscard]] rt::Value whenCurrentRow() const;
    [[nodiscard]] rt::Value clientLookup(bool full) const;
    [[nodiscard]] rt::Value action(void (*f)(ClientWindow&), const char* text) const;

    ClientWindow& s_;
    W w_;
    const rt::Value& list_;
    double xRow = 0.0;
    double xCol = 0.0;
    rt::Value group1_, group2_;
};

rt::Value Builder::whenEditing() const
{
    return windowBlock(
        w_, [](ClientWindow& s, rt::Args) { return rt::Value(s.editing()); }, "{|| aApp[8]}");
}
rt::Value Builder::whenEditingWithCode() const
{
    return windowBlock(
        w_, [](ClientWindow& s, rt::Args) { return rt::Value(s.editing() && codeNotEmpty(s)); },
        "{|| aApp[8] .AND. !Empty(aApp[2]:codcli)}");
}
rt::Value Builder::whenCurrentRow() const
{
    return windowBlock(
        w_, [](ClientWindow& s, rt::Args) { return rt::Value(hasCurrentRow(s)); }, "{|| aApp[2]:recno > 0}");
}

rt::Value Builder::action(void (*f)(ClientWindow&), const char* text) const
{
    return windowAction(
        w_,
        [f](ClientWindow& s, rt::Args) {
            f(s);
            return rt::Value();
        },
        text);
}

void Builder::group(const char* caption, rt::Value ClientWindow::*var, const char* varName, double row, double height,
                    const char* rowText, const char* heightText)
{
    push(dlg::getTemplate(dlg::type::Group, 2));
    set(dlg::slot::Caption, caption);
    set(dlg::slot::Row, row);
    set(dlg::slot::Col, 0.0);
    set(dlg::slot::Width, 70.0);
    set(dlg::slot::Height, height);
    set(dlg::slot::Anchor, anchor(w_, var, varName));
    set(dlg::slot::Source, src("RKGROUP", varName, {}, {}, rowText, "0", "70.0", heightText));
}

void Builder::label(const char* caption, double row, const char* rowText, const rt::Value& parent,
                    const char* parentName)
{
    push(dlg::getTemplate(dlg::type::Say, rt::Value(1)));
    set(dlg::slot::Caption, caption);
    set(dlg::slot::Row, row);
    set(dlg::slot::Col, 1.0);
    set(dlg::slot::ParentAnchor, parent);
    set(dlg::slot::Source, src("RKSAYGET", {}, parentName, caption, rowText, "001.0", "", ""));
}

void Builder::memberGet(const std::string& member, double row, double col, double width, const char* picture,
                        rt::Value when, rt::Value ClientWindow::*objectVar, const char* objectName)
{
    const std::string bound = "aApp[2]:" + member;
    push(dlg::getTemplate(dlg::type::Get));
    set(dlg::slot::GetSet, memberAnchor(w_, member));
    set(dlg::slot::Row, row);
    set(dlg::slot::Col, col);
    if (width > 0)
        set(dlg::slot::Width, width);
    set(dlg::slot::Picture, picture);
    set(dlg::slot::When, when);
    set(dlg::slot::VarName, rt::makeArray({bound, {}}));
    set(dlg::slot::LabelOf, count() - 1);
    set(dlg::slot::GetSet2, memberAnchor(w_, member));
    set(dlg::slot::Id, dlg::getIdDefault({}, member, "GET_"));
    set(dlg::slot::ParentAnchor, group1_);
    if (objectVar)
        set(dlg::slot::Anchor, anchor(w_, objectVar, objectName));
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
    return windowAction(
        w_,
        [full](ClientWindow& s, rt::Args) {
            std::vector<rt::Value> a(14);
            a[0] = s.oConn;
            a[1] = "Consulta de Cliente";
            a[2] = 60.3;
            a[3] = 19;
            a[4] = rt::getMember(s.app(appSlot::Record), "codcli");
            a[5] = "codcli";
            a[6] = aCliente();
            a[7] = "dxcam01";
            a[9] = "dxcam01.nombre";
            if (full) {
                a[10] = "foto";
                a[13] = rt::makeArray({"Test", rt::makeArray({rt::makeArray({"estatus", "N", true}),
                                                              rt::makeArray({"estatus", "C", false})})});
            }
            return popup::xbPopBrowse(rt::Args(a.data(), a.size()));
        },
        "{|| xbPopBrowse(oConn, \"Consulta de Cliente\", ...)}");
}

void Builder::formGroup()
{
    group("Test-Get", &ClientWindow::oMyGroup1, "oMyGroup1", 1.0, 8.0, "1.0", "8.0");
    group1_ = anchor(w_, &ClientWindow::oMyGroup1, "oMyGroup1");

    label("Nº Cliente:", xRow += 1.1, "xRow+=1.1", group1_, "oMyGroup1");
    memberGet("codcli", xRow - 0.1, 15.0, 0, "@!K", whenEditing(), &ClientWindow::ocodcli, "ocodcli");
    set(dlg::slot::Valid,
        windowBlock(
            w_, [](ClientWindow& s, rt::Args) { return rt::Value(ValidarCampo(1, s.aApp, s.GetList)); },
            "{|| ValidarCampo(1, aApp, GetList)}"));
    set(dlg::slot::Popup, rt::makeArray(
                {clientLookup(true), {}, false, false, false, {}, {}, {}, {}, {}, {}, false, {}, false, {}, {}, {}}));

    // The record toolbar: moves the record object and shows who saved it.
    {
        std::vector<rt::Value> a(12);
        a[0] = list_;
        a[1] = xRow - 0.2;
        a[2] = 38.4;
        a[3] = s_.oConn;
        a[4] = appAnchor(w_, appSlot::Record);
        a[5] = group1_;
        a[6] = rt::makeArray({rt::makeArray({"Usuario", "id_usuario"}), rt::makeArray({"Fecha", "id_Fecha"}),
                              rt::makeArray({"Hora", "id_hora"})});
        a[7] = false;
        a[8] = windowAction(
            w_, [](ClientWindow& s, rt::Args) { return RecordGet(s.aApp, s.GetList); },
            "{|| RecordGet(aApp, GetList)}");
        a[9] = false;
        a[10] = windowAction(
            w_, [](ClientWindow& s, rt::Args) { return rt::Value(client::mayLeaveRecord(s)); },
            "{|| MayLeaveRecord()}");
        popup::xbToolsBar(rt::Args(a.data(), a.size()));
    }

    label("Nombres:", xRow += 1.1, "xRow+=1.1", group1_, "oMyGroup1");
    memberGet("nombre", xRow - 0.1, 15.0, 54.0, "@!K", whenEditing(), &ClientWindow::oNombre, "oNombre");
    label("Apellidos:", xRow += 1.1, "xRow+=1.1", group1_, "oMyGroup1");
    memberGet("apell", xRow - 0.1, 15.0, 40.0, "@!K", whenEditingWithCode(), nullptr, nullptr);

    // The picture: a click chooses another one, only while editing.
    {
        std::vector<rt::Value> a(10);
        a[0] = list_;
        a[1] = xRow - 0.1;
        a[2] = 56.0;
        a[3] = s_.app(appSlot::Record);
        a[5] = appAnchor(w_, appSlot::Picture);
        a[6] = rt::makeArray({13.0, 4.65});
        a[7] = group1_;
        a[9] = false;
        popup::xbBitmap(rt::Args(a.data(), a.size()));
        set(dlg::slot::When, whenEditing());
    }

    label("Dirección 1:", xRow += 1.14, "xRow+=1.14", group1_, "oMyGroup1");
    memberGet("direccion", xRow - 0.1, 15.0, 40.0, "@!K", whenEditingWithCode(), nullptr, nullptr);
    label("Dirección 2:", xRow += 1.14, "xRow+=1.14", group1_, "oMyGroup1");
    memberGet("direccion2", xRow - 0.1, 15.0, 40.0, "@!K", whenEditingWithCode(), nullptr, nullptr);
    label("Fecha de Registro:", xRow += 1.1, "xRow+=1.1", group1_, "oMyGroup1");
    memberGet("feching", xRow - 0.1, 15.0, 0, "@D", whenEditingWithCode(), nullptr, nullptr);
    // Entry 3 .T.: the lookup's answer is not stored into the date.
    set(dlg::slot::Popup, rt::makeArray(
                {clientLookup(false), {}, true, false, false, {}, {}, {}, {}, {}, {}, false, {}, false, {}, {}, {}}));

    push(dlg::getTemplate(dlg::type::CheckBox));
    set(dlg::slot::Row, xRow);
    set(dlg::slot::Col, 35.0);
    set(dlg::slot::When, whenEditingWithCode());
    set(dlg::slot::CheckCaption, rt::makeArray({"DataCredito", {}}));
    {
        const rt::Value member = memberAnchor(w_, "datacredit");
        // The box's new state arrives as the block's argument and is written.
        set(dlg::slot::CheckData,
            rt::makeBlock(
                [member](rt::Args a) { return dlg::readVar(member, rt::argAt(a, 0), true); },
                "{|x| RK_ReadVar(@aApp[2]:datacredit, x, NIL, .T.)}"));
    }
    set(dlg::slot::ParentAnchor, group1_);
    set(dlg::slot::Source, src("RKCHECKBOX", {}, "oMyGroup1", "aApp[2]:datacredit", "xRow", "35.0", "", ""));
}

void Builder::searchField()
{
    // The search field: every key seeks in the browse set.
    const double searchCol = dlg::xcol(list_) + 1.2;
    push(dlg::getTemplate(dlg::type::Get, 0));
    set(dlg::slot::GetSet, anchor(w_, &ClientWindow::cBuscar, "cBuscar"));
    set(dlg::slot::Row, 0.7);
    set(dlg::slot::Col, searchCol);
    set(dlg::slot::Width, 28.0);
    set(dlg::slot::Height, 1.01);
    set(dlg::slot::Picture, "@!K");
    set(dlg::slot::VarName, rt::makeArray({"cBuscar", {}}));
    set(dlg::slot::GetSet2, anchor(w_, &ClientWindow::cBuscar, "cBuscar"));
    set(dlg::slot::Id, dlg::getIdDefault({}, "cBuscar", "GET_"));
    set(dlg::slot::Anchor, appAnchor(w_, appSlot::SearchField));
    set(dlg::slot::KeyHandler, windowAction(
                                   w_,
                                   [w = w_](ClientWindow& s, rt::Args a) {
                                       return KeySeekBrow(rt::argAt(a, 0), rt::argAt(a, 1), s.app(appSlot::SearchField), s.oBrowse,
                                                          anchor(w, &ClientWindow::cBuscar, "cBuscar"), s.app(appSlot::BrowseSet));
                                   },
                                   "{|nKey, b, o| KeySeekBrow(nKey, b, aApp[5], oBrowse, @cBuscar, aApp[3])}"));
    set(dlg::slot::ParentAnchor, group2_);
    set(dlg::slot::Source, src("RKGET", "aApp[5]", "oMyGroup2", "cBuscar", "0.7", "XCOL()+1.2", "28.0", "1.01"));

    const auto searchButton = [&](const char* caption, double width, rt::Value act) {
        button(caption, 0.6, dlg::xcol(list_), width, 1.18, "XCOL()+0.0", std::move(act), nullptr, {}, {}, false);
        set(dlg::slot::ParentAnchor, group2_);
        set(dlg::slot::Source,
            src("RKPUSHBUTTON", {}, "oMyGroup2", {}, "0.6", "XCOL()+0.0", rt::str(rt::Value(width), 4, 1), "1.18"));
    };
    searchButton("Siguiente", 8.0, action(client::nextMatch, "{|| aApp[2]:LocateNext(), ...}"));
    searchButton("Like", 6.0,
                 windowAction(
                     w_,
                     [w = w_](ClientWindow& s, rt::Args) {
                         if (!client::mayLeaveRecord(s))
                             return rt::Value();
                         Like(anchor(w, &ClientWindow::cBuscar, "cBuscar"), s.oConn, appAnchor(w, appSlot::Record), s.app(appSlot::OrderColumn));
                         client::showRecord(s, {28, 1});
                         client::focus(s.app(appSlot::SearchField));
                         return rt::Value();
                     },
                     "{|| Like(@cBuscar, oConn, @aApp[2], aApp[6]), ...}"));
}

void Builder::browseGroup()
{
    xRow += 2.8;
    group("Test-Browse", &ClientWindow::oMyGroup2, "oMyGroup2", xRow, 15.3, "xRow+=2.8", "15.3");
    group2_ = anchor(w_, &ClientWindow::oMyGroup2, "oMyGroup2");

    // The ordering column of the browse set.
    push(dlg::getTemplate(dlg::type::ComboBox, 3));
    const rt::Value names = anchor(w_, &ClientWindow::aOrderBy, "aOrderBy");
    set(dlg::slot::GetSet, client::captionAnchor(appAnchor(w_, appSlot::OrderColumn), names));
    set(dlg::slot::Row, 0.7);
    set(dlg::slot::Col, 0.5);
    set(dlg::slot::Width, 13.5);
    set(dlg::slot::Height, 10.5);
    set(dlg::slot::When, whenEditingWithCode());
    set(dlg::slot::Options, rt::makeArray({false, false}));
    set(dlg::slot::GetSet2, rt::makeArray({client::orderCaptions(names), "aOrderBy"}));
    set(dlg::slot::Change, windowAction(
                w_,
                [](ClientWindow& s, rt::Args) {
                    rt::sendWith(s.app(appSlot::BrowseSet), "sort", s.app(appSlot::OrderColumn));
                    client::refreshAll(s.oBrowse);
                    return rt::Value();
                },
                "{|| aApp[3]:sort(aApp[6]), oBrowse:RefreshAll()}"));
    set(dlg::slot::ParentAnchor, group2_);
    set(dlg::slot::Source, src("RKCOMBOBOX", {}, "oMyGroup2", "aApp[6]", "0.7", "0.5", "13.5", "10.5"));

    searchField();

    // The browse toolbar: moves the browse set and redraws the browse.
    {
        std::vector<rt::Value> a(12);
        a[0] = list_;
        a[1] = 0.65;
        a[2] = dlg::xcol(list_) + 6.0;
        a[4] = s_.app(appSlot::BrowseSet);
        a[5] = group2_;
        a[7] = false;
        a[8] = windowBlock(
            w_,
            [](ClientWindow& s, rt::Args) {
                client::refreshAll(s.oBrowse);
                return rt::Value();
            },
            "{|| oBrowse:RefreshAll()}");
        a[9] = true;
        popup::xbToolsBar(rt::Args(a.data(), a.size()));
    }
    browseElement();
}

void Builder::column(const char* header, rt::Value data, const std::string& text, int width, const char* picture)
{
    push(dlg::getTemplate(dlg::type::Column));
    set(dlg::slot::Caption, header);
    set(dlg::slot::Width, width);
    if (picture)
        set(dlg::slot::Picture, picture);
    set(dlg::slot::Options,
        rt::makeArray({{}, {}, {}, {}, {}, false, false, false, false, false, false, false, false}));
    set(dlg::slot::ParentAnchor, anchor(w_, &ClientWindow::oBrowse, "oBrowse"));
    set(dlg::slot::GetSet2, rt::makeArray({data, text}));
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
    set(dlg::slot::Colors, rt::makeArray({rt::makeBlock([](rt::Args a) { return popup::sqlBrowseZebra(rt::argAt(a, 0)); },
                                         "{|l| SQLBrowseZebra(l)}"),
                           {}}));
    set(dlg::slot::GetSet2, rt::makeArray({appAnchor(w_, appSlot::BrowseSet), "aApp[03]"}));
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
    // A chosen row becomes the form's record: the record object is put on
    // the browse set's row before it is read. A Like search may have
    // narrowed the record object to other clients; then it reads the whole
    // table again, in its order, to find the chosen one.
    opt(ItemSelected, windowAction(
                w_,
                [](ClientWindow& s, rt::Args) {
                    if (!client::mayLeaveRecord(s))
                        return rt::Value();
                    const rt::Value recno = rt::sendWith(s.app(appSlot::BrowseSet), "recno");
                    if (!rt::isTrue(rt::sendWith(s.app(appSlot::Record), "seek", recno, "recno"))) {
                        client::sqlRefresh(s.oConn, s.app(appSlot::Record), rt::var2char(rt::sendWith(s.app(appSlot::Record), "sort")), {}, {},
                                           {}, false);
                        rt::sendWith(s.app(appSlot::Record), "seek", recno, "recno");
                    }
                    return RecordGet(s.aApp, s.GetList);
                },
                "{|| aApp[2]:seek(aApp[3]:recno(), \"recno\"), RecordGet(aApp, GetList)}"));
    set(dlg::slot::Options, options);
    set(dlg::slot::Anchor, anchor(w_, &ClientWindow::oBrowse, "oBrowse"));
    set(dlg::slot::ParentAnchor, group2_);
    set(dlg::slot::Source, src("RKBROWSE", "oBrowse", "oMyGroup2", "aApp[03]", "2.0", "0.76", "69.0", "13.0"));

    const auto field = [this](const char* name) {
        return windowBlock(
            w_, [n = std::string(name)](ClientWindow& s, rt::Args) { return rt::getMember(s.app(appSlot::BrowseSet), n); },
            std::string("{|| aApp[3]:") + name + "}");
    };
    column("1;RECNO",
           windowBlock(
               w_, [](ClientWindow& s, rt::Args) { return rt::sendWith(s.app(appSlot::BrowseSet), "recno"); }, "{|| aApp[3]:recno()}"),
           "aApp[3]:recno()", 4, nullptr);
    column("Nº;CLIENTE", field("codcli"), "aApp[3]:codcli", 5, nullptr);
    column(";NOMBRES", field("nombre"), "aApp[3]:nombre", 15, nullptr);
    column(";APELLIDOS", field("apell"), "aApp[3]:apell", 15, nullptr);
    column("FECHA;REGISTRO", field("feching"), "aApp[3]:feching", 6, "@D");
}

// The command row. Exit and Cancel share a place: each is hidden while the
// other shows.
struct Command {
    const char* caption;
    double step;  // added to the running column first
    const char* colText;
    double width;
    const char* tooltip;
    void (*run)(ClientWindow&);
    const char* text;
    enum { Always, EditingWithCode, CurrentRow } when;
    enum { Never, WhileEditing, WhileViewing } hide;
    bool twoLines;
};
constexpr Command kCommands[] = {
    {"Exit", 0.0, "0.5", 6.8, "Update Record", client::exitWindow, "{|| RK_ReadGuiEvent(6, GetList)}",
     Command::Always, Command::WhileEditing, false},
    {"Cancel", 0.0, "0.5", 6.8, "Cancel Record", client::cancelEdit, "{|| aApp[2]:RecordCancel(), ...}",
     Command::Always, Command::WhileViewing, false},
    {"Save", 6.8, "xCol+=6.8", 6.8, "Update/Insert Record", client::saveRecord, "{|| aApp[2]:RecordPut(...), ...}",
     Command::EditingWithCode, Command::Never, false},
    {"New", 6.8, "xCol+=6.8", 6.8, "Blank  Record", client::newRecord, "{|| aApp[2]:RecordBlank(.T.), ...}",
     Command::CurrentRow, Command::Never, false},
    {"Edit", 6.8, "xCol+=6.8", 6.8, "Edit Record", client::editRecord, "{|| aApp[8] := .T., ...}",
     Command::CurrentRow, Command::Never, false},
    {"Delete", 6.8, "xCol+=6.8", 6.8, "Delete Record", client::deleteRecord, "{|| aApp[2]:RecordDelete(...), ...}",
     Command::CurrentRow, Command::Never, false},
    {"Refresh;Tabla", 16.0, "xCol+=16.0", 8.8, nullptr, client::refreshTable, "{|| aApp[2]:Refresh(), ...}",
     Command::CurrentRow, Command::Never, true},
    {"Refresh;Picture", 8.8, "xCol+=8.8", 8.8, nullptr, [](ClientWindow& s) { client::showPicture(s); },
     "{|| RK_BitMapDraw(aApp[7], aApp[2]:FieldGetPicture())}", Command::Always, Command::Never, true},
    {"Refresh;Browse", 8.8, "xCol+=8.8", 8.8, nullptr, client::refreshBrowse, "{|| aApp[3]:Refresh(), ...}",
     Command::CurrentRow, Command::Never, true},
};

void Builder::commandButtons()
{
    xRow += 15.8;
    xCol = 0.5;
    const auto editFlag = [this](bool shownWhenEditing) {
        return windowBlock(
            w_, [shownWhenEditing](ClientWindow& s, rt::Args) { return rt::Value(s.editing() != shownWhenEditing); },
            shownWhenEditing ? "{|| !aApp[8]}" : "{|| aApp[8]}");
    };
    for (const Command& c : kCommands) {
        const rt::Value when = c.when == Command::EditingWithCode ? whenEditingWithCode()
                               : c.when == Command::CurrentRow    ? whenCurrentRow()
                                                                  : rt::Value();
        const rt::Value hide = c.hide == Command::Never ? rt::Value() : editFlag(c.hide == Command::WhileViewing);
        button(c.caption, xRow, xCol += c.step, c.width, 1.8, c.colText, action(c.run, c.text), c.tooltip, when, hide,
               c.twoLines);
    }
}

void Builder::build()
{
    formGroup();
    browseGroup();
    commandButtons();
}

// The read's options; only the focus highlighting has a name of ours, the
// other entries are handed to the dialog library as they stand.
rt::Value getOptions()
{
    rt::Value options = rt::Value::array(99);
    auto& o = options.asArray().items;
    const auto opt = [&o](int n, rt::Value v) { o[dlg::index(n)] = std::move(v); };
    for (int n : {23, 32, 33, 38, 52})
        opt(n, true);
    for (int n : {35, 43, 63, 77})
        opt(n, rt::makeArray({{}, {}}));
    opt(dlg::readOption::HiliteGets, 3);
    opt(59, rt::makeArray({rt::makeArray({1, 7}), rt::makeArray({2, 0})}));
    opt(64, 0);
    return options;
}

// PGSQL(...17 arguments):new().
rt::Value openDataObject(const rt::Value& oConn, const char* columns, const char* order, const rt::Value& nStart,
                         const rt::Value& audit, const rt::Value& auditValues, const rt::Value& picture)
{
    std::vector<rt::Value> a(17);
    a[0] = oConn;
    a[1] = "dxcam01";
    a[3] = columns;
    a[6] = rt::Value::array();
    a[7] = rt::Value::array();
    a[8] = order;
    a[11] = false;
    a[12] = nStart;
    a[13] = false;
    a[14] = audit;
    a[15] = auditValues;
    a[16] = picture;
    auto* data = new pgsql::DataObject;
    const rt::Value object(static_cast<rt::Object*>(data));
    data->configure(rt::Args(a.data(), a.size()));
    data->open();
    return object;
}

std::string trimmedPublic(const char* name) { return rt::alltrim(rt::var2char(rt::publicGet(name))); }

// Releases what the window holds, on every way out of Test.
struct Teardown {
    ClientWindow& s;
    std::weak_ptr<ClientWindow> previous;
    ~Teardown()
    {
        s.GetList.asArray().items.clear();
        for (int n : {appSlot::Record, appSlot::BrowseSet})
            if (s.app(n).isObject()) {
                try {
                    rt::sendWith(s.app(n), "DESTROY");
                } catch (...) {
                    // Releasing must not hide the error that ended the window.
                }
            }
        if (s.oConn.isObject())
            static_cast<pgsql::Connection&>(s.oConn.asObject()).close();
        g_running = previous;
    }
};

// The record object and the browse set over dxcam01; false, after a message
// box, when the table cannot be opened.
bool openDataObjects(ClientWindow& s)
{
    const rt::Value user = s.cUsuario;
    const rt::Value auditValues = rt::makeArray({
        rt::makeBlock([user](rt::Args) { return user; }, "{|| cUsuario}"),
        rt::makeBlock([](rt::Args) { return rt::Value(rt::today()); }, "{|| Date()}"),
        rt::makeBlock([](rt::Args) { return rt::Value(rt::ampm(rt::timeText())); }, "{|| AMPM(Time())}"),
    });
    s.app(appSlot::Record) = openDataObject(s.oConn, kRecordColumns, "dxcam01.recno", 1,
                              rt::makeArray({"dxcam01.ID_USUARIO", "dxcam01.ID_FECHA", "dxcam01.ID_HORA"}), auditValues,
                              "foto");
    s.app(appSlot::BrowseSet) = openDataObject(s.oConn, kBrowseColumns, "dxcam01.nombre", {}, {}, {}, {});
    // Without its table the window has nothing to show: the user is told,
    // the reason also goes beside the console, and the program ends.
    for (int n : {appSlot::Record, appSlot::BrowseSet})
        if (!s.app(n).isObject() || rt::isTrue(rt::getMember(s.app(n), "lError"))) {
            const std::string why =
                s.app(n).isObject() ? rt::var2char(rt::getMember(s.app(n), "cError")) : std::string();
            std::fprintf(stderr, "dxc: the client table cannot be opened: %s\n", why.c_str());
            dlg::winAlert("La base de datos dxc no tiene la tabla de clientes dxcam01.\n" + why, client::kTitle);
            return false;
        }
    return true;
}

}  // namespace

std::shared_ptr<ClientWindow> runningClient() { return g_running.lock(); }

rt::Value Test(rt::Args args)
{
    const rt::Value& oDialog = rt::argAt(args, 0);
    const rt::Value& xCodCli = rt::argAt(args, 1);

    auto window = std::make_shared<ClientWindow>();
    ClientWindow& s = *window;
    const W w = window;
    s.GetList = rt::Value::array();
    s.aApp = rt::Value::array(appSlot::Count);
    s.cBuscar = rt::replicate(" ", 100);
    s.aOrderBy = rt::Value::array();
    s.cUsuario = std::string(kUsuario);

    auto* conn = new pgsql::Connection;
    s.oConn = rt::Value(static_cast<rt::Object*>(conn));
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

    Teardown teardown{s, g_running};
    g_running = window;

    s.app(appSlot::Editing) = false;
    if (!openDataObjects(s))
        return false;
    // The form and the browse start on the same client.
    if (!rt::isEmpty(xCodCli)) {
        rt::sendWith(s.app(appSlot::Record), "seek", xCodCli, "codcli");
        rt::sendWith(s.app(appSlot::BrowseSet), "seek", xCodCli, "codcli");
    } else if (rt::sendWith(s.app(appSlot::BrowseSet), "recno").asDouble() > 0) {
        rt::sendWith(s.app(appSlot::Record), "seek", rt::sendWith(s.app(appSlot::BrowseSet), "recno"), "recno");
    }
    s.app(appSlot::OrderColumn) = rt::sendWith(s.app(appSlot::BrowseSet), "sort");

    const rt::Value fields = rt::sendWith(s.app(appSlot::Record), "FCount");
    for (std::int64_t i = 1; fields.isNum() && i <= fields.asInt(); ++i)
        s.aOrderBy.asArray().items.push_back(rt::sendWith(s.app(appSlot::Record), "FieldName", i));

    Builder(s, w).build();

    std::vector<rt::Value> a(30);
    a[0] = s.GetList;
    a[1] = std::string(client::kTitle);
    a[2] = getOptions();
    a[6] = dialogAnchor(w);
    a[7] = true;
    a[9] = false;
    a[10] = oDialog;
    a[11] = !rt::isEmpty(xCodCli);
    a[12] = windowBlock(
        w,
        [](ClientWindow& s, rt::Args) {
            client::refreshAll(s.oBrowse);
            return rt::Value();
        },
        "{|| oBrowse:RefreshAll()}");
    for (int i : {15, 21, 23, 25, 27, 30})
        a[std::size_t(i - 1)] = false;
    a[21] = true;
    dlg::readGui(rt::Args(a.data(), a.size()));
    return {};
}

}  // namespace app
