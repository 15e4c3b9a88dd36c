// The start of the program: the connection dialog's passes, the database
// "dxc", the console lines, and the command line.
#include "app_harness.h"

#include "platform/dialog/library.h"
#include "platform/runtime/functions.h"
#include "platform/runtime/text.h"

#include <gtest/gtest.h>

#include <QLineEdit>

#include <cstdio>
#include <memory>
#include <optional>

using namespace apptest;

namespace {

using Lines = std::vector<std::string>;

class Startup : public ::testing::Test {
protected:
    void SetUp() override
    {
        DXC_REQUIRE_DATABASE();
        dropDxc();
        empty_ = scratch("empty");
    }
    std::string empty_;
    dlg::MessageCapture messages_;
};

TEST_F(Startup, FirstConnectionCreatesTheDatabaseAndAnEmptyFolderImportsNothing)
{
    auto opts = serverOptions(empty_);
    opts.importOnly = true;
    const Transcript run = runProgram(opts, {connectWith("")});
    EXPECT_EQ(run.status, 0);
    const Lines expected = {
        "Conectando con " + rt::alltrim(paddedHost()) + " Ok",
        "Conectado a " + paddedHost(),
        "Verificando Base de Datos: dxc",
        "Creando Base de Datos: dxc .T. Ok",
        "No hay tablas DBF en la carpeta " + empty_,
        "Cerrando Conexion",
    };
    EXPECT_EQ(run.lines, expected) << run.text();

    // Second time the database is there: no creation line.
    const Transcript again = runProgram(opts, {connectWith("")});
    const Lines expected2 = {
        "Conectando con " + rt::alltrim(paddedHost()) + " Ok",
        "Conectado a " + paddedHost(),
        "Verificando Base de Datos: dxc Ok",
        "No hay tablas DBF en la carpeta " + empty_,
        "Cerrando Conexion",
    };
    EXPECT_EQ(again.lines, expected2) << again.text();
}

// A --dir that is not there, or cannot be read, is said before any dialog
// or connection, and the program ends with status 1.
TEST_F(Startup, AFolderThatCannotBeReadIsSaidBeforeConnecting)
{
    for (const std::string& dir : {empty_ + "/missing", std::string("/proc/1/fdinfo/none")}) {
        auto opts = serverOptions(dir);
        opts.importOnly = true;
        const Transcript run = runProgram(opts);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.lines, Lines{"La carpeta " + dir + " no existe o no se puede leer"}) << run.text();
    }
}

// Here the folder has no client table: the window says so and the program
// ends with status 1.
TEST_F(Startup, WithoutImportOnlyTheProgramGoesOnToTheClientWindow)
{
    const Transcript run = runProgram(serverOptions(empty_), {connectWith("")});
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back(), "Cargando Test") << run.text();
    EXPECT_EQ(run.lines[run.lines.size() - 2], "Cerrando Conexion");
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0].text.rfind("La base de datos dxc no tiene la tabla de clientes dxcam01.", 0), 0u)
        << messages_.messages[0].text;
}

