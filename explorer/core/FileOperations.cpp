#include "FileOperations.h"

#include "AddFile.h"
#include "DownloadLocation.h"
#include "MessageText.h"
#include "Process.h"
#include "VirusCheck.h"

#include <algorithm>
#include <filesystem>
#include <unistd.h>

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EIcon;

namespace {

// The area id and name of a local location as the design reads them: the digits after the
// prefix, then a '/' and the rest.
bool SplitLocal(const std::string& location, std::uint32_t& id, std::string& name) {
    std::size_t pos = sizeof(LOCAL_LOCATION_PREFIX) - 1;
    std::uint64_t number = 0;
    const std::size_t digits = pos;
    while (pos < location.size() && location[pos] >= '0' && location[pos] <= '9') {
        number = number * 10 + static_cast<std::uint64_t>(location[pos++] - '0');
        if (number > 0xFFFFFFFFull) {
            return false;
        }
    }
    if (pos == digits || pos >= location.size() || location[pos] != '/' || number < 1) {
        return false;
    }
    id = static_cast<std::uint32_t>(number);
    name = location.substr(pos + 1);
    return true;
}

} // namespace

ELocalCopy FindLocalCopy(const CAdminContext& context, const std::string& location,
                         std::string& path) {
    if (!IsLocalLocation(location)) {
        return ELocalCopy::NotLocal;
    }
    std::uint32_t id = 0;
    std::string name;
    if (!SplitLocal(location, id, name)) {
        return ELocalCopy::NoArea;
    }
    const AreaRecord* area = context.FindArea(id);
    if (area == nullptr || area->Path.empty()) {
        return ELocalCopy::NoArea;
    }
    path = JoinPath(area->Path, name);
    std::uint32_t parsedId = 0;
    std::string parsedName;
    if (!ParseLocalLocation(location, parsedId, parsedName)) {
        return ELocalCopy::Unsafe; // "..", an absolute name or an empty one
    }
    return ELocalCopy::Found;
}

EDeleteResult DeleteCatalogueFile(CAdminContext& context, CFileRecord& file) {
    std::vector<std::string> locations;
    context.Catalogue().GetDownloadURLs(file.m_FILE_ID, locations);
    const bool anyLocal = std::any_of(locations.begin(), locations.end(), IsLocalLocation);
    if (anyLocal) {
        const EAnswer answer =
            context.Ask(MSG_DELETE_LOCAL, CAPTION_WARNING, EButtons::YesNoCancel, EIcon::Warning);
        if (answer == EAnswer::Cancel) {
            return EDeleteResult::Cancelled;
        }
        if (answer == EAnswer::Yes) {
            for (const std::string& location : locations) {
                std::string path;
                const ELocalCopy copy = FindLocalCopy(context, location, path);
                if (copy == ELocalCopy::NotLocal || copy == ELocalCopy::NoArea) {
                    continue;
                }
                std::error_code ec;
                if (copy == ELocalCopy::Unsafe || !std::filesystem::remove(path, ec)) {
                    context.Tell(FillMessage(MSG_NOT_DELETED, {path}), CAPTION_WARNING,
                                 EIcon::Warning);
                }
            }
        }
    }
    return file.Delete() ? EDeleteResult::Deleted : EDeleteResult::Failed;
}

std::size_t DeleteFiles(CAdminContext& context, std::vector<CFileRecord>& files) {
    if (files.empty() || context.Ask(MSG_DELETE_FILES, CAPTION_QUESTION, EButtons::YesNo,
                                     EIcon::Question) != EAnswer::Yes) {
        return 0;
    }
    std::size_t deleted = 0;
    for (CFileRecord& file : files) {
        if (DeleteCatalogueFile(context, file) == EDeleteResult::Deleted) {
            ++deleted;
        }
    }
    return deleted;
}

