#include "Sheetforge.h"

#include "ConsoleRunner.h"
#include "Settings.h"
#include "SheetforgeDialog.h"
#include "SingleInstance.h"
#include "Text.h"
#include "Tool.h"

#include <QApplication>
#include <QMessageBox>

#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

const char* const SHEETFORGE_HELP =
    "Usage: sheetforge [/autorun] [--console] [--jobs N] [--help]\n"
    "\n"
    "Writes the web pages of the Dorvale file library below HttpPath from the catalogue\n"
    "(data source \"Dorvale\") and the file areas and groups (Catalink), appending each run\n"
    "to Sheetforge.log in InstallDir and keeping the date and file count of the last run in\n"
    "the registry.\n"
    "\n"
    "  /autorun   start generating at once and close the window when done\n"
    "             (the letter case does not matter)\n"
    "  --console  run one generation in the terminal instead of the window: status lines and\n"
    "             a progress bar on standard error (plain lines when it is not a terminal)\n"
    "  --jobs N   write the pages on N threads (1 to 64; the default is one per\n"
    "             processor core); the pages are the same whatever N is\n"
    "  --help     show this text\n"
    "\n"
    "Without a display (neither DISPLAY nor WAYLAND_DISPLAY set, and no QT_QPA_PLATFORM),\n"
    "sheetforge runs in the console as with --console. This is how a site is regenerated\n"
    "from cron, for example:\n"
    "  0 3 * * *  sheetforge --console\n"
    "\n"
    "Only one copy runs at a time: starting another brings the first one's window to the\n"
    "front.\n"
    "\n"
    "Exit status: 0 when the pages were written, 1 when the run reported an error or was\n"
    "stopped, or when the program could not start.\n";

namespace {

// More threads than this only add contention on any machine the generator runs on.
constexpr long MAX_JOBS = 64;

// Set by SIGINT and SIGTERM, turned into the stop event by the console's loop: a handler
// may touch a lock-free atomic, not the event's mutex.
std::atomic<bool> g_stopSignalled{false};

void OnStopSignal(int signal) {
    if (g_stopSignalled.exchange(true)) {
        // The run did not end on the first signal (it may be stuck in a call that never
        // returns): the second ends the program as the signal asks.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigaction(signal, &fallback, nullptr);
        raise(signal);
    }
}

int RunConsole(CSheetforgeConfig& config, EnvironmentFactory factory) {
    CConsoleRunner runner(config, stderr, ::isatty(STDERR_FILENO) != 0, std::move(factory));
    runner.StopWhenSet(g_stopSignalled);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {
    }, oldTerm{};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    const int code = runner.Run();
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    return code;
}

} // namespace

bool CheckConfiguration(const CSheetforgeConfig& config, QWidget* parent) {
    if (config.IsConfigured()) {
        return true;
    }
    const std::string problem = GetRegistryProblem();
    QMessageBox box(QMessageBox::Critical, SHEETFORGE_CAPTION,
                    problem.empty()
                        ? QString("Unable to load configuration, run Dorvale Setup first.")
                        : QString::fromStdString(problem) + ".",
                    QMessageBox::Ok, parent);
    box.setObjectName("configurationError");
    box.exec();
    return false;
}

CSheetforgeOptions ParseSheetforgeOptions(const std::vector<std::string>& arguments) {
    CSheetforgeOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--console") {
            options.console = true;
        } else if (argument == "--jobs" || argument.rfind("--jobs=", 0) == 0) {
            std::string value;
            if (argument != "--jobs") {
                value = argument.substr(7);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            }
            char* end = nullptr;
            const long jobs = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || jobs < 1 || jobs > MAX_JOBS) {
                options.error = "--jobs takes a number from 1 to " + std::to_string(MAX_JOBS);
            } else {
                options.jobs = static_cast<int>(jobs);
            }
        } else if (argument.rfind("--", 0) == 0) {
            options.error = "unknown option " + argument;
        }
    }
    options.autorun = arguments.size() == 1 && base::EqualsNoCase(arguments[0], "/autorun");
    return options;
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            return true;
        }
    }
    return false;
}

int SheetforgeMain(int argc, char** argv, EnvironmentFactory factory) {
    std::setlocale(LC_ALL, "");
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const tool::CTool tool("sheetforge", SHEETFORGE_HELP);
    const CSheetforgeOptions options = ParseSheetforgeOptions(arguments);
    if (options.help) {
        return tool.Help();
    }
    if (!options.error.empty()) {
        tool.UsageError(options.error);
        return tool::EXIT_FAILED; // the program ends with 1 whenever it does not start
    }

    if (options.console || !HasDisplay()) {
        QCoreApplication application(argc, argv);
        std::setlocale(LC_ALL, "");
        CSingleInstance instance;
        if (!instance.Acquire()) {
            return tool.Fail("another copy of Dorvale Sheetforge is running");
        }
        CSheetforgeConfig config;
        config.Load();
        if (!config.IsConfigured()) {
            // A hive that cannot be parsed reads as missing settings; setup would not help.
            const std::string problem = GetRegistryProblem();
            if (!problem.empty()) {
                std::fprintf(stderr, "sheetforge: %s\n", problem.c_str());
            } else {
                std::fputs("Unable to load configuration, run Dorvale Setup first.\n", stderr);
            }
            return 1;
        }
        config.generation.jobs = options.jobs;
        return RunConsole(config, std::move(factory));
    }

    QApplication application(argc, argv);
    std::setlocale(LC_ALL, "");
    CSingleInstance instance;
    if (!instance.Acquire()) {
        return instance.RaiseOther() ? 0 : 1;
    }
    CSheetforgeConfig config;
    config.Load();
    if (!CheckConfiguration(config)) {
        return 1;
    }
    CSheetforgeDialog dialog(std::move(config), options.autorun, std::move(factory));
    instance.Listen([&dialog] { dialog.Raise(); });
    dialog.exec();
    return 0;
}
