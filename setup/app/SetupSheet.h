#pragma once
// "Dorvale Setup": the property sheet of the setup program. Its pages are created once and
// keep their state while the user moves between tabs; leaving a page checks it (and stays
// when the check fails); OK and Apply write every page that was shown.

#include "SetupDialogs.h"
#include "SetupSession.h"

#include <QDialog>

#include <functional>
#include <map>

class CSetupSheet;
class QIcon;
class QPushButton;
class QTabWidget;

// The program's icon: sliders over the library's blue, drawn at the sizes a window shows
// (title bar and task switcher).
QIcon SetupIcon();

class CSetupPage : public QWidget {
    Q_OBJECT
public:
    CSetupPage(CSetupSheet& sheet, const char* title);
    const QString& Title() const { return m_title; }
    bool WasShown() const { return m_shown; }
    // Where the guide opens for this page (EHelpContext).
    int HelpContext() const { return m_helpContext; }
    void SetHelpContext(int context) { m_helpContext = context; }

    // The page comes to the front; the first time it loads what it shows.
    void Activate();
    // Leaving the page: false keeps the user on it.
    virtual bool OnKillActive() { return true; }
    // OK or Apply, for a page that was shown.
    virtual void OnApply() {}

protected:
    virtual void OnFirstShow() {}
    CSetupSheet& m_sheet;

private:
    QString m_title;
    bool m_shown = false;
    int m_helpContext = 0;
};

class CSetupSheet : public QDialog {
    Q_OBJECT
public:
    // Makes a further page (the Servers page) for the sheet, when the program has one.
    using PageFactory = std::function<CSetupPage*(CSetupSheet&)>;

    CSetupSheet(CSetupSession& session, CQtSetupUi& ui, PageFactory serversPage = {},
                QWidget* parent = nullptr);

    CSetupSession& Session() { return m_session; }
    prompt::IPrompt& Prompt() { return m_session.Prompt(); }
    CQtSetupUi& Ui() { return m_ui; }

    // The tabs after Upload Options are made again for the upload mode the page shows now,
    // so HTTP Uploads appears or goes at once.
    void RebuildTabs();
    // Changes already made cannot be undone from here on: Cancel becomes Close.
    void CancelToClose();
    // Writes every page shown; false when the current page refuses to be left.
    bool Apply();

    QTabWidget* Tabs() const { return m_tabs; }
    CSetupPage* Page(ESheetPage page) const;
    void accept() override;

private:
    void TabChanged(int index);

    CSetupSession& m_session;
    CQtSetupUi& m_ui;
    QTabWidget* m_tabs;
    QPushButton* m_cancel;
    std::map<ESheetPage, CSetupPage*> m_pages;
    int m_current = -1;
    bool m_rebuilding = false;
};
