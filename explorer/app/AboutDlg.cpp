#include "AboutDlg.h"

#include "Help.h"
#include "Icons.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>

#include <unistd.h>

QString PhysicalMemoryText() {
    const long long pages = ::sysconf(_SC_PHYS_PAGES);
    const long long pageSize = ::sysconf(_SC_PAGE_SIZE);
    const long long kilobytes = pages > 0 && pageSize > 0 ? pages * (pageSize / 1024) : 0;
    return QLocale().toString(kilobytes) + " KB";
}

CAboutDlg::CAboutDlg(QWidget* parent) : CHelpDialog(help::MAIN_WINDOW, parent) {
    setWindowTitle("About Dorvale Explorer");
    auto* icon = new QLabel(this);
    icon->setPixmap(icons::Application().pixmap(48, 48));
    auto* name = new QLabel("<b>Dorvale Explorer</b>", this);
    auto* version = new QLabel("Version " DORVALE_VERSION, this);
    version->setObjectName("version");
    auto* copyright = new QLabel("Copyright \u00a9 Halvren Software", this);
    auto* memoryLabel = new QLabel("Physical Memory Available to Windows:", this);
    auto* memory = new QLabel(PhysicalMemoryText(), this);
    memory->setObjectName("memory");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(name, 0, 1, 1, 2);
    layout->addWidget(version, 1, 1, 1, 2);
    layout->addWidget(copyright, 2, 1, 1, 2);
    layout->addWidget(memoryLabel, 3, 1);
    layout->addWidget(memory, 3, 2);
    layout->addWidget(buttons, 4, 0, 1, 3);
    layout->setColumnStretch(2, 1);
}
