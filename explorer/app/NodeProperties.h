#pragma once
// "File Area Properties" and "File Group Properties": read-only sheets of one page each.

#include "AdminContext.h"
#include "HelpPropertySheet.h"

class CAreaPropertiesSheet : public CHelpPropertySheet {
    Q_OBJECT
public:
    CAreaPropertiesSheet(const AreaRecord& area, QWidget* parent = nullptr);
};

class CGroupPropertiesSheet : public CHelpPropertySheet {
    Q_OBJECT
public:
    CGroupPropertiesSheet(const CAdminContext& context, const std::string& group,
                          QWidget* parent = nullptr);
};
