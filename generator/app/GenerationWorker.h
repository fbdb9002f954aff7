#pragma once
// The worker thread that runs one generation at a time, with the stop event it polls.

#include "GenerationRun.h"

#include <functional>
#include <memory>
#include <thread>

// The first status line while a stop is awaited, in the console and in the window. Spelled as
// the program has always spelled it, for those who watch for it.
inline constexpr const char* STOPPING_TEXT = "Stoping generation, please wait...";

// Makes the environment of each run (the system's, or a test's).
using EnvironmentFactory = std::function<std::unique_ptr<IGenerationEnvironment>()>;

class CGenerationWorker {
public:
    explicit CGenerationWorker(EnvironmentFactory factory = CreateSystemEnvironment);
    ~CGenerationWorker();
    CGenerationWorker(const CGenerationWorker&) = delete;
    CGenerationWorker& operator=(const CGenerationWorker&) = delete;

    // Resets the stop event and starts a run on a new thread; false while one is running.
    // The window receives its messages, STATUS_FINISHED last.
    bool Start(const CGenerationSettings& settings, IStatusWindow& window);
    // Sets the stop event.
    void RequestStop() { m_stop.Set(); }
    bool IsStopRequested() const { return m_stop.IsSet(); }
    // Waits for the thread; call after STATUS_FINISHED. The last run's results stay readable.
    void Join();
    bool IsRunning() const { return m_thread.joinable(); }

    // Of the last run that finished.
    const std::string& GetStartStamp() const { return m_startStamp; }
    std::uint32_t GetFilesProcessed() const { return m_filesProcessed; }
    bool HasError() const { return m_error; }

private:
    EnvironmentFactory m_factory;
    CManualResetEvent m_stop;
    std::unique_ptr<IGenerationEnvironment> m_environment;
    std::unique_ptr<CGenerationRun> m_run;
    std::thread m_thread;
    std::string m_startStamp;
    std::uint32_t m_filesProcessed = 0;
    bool m_error = false;
};
