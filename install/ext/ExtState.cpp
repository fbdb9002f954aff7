#include "ExtState.h"

#include "IniFile.h"
#include "InstallExt.h"
#include "RemovalRecord.h"
#include "Text.h"

#include <cstring>
#include <mutex>

namespace installext {

namespace {

std::mutex g_recordMutex;
std::string g_recordPath;
thread_local std::string t_lastError;

} // namespace

std::string RecordPath() {
    std::lock_guard lock(g_recordMutex);
    return g_recordPath;
}

bool Record(const char* section, const std::string& key, const std::string& value) {
    std::lock_guard lock(g_recordMutex);
    if (g_recordPath.empty()) {
        return true;
    }
    inifile::CIniFile file;
    std::string error;
    if (!file.Load(g_recordPath, error)) {
        return SetError("the removal record cannot be read: " + error);
    }
    std::string entryKey = key;
    std::string existing;
    if (std::strcmp(section, removalrecord::PROGRAMS_SECTION) == 0) {
        for (int number = 2; file.Get(section, entryKey, existing) && existing != value; ++number) {
            entryKey = key + "#" + std::to_string(number);
        }
    }
    file.Set(section, entryKey, value);
    if (!file.Save(g_recordPath, error)) {
        return SetError("the removal record cannot be written: " + error);
    }
    return true;
}

bool SetError(std::string text) {
    t_lastError = std::move(text);
    return false;
}

void ClearError() {
    t_lastError.clear();
}

const std::string& LastError() {
    return t_lastError;
}

bool CopyOut(std::string_view text, char* out, std::size_t size) {
    if (out == nullptr || size < 1) {
        return false;
    }
    const std::size_t length = base::Utf8CutLength(text, size - 1);
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
    return true;
}

} // namespace installext

using namespace installext;

extern "C" {

void SetUninstallINI(const char* path) {
    std::lock_guard lock(g_recordMutex);
    // Longer paths were cut by the install program's buffer; a cut path would name another
    // file, so it is refused instead.
    const std::string text = Text(path);
    g_recordPath = text.size() < INSTALLEXT_MAX_PATH ? text : std::string();
}

int GetInstallExtError(char* text, int maxLength) {
    return maxLength > 0 && CopyOut(LastError(), text, static_cast<std::size_t>(maxLength)) ? 1 : 0;
}

} // extern "C"
