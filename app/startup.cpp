// Start-up: the database engine, the date settings, the server-settings
// dialog (up to four passes), the database "dxc", the import and the hand-over
// to the client window.
#include "app/dxc.h"
#include "app/client.h"
#include "app/console_lines.h"
#include "app/messages.h"

#include "browse/core/browse.h"

#include "platform/dbf/dbf.h"
#include "platform/dialog/dialog.h"
#include "platform/dialog/library.h"
#include "platform/gui/events.h"
#include "platform/pgsql/connection.h"
#include "platform/pgsql/dataobject.h"
#include "platform/popup/popup.h"
#include "platform/runtime/array.h"
#include "platform/runtime/block.h"
#include "platform/runtime/console.h"
#include "platform/runtime/datetime.h"
#include "platform/runtime/files.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace app {

namespace {

// The password's variable, blank: room for a password of up to 64
// characters, since the dialog's entry refuses text longer than its
// variable (a password is never shown, so its width shows nowhere).
rt::Value blankPassword() { return rt::Value(rt::replicate(" ", 64)); }

std::string trimmed(const char* publicName) { return rt::alltrim(rt::var2char(rt::publicGet(publicName))); }
int port() { return static_cast<int>(rt::publicGet("nPort").asInt()); }

// A connection with the program-wide settings; the reason of a failure goes
// to standard error, beside the console lines.
rt::Value connectTo(const std::string& database)
{
    auto* conn = new pgsql::Connection;
    rt::Value holder(static_cast<rt::Object*>(conn));
    conn->connect(trimmed("cHost"), database, trimmed("cUser"), trimmed("cPass"), port());
    if (conn->lError.isLogical() && conn->lError.asBool())
        std::fprintf(stderr, "dxc: %s\n", conn->errorText().c_str());
    return holder;
}

pgsql::Connection& connectionOf(const rt::Value& v) { return static_cast<pgsql::Connection&>(v.asObject()); }
bool failed(const rt::Value& v) { return connectionOf(v).lError.isLogical() && connectionOf(v).lError.asBool(); }

// The server-settings dialog: a label and an entry per setting, Connect and
// Cancel. Each pass lays it out from row 0.
void buildConnectionDialog(const rt::Value& getList)
{
    double xRow = 0.0;
    auto set = [&](int slot, const rt::Value& v) { dlg::getListSet(getList, slot, v); };
    auto push = [&](rt::Value record) { getList.asArray().items.push_back(std::move(record)); };
    auto say = [&](const char* caption, double step, const char* rowText) {
        xRow += step;
        push(dlg::getTemplate(dlg::type::Say, rt::Value(1)));
        set(dlg::slot::Caption, caption);
        set(dlg::slot::Row, xRow);
        set(dlg::slot::Col, 1.0);
        set(dlg::slot::Source, rt::makeArray({"RKSAYGET", {}, {}, caption, rowText, "001.0", "", ""}));
    };
    auto get = [&](const char* name, const char* picture, bool password) {
        push(dlg::getTemplate(dlg::type::Get));
        set(dlg::slot::GetSet, dlg::publicAnchorCB(name));
        set(dlg::slot::Row, xRow - 0.1);
        set(dlg::slot::Col, 10.0);
        set(dlg::slot::Picture, picture);
        set(dlg::slot::VarName, rt::makeArray({name, {}}));
        set(dlg::slot::LabelOf, static_cast<int>(getList.asArray().size()) - 1);
        set(dlg::slot::GetSet2, dlg::publicAnchorCB(name));
        if (password)
            set(dlg::slot::Password, rt::makeArray({true, {}, false}));
        set(dlg::slot::Id, dlg::getIdDefault({}, name, "GET_"));
        set(dlg::slot::Source, rt::makeArray({"RKSAYGET", {}, {}, name, "xRow-0.1", "10.0", "", ""}));
    };
    // The default button is pressed by Enter in any field.
    auto button = [&](const char* caption, double col, const char* rowText, const char* colText, int event,
                      bool isDefault) {
        push(dlg::getTemplate(dlg::type::PushButton));
        set(dlg::slot::Caption, caption);
        set(dlg::slot::Row, xRow);
        set(dlg::slot::Col, col);
        set(dlg::slot::Width, 8.0);
        set(dlg::slot::Height, 1.8);
        set(dlg::slot::Action, rt::makeBlock([getList, event](rt::Args) { return dlg::readGuiEvent(event, getList); },
                                             "{|| RK_ReadGuiEvent(" + std::to_string(event) + ", GetList)}"));
        set(dlg::slot::Options, rt::makeArray({{}, {}, {}, isDefault, false, false, false, false}));
        set(dlg::slot::Source, rt::makeArray({"RKPUSHBUTTON", {}, {}, {}, rowText, colText, "08.00", "1.8"}));
    };

    say("HostName:", 0.0, "xRow+=0.0");
    get("cHost", "@k", false);
    say("NumberPort:", 1.1, "xRow+=1.1");
    // Five digits: ports go up to 65535, and "9999" would show a port such
    // as 54329 as asterisks.
    get("nPort", "99999", false);
    say("UserName:", 1.1, "xRow+=1.1");
    get("cUser", "@k", false);
    say("PassWord:", 1.1, "xRow+=1.1");
    get("cPass", "@k", true);
    xRow += 2.1;
    button("Connect", 1.0, "xRow+=2.1", "001.0", 6, true);
    button("Cancel", dlg::xcol(getList) + 1.0, "xRow", "XCOL()+1.0", 5, false);
}

bool runConnectionDialog(const rt::Value& getList)
{
    buildConnectionDialog(getList);
    dlg::ReadSetup setup;
    setup.getList = getList;
    setup.title = "Connection Server";
    const bool ok = dlg::readGui(setup);
    getList.asArray().items.clear();
    return ok;
}

// Fills a program-wide text variable, keeping at least its initial width so
// the entry field has room.
void prefill(const char* name, const std::optional<std::string>& value)
{
    if (!value)
        return;
    const std::size_t width = rt::utf8Length(rt::publicGet(name).asString());
    rt::publicSet(name, rt::padR(*value, std::max(width, rt::utf8Length(*value))));
}

// The program-wide server settings, as the dialog starts with them, and the
// date format of the whole run.
void presetSettings(const Options& opts)
{
    rt::publicSet("cHost", rt::padR("localhost", 19));
    rt::publicSet("cUser", rt::padR("postgres", 18));
    rt::publicSet("cPass", blankPassword());
    rt::publicSet("nPort", 5432);
    prefill("cHost", opts.host);
    prefill("cUser", opts.user);
    if (opts.port)
        rt::publicSet("nPort", *opts.port);
    // Four-digit years, in the order the locale writes dates (dd-mm-yyyy
    // when it names none), as every tool shows them.
    rt::setDateFormat(rt::localeDateFormat());
}

// --dir: a folder that exists and can be listed ("" is the working folder).
bool folderReadable(const std::string& dir)
{
    if (dir.empty())
        return true;
    struct stat st{};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir.c_str(), R_OK | X_OK) == 0;
}

}  // namespace

