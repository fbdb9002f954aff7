#pragma once
// dorvale-web's logic: what a visitor does on the site besides reading pages.
//
//   GET  /dorvale/do/reviews?file=ID   the file's published reviews, an HTML fragment the
//                                      detail page includes (newest last)
//   POST /dorvale/do/review            a new review, appended to reviews/submissions.txt
//   GET  /dorvale/do/download?file=ID&url=LOCATION
//                                      counts one download and redirects to the location
//                                      (a local location to its address under the area's alias)
//   GET  /dorvale/do/upload            the HTTP upload form (AllowUploads 1 or 3)
//   POST /dorvale/do/upload            an uploaded file and its description file, stored in
//                                      the chosen area's directory for the upload scan
//   GET  /dorvale/do/submit            the "Submit a file" form
//   POST /dorvale/do/submit            a formatted file submission mailed to AdminEmail
//
// The service keeps nothing of its own but the download counts not yet written, so several
// copies (threads, processes, machines) may serve one site: files are appended under locks
// that hold across processes and counts are added in the database.

#include "DorvaleDatabaseManager.h"
#include "DownloadCounter.h"
#include "FileAreaStore.h"
#include "VisitorSettings.h"
#include "WebRequest.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

inline constexpr char SERVICE_PREFIX[] = "/dorvale/do/";

// The areas of filearea.dat, read again whenever the file changes; the last good reading
// stays in use while the file cannot be read (the setup program holds it).
class CAreaSnapshot {
public:
    explicit CAreaSnapshot(std::string databasePath) : m_databasePath(std::move(databasePath)) {}
    std::shared_ptr<const std::vector<AreaRecord>> Current();

private:
    std::string m_databasePath;
    std::mutex m_mutex;
    std::shared_ptr<const std::vector<AreaRecord>> m_areas =
        std::make_shared<std::vector<AreaRecord>>();
    long long m_stamp = -1;
};

// Download locations the catalogue listed for a file a moment ago. A location removed from
// the catalogue keeps redirecting for at most `keep`; the set is emptied when it grows large.
class CListedLocations {
public:
    static constexpr std::size_t MAX_ENTRIES = 65536;
    explicit CListedLocations(std::chrono::milliseconds keep) : m_keep(keep) {}
    bool Contains(std::uint32_t fileId, const std::string& location);
    void Add(std::uint32_t fileId, const std::string& location);

private:
    static std::string Key(std::uint32_t fileId, const std::string& location);

    std::chrono::milliseconds m_keep;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::chrono::steady_clock::time_point> m_until;
};

// What one worker thread holds: its own catalogue connection, opened when first needed and
// opened again after it failed.
class CVisitorSession {
public:
    explicit CVisitorSession(const CVisitorSettings& settings) : m_settings(settings) {}
    // The open connection, or null when the catalogue cannot be reached.
    CDorvaleDatabaseManager* Catalogue();
    // Forget the connection after a failure, so the next request connects afresh.
    void Drop() { m_manager.reset(); }

private:
    const CVisitorSettings& m_settings;
    std::unique_ptr<CDorvaleDatabaseManager> m_manager;
};

class CVisitorService {
public:
    explicit CVisitorService(CVisitorSettings settings);

    const CVisitorSettings& Settings() const { return m_settings; }
    CDownloadCounter& Counter() { return m_counter; }
    CAreaSnapshot& Areas() { return m_areas; }

    // Answers one request. Thread-safe; each thread brings its own session.
    void Handle(const CWebRequest& request, CWebResponse& response, CVisitorSession& session);

private:
    void ShowReviews(const CWebRequest& request, CWebResponse& response);
    void PostReview(const CWebRequest& request, CWebResponse& response, CVisitorSession& session);
    void Download(const CWebRequest& request, CWebResponse& response, CVisitorSession& session);
    void ShowSubmitForm(CWebResponse& response);
    void PostSubmission(const CWebRequest& request, CWebResponse& response);
    void ShowUploadForm(CWebResponse& response);
    void PostUpload(const CWebRequest& request, CWebResponse& response);

    CVisitorSettings m_settings;
    CDownloadCounter m_counter;
    CAreaSnapshot m_areas;
    CListedLocations m_listed;
};

// An e-mail field: a one-line field of at most MAX_EMAIL bytes that passes the
// administration's e-mail check; what is wrong goes to `problems`.
bool CheckEmailField(std::string& value, std::string_view label, bool required,
                     std::vector<std::string>& problems);

// The administration's e-mail check: null for a good address, else the message that says why
// not ("Illegal characters in e-mail address.", "Invalid e-mail address.").
const char* EmailProblem(const std::string& address);

// Reads a whole form body of at most `limit` bytes; false (with the response set) when it is
// missing, too long or not URL-encoded.
bool ReadFormBody(const CWebRequest& request, std::size_t limit, std::string& body,
                  CWebResponse& response);

// Removes leftovers of uploads that never finished (files "<area>/.upload-*" untouched for an
// hour, of a service that was killed) from the uploadable areas' directories. Returns how many
// it removed.
int RemoveUnfinishedUploads(const std::vector<AreaRecord>& areas);
