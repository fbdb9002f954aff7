#include "QtPrompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace prompt {

QString QtFilter(const std::string& filter) {
    QStringList entries;
    for (const CFilterEntry& entry : ParseFilter(filter)) {
        QStringList patterns;
        for (const std::string& pattern : entry.patterns) {
            patterns << (pattern == "*.*" ? QStringLiteral("*") : QString::fromStdString(pattern));
        }
        entries << QString::fromStdString(entry.label) + " (" + patterns.join(' ') + ")";
    }
    return entries.join(";;");
}

QWidget* CQtPrompt::Owner() const {
    QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr ? modal : m_parent;
}

EAnswer CQtPrompt::Message(const std::string& text, const std::string& caption, EButtons buttons,
                           EIcon icon) {
    QMessageBox box(Owner());
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    switch (icon) {
    case EIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case EIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case EIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case EIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case EIcon::None:
        break;
    }
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    switch (buttons) {
    case EButtons::Ok:
        break;
    case EButtons::OkCancel:
        standard = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case EButtons::YesNo:
        standard = QMessageBox::Yes | QMessageBox::No;
        break;
    case EButtons::YesNoCancel:
        standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    }
    box.setStandardButtons(standard);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return EAnswer::Ok;
    case QMessageBox::Yes:
        return EAnswer::Yes;
    case QMessageBox::No:
        return EAnswer::No;
    case QMessageBox::Cancel:
        return EAnswer::Cancel;
    default:
        return DismissAnswer(buttons);
    }
}

bool CQtPrompt::ChooseFile(const CFileRequest& request, std::string& path) {
    const QString chosen = QFileDialog::getOpenFileName(
        Owner(), QString::fromStdString(request.title),
        QString::fromStdString(request.initialPath), QtFilter(request.filter));
    if (chosen.isEmpty()) {
        return false;
    }
    path = chosen.toStdString();
    return true;
}

bool CQtPrompt::ChooseFolder(const std::string& title, const std::string& start,
                             std::string& path) {
    const QString chosen = QFileDialog::getExistingDirectory(
        Owner(), QString::fromStdString(title), QString::fromStdString(start));
    if (chosen.isEmpty()) {
        return false;
    }
    path = chosen.toStdString();
    return true;
}

} // namespace prompt
