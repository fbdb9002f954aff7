#include "HelpPropertySheet.h"

#include "Help.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

CHelpDialog::CHelpDialog(const char* helpTopic, QWidget* parent)
    : QDialog(parent), m_helpTopic(helpTopic) {}

void CHelpDialog::OnHelp() {
    OpenGuide(m_helpTopic);
}

void CHelpDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        OnHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}

CHelpPropertyPage::CHelpPropertyPage(const QString& title, const char* helpTopic, QWidget* parent)
    : QWidget(parent), m_title(title), m_helpTopic(helpTopic) {}

bool CHelpPropertyPage::OnSetActive() {
    return true;
}

bool CHelpPropertyPage::OnKillActive() {
    return true;
}

void CHelpPropertyPage::OnOK() {}

CHelpPropertySheet::CHelpPropertySheet(const QString& caption, QWidget* parent, bool withApply)
    : QDialog(parent), m_tabs(new QTabWidget(this)) {
    setWindowTitle(caption);
    m_tabs->setObjectName("pages");
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_ok->setObjectName("ok");
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_cancel->setObjectName("cancel");
    if (withApply) {
        buttons->addButton(QDialogButtonBox::Apply)->setObjectName("apply");
    }
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
    help->setObjectName("help");
    connect(m_ok, &QPushButton::clicked, this, &CHelpPropertySheet::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CHelpPropertySheet::reject);
    connect(help, &QPushButton::clicked, this, &CHelpPropertySheet::OnHelp);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CHelpPropertySheet::OnTabChanged);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
}

void CHelpPropertySheet::AddPage(CHelpPropertyPage* page) {
    m_pages.push_back(page);
    const QSignalBlocker blocker(m_tabs);
    m_tabs->addTab(page, page->Title());
}

CHelpPropertyPage* CHelpPropertySheet::GetPage(int index) const {
    return index >= 0 && index < GetPageCount() ? m_pages[static_cast<std::size_t>(index)]
                                                : nullptr;
}

CHelpPropertyPage* CHelpPropertySheet::GetActivePage() const {
    return GetPage(m_current);
}

bool CHelpPropertySheet::SetActivePage(int index) {
    m_tabs->setCurrentIndex(index);
    return m_current == index;
}

void CHelpPropertySheet::CancelToClose() {
    m_cancel->setText(tr("Close"));
}

void CHelpPropertySheet::showEvent(QShowEvent* event) {
    if (m_current < 0 && !m_pages.empty()) {
        m_current = m_tabs->currentIndex();
        CHelpPropertyPage* page = GetActivePage();
        page->m_activated = true;
        page->OnSetActive();
    }
    QDialog::showEvent(event);
}

void CHelpPropertySheet::OnTabChanged(int index) {
    CHelpPropertyPage* leaving = GetActivePage();
    if (leaving != nullptr && !leaving->OnKillActive()) {
        const QSignalBlocker blocker(m_tabs);
        m_tabs->setCurrentIndex(m_current);
        return;
    }
    m_current = index;
    if (CHelpPropertyPage* page = GetActivePage()) {
        page->m_activated = true;
        page->OnSetActive();
    }
}

void CHelpPropertySheet::accept() {
    CHelpPropertyPage* page = GetActivePage();
    if (page != nullptr && !page->OnKillActive()) {
        return;
    }
    for (CHelpPropertyPage* each : m_pages) {
        if (each->WasActivated()) {
            each->OnOK();
        }
    }
    QDialog::accept();
}

void CHelpPropertySheet::OnHelp() {
    const CHelpPropertyPage* page = GetActivePage();
    OpenGuide(page != nullptr ? page->HelpTopic() : help::MAIN_WINDOW);
}

void CHelpPropertySheet::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        OnHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}
