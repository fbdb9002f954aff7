#pragma once
// The web and FTP servers' virtual directories (virtual roots), as the setup program sees
// them: one manager per service, of one of two kinds (the services' registry keys, or the
// web server's admin base object). A kind adds a class derived from CIISManagerBase and
// nothing else; the matching rules that find a root for an alias or a path are shared here,
// since both kinds apply them to the roots they list.

#include <stdexcept>
#include <string>
#include <vector>

inline constexpr char WEB_SERVICE_NAME[] = "W3SVC";
inline constexpr char FTP_SERVICE_NAME[] = "MSFTPSVC";

// Permission bits of a virtual root.
constexpr unsigned VROOT_READ = 1;
constexpr unsigned VROOT_WRITE = 2;

// What ServerKind answers.
constexpr int SERVER_KIND_REGISTRY = 3;
constexpr int SERVER_KIND_METABASE = 4;

// Thrown by a manager's constructor when its server cannot be reached.
class CIISInitException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One virtual root as a kind lists it: the alias ("/" for the root, else "/name..."), its
// physical directory and its permissions.
struct CVirtualRoot {
    std::string alias;
    std::string path;
    unsigned permissions = 0;
};

class CIISManagerBase {
public:
    CIISManagerBase(std::string serviceName, std::string machineName)
        : m_serviceName(std::move(serviceName)), m_machineName(std::move(machineName)) {}
    virtual ~CIISManagerBase() = default;
    CIISManagerBase(const CIISManagerBase&) = delete;
    CIISManagerBase& operator=(const CIISManagerBase&) = delete;

    virtual bool AddRoot(const std::string& alias, const std::string& path,
                         unsigned permissions) = 0;
    virtual bool DeleteRoot(const std::string& alias) = 0;
    virtual bool UpdateRoot(const std::string& alias, const std::string& path,
                            unsigned permissions) = 0;
    // The root that serves `alias`: the root of that very name, else the longest root whose
    // alias is a parent of it. `rootPath` (when given) receives the root's directory.
    virtual bool FindParentRoot(const std::string& alias, std::string& rootName,
                                std::string* rootPath = nullptr) = 0;
    // The alias under which a directory is served: the root of that very directory, else
    // the deepest root above it followed by the rest of the path.
    virtual bool AliasForPath(const std::string& path, std::string& alias) = 0;
    virtual bool GetRoot(const std::string& alias, std::string& path, unsigned& permissions) = 0;
    // The account anonymous visitors are served as; empty when none is configured.
    virtual std::string GetAnonymousUser() = 0;
    virtual int ServerKind() const = 0;

    const std::string& GetServiceName() const { return m_serviceName; }
    const std::string& GetMachineName() const { return m_machineName; }

protected:
    // The shared rules over the roots a kind lists. Aliases are compared without regard to
    // letter case; directories exactly, as the file system does. A parent must end where a
    // name of the child ends: /pub serves /pub/new, never /public.
    static bool FindParentRootIn(const std::vector<CVirtualRoot>& roots, const std::string& alias,
                                 std::string& rootName, std::string* rootPath);
    static bool AliasForPathIn(const std::vector<CVirtualRoot>& roots, const std::string& path,
                               std::string& alias);

private:
    std::string m_serviceName;
    std::string m_machineName;
};
