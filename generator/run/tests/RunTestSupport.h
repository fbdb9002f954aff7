#pragma once
// What the generation tests share: a window that records the status messages, templates
// that show what each page was given, and reading back a generated tree.

#include "GenerationRun.h"
#include "TestSupport.h"

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace runtest {

struct CMessage {
    int code;
    std::string text;
    int percent;
    bool operator==(const CMessage&) const = default;
};

// Records every message; `onMessage` (when set) sees each one on the posting thread.
class CRecordingWindow : public IStatusWindow {
public:
    void PostStatusMessage(int code, std::string text, int percent) override {
        std::function<void(const CMessage&)> hook;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_messages.push_back({code, text, code == STATUS_PERCENT ? percent : 0});
            hook = onMessage;
        }
        if (hook) {
            hook(m_messages.back());
        }
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.clear();
    }
    std::vector<CMessage> Messages() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    // The texts of one line, in order.
    std::vector<std::string> Lines(int code) {
        std::vector<std::string> lines;
        for (const CMessage& message : Messages()) {
            if (message.code == code) {
                lines.push_back(message.text);
            }
        }
        return lines;
    }
    std::vector<int> Percents() {
        std::vector<int> percents;
        for (const CMessage& message : Messages()) {
            if (message.code == STATUS_PERCENT) {
                percents.push_back(message.percent);
            }
        }
        return percents;
    }

    std::function<void(const CMessage&)> onMessage;

private:
    std::mutex m_mutex;
    std::vector<CMessage> m_messages;
};

// Templates that print the variables of each page kind compactly.
std::map<std::string, std::string> ShowingTemplates();

// Writes the seven templates into <installDir>/templates, `changes` replacing some of them
// (an empty text in `missing` leaves a template out).
void WriteTemplates(const std::filesystem::path& installDir,
                    const std::map<std::string, std::string>& changes = {},
                    const std::vector<std::string>& missing = {});

// Every regular file below `root`, by its path relative to `root`, with its content.
std::map<std::string, std::string> ReadTree(const std::filesystem::path& root);

// The paths of a tree.
std::vector<std::string> TreePaths(const std::map<std::string, std::string>& tree);

} // namespace runtest
