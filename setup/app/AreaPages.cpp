#include "AreaPages.h"

#include "IndexServer.h"
#include "SetupHelp.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// A property sheet of one page: `page` under a General tab, with OK, Cancel and Help.
QWidget* OnePageSheet(QDialog* dialog, const char* title, int helpContext) {
    dialog->setWindowTitle(title);
    auto* tabs = new QTabWidget(dialog);
    auto* page = new QWidget(tabs);
    tabs->addTab(page, "General");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    AddHelp(dialog, buttons, [helpContext] { return helpContext; });
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    return page;
}

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

QLineEdit* Edit(const char* name, std::size_t limit, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(static_cast<int>(limit));
    return edit;
}

// A tab's list with its Add, Edit and Remove buttons beside it; a double click edits.
// `column` (when given) receives the buttons' column, for a page that adds to it.
template <class TPage>
QListWidget* ListWithButtons(TPage* page, const char* listName, void (TPage::*add)(),
                             void (TPage::*edit)(), void (TPage::*remove)(),
                             QVBoxLayout** column = nullptr) {
    auto* list = new QListWidget(page);
    list->setObjectName(listName);
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(list);
    auto* buttons = new QVBoxLayout;
    QPushButton* addButton = Button("&Add...", "add", page);
    QPushButton* editButton = Button("&Edit...", "edit", page);
    QPushButton* removeButton = Button("Remo&ve...", "remove", page);
    buttons->addWidget(addButton);
    buttons->addWidget(editButton);
    buttons->addWidget(removeButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    QObject::connect(addButton, &QPushButton::clicked, page, add);
    QObject::connect(editButton, &QPushButton::clicked, page, edit);
    QObject::connect(list, &QListWidget::itemDoubleClicked, page, edit);
    QObject::connect(removeButton, &QPushButton::clicked, page, remove);
    if (column != nullptr) {
        *column = buttons;
    }
    return list;
}

} // namespace

// ---- File Area Properties ----

CFileAreaGeneralPage::CFileAreaGeneralPage(const AreaRecord* area,
                                           const CAreaEditorContext& context, QWidget* parent)
    : QDialog(parent), m_prompt(*context.prompt), m_editor(area, context) {
    setObjectName("fileAreaProperties");
    QWidget* page = OnePageSheet(this, "File Area Properties", HELP_AREA_EDITOR);
    auto* grid = new QGridLayout(page);
    m_name = Edit("name", AREA_NAME_LIMIT, page);
    m_path = Edit("path", AREA_PATH_LIMIT, page);
    m_ftpAlias = Edit("ftpAlias", AREA_PATH_LIMIT, page);
    m_httpAlias = Edit("httpAlias", AREA_PATH_LIMIT, page);
    m_browse = Button("&Browse...", "browse", page);
    m_ftpManage = Button("Manage...", "ftpManage", page);
    m_httpManage = Button("Manage...", "httpManage", page);
    m_uploads = new QCheckBox("Allow file &uploads", page);
    m_downloads = new QCheckBox("Allow file &downloads", page);
    m_hosted = new QCheckBox("Host downloadable files locally?", page);
    m_uploads->setObjectName("uploads");
    m_downloads->setObjectName("downloads");
    m_hosted->setObjectName("hosted");
    const auto label = [page](const char* text, QWidget* buddy) {
        auto* caption = new QLabel(text, page);
        caption->setBuddy(buddy);
        return caption;
    };
    grid->addWidget(label("File Area &Name:", m_name), 0, 0);
    grid->addWidget(m_name, 0, 1, 1, 2);
    grid->addWidget(m_hosted, 1, 1, 1, 2);
    grid->addWidget(m_pathLabel = label("File Area &Path:", m_path), 2, 0);
    grid->addWidget(m_path, 2, 1);
    grid->addWidget(m_browse, 2, 2);
    grid->addWidget(m_ftpLabel = label("&FTP Alias:", m_ftpAlias), 3, 0);
    grid->addWidget(m_ftpAlias, 3, 1);
    grid->addWidget(m_ftpManage, 3, 2);
    grid->addWidget(m_httpLabel = label("&HTTP Alias:", m_httpAlias), 4, 0);
    grid->addWidget(m_httpAlias, 4, 1);
    grid->addWidget(m_httpManage, 4, 2);
    grid->addWidget(m_uploads, 5, 1, 1, 2);
    grid->addWidget(m_downloads, 6, 1, 1, 2);
    grid->setRowStretch(7, 1);

    connect(m_uploads, &QCheckBox::toggled, this, [this](bool on) {
        ToEditor();
        m_editor.SetUploads(on);
        FromEditor();
    });
    connect(m_hosted, &QCheckBox::toggled, this, [this](bool on) {
        ToEditor();
        m_editor.SetHostedLocally(on);
        FromEditor();
    });
    // Only the user's edits propose aliases, not the filling of the field.
    connect(m_path, &QLineEdit::textEdited, this, [this](const QString& text) {
        ToEditor();
        m_editor.PathEdited(text.toStdString());
        FromEditor();
    });
    connect(m_path, &QLineEdit::editingFinished, this, [this] {
        ToEditor();
        m_editor.LeavePath();
        FromEditor();
    });
    for (QLineEdit* alias : {m_ftpAlias, m_httpAlias}) {
        connect(alias, &QLineEdit::editingFinished, this, [this, alias] {
            std::string text = alias->text().toStdString();
            m_editor.LeaveAlias(text);
            alias->setText(QText(text));
        });
    }
    connect(m_browse, &QPushButton::clicked, this, [this] {
        ToEditor();
        std::string chosen;
        if (m_prompt.ChooseFolder("File Area Path", m_editor.path, chosen) &&
            m_editor.DirectoryChosen(chosen)) {
            FromEditor();
        }
    });
    for (const auto& manage : {std::pair{m_ftpManage, true}, std::pair{m_httpManage, false}}) {
        connect(manage.first, &QPushButton::clicked, this, [this, ftp = manage.second] {
            const std::string address = ReadVirtualDirectoryAdminUrl(ftp);
            if (address.empty()) {
                m_prompt.Message("Enter the HTTP server address on the General page and apply "
                                 "it first: the virtual directories are managed there.",
                                 PROGRAM_TITLE, prompt::EButtons::Ok, prompt::EIcon::Information);
                return;
            }
            OpenInBrowser(QText(address));
        });
    }
    FromEditor();
    resize(460, sizeHint().height());
}

