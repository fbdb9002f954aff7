#include "AddFilesWizard.h"

#include "Help.h"
#include "Widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

const char PAGE_TITLE[] = "Add Multiple Files";

class CAddFilesPage : public CWizardPage {
public:
    CAddFilesPage(CAddFilesWizard& wizard, int id)
        : CWizardPage(id, PAGE_TITLE, help::ADD_FILES), m_wizard(wizard),
          m_layout(new QVBoxLayout(this)) {}

protected:
    CAddFilesWizard& m_wizard;
    QVBoxLayout* m_layout;
};

class CInfoPage : public CAddFilesPage {
public:
    explicit CInfoPage(CAddFilesWizard& wizard)
        : CAddFilesPage(wizard, CAddFilesWizard::INFO), m_directory(LimitedEdit(254, this)),
          m_areas(new QListWidget(this)),
          m_recursive(new QCheckBox("Include &subdirectories", this)),
          m_extract(new QCheckBox("E&xtract file descriptions (desc.sdi, file_id.diz)", this)),
          m_hosts(wizard.Context().HostingAreas()) {
        m_directory->setObjectName("directory");
        m_areas->setObjectName("areas");
        m_recursive->setObjectName("recursive");
        m_extract->setObjectName("extract");
        for (const AreaRecord& area : m_hosts) {
            m_areas->addItem(ToQt(area.Name));
        }
        auto* browse = NamedButton("&Browse...", "browse", this);
        auto* directoryLabel = new QLabel("Select the &directory containing files to add:", this);
        directoryLabel->setBuddy(m_directory);
        auto* areaLabel = new QLabel("Select the &area that will host these files:", this);
        areaLabel->setBuddy(m_areas);
        auto* row = new QHBoxLayout;
        row->addWidget(m_directory, 1);
        row->addWidget(browse);
        m_layout->addWidget(directoryLabel);
        m_layout->addLayout(row);
        m_layout->addWidget(areaLabel);
        m_layout->addWidget(m_areas, 1);
        m_layout->addWidget(m_recursive);
        m_layout->addWidget(m_extract);
        connect(browse, &QPushButton::clicked, this, [this] {
            std::string path;
            if (m_wizard.Context().Prompt().ChooseFolder("Select Directory",
                                                         FromQt(m_directory->text()), path)) {
                m_directory->setText(ToQt(path));
            }
        });
    }
    bool OnSetActive() override {
        GetWizard()->SetWizardButtons(CWizard::WIZB_BACK | CWizard::WIZB_NEXT);
        return true;
    }
    int OnWizardNext() override {
        const int row = m_areas->currentRow();
        const AreaRecord* area = row >= 0 && m_areas->currentItem()->isSelected()
                                     ? &m_hosts[static_cast<std::size_t>(row)]
                                     : nullptr;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool chosen = ChooseFilesToAdd(m_wizard.Context(), area, FromQt(m_directory->text()),
                                             m_recursive->isChecked(), m_wizard.files);
        QApplication::restoreOverrideCursor();
        if (!chosen) {
            return STAY;
        }
        m_wizard.area = *area;
        m_wizard.extract = m_extract->isChecked();
        return NEXT_IN_ORDER;
    }

private:
    QLineEdit* m_directory;
    QListWidget* m_areas;
    QCheckBox* m_recursive;
    QCheckBox* m_extract;
    std::vector<AreaRecord> m_hosts;
};

class CSummaryPage : public CAddFilesPage {
public:
    explicit CSummaryPage(CAddFilesWizard& wizard)
        : CAddFilesPage(wizard, CAddFilesWizard::SUMMARY), m_area(new QLabel(this)),
          m_files(new QPlainTextEdit(this)) {
        m_area->setObjectName("area");
        m_files->setObjectName("files");
        m_files->setReadOnly(true);
        m_files->setLineWrapMode(QPlainTextEdit::NoWrap);
        m_layout->addWidget(new QLabel("You have chosen to add the following files to:", this));
        m_layout->addWidget(m_area);
        m_layout->addWidget(m_files, 1);
        m_layout->addWidget(new QLabel("Choose \"Next\" to begin the adding process.", this));
    }
    bool OnSetActive() override {
        m_area->setText("<b>" + ToQt(m_wizard.area.Name).toHtmlEscaped() + "</b>");
        QString list;
        for (const std::string& file : m_wizard.files) {
            list += ToQt(file) + "\n";
        }
        m_files->setPlainText(list);
        GetWizard()->SetWizardButtons(CWizard::WIZB_BACK | CWizard::WIZB_NEXT);
        return true;
    }

private:
    QLabel* m_area;
    QPlainTextEdit* m_files;
};

// The worker's reports, carried to the page's thread; each waits for the page to take it.
class CProgressBridge : public QObject, public IAddFilesProgress {
public:
    explicit CProgressBridge(QObject* parent) : QObject(parent) {}
    std::function<void(std::size_t)> onRange;
    std::function<void(std::size_t)> onPosition;
    std::function<void(QString)> onFile;

