#pragma once
// "Scan for new files": the uploads waiting in the areas, reviewed, posted or deleted.

#include "HelpPropertySheet.h"
#include "Uploads.h"

class CCatalogueTree;
class QTreeWidget;

class CUploadsDlg : public CHelpDialog {
    Q_OBJECT
public:
    CUploadsDlg(CAdminContext& context, CCatalogueTree& tree, std::vector<CPendingUpload> uploads,
                QWidget* parent = nullptr);

    const std::vector<CPendingUpload>& Uploads() const { return m_uploads; }
    QTreeWidget* List() const { return m_list; }

public slots:
    void OnReview();
    void OnPost();
    void OnDelete();

private:
    void Fill();

    CAdminContext& m_context;
    CCatalogueTree& m_tree;
    std::vector<CPendingUpload> m_uploads;
    QTreeWidget* m_list;
};
