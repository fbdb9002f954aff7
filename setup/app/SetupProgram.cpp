#include "SetupProgram.h"

#include "QtPrompt.h"
#include "ServerConnection.h"
#include "SetupSheet.h"
#include "Tool.h"

#include <QApplication>
#include <QIcon>

#include <cstdlib>

namespace {

constexpr char USAGE[] =
    "Usage: dorvale-setup [--create] [--data-source DSN]\n"
    "\n"
    "Dorvale Setup: the window in which the administrator configures a Dorvale file\n"
    "library: its settings (General, Upload Options, HTTP Uploads), its file areas and\n"
    "file groups, and the web and FTP servers' virtual directories of the areas.\n"
    "On a first run it asks where the areas and groups are kept (Dorvale Quick Setup).\n"
    "While it runs it holds filearea.dat, so Dorvale Explorer and the dorvale command\n"
    "wait until it is closed.\n"
    "\n"
    "  --create, /create   drop and create the catalogue's tables first (an empty catalogue)\n"
    "  --data-source DSN   the catalogue's ODBC data source (default Dorvale)\n"
    "\n"
    "Without a display, use `dorvale config`, `dorvale area` and `dorvale group`.\n"
    "Exit status: 0 when the window was shown and closed, 1 when it could not start,\n"
    "2 wrong usage.\n";

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

} // namespace

int RunSetupProgram(int argc, char** argv) {
    tool::CTool tool("dorvale-setup", USAGE);
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    std::string commandLine;
    std::string dataSource = "Dorvale";
    while (args.Next()) {
        if (args.Is("--create")) {
            commandLine += " /create";
        } else if (args.Is("--data-source")) {
            if (!args.TakeValue(dataSource)) {
                return tool.UsageError("--data-source needs a name");
            }
        } else if (args.IsPositional()) {
            // The design's own option, anywhere in the command line.
            commandLine += " " + args.Current();
        } else {
            return tool.UsageError(args.Unexpected());
        }
    }
    if (!HasDisplay()) {
        return tool.Fail("no display to show the window on; on a server without one use "
                         "dorvale config, dorvale area and dorvale group");
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(PROGRAM_TITLE);
    // Every window of the run, Quick Setup and the message boxes too, shows it.
    QApplication::setWindowIcon(SetupIcon());
    prompt::CQtPrompt prompt;
    CQtSetupUi ui(prompt);
    CSetupSession session(prompt, ui, MetabaseAdminBaseFactory());
    CSystemServiceControl services;
    session.SetServiceControl(&services);
    session.SetAccessSetter(SystemAccessSetter());
    session.SetDataSource(dataSource);
    if (!session.Start(commandLine)) {
        return tool::EXIT_FAILED;
    }
    CSetupSheet sheet(session, ui);
    prompt.SetParent(&sheet);
    sheet.exec();
    return tool::EXIT_DONE;
}
