#include "VisitorService.h"

#include "AddFile.h"
#include "FileRecord.h"
#include "FormData.h"
#include "Formatting.h"
#include "Reviews.h"
#include "SitePage.h"
#include "SubmissionForm.h"
#include "Text.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

namespace {

// A catalogue file id as a visitor sends it: 1 to 10 digits, within 32 bits, not 0.
bool ParseFileId(std::string_view text, std::uint32_t& id) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != text.npos) {
        return false;
    }
    const unsigned long long value = std::stoull(std::string(text));
    if (value == 0 || value > 0x7FFFFFFFull) {
        return false;
    }
    id = static_cast<std::uint32_t>(value);
    return true;
}

std::string DetailsHref(std::uint32_t fileId) {
    return "/dorvale/details/" + std::to_string(fileId) + ".asp";
}

// Today as the administrator sees dates in the review lists.
std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%m/%d/%Y", &local);
    return text;
}

// Bytes that may not stand in a Location header (controls, spaces, non-ASCII) escaped.
std::string HeaderSafeUrl(std::string_view url) {
    static const char HEX_DIGITS[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : url) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += HEX_DIGITS[c >> 4];
            out += HEX_DIGITS[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

// The directory with the '/' the administration core's paths expect.
std::string SiteDirectory(const std::string& httpPath) {
    return httpPath.empty() || httpPath.back() == '/' ? httpPath : httpPath + "/";
}

} // namespace

bool CheckEmailField(std::string& value, std::string_view label, bool required,
                     std::vector<std::string>& problems) {
    if (!CheckFormField(value, label, MAX_EMAIL, EFieldKind::OneLine, required, problems)) {
        return false;
    }
    if (const char* problem = EmailProblem(value)) {
        problems.push_back(problem);
        return false;
    }
    return true;
}

const char* EmailProblem(const std::string& address) {
    switch (CheckEmailAddress(address)) {
    case EEmailCheck::IllegalCharacters:
        return MSG_ILLEGAL_EMAIL;
    case EEmailCheck::NoAt:
        return MSG_INVALID_EMAIL;
    case EEmailCheck::Ok:
        break;
    }
    return nullptr;
}

bool CListedLocations::Contains(std::uint32_t fileId, const std::string& location) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(m_mutex);
    const auto found = m_until.find(Key(fileId, location));
    return found != m_until.end() && now < found->second;
}

void CListedLocations::Add(std::uint32_t fileId, const std::string& location) {
    const auto until = std::chrono::steady_clock::now() + m_keep;
    std::lock_guard lock(m_mutex);
    if (m_until.size() >= MAX_ENTRIES) {
        m_until.clear();
    }
    m_until[Key(fileId, location)] = until;
}

std::string CListedLocations::Key(std::uint32_t fileId, const std::string& location) {
    return std::to_string(fileId) + '\n' + location;
}

std::shared_ptr<const std::vector<AreaRecord>> CAreaSnapshot::Current() {
    std::lock_guard lock(m_mutex);
    struct stat st {};
    const std::string path = GetFileAreaStorePath(m_databasePath);
    if (m_databasePath.empty() || ::stat(path.c_str(), &st) != 0) {
        return m_areas;
    }
    const long long stamp = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL +
                            st.st_mtim.tv_nsec + static_cast<long long>(st.st_size);
    if (stamp == m_stamp) {
        return m_areas;
    }
    CFileAreaStore store;
    if (store.OpenForReading(m_databasePath)) {
        m_areas = std::make_shared<std::vector<AreaRecord>>(store.EnumerateAreas());
        m_stamp = stamp;
    }
    return m_areas;
}

CDorvaleDatabaseManager* CVisitorSession::Catalogue() {
    if (m_manager && m_manager->IsOpen()) {
        return m_manager.get();
    }
    m_manager = std::make_unique<CDorvaleDatabaseManager>(false);
    m_manager->SetDataSourceName(m_settings.dataSourceName);
    m_manager->SetLogFilename(m_settings.databaseLog);
    if (!m_manager->Open(nullptr, nullptr)) {
        m_manager.reset();
        return nullptr;
    }
    return m_manager.get();
}

