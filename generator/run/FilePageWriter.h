#pragma once
// Writes the detail and download pages of the catalogue's files, on a pool of threads.
//
// The run reads the catalogue in order on its own thread and hands each file, with its
// download locations already read, to the writer; each thread renders with page objects of
// its own, compiled from the run's templates, so a page is the same bytes whichever thread
// writes it. Nothing a thread does reaches the status window or the log (a page that cannot
// be written is kept in the failures, which the run reports after Finish): the run posts the
// status messages in catalogue order as it hands the files over. With no threads the files
// are written at once on the run's thread.

#include "PageSources.h"
#include "Pages.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

// One page of a file, as the run hands it over: the detail page, or the download page with
// the file's locations already read.
struct CFilePageJob {
    std::shared_ptr<const CFileDetail> file;
    bool download = false;
    std::vector<std::string> locations;
    long long order = 0; // set by Submit: the page's place in the run's own order
};

// The pages a writer could not write: the first few reasons ("<path>: <the system's reason>")
// in the order the run handed the pages over, however the threads met them; how many pages
// in all, and which files lost a page.
struct CPageWriteFailures {
    static constexpr std::size_t NAMED = 10;
    std::vector<std::string> named;
    long long pages = 0;
    std::unordered_set<long long> files;
};

class CFilePageWriter {
public:
    // `root` ends with '/'. The templates are compiled once per thread from the given pages'
    // text; `aliases` (not owned) is only read, and must outlive the writer.
    CFilePageWriter(int threads, const std::string& root, const CTemplate& detailTemplate,
                    const CTemplate& downloadTemplate, const std::string& httpServer,
                    const std::string& ftpServer, const IAreaAliasSource* aliases);
    ~CFilePageWriter();
    CFilePageWriter(const CFilePageWriter&) = delete;
    CFilePageWriter& operator=(const CFilePageWriter&) = delete;

    // Writes the page, or queues it (waiting while the queue is full).
    void Submit(CFilePageJob job);
    // Waits until every page submitted has been written and the threads have ended: a run
    // that stops leaves the pages it handed over before its stop test, as if it had written
    // them itself.
    void Finish();
    // What could not be written; read after Finish.
    const CPageWriteFailures& GetFailures() const { return m_failures; }

private:
    class CPages;

    void Work(CPages& pages);
    void Write(CPages& pages, const CFilePageJob& job);

    std::string m_root;
    std::vector<std::unique_ptr<CPages>> m_pages; // one per thread, or one for the caller
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_taken;
    std::deque<CFilePageJob> m_queue;
    std::size_t m_capacity;
    int m_idle = 0; // threads waiting for a page: only they need waking
    bool m_closing = false;
    long long m_submitted = 0;                              // only the run's thread submits
    CPageWriteFailures m_failures;                          // under m_mutex until Finish
    std::vector<std::pair<long long, std::string>> m_named; // the NAMED earliest, unordered
};

// The number of threads for a --jobs value: the value itself when positive, else one per core.
int PageThreadCount(int jobs);
