#include "NodeProperties.h"

#include "CatalogueTree.h"
#include "Help.h"
#include "Widgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace {

QLineEdit* ReadOnly(const std::string& text, const char* name) {
    auto* edit = new QLineEdit(ToQt(text));
    edit->setObjectName(name);
    edit->setReadOnly(true);
    return edit;
}

} // namespace

CAreaPropertiesSheet::CAreaPropertiesSheet(const AreaRecord& area, QWidget* parent)
    : CHelpPropertySheet("File Area Properties", parent) {
    auto* page = new CHelpPropertyPage("General", help::AREA_PROPERTIES);
    auto* grid = new QGridLayout;
    AddField(grid, 0, "File Area Name:", ReadOnly(area.Name, "name"));
    AddField(grid, 1, "File Area Path:", ReadOnly(area.Path, "path"));
    AddField(grid, 2, "FTP Alias:", ReadOnly(area.FtpAlias, "ftpAlias"));
    AddField(grid, 3, "HTTP Alias", ReadOnly(area.HttpAlias, "httpAlias"));
    auto* security = new QGroupBox("Security");
    auto* uploads = new QCheckBox("Allow File Uploads");
    uploads->setObjectName("uploads");
    uploads->setChecked((area.Flags & AREA_UPLOADABLE) != 0);
    uploads->setEnabled(false);
    auto* downloads = new QCheckBox("Allow File Downloads");
    downloads->setObjectName("downloads");
    downloads->setChecked((area.Flags & AREA_DOWNLOADABLE) != 0);
    downloads->setEnabled(false);
    auto* securityLayout = new QVBoxLayout(security);
    securityLayout->addWidget(uploads);
    securityLayout->addWidget(downloads);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addWidget(security);
    layout->addStretch(1);
    AddPage(page);
    resize(420, sizeHint().height());
}

CGroupPropertiesSheet::CGroupPropertiesSheet(const CAdminContext& context, const std::string& group,
                                             QWidget* parent)
    : CHelpPropertySheet("File Group Properties", parent) {
    auto* page = new CHelpPropertyPage("General", help::AREA_PROPERTIES);
    auto* grid = new QGridLayout;
    AddField(grid, 0, "Group Name:", ReadOnly(group, "name"));
    auto* areas = new QListWidget;
    areas->setObjectName("areas");
    for (const CGroupMember& member :
         GroupProperties(context.DatabasePath(), group, context.Areas())) {
        auto* item = new QListWidgetItem(ToQt(member.area.Name), areas);
        // Shown, not changed here: the setup program edits groups.
        item->setFlags(Qt::ItemIsUserCheckable);
        item->setCheckState(member.checked ? Qt::Checked : Qt::Unchecked);
    }
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addWidget(new QLabel("File Areas"));
    layout->addWidget(areas, 1);
    AddPage(page);
    resize(380, 360);
}
