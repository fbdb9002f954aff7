#pragma once
// "Add Files Wizard": every file of a directory into one locally hosted area. The work runs on
// a worker thread that reports to the progress page and waits for its answer (giving up after
// ADD_FILES_ANSWER_TIMEOUT_MS); Cancel stops it after the file it is on.

#include "AddFiles.h"
#include "Wizard.h"

#include <string>
#include <vector>

class CAddFilesWizard : public CWizard {
    Q_OBJECT
public:
    enum EPage { INFO = 1, SUMMARY, DOIT, DONE };

    CAddFilesWizard(CAdminContext& context, QWidget* parent = nullptr);

    CAdminContext& Context() { return m_context; }
    // What the information page chose.
    AreaRecord area;
    std::vector<std::string> files;
    bool extract = false;
    // The results log (lines ending in CR LF).
    std::string log;

private:
    CAdminContext& m_context;
};
