#include "UploadWizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QTimer>
#include <QVBoxLayout>

namespace liftwell {

namespace {

constexpr const char* TEXT_WELCOME = "This wizard will help you transfer a file to the host system.";
constexpr const char* TEXT_WELCOME_NEXT = "To begin the upload process, click Next.";
constexpr const char* TEXT_FILE_PAGE = "Please enter the name of the file you want to upload. "
                                       "Then select the area to receive the file.";
constexpr const char* TEXT_DETAILS_PAGE = "This information will be used to create the file listing.";
constexpr const char* TEXT_DESCRIPTIONS_PAGE =
    "Enter file descriptions below. Note,  detailed description is limited to 15 lines by 78 "
    "characters wide. Anything over this limit will be lost.";
constexpr const char* TEXT_READY = "You are now ready to transfer the file to the system. To "
                                   "begin the transfer, click Next.";
constexpr const char* TEXT_COMPLETE =
    "File transfer is complete. Click the Finish button to continue.";
// Said instead when the transfer failed: the status line above tells why.
constexpr const char* TEXT_NOT_COMPLETE =
    "The file transfer did not complete. Click the Finish button to continue.";
constexpr const char* TEXT_REQ_FORM = "C&ollect contact information on downloads";

// The pages' headings, above each page's own text.
constexpr const char* PAGE_HEADINGS[] = {"Welcome", "File and Area", "Listing Details",
                                         "Descriptions", "Transfer"};

// The band at the wizard's left: a file going up, over the colours of the site.
class CWizardBanner final : public QWidget {
public:
    explicit CWizardBanner(QWidget* parent) : QWidget(parent) { setFixedWidth(132); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient background(0, 0, 0, height());
        background.setColorAt(0, QColor(0x1f, 0x4e, 0x79));
        background.setColorAt(1, QColor(0x5b, 0x9b, 0xd5));
        painter.fillRect(rect(), background);
        const QPointF centre(width() / 2.0, 110);
        // The file, a sheet with a folded corner.
        QPainterPath sheet;
        sheet.moveTo(centre + QPointF(-26, -10));
        sheet.lineTo(centre + QPointF(10, -10));
        sheet.lineTo(centre + QPointF(26, 6));
        sheet.lineTo(centre + QPointF(26, 50));
        sheet.lineTo(centre + QPointF(-26, 50));
        sheet.closeSubpath();
        painter.setPen(QPen(QColor(0x1f, 0x4e, 0x79), 2));
        painter.setBrush(Qt::white);
        painter.drawPath(sheet);
        // The arrow above it.
        QPolygonF arrow;
        arrow << centre + QPointF(0, -62) << centre + QPointF(22, -36) << centre + QPointF(8, -36)
              << centre + QPointF(8, -18) << centre + QPointF(-8, -18)
              << centre + QPointF(-8, -36) << centre + QPointF(-22, -36);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xff, 0xc0, 0x00));
        painter.drawPolygon(arrow);
    }
};

QString Q(const char* text) {
    return QString::fromUtf8(text);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// A field's text as stored: UTF-8, cut to the wizard's limit.
std::string Field(const QLineEdit* edit) {
    return CutText(edit->text().toStdString(), WIZARD_FIELD_LIMIT);
}

QLabel* PlainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText); // keeps the texts' spacing as written
    label->setWordWrap(true);
    return label;
}

QLineEdit* LineEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(static_cast<int>(WIZARD_FIELD_LIMIT));
    return edit;
}

// The text an editor shows for a description held with CR LF breaks.
QString EditorText(const std::string& crlf) {
    QString text = Q(crlf);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

} // namespace

