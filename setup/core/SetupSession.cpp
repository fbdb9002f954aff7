#include "SetupSession.h"
#include "Text.h"

#include "AreaCatalogue.h"
#include "Com.h"
#include "EnsureDirectory.h"
#include "IISRegistryManager.h"
#include "Settings.h"
#include "SetupText.h"

#include <filesystem>
#include <system_error>

namespace {

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EIcon;

std::string ReadSetting(const char* name) {
    std::string text;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, text);
    return text;
}

void WriteSetting(const char* name, const std::string& text) {
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, text.c_str());
}

} // namespace

bool HasCreateOption(const std::string& commandLine) {
    return base::LowerAscii(commandLine).find("/create") != std::string::npos;
}

bool AcceptQuickSetupPath(std::string& path, prompt::IPrompt& prompt) {
    path = setuptext::Trim(path);
    if (!path.empty() && path.size() <= SETTING_TEXT_LIMIT &&
        EnsureDirectory(path, EEnsureForm::Asking, prompt)) {
        return true;
    }
    prompt.Message("Please enter a valid directory path.", PROGRAM_TITLE, EButtons::Ok,
                   EIcon::None);
    return false;
}

bool SelectServer(const AdminBaseFactory& adminBase, ISetupUi& ui, const std::string& service,
                  std::string& name, bool askAlways) {
    std::unique_ptr<IAdminBase> admin = adminBase ? adminBase() : nullptr;
    if (!admin) {
        return false;
    }
    const std::vector<std::string> servers = admin->ListServers(service);
    if (!askAlways && servers.size() == 1) {
        name = servers.front();
        return true;
    }
    return ui.SelectServer(service, servers, name);
}

CSetupSession::CSetupSession(prompt::IPrompt& prompt, ISetupUi& ui, AdminBaseFactory adminBase)
    : m_prompt(prompt), m_ui(ui), m_adminBaseFactory(std::move(adminBase)) {}

CSetupSession::~CSetupSession() {
    m_store.Close();
    m_web.reset();
    m_ftp.reset();
    m_adminBase.reset();
    if (m_comInitialised) {
        CoUninitialize();
    }
}

bool CSetupSession::Start(const std::string& commandLine) {
    if (FAILED(CoInitialize(nullptr))) {
        m_prompt.Message("Unable to initialize COM.", PROGRAM_TITLE, EButtons::Ok, EIcon::Error);
        return false;
    }
    m_comInitialised = true;

    m_adminBase = m_adminBaseFactory ? m_adminBaseFactory() : nullptr;
    m_metabaseMode = m_adminBase != nullptr;
    if (m_metabaseMode) {
        if (!ConnectMetabase()) {
            return false;
        }
    } else {
        m_web = ConnectRegistryManager(WEB_SERVICE_NAME);
        m_ftp = ConnectRegistryManager(FTP_SERVICE_NAME);
    }

    if (HasCreateOption(commandLine)) {
        RecreateCatalogueTables(m_dataSource);
    }

    m_databasePath = ReadSetting(settings::DatabasePathFirstRun);
    if (m_databasePath.empty()) {
        std::error_code ec;
        std::string path = std::filesystem::current_path(ec).string();
        if (!m_ui.QuickSetup(path)) {
            return false;
        }
        m_databasePath = path;
        WriteSetting(settings::DatabasePath, m_databasePath);
    }

    if (!m_store.OpenForWriting(m_databasePath)) {
        m_prompt.Message("Dorvale Setup cannot access the filearea database. Please close all "
                         "Dorvale applications, and try again.",
                         "Warning", EButtons::Ok, EIcon::None);
        return false;
    }
    m_settings.LoadUploadPages();
    return true;
}

bool CSetupSession::ConnectMetabase() {
    std::string webName = ReadSetting(settings::WebServerName);
    const bool firstRun = webName.empty();
    if (firstRun) {
        if (!SelectServer(m_adminBaseFactory, m_ui, WEB_SERVICE_NAME, webName, false)) {
            return false;
        }
        WriteSetting(settings::WebServerName, webName);
    }
    std::string ftpName = ReadSetting(settings::FtpServerName);
    if (firstRun && ftpName.empty() &&
        SelectServer(m_adminBaseFactory, m_ui, FTP_SERVICE_NAME, ftpName, false)) {
        WriteSetting(settings::FtpServerName, ftpName);
    }

    for (;;) {
        try {
            m_web = m_adminBase->Connect(WEB_SERVICE_NAME, webName);
            break;
        } catch (const CIISInitException&) {
            if (!SelectServer(m_adminBaseFactory, m_ui, WEB_SERVICE_NAME, webName, true)) {
                m_prompt.Message("You must select a Web Server to configure Dorvale. Re-run "
                                 "Dorvale Setup when you have configured a Web Server on the "
                                 "machine.",
                                 "Dorvale Error", EButtons::Ok, EIcon::Error);
                return false;
            }
            WriteSetting(settings::WebServerName, webName);
        }
    }
    while (!ftpName.empty()) {
        try {
            m_ftp = m_adminBase->Connect(FTP_SERVICE_NAME, ftpName);
            break;
        } catch (const CIISInitException&) {
            if (!SelectServer(m_adminBaseFactory, m_ui, FTP_SERVICE_NAME, ftpName, true)) {
                WriteSetting(settings::FtpServerName, "");
                break;
            }
            WriteSetting(settings::FtpServerName, ftpName);
        }
    }
    return true;
}

std::vector<ESheetPage> CSetupSession::Pages() const {
    std::vector<ESheetPage> pages = {ESheetPage::General, ESheetPage::UploadOptions};
    if (m_settings.HttpUploadsAllowed()) {
        pages.push_back(ESheetPage::HttpUploads);
    }
    pages.push_back(ESheetPage::FileAreas);
    pages.push_back(ESheetPage::FileGroups);
    if (m_metabaseMode) {
        pages.push_back(ESheetPage::Servers);
    }
    return pages;
}

CAreaEditorContext CSetupSession::EditorContext() {
    return MakeAreaEditorContext(m_web.get(), m_ftp.get(), m_prompt, m_vrootsChanged, m_setAccess);
}

void CSetupSession::OfferRestart() {
    if (!m_vrootsChanged || (m_web && m_web->ServerKind() >= SERVER_KIND_METABASE) ||
        m_services == nullptr) {
        return;
    }
    const bool running = m_services->IsRunning(WEB_SERVICE_NAME) ||
                         (m_ftp && m_services->IsRunning(FTP_SERVICE_NAME));
    if (!running ||
        m_prompt.Message("You must shut down and restart your HTTP and FTP servers in order for "
                         "these changes to take effect. Do you want to do that now?",
                         "Warning", EButtons::YesNo, EIcon::Question) != EAnswer::Yes) {
        return;
    }
    if (m_ftp) {
        m_services->Restart(FTP_SERVICE_NAME);
    }
    m_services->Restart(WEB_SERVICE_NAME);
}
