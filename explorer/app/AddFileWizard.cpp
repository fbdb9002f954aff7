#include "AddFileWizard.h"

#include "ArchiveDescriptions.h"
#include "AreaTreeModel.h"
#include "DownloadUrlDlg.h"
#include "Help.h"
#include "Widgets.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// A page of this wizard: its instruction at the top, and the generation it last filled itself
// at.
class CAddFilePage : public CWizardPage {
public:
    CAddFilePage(CAddFileWizard& wizard, int id, const char* instruction)
        : CWizardPage(id, {}, help::ADD_FILE), m_wizard(wizard), m_layout(new QVBoxLayout(this)) {
        if (instruction != nullptr) {
            auto* text = new QLabel(instruction, this);
            text->setObjectName("instruction");
            text->setWordWrap(true);
            m_layout->addWidget(text);
            m_layout->addSpacing(8);
        }
    }

protected:
    CAddFileModel& Model() { return m_wizard.Model(); }
    CAdminContext& Context() { return m_wizard.Context(); }
    // True once per generation: the page fills its fields again.
    bool IsStale() {
        if (m_generation == Model().Generation()) {
            return false;
        }
        m_generation = Model().Generation();
        return true;
    }

    CAddFileWizard& m_wizard;
    QVBoxLayout* m_layout;

private:
    int m_generation = -1;
};

class CClipboardPage : public CAddFilePage {
public:
    explicit CClipboardPage(CAddFileWizard& wizard)
        : CAddFilePage(wizard, CAddFileWizard::CLIPBOARD, MSG_SUBMISSION_FOUND),
          m_yes(new QRadioButton("&Yes, process the formatted file submission now.", this)),
          m_no(new QRadioButton("&No, do not process the formatted submission, but allow me to "
                                "add another file.",
                                this)) {
        m_yes->setObjectName("yes");
        m_no->setObjectName("no");
        m_yes->setChecked(true);
        m_layout->addWidget(m_yes);
        m_layout->addWidget(m_no);
        m_layout->addStretch(1);
    }
    bool OnSetActive() override {
        GetWizard()->SetWizardButtons(CWizard::WIZB_BACK | CWizard::WIZB_NEXT);
        return true;
    }
    int OnWizardNext() override {
        return Model().LeaveClipboardPage(m_yes->isChecked()) ? CAddFileWizard::TITLE
                                                              : CAddFileWizard::FIRST;
    }

private:
    QRadioButton* m_yes;
    QRadioButton* m_no;
};

class CFirstPage : public CAddFilePage {
public:
    explicit CFirstPage(CAddFileWizard& wizard)
        : CAddFilePage(wizard, CAddFileWizard::FIRST,
                       "Choose whether this new file is a Web file or a local file."),
          m_web(new QRadioButton("&Web file", this)),
          m_local(new QRadioButton("&Local file", this)), m_url(new QLineEdit(this)),
          m_name(LimitedEdit(static_cast<int>(LOCAL_PATH_LIMIT), this)),
          m_browse(NamedButton("&Browse...", "browse", this)) {
        m_web->setObjectName("web");
        m_local->setObjectName("local");
        m_url->setObjectName("url");
        m_name->setObjectName("name");
        // Each kind's fields under its choice, the labels above their fields.
        auto* grid = new QGridLayout;
        grid->setColumnMinimumWidth(0, 20);
        grid->setColumnStretch(1, 1);
        grid->addWidget(m_web, 0, 0, 1, 3);
        auto* urlLabel = new QLabel("&URL:      (Include http:// or ftp://)", this);
        urlLabel->setBuddy(m_url);
        grid->addWidget(urlLabel, 1, 1, 1, 2);
        grid->addWidget(m_url, 2, 1, 1, 2);
        grid->setRowMinimumHeight(3, 12);
        grid->addWidget(m_local, 4, 0, 1, 3);
        auto* nameLabel = new QLabel("&Name:", this);
        nameLabel->setBuddy(m_name);
        grid->addWidget(nameLabel, 5, 1, 1, 2);
        grid->addWidget(m_name, 6, 1);
        grid->addWidget(m_browse, 6, 2);
        m_layout->addLayout(grid);
        m_layout->addStretch(1);
        m_web->setChecked(true);
        m_local->setEnabled(Model().CanAddLocalFile());
        connect(m_web, &QRadioButton::toggled, this, [this] { EnableFields(); });
        connect(m_browse, &QPushButton::clicked, this, [this] {
            prompt::CFileRequest request;
            request.initialPath = FromQt(m_name->text());
            std::string path;
            if (Context().Prompt().ChooseFile(request, path)) {
                m_name->setText(ToQt(path));
            }
        });
        EnableFields();
    }
    bool OnSetActive() override {
        GetWizard()->SetWizardButtons(CWizard::WIZB_NEXT);
        return true;
    }
    int OnWizardNext() override {
        const bool web = m_web->isChecked();
        Model().LeaveFirstPage(web ? EFileKind::Web : EFileKind::Local,
                               FromQt((web ? m_url : m_name)->text()));
        return NEXT_IN_ORDER;
    }

private:
    void EnableFields() {
        const bool web = m_web->isChecked();
        m_url->setEnabled(web);
        m_name->setEnabled(!web);
        m_browse->setEnabled(!web);
    }

