#pragma once
// "Download URL": a download location, either an address on the web or a file hosted in a
// locally hosted area (copied there when it lies elsewhere).

#include "AddFile.h"
#include "HelpPropertySheet.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CDownloadUrlDlg : public CHelpDialog {
    Q_OBJECT
public:
    explicit CDownloadUrlDlg(CAdminContext& context, QWidget* parent = nullptr);

    // Opens on an existing location (local mode for a local location).
    void SetLocation(const std::string& location);
    // Opens in local mode on a file.
    void SetLocalFile(const std::string& path);
    // The location after OK.
    const std::string& Location() const { return m_location; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetLocal(bool local);
    void OnBrowse();

    CAdminContext& m_context;
    std::vector<AreaRecord> m_hosts;
    std::string m_location;
    QRadioButton* m_remote;
    QRadioButton* m_local;
    QLineEdit* m_url;
    QLineEdit* m_file;
    QPushButton* m_browse;
    QComboBox* m_area;
};
