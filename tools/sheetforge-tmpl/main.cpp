// sheetforge-tmpl: checks page templates and renders them for their authors.
#include "Template.h"
#include "Tool.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr const char* USAGE =
    "Usage: sheetforge-tmpl check [--include-dir DIR] FILE...\n"
    "       sheetforge-tmpl render [--include-dir DIR] FILE [NAME=VALUE ...]\n"
    "       sheetforge-tmpl --help\n";

constexpr const char* HELP =
    "\n"
    "Checks and renders page templates of the Sheetforge page generator.\n"
    "\n"
    "Commands:\n"
    "  check    Compiles each FILE. Prints nothing for a good template and\n"
    "           FILE:LINE: MESSAGE for a template in error; a file that cannot be\n"
    "           read is reported as FILE: Could not load NAME. The exit status is 1\n"
    "           when any template failed.\n"
    "  render   Renders FILE to standard output with each NAME set to VALUE\n"
    "           (values are written as given, without escaping). References to\n"
    "           variables that are not set stay in the output as @name@, and\n"
    "           loops run zero times. Errors are reported as by check.\n"
    "\n"
    "Options:\n"
    "  --include-dir DIR  Directory that @include@ and @includedef@ names are\n"
    "                     relative to (default: the directory of each FILE).\n"
    "  -h, --help         Show this help.\n"
    "\n"
    "Exit status: 0 on success, 1 when a template failed, 2 on a usage error.\n";

// Template authors get the synopsis with the message.
int UsageError(const tool::CTool& tool, const std::string& message) {
    tool.Report(message);
    std::fputs(USAGE, stderr);
    return tool::EXIT_USAGE;
}

std::string DirectoryOf(const std::string& file) {
    const std::string parent = std::filesystem::path(file).parent_path().string();
    return parent.empty() ? "." : parent;
}

// Compiles one template with its include directory; reports a failure as FILE:LINE: MESSAGE
// on `report`.
bool CompileOne(CTemplate& page, const std::string& file, const std::string& includeDir,
                std::FILE* report) {
    CTemplate::SetIncludeDirectory(includeDir.empty() ? DirectoryOf(file) : includeDir);
    // Every template is checked against its own include directory.
    CTemplate::ClearIncludeCache();
    try {
        if (!page.Compile(file)) {
            std::fprintf(report, "%s: Could not load %s\n", file.c_str(),
                         std::filesystem::path(file).filename().c_str());
            return false;
        }
    } catch (const CCompileException& e) {
        std::fprintf(report, "%s:%d: %s\n", file.c_str(), e.GetLine(), e.GetMessage().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const std::string help = std::string(USAGE) + HELP;
    const tool::CTool tool("sheetforge-tmpl", help.c_str());
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    std::string command;
    std::string includeDir;
    std::vector<std::string> operands;
    while (args.Next()) {
        if (args.Is("--include-dir")) {
            if (!args.TakeValue(includeDir, true)) {
                return UsageError(tool, "--include-dir needs a directory");
            }
        } else if (!args.IsPositional()) {
            return UsageError(tool, "unknown option " + args.Current());
        } else if (command.empty()) {
            command = args.Current();
        } else {
            operands.push_back(args.Current());
        }
    }
    if (command.empty()) {
        return UsageError(tool, "no command given");
    }
    std::error_code ec;
    if (!includeDir.empty() && !std::filesystem::is_directory(includeDir, ec)) {
        return UsageError(tool, "include directory " + includeDir + " does not exist");
    }

    if (command == "check") {
        if (operands.empty()) {
            return UsageError(tool, "check needs at least one FILE");
        }
        bool allGood = true;
        for (const std::string& file : operands) {
            CTemplate page;
            allGood = CompileOne(page, file, includeDir, stdout) && allGood;
        }
        std::fflush(stdout);
        return allGood ? tool::EXIT_DONE : tool::EXIT_FAILED;
    }

    if (command == "render") {
        if (operands.empty()) {
            return UsageError(tool, "render needs a FILE");
        }
        std::vector<std::pair<std::string, std::string>> variables;
        for (std::size_t i = 1; i < operands.size(); ++i) {
            const std::size_t equals = operands[i].find('=');
            if (equals == std::string::npos || equals == 0) {
                return UsageError(tool, "expected NAME=VALUE, got " + operands[i]);
            }
            variables.emplace_back(operands[i].substr(0, equals), operands[i].substr(equals + 1));
        }
        CTemplate page;
        for (const auto& [name, value] : variables) {
            page.SetVariable(name, value);
        }
        if (!CompileOne(page, operands[0], includeDir, stderr)) {
            return tool::EXIT_FAILED;
        }
        // Rendering closes the descriptor it is given; standard output stays open.
        if (!page.Render(::dup(STDOUT_FILENO))) {
            return tool.Fail(std::string("could not write the page: ") + std::strerror(errno));
        }
        return tool::EXIT_DONE;
    }

    return UsageError(tool, "unknown command " + command);
}
