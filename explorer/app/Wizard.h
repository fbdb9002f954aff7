#pragma once
// Wizards: a dialog that shows its pages one at a time with Back, Next (or Finish), Cancel and
// Help. The wizard keeps the ids of the pages visited: Next pushes the page left and moves on
// (to the next page in order, or to the page the page names); Back pops and returns there, so
// Back retraces exactly the pages that were shown. A page that refuses to be shown is passed
// over in the direction of travel.

#include "HelpPropertySheet.h"

#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;
class QStackedWidget;
class CWizard;

class CWizardPage : public CHelpPropertyPage {
    Q_OBJECT
public:
    // `id` names the page (for the stack of visited pages and for pages that jump).
    CWizardPage(int id, const QString& title, const char* helpTopic, QWidget* parent = nullptr);

    int GetId() const { return m_id; }
    CWizard* GetWizard() const;

    // Next: the id of the page to go to, NEXT_IN_ORDER, or STAY to stay here.
    static constexpr int NEXT_IN_ORDER = 0;
    static constexpr int STAY = -1;
    virtual int OnWizardNext();
    // Finish: false keeps the wizard open.
    virtual bool OnWizardFinish();
    // Cancel: false keeps the wizard open.
    virtual bool OnQueryCancel();

private:
    int m_id;
};

class CWizard : public QDialog {
    Q_OBJECT
public:
    // The buttons a page offers (SetWizardButtons).
    enum EWizardButton { WIZB_BACK = 1, WIZB_NEXT = 2, WIZB_FINISH = 4 };

    explicit CWizard(const QString& caption, QWidget* parent = nullptr);

    void AddPage(CWizardPage* page);
    CWizardPage* GetActivePage() const;
    CWizardPage* FindPage(int id) const;
    // Back, Next and Finish as `buttons` says; Finish takes Next's place.
    void SetWizardButtons(int buttons);
    // The Cancel button, for pages that must not be left at some moment.
    void EnableCancel(bool enable);

    QPushButton* BackButton() const { return m_back; }
    QPushButton* NextButton() const { return m_next; }
    QPushButton* FinishButton() const { return m_finish; }
    QPushButton* CancelButton() const { return m_cancel; }

public slots:
    void OnBack();
    void OnNext();
    void OnFinish();
    void OnHelp();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Shows the page at `index`, or the first page after (forward) or before it that accepts.
    bool Activate(int index, bool forward);
    int IndexOf(const CWizardPage* page) const;

    QString m_caption;
    QStackedWidget* m_stack;
    std::vector<CWizardPage*> m_pages;
    std::vector<int> m_visited;
    QPushButton* m_back;
    QPushButton* m_next;
    QPushButton* m_finish;
    QPushButton* m_cancel;
};