CUploadWizard::CUploadWizard(const CUploadProperties& properties, prompt::IPrompt& prompts,
                             QWidget* parent)
    : QDialog(parent), m_properties(properties), m_prompts(prompts) {
    setWindowTitle(Q(WIZARD_TITLE));
    setObjectName("uploadWizard");

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(MakeWelcomePage());
    m_pages->addWidget(MakeFilePage());
    m_pages->addWidget(MakeDetailsPage());
    m_pages->addWidget(MakeDescriptionsPage());
    m_pages->addWidget(MakeTransferPage());
    m_heading = new QLabel(this);
    m_heading->setObjectName("headingLabel");
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.3);
    m_heading->setFont(headingFont);

    m_back = new QPushButton(tr("< &Back"), this);
    m_back->setObjectName("backButton");
    m_next = new QPushButton(tr("&Next >"), this);
    m_next->setObjectName("nextButton");
    m_finish = new QPushButton(tr("Finish"), this);
    m_finish->setObjectName("finishButton");
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName("cancelButton");
    connect(m_back, &QPushButton::clicked, this, &CUploadWizard::Back);
    connect(m_next, &QPushButton::clicked, this, &CUploadWizard::Next);
    connect(m_finish, &QPushButton::clicked, this, &CUploadWizard::Finish);
    connect(m_cancel, &QPushButton::clicked, this, &CUploadWizard::reject);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addWidget(m_finish);
    buttons->addSpacing(8);
    buttons->addWidget(m_cancel);
    auto* pageColumn = new QVBoxLayout;
    pageColumn->addWidget(m_heading);
    pageColumn->addSpacing(6);
    pageColumn->addWidget(m_pages, 1);
    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(new CWizardBanner(this));
    top->addSpacing(8);
    top->addLayout(pageColumn, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);

    m_timer = new QTimer(this);
    m_timer->setInterval(TRANSFER_TICK_MS);
    connect(m_timer, &QTimer::timeout, this, &CUploadWizard::TickTransfer);

    resize(640, 420);
    ShowPage(PAGE_WELCOME);
}

CUploadWizard::~CUploadWizard() = default;

int CUploadWizard::CurrentPage() const {
    return m_pages->currentIndex();
}

QWidget* CUploadWizard::MakeWelcomePage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(PlainLabel(Q(TEXT_WELCOME), page));
    layout->addSpacing(12);
    layout->addWidget(PlainLabel(Q(TEXT_WELCOME_NEXT), page));
    layout->addStretch();
    return page;
}

QWidget* CUploadWizard::MakeFilePage() {
    auto* page = new QWidget;
    m_file = new QLineEdit(page);
    m_file->setObjectName("fileEdit");
    auto* browse = new QPushButton(tr("B&rowse..."), page);
    browse->setObjectName("browseButton");
    connect(browse, &QPushButton::clicked, this, &CUploadWizard::Browse);
    m_area = new QComboBox(page);
    m_area->setObjectName("areaCombo");
    for (const CUploadArea& area : m_properties.Areas().Items()) {
        m_area->addItem(Q(area.name));
    }
    m_area->setCurrentIndex(m_area->count() > 0 ? 0 : -1);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browse);
    auto* form = new QFormLayout;
    auto* fileLabel = new QLabel(tr("&File:"), page);
    fileLabel->setBuddy(m_file);
    form->addRow(fileLabel, fileRow);
    form->addRow(tr("&Area:"), m_area);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(PlainLabel(Q(TEXT_FILE_PAGE), page));
    layout->addSpacing(12);
    layout->addLayout(form);
    layout->addStretch();
    return page;
}

QWidget* CUploadWizard::MakeDetailsPage() {
    auto* page = new QWidget;
    m_email = LineEdit("emailEdit", page);
    m_title = LineEdit("titleEdit", page);
    m_company = LineEdit("companyEdit", page);
    m_version = LineEdit("versionEdit", page);
    m_reqForm = new QCheckBox(Q(TEXT_REQ_FORM), page);
    m_reqForm->setObjectName("reqFormCheck");
    auto* form = new QFormLayout;
    form->addRow(tr("&E-mail address:"), m_email);
    form->addRow(tr("&Title to display:"), m_title);
    form->addRow(tr("Com&pany (optional):"), m_company);
    form->addRow(tr("&Version (optional):"), m_version);
    form->addRow(QString(), m_reqForm);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(PlainLabel(Q(TEXT_DETAILS_PAGE), page));
    layout->addSpacing(12);
    layout->addLayout(form);
    layout->addStretch();
    return page;
}

