#pragma once
// Writes the pages of a run on a pool of threads.
//
// The run reads the catalogue in order on its own thread. It hands over each file, with its
// download locations already read, and each thread renders the file's detail or download page
// with page objects of its own, compiled from the run's templates, so a page is the same bytes
// whichever thread writes it. Every other page the run renders itself, in order, and hands
// over only its bytes. Nothing a thread does reaches the status window or the log (a page that
// cannot be written is kept in the failures, which the run takes after Drain): the run posts
// the status messages in order as it hands the pages over. With no threads the pages are
// written at once on the run's thread.
//
// Pages are handed over once each: two pages for the same path could be written in either
// order.

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

// One page as the run hands it over: a file's detail page, or its download page with the
// file's locations already read; or, without a file, a page already rendered.
struct CPageJob {
    std::shared_ptr<const CFileDetail> file;
    bool download = false;
    std::vector<std::string> locations;
    std::string path;  // a rendered page's path below the root
    std::string bytes; // and its bytes
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

class CPageWriter {
public:
    // `root` ends with '/'. The templates are compiled once per thread from the given pages'
    // text; `aliases` (not owned) is only read, and must outlive the writer.
    CPageWriter(int threads, const std::string& root, const CTemplate& detailTemplate,
                const CTemplate& downloadTemplate, const std::string& httpServer,
                const std::string& ftpServer, const IAreaAliasSource* aliases);
    // Writes what is queued and ends the threads.
    ~CPageWriter();
    CPageWriter(const CPageWriter&) = delete;
    CPageWriter& operator=(const CPageWriter&) = delete;

    // Writes the page, or queues it (waiting while the queue is full).
    void Submit(CPageJob job);
    // Waits until every page submitted has been written, and gives what could not be written
    // since the last Drain. A run that stops drains: it leaves the pages it handed over
    // before its stop test, as if it had written them itself.
    CPageWriteFailures Drain();

private:
    class CPages;

    void Work(CPages& pages);
    void Write(CPages& pages, const CPageJob& job);
    void NoteFailure(const CPageJob& job, std::string error);

    std::string m_root;
    std::vector<std::unique_ptr<CPages>> m_pages; // one per thread, or one for the caller
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_taken;
    std::condition_variable m_written;
    std::deque<CPageJob> m_queue;
    std::size_t m_capacity;
    int m_idle = 0;          // threads waiting for a page: only they need waking
    long long m_pending = 0; // submitted and not yet written
    bool m_closing = false;
    long long m_submitted = 0;                              // only the run's thread submits
    CPageWriteFailures m_failures;                          // under m_mutex
    std::vector<std::pair<long long, std::string>> m_named; // the NAMED earliest, unordered
};

// The number of threads for a --jobs value: the value itself when positive, else one per core.
int PageThreadCount(int jobs);
