#include "FilePropertySheet.h"

#include "AddFile.h"
#include "ArchiveDescriptions.h"
#include "AreaTreeModel.h"
#include "DownloadUrlDlg.h"
#include "Help.h"
#include "ReviewDialogs.h"
#include "Widgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QLineEdit* NumberEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,15}"), edit));
    return edit;
}

class CGeneralPage : public CHelpPropertyPage {
public:
    explicit CGeneralPage(CFilePropertiesModel& model)
        : CHelpPropertyPage("General", help::FILE_PROPERTIES), m_model(model),
          m_title(LimitedEdit(static_cast<int>(TITLE_LIMIT), this)),
          m_version(LimitedEdit(static_cast<int>(VERSION_LIMIT), this)),
          m_date(new CDateField(this)), m_lastDownload(new CDateField(this)),
          m_size(NumberEdit(this)), m_downloads(NumberEdit(this)), m_reqForm(new QCheckBox(this)),
          m_author(LimitedEdit(static_cast<int>(AUTHOR_LIMIT), this)),
          m_email(LimitedEdit(static_cast<int>(EMAIL_LIMIT), this)) {
        m_title->setObjectName("title");
        m_version->setObjectName("version");
        m_date->setObjectName("date");
        m_lastDownload->setObjectName("lastDownload");
        m_size->setObjectName("size");
        m_downloads->setObjectName("downloads");
        m_reqForm->setObjectName("reqForm");
        m_author->setObjectName("author");
        m_email->setObjectName("email");
        auto* grid = new QGridLayout(this);
        AddField(grid, 0, "File &Title:", m_title);
        AddField(grid, 1, "&Version:", m_version);
        AddField(grid, 2, "File &Date:", m_date);
        AddField(grid, 3, "&Last Download:", m_lastDownload);
        AddField(grid, 4, "File &Size:", m_size);
        grid->addWidget(new QLabel("Bytes", this), 4, 2);
        AddField(grid, 5, "Do&wnloads:", m_downloads);
        AddField(grid, 6, "&Requires Form:", m_reqForm);
        AddField(grid, 7, "Author's &Name:", m_author);
        AddField(grid, 8, "&Email Address:", m_email);
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(9, 1);
        const CFileRecord& file = model.File();
        m_title->setText(ToQt(file.m_TITLE));
        m_version->setText(ToQt(file.m_VERSION));
        m_date->SetValue(file.m_FILE_DATE);
        m_lastDownload->SetValue(file.m_LAST_DWNLD);
        m_size->setText(QString::number(static_cast<qulonglong>(file.m_SIZE)));
        m_downloads->setText(QString::number(static_cast<qulonglong>(file.m_DOWNLOADS)));
        m_reqForm->setChecked(file.m_REQ_FORM);
        m_author->setText(ToQt(file.m_UPLD_NAME));
        m_email->setText(ToQt(file.m_UPLD_EMAIL));
    }
    bool OnKillActive() override {
        Store();
        return m_model.LeaveGeneralPage();
    }
    void OnOK() override { Store(); }

private:
    void Store() {
        CFileRecord& file = m_model.File();
        file.m_TITLE = FromQt(m_title->text());
        file.m_VERSION = FromQt(m_version->text());
        file.m_FILE_DATE = m_date->Value();
        file.m_LAST_DWNLD = m_lastDownload->Value();
        file.m_SIZE = m_size->text().toDouble();
        file.m_DOWNLOADS = m_downloads->text().toDouble();
        file.m_REQ_FORM = m_reqForm->isChecked();
        file.m_UPLD_NAME = FromQt(m_author->text());
        file.m_UPLD_EMAIL = FromQt(m_email->text());
    }

    CFilePropertiesModel& m_model;
    QLineEdit* m_title;
    QLineEdit* m_version;
    CDateField* m_date;
    CDateField* m_lastDownload;
    QLineEdit* m_size;
    QLineEdit* m_downloads;
    QCheckBox* m_reqForm;
    QLineEdit* m_author;
    QLineEdit* m_email;
};

class CDescriptionPage : public CHelpPropertyPage {
public:
    CDescriptionPage(CAdminContext& context, CFilePropertiesModel& model)
        : CHelpPropertyPage("Description", help::FILE_PROPERTIES), m_model(model),
          m_brief(LimitedEdit(static_cast<int>(BRIEF_LIMIT), this)),
          m_detailed(new QPlainTextEdit(this)) {
        m_brief->setText(ToQt(model.File().m_SHORT_DESC));
        m_detailed->setPlainText(ToQt(model.File().m_LONG_DESC));
        QPushButton* import =
            AddDescriptionFields(new QVBoxLayout(this), "&Brief description:", m_brief,
                                 "&Detailed description:", m_detailed, this);
        connect(import, &QPushButton::clicked, this, [this, &context] {
            prompt::CFileRequest request;
            request.filter = TEXT_FILE_FILTER;
            std::string path;
            if (context.Prompt().ChooseFile(request, path)) {
                Store();
                m_model.ImportDescription(path);
                m_detailed->setPlainText(ToQt(m_model.File().m_LONG_DESC));
            }
        });
    }
    bool OnKillActive() override {
        Store();
        return true;
    }
    void OnOK() override { Store(); }

private:
    void Store() {
        m_model.File().m_SHORT_DESC = FromQt(m_brief->text());
        m_model.File().m_LONG_DESC = FromQt(m_detailed->toPlainText());
    }

