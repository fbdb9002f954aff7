#include "AreaEditor.h"

#include "EnsureDirectory.h"
#include "GroupFiles.h"
#include "IISManager.h"
#include "Settings.h"
#include "SettingsModel.h"
#include "SetupText.h"

#include <filesystem>
#include <system_error>

namespace {

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EIcon;

} // namespace

CAreaEditorContext MakeAreaEditorContext(CIISManagerBase* web, CIISManagerBase* ftp,
                                         prompt::IPrompt& prompt, bool& vrootsChanged,
                                         AnonymousAccessSetter setAccess) {
    CAreaEditorContext context;
    context.web = web;
    context.ftp = ftp;
    context.uploadsForbidden = ReadUploadsForbidden();
    context.prompt = &prompt;
    context.vrootsChanged = &vrootsChanged;
    context.setAccess = std::move(setAccess);
    return context;
}

std::string NormaliseAreaPath(const std::string& text) {
    std::string path = setuptext::Trim(text);
    if (path.empty()) {
        return path;
    }
    // Every program reads the area from its own directory: a relative path would name a
    // different place in each.
    if (path.front() != '/') {
        std::error_code ec;
        path = (std::filesystem::current_path(ec) / path).lexically_normal().string();
    }
    if (path.back() != '/') {
        path += '/';
    }
    return path;
}

std::string VirtualDirectoryAdminUrl(const std::string& httpServer, bool ftp) {
    std::string address = setuptext::Trim(httpServer);
    while (!address.empty() && address.back() == '/') {
        address.pop_back();
    }
    if (address.empty()) {
        return address;
    }
    return address + (ftp ? "/scripts/iisadmin/ism.dll?ftp/dir" : "/scripts/iisadmin/ism.dll?http/dir");
}

std::string ReadVirtualDirectoryAdminUrl(bool ftp) {
    std::string httpServer;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::HttpServer, httpServer);
    return VirtualDirectoryAdminUrl(httpServer, ftp);
}

CAreaEditor::CAreaEditor(const AreaRecord* area, const CAreaEditorContext& context)
    : m_context(context) {
    if (area != nullptr) {
        name = area->Name;
        path = area->Path;
        ftpAlias = area->FtpAlias;
        httpAlias = area->HttpAlias;
        downloads = (area->Flags & AREA_DOWNLOADABLE) != 0;
        hostedLocally = (area->Flags & AREA_HOSTED_LOCALLY) != 0;
        m_uploads = (area->Flags & AREA_UPLOADABLE) != 0;
    }
    if (m_context.uploadsForbidden) {
        m_uploads = false;
    }
    if (m_uploads) {
        hostedLocally = true;
    }
}

void CAreaEditor::SetUploads(bool uploads) {
    m_uploads = uploads && !m_context.uploadsForbidden;
    if (m_uploads) {
        hostedLocally = true;
    }
}

void CAreaEditor::SetHostedLocally(bool hosted) {
    hostedLocally = hosted || m_uploads;
}

void CAreaEditor::PathEdited(const std::string& text) {
    path = text;
    if (m_context.ftp != nullptr) {
        std::string alias;
        ftpAlias = m_context.ftp->AliasForPath(text, alias) ? alias : std::string();
    }
    if (m_context.web != nullptr) {
        std::string alias;
        httpAlias = m_context.web->AliasForPath(text, alias) ? alias : std::string();
    }
}

bool CAreaEditor::DirectoryChosen(const std::string& directory) {
    std::string chosen = directory;
    if (chosen.empty() || chosen.back() != '/') {
        chosen += '/';
    }
    if (chosen == path) {
        return false;
    }
    PathEdited(chosen);
    return true;
}

void CAreaEditor::LeavePath() {
    path = NormaliseAreaPath(path);
}

void CAreaEditor::LeaveAlias(std::string& alias) const {
    alias = setuptext::TrimLeft(alias);
    if (!alias.empty() && alias.front() != '/') {
        alias.insert(alias.begin(), '/');
    }
}

bool CAreaEditor::Refuse(const std::string& text, EAreaField field, EAreaField& focus) const {
    m_context.prompt->Message(text, "Warning", EButtons::Ok, EIcon::Warning);
    focus = field;
    return false;
}

