#include "ExplorerTestSupport.h"

#include "FileListModel.h"
#include "FileListView.h"
#include "Help.h"

#include <QDesktopServices>
#include <QDir>
#include <QTimer>

#include <clocale>

namespace explorertest {

QApplication& Application() {
    static int argc = 1;
    static char name[] = "explorer_app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        auto* app = new QApplication(argc, argv);
        // Dates and numbers as the tests expect them.
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        return app;
    }();
    return *application;
}

bool ProcessUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void ClickLater(QAbstractButton* button) {
    QTimer::singleShot(0, button, &QAbstractButton::click);
}

void Screenshot(QWidget* window, const QString& name) {
    const QString directory = QString(DORVALE_BINARY_DIR) + "/explorer-screenshots";
    QDir().mkpath(directory);
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(directory + "/" + name + ".png")) << name.toStdString();
}

void CExplorerTest::SetUp() {
    Application();
    CCoreTest::SetUp();
    if (IsSkipped()) {
        return;
    }
    SetHelpDirectory(QString(DORVALE_BINARY_DIR) + "/share/dorvale/help");
    // The desktop's browser, as the tests see it.
    for (const char* scheme : {"file", "http", "https"}) {
        QDesktopServices::setUrlHandler(scheme, &m_opened, "Open");
    }
    m_poll = std::make_unique<QTimer>();
    m_poll->setInterval(10);
    QObject::connect(m_poll.get(), &QTimer::timeout, [this] { PollModal(); });
    m_poll->start();
}

void CExplorerTest::TearDown() {
    if (m_app && m_app->MainFrame() != nullptr) {
        m_app->MainFrame()->close();
    }
    m_app.reset();
    m_poll.reset();
    for (const char* scheme : {"file", "http", "https"}) {
        QDesktopServices::unsetUrlHandler(scheme);
    }
    EXPECT_TRUE(m_handlers.empty()) << m_handlers.size() << " window handlers did not run";
    CCoreTest::TearDown();
}

void CExplorerTest::PollModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == m_lastModal || m_handlers.empty() || !modal->isVisible()) {
        const auto now = std::chrono::steady_clock::now();
        if (modal == nullptr || m_unhandledSince == std::chrono::steady_clock::time_point{}) {
            m_unhandledSince = now;
        } else if (now - m_unhandledSince > std::chrono::seconds(20)) {
            ADD_FAILURE() << "window \"" << modal->windowTitle().toStdString()
                          << "\" left open without a handler";
            modal->close();
            m_unhandledSince = now;
        }
        if (modal == nullptr) {
            m_lastModal = nullptr;
        }
        return;
    }
    m_unhandledSince = std::chrono::steady_clock::now();
    m_lastModal = modal;
    auto handler = std::move(m_handlers.front());
    m_handlers.pop_front();
    handler(modal);
}

bool CExplorerTest::StartExplorer() {
    m_app = std::make_unique<CExplorerApp>(m_prompt);
    if (!m_app->InitInstance(m_source->Name())) {
        return false;
    }
    Frame().activateWindow();
    QApplication::setActiveWindow(&Frame());
    return ProcessUntil([this] { return Frame().IsTreeLoaded(); });
}

void CExplorerTest::FocusList() {
    QApplication::setActiveWindow(&Frame());
    Frame().ListView()->FocusList();
    ASSERT_TRUE(ProcessUntil([this] { return Frame().ListView()->HasFocus(); }));
}

void CExplorerTest::Run(ECommand command) {
    m_lastModal = nullptr;
    Frame().Run(command);
    QApplication::processEvents();
}

void CExplorerTest::SelectPath(const QString& path) {
    const CTreeItem* node = Frame().Tree().Root();
    for (const QString& name : path.split('/', Qt::SkipEmptyParts)) {
        const CTreeItem* found = nullptr;
        for (const auto& child : node->GetChildren()) {
            if (QString::fromStdString(child->GetName()) == name) {
                found = child.get();
            }
        }
        ASSERT_NE(found, nullptr) << "no node " << name.toStdString();
        node = found;
    }
    Frame().SelectNode(node);
    QApplication::processEvents(); // the refresh the selection posted
    ASSERT_EQ(Frame().SelectedNode(), node);
    // An area is counted once its first rows are painted.
    ASSERT_TRUE(ProcessUntil([this] { return Frame().ListModel()->IsCounted(); }));
}

QStringList CExplorerTest::ListColumn(int column) {
    QStringList texts;
    CFileListModel* model = Frame().ListModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        texts << model->data(model->index(row, column), Qt::DisplayRole).toString();
    }
    return texts;
}

} // namespace explorertest
