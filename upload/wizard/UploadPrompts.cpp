#include "UploadPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

#include <vector>

namespace liftwell {

std::string QtNameFilters(const std::string& filter) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (pos < filter.size()) {
        const std::size_t bar = filter.find('|', pos);
        const std::size_t stop = bar == std::string::npos ? filter.size() : bar;
        fields.push_back(filter.substr(pos, stop - pos));
        pos = stop + 1;
    }
    std::string filters;
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].empty()) {
            break; // the "||" that ends the list
        }
        std::string patterns = fields[i + 1];
        for (char& c : patterns) {
            if (c == ';') {
                c = ' ';
            }
        }
        if (patterns == "*.*") {
            patterns = "*";
        }
        std::string description = fields[i];
        // Qt reads the patterns from the parentheses: the design's "(*.*)" would hide files
        // without a dot.
        const std::size_t open = description.rfind(" (");
        if (open != std::string::npos && description.back() == ')') {
            description.resize(open);
        }
        filters += (filters.empty() ? "" : ";;") + description + " (" + patterns + ")";
    }
    return filters;
}

void CQtUploadPrompts::Message(const std::string& text, const std::string& caption) {
    QMessageBox::critical(m_parent, QString::fromStdString(caption), QString::fromStdString(text));
}

bool CQtUploadPrompts::ChooseFile(const std::string& title, const std::string& filter,
                                  std::string& path) {
    const QString chosen =
        QFileDialog::getOpenFileName(m_parent, QString::fromStdString(title), QString(),
                                     QString::fromStdString(QtNameFilters(filter)));
    if (chosen.isEmpty()) {
        return false;
    }
    path = chosen.toStdString();
    return true;
}

} // namespace liftwell
