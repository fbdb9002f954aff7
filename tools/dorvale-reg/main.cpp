// dorvale-reg: reads and writes the registry hives from the shell.

#include "RegText.h"
#include "Registry.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_NOT_FOUND = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_FAILED = 3;

const char* const HELP = R"(Usage: dorvale-reg COMMAND ...
Reads and writes the Dorvale registry (hives of typed values kept as REGEDIT4 text files).

Commands:
  query KEY [NAME]           print one value as NAME<tab>TYPE<tab>DATA, or the whole key:
                             its full name, each value indented, then its subkeys
  set KEY NAME TYPE DATA...  store a value, creating the key when absent
  delete KEY [NAME]          delete one value, or the key with everything below it
  export KEY                 write the key and everything below it as REGEDIT4 text
  import FILE                apply a REGEDIT4 file ("-" reads standard input); nothing is
                             applied when the file has a fault

KEY is a root followed by a path: HKLM\..., HKCU\..., HKCR\... (or HKEY_LOCAL_MACHINE,
HKEY_CURRENT_USER, HKEY_CLASSES_ROOT). Key and value names are compared without regard to case.
An empty NAME ("") is the key's default value, shown as (Default).

TYPE and DATA:
  REG_SZ TEXT           text
  REG_EXPAND_SZ TEXT    text with environment references, kept as written
  REG_DWORD NUMBER      0 to 4294967295, decimal or 0x hexadecimal
  REG_BINARY HEX        bytes as hexadecimal digits, optionally separated by commas or spaces
  REG_MULTI_SZ TEXT...  one DATA argument per string (none for an empty list); query shows
                        the strings separated by \0
The REG_ prefix may be left out.

Hives live in $DORVALE_REGISTRY when set, otherwise /var/lib/dorvale/registry (HKLM, HKCR)
and $XDG_CONFIG_HOME/dorvale or ~/.config/dorvale (HKCU).

Exit status: 0 success, 1 key or value not found, 2 bad usage or a hive or file that cannot
be parsed, 3 the registry could not be read or written (for example permission denied).

Examples:
  dorvale-reg set 'HKLM\Software\Halvren Software\Quenwick\Dorvale' DatabasePath REG_SZ /srv/dorvale/db
  dorvale-reg set 'HKLM\Software\Halvren Software\Quenwick\Dorvale' AllowUploads REG_DWORD 3
  dorvale-reg set 'HKLM\Software\Halvren Software\Quenwick\Dorvale' FreeSpaceThreshold dword 0x500000
  dorvale-reg set 'HKCR\.htm' '' REG_SZ htmlfile
  dorvale-reg query 'HKLM\Software\Halvren Software\Quenwick\Dorvale' HttpServer
  dorvale-reg query 'HKLM\Software\Halvren Software\Quenwick\Dorvale'
  dorvale-reg delete 'HKCU\Software\Halvren Software\Quenwick\Dorvale\Explorer'
  dorvale-reg export 'HKLM\Software\Halvren Software' > settings.reg
  dorvale-reg import settings.reg
)";

// A failure with its message and exit status.
struct CFailure {
    int status;
    std::string message;
};

struct CKeyName {
    HKEY root = nullptr;
    std::string rootName;
    std::string path; // below the root, "" for the root itself
    std::string Full() const { return path.empty() ? rootName : rootName + "\\" + path; }
};

CFailure Usage(const std::string& message) {
    return {EXIT_USAGE, message + " (see dorvale-reg --help)"};
}

