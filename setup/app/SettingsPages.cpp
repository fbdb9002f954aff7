#include "SettingsPages.h"

#include "Settings.h"
#include "SetupHelp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

CSettingsPage::CSettingsPage(CSetupSheet& sheet, const char* title, ESettingsPage page)
    : CSetupPage(sheet, title), m_page(page) {}

QLineEdit* CSettingsPage::AddText(ESetting setting, const char* label, QWidget* into,
                                  Browser browse, const char* browseLabel) {
    QWidget* parent = into != nullptr ? into : this;
    auto* form = qobject_cast<QFormLayout*>(parent->layout());
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(GetSettingInfo(setting).name);
    edit->setMaxLength(static_cast<int>(SETTING_TEXT_LIMIT));
    auto* caption = new QLabel(label, parent);
    caption->setBuddy(edit);
    if (!browse) {
        form->addRow(caption, edit);
    } else {
        auto* row = new QHBoxLayout;
        row->addWidget(edit);
        auto* button = new QPushButton(browseLabel, parent);
        button->setObjectName(QString(GetSettingInfo(setting).name) + "Browse");
        row->addWidget(button);
        form->addRow(caption, row);
        connect(button, &QPushButton::clicked, this, [edit, browse] { browse(edit); });
    }
    m_fields[setting] = edit;
    return edit;
}

CSettingsPage::Browser CSettingsPage::Folder(const char* title, ESetting setting) {
    return [this, title, setting](QLineEdit* edit) {
        std::string chosen;
        if (!m_sheet.Prompt().ChooseFolder(title, edit->text().toStdString(), chosen) ||
            QText(chosen) == edit->text()) {
            return;
        }
        edit->setText(QText(chosen));
        if (setting == ESetting::DatabasePath) {
            Model().NoteDatabasePathChange(chosen, m_sheet.Prompt());
        }
    };
}

void CSettingsPage::ToModel() {
    for (auto& [setting, edit] : m_fields) {
        Model().Value(setting) = edit->text().toStdString();
    }
}

void CSettingsPage::FromModel() {
    for (auto& [setting, edit] : m_fields) {
        edit->setText(QText(Model().Value(setting)));
    }
}

void CSettingsPage::Focus(ESetting setting) {
    const auto it = m_fields.find(setting);
    if (it != m_fields.end()) {
        it->second->setFocus();
        it->second->selectAll();
    }
}

bool CSettingsPage::OnKillActive() {
    ToModel();
    const std::optional<ESetting> refused = Model().ValidatePage(m_page, m_sheet.Prompt());
    FromModel(); // the checks tidy the values
    if (refused) {
        Focus(*refused);
        return false;
    }
    return true;
}

void CSettingsPage::OnApply() {
    ToModel();
    Model().SavePage(m_page);
}

// ---- General ----

CGeneralPage::CGeneralPage(CSetupSheet& sheet)
    : CSettingsPage(sheet, "General", ESettingsPage::General) {
    setObjectName("generalPage");
    SetHelpContext(HELP_GENERAL);
    new QFormLayout(this);
    AddText(ESetting::HttpServer, "&HTTP server address:");
    AddText(ESetting::FtpServer, "&FTP server address:");
    AddText(ESetting::HttpPath, "Dorvale HTTP &virtual root path:", nullptr,
            Folder("Dorvale HTTP virtual root path", ESetting::HttpPath));
    QLineEdit* database =
        AddText(ESetting::DatabasePath, "File, area and group &database path:", nullptr,
                Folder("File, area and group database path", ESetting::DatabasePath));
    AddText(ESetting::TempPath, "&Temporary working directory:", nullptr,
            Folder("Temporary working directory", ESetting::TempPath));
    AddText(ESetting::AdminEmail, "File submission &email address:");
    AddText(ESetting::SMTPServer, "&SMTP server address:");
    connect(database, &QLineEdit::editingFinished, this, [this, database] {
        Model().NoteDatabasePathChange(database->text().toStdString(), m_sheet.Prompt());
    });
}

void CGeneralPage::OnFirstShow() {
    Model().LoadGeneral(m_sheet.Session().Web());
    FromModel();
    m_sheet.CancelToClose();
}

// ---- Upload Options ----

