#pragma once
// The desktop program driven through its real widgets on the offscreen platform, over the
// core's test library (its own registry, areas and groups, a catalogue on SQLite or
// PostgreSQL) with the prompt answered from a script. Modal windows are driven by handlers
// queued before the command that opens them: each runs once its window is the active modal
// one, and must not itself block (a click that opens another window is made with ClickLater).

#include "CoreFixture.h"
#include "ExplorerApp.h"
#include "MainFrame.h"

#include <QApplication>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>

namespace explorertest {

// The process's application, on the offscreen platform.
QApplication& Application();

// Processes window events until `condition` holds; false after 30 seconds.
bool ProcessUntil(const std::function<bool()>& condition);

// A named child of `parent`, or a test failure.
template <class T> T* Child(QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << "no " << name;
    return child;
}

// Clicks once control is back in the event loop (for buttons that open a window).
void ClickLater(QAbstractButton* button);

// Saves a picture of the window under build/<config>/explorer-screenshots/<name>.png.
void Screenshot(QWidget* window, const QString& name);

// The addresses the program asked the desktop to open.
struct COpenedAddresses : public QObject {
    Q_OBJECT
public slots:
    void Open(const QUrl& url) { urls << url; }

public:
    QList<QUrl> urls;
};

class CExplorerTest : public CCoreTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program on the library and waits until its tree is loaded; false when it
    // refused to start.
    bool StartExplorer();
    CMainFrame& Frame() { return *m_app->MainFrame(); }
    // The program's catalogue once it runs.
    CDorvaleDatabaseManager& Catalogue() override {
        return m_app ? m_app->Context().Catalogue() : CCoreTest::Catalogue();
    }
    const std::string& HttpPath() { return m_app->Context().HttpPath(); }

    // Runs `handler` on the next modal window (which must be a T), once it is up.
    template <class T> void OnModal(std::function<void(T&)> handler) {
        m_handlers.push_back([handler](QWidget* window) {
            T* typed = qobject_cast<T*>(window);
            if (typed == nullptr) {
                ADD_FAILURE() << "unexpected window " << window->metaObject()->className() << " \""
                              << window->windowTitle().toStdString() << "\"";
                window->close(); // rather than wait for ever
                return;
            }
            handler(*typed);
            if (::testing::Test::HasFatalFailure()) {
                window->close(); // a handler that gave up leaves nothing open
            }
        });
    }
    // Gives the list the focus, as a click in it would.
    void FocusList();
    // Runs a command of the main window (which returns once its windows are closed).
    void Run(ECommand command);
    // Every queued handler ran.
    bool HandlersDone() const { return m_handlers.empty(); }

    // Selects a tree node by its path of names from the root ("Main/Games"; "" is the root)
    // and waits for its list.
    void SelectPath(const QString& path);
    // The texts of the list's column for every row.
    QStringList ListColumn(int column);

    std::unique_ptr<CExplorerApp> m_app;
    COpenedAddresses m_opened;

private:
    void PollModal();

    std::deque<std::function<void(QWidget*)>> m_handlers;
    QWidget* m_lastModal = nullptr;
    // Since when a window has been waiting without a handler.
    std::chrono::steady_clock::time_point m_unhandledSince{};
    std::unique_ptr<QTimer> m_poll;
};

} // namespace explorertest
