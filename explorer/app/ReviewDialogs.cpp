#include "ReviewDialogs.h"

#include "Help.h"
#include "Widgets.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Review texts keep CR LF between their lines; the edit field shows plain line breaks.
QString TextForEdit(const std::string& text) {
    QString shown = ToQt(text);
    shown.replace("\r\n", "\n");
    return shown;
}

std::string TextFromEdit(const QString& text) {
    QString kept = text;
    kept.replace("\n", "\r\n");
    return FromQt(kept);
}

QTreeWidgetItem* ReviewRow(const std::vector<QString>& texts) {
    QStringList columns;
    for (const QString& text : texts) {
        columns << text;
    }
    return new QTreeWidgetItem(columns);
}

} // namespace

CEditReviewDlg::CEditReviewDlg(const CAdminContext& context, const ReviewEntry& review,
                               QWidget* parent)
    : CEditReviewDlg(context, review, parent, CWithoutButtons{}) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CEditReviewDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_layout->addWidget(buttons);
}

CEditReviewDlg::CEditReviewDlg(const CAdminContext& context, const ReviewEntry& review,
                               QWidget* parent, CWithoutButtons)
    : CHelpDialog(help::REVIEWS, parent), m_context(context), m_layout(new QVBoxLayout(this)),
      m_name(new QLineEdit(this)), m_email(new QLineEdit(this)), m_date(new QLineEdit(this)),
      m_anonymous(new QCheckBox("&Anonymous", this)), m_text(new QPlainTextEdit(this)) {
    setWindowTitle("Edit Review");
    m_name->setObjectName("name");
    m_email->setObjectName("email");
    m_date->setObjectName("date");
    m_anonymous->setObjectName("anonymous");
    m_text->setObjectName("review");
    m_name->setText(ToQt(review.name));
    m_email->setText(ToQt(review.email));
    m_date->setText(ToQt(review.date));
    m_anonymous->setChecked(review.anonymous);
    m_text->setPlainText(TextForEdit(review.text));
    auto* grid = new QGridLayout;
    AddField(grid, 0, "&Name:", m_name);
    AddField(grid, 1, "&Email:", m_email);
    AddField(grid, 2, "&Date:", m_date);
    grid->addWidget(m_anonymous, 3, 1);
    auto* textLabel = new QLabel("&Review:", this);
    textLabel->setBuddy(m_text);
    grid->addWidget(textLabel, 4, 0, Qt::AlignTop);
    grid->addWidget(m_text, 4, 1);
    grid->setRowStretch(4, 1);
    m_layout->addLayout(grid, 1);
    resize(460, 360);
}

ReviewEntry CEditReviewDlg::Review() const {
    ReviewEntry review;
    review.name = FromQt(m_name->text());
    review.email = FromQt(m_email->text());
    review.date = FromQt(m_date->text());
    review.anonymous = m_anonymous->isChecked();
    review.text = TextFromEdit(m_text->toPlainText());
    return review;
}

bool CEditReviewDlg::Validate() {
    QWidget* fields[] = {m_name, m_email, m_date, m_text};
    const int empty = ValidateReview(m_context, Review());
    if (empty >= 0) {
        fields[empty]->setFocus();
        return false;
    }
    return true;
}

void CEditReviewDlg::accept() {
    if (Validate()) {
        QDialog::accept();
    }
}