CVisitorService::CVisitorService(CVisitorSettings settings)
    : m_settings(std::move(settings)), m_areas(m_settings.databasePath),
      m_listed(m_settings.listedLocationKeep) {}

void CVisitorService::Handle(const CWebRequest& request, CWebResponse& response,
                             CVisitorSession& session) {
    response = CWebResponse();
    const std::string_view path(request.path);
    const std::size_t prefix = std::strlen(SERVICE_PREFIX);
    const std::string_view action =
        path.substr(0, prefix) == SERVICE_PREFIX ? path.substr(prefix) : std::string_view();
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    auto wrongMethod = [&response]() {
        RespondWithMessage(response, 405, "Not allowed",
                           {"This address does not take that kind of request."});
    };
    if (action == "reviews") {
        return get ? ShowReviews(request, response) : wrongMethod();
    }
    if (action == "review") {
        return post ? PostReview(request, response, session) : wrongMethod();
    }
    if (action == "download") {
        return get ? Download(request, response, session) : wrongMethod();
    }
    if (action == "submit") {
        return get    ? ShowSubmitForm(response)
               : post ? PostSubmission(request, response)
                      : wrongMethod();
    }
    if (action == "upload") {
        return get    ? ShowUploadForm(response)
               : post ? PostUpload(request, response)
                      : wrongMethod();
    }
    RespondWithMessage(response, 404, "Not found", {"There is no such page on this site."});
}

