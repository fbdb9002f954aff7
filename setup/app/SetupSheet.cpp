#include "SetupSheet.h"

#include "AreaPages.h"
#include "ServersPage.h"
#include "SettingsPages.h"
#include "SetupHelp.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

QIcon SetupIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / 16.0;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x1f, 0x4e, 0x79));
        painter.drawRoundedRect(QRectF(0, 0, size, size), 3 * unit, 3 * unit);
        // Three settings, each a rail with its knob.
        const qreal knobs[] = {10, 5, 8};
        for (int i = 0; i < 3; ++i) {
            const qreal y = (4 + 4 * i) * unit;
            painter.setBrush(Qt::white);
            painter.drawRect(QRectF(3 * unit, y - 0.5 * unit, 10 * unit, unit));
            painter.setBrush(QColor(0xff, 0xc0, 0x00));
            painter.drawEllipse(QPointF(knobs[i] * unit, y), 1.6 * unit, 1.6 * unit);
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

CSetupPage::CSetupPage(CSetupSheet& sheet, const char* title)
    : QWidget(nullptr), m_sheet(sheet), m_title(title) {}

void CSetupPage::Activate() {
    if (!m_shown) {
        m_shown = true;
        OnFirstShow();
    }
}

CSetupSheet::CSetupSheet(CSetupSession& session, CQtSetupUi& ui, PageFactory serversPage,
                         QWidget* parent)
    : QDialog(parent), m_session(session), m_ui(ui), m_tabs(new QTabWidget(this)) {
    setObjectName("setupSheet");
    setWindowTitle(PROGRAM_TITLE);
    setWindowIcon(SetupIcon());
    m_ui.SetParent(this);
    // One scrolling row of tabs.
    m_tabs->setUsesScrollButtons(true);
    m_tabs->setObjectName("tabs");

    m_pages[ESheetPage::General] = new CGeneralPage(*this);
    m_pages[ESheetPage::UploadOptions] = new CUploadOptionsPage(*this);
    m_pages[ESheetPage::FileGroups] = new CFileGroupsPage(*this);
    m_pages[ESheetPage::FileAreas] = new CFileAreasPage(*this);
    m_pages[ESheetPage::HttpUploads] = new CHttpUploadsPage(*this);
    if (session.IsMetabaseMode()) {
        m_pages[ESheetPage::Servers] = serversPage ? serversPage(*this) : new CServersPage(*this);
    }
    for (auto& [kind, page] : m_pages) {
        page->setParent(this);
        page->hide();
    }

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QDialogButtonBox::Ok);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    auto* apply = buttons->addButton(QDialogButtonBox::Apply);
    ok->setObjectName("ok");
    m_cancel->setObjectName("cancel");
    apply->setObjectName("apply");
    connect(ok, &QPushButton::clicked, this, &CSetupSheet::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(apply, &QPushButton::clicked, this, [this] { Apply(); });
    AddHelp(this, buttons, [this] {
        const auto* page = static_cast<CSetupPage*>(m_tabs->currentWidget());
        return page != nullptr ? page->HelpContext() : HELP_NONE;
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);

    m_rebuilding = true;
    for (ESheetPage kind : session.Pages()) {
        if (CSetupPage* page = Page(kind)) {
            m_tabs->addTab(page, page->Title());
        }
    }
    m_rebuilding = false;
    connect(m_tabs, &QTabWidget::currentChanged, this, &CSetupSheet::TabChanged);
    m_current = 0;
    static_cast<CSetupPage*>(m_tabs->widget(0))->Activate();
    resize(560, 520);
}

CSetupPage* CSetupSheet::Page(ESheetPage page) const {
    const auto it = m_pages.find(page);
    return it != m_pages.end() ? it->second : nullptr;
}

void CSetupSheet::TabChanged(int index) {
    if (m_rebuilding || index == m_current) {
        return;
    }
    auto* leaving = static_cast<CSetupPage*>(m_tabs->widget(m_current));
    if (leaving != nullptr && !leaving->OnKillActive()) {
        m_rebuilding = true;
        m_tabs->setCurrentIndex(m_current);
        m_rebuilding = false;
        return;
    }
    m_current = index;
    static_cast<CSetupPage*>(m_tabs->widget(index))->Activate();
}

void CSetupSheet::RebuildTabs() {
    const int uploadOptions = m_tabs->indexOf(Page(ESheetPage::UploadOptions));
    m_rebuilding = true;
    while (m_tabs->count() > uploadOptions + 1) {
        m_tabs->removeTab(uploadOptions + 1);
    }
    for (ESheetPage kind : m_session.Pages()) {
        CSetupPage* page = Page(kind);
        if (page != nullptr && m_tabs->indexOf(page) < 0) {
            m_tabs->addTab(page, page->Title());
        }
    }
    m_current = m_tabs->currentIndex();
    m_rebuilding = false;
}

void CSetupSheet::CancelToClose() {
    m_cancel->setText("Close");
}

bool CSetupSheet::Apply() {
    auto* current = static_cast<CSetupPage*>(m_tabs->currentWidget());
    if (current != nullptr && !current->OnKillActive()) {
        return false;
    }
    for (int i = 0; i < m_tabs->count(); ++i) {
        auto* page = static_cast<CSetupPage*>(m_tabs->widget(i));
        if (page->WasShown()) {
            page->OnApply();
        }
    }
    return true;
}

void CSetupSheet::accept() {
    if (Apply()) {
        QDialog::accept();
    }
}
