#pragma once
// What the liftwell program does, as a library: it plays the page that embeds the upload
// control. It creates "HalvrenSoftware.WebUpload" through the registry, hands it the
// parameters of a dorvale-upload: link as a page hands its embedded object's parameters, then
// what the command line says, and calls Upload, which shows the wizard.

#include "Liftwell.h"
#include "UploadProperties.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace liftwell {

struct CLaunchOptions {
    std::string link; // a dorvale-upload: link; empty: none
    std::optional<std::string> ftpAddress;
    std::optional<std::string> username;
    std::string passwordFile;       // a file whose first line is the password; empty: none
    std::vector<CUploadArea> areas; // when any, they replace the link's areas
};

// "NAME=PATH" split at its first '='; false when there is none or NAME is empty.
bool ParseAreaOption(std::string_view text, CUploadArea& area);

// Why no window can be shown here (no display, no Wayland, no Qt platform named), or empty.
std::string MissingDisplay();

// The password: the file's first line without its line end. False with `error` when the file
// cannot be read.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

// What the control is to be given, checked before any window is made.
struct CLaunch {
    std::vector<std::pair<std::string, std::string>> linkParameters; // those the control takes
    std::optional<std::string> ftpAddress;
    std::optional<std::string> username;
    std::optional<std::string> password;
    std::vector<CUploadArea> areas;
};

// Reads the link and the password file. `warnings` gets what is ignored (a password in a link,
// parameters the control does not know). False with `error` for a link that cannot be read or
// a password file that cannot be read.
bool PrepareLaunch(const CLaunchOptions& options, CLaunch& launch,
                   std::vector<std::string>& warnings, std::string& error);

// Runs the control on the calling thread, which must be a Qt application's. `outcome` is what
// Upload came to (ELiftwellOutcome). False with `error` when the control could not be made or
// given its properties.
bool RunUploadControl(const CLaunch& launch, LONG& outcome, std::string& error);

} // namespace liftwell