QLineEdit* CFileAreaGeneralPage::Field(EAreaField field) const {
    switch (field) {
    case EAreaField::Name:
        return m_name;
    case EAreaField::Path:
        return m_path;
    case EAreaField::FtpAlias:
        return m_ftpAlias;
    case EAreaField::HttpAlias:
        return m_httpAlias;
    case EAreaField::None:
        break;
    }
    return nullptr;
}

void CFileAreaGeneralPage::ToEditor() {
    m_editor.name = m_name->text().toStdString();
    m_editor.path = m_path->text().toStdString();
    m_editor.ftpAlias = m_ftpAlias->text().toStdString();
    m_editor.httpAlias = m_httpAlias->text().toStdString();
    m_editor.downloads = m_downloads->isChecked();
}

void CFileAreaGeneralPage::FromEditor() {
    const QSignalBlocker blockUploads(m_uploads);
    const QSignalBlocker blockHosted(m_hosted);
    m_name->setText(QText(m_editor.name));
    m_path->setText(QText(m_editor.path));
    m_ftpAlias->setText(QText(m_editor.ftpAlias));
    m_httpAlias->setText(QText(m_editor.httpAlias));
    m_uploads->setChecked(m_editor.Uploads());
    m_uploads->setEnabled(m_editor.IsUploadsEnabled());
    m_downloads->setChecked(m_editor.downloads);
    m_hosted->setChecked(m_editor.hostedLocally);
    m_hosted->setEnabled(m_editor.IsHostedLocallyEnabled());
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_path, m_browse, m_pathLabel, m_ftpLabel, m_httpLabel,
                                         m_httpAlias, m_httpManage}) {
        widget->setEnabled(m_editor.IsPathEnabled());
    }
    m_ftpAlias->setEnabled(m_editor.IsFtpAliasEnabled());
    m_ftpManage->setEnabled(m_editor.IsFtpAliasEnabled());
}

void CFileAreaGeneralPage::accept() {
    ToEditor();
    EAreaField focus = EAreaField::None;
    const bool valid = m_editor.Validate(focus);
    FromEditor();
    if (!valid) {
        if (QLineEdit* field = Field(focus)) {
            field->setFocus();
        }
        return;
    }
    QDialog::accept();
}

// ---- File Group Properties ----

