#pragma once
// What the tests of the servers share: an HTTP client that tells status, headers and body
// apart, free ports, files put in place, and the users a server's processes run as.

#include "HttpClient.h"
#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace servetest {

namespace fs = std::filesystem;

// One request on a connection of its own; status 0 when nothing answers.
inline testsupport::CHttpResponse Get(int port, const std::string& target) {
    return testsupport::CHttpClient(port).Get(target);
}

// Writes a file, making its directory first.
inline void Put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    testsupport::WriteFile(path, bytes);
}

// The real user ids of the processes whose parent is `parent`.
inline std::vector<long> ChildUids(long parent) {
    std::vector<long> uids;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream status(entry.path() / "status");
        std::string line;
        long ppid = -1;
        long uid = -1;
        while (std::getline(status, line)) {
            if (line.rfind("PPid:", 0) == 0) {
                ppid = std::stol(line.substr(5));
            } else if (line.rfind("Uid:", 0) == 0) {
                uid = std::stol(line.substr(4));
            }
        }
        if (ppid == parent) {
            uids.push_back(uid);
        }
    }
    return uids;
}

// A port nothing listens on now.
inline int FreePort() {
    return testsupport::FreeLoopbackPort();
}

} // namespace servetest
