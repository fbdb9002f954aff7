#include "Widgets.h"

#include <QAbstractItemView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// The field's "no date": below every date a file can have.
const QDate NO_DATE(1753, 1, 1);
} // namespace

QLineEdit* LimitedEdit(int limit, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(limit);
    return edit;
}

CDateField::CDateField(QWidget* parent) : QDateEdit(parent) {
    setCalendarPopup(true);
    setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    setMinimumDate(NO_DATE);
    setSpecialValueText(" ");
}

void CDateField::SetValue(const CDateTime& date) {
    const QDate value(date.GetYear(), date.GetMonth(), date.GetDay());
    setDate(date.IsNull() || !value.isValid() ? NO_DATE : value);
}

CDateTime CDateField::Value() const {
    const QDate value = date();
    if (value <= NO_DATE) {
        return {};
    }
    return CDateTime(value.year(), value.month(), value.day());
}

std::vector<std::size_t> SelectedRows(const QAbstractItemView* view) {
    std::vector<std::size_t> rows;
    if (view->selectionModel() == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

QTreeWidget* ColumnList(const std::vector<std::pair<QString, int>>& columns, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setColumnCount(static_cast<int>(columns.size()));
    QStringList headers;
    for (const auto& column : columns) {
        headers << column.first;
    }
    list->setHeaderLabels(headers);
    list->header()->setSectionsMovable(false);
    list->header()->setStretchLastSection(true);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        list->setColumnWidth(i, columns[static_cast<std::size_t>(i)].second);
    }
    return list;
}

QLabel* AddField(QGridLayout* grid, int row, const QString& text, QWidget* field) {
    auto* label = new QLabel(text);
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    return label;
}

QPushButton* NamedButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

CModerationButtons AddModerationButtons(QHBoxLayout* row, QWidget* list, QWidget* parent) {
    CModerationButtons buttons{
        NamedButton("&Review...", "review", parent), NamedButton("&Post", "post", parent),
        NamedButton("&Delete...", "delete", parent), NamedButton("Close", "close", parent),
        NamedButton("Help", "help", parent)};
    auto* column = new QVBoxLayout;
    column->addWidget(buttons.review);
    column->addWidget(buttons.post);
    column->addWidget(buttons.remove);
    column->addStretch(1);
    column->addWidget(buttons.close);
    column->addWidget(buttons.help);
    row->addWidget(list, 1);
    row->addLayout(column);
    return buttons;
}

QPushButton* AddDescriptionFields(QVBoxLayout* layout, const QString& briefLabel, QLineEdit* brief,
                                  const QString& detailedLabel, QPlainTextEdit* detailed,
                                  QWidget* parent) {
    brief->setObjectName("brief");
    detailed->setObjectName("detailed");
    auto* import = NamedButton("B&rowse...", "import", parent);
    auto* briefText = new QLabel(briefLabel, parent);
    briefText->setBuddy(brief);
    auto* detailedText = new QLabel(detailedLabel, parent);
    detailedText->setBuddy(detailed);
    auto* importText = new QLabel("&Import description from text file:", parent);
    importText->setBuddy(import);
    auto* importRow = new QHBoxLayout;
    importRow->addWidget(importText);
    importRow->addWidget(import);
    importRow->addStretch(1);
    layout->addWidget(briefText);
    layout->addWidget(brief);
    layout->addWidget(detailedText);
    layout->addWidget(detailed, 1);
    layout->addLayout(importRow);
    return import;
}
