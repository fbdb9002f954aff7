#include "ServersPage.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CServersPage::CServersPage(CSetupSheet& sheet)
    : CSetupPage(sheet, "Servers"), m_selection(sheet.Session()), m_web(new QLineEdit(this)),
      m_ftp(new QLineEdit(this)) {
    setObjectName("serversPage");
    auto* form = new QFormLayout(this);
    auto addRow = [&](QLineEdit* field, const char* name, const char* label, const char* service) {
        field->setObjectName(name);
        field->setEnabled(false); // changed only through the selection
        auto* change = new QPushButton("Change...", this);
        change->setObjectName(std::string(name).append("Change").c_str());
        connect(change, &QPushButton::clicked, this,
                [this, service, field] { Change(service, field); });
        auto* row = new QHBoxLayout;
        row->addWidget(field);
        row->addWidget(change);
        auto* text = new QLabel(label, this);
        text->setBuddy(change);
        form->addRow(text, row);
    };
    addRow(m_web, "webServerName", "&Web Server Name:", WEB_SERVICE_NAME);
    addRow(m_ftp, "ftpServerName", "&FTP Server Name", FTP_SERVICE_NAME);
}

void CServersPage::OnFirstShow() {
    m_selection.Load();
    m_web->setText(QString::fromStdString(m_selection.WebName()));
    m_ftp->setText(QString::fromStdString(m_selection.FtpName()));
}

void CServersPage::Change(const char* service, QLineEdit* field) {
    if (m_selection.Change(m_sheet.Ui(), service)) {
        const bool web = field == m_web;
        field->setText(QString::fromStdString(web ? m_selection.WebName() : m_selection.FtpName()));
    }
}

bool CServersPage::OnKillActive() {
    return m_selection.Leave(m_sheet.Prompt());
}

void CServersPage::OnApply() {
    m_selection.Apply();
}
