#pragma once
// The file-area editor ("File Area Properties"): how its fields are coupled, what a changed
// directory does to the aliases, how each field is tidied when it is left, and the checks
// OK makes before the area is stored. The sheet's editor and `dorvale area` both use it.

#include "FileAreaStore.h"
#include "Prompt.h"
#include "VirtualDirectoryCheck.h"

#include <string>

class CIISManagerBase;

enum class EAreaField { None, Name, Path, FtpAlias, HttpAlias };

// What the editor works with besides the area: the server managers (either may be absent),
// whether the upload mode forbids uploads, where messages go, and the run's flag of changed
// virtual roots.
struct CAreaEditorContext {
    CIISManagerBase* web = nullptr;
    CIISManagerBase* ftp = nullptr;
    bool uploadsForbidden = false; // AllowUploads reads as 0
    prompt::IPrompt* prompt = nullptr;
    bool* vrootsChanged = nullptr;
    AnonymousAccessSetter setAccess;
};

// The context of a run: its managers, its prompt and flag, and the upload mode as stored now.
CAreaEditorContext MakeAreaEditorContext(CIISManagerBase* web, CIISManagerBase* ftp,
                                         prompt::IPrompt& prompt, bool& vrootsChanged,
                                         AnonymousAccessSetter setAccess = {});

// The longest texts the record's fields take.
constexpr std::size_t AREA_NAME_LIMIT = AREA_NAME_SIZE - 1;
constexpr std::size_t AREA_PATH_LIMIT = AREA_PATH_SIZE - 1;

class CAreaEditor {
public:
    // A new area (null) or an existing one.
    CAreaEditor(const AreaRecord* area, const CAreaEditorContext& context);

    std::string name;
    std::string path;
    std::string ftpAlias;
    std::string httpAlias;
    bool downloads = true;
    bool hostedLocally = false;

    bool Uploads() const { return m_uploads; }
    // Uploads force the area to be hosted locally.
    void SetUploads(bool uploads);
    void SetHostedLocally(bool hosted);

    bool IsUploadsEnabled() const { return !m_context.uploadsForbidden; }
    bool IsHostedLocallyEnabled() const { return !m_uploads; }
    bool IsPathEnabled() const { return hostedLocally; }
    bool IsHttpAliasEnabled() const { return hostedLocally; }
    bool IsFtpAliasEnabled() const { return hostedLocally && m_context.ftp != nullptr; }

    // The user changed the directory: the aliases become the servers' aliases for it.
    void PathEdited(const std::string& text);
    // The directory browser chose `directory`; false when it is the directory already there.
    bool DirectoryChosen(const std::string& directory);
    // Leaving the fields: the directory trimmed, absolute, with its trailing slash; an alias
    // without leading spaces and with its leading "/".
    void LeavePath();
    void LeaveAlias(std::string& alias) const;

    // OK: the checks in order; the first that fails tells the user and names the field to
    // put the focus on (None when a question was answered No). Returns true when the area
    // may be stored.
    bool Validate(EAreaField& focus);
    // The record as validated, with this id.
    AreaRecord BuildRecord(std::uint32_t id) const;

private:
    bool Refuse(const std::string& text, EAreaField field, EAreaField& focus) const;
    EAreaField AliasFocus() const;

    CAreaEditorContext m_context;
    bool m_uploads = false;
};

// The directory a path names, tidied as leaving the path field does.
std::string NormaliseAreaPath(const std::string& text);

// "Manage..." beside an alias: the web server's page for its FTP (`ftp`) or HTTP virtual
// directories, at the HTTP server's address `httpServer` (without its trailing "/"). Empty
// when there is no address.
std::string VirtualDirectoryAdminUrl(const std::string& httpServer, bool ftp);
// The same at the address the HttpServer setting holds now.
std::string ReadVirtualDirectoryAdminUrl(bool ftp);