    QRadioButton* m_web;
    QRadioButton* m_local;
    QLineEdit* m_url;
    QLineEdit* m_name;
    QPushButton* m_browse;
};

class CTitlePage : public CAddFilePage {
public:
    explicit CTitlePage(CAddFileWizard& wizard)
        : CAddFilePage(wizard, CAddFileWizard::TITLE,
                       "Please enter the title for the file you are adding. Then, select the file "
                       "area to receive the file."),
          m_title(LimitedEdit(static_cast<int>(TITLE_LIMIT), this)),
          m_areas(new CAreaTreeModel(wizard.Tree(), false, this)), m_tree(new QTreeView(this)) {
        m_title->setObjectName("title");
        m_tree->setObjectName("areas");
        m_tree->setHeaderHidden(true);
        m_tree->setModel(m_areas);
        m_areas->SetMarks([this](std::uint32_t id) { return Model().IsAreaChosen(id); });
        auto* grid = new QGridLayout;
        AddField(grid, 0, "File &Title:", m_title);
        m_layout->addLayout(grid);
        m_layout->addWidget(m_tree, 1);
        connect(m_tree, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
            const std::uint32_t id = CAreaTreeModel::AreaId(m_areas->Node(index));
            if (id != 0) {
                Model().ToggleArea(id);
                m_areas->UpdateArea(id);
            }
        });
    }
    bool OnSetActive() override {
        if (IsStale()) {
            Model().InitTitlePage();
        }
        m_title->setText(ToQt(Model().title));
        m_tree->expandAll();
        GetWizard()->SetWizardButtons(CWizard::WIZB_BACK | CWizard::WIZB_NEXT);
        return true;
    }
    bool OnKillActive() override {
        Model().title = FromQt(m_title->text());
        return true;
    }
    int OnWizardNext() override {
        OnKillActive();
        const bool ok = Model().LeaveTitlePage();
        m_title->setText(ToQt(Model().title));
        return ok ? NEXT_IN_ORDER : STAY;
    }

private:
    QLineEdit* m_title;
    CAreaTreeModel* m_areas;
    QTreeView* m_tree;
};