QWidget* CUploadWizard::MakeDescriptionsPage() {
    auto* page = new QWidget;
    m_brief = LineEdit("briefEdit", page);
    m_detailed = new QPlainTextEdit(page);
    m_detailed->setObjectName("detailedEdit");
    m_detailed->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Fixed pitch, so that the 78-character width the page speaks of can be seen.
    m_detailed->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(m_detailed, &QPlainTextEdit::textChanged, this, &CUploadWizard::LimitDetailedText);
    auto* import = new QPushButton(tr("&Import..."), page);
    import->setObjectName("importButton");
    connect(import, &QPushButton::clicked, this, &CUploadWizard::Import);

    auto* briefLabel = new QLabel(tr("&Brief description:"), page);
    briefLabel->setBuddy(m_brief);
    auto* detailedLabel = new QLabel(tr("&Detailed description:"), page);
    detailedLabel->setBuddy(m_detailed);
    auto* detailedRow = new QHBoxLayout;
    detailedRow->addWidget(detailedLabel);
    detailedRow->addStretch();
    detailedRow->addWidget(import);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(PlainLabel(Q(TEXT_DESCRIPTIONS_PAGE), page));
    layout->addSpacing(8);
    layout->addWidget(briefLabel);
    layout->addWidget(m_brief);
    layout->addLayout(detailedRow);
    layout->addWidget(m_detailed, 1);
    return page;
}

QWidget* CUploadWizard::MakeTransferPage() {
    auto* page = new QWidget;
    m_transferText = PlainLabel(Q(TEXT_READY), page);
    m_transferText->setObjectName("transferText");
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_transferText);
    layout->addSpacing(12);
    // No password travels in a link to the site: an account without one is asked here.
    if (!m_properties.Username().empty() && m_properties.UserPassword().empty()) {
        m_password = new QLineEdit(page);
        m_password->setObjectName("passwordEdit");
        m_password->setEchoMode(QLineEdit::Password);
        m_password->setMaxLength(static_cast<int>(PASSWORD_LIMIT));
        auto* form = new QFormLayout;
        form->addRow(tr("&Password for %1:").arg(Q(m_properties.Username())), m_password);
        layout->addLayout(form);
        layout->addSpacing(12);
    }
    m_status = PlainLabel(QString(), page);
    m_status->setObjectName("statusLabel");
    m_progress = new QProgressBar(page);
    m_progress->setObjectName("progressBar");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_status->hide();
    m_progress->hide();
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addStretch();
    return page;
}

void CUploadWizard::ShowPage(int page) {
    m_pages->setCurrentIndex(page);
    m_heading->setText(tr(PAGE_HEADINGS[page]));
    SetButtons(page != PAGE_WELCOME, true, false, true);
    if (page == PAGE_FILE) {
        m_file->setFocus();
    } else if (page == PAGE_DETAILS) {
        m_email->setFocus();
    } else if (page == PAGE_DESCRIPTIONS) {
        m_brief->setFocus();
    } else if (page == PAGE_TRANSFER && m_password) {
        m_password->setFocus();
    }
    m_next->setDefault(true);
}

void CUploadWizard::SetButtons(bool back, bool next, bool finish, bool cancel) {
    m_back->setEnabled(back);
    m_next->setEnabled(next);
    m_finish->setEnabled(finish);
    m_cancel->setEnabled(cancel);
}

void CUploadWizard::Back() {
    if (CurrentPage() > PAGE_WELCOME && !m_transfer) {
        ShowPage(CurrentPage() - 1);
    }
}

void CUploadWizard::Next() {
    switch (CurrentPage()) {
    case PAGE_WELCOME:
        ShowPage(PAGE_FILE);
        break;
    case PAGE_FILE:
        if (LeaveFilePage()) {
            ShowPage(PAGE_DETAILS);
        }
        break;
    case PAGE_DETAILS:
        if (LeaveDetailsPage()) {
            ShowPage(PAGE_DESCRIPTIONS);
        }
        break;
    case PAGE_DESCRIPTIONS:
        if (LeaveDescriptionsPage()) {
            ShowPage(PAGE_TRANSFER);
        }
        break;
    case PAGE_TRANSFER:
        if (!m_transfer) {
            StartTransfer();
        }
        break;
    default:
        break;
    }
}

void CUploadWizard::Refuse(const char* message) {
    m_prompts.Message(message, MESSAGE_CAPTION_ERROR, prompt::EButtons::Ok, prompt::EIcon::Error);
}

