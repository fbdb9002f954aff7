// HTTP uploads: a multipart form with the description fields first and the file last.
//
// The file streams into an unnamed file (O_TMPFILE) in the chosen area's directory, so that
// a service killed mid-upload leaves nothing behind; only a complete, accepted upload gets a
// name, and its description file is named last: the administrator's upload scan looks for
// "<name>.desc" beside an existing "<name>", so it never sees an upload before both are
// whole. Where the file system has no unnamed files, a ".upload-XXXXXX" file stands in and is
// removed at the service's next start.

#include "DescriptionFile.h"
#include "Fd.h"
#include "FormData.h"
#include "Formatting.h"
#include "Multipart.h"
#include "SitePage.h"
#include "Text.h"
#include "VisitorService.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

constexpr char TEMP_PREFIX[] = ".upload-";
constexpr std::time_t UNFINISHED_AGE_SECONDS = 3600;
constexpr std::size_t MAX_TEXT_FIELDS_BYTES = 128 * 1024;
// What the form's own fields and boundaries may add to the file's size.
constexpr long long FORM_OVERHEAD = 1 << 20;

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           base::EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

bool IsUploadArea(const AreaRecord& area) {
    return (area.Flags & AREA_UPLOADABLE) && !area.Path.empty() && area.Path.front() == '/';
}

// A file written in a directory without a name until it is complete.
class CIncomingFile {
public:
    ~CIncomingFile() { Discard(); }

    bool Create(const std::string& directory, std::string& error) {
        m_directory = directory;
        m_dir.Reset(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (m_dir.Get() < 0) {
            error = "the area's directory cannot be opened";
            return false;
        }
        m_fd.Reset(::openat(m_dir.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0644));
        if (m_fd.Get() < 0) {
            // No unnamed files here: a named one that the next start removes if it stays.
            std::string name = directory + "/" + TEMP_PREFIX + "XXXXXX";
            m_fd.Reset(::mkostemp(name.data(), O_CLOEXEC));
            if (m_fd.Get() < 0) {
                error = "the area's directory does not take new files";
                return false;
            }
            ::fchmod(m_fd.Get(), 0644);
            m_tempName = name.substr(directory.size() + 1);
        }
        return true;
    }

    int Fd() const { return m_fd.Get(); }
    int Dir() const { return m_dir.Get(); }

    // Gives the file `name` in `dirFd` (its own directory unless given). Without `replace`
    // an existing file of that name makes it fail with EEXIST.
    bool Name(const std::string& name, bool replace, int dirFd = -1) {
        if (dirFd < 0) {
            dirFd = m_dir.Get();
        }
        if (::fsync(m_fd.Get()) != 0) {
            return false;
        }
        if (replace) {
            // Linked under a passing name first, then renamed over the old file in one step.
            for (int attempt = 0; attempt < 100; ++attempt) {
                const std::string passing =
                    TEMP_PREFIX + std::to_string(::getpid()) + "-" + std::to_string(::random());
                if (Link(passing, dirFd)) {
                    if (::renameat(dirFd, passing.c_str(), dirFd, name.c_str()) == 0) {
                        return true;
                    }
                    const int saved = errno;
                    ::unlinkat(dirFd, passing.c_str(), 0);
                    errno = saved;
                    return false;
                }
                if (errno != EEXIST) {
                    return false;
                }
            }
            return false;
        }
        return Link(name, dirFd);
    }

    void Discard() {
        if (!m_tempName.empty() && m_dir.Get() >= 0) {
            ::unlinkat(m_dir.Get(), m_tempName.c_str(), 0);
            m_tempName.clear();
        }
        m_fd.Reset();
    }

private:
    bool Link(const std::string& name, int dirFd) {
        if (!m_tempName.empty()) {
            return ::linkat(m_dir.Get(), m_tempName.c_str(), dirFd, name.c_str(), 0) == 0;
        }
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd.Get());
        if (::linkat(AT_FDCWD, self.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return true;
        }
        if (errno == EEXIST) {
            return false;
        }
        return ::linkat(m_fd.Get(), "", dirFd, name.c_str(), AT_EMPTY_PATH) == 0;
    }

    std::string m_directory;
    base::CFd m_dir;
    base::CFd m_fd;
    std::string m_tempName;
};

class CUploadSink : public IMultipartSink {
public:
    CUploadSink(const CVisitorSettings& settings, const std::vector<AreaRecord>& areas,
                long long contentLength)
        : m_settings(settings), m_areas(areas), m_contentLength(contentLength) {}

