#pragma once
// Property sheets and their pages with help: a dialog of tabbed pages with OK, Cancel, Apply
// (when asked for) and Help. A page is asked before it is left (it may refuse, and stays) and,
// on OK, each page that was shown takes its fields. Help and F1 open the page's topic of the
// guide.

#include <QDialog>
#include <QString>

#include <vector>

class QPushButton;
class QTabWidget;

// A dialog with help: F1 and its Help button open its topic of the guide.
class CHelpDialog : public QDialog {
    Q_OBJECT
public:
    CHelpDialog(const char* helpTopic, QWidget* parent = nullptr);
public slots:
    void OnHelp();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    const char* m_helpTopic;
};

class CHelpPropertyPage : public QWidget {
    Q_OBJECT
public:
    CHelpPropertyPage(const QString& title, const char* helpTopic, QWidget* parent = nullptr);

    const QString& Title() const { return m_title; }
    const char* HelpTopic() const { return m_helpTopic; }
    bool WasActivated() const { return m_activated; }

    // The page is shown; false refuses.
    virtual bool OnSetActive();
    // The page is left (another page, or OK); false keeps it.
    virtual bool OnKillActive();
    // OK: the page takes its fields.
    virtual void OnOK();

private:
    friend class CHelpPropertySheet;
    friend class CWizard;
    QString m_title;
    const char* m_helpTopic;
    bool m_activated = false;
};

class CHelpPropertySheet : public QDialog {
    Q_OBJECT
public:
    explicit CHelpPropertySheet(const QString& caption, QWidget* parent = nullptr,
                                bool withApply = false);

    void AddPage(CHelpPropertyPage* page);
    CHelpPropertyPage* GetPage(int index) const;
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CHelpPropertyPage* GetActivePage() const;
    // Moves to a page, as a click on its tab does; false when the current page refused.
    bool SetActivePage(int index);
    // Changes already made cannot be cancelled: Cancel becomes Close.
    void CancelToClose();
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

public slots:
    void accept() override;
    void OnHelp();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnTabChanged(int index);

    QTabWidget* m_tabs;
    std::vector<CHelpPropertyPage*> m_pages;
    int m_current = -1;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
