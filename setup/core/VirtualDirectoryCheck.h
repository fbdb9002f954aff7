#pragma once
// Checking an area's HTTP or FTP alias against the server's virtual roots: creating the
// root when it is missing, offering to adjust its permissions, refusing an alias already
// serving another directory, and granting the server's anonymous account access to the
// area's directory.

#include "Prompt.h"

#include <functional>
#include <string>

class CIISManagerBase;

// What the anonymous account may do in an area's directory.
enum class EAnonymousAccess { Change, Read, None };

// Sets the anonymous account's access to a directory (the path without its trailing slash).
// Its result does not change the check's outcome.
using AnonymousAccessSetter =
    std::function<void(const std::string& path, const std::string& account, EAnonymousAccess)>;

struct CAreaPublishing {
    bool hostedLocally = false;
    bool downloads = false;
    bool uploads = false;
    std::string path; // the area's directory, with its trailing slash
};

// Checks one alias (in: as typed; out: with its leading and without its trailing "/").
// `service` is the word the messages show ("HTTP" or "FTP"). Sets `vrootsChanged` when a
// root was created or changed. False when the alias is refused.
bool CheckVirtualDirectory(CIISManagerBase& manager, const char* service, bool http,
                           const CAreaPublishing& area, std::string& alias, prompt::IPrompt& prompt,
                           bool& vrootsChanged, const AnonymousAccessSetter& setAccess);