bool ParseKey(const std::string& text, CKeyName& key, CFailure& failure) {
    const std::size_t slash = text.find('\\');
    const std::string rootText = text.substr(0, slash);
    regtext::ERoot root;
    if (!regtext::ParseRootName(rootText, root)) {
        failure = Usage("unknown root \"" + rootText + "\" in key \"" + text +
                        "\"; use HKLM, HKCU, HKCR or their full names");
        return false;
    }
    static const HKEY ROOTS[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT};
    key.root = ROOTS[static_cast<int>(root)];
    key.rootName = regtext::RootName(root);
    std::vector<std::string> names;
    const std::string rest = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    if (!regtext::SplitKeyPath(rest, names)) {
        failure = Usage("bad key name \"" + text + "\" (an empty name between backslashes)");
        return false;
    }
    for (const auto& name : names) {
        const std::string why = regtext::CheckKeyName(name);
        if (!why.empty()) {
            failure = Usage("bad key name \"" + text + "\": " + why);
            return false;
        }
        key.path += (key.path.empty() ? "" : "\\") + name;
    }
    return true;
}

// The message for a failed call on `key`.
CFailure CallFailure(LONG result, const CKeyName& key, const std::string& what) {
    if (result == ERROR_BADDB) {
        return {EXIT_USAGE, RegGetHiveError(key.root)};
    }
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_KEY_DELETED) {
        return {EXIT_NOT_FOUND, what + " not found"};
    }
    return {EXIT_FAILED,
            what + ": " + RegGetErrorText(result) + " (" + RegGetHivePath(key.root) + ")"};
}

std::string TypeName(DWORD type) {
    switch (type) {
    case REG_NONE:
        return "REG_NONE";
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_QWORD:
        return "REG_QWORD";
    default: {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "REG_TYPE_0x%x", type);
        return buffer;
    }
    }
}

bool ParseType(std::string text, DWORD& type) {
    if (text.size() > 4 && regtext::NamesEqual(text.substr(0, 4), "REG_")) {
        text = text.substr(4);
    }
    static const std::pair<const char*, DWORD> TYPES[] = {{"SZ", REG_SZ},
                                                          {"EXPAND_SZ", REG_EXPAND_SZ},
                                                          {"DWORD", REG_DWORD},
                                                          {"BINARY", REG_BINARY},
                                                          {"MULTI_SZ", REG_MULTI_SZ}};
    for (const auto& [name, value] : TYPES) {
        if (regtext::NamesEqual(text, name)) {
            type = value;
            return true;
        }
    }
    return false;
}

std::string HexBytes(const std::string& data) {
    std::string out;
    char buffer[4];
    for (unsigned char c : data) {
        std::snprintf(buffer, sizeof buffer, "%02x", c);
        out += buffer;
    }
    return out;
}

std::string FormatData(DWORD type, const std::string& data) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        return data.substr(0, data.find('\0'));
    }
    if (type == REG_DWORD && data.size() == 4) {
        DWORD number = 0;
        for (int i = 3; i >= 0; --i) {
            number = (number << 8) | static_cast<unsigned char>(data[i]);
        }
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "0x%08x (%u)", number, number);
        return buffer;
    }
    if (type == REG_QWORD && data.size() == 8) {
        std::uint64_t number = 0;
        for (int i = 7; i >= 0; --i) {
            number = (number << 8) | static_cast<unsigned char>(data[i]);
        }
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "0x%016" PRIx64 " (%" PRIu64 ")", number, number);
        return buffer;
    }
    if (type == REG_MULTI_SZ) {
        std::string out;
        std::size_t start = 0;
        while (start < data.size()) {
            const std::size_t end = std::min(data.find('\0', start), data.size());
            if (end == start) {
                break; // the empty string closing the list
            }
            out += (out.empty() ? "" : "\\0") + data.substr(start, end - start);
            start = end + 1;
        }
        return out;
    }
    return HexBytes(data);
}

std::string ValueLine(const std::string& name, DWORD type, const std::string& data) {
    return (name.empty() ? std::string("(Default)") : name) + "\t" + TypeName(type) + "\t" +
           FormatData(type, data);
}

bool ParseDword(const std::string& text, DWORD& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10) {
        return false;
    }
    std::uint64_t number = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        } else {
            return false;
        }
        number = number * (hex ? 16 : 10) + static_cast<unsigned>(d);
    }
    if (number > 0xFFFFFFFFu) {
        return false;
    }
    value = static_cast<DWORD>(number);
    return true;
}

