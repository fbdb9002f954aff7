#pragma once
// One generation in the terminal: the two status lines and a progress bar on standard error
// (a plain line per change when standard error is not a terminal), the same log and last-run
// values as the window. For machines without a display, and for cron.

#include "GenerationWorker.h"
#include "SheetforgeConfig.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

class CConsoleRunner : public IStatusWindow {
public:
    // `out` receives the display; `interactive` draws the bar in place (a terminal).
    CConsoleRunner(CSheetforgeConfig& config, std::FILE* out, bool interactive,
                   EnvironmentFactory factory = CreateSystemEnvironment);

    // Runs one generation to its end and writes the last-run values. 0 when the run ended
    // without an error, 1 when it reported one or was stopped.
    int Run();
    // Asks the run to stop (from a signal handler's thread or any other).
    void RequestStop() { m_worker.RequestStop(); }

    void PostStatusMessage(int code, std::string text, int percent) override;

private:
    struct CMessage {
        int code;
        std::string text;
        int percent;
    };
    void Show(const CMessage& message);
    void Draw();

    CSheetforgeConfig& m_config;
    std::FILE* m_out;
    bool m_interactive;
    CGenerationWorker m_worker;
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<CMessage> m_queue;
    std::string m_line1;
    std::string m_line2;
    int m_percent = 0;
    int m_shownPercent = -1;
    bool m_drawn = false;
};
