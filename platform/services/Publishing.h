#pragma once
// What the web and FTP servers may publish, and as whom. A directory published as a
// virtual root must not be the file system's root, a system directory or one inside it,
// nor the registry's, the database's or Dorvale's own state directory or one of their
// parents: any of those would hand out the machine's secrets or Dorvale's own stores.
// Servers started as root run their workers as an unprivileged account, never as root.

#include <string>
#include <vector>

namespace services {

// The directories a server would expose Dorvale's stores with: the registry directory, the
// settings' DatabasePath and /var/lib/dorvale.
std::vector<std::string> ProtectedDirectories();

// False with the reason when `directory` (resolved: "..", "." and symbolic links followed)
// may not be published. `resolved` gets the directory as resolved.
bool CheckPublishable(const std::string& directory, std::string& resolved, std::string& why,
                      const std::vector<std::string>& protectedDirs = ProtectedDirectories());

// The account a server's workers run as: as root, the first of `candidates` the system has
// (www-data, then nobody, for the web); otherwise the caller's own. False with the reason
// when there is none, or only root.
bool ChooseWorkerAccount(const std::vector<std::string>& candidates, std::string& user,
                         std::string& group, std::string& why);

} // namespace services
