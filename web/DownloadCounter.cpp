#include "DownloadCounter.h"

#include <vector>

void CDownloadCounter::Add(std::uint32_t fileId, long long count) {
    std::lock_guard lock(m_mutex);
    m_counts[fileId] += count;
}

long long CDownloadCounter::Pending() const {
    std::lock_guard lock(m_mutex);
    long long total = 0;
    for (const auto& [id, count] : m_counts) {
        total += count;
    }
    return total;
}

bool CDownloadCounter::Flush(CDorvaleDatabaseManager& catalogue) {
    std::map<std::uint32_t, long long> batch;
    {
        std::lock_guard lock(m_mutex);
        batch.swap(m_counts);
    }
    if (batch.empty()) {
        return true;
    }
    std::vector<std::pair<double, long long>> counts;
    counts.reserve(batch.size());
    for (const auto& [id, count] : batch) {
        counts.emplace_back(static_cast<double>(id), count);
    }
    if (catalogue.AddDownloads(counts)) {
        return true;
    }
    // Nothing of the batch was written: it goes back, to be added to the next one.
    std::lock_guard lock(m_mutex);
    for (const auto& [id, count] : batch) {
        m_counts[id] += count;
    }
    return false;
}

CDownloadFlusher::CDownloadFlusher(CDownloadCounter& counter, CConnect connect,
                                   std::chrono::milliseconds interval)
    : m_counter(counter), m_connect(std::move(connect)), m_interval(interval),
      m_thread([this] { Run(); }) {}

CDownloadFlusher::~CDownloadFlusher() {
    Stop();
}

bool CDownloadFlusher::FlushNow() {
    std::lock_guard lock(m_mutex);
    if (m_counter.Pending() == 0) {
        return true;
    }
    if (!m_catalogue || !m_catalogue->IsOpen()) {
        m_catalogue = m_connect();
    }
    if (!m_catalogue) {
        return false;
    }
    if (!m_counter.Flush(*m_catalogue)) {
        m_catalogue.reset(); // connect afresh next time
        return false;
    }
    return true;
}

bool CDownloadFlusher::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    const bool flushed = FlushNow();
    std::lock_guard lock(m_mutex);
    m_catalogue.reset();
    return flushed;
}

void CDownloadFlusher::Run() {
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_for(lock, m_interval, [this] { return m_stop; })) {
                return;
            }
        }
        FlushNow();
    }
}
