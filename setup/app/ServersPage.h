#pragma once
// The Servers page (metabase mode only): the web and FTP server names, changed through the
// server selection; the managers follow when the page is left.

#include "ServerSelection.h"
#include "SetupSheet.h"

class QLineEdit;

class CServersPage : public CSetupPage {
    Q_OBJECT
public:
    explicit CServersPage(CSetupSheet& sheet);
    bool OnKillActive() override;
    void OnApply() override;

protected:
    void OnFirstShow() override;

private:
    void Change(const char* service, QLineEdit* field);

    CServerSelection m_selection;
    QLineEdit* m_web;
    QLineEdit* m_ftp;
};
