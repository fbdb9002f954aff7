#pragma once
// The upload wizard: five pages (welcome; file and area; listing details; descriptions;
// transfer) with Back, Next, Finish and Cancel. Every check and every step of the transfer is
// the core's; this window shows the pages, asks through the prompt interface and drives the
// transfer with a timer.

#include "Prompt.h"
#include "UploadProperties.h"
#include "UploadTransfer.h"
#include "UploadWizardData.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace liftwell {

inline constexpr const char* WIZARD_TITLE = "Upload File Wizard";
inline constexpr const char* FILE_DIALOG_TITLE = "Select File to Upload";
inline constexpr const char* FILE_DIALOG_FILTER = "All Files (*.*)|*.*||";
inline constexpr const char* MESSAGE_NO_AREAS =
    "No file area accepts uploads here, so there is nowhere to send the file.";

enum class EUploadOutcome {
    NotRun,    // the wizard was not shown
    Sent,      // the file (and its description) reached the server
    Failed,    // the transfer ran and failed
    Cancelled, // the visitor left before the transfer ended well
};

class CUploadWizard : public QDialog {
    Q_OBJECT

public:
    enum EPage { PAGE_WELCOME, PAGE_FILE, PAGE_DETAILS, PAGE_DESCRIPTIONS, PAGE_TRANSFER };

    // `properties` are copied: the wizard uses them as they are when it is made.
    CUploadWizard(const CUploadProperties& properties, prompt::IPrompt& prompts,
                  QWidget* parent = nullptr);
    ~CUploadWizard() override;

    int CurrentPage() const;
    EUploadOutcome Outcome() const { return m_outcome; }
    const CUploadWizardData& Data() const { return m_data; }
    // The transfer while it runs or after it ended; null before.
    const CUploadTransfer* Transfer() const { return m_transfer.get(); }

public slots:
    void reject() override;

private slots:
    void Back();
    void Next();
    void Finish();
    void Browse();
    void Import();
    void LimitDetailedText();
    void TickTransfer();

private:
    QWidget* MakeWelcomePage();
    QWidget* MakeFilePage();
    QWidget* MakeDetailsPage();
    QWidget* MakeDescriptionsPage();
    QWidget* MakeTransferPage();
    void ShowPage(int page);
    void SetButtons(bool back, bool next, bool finish, bool cancel);
    bool LeaveFilePage();
    bool LeaveDetailsPage();
    bool LeaveDescriptionsPage();
    void StartTransfer();
    void Refuse(const char* message);

    CUploadProperties m_properties;
    prompt::IPrompt& m_prompts;
    CUploadWizardData m_data;
    EUploadOutcome m_outcome = EUploadOutcome::Cancelled;
    std::unique_ptr<CUploadTransfer> m_transfer;
    bool m_limiting = false;

    QLabel* m_heading = nullptr;
    QStackedWidget* m_pages = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_finish = nullptr;
    QPushButton* m_cancel = nullptr;
    QLineEdit* m_file = nullptr;
    QComboBox* m_area = nullptr;
    QLineEdit* m_email = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_company = nullptr;
    QLineEdit* m_version = nullptr;
    QCheckBox* m_reqForm = nullptr;
    QLineEdit* m_brief = nullptr;
    QPlainTextEdit* m_detailed = nullptr;
    QLabel* m_transferText = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QTimer* m_timer = nullptr;
};

} // namespace liftwell
