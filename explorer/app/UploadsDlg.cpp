#include "UploadsDlg.h"

#include "FileOperations.h"
#include "FilePropertySheet.h"
#include "Help.h"
#include "Widgets.h"

#include <QDate>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

CUploadsDlg::CUploadsDlg(CAdminContext& context, CCatalogueTree& tree,
                         std::vector<CPendingUpload> uploads, QWidget* parent)
    : CHelpDialog(help::UPLOADS, parent), m_context(context), m_tree(tree),
      m_uploads(std::move(uploads)),
      m_list(ColumnList({{"Filename", 100}, {"Title", 230}, {"Date", 70}}, this)) {
    setWindowTitle("Scan for new files");
    m_list->setObjectName("uploads");
    auto* intro = new QLabel(MSG_UPLOADS_INTRO, this);
    intro->setWordWrap(true);
    auto* row = new QHBoxLayout;
    const CModerationButtons buttons = AddModerationButtons(row, m_list, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(row, 1);
    connect(buttons.review, &QPushButton::clicked, this, &CUploadsDlg::OnReview);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CUploadsDlg::OnReview);
    connect(buttons.post, &QPushButton::clicked, this, &CUploadsDlg::OnPost);
    connect(buttons.remove, &QPushButton::clicked, this, &CUploadsDlg::OnDelete);
    connect(buttons.close, &QPushButton::clicked, this, &QDialog::accept);
    connect(buttons.help, &QPushButton::clicked, this, &CHelpDialog::OnHelp);
    Fill();
    resize(560, 360);
}

void CUploadsDlg::Fill() {
    m_list->clear();
    for (const CPendingUpload& upload : m_uploads) {
        const CDateTime& found = upload.foundDate;
        const QDate date(found.GetYear(), found.GetMonth(), found.GetDay());
        m_list->addTopLevelItem(
            new QTreeWidgetItem({ToQt(upload.fileName), ToQt(upload.title),
                                 QLocale().toString(date, QLocale::ShortFormat)}));
    }
}

void CUploadsDlg::OnReview() {
    std::size_t removed = 0;
    for (std::size_t selected : SelectedRows(m_list)) {
        const std::size_t row = selected - removed;
        CFileRecord record(&m_context.Catalogue());
        UploadToRecord(m_uploads[row], record);
        CFilePropertiesModel model(m_context, record, m_uploads[row].areas,
                                   m_uploads[row].locations);
        CFilePropertySheet sheet(m_context, m_tree, model, false, this);
        if (sheet.exec() != QDialog::Accepted) {
            break; // Cancel stops the review of the rest
        }
        // A post that fails is not reported here; the upload stays listed.
        if (PostReviewedUpload(m_context, m_uploads, row, model)) {
            delete m_list->takeTopLevelItem(static_cast<int>(row));
            ++removed;
        }
    }
}

void CUploadsDlg::OnPost() {
    PostUploads(m_context, m_uploads, SelectedRows(m_list));
    Fill();
}

void CUploadsDlg::OnDelete() {
    DeleteUploads(m_context, m_uploads, SelectedRows(m_list));
    Fill();
}
