#include "VirtualDirectoryCheck.h"
#include "Text.h"

#include "IISManager.h"
#include "SettingsModel.h"
#include "SetupText.h"

namespace {

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EIcon;

std::string Format(const char* text, const char* service) {
    std::string result = text;
    const std::size_t at = result.find("%s");
    if (at != std::string::npos) {
        result.replace(at, 2, service);
    }
    return result;
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

void GrantAccess(CIISManagerBase& manager, bool http, const CAreaPublishing& area,
                 const AnonymousAccessSetter& setAccess) {
    const std::string account = manager.GetAnonymousUser();
    if (account.empty() || !setAccess) {
        return;
    }
    std::string path = area.path;
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const EAnonymousAccess access = area.uploads && !http ? EAnonymousAccess::Change
                                    : area.downloads      ? EAnonymousAccess::Read
                                                          : EAnonymousAccess::None;
    setAccess(path, account, access);
}

} // namespace

bool CheckVirtualDirectory(CIISManagerBase& manager, const char* service, bool http,
                           const CAreaPublishing& area, std::string& alias, prompt::IPrompt& prompt,
                           bool& vrootsChanged, const AnonymousAccessSetter& setAccess) {
    if (!area.hostedLocally || alias.empty()) {
        return true;
    }
    if (alias.front() != '/') {
        alias.insert(alias.begin(), '/');
    }
    if (alias.size() > 1 && alias.back() == '/') {
        alias.pop_back();
    }

    unsigned wanted = area.downloads ? VROOT_READ : 0;
    if (!http && area.uploads) {
        wanted |= VROOT_WRITE;
    }
    const unsigned mask = http ? VROOT_READ : VROOT_READ | VROOT_WRITE;

    std::string rootName;
    std::string rootPath;
    unsigned rootPermissions = 0;
    if (!manager.FindParentRoot(alias, rootName) ||
        !manager.GetRoot(rootName, rootPath, rootPermissions)) {
        prompt.Message(
            Format("Could not retrieve path information for the specified %s virtual root.",
                   service),
            "Warning", EButtons::Ok, EIcon::Information);
        GrantAccess(manager, http, area, setAccess);
        return true;
    }

    // The directory the alias names through the root found.
    const bool isRoot = base::EqualsNoCase(rootName, alias);
    std::string below =
        isRoot ? std::string() : alias.substr(std::min(rootName.size(), alias.size()));
    while (!below.empty() && below.front() == '/') {
        below.erase(below.begin());
    }
    std::string expected = WithSlash(rootPath) + below;
    expected = WithSlash(expected);

    if (expected != WithSlash(area.path)) {
        if (isRoot) {
            prompt.Message(
                Format("The %s virtual directory is already in use for another physical path.",
                       service),
                "Warning", EButtons::Ok, EIcon::Information);
            return false;
        }
        if (prompt.Message(Format("The %s Virtual Directory does not exist but is required. "
                                  "Would you like to create it?",
                                  service),
                           "Question", EButtons::YesNo, EIcon::Question) != EAnswer::Yes) {
            return false;
        }
        if (!manager.AddRoot(alias, area.path, wanted)) {
            prompt.Message(
                Format("An error occurred adding the specified %s virtual directory.", service),
                "Error", EButtons::Ok, EIcon::Error);
            return false;
        }
        vrootsChanged = true;
    } else if ((rootPermissions & mask) != wanted) {
        if (!isRoot) {
            if (prompt.Message(Format("The %s subdirectory directory does not match the "
                                      "specified permissions. Would you like to create a new "
                                      "virtual root?",
                                      service),
                               "Question", EButtons::YesNo, EIcon::Question) != EAnswer::Yes) {
                return false;
            }
            if (!manager.AddRoot(alias, area.path, wanted)) {
                prompt.Message("An error occurred adding the specified virtual directory.",
                               PROGRAM_TITLE, EButtons::Ok, EIcon::None);
                return false;
            }
        } else {
            if (prompt.Message(
                    Format("Would you like to update the permissions on the specified %s virtual "
                           "directory?",
                           service),
                    "Security Warning", EButtons::YesNo, EIcon::Question) != EAnswer::Yes) {
                return false;
            }
            if (!manager.UpdateRoot(alias, area.path, (rootPermissions & ~mask) | wanted)) {
                prompt.Message("An error occurred updating the specified virtual directory.",
                               PROGRAM_TITLE, EButtons::Ok, EIcon::None);
                return false;
            }
        }
        vrootsChanged = true;
    }
    GrantAccess(manager, http, area, setAccess);
    return true;
}
