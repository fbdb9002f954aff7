#include "PageWriter.h"

#include "PageFile.h"

#include <algorithm>

namespace {

// Pages queued per thread: enough to keep the threads busy while the run waits on the
// catalogue, few enough that the queue's memory does not matter.
constexpr std::size_t QUEUED_PER_THREAD = 64;
// An idle thread is woken once this many pages wait, not for each: a wake-up costs about what
// writing a page does.
constexpr std::size_t WAKE_AT = 16;

// The locations of the one file being written.
class CJobLocations : public IDownloadSource {
public:
    void Set(const CPageJob& job) {
        m_job = &job;
        m_next = 0;
    }
    bool Open(long long fileId) override {
        m_next = 0;
        return m_job && m_job->file->fileId == fileId;
    }
    EFetchResult Fetch(std::string& url) override {
        if (!m_job || m_next >= m_job->locations.size()) {
            return EFetchResult::End;
        }
        url = m_job->locations[m_next++];
        return EFetchResult::Row;
    }
    void Close() override {}

private:
    const CPageJob* m_job = nullptr;
    std::size_t m_next = 0;
};

} // namespace

class CPageWriter::CPages {
public:
    CFileDetailPage detail;
    CFileDownloadPage download;
    CJobLocations locations;
    std::string path;
};

int PageThreadCount(int jobs) {
    if (jobs > 0) {
        return jobs;
    }
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? static_cast<int>(cores) : 1;
}

CPageWriter::CPageWriter(int threads, const std::string& root, const CTemplate& detailTemplate,
                         const CTemplate& downloadTemplate, const std::string& httpServer,
                         const std::string& ftpServer, const IAreaAliasSource* aliases)
    : m_root(root), m_capacity(QUEUED_PER_THREAD * static_cast<std::size_t>(std::max(threads, 1))) {
    const int objects = std::max(threads, 1);
    for (int i = 0; i < objects; ++i) {
        auto pages = std::make_unique<CPages>();
        // Both texts compiled already once, so they compile again.
        pages->detail.CompileText(detailTemplate.GetSource());
        pages->download.CompileText(downloadTemplate.GetSource());
        pages->detail.SetHttpServer(httpServer);
        pages->download.SetPublishing(httpServer, ftpServer, aliases);
        pages->download.SetDownloadSource(&pages->locations);
        m_pages.push_back(std::move(pages));
    }
    for (int i = 0; i < threads; ++i) {
        m_threads.emplace_back(
            [this, pages = m_pages[static_cast<std::size_t>(i)].get()] { Work(*pages); });
    }
}

CPageWriter::~CPageWriter() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
    }
    m_queued.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

void CPageWriter::Submit(CPageJob job) {
    job.order = m_submitted++;
    if (m_threads.empty()) {
        Write(*m_pages.front(), job);
        return;
    }
    bool wake = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_taken.wait(lock, [this] { return m_queue.size() < m_capacity; });
        m_queue.push_back(std::move(job));
        ++m_pending;
        wake = m_idle > 0 && m_queue.size() >= WAKE_AT;
    }
    if (wake) {
        m_queued.notify_one();
    }
}

CPageWriteFailures CPageWriter::Drain() {
    // Fewer pages than wake a thread may be waiting.
    m_queued.notify_all();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_written.wait(lock, [this] { return m_pending == 0; });
    std::sort(m_named.begin(), m_named.end());
    CPageWriteFailures failures = std::move(m_failures);
    m_failures = {};
    for (auto& [order, error] : m_named) {
        failures.named.push_back(std::move(error));
    }
    m_named.clear();
    return failures;
}

void CPageWriter::Work(CPages& pages) {
    bool wrote = false; // a page written since the lock was last held
    for (;;) {
        CPageJob job;
        bool wake = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (wrote && --m_pending == 0) {
                m_written.notify_all();
            }
            ++m_idle;
            m_queued.wait(lock, [this] { return !m_queue.empty() || m_closing; });
            --m_idle;
            if (m_queue.empty()) {
                return;
            }
            // The run waits only on a full queue: wake it when there is room again.
            wake = m_queue.size() == m_capacity;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (wake) {
            m_taken.notify_one();
        }
        Write(pages, job);
        wrote = true;
    }
}

void CPageWriter::Write(CPages& pages, const CPageJob& job) {
    std::string error;
    if (!job.file) {
        pages.path.assign(m_root).append(job.path);
        if (!WritePageFile(job.bytes, pages.path, error)) {
            NoteFailure(job, std::move(error));
        }
        return;
    }
    const CFileDetail& file = *job.file;
    const std::string id = std::to_string(file.fileId);
    CTemplate* page = &pages.detail;
    if (!job.download) {
        pages.detail.SetFile(file);
        pages.path.assign(m_root).append("details/").append(id).append(".asp");
    } else {
        pages.locations.Set(job);
        pages.download.SetFile(file.fileId, file.title, file.size, file.shortDesc);
        pages.path.assign(m_root).append("download/").append(id).append(".asp");
        page = &pages.download;
    }
    if (!WritePageFile(*page, pages.path, error)) {
        NoteFailure(job, std::move(error));
    }
}

void CPageWriter::NoteFailure(const CPageJob& job, std::string error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Keep the earliest pages' reasons, so that they do not depend on the threads' timing.
    if (m_named.size() < CPageWriteFailures::NAMED) {
        m_named.emplace_back(job.order, std::move(error));
    } else if (auto latest = std::max_element(m_named.begin(), m_named.end());
               job.order < latest->first) {
        *latest = {job.order, std::move(error)};
    }
    ++m_failures.pages;
    if (job.file) {
        m_failures.files.insert(job.file->fileId);
    }
}
