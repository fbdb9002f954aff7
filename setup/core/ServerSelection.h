#pragma once
// What the Servers page decides: the web and FTP server names it shows, changed only through
// the server selection, and the managers connected again for a changed name when the page is
// left. A name that cannot be connected leaves its manager absent and its old name
// remembered; the user may leave all the same.

#include "SetupSession.h"

class CServerSelection {
public:
    explicit CServerSelection(CSetupSession& session) : m_session(session) {}

    // The names as stored (WebServerName, FtpServerName); both remembered.
    void Load();
    const std::string& WebName() const { return m_web; }
    const std::string& FtpName() const { return m_ftp; }

    // "Change..." for the service: the selection, always asking, from the field's name. True
    // when a server was chosen (its name is the field's now).
    bool Change(ISetupUi& ui, const std::string& service);
    // Leaving the page: the managers of changed names are connected again. False when the
    // user chose to stay after a failed connection.
    bool Leave(prompt::IPrompt& prompt);
    // OK or Apply: both names written.
    void Apply() const;

private:
    // Connects the manager of `service` again for `name`; false when it failed.
    bool Reconnect(const std::string& service, const std::string& name, std::string& remembered);

    CSetupSession& m_session;
    std::string m_web;
    std::string m_ftp;
    std::string m_rememberedWeb;
    std::string m_rememberedFtp;
};
