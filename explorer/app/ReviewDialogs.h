#pragma once
// Reviews: "Edit Review", "Edit Submission - %s", the "Review New File Reviews" dialog over the
// submissions file, and the "Reviews" page of a file's properties.

#include "HelpPropertySheet.h"
#include "Reviews.h"

#include <memory>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;
class QVBoxLayout;

class CEditReviewDlg : public CHelpDialog {
    Q_OBJECT
public:
    CEditReviewDlg(const CAdminContext& context, const ReviewEntry& review,
                   QWidget* parent = nullptr);
    ReviewEntry Review() const;

public slots:
    void accept() override;

protected:
    // For the submission dialog: the fields without OK and Cancel.
    struct CWithoutButtons {};
    CEditReviewDlg(const CAdminContext& context, const ReviewEntry& review, QWidget* parent,
                   CWithoutButtons);
    // The fields are filled (the first empty one is said and gets the focus); false otherwise.
    bool Validate();

    const CAdminContext& m_context;
    QVBoxLayout* m_layout;

private:
    QLineEdit* m_name;
    QLineEdit* m_email;
    QLineEdit* m_date;
    QCheckBox* m_anonymous;
    QPlainTextEdit* m_text;
};

class CEditSubmissionDlg : public CEditReviewDlg {
    Q_OBJECT
public:
    // What ended the dialog (Cancel is QDialog::Rejected).
    enum EResult { POSTED = 2, DELETED = 3 };
    CEditSubmissionDlg(const CAdminContext& context, CSubmissionsModel& model, std::size_t index,
                       QWidget* parent = nullptr);

private:
    void OnPost();
    void OnDelete();

    CSubmissionsModel& m_model;
    std::size_t m_index;
};

class CSubmissionsDlg : public CHelpDialog {
    Q_OBJECT
public:
    CSubmissionsDlg(const CAdminContext& context, QWidget* parent = nullptr);
    CSubmissionsModel& Model() { return m_model; }
    QTreeWidget* List() const { return m_list; }

public slots:
    void OnReview();
    void OnPost();
    void OnDelete();
    void OnClose();

private:
    void Fill();

    const CAdminContext& m_context;
    CSubmissionsModel m_model;
    QTreeWidget* m_list;
};

class CFileReviewsPage : public CHelpPropertyPage {
    Q_OBJECT
public:
    CFileReviewsPage(const CAdminContext& context, long fileId, const std::string& title,
                     QWidget* parent = nullptr);
    CReviewsPage& Reviews() { return m_reviews; }
    QTreeWidget* List() const { return m_list; }
    bool OnKillActive() override;

public slots:
    void OnAdd();
    void OnEdit();
    void OnDelete();

private:
    void Fill();

    const CAdminContext& m_context;
    CReviewsPage m_reviews;
    QTreeWidget* m_list;
};
