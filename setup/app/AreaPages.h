#pragma once
// The File Areas and File Groups pages, and their editors "File Area Properties" and
// "File Group Properties".

#include "AreaEditor.h"
#include "AreaLists.h"
#include "SetupSheet.h"

#include <optional>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// "File Area Properties": one General tab over the area editor.
class CFileAreaGeneralPage : public QDialog {
    Q_OBJECT
public:
    CFileAreaGeneralPage(const AreaRecord* area, const CAreaEditorContext& context,
                         QWidget* parent = nullptr);
    const CAreaEditor& Editor() const { return m_editor; }
    void accept() override;

private:
    void ToEditor();
    void FromEditor();
    QLineEdit* Field(EAreaField field) const;

    prompt::IPrompt& m_prompt;
    CAreaEditor m_editor;
    QLineEdit* m_name;
    QLineEdit* m_path;
    QLineEdit* m_ftpAlias;
    QLineEdit* m_httpAlias;
    QCheckBox* m_uploads;
    QCheckBox* m_downloads;
    QCheckBox* m_hosted;
    QPushButton* m_browse;
    QPushButton* m_ftpManage;
    QPushButton* m_httpManage;
    QWidget* m_pathLabel;
    QWidget* m_ftpLabel;
    QWidget* m_httpLabel;
};

// "File Group Properties": one General tab over the group editor.
class CFileGroupGeneralPage : public QDialog {
    Q_OBJECT
public:
    CFileGroupGeneralPage(const std::string& databasePath, const CFileAreaStore& store,
                          const std::string& name, prompt::IPrompt& prompt,
                          QWidget* parent = nullptr);
    const CGroupEditor& Editor() const { return m_editor; }
    void accept() override;

private:
    void ToEditor();
    void FromEditor();

    prompt::IPrompt& m_prompt;
    CGroupEditor m_editor;
    QLineEdit* m_name;
    QListWidget* m_areas;
};

class CFileAreasPage : public CSetupPage {
    Q_OBJECT
public:
    explicit CFileAreasPage(CSetupSheet& sheet);
    void OnApply() override;
    QListWidget* List() const { return m_list; }

protected:
    void OnFirstShow() override;

private:
    void Fill(std::uint32_t select);
    std::uint32_t SelectedId() const;
    void Add();
    void Edit();
    void Remove();
    // "Index Server": tells the index server which virtual roots to index.
    void UpdateIndex();
    QListWidget* m_list;
};

class CFileGroupsPage : public CSetupPage {
    Q_OBJECT
public:
    explicit CFileGroupsPage(CSetupSheet& sheet);
    QListWidget* List() const { return m_list; }

protected:
    void OnFirstShow() override;

private:
    void Fill(const std::string& select);
    void Add();
    void Edit();
    void Remove();
    QListWidget* m_list;
};