CFileGroupGeneralPage::CFileGroupGeneralPage(const std::string& databasePath,
                                             const CFileAreaStore& store, const std::string& name,
                                             prompt::IPrompt& prompt, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_editor(databasePath, store, name) {
    setObjectName("fileGroupProperties");
    QWidget* page = OnePageSheet(this, "File Group Properties", HELP_GROUP_EDITOR);
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    m_name = Edit("name", 80, page);
    auto* nameLabel = new QLabel("&Group Name:", page);
    nameLabel->setBuddy(m_name);
    form->addRow(nameLabel, m_name);
    layout->addLayout(form);
    m_areas = new QListWidget(page);
    m_areas->setObjectName("areas");
    m_areas->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* areasLabel = new QLabel("&File Areas", page);
    areasLabel->setBuddy(m_areas);
    layout->addWidget(areasLabel);
    layout->addWidget(m_areas);
    auto* row = new QHBoxLayout;
    QPushButton* selectAll = Button("&Select All", "selectAll", page);
    QPushButton* clearAll = Button("&Clear All", "clearAll", page);
    QPushButton* toggle = Button("&Toggle", "toggle", page);
    row->addWidget(selectAll);
    row->addWidget(clearAll);
    row->addWidget(toggle);
    layout->addLayout(row);
    for (const CAreaLine& line : m_editor.lines) {
        auto* item = new QListWidgetItem(QText(line.name), m_areas);
        item->setData(Qt::UserRole, line.id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    }
    const auto run = [this](void (CGroupEditor::*action)()) {
        ToEditor();
        (m_editor.*action)();
        FromEditor();
    };
    connect(selectAll, &QPushButton::clicked, this, [run] { run(&CGroupEditor::SelectAll); });
    connect(clearAll, &QPushButton::clicked, this, [run] { run(&CGroupEditor::ClearAll); });
    connect(toggle, &QPushButton::clicked, this, [run] { run(&CGroupEditor::Toggle); });
    connect(m_areas, &QListWidget::itemDoubleClicked, this, [run] { run(&CGroupEditor::Toggle); });
    FromEditor();
}

void CFileGroupGeneralPage::ToEditor() {
    m_editor.name = m_name->text().toStdString();
    for (int i = 0; i < m_areas->count(); ++i) {
        m_editor.checked[static_cast<std::size_t>(i)] =
            m_areas->item(i)->checkState() == Qt::Checked;
        m_editor.selected[static_cast<std::size_t>(i)] = m_areas->item(i)->isSelected();
    }
}

void CFileGroupGeneralPage::FromEditor() {
    m_name->setText(QText(m_editor.name));
    for (int i = 0; i < m_areas->count(); ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        m_areas->item(i)->setCheckState(m_editor.checked[at] ? Qt::Checked : Qt::Unchecked);
        m_areas->item(i)->setSelected(m_editor.selected[at]);
    }
}

void CFileGroupGeneralPage::accept() {
    ToEditor();
    const bool valid = m_editor.Validate(m_prompt);
    FromEditor();
    if (!valid) {
        m_name->setFocus();
        return;
    }
    if (m_editor.Save(m_prompt)) {
        QDialog::accept();
    }
}

// ---- File Areas ----

CFileAreasPage::CFileAreasPage(CSetupSheet& sheet) : CSetupPage(sheet, "File Areas") {
    setObjectName("fileAreasPage");
    SetHelpContext(HELP_FILE_AREAS);
    QVBoxLayout* column = nullptr;
    m_list = ListWithButtons(this, "areas", &CFileAreasPage::Add, &CFileAreasPage::Edit,
                             &CFileAreasPage::Remove, &column);
    auto* label = new QLabel("Update Microsoft Index Server directories:", this);
    label->setWordWrap(true);
    QPushButton* index = Button("&Index Server", "indexServer", this);
    label->setBuddy(index);
    column->addWidget(label);
    column->addWidget(index);
    connect(index, &QPushButton::clicked, this, &CFileAreasPage::UpdateIndex);
}

void CFileAreasPage::UpdateIndex() {
    // Without a connected web server (the Servers page may leave none) there are no virtual
    // roots to tell the index server of.
    CIISManagerBase* web = m_sheet.Session().Web();
    if (web == nullptr) {
        return;
    }
    // The exchange blocks the window, waits between attempts included.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    UpdateIndexServer(*web, m_sheet.Session().Store().EnumerateAreas(), m_sheet.Prompt());
    QApplication::restoreOverrideCursor();
}

void CFileAreasPage::OnFirstShow() {
    Fill(0);
    m_sheet.CancelToClose();
}

void CFileAreasPage::OnApply() {
    m_sheet.Session().OfferRestart();
}

void CFileAreasPage::Fill(std::uint32_t select) {
    m_list->clear();
    for (const CAreaLine& line : SortedAreaLines(m_sheet.Session().Store().EnumerateAreas())) {
        auto* item = new QListWidgetItem(QText(line.name), m_list);
        item->setData(Qt::UserRole, line.id);
        if (line.id == select) {
            m_list->setCurrentItem(item);
        }
    }
}

std::uint32_t CFileAreasPage::SelectedId() const {
    QListWidgetItem* item = m_list->currentItem();
    return item != nullptr && item->isSelected() ? item->data(Qt::UserRole).toUInt() : 0;
}

void CFileAreasPage::Add() {
    CFileAreaGeneralPage editor(nullptr, m_sheet.Session().EditorContext(), this);
    if (editor.exec() != QDialog::Accepted) {
        return;
    }
    AreaRecord area = editor.Editor().BuildRecord(0);
    if (!m_sheet.Session().Store().AddArea(area)) {
        m_sheet.Prompt().Message("The file area could not be added to the file area database.",
                                 PROGRAM_TITLE, prompt::EButtons::Ok, prompt::EIcon::Error);
    }
    Fill(area.Id);
}

void CFileAreasPage::Edit() {
    const std::uint32_t id = SelectedId();
    AreaRecord area;
    if (id == 0 || !m_sheet.Session().Store().FindArea(id, area)) {
        return;
    }
    CFileAreaGeneralPage editor(&area, m_sheet.Session().EditorContext(), this);
    if (editor.exec() != QDialog::Accepted) {
        return;
    }
    if (!m_sheet.Session().Store().UpdateArea(editor.Editor().BuildRecord(id))) {
        m_sheet.Prompt().Message("The file area could not be written to the file area database.",
                                 PROGRAM_TITLE, prompt::EButtons::Ok, prompt::EIcon::Error);
    }
    Fill(id);
}

void CFileAreasPage::Remove() {
    const std::uint32_t id = SelectedId();
    CRemovalReport report;
    if (id != 0 && RemoveArea(m_sheet.Session().Store(), id, m_sheet.Session().GetDataSource(),
                              m_sheet.Prompt(), m_sheet.Ui(), report)) {
        delete m_list->currentItem();
    }
}

// ---- File Groups ----

CFileGroupsPage::CFileGroupsPage(CSetupSheet& sheet) : CSetupPage(sheet, "File Groups") {
    setObjectName("fileGroupsPage");
    SetHelpContext(HELP_FILE_GROUPS);
    m_list = ListWithButtons(this, "groups", &CFileGroupsPage::Add, &CFileGroupsPage::Edit,
                             &CFileGroupsPage::Remove);
}

void CFileGroupsPage::OnFirstShow() {
    Fill({});
    m_sheet.CancelToClose();
}

void CFileGroupsPage::Fill(const std::string& select) {
    m_list->clear();
    for (const std::string& name : SortedGroupNames(m_sheet.Session().DatabasePath())) {
        auto* item = new QListWidgetItem(QText(name), m_list);
        if (name == select) {
            m_list->setCurrentItem(item);
        }
    }
}

void CFileGroupsPage::Add() {
    CSetupSession& session = m_sheet.Session();
    if (!CanAddGroup(session.Store(), m_sheet.Prompt())) {
        return;
    }
    CFileGroupGeneralPage editor(session.DatabasePath(), session.Store(), {}, m_sheet.Prompt(),
                                 this);
    if (editor.exec() == QDialog::Accepted) {
        Fill(editor.Editor().name);
    }
}

void CFileGroupsPage::Edit() {
    QListWidgetItem* item = m_list->currentItem();
    if (item == nullptr || !item->isSelected()) {
        return;
    }
    CSetupSession& session = m_sheet.Session();
    CFileGroupGeneralPage editor(session.DatabasePath(), session.Store(),
                                 item->text().toStdString(), m_sheet.Prompt(), this);
    if (editor.exec() == QDialog::Accepted) {
        Fill(editor.Editor().name);
    }
}

void CFileGroupsPage::Remove() {
    QListWidgetItem* item = m_list->currentItem();
    if (item != nullptr && item->isSelected() &&
        RemoveGroup(m_sheet.Session().DatabasePath(), item->text().toStdString(),
                    m_sheet.Prompt())) {
        delete item;
    }
}