    bool PartBegin(const CMultipartPart& part, std::string& error) override {
        if (part.hasFileName) {
            if (part.name != "file" || m_haveFile) {
                return Refuse(400, "The form sends more than one file.", error);
            }
            return BeginFile(part, error);
        }
        m_current = part.name;
        m_inFile = false;
        if (m_fields.count(part.name) == 0 && m_fields.size() >= 16) {
            return Refuse(400, "The form has too many fields.", error);
        }
        m_fields[part.name];
        return true;
    }

    bool PartData(std::string_view data, std::string& error) override {
        if (!m_inFile) {
            m_textBytes += data.size();
            if (m_textBytes > MAX_TEXT_FIELDS_BYTES) {
                return Refuse(413, "The form's text fields are too long.", error);
            }
            m_fields[m_current].append(data);
            return true;
        }
        m_size += data.size();
        if (m_size > m_settings.uploadLimit) {
            return Refuse(413,
                          "The file is larger than this site takes (" +
                              std::to_string(m_settings.uploadLimit >> 20) + " MB).",
                          error);
        }
        if (!base::WriteAll(m_file.Fd(), data)) {
            if (errno == ENOSPC || errno == EDQUOT) {
                return Refuse(507, "There is not enough free space to take this file.", error);
            }
            return Refuse(500, "The file could not be written.", error);
        }
        return true;
    }

    bool PartEnd(std::string& /*error*/) override {
        if (m_inFile) {
            m_fileComplete = true;
        }
        m_inFile = false;
        return true;
    }

    int Status() const { return m_status; }
    const CFormFields& Fields() const { return m_fields; }
    bool HasFile() const { return m_fileComplete; }
    const std::string& SentName() const { return m_sentName; }
    std::uint64_t Size() const { return m_size; }
    const AreaRecord& Area() const { return m_area; }
    CIncomingFile& File() { return m_file; }

private:
    bool Refuse(int status, std::string message, std::string& error) {
        m_status = status;
        error = std::move(message);
        return false;
    }

    bool BeginFile(const CMultipartPart& part, std::string& error) {
        const auto areaField = m_fields.find("area");
        std::uint32_t areaId = 0;
        if (areaField == m_fields.end() || areaField->second.empty() ||
            areaField->second.size() > 10 ||
            areaField->second.find_first_not_of("0123456789") != std::string::npos) {
            return Refuse(400, "Choose the area for the file before the file itself.", error);
        }
        areaId = static_cast<std::uint32_t>(std::stoul(areaField->second));
        bool found = false;
        for (const AreaRecord& area : m_areas) {
            if (area.Id == areaId && IsUploadArea(area)) {
                m_area = area;
                found = true;
            }
        }
        if (!found) {
            return Refuse(403, "That area does not take uploads.", error);
        }
        if (part.fileName.empty()) {
            return Refuse(400, "Choose a file to upload.", error);
        }
        struct statvfs space {};
        if (::statvfs(m_area.Path.c_str(), &space) != 0) {
            return Refuse(500, "The area's directory is not there.", error);
        }
        // Refused before a byte is stored: what the request may hold, plus the threshold.
        const unsigned long long free =
            static_cast<unsigned long long>(space.f_bavail) * space.f_frsize;
        const unsigned long long needed =
            static_cast<unsigned long long>(m_contentLength > 0 ? m_contentLength : 0) +
            m_settings.freeSpaceThreshold;
        if (free < needed) {
            return Refuse(507, "There is not enough free space to take this file.", error);
        }
        std::string why;
        if (!m_file.Create(m_area.Path, why)) {
            return Refuse(500, "The file could not be stored: " + why + ".", error);
        }
        m_sentName = part.fileName;
        m_haveFile = true;
        m_inFile = true;
        return true;
    }

