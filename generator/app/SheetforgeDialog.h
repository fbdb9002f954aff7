#pragma once
// The Sheetforge window: two status lines, a progress bar, Start/Stop, Close and Help, and
// the About entry of its window menu. Runs one generation at a time on the worker thread,
// which reports only through posted status messages.

#include "GenerationWorker.h"
#include "SheetforgeConfig.h"
#include "StatusMailbox.h"

#include <QDialog>
#include <QEvent>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;

inline constexpr const char* SHEETFORGE_CAPTION = "Dorvale Sheetforge";

// Wakes the window's thread to take the run's status messages now: posted when the first
// line changes and when the run ends (the window looks every STATUS_INTERVAL otherwise).
class CStatusEvent : public QEvent {
public:
    static constexpr QEvent::Type EVENT_TYPE = static_cast<QEvent::Type>(WM_GENERATION_STATUS);
    CStatusEvent() : QEvent(EVENT_TYPE) {}
};

class CSheetforgeDialog : public QDialog, public IStatusWindow {
    Q_OBJECT
public:
    // `autorun` starts a run at once and closes the window when it ends.
    CSheetforgeDialog(CSheetforgeConfig config, bool autorun,
                      EnvironmentFactory factory = CreateSystemEnvironment,
                      QWidget* parent = nullptr);
    ~CSheetforgeDialog() override;

    // Called on the worker thread: keeps the message for the window's thread.
    void PostStatusMessage(int code, std::string text, int percent) override;

    bool IsRunning() const { return m_worker.IsRunning(); }
    const CSheetforgeConfig& GetConfig() const { return m_config; }
    // Brings the window to the front (a second copy of the program asks for it).
    void Raise();

public slots:
    void OnStartStop();
    void OnHelp();
    void OnAbout();
    void done(int result) override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Shows what the run posted since the last look.
    void TakeStatus();
    void OnStatus(const CStatusMessage& status);
    void ShowLastRun();
    void RequestStop();

    CSheetforgeConfig m_config;
    CGenerationWorker m_worker;
    CStatusMailbox m_mailbox;
    QTimer m_statusTimer;
    bool m_closeWhenFinished;
    bool m_startAtOnce;
    bool m_started = false;
    bool m_error = false;
    bool m_saved = false;
    QLabel* m_status1;
    QLabel* m_status2;
    QProgressBar* m_progress;
    QPushButton* m_startButton;
};
