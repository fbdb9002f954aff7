#pragma once
// Where a receiver (the window, the console) keeps a run's status messages until its own
// thread takes them. A run posts a message per file; waking the receiver for each one cost
// a fifth of a run's time, so the mailbox keeps only the newest second line and percent since
// the last first line, and asks for a wake-up only when the first line changes or the run
// ends. The receiver takes the rest at its own pace (every STATUS_INTERVAL).
//
// What the receiver takes is what the run posted, in the run's order, less second lines and
// percents that a newer one replaced before they were taken: every first line, the last
// second line and percent before each first line, and the end, are always taken.

#include "GenerationStatus.h"

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

// How often a receiver takes the messages when nothing wakes it.
constexpr std::chrono::milliseconds STATUS_INTERVAL{50};

struct CStatusMessage {
    int code = STATUS_LINE1;
    std::string text;
    int percent = 0;
    bool operator==(const CStatusMessage&) const = default;
};

class CStatusMailbox {
public:
    // Keeps the message; true when the receiver should be woken for it now (a first line or
    // the end), false when it can wait for the receiver's next look.
    bool Post(int code, std::string text, int percent);
    // The messages kept since the last call, in order.
    std::vector<CStatusMessage> Take();

private:
    std::mutex m_mutex;
    std::vector<CStatusMessage> m_messages;
};