bool ParseBinary(const std::string& text, std::string& bytes) {
    std::string digits;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == ':' || c == '\t') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        digits.push_back(c);
    }
    if (digits.size() % 2 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return true;
}

LONG ReadValue(HKEY key, const char* name, DWORD& type, std::string& data) {
    DWORD size = 0;
    LONG result = RegQueryValueEx(key, name, nullptr, &type, nullptr, &size);
    // Another process may grow the value between asking its size and reading it.
    while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        data.assign(size, '\0');
        result =
            RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (result == ERROR_SUCCESS) {
            data.resize(size);
            return result;
        }
    }
    return result;
}

int Fail(const CFailure& failure) {
    std::string message = failure.message;
    std::replace(message.begin(), message.end(), '\n', ' ');
    std::cerr << "dorvale-reg: " << message << "\n";
    return failure.status;
}

int Query(const std::vector<std::string>& args) {
    if (args.size() < 1 || args.size() > 2) {
        return Fail(Usage("query takes KEY [NAME]"));
    }
    CKeyName name;
    CFailure failure;
    if (!ParseKey(args[0], name, failure)) {
        return Fail(failure);
    }
    CRegKey key;
    LONG result = key.Open(name.root, name.path.c_str(), KEY_READ);
    if (result != ERROR_SUCCESS) {
        return Fail(CallFailure(result, name, "key " + name.Full()));
    }
    DWORD type = REG_NONE;
    std::string data;
    if (args.size() == 2) {
        result = ReadValue(key, args[1].c_str(), type, data);
        if (result != ERROR_SUCCESS) {
            return Fail(
                CallFailure(result, name, "value \"" + args[1] + "\" of key " + name.Full()));
        }
        std::cout << ValueLine(args[1], type, data) << "\n";
        return 0;
    }
    std::string out = name.Full() + "\n";
    std::vector<char> valueName(REG_MAX_VALUE_NAME + 1);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(valueName.size());
        DWORD size = 0;
        result = RegEnumValue(key, i, valueName.data(), &nameSize, nullptr, &type, nullptr, &size);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result == ERROR_SUCCESS) {
            result = ReadValue(key, valueName.data(), type, data);
        }
        if (result != ERROR_SUCCESS) {
            return Fail(CallFailure(result, name, "key " + name.Full()));
        }
        out += "    " + ValueLine(valueName.data(), type, data) + "\n";
    }
    char subkey[REG_MAX_KEY_NAME + 1];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof subkey;
        result = RegEnumKeyEx(key, i, subkey, &size, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS) {
            return Fail(CallFailure(result, name, "key " + name.Full()));
        }
        out += name.Full() + "\\" + subkey + "\n";
    }
    std::cout << out;
    return 0;
}

int Set(const std::vector<std::string>& args) {
    if (args.size() < 3) {
        return Fail(Usage("set takes KEY NAME TYPE DATA"));
    }
    CKeyName name;
    CFailure failure;
    if (!ParseKey(args[0], name, failure)) {
        return Fail(failure);
    }
    DWORD type = REG_NONE;
    if (!ParseType(args[2], type)) {
        return Fail(Usage("unknown type \"" + args[2] +
                          "\"; use REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY or REG_MULTI_SZ"));
    }
    const std::vector<std::string> data(args.begin() + 3, args.end());
    std::string bytes;
    if (type == REG_MULTI_SZ) {
        for (const auto& text : data) {
            if (text.empty() || text.find('\0') != std::string::npos) {
                return Fail(Usage("a REG_MULTI_SZ string cannot be empty"));
            }
            bytes += text + '\0';
        }
        bytes.push_back('\0');
        if (data.empty()) {
            bytes.push_back('\0');
        }
    } else if (data.size() != 1) {
        return Fail(Usage(TypeName(type) + " takes exactly one DATA argument"));
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
        bytes = data[0] + '\0';
    } else if (type == REG_DWORD) {
        DWORD number = 0;
        if (!ParseDword(data[0], number)) {
            return Fail(Usage("bad REG_DWORD \"" + data[0] +
                              "\"; use 0 to 4294967295, decimal or 0x hexadecimal"));
        }
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
        }
    } else if (!ParseBinary(data[0], bytes)) {
        return Fail(Usage("bad REG_BINARY \"" + data[0] + "\"; use pairs of hexadecimal digits"));
    }
    if (!regtext::CheckValueName(args[1]).empty()) {
        return Fail(Usage("bad value name: " + regtext::CheckValueName(args[1])));
    }
    CRegKey key;
    LONG result = key.Create(name.root, name.path.c_str(), KEY_WRITE);
    if (result == ERROR_SUCCESS) {
        result =
            key.SetValue(args[1].c_str(), type, bytes.data(), static_cast<ULONG>(bytes.size()));
    }
    if (result != ERROR_SUCCESS) {
        CFailure why = CallFailure(result, name, "cannot write " + name.Full());
        if (why.status == EXIT_NOT_FOUND) {
            why.status = EXIT_FAILED; // the key went away while being written
        }
        return Fail(why);
    }
    return 0;
}

