// Runs the program's main in the test's process, against the test server,
// with its console captured and its connection dialogs answered by a script
// of actions.
#pragma once

#include "app/dxc.h"
#include "common/pg_test_db.h"

#include <QDialog>
#include <QLineEdit>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace apptest {

// One action per showing of the connection dialog, in order. When the
// script runs out, further dialogs are cancelled.
using DialogAction = std::function<void(QDialog&)>;

struct Transcript {
    int status = -1;
    std::vector<std::string> lines;  // the console, line by line
    std::string text() const;        // the lines joined with "\n", for messages
};

// The settings of the test server (PGHOST, PGPORT, PGUSER).
app::Options serverOptions(const std::string& dir);

Transcript runProgram(const app::Options& opts, std::vector<DialogAction> script = {});

// The dialog's entry fields from top to bottom.
std::vector<QLineEdit*> fieldsTopDown(QDialog& d);

// Dialog actions.
DialogAction connectWith(const std::string& password);  // types the password, clicks Connect
DialogAction cancel();                                  // clicks Cancel
DialogAction escape();                                  // presses Escape

struct PgCloser {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, PgCloser>;

// A connection to the database "dxc" (null if it does not exist) and a clean
// slate: the database dropped.
PGconn* connectDxc();
void dropDxc();

// A scratch folder for one test, emptied.
std::string scratch(const std::string& name);
// Runs a shell command; its exit status.
int shell(const std::string& command);
// The sample tables (dxc-dbf sample) and the fixtures written by python3-dbf.
std::string sampleFolder(int clients);
std::string fixtureFolder();

// "Conectado a" prints the host as the dialog holds it: padded to 19.
std::string paddedHost();

}  // namespace apptest