void DbeSys()
{
    dbf::registerDbfFunctions();
    dbf::loadRdds();
    dbf::setDefaultEngine("FOXCDX");
    // A record marked deleted is not client data: it is not imported.
    dbf::setDeletedHidden(true);
}

void registerProgramFunctions()
{
    // The window's compiled blocks reach the platform's GUI functions
    // (SetAppFocus, PostAppEvent, ...) by name as well.
    gui::registerGuiFunctions();
    pgsql::registerPgsqlFunctions();
    dlg::registerDialogFunctions();
    browse::registerBrowseLibrary();
    popup::registerPopupFunctions();
    registerClientFunctions();
    installFailureMessages();
}

int runMain(const Options& opts)
{
    registerProgramFunctions();

    const rt::Value GetList = rt::Value::array();
    const std::string cDatabase = "dxc";
    if (!folderReadable(opts.dir)) {
        out({rt::Value("La carpeta " + opts.dir + " no existe o no se puede leer")});
        return kExitFailed;
    }
    std::string cRuta = opts.dir;
    if (!cRuta.empty() && cRuta.back() != '/')
        cRuta += '/';
    // Taken before the dialog: files that appear while it is open wait for
    // the next run.
    const rt::Value aDbfFiles = rt::directory(cRuta + "*.DBF");
    // Picture file names stored with the clients are relative to the DBF folder.
    pgsql::setDataFolder(cRuta);

    presetSettings(opts);

    rt::Value oConn;
    bool lOk = false;
    for (int nTiempo = 0; nTiempo++ <= 3;) {
        rt::publicSet("cPass", blankPassword());
        lOk = opts.connect || runConnectionDialog(GetList);
        if (!lOk)
            continue;
        out({"Conectando con", rt::Value(trimmed("cHost"))});
        oConn = connectTo("");
        if (!failed(oConn)) {
            append(" Ok");
            break;
        }
        append(" Error");
        lOk = false;
        if (opts.connect)
            break;
        // The console line stays as it is; the dialog comes back after the user read why.
        dlg::winAlert(connectionFailureMessage(connectionOf(oConn).errorText()), "Connection Server");
    }
    if (!lOk)
        return kExitFailed;

    pgsql::Connection& first = connectionOf(oConn);
    out({"Conectado a", rt::publicGet("cHost")});
    out({"Verificando Base de Datos:", rt::Value(cDatabase)});
    if (!first.dbExist(cDatabase))
        out({"Creando Base de Datos:", rt::Value(cDatabase), rt::Value(first.dbCreate(cDatabase))});
    append(" Ok");
    first.close();

    oConn = connectTo(cDatabase);
    if (failed(oConn)) {
        out({"Error Conectando con Servidor"});
        rt::inkey(1);
        return kExitFailed;
    }
    const int status = importDbfFiles(connectionOf(oConn), aDbfFiles, cRuta, opts);
    out({"Cerrando Conexion"});
    connectionOf(oConn).close();
    if (!opts.importOnly) {
        out({"Cargando Test"});
        // The client window connects again with the program-wide settings.
        const rt::Value shown = Test({});
        if (shown.isLogical() && !shown.asBool()) {
            rt::publicSet("cPass", blankPassword());
            return 1;
        }
    }
    // Nothing needs the password any more.
    rt::publicSet("cPass", blankPassword());
    return status;
}

}  // namespace app
