#include "AccessList.h"

#include "Process.h"

namespace services {

std::string AccessListEntry(const std::string& account, EDirectoryAccess access) {
    const char* bits = access == EDirectoryAccess::Change ? "rwx"
                       : access == EDirectoryAccess::Read ? "r-x"
                                                          : "---";
    return "u:" + account + ":" + bits + ",d:u:" + account + ":" + bits;
}

bool SetDirectoryAccess(const std::string& directory, const std::string& account,
                        EDirectoryAccess access, std::string& error, int timeoutMs) {
    if (account.empty() || account.find_first_of(":,\n") != std::string::npos ||
        account.front() == '-') {
        error = "\"" + account + "\" is not an account name";
        return false;
    }
    process::CSpawnOptions options;
    options.streams = process::EStreams::Discard;
    process::CProcess child;
    // "--" keeps a directory named like an option from being read as one.
    if (!child.Start("setfacl", {"-m", AccessListEntry(account, access), "--", directory}, options,
                     error)) {
        return false;
    }
    process::CExitStatus status;
    if (child.Wait(timeoutMs, status) != process::EWaitResult::Exited) {
        child.Terminate(1000, status);
        error = "setfacl did not end within " + std::to_string(timeoutMs / 1000) + " seconds";
        return false;
    }
    if (!status.exited || status.code != 0) {
        error = "setfacl failed on " + directory;
        return false;
    }
    return true;
}

} // namespace services
