#include "VirusCheck.h"

#include "MessageText.h"
#include "Process.h"
#include "Settings.h"

#include <vector>

std::string VirusFailedText(const std::string& path, int exitCode) {
    return FillMessage(MSG_VIRUS_FAILED, {path}, exitCode);
}

std::string VirusPassedText(int exitCode) {
    return FillMessage(MSG_VIRUS_PASSED, {}, exitCode);
}

bool IsVirusCheckerConfigured() {
    std::string checker;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::VirusChecker, checker);
    return !checker.empty();
}

CVirusCheckResult RunVirusCheck(const std::string& path) {
    CVirusCheckResult result;
    std::string checker;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::VirusChecker, checker);
    if (checker.empty()) {
        return result;
    }
    DWORD infectedCode = 0;
    if (!ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::VirusExitCode,
                            infectedCode)) {
        return result;
    }
    std::string arguments;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::VirusCmdLine, arguments);
    std::vector<std::string> words;
    if (!process::SplitCommandLine(arguments + " " + process::QuoteArgument(path), words)) {
        return result; // arguments with an unterminated quote: nothing can be started
    }
    process::CSpawnOptions options;
    options.streams = process::EStreams::Discard;
    process::CExitStatus status;
    std::string error;
    if (!process::RunAndWait(checker, words, options, status, error) || !status.exited) {
        return result;
    }
    result.ran = true;
    result.exitCode = status.code;
    result.infected = static_cast<DWORD>(status.code) == infectedCode;
    return result;
}
