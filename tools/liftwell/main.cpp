// liftwell: opens the upload wizard for a Dorvale site, from a dorvale-upload: link on the
// site's upload page or from options, and sends the chosen file with its description.

#include "Tool.h"
#include "UploadLaunch.h"

#include <QApplication>

namespace {

const char USAGE[] =
    "usage: liftwell [OPTIONS] [dorvale-upload:LINK]\n"
    "\n"
    "Shows the upload wizard: the visitor chooses a file and one of the site's upload\n"
    "areas, describes the file, and the wizard sends the file and its description to the\n"
    "site's FTP server, where the administrator finds them. The site's upload page links\n"
    "here with its FTP address and areas in a dorvale-upload: link; options given as well\n"
    "take precedence over the link.\n"
    "\n"
    "  --ftp-address HOST[:PORT]  the FTP server (port 21 when none is given)\n"
    "  --user NAME                the FTP account (anonymous when none is given)\n"
    "  --password-file FILE       the account's password, the first line of FILE; without\n"
    "                             it the wizard asks for the password of a named account\n"
    "  --area NAME=PATH           an area offered in the wizard and its directory on the\n"
    "                             FTP server, relative to the login directory; repeat for\n"
    "                             more (they replace the link's areas)\n"
    "  -h, --help                 this text\n"
    "\n"
    "  liftwell 'dorvale-upload:?FTP%20Address=ftp.example.org&File%20Areas=Files%0Dincoming%0D'\n"
    "  liftwell --ftp-address 127.0.0.1:2121 --user up --password-file ~/.ftp-pass \\\n"
    "           --area Files=incoming --area Games=incoming/games\n"
    "\n"
    "Needs a graphical session. The upload control must be registered\n"
    "(dorvale-regsvr libLiftwell.so); classes are found in the registry of\n"
    "$DORVALE_REGISTRY when set. To open dorvale-upload: links from a browser, install\n"
    "liftwell.desktop and run: xdg-mime default liftwell.desktop x-scheme-handler/dorvale-upload\n"
    "\n"
    "Exit status: 0 the file was sent; 1 it was not (cancelled, failed, or the wizard\n"
    "could not be shown); 2 bad usage.\n";

} // namespace

int main(int argc, char** argv) {
    const tool::CTool tool("liftwell", USAGE);
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    liftwell::CLaunchOptions options;
    while (args.Next()) {
        std::string value;
        if (args.Is("--ftp-address")) {
            if (!args.TakeValue(value)) {
                return tool.UsageError("--ftp-address needs an address");
            }
            options.ftpAddress = value;
        } else if (args.Is("--user")) {
            if (!args.TakeValue(value, true)) {
                return tool.UsageError("--user needs a name");
            }
            options.username = value;
        } else if (args.Is("--password-file")) {
            if (!args.TakeValue(options.passwordFile)) {
                return tool.UsageError("--password-file needs a file");
            }
        } else if (args.Is("--area")) {
            liftwell::CUploadArea area;
            if (!args.TakeValue(value) || !liftwell::ParseAreaOption(value, area)) {
                return tool.UsageError("--area needs NAME=PATH");
            }
            options.areas.push_back(area);
        } else if (args.IsPositional() && options.link.empty()) {
            options.link = args.Current();
        } else {
            return tool.UsageError(args.Unexpected());
        }
    }
    if (options.link.empty() && !options.ftpAddress) {
        return tool.UsageError("a dorvale-upload: link or --ftp-address is needed");
    }
    liftwell::CLaunch launch;
    std::vector<std::string> warnings;
    std::string error;
    const bool prepared = liftwell::PrepareLaunch(options, launch, warnings, error);
    for (const std::string& warning : warnings) {
        tool.Warn(warning);
    }
    if (!prepared) {
        return tool.Fail(error);
    }
    const std::string noDisplay = liftwell::MissingDisplay();
    if (!noDisplay.empty()) {
        return tool.Fail(noDisplay);
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("liftwell");
    LONG outcome = LIFTWELL_NOT_RUN;
    if (!liftwell::RunUploadControl(launch, outcome, error)) {
        return tool.Fail(error);
    }
    return outcome == LIFTWELL_SENT ? tool::EXIT_DONE : tool::EXIT_FAILED;
}