    CFilePropertiesModel& m_model;
    QLineEdit* m_brief;
    QPlainTextEdit* m_detailed;
};

class CAreasPage : public CHelpPropertyPage {
public:
    CAreasPage(CFilePropertySheet& sheet, CCatalogueTree& tree, CFilePropertiesModel& model)
        : CHelpPropertyPage("File Areas", help::FILE_PROPERTIES), m_model(model),
          m_areas(new CAreaTreeModel(tree, false, this)), m_tree(new QTreeView(this)) {
        m_tree->setObjectName("areas");
        m_tree->setHeaderHidden(true);
        m_tree->setModel(m_areas);
        m_areas->SetMarks([this](std::uint32_t id) { return m_model.IsAreaMarked(id); });
        m_tree->expandAll();
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(m_tree);
        connect(m_tree, &QTreeView::doubleClicked, this, [this, &sheet](const QModelIndex& index) {
            const std::uint32_t id = CAreaTreeModel::AreaId(m_areas->Node(index));
            if (id != 0) {
                m_model.ToggleArea(id);
                m_areas->UpdateArea(id);
                sheet.NoteChanges();
            }
        });
    }
    bool OnKillActive() override { return m_model.LeaveAreasPage(); }

private:
    CFilePropertiesModel& m_model;
    CAreaTreeModel* m_areas;
    QTreeView* m_tree;
};

class CUrlsPage : public CHelpPropertyPage {
public:
    CUrlsPage(CFilePropertySheet& sheet, CAdminContext& context, CFilePropertiesModel& model)
        : CHelpPropertyPage("URLs", help::FILE_PROPERTIES), m_sheet(sheet), m_context(context),
          m_model(model), m_list(new QListWidget(this)) {
        m_list->setObjectName("locations");
        auto* add = NamedButton("&Add", "add", this);
        auto* edit = NamedButton("&Edit", "edit", this);
        auto* remove = NamedButton("&Remove", "remove", this);
        auto* buttons = new QVBoxLayout;
        buttons->addWidget(add);
        buttons->addWidget(edit);
        buttons->addWidget(remove);
        buttons->addStretch(1);
        auto* layout = new QHBoxLayout(this);
        layout->addWidget(m_list, 1);
        layout->addLayout(buttons);
        connect(add, &QPushButton::clicked, this, [this] {
            CDownloadUrlDlg dialog(m_context, this);
            if (dialog.exec() == QDialog::Accepted && m_model.AddLocation(dialog.Location())) {
                Changed();
            }
        });
        auto onEdit = [this] {
            const int row = m_list->currentRow();
            if (row < 0) {
                return;
            }
            CDownloadUrlDlg dialog(m_context, this);
            dialog.SetLocation(m_model.Locations()[static_cast<std::size_t>(row)]);
            if (dialog.exec() == QDialog::Accepted &&
                m_model.ReplaceLocation(static_cast<std::size_t>(row), dialog.Location())) {
                Changed();
            }
        };
        connect(edit, &QPushButton::clicked, this, onEdit);
        connect(m_list, &QListWidget::itemDoubleClicked, this, onEdit);
        connect(remove, &QPushButton::clicked, this, [this] {
            const int row = m_list->currentRow();
            if (row >= 0 && m_model.RemoveLocation(static_cast<std::size_t>(row))) {
                Changed();
            }
        });
        Fill();
    }
    bool OnKillActive() override { return m_model.LeaveUrlsPage(); }

private:
    void Fill() {
        m_list->clear();
        for (const std::string& location : m_model.Locations()) {
            m_list->addItem(ToQt(location));
        }
    }
    void Changed() {
        Fill();
        m_sheet.NoteChanges();
    }

    CFilePropertySheet& m_sheet;
    CAdminContext& m_context;
    CFilePropertiesModel& m_model;
    QListWidget* m_list;
};

} // namespace

CFilePropertySheet::CFilePropertySheet(CAdminContext& context, CCatalogueTree& tree,
                                       CFilePropertiesModel& model, bool withReviews,
                                       QWidget* parent)
    : CHelpPropertySheet("File Properties", parent), m_model(model) {
    setObjectName("filePropertySheet");
    AddPage(new CGeneralPage(model));
    AddPage(new CDescriptionPage(context, model));
    AddPage(new CAreasPage(*this, tree, model));
    AddPage(new CUrlsPage(*this, context, model));
    if (withReviews) {
        AddPage(new CFileReviewsPage(context, static_cast<long>(model.File().m_FILE_ID),
                                     model.File().m_TITLE));
    }
    resize(520, 440);
}

void CFilePropertySheet::NoteChanges() {
    if (m_model.HasCommittedChanges()) {
        CancelToClose();
    }
}
