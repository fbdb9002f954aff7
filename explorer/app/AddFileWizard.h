#pragma once
// "Add File Wizard": one file, from the web or hosted in an area, written to the catalogue on
// Finish. A formatted file submission found on the clipboard adds a first page that offers to
// fill every page from it. The pages show and take what the core's wizard model holds; a page
// fills itself again only when the generation moved since it last did.

#include "AddFile.h"
#include "Wizard.h"

class CCatalogueTree;

class CAddFileWizard : public CWizard {
    Q_OBJECT
public:
    // Page ids.
    enum EPage { CLIPBOARD = 1, FIRST, TITLE, DETAILS, DESCRIPTION, URLS, FINISHED };

    // Reads the clipboard's text now.
    CAddFileWizard(CAdminContext& context, CCatalogueTree& tree, QWidget* parent = nullptr);

    CAddFileModel& Model() { return m_model; }
    CAdminContext& Context() { return m_context; }
    CCatalogueTree& Tree() { return m_tree; }
    // The new file's id after Finish (0 before, or when it could not be added).
    double AddedFileId() const { return m_fileId; }
    void SetAddedFileId(double id) { m_fileId = id; }

private:
    CAdminContext& m_context;
    CCatalogueTree& m_tree;
    CAddFileModel m_model;
    double m_fileId = 0;
};
