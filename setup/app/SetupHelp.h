#pragma once
// Help and the browser for the setup program. Its help is a guide in HTML
// (docs/setup/guide.html), kept beside the program in ../share/dorvale/help/setup; each page
// and editor opens it at its own topic, found by the page's help context number. Pages and
// addresses open in the user's browser, through one opener that tests can replace.

#include <QString>

#include <functional>

class QDialog;
class QDialogButtonBox;

// The help context of each page and editor; 0 for none (the guide opens at its top).
enum EHelpContext : int {
    HELP_NONE = 0,
    HELP_GENERAL = 2,
    HELP_FILE_GROUPS = 6,
    HELP_FILE_AREAS = 7,
    HELP_GROUP_EDITOR = 8,
    HELP_AREA_EDITOR = 9,
    HELP_UPLOAD_OPTIONS = 11,
    HELP_HTTP_UPLOADS = 12,
};

// The guide's address at the context's topic.
QString SetupHelpUrl(int context);

// Opens an address in the user's browser; false when no browser took it.
bool OpenInBrowser(const QString& address);
using UrlOpener = std::function<bool(const QString&)>;
// Replaces the browser (tests); an empty opener restores it.
void SetUrlOpener(UrlOpener opener);

// Gives a dialog its Help button (in `buttons`) and F1, both opening the guide at the topic
// `context` names when asked.
void AddHelp(QDialog* dialog, QDialogButtonBox* buttons, std::function<int()> context);
