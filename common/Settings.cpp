#include "Settings.h"

#include <cstring>

bool ReadRegistryText(HKEY root, const char* key, const char* name, char* buffer, DWORD size) {
    if (!buffer || size == 0) {
        return false;
    }
    buffer[0] = '\0';
    CRegKey handle;
    if (handle.Open(root, key, KEY_READ) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = REG_NONE;
    DWORD length = size;
    const LONG result =
        RegQueryValueEx(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &length);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        buffer[0] = '\0';
        return false;
    }
    // Text stored without its NUL is terminated here; with no room for the NUL it is too long.
    if (length == 0 || buffer[length - 1] != '\0') {
        if (length >= size) {
            buffer[0] = '\0';
            return false;
        }
        buffer[length] = '\0';
    }
    return true;
}

bool ReadRegistryNumber(HKEY root, const char* key, const char* name, DWORD& value) {
    CRegKey handle;
    if (handle.Open(root, key, KEY_READ) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = REG_NONE;
    BYTE data[4];
    DWORD length = sizeof data;
    if (RegQueryValueEx(handle, name, nullptr, &type, data, &length) != ERROR_SUCCESS ||
        type != REG_DWORD || length != sizeof data) {
        return false;
    }
    value = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
            static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
    return true;
}

bool WriteRegistryText(HKEY root, const char* key, const char* name, const char* text) {
    if (!text) {
        return false;
    }
    CRegKey handle;
    if (handle.Create(root, key, KEY_WRITE) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueEx(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                         static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
}

bool WriteRegistryNumber(HKEY root, const char* key, const char* name, DWORD value) {
    CRegKey handle;
    if (handle.Create(root, key, KEY_WRITE) != ERROR_SUCCESS) {
        return false;
    }
    const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                          static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return RegSetValueEx(handle, name, 0, REG_DWORD, data, sizeof data) == ERROR_SUCCESS;
}

void SplitRegistryKey(const char* key, HKEY& root, const char*& path) {
    root = HKEY_CURRENT_USER;
    path = key ? key : "";
    if (std::strncmp(path, "HKLM\\", 5) == 0) {
        root = HKEY_LOCAL_MACHINE;
        path += 5;
    } else if (std::strncmp(path, "HKCU\\", 5) == 0) {
        path += 5;
    }
}

bool ReadRegistryText(const char* key, const char* name, char* buffer, DWORD size) {
    HKEY root;
    const char* path;
    SplitRegistryKey(key, root, path);
    return ReadRegistryText(root, path, name, buffer, size);
}

bool ReadRegistryNumber(const char* key, const char* name, DWORD& value) {
    HKEY root;
    const char* path;
    SplitRegistryKey(key, root, path);
    return ReadRegistryNumber(root, path, name, value);
}

bool WriteRegistryText(const char* key, const char* name, const char* text) {
    HKEY root;
    const char* path;
    SplitRegistryKey(key, root, path);
    return WriteRegistryText(root, path, name, text);
}

bool WriteRegistryNumber(const char* key, const char* name, DWORD value) {
    HKEY root;
    const char* path;
    SplitRegistryKey(key, root, path);
    return WriteRegistryNumber(root, path, name, value);
}

bool ReadRegistryText(HKEY root, const char* key, const char* name, std::string& text, DWORD size) {
    std::string buffer(size, '\0');
    const bool ok = size > 0 && ReadRegistryText(root, key, name, buffer.data(), size);
    text = ok ? std::string(buffer.c_str()) : std::string();
    return ok;
}

bool ReadRegistryText(const char* key, const char* name, std::string& text, DWORD size) {
    HKEY root;
    const char* path;
    SplitRegistryKey(key, root, path);
    return ReadRegistryText(root, path, name, text, size);
}

std::string ReadSettingText(const char* name, DWORD size) {
    std::string text;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, text, size);
    return text;
}

DWORD ReadSettingNumber(const char* name, DWORD fallback) {
    DWORD value = 0;
    return ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, value) ? value
                                                                                      : fallback;
}

std::string DirectoryWithSlash(std::string_view directory) {
    std::string result(directory);
    if (!result.empty() && result.back() != '/') {
        result.push_back('/');
    }
    return result;
}

std::string DirectoryWithoutSlash(std::string_view directory) {
    while (directory.size() > 1 && directory.back() == '/') {
        directory.remove_suffix(1);
    }
    return std::string(directory);
}

std::string ReadDirectoryValue(HKEY root, const char* key, const char* name) {
    std::string directory;
    ReadRegistryText(root, key, name, directory);
    return DirectoryWithSlash(directory);
}

std::string HttpServerBase(std::string_view httpServer) {
    if (!httpServer.empty() && httpServer.back() == '/') {
        httpServer.remove_suffix(1);
    }
    return std::string(httpServer);
}

DWORD FreeSpaceThresholdToBytes(DWORD mib) {
    return (mib > settings::FREE_SPACE_THRESHOLD_MAX_MIB ? settings::FREE_SPACE_THRESHOLD_MAX_MIB
                                                         : mib)
           << 20;
}

DWORD FreeSpaceThresholdToMiB(DWORD bytes) {
    return bytes >> 20;
}

std::string GetRegistryProblem(HKEY root) {
    const std::string fault = RegGetHiveError(root);
    return fault.empty() ? std::string() : "the registry cannot be read: " + fault;
}
