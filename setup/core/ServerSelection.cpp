#include "ServerSelection.h"

#include "Settings.h"

namespace {

std::string ReadName(const char* value) {
    std::string name;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, value, name);
    return name;
}

} // namespace

void CServerSelection::Load() {
    m_web = m_rememberedWeb = ReadName(settings::WebServerName);
    m_ftp = m_rememberedFtp = ReadName(settings::FtpServerName);
}

bool CServerSelection::Change(ISetupUi& ui, const std::string& service) {
    std::string& field = service == WEB_SERVICE_NAME ? m_web : m_ftp;
    std::string name = field;
    if (!SelectServer(m_session.GetAdminBaseFactory(), ui, service, name, true)) {
        return false;
    }
    field = name;
    return true;
}

bool CServerSelection::Reconnect(const std::string& service, const std::string& name,
                                 std::string& remembered) {
    const bool web = service == WEB_SERVICE_NAME;
    std::unique_ptr<CIISManagerBase> manager;
    bool connected = false;
    if (web) {
        m_session.SetWeb(nullptr);
    } else {
        m_session.SetFtp(nullptr);
    }
    const AdminBaseFactory& factory = m_session.GetAdminBaseFactory();
    std::unique_ptr<IAdminBase> admin = factory ? factory() : nullptr;
    if (admin) {
        try {
            manager = admin->Connect(service, name);
            connected = true;
        } catch (const CIISInitException&) {
            manager.reset();
        }
    }
    if (connected) {
        remembered = name;
    }
    if (web) {
        m_session.SetWeb(std::move(manager));
    } else {
        m_session.SetFtp(std::move(manager));
    }
    return connected;
}

bool CServerSelection::Leave(prompt::IPrompt& prompt) {
    const bool webFine =
        m_web == m_rememberedWeb || Reconnect(WEB_SERVICE_NAME, m_web, m_rememberedWeb);
    const bool ftpFine =
        m_ftp == m_rememberedFtp || Reconnect(FTP_SERVICE_NAME, m_ftp, m_rememberedFtp);
    if (webFine && ftpFine) {
        return true;
    }
    const std::string failed = !webFine && !ftpFine ? "Web and FTP" : !webFine ? "Web" : "FTP";
    return prompt.Message("Unable to connect to " + failed + " server(s), exit anyways?",
                          "Dorvale Server Setup", prompt::EButtons::YesNo,
                          prompt::EIcon::Question) == prompt::EAnswer::Yes;
}

void CServerSelection::Apply() const {
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::WebServerName,
                      m_web.c_str());
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::FtpServerName,
                      m_ftp.c_str());
}
