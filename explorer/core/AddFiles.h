#pragma once
// Adding every file of a directory to one locally hosted area: the scan, and the work itself,
// which runs on a worker thread and reports through IAddFilesProgress. Files outside the area's
// directory are copied into it; each file becomes one catalogue entry titled after its name,
// with its size and date, optionally with descriptions taken from its archive. Per-file
// failures go to a log (lines ending in CR LF) and the work goes on.
//
// The order matters: a file is copied before its catalogue rows are written, so a row never
// names a copy that is not there; the stop flag is read before each file, so the file being
// processed is always finished.

#include "AdminContext.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

inline constexpr char MSG_NO_HOSTING_AREAS[] =
    "No file areas are configured for local file hosting.";
inline constexpr char MSG_CHOOSE_HOST_AREA[] = "You must select a file area to host these files.";
inline constexpr char MSG_BAD_DIRECTORY[] = "Please enter a valid directory name.";
inline constexpr char MSG_NO_FILES_FOUND[] = "There were no files found to add in that directory.";
inline constexpr char MSG_FILES_NEED_COPY[] = "One or more of the files selected must be copied to "
                                              "the host file area. Do you wish to continue?";
inline constexpr char ADD_FILES_COMPLETED[] = "Completed.";
// A window that does not answer a progress report within this time ends the work.
constexpr int ADD_FILES_ANSWER_TIMEOUT_MS = 1000;

// Scans `text` (a directory, or a directory and a name pattern with * and ?) for files, its
// subdirectories too when `recursive` (those whose names begin with '.' excepted; links to
// directories are not followed). Names are taken in name order, each directory's files before
// its subdirectories. False only for a text that cannot be made a full path (an empty one);
// a pattern that matches nothing adds nothing.
bool ScanForFiles(const std::string& text, bool recursive, std::vector<std::string>& files);

// Next on the information page: the files of `directory` (and its subdirectories when
// `recursive`) for the hosting `area`; false, with the page's message shown, when no area is
// chosen, the directory cannot be scanned or holds no file.
bool ChooseFilesToAdd(const CAdminContext& context, const AreaRecord* area,
                      const std::string& directory, bool recursive,
                      std::vector<std::string>& files);

// The title of a file: its name up to the last '.', and when that has no lower-case letter, its
// first character followed by the rest in lower case; cut to the title's limit.
std::string TitleFromFileName(const std::string& name);

// What the worker reports. Each call is answered by the window; an implementation returns false
// when the window did not answer within ADD_FILES_ANSWER_TIMEOUT_MS, and the work then ends at
// once.
class IAddFilesProgress {
public:
    virtual ~IAddFilesProgress() = default;
    virtual bool SetRange(std::size_t count) = 0;
    virtual bool SetPosition(std::size_t position) = 0;
    // The path being processed ("Completed." at the end).
    virtual bool ShowCurrentFile(const std::string& text) = 0;
    // The work has ended normally (the window then offers Next).
    virtual void Completed() = 0;
};

class CAddFilesJob {
public:
    CAddFilesJob(CAdminContext& context, AreaRecord area, std::vector<std::string> files,
                 bool extractDescriptions);
    ~CAddFilesJob();
    CAddFilesJob(const CAddFilesJob&) = delete;
    CAddFilesJob& operator=(const CAddFilesJob&) = delete;

    const std::vector<std::string>& Files() const { return m_files; }
    const AreaRecord& Area() const { return m_area; }
    // Some file lies outside the area's directory and will be copied.
    bool NeedsCopy() const;
    // The progress page's question when files must be copied; false when the user says No
    // (nothing is started, the log stays empty).
    bool ConfirmCopy();

    // Runs the work on a worker thread, or here.
    void Start(IAddFilesProgress& progress);
    void Run(IAddFilesProgress& progress);
    // Cancel: sets the stop flag and waits for the worker to finish the file it is on.
    void Stop();
    void Wait();

    std::string Log() const;
    std::size_t Added() const { return m_added; }

private:
    void AddOne(const std::string& path);
    // The area's local locations already catalogued, read once; each file is then looked up
    // here instead of scanning the catalogue's locations for every file.
    bool LoadCatalogued();
    // Whether `path` lies in the area's directory, and its name relative to it.
    bool Locate(const std::string& path, std::string& relative) const;
    bool IsCatalogued(const std::string& location) const;
    void Append(const std::string& line);

    CAdminContext& m_context;
    AreaRecord m_area;
    std::vector<std::string> m_files;
    bool m_extract;
    bool m_precedence = false;
    std::string m_areaDirectory;      // the area's directory with links and ".." resolved
    mutable std::string m_lastParent; // the directory of the last file, as given and resolved
    mutable std::string m_lastParentResolved;
    bool m_cataloguedLoaded = false;
    std::unordered_set<std::string> m_catalogued;
    std::atomic<bool> m_stop{false};
    std::atomic<std::size_t> m_added{0};
    mutable std::mutex m_logLock;
    std::string m_log;
    std::thread m_worker;
};
