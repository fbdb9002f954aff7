#pragma once
// One generation in the terminal: the two status lines and a progress bar on standard error
// (a plain line per change when standard error is not a terminal), the same log and last-run
// values as the window. For machines without a display, and for cron.

#include "GenerationWorker.h"
#include "SheetforgeConfig.h"
#include "StatusMailbox.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>

class CConsoleRunner : public IStatusWindow {
public:
    // `out` receives the display; `interactive` draws the bar in place (a terminal).
    CConsoleRunner(CSheetforgeConfig& config, std::FILE* out, bool interactive,
                   EnvironmentFactory factory = CreateSystemEnvironment);

    // Runs one generation to its end and writes the last-run values. 0 when the run ended
    // without an error, 1 when it reported one or was stopped.
    int Run();
    // Asks the run to stop (from any thread, not from a signal handler).
    void RequestStop() { m_worker.RequestStop(); }
    // Asks the run to stop once `flag` is set, as a signal handler may set it.
    void StopWhenSet(const std::atomic<bool>& flag) { m_stopFlag = &flag; }

    void PostStatusMessage(int code, std::string text, int percent) override;

private:
    // Applies one message to the display state; true when it changed what is shown.
    bool Show(const CStatusMessage& message);
    void Draw();

    CSheetforgeConfig& m_config;
    std::FILE* m_out;
    bool m_interactive;
    CGenerationWorker m_worker;
    CStatusMailbox m_mailbox;
    const std::atomic<bool>* m_stopFlag = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_woken;
    bool m_wake = false;
    std::string m_line1;
    std::string m_line2;
    int m_percent = 0;
    int m_shownPercent = -1;
    bool m_drawn = false;
};
