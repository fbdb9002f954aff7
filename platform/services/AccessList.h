#pragma once
// The access an account has to a directory, set with the system's access-list tool: setfacl,
// run without a shell, and ended when it takes longer than 90 seconds. The entry is set on the
// directory and as its default, so files made in it later (uploads) carry it too.

#include <string>

namespace services {

enum class EDirectoryAccess {
    Change, // rwx: list, read, write
    Read,   // r-x: list, read
    None,   // ---
};

// "u:ACCOUNT:rwx,d:u:ACCOUNT:rwx" and the like.
std::string AccessListEntry(const std::string& account, EDirectoryAccess access);

// True when setfacl ended with 0 within the limit; `error` says why not.
bool SetDirectoryAccess(const std::string& directory, const std::string& account,
                        EDirectoryAccess access, std::string& error, int timeoutMs = 90000);

} // namespace services
