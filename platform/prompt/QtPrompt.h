#pragma once
// The prompt of the desktop programs: QMessageBox and QFileDialog, modal over the window that is
// modal at the time (a dialog asking), or else over the parent window.

#include "Prompt.h"

#include <QString>

class QWidget;

namespace prompt {

class CQtPrompt : public IPrompt {
public:
    // `parent` (may be null) owns the boxes while they are shown; it must outlive the prompt.
    explicit CQtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    EAnswer Message(const std::string& text, const std::string& caption, EButtons buttons,
                    EIcon icon) override;
    bool ChooseFile(const CFileRequest& request, std::string& path) override;
    bool ChooseFolder(const std::string& title, const std::string& start,
                      std::string& path) override;

private:
    QWidget* Owner() const;

    QWidget* m_parent;
};

// A filter of CFileRequest in Qt's form: "Label (patterns);;...". "*.*" becomes "*", since a
// name without a dot is a file too here.
QString QtFilter(const std::string& filter);

} // namespace prompt
