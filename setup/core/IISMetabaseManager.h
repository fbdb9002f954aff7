#pragma once
// Virtual roots kept in the web server's metabase: keys below "/LM/<service>/<n>/ROOT" of the
// instance whose descriptive name (property 1015) the manager was made for, each holding its
// directory (3001) and permissions (6016). The metabase takes effect at once: every change is
// handed to the running server, which takes its new configuration or refuses it; a refused
// change is taken back, so the metabase never holds what the server does not serve.

#include "IISManager.h"
#include "Metabase.h"

class CIISMetabaseManager : public CIISManagerBase {
public:
    // The time-out of every open of the instance's ROOT key, in milliseconds.
    static constexpr DWORD OPEN_TIMEOUT_MS = 20;

    // Finds the instance; throws CIISInitException when `admin` is null or no instance of the
    // service has that name.
    CIISMetabaseManager(const std::string& serviceName, const std::string& serverName,
                        IMetabaseAdmin* admin);

    bool AddRoot(const std::string& alias, const std::string& path, unsigned permissions) override;
    bool DeleteRoot(const std::string& alias) override;
    bool UpdateRoot(const std::string& alias, const std::string& path,
                    unsigned permissions) override;
    bool FindParentRoot(const std::string& alias, std::string& rootName,
                        std::string* rootPath = nullptr) override;
    bool AliasForPath(const std::string& path, std::string& alias) override;
    bool GetRoot(const std::string& alias, std::string& path, unsigned& permissions) override;
    std::string GetAnonymousUser() override;
    int ServerKind() const override { return SERVER_KIND_METABASE; }

    // Marks a root as indexed by the index server, or not (property 6039).
    bool SetContentIndexed(const std::string& alias, bool indexed);

    const std::string& GetServerName() const { return m_serverName; }
    unsigned GetInstance() const { return m_instance; }
    // Why the last change failed, when the metabase or the server said (empty otherwise).
    const std::string& LastError() const { return m_lastError; }

    // Every root of the instance: what its server publishes.
    static std::vector<CVirtualRoot> ListInstanceRoots(IMetabaseAdmin* admin,
                                                       const std::string& serviceName,
                                                       unsigned instance,
                                                       DWORD timeoutMs = OPEN_TIMEOUT_MS);
    // The instance's ROOT key.
    static std::string RootKeyOf(const std::string& serviceName, unsigned instance);

private:
    std::string RootKey() const;
    std::vector<CVirtualRoot> ListRoots();
    // Writes one root (or removes it: `present` false) and has the running server take it;
    // a refusal restores what was there before.
    bool ChangeRoot(const std::string& alias, bool present, const std::string& path,
                    unsigned permissions, bool mustExist);
    bool WriteRoot(const std::string& key, bool present, const std::string& path,
                   unsigned permissions);

    CComPtr<IMetabaseAdmin> m_admin;
    std::string m_serverName;
    unsigned m_instance = 0;
    std::string m_lastError;
};