EAreaField CAreaEditor::AliasFocus() const {
    return m_context.ftp != nullptr ? EAreaField::FtpAlias : EAreaField::HttpAlias;
}

bool CAreaEditor::Validate(EAreaField& focus) {
    prompt::IPrompt& prompt = *m_context.prompt;
    focus = EAreaField::None;

    name = setuptext::Trim(name);
    if (name.empty()) {
        return Refuse("The File Area Name field cannot be blank.", EAreaField::Name, focus);
    }
    if (const std::string problem = GetAreaNameProblem(name); !problem.empty()) {
        return Refuse(problem, EAreaField::Name, focus);
    }
    if (name.size() > AREA_NAME_LIMIT) {
        return Refuse("The File Area Name can be at most " + std::to_string(AREA_NAME_LIMIT) +
                          " bytes long.",
                      EAreaField::Name, focus);
    }

    LeaveAlias(ftpAlias);
    LeaveAlias(httpAlias);
    for (auto [alias, field] : {std::pair{&ftpAlias, EAreaField::FtpAlias},
                                std::pair{&httpAlias, EAreaField::HttpAlias}}) {
        if (alias->size() > AREA_PATH_LIMIT) {
            return Refuse("An alias can be at most " + std::to_string(AREA_PATH_LIMIT) +
                              " bytes long.",
                          field, focus);
        }
    }

    if (hostedLocally) {
        LeavePath();
        if (path.empty()) {
            // The text as the design has always shown it.
            return Refuse("The File Area Path connot be blank when locally hosting files.",
                          EAreaField::Path, focus);
        }
        // The trailing slash counts against the field's room too.
        if (path.size() > AREA_PATH_LIMIT) {
            return Refuse("The File Area Path can be at most " + std::to_string(AREA_PATH_LIMIT) +
                              " bytes long, its closing \"/\" included.",
                          EAreaField::Path, focus);
        }
        if (!EnsureDirectory(path, EEnsureForm::ThreeWay, prompt)) {
            focus = EAreaField::Path;
            return false;
        }
    }

    if (!m_uploads && !downloads &&
        prompt.Message("You have selected to not allow both uploads and downloads from this area. "
                       "Are you sure you want to save?",
                       "Warning", EButtons::YesNo, EIcon::Question) != EAnswer::Yes) {
        return false;
    }
    const bool noAlias = ftpAlias.empty() && httpAlias.empty();
    if (downloads && hostedLocally && noAlias) {
        return Refuse("To allow downloading from this file area, you must define either a FTP or "
                      "HTTP alias.",
                      AliasFocus(), focus);
    }
    if (m_uploads && noAlias) {
        return Refuse("To allow uploading to this file area, you must define either a FTP or HTTP "
                      "alias.",
                      AliasFocus(), focus);
    }

    CAreaPublishing publishing;
    publishing.hostedLocally = hostedLocally;
    publishing.downloads = downloads;
    publishing.uploads = m_uploads;
    publishing.path = path;
    bool ignored = false;
    bool& changed = m_context.vrootsChanged != nullptr ? *m_context.vrootsChanged : ignored;
    if (m_context.web != nullptr &&
        !CheckVirtualDirectory(*m_context.web, "HTTP", true, publishing, httpAlias, prompt, changed,
                               m_context.setAccess)) {
        focus = EAreaField::HttpAlias;
        return false;
    }
    if (m_context.ftp != nullptr &&
        !CheckVirtualDirectory(*m_context.ftp, "FTP", false, publishing, ftpAlias, prompt, changed,
                               m_context.setAccess)) {
        focus = EAreaField::FtpAlias;
        return false;
    }
    return true;
}

AreaRecord CAreaEditor::BuildRecord(std::uint32_t id) const {
    AreaRecord area;
    area.Id = id;
    area.Name = name;
    area.Path = path;
    area.FtpAlias = ftpAlias;
    area.HttpAlias = httpAlias;
    area.Flags = (m_uploads ? AREA_UPLOADABLE : 0) | (downloads ? AREA_DOWNLOADABLE : 0) |
                 (hostedLocally ? AREA_HOSTED_LOCALLY : 0);
    return area;
}