    const CVisitorSettings& m_settings;
    const std::vector<AreaRecord>& m_areas;
    long long m_contentLength;
    CFormFields m_fields;
    std::string m_current;
    std::size_t m_textBytes = 0;
    bool m_inFile = false;
    bool m_haveFile = false;
    bool m_fileComplete = false;
    std::string m_sentName;
    std::uint64_t m_size = 0;
    AreaRecord m_area;
    CIncomingFile m_file;
    int m_status = 400;
};

// The bare name a browser sent: whatever follows the last '/' or '\'.
std::string BareName(const std::string& sent) {
    const std::size_t slash = sent.find_last_of("/\\");
    return slash == std::string::npos ? sent : sent.substr(slash + 1);
}

// Why a name cannot be stored as it is; empty when it can.
std::string NameProblem(const std::string& name) {
    if (name.empty()) {
        return "it has no name";
    }
    if (!IsValidUtf8(name)) {
        return "its name is not valid UTF-8 text";
    }
    if (name.size() > MAX_UPLOAD_NAME) {
        return "its name is too long";
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || std::strchr(":*?\"<>|", c) != nullptr) {
            return "its name holds a character that file names here may not hold";
        }
    }
    if (name.front() == '.' || name.front() == ' ' || name.back() == '.' || name.back() == ' ') {
        return "its name starts or ends with a dot or a space";
    }
    if (EndsWithNoCase(name, DESC_EXTENSION)) {
        return "its name ends in .desc, which is kept for descriptions";
    }
    return {};
}

// "name(n).ext" for a duplicate name.
std::string NumberedName(const std::string& name, int n) {
    const std::size_t dot = name.rfind('.');
    const std::string suffix = "(" + std::to_string(n) + ")";
    if (dot == std::string::npos || dot == 0) {
        return name + suffix;
    }
    return name.substr(0, dot) + suffix + name.substr(dot);
}

// The name under which a refused file is kept: when, and its own name made harmless.
std::string RefusedName(const std::string& sent) {
    std::string safe;
    for (const char c : BareName(sent)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        safe += plain ? c : '_';
        if (safe.size() >= 100) {
            break;
        }
    }
    while (!safe.empty() && safe.front() == '.') {
        safe.erase(0, 1);
    }
    if (EndsWithNoCase(safe, DESC_EXTENSION)) {
        safe += "_";
    }
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    return std::string(stamp) + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(::random() % 100000) + "-" + (safe.empty() ? "upload" : safe);
}

// Writes the description file `name` in `directory` (created unnamed, then named, replacing
// a stale one).
bool WriteDescription(const std::string& directory, const std::string& name,
                      const CUploadDescription& description) {
    std::string text;
    if (!FormatDescription(description, text)) {
        return false;
    }
    CIncomingFile file;
    std::string error;
    return file.Create(directory, error) && base::WriteAll(file.Fd(), text) &&
           file.Name(name, true);
}

