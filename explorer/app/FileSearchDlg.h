#pragma once
// "File Search": the text to find and the fields to look in.

#include "HelpPropertySheet.h"

#include <string>

class QLineEdit;
class QListWidget;

class CFileSearchDlg : public CHelpDialog {
    Q_OBJECT
public:
    // Filled with the last search; a mask of 0 checks every field.
    CFileSearchDlg(const std::string& text, unsigned mask, QWidget* parent = nullptr);

    std::string Text() const;
    // The checked fields (bit i: field i of "Where to search:").
    unsigned Mask() const;

private:
    QLineEdit* m_text;
    QListWidget* m_fields;
};