std::size_t RemoveFilesFromArea(CAdminContext& context, std::vector<CFileRecord>& files,
                                std::uint32_t areaId) {
    if (files.empty() || context.Ask(MSG_REMOVE_FILES, CAPTION_QUESTION, EButtons::YesNo,
                                     EIcon::Question) != EAnswer::Yes) {
        return 0;
    }
    std::size_t removed = 0;
    for (CFileRecord& file : files) {
        std::vector<double> areas;
        if (context.Catalogue().GetAreaIDsForFile(file.m_FILE_ID, areas) && areas.size() == 1) {
            if (context.Ask(FillMessage(MSG_ONLY_AREA, {file.m_TITLE}), CAPTION_WARNING,
                            EButtons::YesNo, EIcon::Warning) == EAnswer::Yes &&
                DeleteCatalogueFile(context, file) == EDeleteResult::Deleted) {
                ++removed;
            }
        } else if (file.DeleteFromFileArea(areaId)) {
            ++removed;
        }
    }
    return removed;
}

EVirusCheckOutcome VirusCheckFile(CAdminContext& context, CFileRecord& file) {
    std::vector<std::string> locations;
    context.Catalogue().GetDownloadURLs(file.m_FILE_ID, locations);
    bool checked = false;
    int lastCode = 0;
    for (const std::string& location : locations) {
        std::string path;
        // A copy whose name leaves its area's directory is never handed to the checker.
        if (FindLocalCopy(context, location, path) != ELocalCopy::Found) {
            continue;
        }
        const CVirusCheckResult result = RunVirusCheck(path);
        checked = true;
        lastCode = result.exitCode;
        if (result.infected) {
            context.Tell(VirusFailedText(path, result.exitCode), {}, EIcon::Error);
            return EVirusCheckOutcome::Infected;
        }
    }
    context.Tell(checked ? VirusPassedText(lastCode) : MSG_NO_LOCAL_COPIES, {},
                 EIcon::Information);
    return checked ? EVirusCheckOutcome::Passed : EVirusCheckOutcome::NoLocalCopies;
}

std::string FindGenerator() {
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const std::filesystem::path beside =
            std::filesystem::path(std::string(self, static_cast<std::size_t>(length)))
                .parent_path() /
            "sheetforge";
        const std::string found = process::FindProgram(beside.string());
        if (!found.empty()) {
            return found;
        }
    }
    return process::FindProgram("sheetforge");
}

bool LaunchGenerator(std::string& error) {
    const std::string generator = FindGenerator();
    if (generator.empty()) {
        error = "sheetforge: command not found";
        return false;
    }
    process::CProcess child;
    process::CSpawnOptions options;
    options.newSession = true;
    if (!child.Start(generator, {"/autorun"}, options, error)) {
        return false;
    }
    child.Detach();
    return true;
}

CFilePropertiesModel::CFilePropertiesModel(CAdminContext& context, const CFileRecord& file)
    : m_context(context), m_file(file), m_pending(false) {
    std::vector<double> ids;
    context.Catalogue().GetAreaIDsForFile(file.m_FILE_ID, ids);
    for (double id : ids) {
        m_areas.push_back(static_cast<std::uint32_t>(id));
    }
    context.Catalogue().GetDownloadURLs(file.m_FILE_ID, m_locations);
}

CFilePropertiesModel::CFilePropertiesModel(CAdminContext& context, const CFileRecord& file,
                                           std::vector<std::uint32_t> areas,
                                           std::vector<std::string> locations)
    : m_context(context), m_file(file), m_areas(std::move(areas)),
      m_locations(std::move(locations)), m_pending(true) {}

bool CFilePropertiesModel::LeaveGeneralPage() {
    return !m_file.m_REQ_FORM || ValidateEmail(m_context, m_file.m_UPLD_EMAIL, true);
}

bool CFilePropertiesModel::ImportDescription(const std::string& path) {
    CAddFileModel scratch(m_context);
    scratch.detailed = m_file.m_LONG_DESC;
    if (!scratch.ImportDescription(path)) {
        return false;
    }
    m_file.m_LONG_DESC = scratch.detailed;
    return true;
}