class CDetailsPage : public CAddFilePage {
public:
    explicit CDetailsPage(CAddFileWizard& wizard)
        : CAddFilePage(wizard, CAddFileWizard::DETAILS,
                       "Please enter the version number, date, size, author's name and email "
                       "address and, optionally, a password for the selected file."),
          m_version(LimitedEdit(static_cast<int>(VERSION_LIMIT), this)),
          m_date(new CDateField(this)), m_size(new QLineEdit(this)), m_reqForm(new QCheckBox(this)),
          m_author(LimitedEdit(static_cast<int>(AUTHOR_LIMIT), this)),
          m_email(LimitedEdit(static_cast<int>(EMAIL_LIMIT), this)) {
        m_version->setObjectName("version");
        m_date->setObjectName("date");
        m_size->setObjectName("size");
        m_size->setReadOnly(true);
        m_reqForm->setObjectName("reqForm");
        m_author->setObjectName("author");
        m_email->setObjectName("email");
        auto* grid = new QGridLayout;
        AddField(grid, 0, "File &Version:", m_version);
        AddField(grid, 1, "File &Date:", m_date);
        AddField(grid, 2, "File &Size:", m_size);
        AddField(grid, 3, "&Requires Form:", m_reqForm);
        AddField(grid, 4, "Author's &Name:", m_author);
        AddField(grid, 5, "&Email Address:", m_email);
        m_layout->addLayout(grid);
        m_layout->addStretch(1);
    }
    bool OnSetActive() override {
        if (IsStale()) {
            Model().InitDetailsPage();
        }
        m_version->setText(ToQt(Model().version));
        m_date->SetValue(Model().date);
        m_size->setText(QString::number(static_cast<qulonglong>(Model().size)));
        m_reqForm->setChecked(Model().reqForm);
        m_author->setText(ToQt(Model().author));
        m_email->setText(ToQt(Model().email));
        GetWizard()->SetWizardButtons(CWizard::WIZB_BACK | CWizard::WIZB_NEXT);
        return true;
    }
    bool OnKillActive() override {
        Model().version = FromQt(m_version->text());
        Model().date = m_date->Value();
        Model().reqForm = m_reqForm->isChecked();
        Model().author = FromQt(m_author->text());
        Model().email = FromQt(m_email->text());
        return true;
    }
    int OnWizardNext() override {
        OnKillActive();
        return Model().LeaveDetailsPage() ? NEXT_IN_ORDER : STAY;
    }

private:
    QLineEdit* m_version;
    CDateField* m_date;
    QLineEdit* m_size;
    QCheckBox* m_reqForm;
    QLineEdit* m_author;
    QLineEdit* m_email;
};

class CDescriptionPage : public CAddFilePage {
public:
    explicit CDescriptionPage(CAddFileWizard& wizard)
        : CAddFilePage(wizard, CAddFileWizard::DESCRIPTION, nullptr),
          m_brief(LimitedEdit(static_cast<int>(BRIEF_LIMIT), this)),
          m_detailed(new QPlainTextEdit(this)) {
        QPushButton* import = AddDescriptionFields(m_layout, "&Brief Description:", m_brief,
                                                   "&Detailed description:", m_detailed, this);
        connect(import, &QPushButton::clicked, this, [this] {
            prompt::CFileRequest request;
            request.filter = TEXT_FILE_FILTER;
            std::string path;
            if (Context().Prompt().ChooseFile(request, path)) {
                Model().detailed = FromQt(m_detailed->toPlainText());
                Model().ImportDescription(path);
                m_detailed->setPlainText(ToQt(Model().detailed));
            }
        });
    }
    bool OnSetActive() override {
        if (IsStale()) {
            Model().InitDescriptionPage();
        }
        m_brief->setText(ToQt(Model().brief));
        m_detailed->setPlainText(ToQt(Model().detailed));
        GetWizard()->SetWizardButtons(CWizard::WIZB_BACK | CWizard::WIZB_NEXT);
        return true;
    }
    bool OnKillActive() override {
        Model().brief = FromQt(m_brief->text());
        Model().detailed = FromQt(m_detailed->toPlainText());
        return true;
    }
    int OnWizardNext() override {
        OnKillActive();
        return Model().LeaveDescriptionPage() ? NEXT_IN_ORDER : STAY;
    }

private:
    QLineEdit* m_brief;
    QPlainTextEdit* m_detailed;
};