// Each failed connection of the settings dialog is explained in a message
// box before the dialog comes back; the console line stays as it was.
TEST_F(Startup, AFailedConnectionSaysWhyBeforeTheDialogComesBack)
{
    struct Case {
        const char* name;
        std::optional<std::string> host;
        std::optional<int> port;
        const char* password;
        const char* reason;
    };
    const Case cases[] = {
        {"wrong password", {}, {}, "not-the-password", "El usuario o la contraseña no son válidos."},
        {"refused port", {}, 1, "", "El servidor no acepta conexiones en ese puerto."},
        {"unknown host", "no-such-host.invalid", {}, "", "No se encontró el servidor con ese nombre."},
        {"port out of range", {}, 70000, "", "El puerto no es válido (debe estar entre 1 y 65535)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages_.messages.clear();
        auto opts = serverOptions(empty_);
        opts.importOnly = true;
        if (c.host)
            opts.host = c.host;
        if (c.port)
            opts.port = c.port;
        const Transcript run = runProgram(opts, {connectWith(c.password), cancel(), cancel(), cancel()});
        EXPECT_EQ(run.status, 1);
        ASSERT_EQ(run.lines.size(), 1u) << run.text();
        EXPECT_EQ(run.lines[0].rfind("Conectando con ", 0), 0u);
        EXPECT_EQ(run.lines[0].substr(run.lines[0].size() - 6), " Error");
        ASSERT_EQ(messages_.messages.size(), 1u);
        EXPECT_EQ(messages_.messages[0].text.rfind(std::string("No se pudo conectar con el servidor. ") + c.reason, 0),
                  0u)
            << messages_.messages[0].text;
    }
}

TEST_F(Startup, AWrongPasswordShowsErrorAndAFreshDialogKeepingTheOtherSettings)
{
    auto opts = serverOptions(empty_);
    opts.importOnly = true;
    std::vector<std::string> second;
    auto look = [&](QDialog& d) {
        for (QLineEdit* e : fieldsTopDown(d))
            second.push_back(e->text().toStdString());
        connectWith("")(d);
    };
    const Transcript run = runProgram(opts, {connectWith("not-the-password"), look});
    EXPECT_EQ(run.status, 0);
    ASSERT_GE(run.lines.size(), 2u) << run.text();
    EXPECT_EQ(run.lines[0], "Conectando con " + rt::alltrim(paddedHost()) + " Error");
    EXPECT_EQ(run.lines[1], "Conectando con " + rt::alltrim(paddedHost()) + " Ok");
    // Host, port and user kept; the password field empty again. The port
    // shows whole (five digits).
    ASSERT_EQ(second.size(), 4u);
    EXPECT_EQ(rt::alltrim(second[0]), rt::alltrim(paddedHost()));
    EXPECT_EQ(rt::alltrim(second[1]), std::getenv("PGPORT"));
    EXPECT_EQ(rt::alltrim(second[3]), "");
}

TEST_F(Startup, FourCancelsEndTheProgramSilentlyWithoutConnecting)
{
    auto opts = serverOptions(empty_);
    const Transcript run = runProgram(opts, {cancel(), escape(), cancel(), cancel()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.lines.empty()) << run.text();
    EXPECT_EQ(connectDxc(), nullptr) << "nothing may have been created";
}

TEST_F(Startup, FourFailedConnectionsEndAfterTheFourthError)
{
    auto opts = serverOptions(empty_);
    const Transcript run = runProgram(opts, {connectWith("x1"), connectWith("x2"), connectWith("x3"), connectWith("x4")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(messages_.messages.size(), 4u) << "each failure is said";
    const std::string failedLine = "Conectando con " + rt::alltrim(paddedHost()) + " Error";
    EXPECT_EQ(run.lines, Lines(4, failedLine)) << run.text();
}

// A user who may not create databases: the first connection (to the
// server's maintenance database, whatever the user's name) works, the
// creation's result is only printed, and the connection to "dxc" then fails.
TEST_F(Startup, AUserWhoCannotCreateTheDatabaseEndsWithErrorConectando)
{
    Conn admin(testpg::connectTo("postgres"));
    ASSERT_TRUE(admin);
    testpg::exec(admin.get(), "DROP ROLE IF EXISTS dxc_clerk");
    testpg::exec(admin.get(), "CREATE ROLE dxc_clerk LOGIN NOCREATEDB PASSWORD 'clerk-pw'");
    auto opts = serverOptions(empty_);
    opts.user = "dxc_clerk";
    const Transcript run = runProgram(opts, {connectWith("clerk-pw")});
    testpg::exec(admin.get(), "DROP ROLE dxc_clerk");
    EXPECT_EQ(run.status, 1);
    const Lines expected = {
        "Conectando con " + rt::alltrim(paddedHost()) + " Ok",
        "Conectado a " + paddedHost(),
        "Verificando Base de Datos: dxc",
        "Creando Base de Datos: dxc .F. Ok",
        "Error Conectando con Servidor",
    };
    EXPECT_EQ(run.lines, expected) << run.text();
}

// Files that appear while the dialog is open wait for the next run.
TEST_F(Startup, TheFileListIsTakenBeforeTheDialog)
{
    const std::string dir = sampleFolder(3);
    const std::string later = scratch("later");
    ASSERT_EQ(std::rename((dir + "/DXCAM01E.DBF").c_str(), (later + "/DXCAM01E.DBF").c_str()), 0);
    auto opts = serverOptions(dir);
    opts.importOnly = true;
    auto addFileThenConnect = [&](QDialog& d) {
        std::rename((later + "/DXCAM01E.DBF").c_str(), (dir + "/DXCAM01E.DBF").c_str());
        connectWith("")(d);
    };
    const Transcript run = runProgram(opts, {addFileThenConnect});
    EXPECT_NE(run.text().find("Verificando Tabla: dxcam01 Ok"), std::string::npos) << run.text();
    EXPECT_EQ(run.text().find("dxcam01e"), std::string::npos) << run.text();
}

TEST_F(Startup, ConnectModeUsesNoDialogAndFailsWithStatusOne)
{
    auto opts = serverOptions(empty_);
    opts.connect = true;
    opts.importOnly = true;
    const Transcript ok = runProgram(opts);
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.lines.back(), "Cerrando Conexion") << ok.text();

    opts.port = 1;  // nothing listens there
    const Transcript bad = runProgram(opts);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.lines, Lines{"Conectando con " + rt::alltrim(paddedHost()) + " Error"}) << bad.text();
}

TEST_F(Startup, DatesUseTheCenturyAndDayMonthYear)
{
    auto opts = serverOptions(empty_);
    opts.connect = true;
    opts.importOnly = true;
    runProgram(opts);
    EXPECT_EQ(rt::callWith("DtoC", rt::callWith("StoD", "20240229")).str(), "29-02-2024");
}

TEST(Options, CommandLine)
{
    struct Case {
        std::vector<std::string> args;
        bool ok;
        std::string note;
    };
    const Case cases[] = {
        {{}, true, "no arguments"},
        {{"--dir", "/d", "--host", "h", "--port", "5433", "--user", "u", "--connect", "--import-only", "--bulk"},
         true, "everything"},
        {{"--port", "0"}, false, "port out of range"},
        {{"--port", "54x"}, false, "port not a number"},
        {{"--dir"}, false, "value missing"},
        {{"--password", "secret"}, false, "no password on the command line"},
        {{"--password=secret"}, false, "nor in this form"},
        {{"extra"}, false, "unknown word"},
        {{"--salvage", "--codepage", "936"}, true, "salvage and a double-byte code page"},
        {{"--codepage", "77"}, false, "a code page we do not read"},
        {{"--codepage"}, false, "code page missing"},
    };
    for (const Case& c : cases) {
        app::Options o;
        const auto problem = app::parseOptions(c.args, o);
        EXPECT_EQ(!problem.has_value(), c.ok) << c.note;
        if (problem) {
            EXPECT_EQ(problem->find("secret"), std::string::npos) << "a refused password is not echoed";
        }
    }
    app::Options o;
    ASSERT_FALSE(app::parseOptions({"--dir", "/d", "--port", "5433", "--bulk"}, o));
    EXPECT_EQ(o.dir, "/d");
    EXPECT_EQ(o.port, 5433);
    EXPECT_TRUE(o.bulk);
    EXPECT_FALSE(o.connect);
    EXPECT_FALSE(o.salvage);
    ASSERT_FALSE(app::parseOptions({"--salvage", "--codepage", "1250"}, o));
    EXPECT_TRUE(o.salvage);
    EXPECT_EQ(o.codePage, 1250);
    // COPY unless --insert (--bulk says the default); --refresh and --force.
    app::Options fresh;
    EXPECT_TRUE(fresh.bulk);
    ASSERT_FALSE(app::parseOptions({"--insert", "--refresh", "--force"}, fresh));
    EXPECT_FALSE(fresh.bulk);
    EXPECT_TRUE(fresh.refresh && fresh.force);
}

}  // namespace
