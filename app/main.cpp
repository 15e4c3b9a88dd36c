// The process entry of dxc: the engine set-up, then main. The settings
// dialog needs a Qt application; --connect runs without one, so a script
// can import on a machine without a display.
#include "app/dxc.h"

#include "platform/gui/display.h"
#include "platform/runtime/console.h"
#include "platform/runtime/error.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    app::Options opts;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(app::usage(), stdout);
        return 0;
    }
    if (const auto problem = app::parseOptions(args, opts)) {
        std::fprintf(stderr, "dxc: %s\n%s", problem->c_str(), app::usage());
        return 2;
    }
    app::applyEnvironment(opts);

    std::unique_ptr<QApplication> qapp;
    if (!opts.connect || !opts.importOnly) {
        if (!gui::displayAvailable()) {  // Qt would abort
            std::fputs("dxc: no display: set DISPLAY or use --import-only --connect\n", stderr);
            return 1;
        }
        qapp = std::make_unique<QApplication>(argc, argv);
    }

    int status = 1;
    try {
        app::DbeSys();
        status = app::runMain(opts);
    } catch (const rt::Error& e) {
        // The runtime's standard handler: the error on the console, then end.
        std::fprintf(stderr, "dxc: %s\n", e.message().c_str());
        status = 1;
    }
    rt::consoleFinish();
    return status;
}