    bool SetRange(std::size_t count) override {
        return Call([this, count] { onRange(count); });
    }
    bool SetPosition(std::size_t position) override {
        return Call([this, position] { onPosition(position); });
    }
    bool ShowCurrentFile(const std::string& text) override {
        return Call([this, text = ToQt(text)] { onFile(text); });
    }
    // The page learns the end from the worker thread's own end.
    void Completed() override {}

    // From now on reports are answered at once, without the page.
    void Stop() { m_stopping = true; }
    // Takes the reports that wait for the page (while the page waits for the worker).
    void AnswerWaiting() { QCoreApplication::sendPostedEvents(this, QEvent::MetaCall); }

private:
    bool Call(std::function<void()> update) {
        if (m_stopping) {
            return true;
        }
        auto answered = std::make_shared<QSemaphore>();
        QMetaObject::invokeMethod(
            this,
            [update = std::move(update), answered] {
                update();
                answered->release();
            },
            Qt::QueuedConnection);
        return answered->tryAcquire(1, ADD_FILES_ANSWER_TIMEOUT_MS);
    }

    std::atomic<bool> m_stopping{false};
};

class CDoitPage : public CAddFilesPage {
public:
    explicit CDoitPage(CAddFilesWizard& wizard)
        : CAddFilesPage(wizard, CAddFilesWizard::DOIT), m_file(new QLabel(this)),
          m_progress(new QProgressBar(this)), m_bridge(new CProgressBridge(this)) {
        m_file->setObjectName("currentFile");
        m_file->setWordWrap(true);
        m_file->setMinimumWidth(400);
        m_progress->setObjectName("progress");
        m_bridge->setObjectName("progressBridge");
        m_layout->addWidget(new QLabel("Current file:", this));
        m_layout->addWidget(m_file);
        m_layout->addWidget(m_progress);
        m_layout->addStretch(1);
        m_bridge->onRange = [this](std::size_t count) {
            m_progress->setRange(0, static_cast<int>(count));
        };
        m_bridge->onPosition = [this](std::size_t position) {
            m_progress->setValue(static_cast<int>(position));
        };
        m_bridge->onFile = [this](const QString& text) { m_file->setText(text); };
    }
    ~CDoitPage() override { StopWork(); }

    bool OnSetActive() override {
        GetWizard()->SetWizardButtons(0);
        m_wizard.log.clear();
        m_job = std::make_unique<CAddFilesJob>(m_wizard.Context(), m_wizard.area, m_wizard.files,
                                               m_wizard.extract);
        if (!m_job->ConfirmCopy()) {
            return false; // on to the results, with an empty log
        }
        m_running = true;
        m_worker = std::thread([this] {
            m_job->Run(*m_bridge);
            m_running = false;
            QMetaObject::invokeMethod(
                m_bridge, [this] { OnWorkerEnded(); }, Qt::QueuedConnection);
        });
        return true;
    }
    bool OnQueryCancel() override {
        StopWork();
        return true;
    }

private:
    void OnWorkerEnded() {
        if (m_worker.joinable()) {
            m_worker.join();
        }
        m_wizard.log = m_job->Log();
        // Next alone: the work is done, there is nothing left to cancel.
        GetWizard()->SetWizardButtons(CWizard::WIZB_NEXT);
        GetWizard()->EnableCancel(false);
    }

    // Stops the work after the file it is on, waiting for it.
    void StopWork() {
        if (!m_worker.joinable()) {
            return;
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_bridge->Stop();
        m_job->Stop();
        while (m_running) {
            m_bridge->AnswerWaiting();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_worker.join();
        m_wizard.log = m_job->Log();
        QApplication::restoreOverrideCursor();
    }

    QLabel* m_file;
    QProgressBar* m_progress;
    CProgressBridge* m_bridge;
    std::unique_ptr<CAddFilesJob> m_job;
    std::thread m_worker;
    std::atomic<bool> m_running{false};
};

class CDonePage : public CAddFilesPage {
public:
    explicit CDonePage(CAddFilesWizard& wizard)
        : CAddFilesPage(wizard, CAddFilesWizard::DONE), m_log(new QPlainTextEdit(this)) {
        m_log->setObjectName("log");
        m_log->setReadOnly(true);
        m_layout->addWidget(new QLabel("Results", this));
        m_layout->addWidget(m_log, 1);
    }
    bool OnSetActive() override {
        QString text = ToQt(m_wizard.log);
        text.replace("\r\n", "\n");
        m_log->setPlainText(text);
        GetWizard()->SetWizardButtons(CWizard::WIZB_FINISH);
        return true;
    }
    bool OnWizardFinish() override { return true; }

private:
    QPlainTextEdit* m_log;
};

} // namespace

CAddFilesWizard::CAddFilesWizard(CAdminContext& context, QWidget* parent)
    : CWizard("Add Files Wizard", parent), m_context(context) {
    setObjectName("addFilesWizard");
    AddPage(new CInfoPage(*this));
    AddPage(new CSummaryPage(*this));
    AddPage(new CDoitPage(*this));
    AddPage(new CDonePage(*this));
    resize(540, 420);
}