// Keeps a refused upload in BadPath with its description, for the administrator to look at.
// Nothing happens when BadPath is not set or cannot take it.
bool KeepRefused(const CVisitorSettings& settings, CIncomingFile& file, const std::string& sentName,
                 CUploadDescription description) {
    if (settings.badPath.empty()) {
        return false;
    }
    base::CFd dir(::open(settings.badPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0) {
        return false;
    }
    const std::string name = RefusedName(sentName);
    if (!file.Name(name, false, dir.Get())) {
        if (errno != EXDEV) {
            return false;
        }
        // Another file system: copied.
        base::CFd out(
            ::openat(dir.Get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (out.Get() < 0) {
            return false;
        }
        char buffer[65536];
        off_t offset = 0;
        for (;;) {
            const ssize_t n = ::pread(file.Fd(), buffer, sizeof buffer, offset);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            if (!base::WriteAll(out.Get(), std::string_view(buffer, static_cast<std::size_t>(n)))) {
                ::unlinkat(dir.Get(), name.c_str(), 0);
                return false;
            }
            offset += n;
        }
    }
    description.strFilename = name;
    return WriteDescription(settings.badPath, DescriptionFileName(name), description);
}

// The description fields of the form; false with what is wrong in `problems`.
bool ReadDescriptionFields(const CFormFields& fields, CUploadDescription& description,
                           std::vector<std::string>& problems) {
    struct COneLine {
        const char* field;
        const char* label;
        std::string* value;
        std::size_t max;
        bool required;
    };
    const COneLine oneLine[] = {
        {"title", "Title", &description.strTitle, DESC_MAX_TITLE, true},
        {"version", "Version", &description.strVersion, DESC_MAX_VERSION, false},
        {"shortdesc", "Brief description", &description.strShortDesc, DESC_MAX_SHORTDESC, false},
        {"company", "Author's name", &description.strCompany, DESC_MAX_COMPANY, false},
    };
    for (const COneLine& field : oneLine) {
        *field.value = FieldValue(fields, field.field);
        CheckFormField(*field.value, field.label, field.max, EFieldKind::OneLine, field.required,
                       problems);
    }
    description.strEmail = FieldValue(fields, "email");
    CheckEmailField(description.strEmail, "Email address", true, problems);
    std::string text = FieldValue(fields, "longdesc");
    if (CheckFormField(text, "Detailed description", MAX_LONG_TEXT, EFieldKind::MultiLine, false,
                       problems)) {
        description.strLongDesc = WithCrLf(text);
    }
    description.bReqForm = !FieldValue(fields, "reqform").empty();
    return problems.empty();
}

void Thanks(CWebResponse& response, const std::vector<std::string>& messages) {
    RespondWithMessage(response, 200, "Thank you for your upload", messages);
}

} // namespace

void CVisitorService::ShowUploadForm(CWebResponse& response) {
    if (m_settings.allowUploads != 1 && m_settings.allowUploads != 3) {
        RespondWithMessage(response, 403, "Uploads are closed",
                           {"This site does not take uploads through the web page."});
        return;
    }
    std::string html = "<p class=\"lead\">Send a file to the library. It is listed once the "
                       "administrator has checked it.</p>\n"
                       "<form class=\"site-form\" method=\"post\" action=\"/dorvale/do/upload\" "
                       "enctype=\"multipart/form-data\" accept-charset=\"utf-8\">\n"
                       "<div class=\"field\"><label for=\"area\">File area</label>"
                       "<select id=\"area\" name=\"area\" required>\n";
    int offered = 0;
    for (const AreaRecord& area : *m_areas.Current()) {
        if (IsUploadArea(area)) {
            html += "<option value=\"" + std::to_string(area.Id) + "\">";
            AppendHtmlEscaped(html, area.Name);
            html += "</option>\n";
            ++offered;
        }
    }
    html += "</select></div>\n";
    if (offered == 0) {
        RespondWithMessage(response, 403, "Uploads are closed", {"No file area takes uploads."});
        return;
    }
    AppendFormInput(html, "title", "Title", "text", DESC_MAX_TITLE, true);
    AppendFormInput(html, "version", "Version", "text", DESC_MAX_VERSION, false);
    AppendFormInput(html, "shortdesc", "Brief description", "text", DESC_MAX_SHORTDESC, false);
    AppendFormTextArea(html, "longdesc", "Detailed description", 5, MAX_LONG_TEXT);
    AppendFormInput(html, "company", "Author's name", "text", DESC_MAX_COMPANY, false);
    AppendFormInput(html, "email", "Email address", "email", MAX_EMAIL, true);
    AppendFormCheckbox(html, "reqform", "Users must fill in a form before downloading");
    // The file comes last, so the fields above have arrived when it starts.
    html += "<div class=\"field\"><label for=\"file\">File <span class=\"required\">(required, "
            "at most " +
            std::to_string(m_settings.uploadLimit >> 20) +
            " MB)</span></label><input id=\"file\" name=\"file\" type=\"file\" required></div>\n"
            "<p><button class=\"button\" type=\"submit\">Upload</button></p>\n</form>\n";
    response.body = RenderSitePage("Upload a file", "Share", html);
}

void CVisitorService::PostUpload(const CWebRequest& request, CWebResponse& response) {
    if (m_settings.allowUploads != 1 && m_settings.allowUploads != 3) {
        RespondWithMessage(response, 403, "Uploads are closed",
                           {"This site does not take uploads through the web page."});
        return;
    }
    std::string boundary;
    if (!MultipartBoundary(request.contentType, boundary)) {
        RespondWithMessage(response, 415, "Not an upload",
                           {"The request does not carry an upload form."});
        return;
    }
    if (request.contentLength < 0) {
        RespondWithMessage(response, 411, "Not an upload", {"The upload's size is not given."});
        return;
    }
    if (request.contentLength > static_cast<long long>(m_settings.uploadLimit) + FORM_OVERHEAD) {
        RespondWithMessage(response, 413, "The file is too large",
                           {"The file is larger than this site takes (" +
                            std::to_string(m_settings.uploadLimit >> 20) + " MB)."},
                           "/dorvale/do/upload");
        return;
    }
    const auto areas = m_areas.Current();
    CUploadSink sink(m_settings, *areas, request.contentLength);
    CMultipartParser parser(boundary, sink);
    char buffer[65536];
    long long received = 0;
    bool parsed = true;
    while (parsed && request.body && received < request.contentLength) {
        const std::ptrdiff_t n = request.body->Read(buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        received += n;
        parsed = parser.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    if (!parsed || !parser.Finish()) {
        const bool sinkRefused = !parser.Error().empty() && sink.Status() != 400;
        RespondWithMessage(response, sinkRefused ? sink.Status() : 400, "The upload was not taken",
                           {parser.Error()}, "/dorvale/do/upload");
        return;
    }
    if (!sink.HasFile()) {
        RespondWithMessage(response, 400, "The upload was not taken", {"Choose a file to upload."},
                           "/dorvale/do/upload");
        return;
    }
    CUploadDescription description;
    std::vector<std::string> problems;
    if (!ReadDescriptionFields(sink.Fields(), description, problems)) {
        RespondWithMessage(response, 400, "The upload was not taken", problems,
                           "/dorvale/do/upload");
        return;
    }
    const AreaRecord& area = sink.Area();
    description.strArea = area.Name;
    CIncomingFile& file = sink.File();
    const std::string name = BareName(sink.SentName());

    auto refuse = [&](int status, const std::string& why) {
        const bool kept = KeepRefused(m_settings, file, sink.SentName(), description);
        std::vector<std::string> messages = {"The file was refused: " + why + "."};
        if (kept) {
            messages.push_back("It was set aside for the administrator.");
        }
        RespondWithMessage(response, status, "The upload was not taken", messages,
                           "/dorvale/do/upload");
    };
    if (const std::string problem = NameProblem(name); !problem.empty()) {
        return refuse(422, problem);
    }
    if (sink.Size() == 0) {
        return refuse(422, "it is empty");
    }
    std::string stored = name;
    bool named = false;
    if (m_settings.overwrite == 1) {
        named = file.Name(stored, true);
    } else {
        named = file.Name(stored, false);
        for (int n = 1; !named && errno == EEXIST && m_settings.overwrite == 2 && n < 1000; ++n) {
            stored = NumberedName(name, n);
            named = file.Name(stored, false);
        }
        if (!named && errno == EEXIST) {
            return refuse(409, "a file of that name is in the area already");
        }
    }
    if (!named) {
        RespondWithMessage(response, errno == ENOSPC ? 507 : 500, "The upload was not taken",
                           {"The file could not be stored."}, "/dorvale/do/upload");
        return;
    }
    description.strFilename = stored;
    if (!WriteDescription(area.Path, DescriptionFileName(stored), description)) {
        // Without its description the file is never posted; do not leave it lying there.
        ::unlinkat(file.Dir(), stored.c_str(), 0);
        RespondWithMessage(response, 500, "The upload was not taken",
                           {"The file's description could not be stored."}, "/dorvale/do/upload");
        return;
    }
    std::vector<std::string> messages = {"\"" + stored + "\" was received for the area \"" +
                                         area.Name +
                                         "\". It is listed once the administrator has checked it."};
    if (stored != name) {
        messages.push_back("A file named \"" + name +
                           "\" was there already, so yours is kept as \"" + stored + "\".");
    }
    Thanks(response, messages);
}

int RemoveUnfinishedUploads(const std::vector<AreaRecord>& areas) {
    int removed = 0;
    for (const AreaRecord& area : areas) {
        if (!IsUploadArea(area)) {
            continue;
        }
        DIR* dir = ::opendir(area.Path.c_str());
        if (!dir) {
            continue;
        }
        const std::time_t stale = std::time(nullptr) - UNFINISHED_AGE_SECONDS;
        while (const dirent* entry = ::readdir(dir)) {
            struct stat st {};
            // Another copy of the service may be writing one right now (on a shared directory
            // without unnamed files): only files nobody has written to for a while go.
            if (std::strncmp(entry->d_name, TEMP_PREFIX, std::strlen(TEMP_PREFIX)) == 0 &&
                ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(st.st_mode) && st.st_mtime < stale &&
                ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) {
                ++removed;
            }
        }
        ::closedir(dir);
    }
    return removed;
}
