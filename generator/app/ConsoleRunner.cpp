#include "ConsoleRunner.h"

#include "Text.h"


namespace {

constexpr int BAR_WIDTH = 40;

// Keeps a line to the terminal's usual width so that redrawing stays on one row.
std::string Fit(const std::string& text, std::size_t width = 78) {
    if (text.size() <= width) {
        return text;
    }
    return std::string(base::CutUtf8(text, width - 3)) + "...";
}

} // namespace

CConsoleRunner::CConsoleRunner(CSheetforgeConfig& config, std::FILE* out, bool interactive,
                               EnvironmentFactory factory)
    : m_config(config), m_out(out), m_interactive(interactive), m_worker(std::move(factory)) {}

void CConsoleRunner::PostStatusMessage(int code, std::string text, int percent) {
    if (!m_mailbox.Post(code, std::move(text), percent)) {
        return; // taken at the next look
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wake = true;
    }
    m_woken.notify_one();
}

int CConsoleRunner::Run() {
    m_line1 = "Initializing, please wait...";
    m_line2.clear();
    Draw();
    m_worker.Start(m_config.generation, *this);
    bool finished = false;
    bool stopShown = false;
    while (!finished) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_woken.wait_for(lock, STATUS_INTERVAL, [this] { return m_wake; });
            m_wake = false;
        }
        if (m_stopFlag && m_stopFlag->load() && !m_worker.IsStopRequested()) {
            m_worker.RequestStop();
        }
        if (m_worker.IsStopRequested() && !stopShown) {
            stopShown = true;
            m_line1 = STOPPING_TEXT;
            m_line2.clear();
            Draw();
        }
        bool changed = false;
        for (const CStatusMessage& message : m_mailbox.Take()) {
            if (message.code == STATUS_FINISHED) {
                finished = true;
                break;
            }
            changed = Show(message) || changed;
        }
        if (changed) {
            Draw(); // once per look, however many messages it took
        }
    }
    m_worker.Join();
    const bool stopped = m_worker.IsStopRequested();
    m_config.lastDateProcessed = m_worker.GetStartStamp();
    m_config.lastFilesProcessed = m_worker.GetFilesProcessed();
    m_config.SaveLastRun();

    if (m_interactive && m_drawn) {
        std::fputs("\n", m_out);
    }
    std::fprintf(m_out, "Last processed: %s\n", m_config.lastDateProcessed.c_str());
    if (m_worker.HasError()) {
        std::fprintf(m_out, "%s\n", m_line2.c_str());
    } else {
        std::fprintf(m_out, "Total files processed: %lu\n",
                     static_cast<unsigned long>(m_config.lastFilesProcessed));
        if (stopped) {
            std::fputs("Generation stopped before it was complete.\n", m_out);
        }
    }
    std::fflush(m_out);
    return m_worker.HasError() || stopped ? 1 : 0;
}

bool CConsoleRunner::Show(const CStatusMessage& message) {
    if (m_worker.IsStopRequested()) {
        return false; // as in the window: nothing more after a stop request
    }
    switch (message.code) {
    case STATUS_LINE1:
        m_line1 = TrimStatusText(message.text);
        m_line2.clear();
        if (!m_interactive) {
            std::fprintf(m_out, "%s\n", m_line1.c_str());
        }
        break;
    case STATUS_LINE2:
        m_line2 = TrimStatusText(message.text);
        if (!m_interactive) {
            std::fprintf(m_out, "%s\n", m_line2.c_str());
        }
        break;
    case STATUS_PERCENT:
        m_percent = message.percent;
        // Without a terminal the percent is told in steps of ten.
        if (!m_interactive && m_percent / 10 != m_shownPercent / 10) {
            m_shownPercent = m_percent;
            std::fprintf(m_out, "%d%%\n", m_percent / 10 * 10);
        }
        break;
    default:
        return false;
    }
    if (!m_interactive) {
        std::fflush(m_out);
        return false;
    }
    return true;
}

void CConsoleRunner::Draw() {
    if (!m_interactive) {
        std::fprintf(m_out, "%s\n", m_line1.c_str());
        std::fflush(m_out);
        return;
    }
    const int filled = m_percent * BAR_WIDTH / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(BAR_WIDTH - filled), '-');
    // Back to the first of the three rows drawn last time, then each row cleared and drawn.
    if (m_drawn) {
        std::fputs("\r\033[2A", m_out);
    }
    std::fprintf(m_out, "\033[K%s\n\033[K%s\n\033[K[%s] %3d%%", Fit(m_line1).c_str(),
                 Fit(m_line2).c_str(), bar.c_str(), m_percent);
    std::fflush(m_out);
    m_drawn = true;
}
