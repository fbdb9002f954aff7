#pragma once
// Download counts gathered in memory and written to the catalogue in batches, so that a
// download costs a lock and an addition, never a database round trip.
//
// A flusher thread writes the batch every few seconds and once more when the service stops,
// so a crash loses at most the counts of the last interval. A batch the database refuses
// stays in memory and is tried again with the next one.

#include "DorvaleDatabaseManager.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class CDownloadCounter {
public:
    void Add(std::uint32_t fileId, long long count = 1);
    // The counts not written yet, summed over all files.
    long long Pending() const;
    // Writes every pending count through `catalogue`; on failure the counts stay pending.
    bool Flush(CDorvaleDatabaseManager& catalogue);

private:
    mutable std::mutex m_mutex;
    std::map<std::uint32_t, long long> m_counts;
};

// Runs CDownloadCounter::Flush every `interval` on a thread of its own, with a connection of
// its own, and once more in Stop (or the destructor).
class CDownloadFlusher {
public:
    using CConnect = std::function<std::unique_ptr<CDorvaleDatabaseManager>()>;

    CDownloadFlusher(CDownloadCounter& counter, CConnect connect,
                     std::chrono::milliseconds interval);
    ~CDownloadFlusher();
    CDownloadFlusher(const CDownloadFlusher&) = delete;
    CDownloadFlusher& operator=(const CDownloadFlusher&) = delete;

    // Writes what is pending now, without waiting for the interval.
    bool FlushNow();
    // The last flush, then the thread ends. True when nothing was left unwritten.
    bool Stop();

private:
    void Run();

    CDownloadCounter& m_counter;
    CConnect m_connect;
    std::chrono::milliseconds m_interval;
    std::unique_ptr<CDorvaleDatabaseManager> m_catalogue;
    std::mutex m_mutex; // guards m_stop and the connection
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};
