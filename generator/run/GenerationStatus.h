#pragma once
// How a generation run talks to the window that started it: status messages posted from the
// worker thread, and the manual-reset event through which the window asks it to stop.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

// The message code of a status report (the first user message + 1).
constexpr int WM_GENERATION_STATUS = 1025;

// What a status message carries, by its code.
enum EStatusCode {
    STATUS_LINE1 = 0,    // text for the first status line
    STATUS_LINE2 = 1,    // text for the second status line
    STATUS_PERCENT = 2,  // progress, 0 to 100
    STATUS_FINISHED = 3, // the run has ended
};

// Status texts are formatted into a buffer of this many bytes, NUL included.
constexpr std::size_t STATUS_TEXT_BUFFER = 1024;

// The receiver of a run's status messages: the window, or the console. PostStatusMessage is
// called on the worker thread and must only queue the message for the receiver's own thread.
class IStatusWindow {
public:
    virtual ~IStatusWindow() = default;
    // `text` for codes 0 and 1; `percent` for code 2.
    virtual void PostStatusMessage(int code, std::string text, int percent) = 0;
};

// A manual-reset event: stays set until reset. The run polls it without waiting.
class CManualResetEvent {
public:
    void Set() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_set.store(true);
        }
        m_changed.notify_all();
    }
    void Reset() { m_set.store(false); }
    bool IsSet() const { return m_set.load(); }
    // Waits until the event is set or the time has passed; true when it is set.
    bool Wait(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_set.load(); });
    }

private:
    std::atomic<bool> m_set{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

// Cuts a status text to what its buffer holds, without splitting a UTF-8 sequence.
std::string LimitStatusText(std::string text);
// A status text for display: without the line ends some texts carry.
std::string TrimStatusText(const std::string& text);