class CUrlPage : public CAddFilePage {
public:
    explicit CUrlPage(CAddFileWizard& wizard)
        : CAddFilePage(wizard, CAddFileWizard::URLS,
                       "Add available download URL's for the selected file."),
          m_list(new QListWidget(this)) {
        m_list->setObjectName("locations");
        auto* add = NamedButton("&Add", "add", this);
        auto* edit = NamedButton("&Edit", "edit", this);
        auto* remove = NamedButton("&Remove", "remove", this);
        auto* buttons = new QVBoxLayout;
        buttons->addWidget(add);
        buttons->addWidget(edit);
        buttons->addWidget(remove);
        buttons->addStretch(1);
        auto* row = new QHBoxLayout;
        row->addWidget(m_list, 1);
        row->addLayout(buttons);
        m_layout->addLayout(row, 1);
        connect(add, &QPushButton::clicked, this, [this] { OnAdd(); });
        connect(edit, &QPushButton::clicked, this, [this] { OnEdit(); });
        connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { OnEdit(); });
        connect(remove, &QPushButton::clicked, this, [this] {
            if (Model().RemoveLocation(static_cast<std::size_t>(m_list->currentRow()))) {
                Fill();
            }
        });
    }
    bool OnSetActive() override {
        GetWizard()->SetWizardButtons(CWizard::WIZB_BACK | CWizard::WIZB_NEXT);
        if (IsStale() && Model().InitUrlPage()) {
            // A local file: where it is hosted is asked once the page shows.
            QTimer::singleShot(0, this, [this] {
                CDownloadUrlDlg dialog(Context(), this);
                dialog.SetLocalFile(Model().fileText);
                if (dialog.exec() == QDialog::Accepted) {
                    Model().AddLocation(dialog.Location());
                    Fill();
                }
            });
        }
        Fill();
        return true;
    }
    int OnWizardNext() override { return Model().LeaveUrlPage() ? NEXT_IN_ORDER : STAY; }

private:
    void Fill() {
        m_list->clear();
        for (const std::string& location : Model().locations) {
            m_list->addItem(ToQt(location));
        }
    }
    void OnAdd() {
        CDownloadUrlDlg dialog(Context(), this);
        if (dialog.exec() == QDialog::Accepted) {
            Model().AddLocation(dialog.Location());
            Fill();
        }
    }
    void OnEdit() {
        const int row = m_list->currentRow();
        if (row < 0 || row >= static_cast<int>(Model().locations.size())) {
            return;
        }
        CDownloadUrlDlg dialog(Context(), this);
        dialog.SetLocation(Model().locations[static_cast<std::size_t>(row)]);
        if (dialog.exec() == QDialog::Accepted) {
            Model().locations[static_cast<std::size_t>(row)] = dialog.Location();
            Fill();
        }
    }

    QListWidget* m_list;
};

class CFinishedPage : public CAddFilePage {
public:
    explicit CFinishedPage(CAddFileWizard& wizard)
        : CAddFilePage(wizard, CAddFileWizard::FINISHED,
                       "You are now ready to add the selected file to the system. To do so, click "
                       "Finish. Otherwise, press Back to change your settings.") {
        m_layout->addStretch(1);
    }
    bool OnSetActive() override {
        GetWizard()->SetWizardButtons(CWizard::WIZB_BACK | CWizard::WIZB_FINISH);
        return true;
    }
    bool OnWizardFinish() override {
        // A failure is not reported here: the database library logs it.
        double id = 0;
        m_wizard.SetAddedFileId(Model().Finish(id) ? id : 0);
        return true;
    }
};

} // namespace

CAddFileWizard::CAddFileWizard(CAdminContext& context, CCatalogueTree& tree, QWidget* parent)
    : CWizard("Add File Wizard", parent), m_context(context), m_tree(tree), m_model(context) {
    setObjectName("addFileWizard");
    if (m_model.TakeClipboard(FromQt(QGuiApplication::clipboard()->text()))) {
        AddPage(new CClipboardPage(*this));
    }
    AddPage(new CFirstPage(*this));
    AddPage(new CTitlePage(*this));
    AddPage(new CDetailsPage(*this));
    AddPage(new CDescriptionPage(*this));
    AddPage(new CUrlPage(*this));
    AddPage(new CFinishedPage(*this));
    resize(520, 420);
}
