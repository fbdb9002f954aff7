#include "AddFiles.h"

#include "AddFile.h"
#include "ArchiveDescriptions.h"
#include "CatalogStatements.h"
#include "DownloadLocation.h"
#include "FileRecord.h"
#include "MessageText.h"
#include "PartialDatabaseRecord.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fnmatch.h>
#include <sys/stat.h>

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EIcon;

namespace fs = std::filesystem;

namespace {

// One location of the download table.
class CLocationRecord : public CPartialDatabaseRecord {
public:
    using CPartialDatabaseRecord::CPartialDatabaseRecord;
    std::string GetDefaultSQL() override { return "download"; }
    int GetFields() override { return 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Text(pFX, "URL", m_url, 255); }
    std::string m_url;
};

void ScanOne(const fs::path& directory, const std::string& pattern, bool recursive,
             std::vector<std::string>& files) {
    std::vector<std::string> names;
    std::vector<std::string> subdirectories;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code kind;
        if (it->is_directory(kind)) {
            if (recursive && name[0] != '.' && !it->is_symlink(kind)) {
                subdirectories.push_back(name);
            }
        } else if (pattern.empty() || ::fnmatch(pattern.c_str(), name.c_str(), 0) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    std::sort(subdirectories.begin(), subdirectories.end());
    for (const std::string& name : names) {
        files.push_back((directory / name).string());
    }
    for (const std::string& name : subdirectories) {
        ScanOne(directory / name, pattern, recursive, files);
    }
}

} // namespace

bool ScanForFiles(const std::string& text, bool recursive, std::vector<std::string>& files) {
    if (text.empty()) {
        return false;
    }
    std::error_code ec;
    const fs::path full = fs::absolute(text, ec);
    if (ec) {
        return false;
    }
    if (fs::is_directory(full, ec)) {
        ScanOne(full, {}, recursive, files);
    } else {
        ScanOne(full.parent_path(), full.filename().string(), recursive, files);
    }
    return true;
}

bool ChooseFilesToAdd(const CAdminContext& context, const AreaRecord* area,
                      const std::string& directory, bool recursive,
                      std::vector<std::string>& files) {
    files.clear();
    if (area == nullptr) {
        context.Tell(MSG_CHOOSE_HOST_AREA, {}, EIcon::Warning);
        return false;
    }
    if (!ScanForFiles(directory, recursive, files)) {
        context.Tell(MSG_BAD_DIRECTORY, {}, EIcon::Warning);
        return false;
    }
    if (files.empty()) {
        context.Tell(MSG_NO_FILES_FOUND, {}, EIcon::Warning);
        return false;
    }
    return true;
}

std::string TitleFromFileName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    std::string title = dot == std::string::npos ? name : name.substr(0, dot);
    const bool hasLower =
        std::any_of(title.begin(), title.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    if (!hasLower && !title.empty()) {
        for (std::size_t i = 1; i < title.size(); ++i) {
            title[i] = base::LowerAscii(title[i]);
        }
    }
    return std::string(base::CutUtf8Field(title, TITLE_LIMIT));
}

CAddFilesJob::CAddFilesJob(CAdminContext& context, AreaRecord area, std::vector<std::string> files,
                           bool extractDescriptions)
    : m_context(context), m_area(std::move(area)), m_files(std::move(files)),
      m_extract(extractDescriptions), m_areaDirectory(ResolvedPath(m_area.Path)) {}

bool CAddFilesJob::LoadCatalogued() {
    m_catalogued.clear();
    const std::string prefix = BuildLocalLocation(m_area.Id, {});
    CLocationRecord row(&m_context.Catalogue());
    // LIKE narrows the rows down (it may ignore case); the set compares exactly, as '=' does.
    if (!row.Open("select url from download where url like " + QuoteText(prefix + "%"), true,
                  false)) {
        return false;
    }
    while (!row.IsEOF()) {
        m_catalogued.insert(row.m_url);
        if (!row.MoveNext()) {
            return false;
        }
    }
    return true;
}

bool CAddFilesJob::IsCatalogued(const std::string& location) const {
    return m_cataloguedLoaded ? m_catalogued.count(location) != 0
                              : !m_context.Catalogue().IsDownloadURLUnique(location);
}

CAddFilesJob::~CAddFilesJob() {
    Stop();
}

bool CAddFilesJob::Locate(const std::string& path, std::string& relative) const {
    if (m_area.Path.empty()) {
        return false;
    }
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    // Files of one directory come together: its resolved path is kept from the last file.
    const std::string parent = full.parent_path().string();
    if (parent != m_lastParent) {
        m_lastParent = parent;
        m_lastParentResolved = ResolvedPath(parent);
    }
    const fs::path inArea =
        (fs::path(m_lastParentResolved) / full.filename()).lexically_relative(m_areaDirectory);
    if (inArea.empty() || *inArea.begin() == ".." || inArea == ".") {
        return false;
    }
    relative = inArea.generic_string();
    return true;
}

bool CAddFilesJob::NeedsCopy() const {
    std::string relative;
    return std::any_of(m_files.begin(), m_files.end(),
                       [&](const std::string& path) { return !Locate(path, relative); });
}

bool CAddFilesJob::ConfirmCopy() {
    return !NeedsCopy() ||
           m_context.Ask(MSG_FILES_NEED_COPY, {}, EButtons::YesNo, EIcon::Question) == EAnswer::Yes;
}

void CAddFilesJob::Start(IAddFilesProgress& progress) {
    Stop();
    m_stop = false;
    m_worker = std::thread([this, &progress] { Run(progress); });
}

void CAddFilesJob::Stop() {
    m_stop = true;
    Wait();
}

void CAddFilesJob::Wait() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

std::string CAddFilesJob::Log() const {
    std::lock_guard guard(m_logLock);
    return m_log;
}

void CAddFilesJob::Append(const std::string& line) {
    std::lock_guard guard(m_logLock);
    m_log += line;
}

void CAddFilesJob::Run(IAddFilesProgress& progress) {
    {
        std::lock_guard guard(m_logLock);
        m_log.clear();
    }
    m_added = 0;
    m_precedence = ReadDescriptionPrecedence();
    m_cataloguedLoaded = LoadCatalogued();
    if (!progress.SetRange(m_files.size())) {
        return;
    }
    for (std::size_t i = 0; i < m_files.size() && !m_stop; ++i) {
        if (!progress.ShowCurrentFile(m_files[i]) || !progress.SetPosition(i)) {
            return;
        }
        AddOne(m_files[i]);
    }
    if (!progress.SetPosition(m_files.size())) {
        return;
    }
    Append(
        FillMessage("%d file(s) added successfully.\r\n", {}, static_cast<long>(m_added.load())));
    if (!progress.ShowCurrentFile(ADD_FILES_COMPLETED)) {
        return;
    }
    progress.Completed();
}

void CAddFilesJob::AddOne(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        Append(FillMessage("Error opening %s: %d (%s)\r\n", {path, "Unknown"}, errno));
        return;
    }
    const double size = static_cast<double>(static_cast<std::uint64_t>(info.st_size) & 0xFFFFFFFFu);
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    if (ec) {
        Append(FillMessage("Error expanding %s: %d (%s)\r\n", {path, "Unknown"}, ec.value()));
        return;
    }
    const std::string name = full.filename().string();
    std::string relative;
    const bool inside = Locate(full.string(), relative);
    const std::string target = inside ? full.string() : JoinPath(m_area.Path, name);
    const std::string location = BuildLocalLocation(m_area.Id, inside ? relative : name);
    if (fs::exists(target, ec) && IsCatalogued(location)) {
        Append(FillMessage("The file %s already exists.\r\n", {name}));
        return;
    }
    if (!inside) {
        fs::copy_file(full, target, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            Append(FillMessage("Error copying %s to %s: %d (%s)\r\n",
                               {full.string(), target, "Unknown"}, ec.value()));
            return;
        }
    }
    CFileRecord file(&m_context.Catalogue());
    file.m_TITLE = TitleFromFileName(name);
    file.m_SIZE = size;
    file.m_FILE_DATE = CDateTime::FromTime(info.st_mtime);
    if (m_extract) {
        ExtractArchiveDescriptions(target, file.m_SHORT_DESC, BRIEF_LIMIT, file.m_LONG_DESC,
                                   DETAILED_LIMIT, m_precedence);
    }
    if (!file.Add()) {
        const std::size_t dot = name.rfind('.');
        Append(FillMessage("Error adding %s to database: %d (%s)\r\n",
                           {dot == std::string::npos ? name : name.substr(0, dot), "Unknown"},
                           errno));
        return;
    }
    file.AddToFileArea(m_area.Id);
    if (file.AddDownloadURL(location)) {
        m_catalogued.insert(location);
    }
    ++m_added;
}