bool ReadFormBody(const CWebRequest& request, std::size_t limit, std::string& body,
                  CWebResponse& response) {
    const std::string_view type = std::string_view(request.contentType).substr(0, 33);
    if (!base::StartsWithNoCase(type, "application/x-www-form-urlencoded")) {
        RespondWithMessage(response, 415, "Not a form",
                           {"The request does not carry a form's fields."});
        return false;
    }
    if (request.contentLength > static_cast<long long>(limit)) {
        RespondWithMessage(response, 413, "Too much text",
                           {"The form holds more text than this site takes at once."});
        return false;
    }
    body.clear();
    char buffer[16384];
    while (request.body) {
        const std::ptrdiff_t n = request.body->Read(buffer, sizeof buffer);
        if (n < 0) {
            RespondWithMessage(response, 400, "Incomplete form",
                               {"The form's data did not arrive whole."});
            return false;
        }
        if (n == 0) {
            break;
        }
        if (body.size() + static_cast<std::size_t>(n) > limit) {
            RespondWithMessage(response, 413, "Too much text",
                               {"The form holds more text than this site takes at once."});
            return false;
        }
        body.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

void CVisitorService::ShowReviews(const CWebRequest& request, CWebResponse& response) {
    CFormFields query;
    std::string error;
    std::uint32_t fileId = 0;
    if (!ParseUrlEncoded(request.query, query, 8, 64, error) ||
        !ParseFileId(FieldValue(query, "file"), fileId)) {
        response.status = 400;
        response.body = "<p class=\"muted\">Reviews cannot be shown here.</p>\n";
        return;
    }
    response.noStore = true;
    const std::vector<ReviewEntry> reviews =
        ReadReviewFile(ReviewFilePath(SiteDirectory(m_settings.httpPath), fileId));
    std::string& html = response.body;
    if (reviews.empty()) {
        html = "<p class=\"muted\">No reviews yet. Be the first to write one.</p>\n";
        return;
    }
    html = "<ol class=\"review-list\">\n";
    for (const ReviewEntry& review : reviews) {
        html += "<li class=\"review\"><p class=\"review-by\"><strong>";
        AppendHtmlEscaped(html,
                          review.anonymous || review.name.empty() ? "Anonymous" : review.name);
        html += "</strong>";
        if (!review.date.empty()) {
            html += " <span class=\"muted\">";
            AppendHtmlEscaped(html, review.date);
            html += "</span>";
        }
        html += "</p><p class=\"review-text\">";
        std::string_view text = review.text;
        for (std::size_t line = 0; !text.empty() || line == 0; ++line) {
            const std::size_t end = text.find('\n');
            std::string_view piece = text.substr(0, end);
            if (!piece.empty() && piece.back() == '\r') {
                piece.remove_suffix(1);
            }
            if (line > 0) {
                html += "<br>";
            }
            AppendHtmlEscaped(html, piece);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        }
        html += "</p></li>\n";
    }
    html += "</ol>\n";
}

void CVisitorService::PostReview(const CWebRequest& request, CWebResponse& response,
                                 CVisitorSession& session) {
    std::string body;
    if (!ReadFormBody(request, MAX_FORM_BODY, body, response)) {
        return;
    }
    CFormFields fields;
    std::string error;
    if (!ParseUrlEncoded(body, fields, 16, MAX_REVIEW_TEXT * 2, error)) {
        RespondWithMessage(response, 400, "The review was not taken", {error});
        return;
    }
    std::uint32_t fileId = 0;
    if (!ParseFileId(FieldValue(fields, "file"), fileId)) {
        RespondWithMessage(response, 400, "The review was not taken",
                           {"The review does not say which file it is about."});
        return;
    }
    SubmissionEntry entry;
    entry.fileId = fileId;
    entry.name = FieldValue(fields, "name");
    entry.email = FieldValue(fields, "email");
    entry.text = FieldValue(fields, "review");
    entry.anonymous = !FieldValue(fields, "anonymous").empty();
    std::vector<std::string> problems;
    // The "Edit Review" dialog's checks, and its messages for empty fields.
    CheckFormField(entry.name, "Name", MAX_NAME, EFieldKind::OneLine, true, problems);
    CheckEmailField(entry.email, "Email", true, problems);
    CheckFormField(entry.text, "Review", MAX_REVIEW_TEXT, EFieldKind::MultiLine, true, problems);
    if (!problems.empty()) {
        RespondWithMessage(response, 400, "The review was not taken", problems,
                           DetailsHref(fileId) + "#write-review");
        return;
    }
    // A TAB that starts a line of the text is written as a space by FormatSubmission, so the
    // record stays whole for the administrator.
    CDorvaleDatabaseManager* catalogue = session.Catalogue();
    CFileRecord file(catalogue);
    if (!catalogue ||
        !file.Open("select * from files where file_id = " + std::to_string(fileId), true, false)) {
        session.Drop();
        RespondWithMessage(response, 503, "Please try again later",
                           {"The catalogue cannot be reached just now; the review was not taken."});
        return;
    }
    if (file.IsEOF()) {
        RespondWithMessage(response, 404, "No such file",
                           {"The catalogue has no file with this number."});
        return;
    }
    entry.fileName = file.m_TITLE;
    entry.date = Today();
    if (!AppendSubmission(SubmissionsFilePath(SiteDirectory(m_settings.httpPath)), entry, error)) {
        RespondWithMessage(response, 500, "The review was not saved",
                           {"The review could not be saved: " + error});
        return;
    }
    RespondWithMessage(response, 200, "Thank you for your review",
                       {"Your review of \"" + entry.fileName +
                        "\" will appear on the file's page once the administrator has read it."},
                       DetailsHref(fileId));
}

void CVisitorService::Download(const CWebRequest& request, CWebResponse& response,
                               CVisitorSession& session) {
    CFormFields query;
    std::string error;
    std::uint32_t fileId = 0;
    if (!ParseUrlEncoded(request.query, query, 8, MAX_LOCATION, error) ||
        !ParseFileId(FieldValue(query, "file"), fileId)) {
        RespondWithMessage(response, 400, "Not a download", {"This download link is damaged."});
        return;
    }
    const std::string location = FieldValue(query, "url");
    if (location.empty() || CheckOneLine(location, MAX_LOCATION) != ETextCheck::Good) {
        RespondWithMessage(response, 400, "Not a download", {"This download link is damaged."});
        return;
    }
    // The catalogue is asked only when this location was not confirmed a moment ago: a
    // download then costs no database round trip.
    if (!m_listed.Contains(fileId, location)) {
        CDorvaleDatabaseManager* catalogue = session.Catalogue();
        std::vector<std::string> locations;
        if (!catalogue || !catalogue->GetDownloadURLs(fileId, locations)) {
            session.Drop();
            RespondWithMessage(response, 503, "Please try again later",
                               {"The catalogue cannot be reached just now."});
            return;
        }
        if (std::find(locations.begin(), locations.end(), location) == locations.end()) {
            RespondWithMessage(response, 404, "Not found",
                               {"This download location is not listed for the file."},
                               DetailsHref(fileId));
            return;
        }
        m_listed.Add(fileId, location);
    }
    std::string target;
    long long areaId = 0;
    std::string_view name;
    if (SplitLocalLocation(location, areaId, name)) {
        const auto areas = m_areas.Current();
        for (const AreaRecord& area : *areas) {
            if (area.Id == areaId) {
                target = FormatAliasUrl(m_settings.httpServer, area.HttpAlias, name);
            }
        }
        if (target.empty()) {
            RespondWithMessage(response, 404, "Not published",
                               {"This file is not published on the web."}, DetailsHref(fileId));
            return;
        }
    } else if (IsValidDownloadUrl(location)) {
        // http, https or ftp with a host, as the add-file wizard takes them: never a
        // javascript: or data: location.
        target = location;
    } else {
        RespondWithMessage(response, 404, "Not published",
                           {"This download location is not a web address."}, DetailsHref(fileId));
        return;
    }
    m_counter.Add(fileId);
    response.status = 302;
    response.noStore = true;
    response.location = HeaderSafeUrl(target);
    response.body = "<p><a href=\"";
    AppendHtmlEscaped(response.body, response.location);
    response.body += "\">Download</a></p>\n";
}

void CVisitorService::ShowSubmitForm(CWebResponse& response) {
    if (m_settings.adminEmail.empty()) {
        // Every page links here; the page says so rather than failing.
        RespondWithMessage(response, 200, "Submissions are closed",
                           {"This site does not take file submissions."});
        return;
    }
    response.body = RenderSitePage("Submit a file", "Tell us about", RenderSubmissionForm());
}

void CVisitorService::PostSubmission(const CWebRequest& request, CWebResponse& response) {
    if (m_settings.adminEmail.empty()) {
        RespondWithMessage(response, 503, "Submissions are closed",
                           {"This site does not take file submissions."});
        return;
    }
    std::string body;
    if (!ReadFormBody(request, MAX_FORM_BODY, body, response)) {
        return;
    }
    CFormFields fields;
    std::string error;
    if (!ParseUrlEncoded(body, fields, 32, MAX_LONG_TEXT * 2, error)) {
        RespondWithMessage(response, 400, "The submission was not sent", {error});
        return;
    }
    CFileSubmission submission;
    std::vector<std::string> problems;
    if (!ReadSubmissionForm(fields, submission, problems)) {
        RespondWithMessage(response, 400, "The submission was not sent", problems,
                           "/dorvale/do/submit");
        return;
    }
    std::string text;
    if (!FormatFileSubmission(submission, text)) {
        RespondWithMessage(response, 400, "The submission was not sent",
                           {"The submission cannot be written as a formatted file submission."},
                           "/dorvale/do/submit");
        return;
    }
    if (!SendSubmissionMail(m_settings.adminEmail, text, error)) {
        RespondWithMessage(response, 503, "The submission was not sent",
                           {"The mail to the site's administrator could not be sent: " + error});
        return;
    }
    RespondWithMessage(
        response, 200, "Thank you for your submission",
        {"Your description of \"" + submission.title + "\" was sent to the site's administrator."});
}
