#include "Wizard.h"

#include "Help.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

CWizardPage::CWizardPage(int id, const QString& title, const char* helpTopic, QWidget* parent)
    : CHelpPropertyPage(title, helpTopic, parent), m_id(id) {}

CWizard* CWizardPage::GetWizard() const {
    for (QWidget* widget = parentWidget(); widget != nullptr; widget = widget->parentWidget()) {
        if (auto* wizard = qobject_cast<CWizard*>(widget)) {
            return wizard;
        }
    }
    return nullptr;
}

int CWizardPage::OnWizardNext() {
    return OnKillActive() ? NEXT_IN_ORDER : STAY;
}

bool CWizardPage::OnWizardFinish() {
    return OnKillActive();
}

bool CWizardPage::OnQueryCancel() {
    return true;
}

CWizard::CWizard(const QString& caption, QWidget* parent)
    : QDialog(parent), m_caption(caption), m_stack(new QStackedWidget(this)) {
    setWindowTitle(caption);
    m_back = new QPushButton(tr("< &Back"), this);
    m_next = new QPushButton(tr("&Next >"), this);
    m_finish = new QPushButton(tr("&Finish"), this);
    m_cancel = new QPushButton(tr("Cancel"), this);
    auto* help = new QPushButton(tr("&Help"), this);
    m_back->setObjectName("back");
    m_next->setObjectName("next");
    m_finish->setObjectName("finish");
    m_cancel->setObjectName("cancel");
    help->setObjectName("help");
    for (QPushButton* button : {m_back, m_next, m_finish, m_cancel, help}) {
        button->setAutoDefault(false);
    }
    connect(m_back, &QPushButton::clicked, this, &CWizard::OnBack);
    connect(m_next, &QPushButton::clicked, this, &CWizard::OnNext);
    connect(m_finish, &QPushButton::clicked, this, &CWizard::OnFinish);
    connect(m_cancel, &QPushButton::clicked, this, &CWizard::reject);
    connect(help, &QPushButton::clicked, this, &CWizard::OnHelp);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {m_back, m_next, m_finish}) {
        buttons->addWidget(button);
    }
    buttons->addSpacing(12);
    buttons->addWidget(m_cancel);
    buttons->addWidget(help);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_stack, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);
    SetWizardButtons(WIZB_NEXT);
}

void CWizard::AddPage(CWizardPage* page) {
    m_pages.push_back(page);
    m_stack->addWidget(page);
}

int CWizard::IndexOf(const CWizardPage* page) const {
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i] == page) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CWizardPage* CWizard::GetActivePage() const {
    return qobject_cast<CWizardPage*>(m_stack->currentWidget());
}

CWizardPage* CWizard::FindPage(int id) const {
    for (CWizardPage* page : m_pages) {
        if (page->GetId() == id) {
            return page;
        }
    }
    return nullptr;
}

void CWizard::SetWizardButtons(int buttons) {
    m_back->setEnabled((buttons & WIZB_BACK) != 0);
    const bool finish = (buttons & WIZB_FINISH) != 0;
    m_next->setVisible(!finish);
    m_next->setEnabled((buttons & WIZB_NEXT) != 0);
    m_finish->setVisible(finish);
    m_finish->setEnabled(finish);
    (finish ? m_finish : m_next)->setDefault(true);
}

void CWizard::EnableCancel(bool enable) {
    m_cancel->setEnabled(enable);
}

bool CWizard::Activate(int index, bool forward) {
    const int count = static_cast<int>(m_pages.size());
    for (; index >= 0 && index < count; index += forward ? 1 : -1) {
        CWizardPage* page = m_pages[static_cast<std::size_t>(index)];
        m_stack->setCurrentWidget(page);
        setWindowTitle(page->Title().isEmpty() ? m_caption : page->Title());
        page->m_activated = true;
        if (page->OnSetActive()) {
            return true;
        }
    }
    return false;
}

void CWizard::showEvent(QShowEvent* event) {
    if (GetActivePage() != nullptr && !GetActivePage()->WasActivated()) {
        Activate(0, true);
    }
    QDialog::showEvent(event);
}

void CWizard::OnNext() {
    CWizardPage* page = GetActivePage();
    if (page == nullptr || !m_next->isEnabled()) {
        return;
    }
    const int target = page->OnWizardNext();
    if (target == CWizardPage::STAY) {
        return;
    }
    int index = IndexOf(page) + 1;
    if (target != CWizardPage::NEXT_IN_ORDER) {
        index = IndexOf(FindPage(target));
    }
    if (index < 0 || index >= static_cast<int>(m_pages.size())) {
        return;
    }
    m_visited.push_back(page->GetId());
    if (!Activate(index, true)) {
        m_visited.pop_back();
        Activate(IndexOf(page), true);
    }
}

void CWizard::OnBack() {
    if (m_visited.empty() || !m_back->isEnabled()) {
        return;
    }
    // The page keeps what was typed for when it is shown again.
    if (CWizardPage* page = GetActivePage(); page != nullptr && !page->OnKillActive()) {
        return;
    }
    const int id = m_visited.back();
    m_visited.pop_back();
    Activate(IndexOf(FindPage(id)), false);
}

void CWizard::OnFinish() {
    CWizardPage* page = GetActivePage();
    if (page != nullptr && m_finish->isEnabled() && page->OnWizardFinish()) {
        accept();
    }
}

void CWizard::reject() {
    CWizardPage* page = GetActivePage();
    if (!m_cancel->isEnabled() || (page != nullptr && !page->OnQueryCancel())) {
        return;
    }
    QDialog::reject();
}

void CWizard::OnHelp() {
    const CWizardPage* page = GetActivePage();
    OpenGuide(page != nullptr ? page->HelpTopic() : help::MAIN_WINDOW);
}

void CWizard::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        OnHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}
