#include "ExplorerApp.h"

#include "Help.h"
#include "Icons.h"
#include "MainFrame.h"
#include "QtPrompt.h"
#include "Tool.h"

#include <QApplication>

#include <clocale>
#include <cstdlib>

namespace {

const char USAGE[] =
    "Usage: dorvale-explorer [--data-source NAME]\n"
    "\n"
    "The administrator's desktop program of the Dorvale file library: the catalogue as a tree\n"
    "of file groups and areas with a list of files, adding files one at a time or a directory\n"
    "at a time, processing uploaded files, moderating reviews, file properties, deletion, the\n"
    "virus check, and starting the page generator (sheetforge).\n"
    "\n"
    "  --data-source NAME  the catalogue's ODBC data source (default \"Dorvale\")\n"
    "  --help              show this text\n"
    "\n"
    "It reads DatabasePath and HttpPath from HKLM\\Software\\Halvren Software\\Quenwick\\Dorvale\n"
    "(see dorvale-reg), keeps its window layout under HKCU\\...\\Dorvale\\Explorer, and refuses\n"
    "to start while Dorvale Setup holds the file areas. It needs a display; on a server\n"
    "without one, the dorvale command does the same work from a terminal.\n"
    "\n"
    "Exit status: 0 when the window was closed, 1 when the program could not start, 2 for a\n"
    "wrong command line.\n";

} // namespace

CExplorerApp::CExplorerApp(prompt::IPrompt& prompt) : m_context(prompt) {}

CExplorerApp::~CExplorerApp() = default;

bool CExplorerApp::InitInstance(const std::string& dataSource) {
    if (!m_context.Start(dataSource)) {
        return false;
    }
    if (!m_context.IsCatalogueOpen()) {
        // The tree still shows the areas; the lists stay empty.
        m_context.Tell("Dorvale Explorer cannot connect to the data source " + dataSource +
                           ". The file lists stay empty until it can.",
                       CAPTION_WARNING, prompt::EIcon::Warning);
    }
    m_frame = std::make_unique<CMainFrame>(m_context);
    m_frame->ShowAsKept();
    return true;
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

int ExplorerMain(int argc, char** argv) {
    tool::CTool tool("dorvale-explorer", USAGE);
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    std::string dataSource = CDorvaleDatabaseManager::DEFAULT_DATA_SOURCE_NAME;
    while (args.Next()) {
        if (args.Is("--data-source")) {
            if (!args.TakeValue(dataSource)) {
                return tool.UsageError("--data-source needs a name");
            }
        } else {
            return tool.UsageError(args.Unexpected());
        }
    }
    if (!HasDisplay()) {
        return tool.Fail("no display to show a window on; use the dorvale command instead "
                         "(dorvale --help)");
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("dorvale-explorer");
    QApplication::setWindowIcon(icons::Application());
    std::setlocale(LC_ALL, "");
    SetHelpDirectory(DefaultHelpDirectory(QApplication::applicationDirPath()));
    prompt::CQtPrompt prompt;
    CExplorerApp app(prompt);
    if (!app.InitInstance(dataSource)) {
        return tool::EXIT_FAILED;
    }
    prompt.SetParent(app.MainFrame());
    return QApplication::exec() == 0 ? tool::EXIT_DONE : tool::EXIT_FAILED;
}
