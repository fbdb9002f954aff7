#include "SetupDialogs.h"

#include "IISManager.h"
#include "SettingsModel.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* Text(const char* text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

CQuickSetupDlg::CQuickSetupDlg(prompt::IPrompt& prompt, const std::string& path, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_edit(new QLineEdit(QText(path), this)) {
    setObjectName("quickSetup");
    setWindowTitle("Dorvale Quick Setup");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text("Dorvale Setup was not able to find the path for your Dorvale "
                           "databases. If you are running Dorvale for the first time, please "
                           "enter the path where your Dorvale databases should be stored, then "
                           "click OK to continue.",
                           this));
    layout->addWidget(Text("If Dorvale has already been installed and configured on a different "
                           "machine on your network, click Cancel now, then run Dorvale Setup "
                           "from the machine where it was originally installed.",
                           this));
    auto* label = new QLabel("&File, area and group database path:", this);
    label->setBuddy(m_edit);
    layout->addWidget(label);
    auto* row = new QHBoxLayout;
    m_edit->setObjectName("path");
    m_edit->setMaxLength(static_cast<int>(SETTING_TEXT_LIMIT));
    row->addWidget(m_edit);
    auto* browse = new QPushButton("&Browse...", this);
    browse->setObjectName("browse");
    row->addWidget(browse);
    layout->addLayout(row);
    layout->addWidget(OkCancel(this));
    connect(browse, &QPushButton::clicked, this, [this] {
        std::string chosen;
        if (m_prompt.ChooseFolder("File, area and group database path",
                                  m_edit->text().toStdString(), chosen)) {
            m_edit->setText(QText(chosen));
        }
    });
    resize(480, sizeHint().height());
}

void CQuickSetupDlg::accept() {
    std::string path = m_edit->text().toStdString();
    if (!AcceptQuickSetupPath(path, m_prompt)) {
        m_edit->setFocus();
        return;
    }
    m_path = path;
    QDialog::accept();
}

CSelectServerDlg::CSelectServerDlg(prompt::IPrompt& prompt, const std::string& service,
                                   const std::vector<std::string>& servers,
                                   const std::string& current, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_list(new QListWidget(this)) {
    setObjectName("selectServer");
    const bool web = service == WEB_SERVICE_NAME;
    setWindowTitle(web ? "Select HTTP Server" : "Select FTP Server");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text("Select the server that you want Dorvale to use for web pages, "
                           "locally hosted files and files uploaded to the site.",
                           this));
    auto* label = new QLabel(web ? "HTTP &Servers" : "FTP &Servers", this);
    label->setBuddy(m_list);
    layout->addWidget(label);
    m_list->setObjectName("servers");
    for (const std::string& server : servers) {
        auto* item = new QListWidgetItem(QText(server), m_list);
        if (server == current) {
            m_list->setCurrentItem(item);
        }
    }
    layout->addWidget(m_list);
    layout->addWidget(OkCancel(this));
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CSelectServerDlg::accept);
}

void CSelectServerDlg::accept() {
    QListWidgetItem* item = m_list->currentItem();
    if (item == nullptr || !item->isSelected()) {
        m_prompt.Message("Select server from list", "Error", prompt::EButtons::Ok,
                         prompt::EIcon::Warning);
        return;
    }
    m_selected = item->text().toStdString();
    QDialog::accept();
}

CRemoveAreaDlg::CRemoveAreaDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("removeArea");
    setWindowTitle(PROGRAM_TITLE);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text("You have asked Dorvale to remove a file area that contains active "
                           "file records. To move these files to another area, click Move. To "
                           "permanently remove these files, click Delete. To discard your "
                           "changes, click Cancel. ",
                           this));
    auto* buttons = new QDialogButtonBox(this);
    auto* move = buttons->addButton("&Move", QDialogButtonBox::AcceptRole);
    auto* remove = buttons->addButton("&Delete", QDialogButtonBox::DestructiveRole);
    auto* cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    move->setObjectName("move");
    remove->setObjectName("delete");
    cancel->setObjectName("cancel");
    layout->addWidget(buttons);
    connect(move, &QPushButton::clicked, this, [this] {
        m_action = ERemoveAction::Move;
        QDialog::accept();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        m_action = ERemoveAction::Delete;
        QDialog::accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(420, sizeHint().height());
}

CSelectAreaDlg::CSelectAreaDlg(prompt::IPrompt& prompt, const std::vector<CAreaLine>& targets,
                               QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_list(new QListWidget(this)) {
    setObjectName("selectArea");
    setWindowTitle("Select File Area");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        Text("Please select a file area to receive the files you wish to move.", this));
    m_list->setObjectName("areas");
    for (const CAreaLine& line : targets) {
        auto* item = new QListWidgetItem(QText(line.name), m_list);
        item->setData(Qt::UserRole, line.id);
    }
    layout->addWidget(m_list);
    layout->addWidget(OkCancel(this));
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CSelectAreaDlg::accept);
}

void CSelectAreaDlg::accept() {
    QListWidgetItem* item = m_list->currentItem();
    if (item == nullptr || !item->isSelected()) {
        m_prompt.Message("Please select a file area to move files to.", "Error",
                         prompt::EButtons::Ok, prompt::EIcon::Error);
        return;
    }
    m_id = item->data(Qt::UserRole).toUInt();
    QDialog::accept();
}

bool CQtSetupUi::QuickSetup(std::string& path) {
    CQuickSetupDlg dialog(m_prompt, path, m_parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    path = dialog.Path();
    return true;
}

bool CQtSetupUi::SelectServer(const std::string& service, const std::vector<std::string>& servers,
                              std::string& name) {
    CSelectServerDlg dialog(m_prompt, service, servers, name, m_parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    name = dialog.Selected();
    return true;
}

ERemoveAction CQtSetupUi::ChooseRemoveAction() {
    CRemoveAreaDlg dialog(m_parent);
    return dialog.exec() == QDialog::Accepted ? dialog.Action() : ERemoveAction::Cancel;
}

bool CQtSetupUi::SelectArea(const std::vector<CAreaLine>& targets, std::uint32_t& id) {
    CSelectAreaDlg dialog(m_prompt, targets, m_parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    id = dialog.SelectedId();
    return true;
}
