#include "FileSearchDlg.h"

#include "FileList.h"
#include "Help.h"
#include "Widgets.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CFileSearchDlg::CFileSearchDlg(const std::string& text, unsigned mask, QWidget* parent)
    : CHelpDialog(help::FIND_FILES, parent), m_text(new QLineEdit(this)),
      m_fields(new QListWidget(this)) {
    setWindowTitle("File Search");
    m_text->setObjectName("text");
    m_text->setText(ToQt(text));
    m_fields->setObjectName("fields");
    for (int bit = 0; bit < SEARCH_FIELD_COUNT; ++bit) {
        auto* item = new QListWidgetItem(SEARCH_FIELD_NAMES[bit], m_fields);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const bool checked = mask == 0 || (mask & (1u << bit)) != 0;
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
    m_fields->setMaximumHeight(m_fields->sizeHintForRow(0) * SEARCH_FIELD_COUNT +
                               2 * m_fields->frameWidth() + 4);
    auto* textLabel = new QLabel("Text to find:", this);
    textLabel->setBuddy(m_text);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, &CHelpDialog::OnHelp);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(textLabel);
    layout->addWidget(m_text);
    layout->addWidget(new QLabel("Where to search:", this));
    layout->addWidget(m_fields);
    layout->addWidget(buttons);
    resize(340, sizeHint().height());
}

std::string CFileSearchDlg::Text() const {
    return FromQt(m_text->text());
}

unsigned CFileSearchDlg::Mask() const {
    unsigned mask = 0;
    for (int bit = 0; bit < SEARCH_FIELD_COUNT; ++bit) {
        if (m_fields->item(bit)->checkState() == Qt::Checked) {
            mask |= 1u << bit;
        }
    }
    return mask;
}
