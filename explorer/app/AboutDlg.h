#pragma once
// "About Dorvale Explorer": the program, its version, and the machine's physical memory.

#include "HelpPropertySheet.h"

class CAboutDlg : public CHelpDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// The total physical memory in kilobytes, grouped as the user's locale groups numbers, with
// " KB" after it.
QString PhysicalMemoryText();
