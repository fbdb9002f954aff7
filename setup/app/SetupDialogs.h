#pragma once
// The setup program's small dialogs: Quick Setup, the server selection, the removal
// choice and the choice of the area that receives a removed area's files.

#include "AreaLists.h"
#include "Prompt.h"
#include "SetupSession.h"

#include <QDialog>

class QLineEdit;
class QListWidget;

// "Dorvale Quick Setup": asks for the database path on a first run.
class CQuickSetupDlg : public QDialog {
    Q_OBJECT
public:
    CQuickSetupDlg(prompt::IPrompt& prompt, const std::string& path, QWidget* parent = nullptr);
    std::string Path() const { return m_path; }
    void accept() override;

private:
    prompt::IPrompt& m_prompt;
    QLineEdit* m_edit;
    std::string m_path;
};

// "Select HTTP Server" / "Select FTP Server".
class CSelectServerDlg : public QDialog {
    Q_OBJECT
public:
    CSelectServerDlg(prompt::IPrompt& prompt, const std::string& service,
                     const std::vector<std::string>& servers, const std::string& current,
                     QWidget* parent = nullptr);
    std::string Selected() const { return m_selected; }
    void accept() override;

private:
    prompt::IPrompt& m_prompt;
    QListWidget* m_list;
    std::string m_selected;
};

// Move, Delete or Cancel for an area that still has files.
class CRemoveAreaDlg : public QDialog {
    Q_OBJECT
public:
    explicit CRemoveAreaDlg(QWidget* parent = nullptr);
    ERemoveAction Action() const { return m_action; }

private:
    ERemoveAction m_action = ERemoveAction::Cancel;
};

// "Select File Area": the area that receives the files.
class CSelectAreaDlg : public QDialog {
    Q_OBJECT
public:
    CSelectAreaDlg(prompt::IPrompt& prompt, const std::vector<CAreaLine>& targets,
                   QWidget* parent = nullptr);
    std::uint32_t SelectedId() const { return m_id; }
    void accept() override;

private:
    prompt::IPrompt& m_prompt;
    QListWidget* m_list;
    std::uint32_t m_id = 0;
};

// The start-up's and removal's dialogs shown modally over `parent`.
class CQtSetupUi : public ISetupUi, public IAreaRemovalUi {
public:
    CQtSetupUi(prompt::IPrompt& prompt, QWidget* parent = nullptr)
        : m_prompt(prompt), m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    bool QuickSetup(std::string& path) override;
    bool SelectServer(const std::string& service, const std::vector<std::string>& servers,
                      std::string& name) override;
    ERemoveAction ChooseRemoveAction() override;
    bool SelectArea(const std::vector<CAreaLine>& targets, std::uint32_t& id) override;

private:
    prompt::IPrompt& m_prompt;
    QWidget* m_parent;
};

// Qt's text of a design text.
inline QString QText(const std::string& text) {
    return QString::fromStdString(text);
}