bool CFilePropertiesModel::IsAreaMarked(std::uint32_t areaId) const {
    return std::find(m_areas.begin(), m_areas.end(), areaId) != m_areas.end();
}

bool CFilePropertiesModel::ToggleArea(std::uint32_t areaId) {
    const bool marked = IsAreaMarked(areaId);
    if (!m_pending) {
        const bool done = marked ? m_file.DeleteFromFileArea(areaId) : m_file.AddToFileArea(areaId);
        if (!done) {
            return marked; // a failed change leaves the mark as it was
        }
        m_committed = true;
    }
    if (marked) {
        m_areas.erase(std::remove(m_areas.begin(), m_areas.end(), areaId), m_areas.end());
    } else {
        m_areas.push_back(areaId);
    }
    return !marked;
}

bool CFilePropertiesModel::LeaveAreasPage() {
    if (m_areas.empty()) {
        m_context.Tell(MSG_NO_FILE_AREA, {}, EIcon::Warning);
        return false;
    }
    return true;
}

bool CFilePropertiesModel::AddLocation(const std::string& location) {
    if (!m_pending) {
        if (!m_file.AddDownloadURL(location)) {
            return false;
        }
        m_committed = true;
    }
    m_locations.push_back(location);
    return true;
}

bool CFilePropertiesModel::ReplaceLocation(std::size_t index, const std::string& location) {
    if (index >= m_locations.size()) {
        return false;
    }
    if (m_locations[index] == location) {
        return true;
    }
    if (!m_pending) {
        if (!m_file.DeleteDownloadURL(m_locations[index])) {
            return false;
        }
        m_committed = true;
        if (!m_file.AddDownloadURL(location)) {
            m_locations.erase(m_locations.begin() + static_cast<std::ptrdiff_t>(index));
            return false;
        }
    }
    m_locations[index] = location;
    return true;
}

bool CFilePropertiesModel::RemoveLocation(std::size_t index) {
    if (index >= m_locations.size()) {
        return false;
    }
    const char* question = m_pending ? MSG_REMOVE_URL : MSG_DELETE_ITEM;
    if (m_context.Ask(question, CAPTION_QUESTION, EButtons::YesNo, EIcon::Question) !=
        EAnswer::Yes) {
        return false;
    }
    if (!m_pending) {
        if (!m_file.DeleteDownloadURL(m_locations[index])) {
            return false;
        }
        m_committed = true;
    }
    m_locations.erase(m_locations.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool CFilePropertiesModel::LeaveUrlsPage() {
    if (m_pending && m_locations.empty()) {
        m_context.Tell(MSG_NO_URL_FOR_FILE, {}, EIcon::Warning);
        return false;
    }
    return true;
}

bool CFilePropertiesModel::Save() {
    if (m_pending) {
        return true;
    }
    CFileRecord stored(&m_context.Catalogue());
    if (!stored.GetByPrimaryKey(m_file, true, true) || !stored.BeginEditKeepingKey()) {
        return false;
    }
    stored.m_TITLE = m_file.m_TITLE;
    stored.m_VERSION = m_file.m_VERSION;
    stored.m_SIZE = m_file.m_SIZE;
    stored.m_SHORT_DESC = m_file.m_SHORT_DESC;
    stored.m_LONG_DESC = m_file.m_LONG_DESC;
    stored.m_UPLD_NAME = m_file.m_UPLD_NAME;
    stored.m_UPLD_EMAIL = m_file.m_UPLD_EMAIL;
    stored.m_FILE_DATE = m_file.m_FILE_DATE;
    stored.m_LAST_DWNLD = m_file.m_LAST_DWNLD;
    stored.m_DOWNLOADS = m_file.m_DOWNLOADS;
    stored.m_REQ_FORM = m_file.m_REQ_FORM;
    return stored.StoreRow();
}
