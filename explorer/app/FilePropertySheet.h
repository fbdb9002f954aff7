#pragma once
// "File Properties": General, Description, File Areas, URLs and (for a catalogued file)
// Reviews, over the core's properties model. Areas and locations of a catalogued file change
// in the catalogue at once (Cancel then becomes Close); those of an upload under review change
// in memory only. The General and Description fields are the model's after OK.

#include "FileOperations.h"
#include "HelpPropertySheet.h"

class CCatalogueTree;

class CFilePropertySheet : public CHelpPropertySheet {
    Q_OBJECT
public:
    CFilePropertySheet(CAdminContext& context, CCatalogueTree& tree, CFilePropertiesModel& model,
                       bool withReviews, QWidget* parent = nullptr);

    CFilePropertiesModel& Model() { return m_model; }
    // Turns Cancel into Close once a change reached the catalogue.
    void NoteChanges();

private:
    CFilePropertiesModel& m_model;
};