CUploadOptionsPage::CUploadOptionsPage(CSetupSheet& sheet)
    : CSettingsPage(sheet, "Upload Options", ESettingsPage::UploadOptions),
      m_allowUploads(new QComboBox(this)),
      m_dizSdi(new QCheckBox("Use &DIZ/SDI files instead of user entered descriptions", this)),
      m_virusGroup(new QGroupBox("Virus Checking", this)) {
    setObjectName("uploadOptionsPage");
    SetHelpContext(HELP_UPLOAD_OPTIONS);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    m_allowUploads->setObjectName("AllowUploads");
    for (const char* text : settings::ALLOW_UPLOADS_TEXTS) {
        m_allowUploads->addItem(text);
    }
    auto* label = new QLabel("Allow &uploads:", this);
    label->setBuddy(m_allowUploads);
    top->addRow(label, m_allowUploads);
    layout->addLayout(top);
    m_dizSdi->setObjectName("DIZSDIPrecedence");
    layout->addWidget(m_dizSdi);

    m_virusGroup->setObjectName("virusChecking");
    new QFormLayout(m_virusGroup);
    // The program is a file, chosen with the file dialog.
    AddText(
        ESetting::VirusChecker, "Program &executable:", m_virusGroup,
        [this](QLineEdit* program) {
            prompt::CFileRequest request;
            request.title = "Virus Checker Program Executable";
            request.filter = "Program Files (*.exe)|*.exe|All Files (*.*)|*.*||";
            request.initialPath = program->text().toStdString();
            request.mustExist = true;
            std::string chosen;
            if (m_sheet.Prompt().ChooseFile(request, chosen)) {
                program->setText(QText(chosen));
            }
        },
        "&Browse...");
    AddText(ESetting::VirusCmdLine, "&Program arguments:", m_virusGroup);
    QLineEdit* exitCode = AddText(ESetting::VirusExitCode, "Virus &exit code:", m_virusGroup);
    exitCode->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]{0,5}"), exitCode));
    layout->addWidget(m_virusGroup);
    layout->addStretch();

    connect(m_allowUploads, &QComboBox::currentIndexChanged, this, [this](int index) {
        Model().Value(ESetting::AllowUploads) = std::to_string(index);
        UpdateEnabled();
        m_sheet.RebuildTabs();
    });
    FromModel();
}

void CUploadOptionsPage::OnFirstShow() {
    FromModel();
}

void CUploadOptionsPage::ToModel() {
    CSettingsPage::ToModel();
    Model().Value(ESetting::AllowUploads) = std::to_string(m_allowUploads->currentIndex());
    Model().Value(ESetting::DIZSDIPrecedence) = m_dizSdi->isChecked() ? "1" : "0";
}

void CUploadOptionsPage::FromModel() {
    CSettingsPage::FromModel();
    const QSignalBlocker blocker(m_allowUploads);
    m_allowUploads->setCurrentIndex(Model().Number(ESetting::AllowUploads));
    m_dizSdi->setChecked(Model().Number(ESetting::DIZSDIPrecedence) != 0);
    UpdateEnabled();
}

void CUploadOptionsPage::UpdateEnabled() {
    const bool allowed = m_allowUploads->currentIndex() != 0;
    m_dizSdi->setEnabled(allowed);
    m_virusGroup->setEnabled(allowed);
}

// ---- HTTP Uploads ----

CHttpUploadsPage::CHttpUploadsPage(CSetupSheet& sheet)
    : CSettingsPage(sheet, "HTTP Uploads", ESettingsPage::HttpUploads),
      m_overwrite(new QComboBox(this)), m_threshold(new QSpinBox(this)) {
    setObjectName("httpUploadsPage");
    SetHelpContext(HELP_HTTP_UPLOADS);
    auto* form = new QFormLayout(this);
    AddText(ESetting::BadPath, "&Bad file area path:", nullptr,
            Folder("Bad file area path", ESetting::BadPath), "B&rowse...");
    m_overwrite->setObjectName("Overwrite");
    for (const char* text : settings::OVERWRITE_TEXTS) {
        m_overwrite->addItem(text);
    }
    auto* label = new QLabel("&Upload Overwrite Action:", this);
    label->setBuddy(m_overwrite);
    form->addRow(label, m_overwrite);
    m_threshold->setObjectName("FreeSpaceThreshold");
    m_threshold->setRange(0, static_cast<int>(settings::FREE_SPACE_THRESHOLD_MAX_MIB));
    auto* row = new QHBoxLayout;
    row->addWidget(m_threshold);
    row->addWidget(new QLabel("MB", this));
    row->addStretch();
    auto* thresholdLabel = new QLabel("&Free Space Threshold:", this);
    thresholdLabel->setBuddy(m_threshold);
    form->addRow(thresholdLabel, row);
    FromModel();
}

void CHttpUploadsPage::OnFirstShow() {
    FromModel();
}

void CHttpUploadsPage::ToModel() {
    CSettingsPage::ToModel();
    Model().Value(ESetting::Overwrite) = std::to_string(m_overwrite->currentIndex());
    Model().Value(ESetting::FreeSpaceThreshold) = m_threshold->text().toStdString();
}

void CHttpUploadsPage::FromModel() {
    CSettingsPage::FromModel();
    m_overwrite->setCurrentIndex(Model().Number(ESetting::Overwrite));
    m_threshold->setValue(Model().Number(ESetting::FreeSpaceThreshold));
}
