// The machine as the install program asks about it: its host name and the browser that opens
// web pages.
#include "ExtState.h"
#include "IniFile.h"
#include "InstallExt.h"
#include "Process.h"
#include "Registry.h"
#include "Settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace installext;

namespace {

bool IsProgramFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

// What `xdg-mime query default x-scheme-handler/http` names: a desktop entry.
std::string DefaultHttpHandler() {
    char pattern[] = "/tmp/dorvale-browser-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    process::CSpawnOptions options;
    options.streams = process::EStreams::ToFile;
    options.outputFile = pattern;
    process::CProcess child;
    std::string error;
    std::string entry;
    if (child.Start("xdg-mime", {"query", "default", "x-scheme-handler/http"}, options, error)) {
        process::CExitStatus status;
        if (child.Wait(10000, status) != process::EWaitResult::Exited) {
            child.Terminate(1000, status);
        } else if (status.exited && status.code == 0) {
            std::ifstream in(pattern);
            std::getline(in, entry);
        }
    }
    ::unlink(pattern);
    while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\r')) {
        entry.pop_back();
    }
    return entry.find('/') == std::string::npos ? entry : std::string();
}

// The directories desktop entries live in, most personal first.
std::vector<std::string> ApplicationDirectories() {
    std::vector<std::string> dirs;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome != nullptr && *dataHome != '\0') {
        dirs.push_back(std::string(dataHome) + "/applications");
    } else if (home != nullptr && *home != '\0') {
        dirs.push_back(std::string(home) + "/.local/share/applications");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::stringstream list(
        dataDirs != nullptr && *dataDirs != '\0' ? dataDirs : "/usr/local/share:/usr/share");
    for (std::string dir; std::getline(list, dir, ':');) {
        if (!dir.empty()) {
            dirs.push_back(dir + "/applications");
        }
    }
    return dirs;
}

// The program of a desktop entry's Exec line, as a path.
std::string ProgramOfEntry(const std::string& entry) {
    for (const std::string& dir : ApplicationDirectories()) {
        inifile::CIniFile file;
        std::string error;
        std::string exec;
        if (!file.Load(dir + "/" + entry, error) || !file.Exists() ||
            !file.Get("Desktop Entry", "Exec", exec)) {
            continue;
        }
        std::vector<std::string> words;
        if (process::SplitCommandLine(exec, words) && !words.empty()) {
            const std::string program = process::FindProgram(words.front());
            if (IsProgramFile(program)) {
                return program;
            }
        }
    }
    return {};
}

// The longest leading part of a command line that names an existing file: a quoted part
// without its quotes, or the text up to a space.
std::string LeadingProgram(const std::string& command) {
    if (!command.empty() && command.front() == '"') {
        const std::size_t close = command.find('"', 1);
        const std::string quoted =
            command.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        return IsProgramFile(quoted) ? quoted : std::string();
    }
    std::string best;
    for (std::size_t space = command.find(' ');; space = command.find(' ', space + 1)) {
        const std::string part = command.substr(0, space);
        if (IsProgramFile(part)) {
            best = part;
        }
        if (space == std::string::npos) {
            break;
        }
    }
    return best;
}

// The command registered for opening .htm files in the class registry.
std::string RegisteredHtmlProgram() {
    CRegKey extension;
    std::string className;
    if (extension.Open(HKEY_CLASSES_ROOT, settings::HtmClassKey, KEY_READ) != ERROR_SUCCESS ||
        extension.QueryStringValue(nullptr, className) != ERROR_SUCCESS || className.empty()) {
        return {};
    }
    CRegKey command;
    std::string text;
    if (command.Open(HKEY_CLASSES_ROOT, (className + "\\shell\\open\\command").c_str(), KEY_READ) !=
            ERROR_SUCCESS ||
        command.QueryStringValue(nullptr, text) != ERROR_SUCCESS) {
        return {};
    }
    return LeadingProgram(text);
}

} // namespace

extern "C" {

int GetHostName(char* name) {
    ClearError();
    char host[INSTALLEXT_MAX_PATH + 1] = {};
    if (name == nullptr || ::gethostname(host, INSTALLEXT_MAX_PATH) != 0) {
        return 1;
    }
    return CopyOut(host, name, INSTALLEXT_MAX_PATH) ? 0 : 1;
}

int GetBrowserPath(char* path) {
    ClearError();
    if (path == nullptr) {
        return 0;
    }
    path[0] = '\0';
    const std::string entry = DefaultHttpHandler();
    std::string program = entry.empty() ? std::string() : ProgramOfEntry(entry);
    if (program.empty()) {
        program = RegisteredHtmlProgram();
    }
    if (program.empty()) {
        return SetError("no program opens web pages here");
    }
    return CopyOut(program, path, INSTALLEXT_MAX_PATH) ? 1 : 0;
}

} // extern "C"
