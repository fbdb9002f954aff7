#pragma once
// One run of the setup program: the start-up sequence and everything that lives for the
// whole run (the server managers, the database path, the file-area store held open for
// exclusive writing, the settings, the flag of changed virtual roots).
//
// Start-up order: COM; the server-manager kind (the metabase kind when the web server's
// admin base object can be created, else the registry kind); "/create"; the database path
// (Quick Setup on a first run); the store. Any failure before the sheet ends the run; what
// was written to the registry on the way stays.

#include "AreaEditor.h"
#include "FileAreaStore.h"
#include "IISManager.h"
#include "Prompt.h"
#include "SettingsModel.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The web server's admin base object, through which the metabase kind reaches its servers.
class IAdminBase {
public:
    virtual ~IAdminBase() = default;
    // The descriptive names of the service's instances, in instance order.
    virtual std::vector<std::string> ListServers(const std::string& service) = 0;
    // A manager for the instance of that name; throws CIISInitException when there is none.
    virtual std::unique_ptr<CIISManagerBase> Connect(const std::string& service,
                                                     const std::string& name) = 0;
};
// Creates the admin base object on this machine; null when it cannot be created.
using AdminBaseFactory = std::function<std::unique_ptr<IAdminBase>()>;

// Dialogs of the start-up besides message boxes.
class ISetupUi {
public:
    virtual ~ISetupUi() = default;
    // "Dorvale Quick Setup": `path` in, the proposal; out, the accepted directory (the dialog
    // accepts only what AcceptQuickSetupPath accepts). False when cancelled.
    virtual bool QuickSetup(std::string& path) = 0;
    // The server selection dialog over `servers`; `name` in, the current name; out, the
    // chosen one. False when cancelled.
    virtual bool SelectServer(const std::string& service, const std::vector<std::string>& servers,
                              std::string& name) = 0;
};

// What a service can be asked (the web and FTP services).
class IServiceControl {
public:
    virtual ~IServiceControl() = default;
    virtual bool IsRunning(const std::string& service) = 0;
    // Stops the service, waits until it has stopped, starts it; the start's result.
    virtual bool Restart(const std::string& service) = 0;
};

// The sheet's pages, in the order they can appear.
enum class ESheetPage { General, UploadOptions, HttpUploads, FileAreas, FileGroups, Servers };

// Whether the command line asks for the tables to be made again: "/create" anywhere in it,
// letter case ignored.
bool HasCreateOption(const std::string& commandLine);
// The Quick Setup dialog's OK: the path trimmed, not empty, and an existing directory or one
// the user lets it create. False after telling why.
bool AcceptQuickSetupPath(std::string& path, prompt::IPrompt& prompt);

// The server selection: lists the service's servers through a new admin base object; with
// exactly one and `askAlways` false it is the choice, else the user chooses. False when
// nothing was chosen.
bool SelectServer(const AdminBaseFactory& adminBase, ISetupUi& ui, const std::string& service,
                  std::string& name, bool askAlways);

class CSetupSession {
public:
    CSetupSession(prompt::IPrompt& prompt, ISetupUi& ui, AdminBaseFactory adminBase = {});
    // The exit clean-up: the store closed, the managers destroyed, COM uninitialised.
    ~CSetupSession();
    CSetupSession(const CSetupSession&) = delete;
    CSetupSession& operator=(const CSetupSession&) = delete;

    // The data source of the catalogue ("Dorvale" unless set).
    void SetDataSource(std::string name) { m_dataSource = std::move(name); }
    const std::string& GetDataSource() const { return m_dataSource; }
    // Runs the start-up sequence; false when the program is to end without its sheet.
    bool Start(const std::string& commandLine);

    prompt::IPrompt& Prompt() { return m_prompt; }
    bool IsMetabaseMode() const { return m_metabaseMode; }
    CIISManagerBase* Web() { return m_web.get(); }
    CIISManagerBase* Ftp() { return m_ftp.get(); }
    // The Servers page replaces a manager (null: none connected).
    void SetWeb(std::unique_ptr<CIISManagerBase> manager) { m_web = std::move(manager); }
    void SetFtp(std::unique_ptr<CIISManagerBase> manager) { m_ftp = std::move(manager); }
    const AdminBaseFactory& GetAdminBaseFactory() const { return m_adminBaseFactory; }
    void SetServiceControl(IServiceControl* control) { m_services = control; }
    // Grants the anonymous account access to an area's directory (none: not granted).
    void SetAccessSetter(AnonymousAccessSetter setter) { m_setAccess = std::move(setter); }

    const std::string& DatabasePath() const { return m_databasePath; }
    CFileAreaStore& Store() { return m_store; }
    CSettingsModel& Settings() { return m_settings; }
    bool& VrootsChanged() { return m_vrootsChanged; }

    // The pages in order; HTTP Uploads follows the upload mode the settings hold now.
    std::vector<ESheetPage> Pages() const;
    // What the area editor needs, with the upload mode as stored now.
    CAreaEditorContext EditorContext();
    // The File Areas tab was applied: offers to restart the services when virtual roots
    // changed and the servers read them only when they start.
    void OfferRestart();

private:
    void ConnectServers();
    bool ConnectMetabase();

    prompt::IPrompt& m_prompt;
    ISetupUi& m_ui;
    AdminBaseFactory m_adminBaseFactory;
    std::unique_ptr<IAdminBase> m_adminBase;
    IServiceControl* m_services = nullptr;
    AnonymousAccessSetter m_setAccess;
    bool m_comInitialised = false;
    bool m_metabaseMode = false;
    std::unique_ptr<CIISManagerBase> m_web;
    std::unique_ptr<CIISManagerBase> m_ftp;
    std::string m_dataSource = "Dorvale";
    std::string m_databasePath;
    CFileAreaStore m_store;
    CSettingsModel m_settings;
    bool m_vrootsChanged = false;
};
