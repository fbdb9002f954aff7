#include "SheetforgeDialog.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CSheetforgeDialog::CSheetforgeDialog(CSheetforgeConfig config, bool autorun,
                                     EnvironmentFactory factory, QWidget* parent)
    : QDialog(parent), m_config(std::move(config)), m_worker(std::move(factory)),
      m_closeWhenFinished(autorun), m_startAtOnce(autorun) {
    setWindowTitle(SHEETFORGE_CAPTION);
    setObjectName("SheetforgeDialog");

    auto* group = new QGroupBox("Status", this);
    m_status1 = new QLabel("Status 1", group);
    m_status1->setObjectName("status1");
    m_status2 = new QLabel("Status 2", group);
    m_status2->setObjectName("status2");
    m_progress = new QProgressBar(group);
    m_progress->setObjectName("progress");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    for (QLabel* label : {m_status1, m_status2}) {
        label->setMinimumWidth(360);
        label->setTextFormat(Qt::PlainText);
    }
    auto* statusLayout = new QVBoxLayout(group);
    statusLayout->addWidget(m_status1);
    statusLayout->addWidget(m_status2);
    statusLayout->addWidget(m_progress);

    m_startButton = new QPushButton("&Start", this);
    m_startButton->setObjectName("startButton");
    m_startButton->setDefault(true);
    auto* closeButton = new QPushButton("Close", this);
    closeButton->setObjectName("closeButton");
    auto* helpButton = new QPushButton("Help", this);
    helpButton->setObjectName("helpButton");
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(m_startButton);
    buttons->addWidget(closeButton);
    buttons->addWidget(helpButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    m_statusTimer.setInterval(static_cast<int>(STATUS_INTERVAL.count()));
    connect(&m_statusTimer, &QTimer::timeout, this, &CSheetforgeDialog::TakeStatus);
    connect(m_startButton, &QPushButton::clicked, this, &CSheetforgeDialog::OnStartStop);
    connect(closeButton, &QPushButton::clicked, this, &CSheetforgeDialog::reject);
    connect(helpButton, &QPushButton::clicked, this, &CSheetforgeDialog::OnHelp);

    // The window menu's extra entry, after a separator, as the window's context menu.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    addAction(separator);
    auto* about = new QAction("&About Sheetforge...", this);
    about->setObjectName("aboutAction");
    connect(about, &QAction::triggered, this, &CSheetforgeDialog::OnAbout);
    addAction(about);

    ShowLastRun();
}

CSheetforgeDialog::~CSheetforgeDialog() {
    if (m_worker.IsRunning()) {
        m_worker.RequestStop();
        m_worker.Join();
        m_config.lastDateProcessed = m_worker.GetStartStamp();
        m_config.lastFilesProcessed = m_worker.GetFilesProcessed();
    }
    if (!m_saved) {
        m_config.SaveLastRun();
    }
}

void CSheetforgeDialog::PostStatusMessage(int code, std::string text, int percent) {
    if (m_mailbox.Post(code, std::move(text), percent)) {
        QCoreApplication::postEvent(this, new CStatusEvent());
    }
}

void CSheetforgeDialog::TakeStatus() {
    for (const CStatusMessage& message : m_mailbox.Take()) {
        if (message.code == STATUS_FINISHED) {
            m_statusTimer.stop();
            OnStatus(message); // may close the window: nothing comes after the end
            return;
        }
        OnStatus(message);
    }
}

void CSheetforgeDialog::Raise() {
    if (isMinimized()) {
        showNormal();
    } else {
        raise();
        activateWindow();
    }
}

void CSheetforgeDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_startAtOnce && !m_started) {
        m_started = true;
        OnStartStop();
    }
}

void CSheetforgeDialog::OnStartStop() {
    if (m_worker.IsRunning()) {
        RequestStop();
        return;
    }
    m_status1->setText("Initializing, please wait...");
    m_status2->clear();
    m_startButton->setText("&Stop");
    m_error = false;
    m_worker.Start(m_config.generation, *this);
    m_statusTimer.start();
}

void CSheetforgeDialog::RequestStop() {
    m_worker.RequestStop();
    m_status1->setText(STOPPING_TEXT);
    m_status2->clear();
    m_startButton->setEnabled(false);
}

void CSheetforgeDialog::done(int result) {
    if (m_worker.IsRunning()) {
        // Closing waits for the run to stop; the window goes when it has.
        m_closeWhenFinished = true;
        if (!m_worker.IsStopRequested()) {
            RequestStop();
        }
        return;
    }
    m_saved = true;
    m_config.SaveLastRun();
    QDialog::done(result);
}

bool CSheetforgeDialog::event(QEvent* event) {
    if (event->type() == CStatusEvent::EVENT_TYPE) {
        TakeStatus();
        return true;
    }
    return QDialog::event(event);
}

void CSheetforgeDialog::OnStatus(const CStatusMessage& status) {
    const bool stopping = m_worker.IsStopRequested();
    switch (status.code) {
    case STATUS_LINE1:
        if (!stopping) {
            m_status1->setText(FromUtf8(TrimStatusText(status.text)));
            m_status2->clear();
        }
        break;
    case STATUS_LINE2:
        if (!stopping) {
            m_status2->setText(FromUtf8(TrimStatusText(status.text)));
        }
        break;
    case STATUS_PERCENT:
        if (!stopping) {
            m_progress->setValue(status.percent);
        }
        break;
    case STATUS_FINISHED:
        m_worker.Join();
        m_config.lastDateProcessed = m_worker.GetStartStamp();
        m_config.lastFilesProcessed = m_worker.GetFilesProcessed();
        m_error = m_worker.HasError();
        if (m_closeWhenFinished) {
            done(QDialog::Accepted);
            return;
        }
        ShowLastRun();
        m_progress->setValue(0);
        m_startButton->setText("&Start");
        m_startButton->setEnabled(true);
        break;
    default:
        break;
    }
}

void CSheetforgeDialog::ShowLastRun() {
    m_status1->setText(FromUtf8("Last processed: " + m_config.lastDateProcessed));
    if (!m_error) {
        m_status2->setText(QString("Total files processed: %1")
                               .arg(static_cast<qulonglong>(m_config.lastFilesProcessed)));
    }
}

void CSheetforgeDialog::OnHelp() {
    auto* box = new QMessageBox(
        QMessageBox::Information, SHEETFORGE_CAPTION,
        "Sheetforge writes the web pages of the file library from the catalogue and the file "
        "areas and groups.\n\n"
        "Start writes every page again; Stop ends the run after the page being written. The "
        "progress of a run and its errors are written to Sheetforge.log in the installation "
        "directory.\n\n"
        "Started with /autorun, Sheetforge starts at once and closes when the pages are "
        "written. Without a display, or with --console, it runs in the terminal.",
        QMessageBox::Ok, this);
    box->setObjectName("helpBox");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CSheetforgeDialog::OnAbout() {
    auto* about = new QDialog(this);
    about->setObjectName("aboutBox");
    about->setWindowTitle("About Dorvale Sheetforge");
    about->setAttribute(Qt::WA_DeleteOnClose);
    auto* name = new QLabel("Sheetforge", about);
    name->setObjectName("programName");
    QFont font = name->font();
    font.setBold(true);
    name->setFont(font);
    auto* version = new QLabel("Dorvale Sheetforge 1.0", about);
    version->setObjectName("programVersion");
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok, about);
    connect(box, &QDialogButtonBox::accepted, about, &QDialog::accept);
    auto* layout = new QVBoxLayout(about);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(box);
    about->open();
}
