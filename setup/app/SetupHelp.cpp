#include "SetupHelp.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>

namespace {

UrlOpener& Opener() {
    static UrlOpener opener;
    return opener;
}

const char* Topic(int context) {
    switch (context) {
    case HELP_GENERAL:
        return "general";
    case HELP_FILE_GROUPS:
        return "file-groups";
    case HELP_FILE_AREAS:
        return "file-areas";
    case HELP_GROUP_EDITOR:
        return "group-editor";
    case HELP_AREA_EDITOR:
        return "area-editor";
    case HELP_UPLOAD_OPTIONS:
        return "upload-options";
    case HELP_HTTP_UPLOADS:
        return "http-uploads";
    default:
        return "";
    }
}

} // namespace

QString SetupHelpUrl(int context) {
    const QString guide = QDir::cleanPath(QApplication::applicationDirPath() +
                                          "/../share/dorvale/help/setup/guide.html");
    QUrl url = QUrl::fromLocalFile(guide);
    const QString topic = QString::fromLatin1(Topic(context));
    if (!topic.isEmpty()) {
        url.setFragment(topic);
    }
    return url.toString();
}

bool OpenInBrowser(const QString& address) {
    if (Opener()) {
        return Opener()(address);
    }
    return QDesktopServices::openUrl(QUrl(address));
}

void SetUrlOpener(UrlOpener opener) {
    Opener() = std::move(opener);
}

void AddHelp(QDialog* dialog, QDialogButtonBox* buttons, std::function<int()> context) {
    const auto open = [context = std::move(context)] { OpenInBrowser(SetupHelpUrl(context())); };
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
    help->setObjectName("help");
    QObject::connect(buttons, &QDialogButtonBox::helpRequested, dialog, open);
    auto* key = new QShortcut(QKeySequence::HelpContents, dialog);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, dialog, open);
}
