#include "StatusMailbox.h"

#include <iterator>

bool CStatusMailbox::Post(int code, std::string text, int percent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (code == STATUS_LINE2 || code == STATUS_PERCENT) {
        // At most one of each since the last first line: replace it, and keep the newest last.
        for (auto it = m_messages.rbegin(); it != m_messages.rend() && it->code != STATUS_LINE1;
             ++it) {
            if (it->code == code) {
                m_messages.erase(std::next(it).base());
                break;
            }
        }
    }
    m_messages.push_back({code, std::move(text), percent});
    return code == STATUS_LINE1 || code == STATUS_FINISHED;
}

std::vector<CStatusMessage> CStatusMailbox::Take() {
    std::vector<CStatusMessage> taken;
    std::lock_guard<std::mutex> lock(m_mutex);
    taken.swap(m_messages);
    return taken;
}
