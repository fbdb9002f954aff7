// Configuration files patched with what the installation chose. Each patcher rewrites a file
// line by line into a new file beside it, which then replaces the old one whole (same
// permissions), so a failure half-way leaves the file as it was. Lines are read whole and
// keep their own line ending.
#include "ExtState.h"
#include "Fd.h"
#include "InstallExt.h"
#include "Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace installext;

namespace {

constexpr std::size_t MAX_FILE_BYTES = 64 << 20;

// Rewrites each line (without its ending) through `change`.
bool RewriteLines(const std::string& path, const std::function<std::string(std::string)>& change) {
    base::CFd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    struct stat info {};
    if (!in.IsOpen() || ::fstat(in.Get(), &info) != 0 ||
        !base::ReadAll(in.Get(), text, MAX_FILE_BYTES)) {
        return SetError(path + ": " + std::strerror(errno));
    }
    std::string out;
    out.reserve(text.size() + 256);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        std::string ending;
        if (end == std::string::npos) {
            end = text.size();
        } else {
            ending = "\n";
        }
        std::string line = text.substr(start, end - start);
        if (!ending.empty() && !line.empty() && line.back() == '\r') {
            line.pop_back();
            ending = "\r\n";
        }
        out += change(std::move(line));
        out += ending;
        start = end + 1;
    }
    std::string temporary = path + ".XXXXXX";
    base::CFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.IsOpen()) {
        return SetError(path + ": cannot make a temporary file: " + std::strerror(errno));
    }
    if (::fchmod(fd.Get(), info.st_mode & 07777) != 0 || !base::WriteAll(fd.Get(), out) ||
        ::fsync(fd.Get()) != 0 || !fd.Close() || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temporary.c_str());
        return SetError(path + ": " + reason);
    }
    return true;
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

} // namespace

extern "C" {

int ModifySQLScriptDataPath(const char* scriptFile, const char* dataPath) {
    ClearError();
    static constexpr std::string_view PLACEHOLDER = "%DATAPATH%";
    const std::string path = Text(dataPath);
    const bool endsWithSeparator = !path.empty() && IsSeparator(path.back());
    return RewriteLines(Text(scriptFile),
                        [&](std::string line) {
                            const std::size_t at = line.find(PLACEHOLDER);
                            if (at == std::string::npos) {
                                return line;
                            }
                            std::size_t length = PLACEHOLDER.size();
                            // A path ending in a separator takes the one after the
                            // placeholder's place, so it is not doubled; anything else there
                            // belongs to the name and stays.
                            if (endsWithSeparator && at + length < line.size() &&
                                IsSeparator(line[at + length])) {
                                ++length;
                            }
                            return line.replace(at, length, path);
                        })
               ? 1
               : 0;
}

int FixGlobalASADSN(const char* applicationFile, const char* connection) {
    ClearError();
    // The value is a string literal of the page's script: a quote inside it is doubled.
    std::string literal;
    for (char c : Text(connection)) {
        literal += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return RewriteLines(Text(applicationFile),
                        [&](std::string line) {
                            const std::size_t equals = line.find('=');
                            if (line.find("DataConn_ConnectionString") == std::string::npos ||
                                equals == std::string::npos) {
                                return line;
                            }
                            return line.substr(0, equals + 1) + " \"" + literal + "\"";
                        })
               ? 1
               : 0;
}

int FixIndexServerFile(const char* queryFile, const char* catalog, const char* scope) {
    ClearError();
    const std::string catalogText = Text(catalog);
    const std::string scopeText = Text(scope);
    return RewriteLines(Text(queryFile),
                        [&](std::string line) {
                            if (base::StartsWithNoCase(line, "CiCatalog=")) {
                                return catalogText.empty() ? std::string()
                                                           : "CiCatalog=" + catalogText;
                            }
                            if (base::StartsWithNoCase(line, "CiScope=") && !scopeText.empty()) {
                                return "CiScope=" + scopeText;
                            }
                            return line;
                        })
               ? 1
               : 0;
}

} // extern "C"