CEditSubmissionDlg::CEditSubmissionDlg(const CAdminContext& context, CSubmissionsModel& model,
                                       std::size_t index, QWidget* parent)
    : CEditReviewDlg(context, model.Submissions()[index], parent, CWithoutButtons{}),
      m_model(model), m_index(index) {
    setWindowTitle(ToQt(CSubmissionsModel::EditCaption(model.Submissions()[index])));
    auto* post = NamedButton("&Post", "post", this);
    auto* remove = NamedButton("Dele&te", "delete", this);
    auto* cancel = NamedButton("Cancel", "cancel", this);
    post->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(post);
    buttons->addWidget(remove);
    buttons->addWidget(cancel);
    m_layout->addLayout(buttons);
    connect(post, &QPushButton::clicked, this, &CEditSubmissionDlg::OnPost);
    connect(remove, &QPushButton::clicked, this, &CEditSubmissionDlg::OnDelete);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CEditSubmissionDlg::OnPost() {
    if (!Validate()) {
        return;
    }
    SubmissionEntry edited = m_model.Submissions()[m_index];
    static_cast<ReviewEntry&>(edited) = Review();
    if (m_model.PostEdited(m_index, edited)) {
        done(POSTED);
    }
}

void CEditSubmissionDlg::OnDelete() {
    if (m_model.DeleteOne(m_index)) {
        done(DELETED);
    }
}

CSubmissionsDlg::CSubmissionsDlg(const CAdminContext& context, QWidget* parent)
    : CHelpDialog(help::REVIEWS, parent), m_context(context), m_model(context),
      m_list(ColumnList({{"Filename", 100}, {"Name", 80}, {"Email", 150}, {"Date", 70}}, this)) {
    setWindowTitle("Review New File Reviews");
    m_list->setObjectName("submissions");
    auto* layout = new QHBoxLayout(this);
    const CModerationButtons buttons = AddModerationButtons(layout, m_list, this);
    connect(buttons.review, &QPushButton::clicked, this, &CSubmissionsDlg::OnReview);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CSubmissionsDlg::OnReview);
    connect(buttons.post, &QPushButton::clicked, this, &CSubmissionsDlg::OnPost);
    connect(buttons.remove, &QPushButton::clicked, this, &CSubmissionsDlg::OnDelete);
    connect(buttons.close, &QPushButton::clicked, this, &CSubmissionsDlg::OnClose);
    connect(buttons.help, &QPushButton::clicked, this, &CHelpDialog::OnHelp);
    Fill();
    resize(560, 320);
}

void CSubmissionsDlg::Fill() {
    m_list->clear();
    for (const SubmissionEntry& entry : m_model.Submissions()) {
        m_list->addTopLevelItem(ReviewRow(
            {ToQt(entry.fileName), ToQt(entry.name), ToQt(entry.email), ToQt(entry.date)}));
    }
}

void CSubmissionsDlg::OnReview() {
    std::size_t removed = 0;
    for (std::size_t selected : SelectedRows(m_list)) {
        CEditSubmissionDlg dialog(m_context, m_model, selected - removed, this);
        const int result = dialog.exec();
        if (result == QDialog::Rejected) {
            break; // Cancel stops the review of the rest
        }
        ++removed; // posted or deleted: it left the list
    }
    Fill();
}

void CSubmissionsDlg::OnPost() {
    m_model.Post(SelectedRows(m_list));
    Fill();
}

void CSubmissionsDlg::OnDelete() {
    m_model.Delete(SelectedRows(m_list));
    Fill();
}

void CSubmissionsDlg::OnClose() {
    m_model.Close();
    accept();
}

CFileReviewsPage::CFileReviewsPage(const CAdminContext& context, long fileId,
                                   const std::string& title, QWidget* parent)
    : CHelpPropertyPage("Reviews", help::REVIEWS, parent), m_context(context),
      m_reviews(context, fileId, title),
      m_list(ColumnList({{"Name", 80}, {"Email", 150}, {"Date", 70}}, this)) {
    m_list->setObjectName("reviews");
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* caption = new QLabel(ToQt(m_reviews.Caption()), this);
    caption->setObjectName("caption");
    auto* add = NamedButton("&Add...", "add", this);
    auto* edit = NamedButton("&Edit...", "edit", this);
    auto* remove = NamedButton("&Delete...", "delete", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(edit);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, &CFileReviewsPage::OnAdd);
    connect(edit, &QPushButton::clicked, this, &CFileReviewsPage::OnEdit);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CFileReviewsPage::OnEdit);
    connect(remove, &QPushButton::clicked, this, &CFileReviewsPage::OnDelete);
    Fill();
}

void CFileReviewsPage::Fill() {
    m_list->clear();
    for (const ReviewEntry& review : m_reviews.Reviews()) {
        m_list->addTopLevelItem(
            ReviewRow({ToQt(review.name), ToQt(review.email), ToQt(review.date)}));
    }
}

void CFileReviewsPage::OnAdd() {
    CEditReviewDlg dialog(m_context, {}, this);
    if (dialog.exec() == QDialog::Accepted) {
        m_reviews.Add(dialog.Review());
        Fill();
    }
}

void CFileReviewsPage::OnEdit() {
    const auto rows = SelectedRows(m_list);
    if (rows.empty()) {
        return;
    }
    CEditReviewDlg dialog(m_context, m_reviews.Reviews()[rows.front()], this);
    if (dialog.exec() == QDialog::Accepted) {
        m_reviews.Replace(rows.front(), dialog.Review());
        Fill();
    }
}

void CFileReviewsPage::OnDelete() {
    const auto rows = SelectedRows(m_list);
    if (!rows.empty() && m_reviews.Delete(rows.front())) {
        Fill();
    }
}

bool CFileReviewsPage::OnKillActive() {
    m_reviews.Leave();
    return true;
}
