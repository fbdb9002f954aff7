#pragma once
// Small pieces the windows share: texts between the core and Qt, the date field, limited text
// fields, list helpers.

#include "DateTime.h"

#include <QDateEdit>
#include <QLineEdit>
#include <QString>

#include <cstddef>
#include <string>
#include <vector>

class QAbstractItemView;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QVBoxLayout;

// The file-open filter of "Import description from text file:".
inline constexpr char TEXT_FILE_FILTER[] = "Text Files (.txt)|*.txt|All Files (*.*)|*.*||";

inline QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}
inline std::string FromQt(const QString& text) {
    return text.toStdString();
}

// A text field that takes at most `limit` characters.
QLineEdit* LimitedEdit(int limit, QWidget* parent = nullptr);

// The date field: a date edit in the user's short date format with a calendar that drops down.
// An empty field stands for no date.
class CDateField : public QDateEdit {
    Q_OBJECT
public:
    explicit CDateField(QWidget* parent = nullptr);
    void SetValue(const CDateTime& date);
    // The date at 00:00:00; a null date when the field is empty.
    CDateTime Value() const;
};

// The rows selected in a view, in ascending order.
std::vector<std::size_t> SelectedRows(const QAbstractItemView* view);

// A list of rows with fixed, left-aligned columns (text, width).
QTreeWidget* ColumnList(const std::vector<std::pair<QString, int>>& columns,
                        QWidget* parent = nullptr);

// A label for `buddy` (its mnemonic moves the focus there), added to `grid` at `row` with the
// field beside it.
QLabel* AddField(QGridLayout* grid, int row, const QString& text, QWidget* field);

// A push button with an object name, for the windows' own buttons.
QPushButton* NamedButton(const QString& text, const char* name, QWidget* parent = nullptr);

// The moderation dialogs' buttons on the right of their list: "&Review...", "&Post" and
// "&Delete..." at the top, "Close" and "Help" at the bottom.
struct CModerationButtons {
    QPushButton* review;
    QPushButton* post;
    QPushButton* remove;
    QPushButton* close;
    QPushButton* help;
};
CModerationButtons AddModerationButtons(QHBoxLayout* row, QWidget* list, QWidget* parent);

// A brief and a detailed description under their labels, and the import of a text file below;
// returns the import button.
QPushButton* AddDescriptionFields(QVBoxLayout* layout, const QString& briefLabel, QLineEdit* brief,
                                  const QString& detailedLabel, QPlainTextEdit* detailed,
                                  QWidget* parent);
