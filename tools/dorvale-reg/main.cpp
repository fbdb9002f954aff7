// dorvale-reg: reads and writes the registry hives from the shell.

#include "RegText.h"
#include "Registry.h"
#include "Tool.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Exit codes of their own: scripts tell a missing value from a failure.
constexpr int EXIT_NOT_FOUND = 1;
constexpr int EXIT_USAGE = tool::EXIT_USAGE;
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

std::string ValueLine(const std::string& name, DWORD type, const std::string& data) {
    return (name.empty() ? std::string("(Default)") : name) + "\t" + regtext::TypeName(type) +
           "\t" + regtext::FormatValueData(type, data);
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

const tool::CTool TOOL("dorvale-reg", HELP);

// One line on standard error, whatever the message holds.
int Fail(const CFailure& failure) {
    std::string message = failure.message;
    std::replace(message.begin(), message.end(), '\n', ' ');
    TOOL.Report(message);
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
    if (!regtext::ParseTypeName(args[2], type)) {
        return Fail(Usage("unknown type \"" + args[2] +
                          "\"; use REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY or REG_MULTI_SZ"));
    }
    const std::vector<std::string> data(args.begin() + 3, args.end());
    std::string bytes;
    if (type == REG_MULTI_SZ) {
        for (const auto& text : data) {
            if (text.empty()) {
                return Fail(Usage("a REG_MULTI_SZ string cannot be empty"));
            }
        }
        bytes = regtext::MultiStringData(data);
    } else if (data.size() != 1) {
        return Fail(Usage(regtext::TypeName(type) + " takes exactly one DATA argument"));
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
        bytes = data[0] + '\0';
    } else if (type == REG_DWORD) {
        DWORD number = 0;
        if (!regtext::ParseDwordText(data[0], number)) {
            return Fail(Usage("bad REG_DWORD \"" + data[0] +
                              "\"; use 0 to 4294967295, decimal or 0x hexadecimal"));
        }
        bytes = regtext::DwordData(number);
    } else if (!regtext::ParseHexBytes(data[0], bytes)) {
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
    tool::CArgs args(argc, argv);
    if (args.HelpAsked() || (!args.Empty() && args.All()[0] == "help")) {
        return TOOL.Help();
    }
    if (args.Empty()) {
        return Fail(Usage("no command given"));
    }
    // The command and its operands are taken as they stand: a value's data may begin with '-'.
    const std::string command = args.All()[0];
    const std::vector<std::string> operands(args.All().begin() + 1, args.All().end());
    if (command == "query") {
        return Query(operands);
    }
    if (command == "set") {
        return Set(operands);
    }
    if (command == "delete") {
        return Delete(operands);
    }
    if (command == "export") {
        return Export(operands);
    }
    if (command == "import") {
        return Import(operands);
    }
    return Fail(Usage("unknown command \"" + command + "\""));
}