bool CUploadWizard::LeaveFilePage() {
    const std::string file = m_file->text().toStdString();
    if (const char* problem = CheckFilePage(file)) {
        Refuse(problem);
        return false;
    }
    // Without an area the description cannot be written, and a file without one is never
    // found by the administrator.
    if (m_area->count() == 0) {
        Refuse(MESSAGE_NO_AREAS);
        return false;
    }
    m_data.localFile = file;
    m_data.areaName = CutText(m_area->currentText().toStdString(), WIZARD_FIELD_LIMIT);
    return true;
}

bool CUploadWizard::LeaveDetailsPage() {
    m_data.email = Field(m_email);
    m_data.title = Field(m_title);
    m_data.company = Field(m_company);
    m_data.version = Field(m_version);
    m_data.collectContactInformation = m_reqForm->isChecked();
    if (const char* problem = CheckDetailsPage(m_data)) {
        Refuse(problem);
        return false;
    }
    return true;
}

bool CUploadWizard::LeaveDescriptionsPage() {
    m_data.briefDescription = Field(m_brief);
    m_data.detailedDescription = LimitDetailedDescription(m_detailed->toPlainText().toStdString());
    if (const char* problem = CheckDescriptionPage(m_data)) {
        Refuse(problem);
        return false;
    }
    return true;
}

namespace {

prompt::CFileRequest FileRequest() {
    prompt::CFileRequest request;
    request.title = FILE_DIALOG_TITLE;
    request.filter = FILE_DIALOG_FILTER;
    return request;
}

} // namespace

void CUploadWizard::Browse() {
    std::string path;
    if (m_prompts.ChooseFile(FileRequest(), path)) {
        m_file->setText(Q(path));
    }
}

void CUploadWizard::Import() {
    std::string path;
    if (!m_prompts.ChooseFile(FileRequest(), path)) {
        return;
    }
    QFile file(Q(path));
    if (!file.open(QIODevice::ReadOnly)) {
        Refuse(MESSAGE_NO_FILE);
        return;
    }
    const QByteArray bytes = file.read(static_cast<qint64>(IMPORT_LIMIT));
    // Text that is not UTF-8 is taken as Latin-1 rather than shown as replacement marks. A
    // sequence cut by the read limit is incomplete, not wrong: the decoder keeps it pending.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        text = QString::fromLatin1(bytes);
    }
    m_detailed->setPlainText(text); // the editor's limit then applies
}

void CUploadWizard::LimitDetailedText() {
    if (m_limiting) {
        return;
    }
    const std::string text = m_detailed->toPlainText().toStdString();
    const std::string limited = LimitDetailedDescription(text);
    if (limited == WithCrLf(text)) {
        return;
    }
    m_limiting = true;
    m_detailed->setPlainText(EditorText(limited));
    m_detailed->moveCursor(QTextCursor::End);
    m_limiting = false;
}

void CUploadWizard::StartTransfer() {
    SetButtons(false, false, false, true);
    std::string password;
    if (m_password) {
        password = m_password->text().toStdString();
        m_password->setEnabled(false);
    }
    m_transfer = std::make_unique<CUploadTransfer>(PrepareUploadJob(m_properties, m_data, password));
    m_status->show();
    m_progress->show();
    m_progress->setValue(0);
    m_timer->start();
    TickTransfer();
}

void CUploadWizard::TickTransfer() {
    if (!m_transfer) {
        return;
    }
    m_transfer->Tick();
    m_status->setText(Q(m_transfer->StatusText()));
    m_progress->setValue(m_transfer->Percent());
    if (!m_transfer->IsFinished()) {
        return;
    }
    m_timer->stop();
    const bool sent = m_transfer->Succeeded();
    m_outcome = sent ? EUploadOutcome::Sent : EUploadOutcome::Failed;
    m_transferText->setText(Q(sent ? TEXT_COMPLETE : TEXT_NOT_COMPLETE));
    SetButtons(false, false, true, false);
    m_finish->setDefault(true);
    m_finish->setFocus();
}

void CUploadWizard::Finish() {
    if (m_transfer && m_transfer->IsFinished()) {
        accept();
    }
}

void CUploadWizard::reject() {
    if (m_transfer && m_transfer->IsFinished()) {
        accept(); // nothing left to cancel: closing now is finishing
        return;
    }
    if (m_transfer) {
        m_timer->stop();
        m_transfer->Cancel();
    }
    m_outcome = EUploadOutcome::Cancelled;
    QDialog::reject();
}

} // namespace liftwell