int Delete(const std::vector<std::string>& args) {
    if (args.size() < 1 || args.size() > 2) {
        return Fail(Usage("delete takes KEY [NAME]"));
    }
    CKeyName name;
    CFailure failure;
    if (!ParseKey(args[0], name, failure)) {
        return Fail(failure);
    }
    LONG result;
    if (args.size() == 2) {
        CRegKey key;
        result = key.Open(name.root, name.path.c_str(), KEY_SET_VALUE);
        if (result != ERROR_SUCCESS) {
            return Fail(CallFailure(result, name, "key " + name.Full()));
        }
        result = key.DeleteValue(args[1].c_str());
        if (result != ERROR_SUCCESS) {
            return Fail(
                CallFailure(result, name, "value \"" + args[1] + "\" of key " + name.Full()));
        }
        return 0;
    }
    if (name.path.empty()) {
        return Fail(Usage("a root key cannot be deleted"));
    }
    result = RegDeleteTree(name.root, name.path.c_str());
    if (result != ERROR_SUCCESS) {
        return Fail(CallFailure(result, name, "key " + name.Full()));
    }
    return 0;
}

int Export(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return Fail(Usage("export takes KEY"));
    }
    CKeyName name;
    CFailure failure;
    if (!ParseKey(args[0], name, failure)) {
        return Fail(failure);
    }
    CRegKey key;
    LONG result = key.Open(name.root, name.path.c_str(), KEY_READ);
    std::string text;
    if (result == ERROR_SUCCESS) {
        result = RegExportKey(key, text);
    }
    if (result != ERROR_SUCCESS) {
        return Fail(CallFailure(result, name, "key " + name.Full()));
    }
    std::cout << text;
    return 0;
}

int Import(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return Fail(Usage("import takes FILE"));
    }
    std::string text;
    const std::string& file = args[0];
    if (file == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            return Fail({EXIT_USAGE, "cannot read " + file + ": " + std::strerror(errno)});
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            return Fail({EXIT_USAGE, "cannot read " + file + ": " + std::strerror(errno)});
        }
    }
    std::string error;
    const LONG result = RegImportText(text, file == "-" ? "(standard input)" : file, &error);
    if (result == ERROR_BADDB) {
        return Fail({EXIT_USAGE, error});
    }
    if (result != ERROR_SUCCESS) {
        return Fail({EXIT_FAILED, error});
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool help = std::any_of(args.begin(), args.end(),
                                  [](const std::string& a) { return a == "--help" || a == "-h"; });
    if (help || (!args.empty() && args[0] == "help")) {
        std::cout << HELP;
        return 0;
    }
    if (args.empty()) {
        return Fail(Usage("no command given"));
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "query") {
        return Query(args);
    }
    if (command == "set") {
        return Set(args);
    }
    if (command == "delete") {
        return Delete(args);
    }
    if (command == "export") {
        return Export(args);
    }
    if (command == "import") {
        return Import(args);
    }
    return Fail(Usage("unknown command \"" + command + "\""));
}
