#pragma once
// The General, Upload Options and HTTP Uploads pages: fields over the settings model.

#include "SetupSheet.h"

#include <functional>
#include <map>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QSpinBox;

// Shows and edits settings of one page: each field is tied to its setting.
class CSettingsPage : public CSetupPage {
    Q_OBJECT
public:
    CSettingsPage(CSetupSheet& sheet, const char* title, ESettingsPage page);
    bool OnKillActive() override;
    void OnApply() override;

protected:
    using Browser = std::function<void(QLineEdit*)>;
    // A text field with its label, and a button `browseLabel` that runs `browse` on it.
    QLineEdit* AddText(ESetting setting, const char* label, QWidget* into = nullptr,
                       Browser browse = {}, const char* browseLabel = "Browse...");
    // The directory browser titled `title`, starting from the field's text; a new directory
    // replaces the text.
    Browser Folder(const char* title, ESetting setting);
    // Takes the fields' texts into the model, and puts the model's values into the fields.
    virtual void ToModel();
    virtual void FromModel();
    void Focus(ESetting setting);
    CSettingsModel& Model() { return m_sheet.Session().Settings(); }

    ESettingsPage m_page;
    std::map<ESetting, QLineEdit*> m_fields;
};

class CGeneralPage : public CSettingsPage {
    Q_OBJECT
public:
    explicit CGeneralPage(CSetupSheet& sheet);

protected:
    void OnFirstShow() override;
};

class CUploadOptionsPage : public CSettingsPage {
    Q_OBJECT
public:
    explicit CUploadOptionsPage(CSetupSheet& sheet);

protected:
    void OnFirstShow() override;
    void ToModel() override;
    void FromModel() override;

private:
    void UpdateEnabled();
    QComboBox* m_allowUploads;
    QCheckBox* m_dizSdi;
    QGroupBox* m_virusGroup;
};

class CHttpUploadsPage : public CSettingsPage {
    Q_OBJECT
public:
    explicit CHttpUploadsPage(CSetupSheet& sheet);

protected:
    void OnFirstShow() override;
    void ToModel() override;
    void FromModel() override;

private:
    QComboBox* m_overwrite;
    QSpinBox* m_threshold;
};
