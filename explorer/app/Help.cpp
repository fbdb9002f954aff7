#include "Help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

QString& Directory() {
    static QString directory;
    return directory;
}

bool OpenPage(const QString& page, const QString& topic) {
    QUrl url = QUrl::fromLocalFile(QDir(HelpDirectory()).absoluteFilePath(page));
    if (!topic.isEmpty()) {
        url.setFragment(topic);
    }
    return QDesktopServices::openUrl(url);
}

} // namespace

void SetHelpDirectory(const QString& directory) {
    Directory() = directory;
}

QString HelpDirectory() {
    return Directory();
}

QString DefaultHelpDirectory(const QString& programDirectory) {
    return QDir::cleanPath(programDirectory + "/../share/dorvale/help");
}

bool OpenHelpTopics() {
    return OpenPage("index.html", {});
}

bool OpenGuide(const QString& topic) {
    return OpenPage("guide.html", topic);
}

bool OpenInBrowser(const QString& address) {
    return QDesktopServices::openUrl(QUrl(address));
}
