#include "DownloadUrlDlg.h"

#include "Help.h"
#include "Widgets.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

CDownloadUrlDlg::CDownloadUrlDlg(CAdminContext& context, QWidget* parent)
    : CHelpDialog(help::DOWNLOAD_URL, parent), m_context(context), m_hosts(context.HostingAreas()),
      m_remote(new QRadioButton("&Remote file", this)),
      m_local(new QRadioButton("&Local File", this)), m_url(new QLineEdit(this)),
      m_file(new QLineEdit(this)), m_browse(NamedButton("&Browse...", "browse", this)),
      m_area(new QComboBox(this)) {
    setWindowTitle("Download URL");
    m_remote->setObjectName("remote");
    m_local->setObjectName("local");
    m_url->setObjectName("url");
    m_file->setObjectName("file");
    m_area->setObjectName("area");
    for (const AreaRecord& area : m_hosts) {
        m_area->addItem(ToQt(area.Name), area.Id);
    }
    m_area->setCurrentIndex(-1);
    m_local->setEnabled(!m_hosts.empty());
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_remote, 0, 0, 1, 3);
    AddField(grid, 1, "Site URL:", m_url);
    grid->addWidget(m_local, 2, 0, 1, 3);
    AddField(grid, 3, "&Filename:", m_file);
    grid->addWidget(m_browse, 3, 2);
    AddField(grid, 4, "Host &Area:", m_area);
    grid->setColumnMinimumWidth(1, 320);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    grid->addWidget(buttons, 5, 0, 1, 3);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDownloadUrlDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, &CHelpDialog::OnHelp);
    connect(m_remote, &QRadioButton::toggled, this, [this](bool on) { SetLocal(!on); });
    connect(m_browse, &QPushButton::clicked, this, &CDownloadUrlDlg::OnBrowse);
    m_remote->setChecked(true);
    SetLocal(false);
}

void CDownloadUrlDlg::SetLocation(const std::string& location) {
    const CLocationDialogState state = ParseLocationForDialog(m_context, location);
    if (!state.local) {
        m_url->setText(ToQt(state.url));
        m_remote->setChecked(true);
        return;
    }
    m_file->setText(ToQt(state.fileName));
    m_area->setCurrentIndex(m_area->findData(state.areaId));
    m_local->setChecked(true);
}

void CDownloadUrlDlg::SetLocalFile(const std::string& path) {
    m_file->setText(ToQt(path));
    m_local->setChecked(true);
}

void CDownloadUrlDlg::SetLocal(bool local) {
    m_url->setEnabled(!local);
    m_file->setEnabled(local);
    m_browse->setEnabled(local);
    m_area->setEnabled(local);
    (local ? m_file : m_url)->setFocus();
}

void CDownloadUrlDlg::showEvent(QShowEvent* event) {
    CHelpDialog::showEvent(event);
    (m_local->isChecked() ? m_file : m_url)->setFocus();
}

void CDownloadUrlDlg::OnBrowse() {
    prompt::CFileRequest request;
    request.initialPath = FromQt(m_file->text());
    std::string path;
    if (m_context.Prompt().ChooseFile(request, path)) {
        m_file->setText(ToQt(path));
    }
}

void CDownloadUrlDlg::accept() {
    if (!m_local->isChecked()) {
        if (AcceptRemoteLocation(m_context, FromQt(m_url->text()), m_location)) {
            QDialog::accept();
        }
        return;
    }
    std::string fileName = FromQt(m_file->text());
    const std::uint32_t areaId = m_area->currentIndex() < 0 ? 0 : m_area->currentData().toUInt();
    switch (AcceptLocalLocation(m_context, fileName, areaId, m_location)) {
    case ELocalAccept::Accepted:
        m_file->setText(ToQt(fileName));
        QDialog::accept();
        break;
    case ELocalAccept::StayOnFile:
        m_file->setFocus();
        break;
    case ELocalAccept::StayOnArea:
        m_area->setFocus();
        break;
    case ELocalAccept::Stay:
        break;
    }
}
