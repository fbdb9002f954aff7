#include "AddFile.h"

#include "ArchiveDescriptions.h"
#include "DownloadLocation.h"
#include "FileRecord.h"
#include "Text.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EIcon;

namespace fs = std::filesystem;

namespace {

fs::path Canonical(const std::string& path) {
    return ResolvedPath(path);
}

void Stop(const CAdminContext& context, const char* text) {
    context.Tell(text, {}, EIcon::Error);
}

} // namespace

std::string TrimBlanks(const std::string& text) {
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// ---- The formatted file submission ----

std::string CSubmission::Get(const std::string& key) const {
    auto it = pairs.find(key);
    return it == pairs.end() ? std::string() : it->second;
}

bool CSubmission::GetDate(CDateTime& date) const {
    const std::string text = TrimBlanks(Get("Date"));
    int month = 0, day = 0, year = 0;
    char slash1 = 0, slash2 = 0;
    std::istringstream in(text);
    if (!(in >> month >> slash1 >> day >> slash2 >> year) || slash1 != '/' || slash2 != '/') {
        return false;
    }
    const std::size_t yearDigits = text.size() - text.rfind('/') - 1;
    if (yearDigits <= 2) {
        year += year < 50 ? 2000 : 1900;
    }
    CDateTime parsed(year, month, day);
    if (!parsed.IsValid()) {
        return false;
    }
    date = parsed;
    return true;
}

bool CSubmission::GetReqForm() const {
    const std::string value = Get("ReqForm");
    return !value.empty() && (value[0] == 'Y' || value[0] == 'y' || value[0] == '1');
}

double CSubmission::GetSize() const {
    double size = 0;
    for (char c : Get("Size")) {
        if (c >= '0' && c <= '9') {
            size = size * 10 + (c - '0');
        }
    }
    return size;
}

std::vector<std::string> CSubmission::GetSiteUrls() const {
    std::vector<std::string> urls;
    for (int n = 1;; ++n) {
        const std::string url = Get("SiteUrl" + std::to_string(n));
        if (url.empty()) {
            return urls;
        }
        urls.push_back(url);
    }
}

bool ParseSubmission(const std::string& text, CSubmission& submission) {
    const std::string lower = base::LowerAscii(text);
    if (lower.find("title=") == std::string::npos ||
        lower.find("sitename1=") == std::string::npos ||
        lower.find("siteurl1=") == std::string::npos) {
        return false;
    }
    submission = {};
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        std::size_t next = end;
        if (end == std::string::npos) {
            end = next = text.size();
        } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
            next = end + 2;
        } else {
            next = end + 1;
        }
        const std::string line = text.substr(pos, end - pos);
        pos = next;
        if (line.empty()) {
            submission.detailed = text.substr(pos);
            break;
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            submission.pairs[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return true;
}

// ---- Checks ----

EEmailCheck CheckEmailAddress(const std::string& email) {
    if (email.find_first_of("!() /<>,;:\\[]") != std::string::npos) {
        return EEmailCheck::IllegalCharacters;
    }
    if (!email.empty() && email.find('@') == std::string::npos) {
        return EEmailCheck::NoAt;
    }
    return EEmailCheck::Ok;
}

bool ValidateEmail(const CAdminContext& context, const std::string& email, bool required) {
    switch (CheckEmailAddress(email)) {
    case EEmailCheck::IllegalCharacters:
        Stop(context, MSG_ILLEGAL_EMAIL);
        return false;
    case EEmailCheck::NoAt:
        Stop(context, MSG_INVALID_EMAIL);
        return false;
    case EEmailCheck::Ok:
        break;
    }
    if (required && email.empty()) {
        Stop(context, MSG_INVALID_EMAIL);
        return false;
    }
    return true;
}

bool IsValidDownloadUrl(const std::string& url) {
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos) {
        return false;
    }
    const std::string scheme = base::LowerAscii(std::string_view(url).substr(0, colon));
    if (scheme != "ftp" && scheme != "http" && scheme != "https") {
        return false;
    }
    std::string authority = url.substr(colon + 3, url.find_first_of("/?#", colon + 3) - colon - 3);
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    std::string host = authority;
    if (!host.empty() && host[0] == '[') {
        host = host.substr(0, host.find(']') + 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    return !host.empty() && host.find_first_of(" \t\r\n") == std::string::npos;
}

// ---- The "Download URL" dialog ----

std::string ResolvedPath(const std::string& path) {
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? fs::path(path).lexically_normal().string() : resolved.string();
}

CLocationDialogState ParseLocationForDialog(const CAdminContext& context,
                                            const std::string& location) {
    CLocationDialogState state;
    if (!IsLocalLocation(location)) {
        state.url = location;
        return state;
    }
    state.local = true;
    std::size_t pos = sizeof(LOCAL_LOCATION_PREFIX) - 1;
    std::uint64_t id = 0;
    while (pos < location.size() && location[pos] >= '0' && location[pos] <= '9' &&
           id < 0xFFFFFFFFull) {
        id = id * 10 + static_cast<std::uint64_t>(location[pos++] - '0');
    }
    state.areaId = static_cast<std::uint32_t>(id);
    if (pos < location.size() && location[pos] == '/') {
        if (const AreaRecord* area = context.FindArea(state.areaId)) {
            state.fileName = JoinPath(area->Path, location.substr(pos + 1));
        }
    }
    return state;
}

bool AcceptRemoteLocation(const CAdminContext& context, const std::string& url,
                          std::string& location) {
    if (!IsValidDownloadUrl(url)) {
        context.Tell(MSG_BAD_URL, {}, EIcon::Warning);
        return false;
    }
    location = url;
    return true;
}

ELocalAccept AcceptLocalLocation(const CAdminContext& context, std::string& fileName,
                                 std::uint32_t areaId, std::string& location) {
    std::error_code ec;
    std::string path = TrimBlanks(fileName);
    if (path.empty() || !fs::exists(path, ec) || fs::is_directory(path, ec)) {
        context.Tell(MSG_BAD_FILE, {}, EIcon::Warning);
        return ELocalAccept::StayOnFile;
    }
    const AreaRecord* area = context.FindArea(areaId);
    if (area == nullptr || (area->Flags & AREA_HOSTED_LOCALLY) == 0) {
        context.Tell(MSG_NO_HOST_AREA, {}, EIcon::Warning);
        return ELocalAccept::StayOnArea;
    }
    std::string name = fs::path(path).filename().string();
    if (name.find(' ') != std::string::npos) {
        switch (context.Ask(MSG_SPACES, CAPTION_WARNING, EButtons::YesNoCancel, EIcon::Warning)) {
        case EAnswer::Yes: {
            // No short names here: a copy beside the original with '_' for each space.
            std::string underscored = name;
            for (char& c : underscored) {
                c = c == ' ' ? '_' : c;
            }
            const std::string copy = (fs::path(path).parent_path() / underscored).string();
            fs::copy_file(path, copy, fs::copy_options::overwrite_existing, ec);
            if (ec) {
                context.Tell(MSG_COPY_FAILED, {}, EIcon::Warning);
                return ELocalAccept::Stay;
            }
            path = copy;
            name = underscored;
            break;
        }
        case EAnswer::No:
            break;
        default:
            return ELocalAccept::Stay;
        }
    }
    if (Canonical(fs::path(path).parent_path().string()) != Canonical(area->Path)) {
        if (context.Ask(MSG_COPY_TO_HOST, CAPTION_QUESTION, EButtons::YesNo, EIcon::Question) !=
            EAnswer::Yes) {
            return ELocalAccept::Stay;
        }
        const std::string target = JoinPath(area->Path, name);
        fs::copy_file(path, target, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            context.Tell(MSG_COPY_FAILED, {}, EIcon::Warning);
            return ELocalAccept::Stay;
        }
        path = target;
    }
    fileName = path;
    location = BuildLocalLocation(area->Id, name);
    return ELocalAccept::Accepted;
}

// ---- The wizard ----

bool CAddFileModel::TakeClipboard(const std::string& text) {
    m_hasSubmission = ParseSubmission(text, m_submission);
    return m_hasSubmission;
}

bool CAddFileModel::LeaveClipboardPage(bool useSubmission) {
    m_useSubmission = useSubmission && m_hasSubmission;
    ++m_generation;
    return m_useSubmission;
}

void CAddFileModel::LeaveFirstPage(EFileKind fileKind, const std::string& text) {
    m_useSubmission = false;
    ++m_generation;
    kind = fileKind;
    fileText = text;
}

void CAddFileModel::InitTitlePage() {
    if (m_useSubmission) {
        title = m_submission.Get("Title");
    } else if (kind == EFileKind::Local) {
        title = fs::path(fileText).filename().string();
    } else {
        title.clear();
    }
    title = base::CutUtf8Field(title, TITLE_LIMIT);
}

void CAddFileModel::ToggleArea(std::uint32_t areaId) {
    for (auto it = areaIds.begin(); it != areaIds.end(); ++it) {
        if (*it == areaId) {
            areaIds.erase(it);
            return;
        }
    }
    areaIds.push_back(areaId);
}

bool CAddFileModel::IsAreaChosen(std::uint32_t areaId) const {
    for (double id : areaIds) {
        if (id == areaId) {
            return true;
        }
    }
    return false;
}

bool CAddFileModel::LeaveTitlePage() {
    title = TrimBlanks(title);
    if (title.empty()) {
        m_context.Tell(MSG_NO_TITLE, {}, EIcon::Warning);
        return false;
    }
    if (areaIds.empty()) {
        m_context.Tell(MSG_NO_AREA, {}, EIcon::Warning);
        return false;
    }
    return true;
}

void CAddFileModel::InitDetailsPage() {
    version.clear();
    date = CDateTime::GetCurrentTime();
    date = CDateTime(date.GetYear(), date.GetMonth(), date.GetDay());
    size = 0;
    reqForm = false;
    author.clear();
    email.clear();
    if (m_useSubmission) {
        m_submission.GetDate(date);
        version = base::CutUtf8Field(m_submission.Get("Version"), VERSION_LIMIT);
        reqForm = m_submission.GetReqForm();
        author = base::CutUtf8Field(m_submission.Get("Company"), AUTHOR_LIMIT);
        email = base::CutUtf8Field(m_submission.Get("Email"), EMAIL_LIMIT);
        size = m_submission.GetSize();
    } else if (kind == EFileKind::Local) {
        struct stat info {};
        if (::stat(fileText.c_str(), &info) == 0) {
            const CDateTime local = CDateTime::FromTime(info.st_mtime);
            date = CDateTime(local.GetYear(), local.GetMonth(), local.GetDay());
            // The low 32 bits, as the wizard always took them.
            size = static_cast<double>(static_cast<std::uint64_t>(info.st_size) & 0xFFFFFFFFu);
        }
    }
}

bool CAddFileModel::LeaveDetailsPage() {
    version = TrimBlanks(version);
    author = TrimBlanks(author);
    email = TrimBlanks(email);
    return ValidateEmail(m_context, email, true);
}

void CAddFileModel::InitDescriptionPage() {
    brief.clear();
    detailed.clear();
    if (m_useSubmission) {
        brief = base::CutUtf8Field(m_submission.Get("ShortDescription"), BRIEF_LIMIT);
        detailed = base::CutUtf8Field(m_submission.detailed, DETAILED_LIMIT);
    } else if (kind == EFileKind::Local) {
        ExtractArchiveDescriptions(fileText, brief, BRIEF_LIMIT, detailed, DETAILED_LIMIT,
                                   ReadDescriptionPrecedence());
    }
}

bool CAddFileModel::ImportDescription(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    detailed += std::string(std::istreambuf_iterator<char>(in), {});
    detailed = base::CutUtf8Field(detailed, DETAILED_LIMIT);
    return true;
}

bool CAddFileModel::LeaveDescriptionPage() {
    brief = base::CutUtf8Field(TrimBlanks(brief), BRIEF_LIMIT);
    detailed = base::CutUtf8Field(TrimBlanks(detailed), DETAILED_LIMIT);
    return true;
}

bool CAddFileModel::InitUrlPage() {
    locations.clear();
    if (m_useSubmission) {
        locations = m_submission.GetSiteUrls();
        return false;
    }
    if (kind == EFileKind::Web) {
        if (!fileText.empty()) {
            locations.push_back(fileText);
        }
        return false;
    }
    return true;
}

bool CAddFileModel::RemoveLocation(std::size_t index) {
    if (index >= locations.size() ||
        m_context.Ask(MSG_DELETE_ITEM, CAPTION_QUESTION, EButtons::YesNo, EIcon::Question) !=
            EAnswer::Yes) {
        return false;
    }
    locations.erase(locations.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool CAddFileModel::LeaveUrlPage() {
    if (locations.empty()) {
        m_context.Tell(MSG_NO_URL, {}, EIcon::Warning);
        return false;
    }
    return true;
}

bool CAddFileModel::Finish(double& fileId) {
    CFileRecord file(&m_context.Catalogue());
    file.m_TITLE = title;
    file.m_SIZE = size;
    file.m_SHORT_DESC = brief;
    file.m_LONG_DESC = detailed;
    file.m_UPLD_NAME = author;
    file.m_UPLD_EMAIL = email;
    file.m_VERSION = version;
    file.m_REQ_FORM = reqForm;
    file.m_FILE_DATE = CDateTime(date.GetYear(), date.GetMonth(), date.GetDay());
    if (!file.Add()) {
        return false;
    }
    fileId = file.m_FILE_ID;
    for (double area : areaIds) {
        if (!file.AddToFileArea(area)) {
            return false;
        }
    }
    for (const std::string& location : locations) {
        if (!file.AddDownloadURL(location)) {
            return false;
        }
    }
    return true;
}
