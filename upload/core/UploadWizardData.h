#pragma once
// What the visitor enters in the upload wizard, the checks each page makes before it lets the
// visitor go on, and what the entries become: the names on the FTP server and the description
// file sent beside the upload. No user interface here; the wizard's pages call these.

#include "DescriptionFile.h"
#include "UploadProperties.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace liftwell {

inline constexpr std::size_t WIZARD_FIELD_LIMIT = 259;
// 15 lines of 78 with a line break after each, a break counted once (as the visitor sees it),
// although the description file holds it as CR LF.
inline constexpr std::size_t DETAILED_DESCRIPTION_LIMIT = 1185;
// How much of a file Import reads; the description's own limit then applies.
inline constexpr std::size_t IMPORT_LIMIT = 1186;

inline constexpr const char* MESSAGE_CAPTION_ERROR = "Error";
inline constexpr const char* MESSAGE_NO_FILENAME = "Must enter a filename.";
inline constexpr const char* MESSAGE_NO_FILE = "File does not exist.";
inline constexpr const char* MESSAGE_BAD_FILENAME =
    "The file's name holds a line break or another control character, so it cannot be "
    "sent. Rename the file and choose it again.";
inline constexpr const char* MESSAGE_NO_EMAIL = "You must fill in the email address.";
inline constexpr const char* MESSAGE_NO_TITLE = "You must fill in the title.";
inline constexpr const char* MESSAGE_NO_BRIEF = "You must fill in the brief description.";

struct CUploadWizardData {
    std::string localFile; // the chosen file's path on this machine
    std::string areaName;  // the chosen area's name
    std::string email;
    std::string title;
    std::string version;
    std::string company;
    bool collectContactInformation = false; // "ReqForm"
    std::string briefDescription;
    std::string detailedDescription; // line breaks CR LF
};

// The file and area page: null when the file can be sent, else the message to show (caption
// MESSAGE_CAPTION_ERROR). Only a regular file that opens for reading passes.
const char* CheckFilePage(const std::string& localFile);
// The listing details page.
const char* CheckDetailsPage(const CUploadWizardData& data);
// The descriptions page.
const char* CheckDescriptionPage(const CUploadWizardData& data);

// The file's name without its directory.
std::string BareFileName(std::string_view localFile);

// `text` with every line break (LF, CR LF or a lone CR) written CR LF.
std::string WithCrLf(std::string_view text);
// A detailed description held to DETAILED_DESCRIPTION_LIMIT bytes, each line break counted
// once, cut without splitting a UTF-8 sequence, then written with CR LF line breaks.
std::string LimitDetailedDescription(std::string_view text);

// The name the file gets on the FTP server: the area's path and the bare file name, joined by
// '/'. The area's path may separate its directories with '/' or '\'; empty directories are
// dropped, so a path with or without a trailing separator gives the same name. False, with
// `remoteName` empty, when the path would leave the login directory (an absolute path, a drive
// letter, a ".." directory) or when either part holds a control character.
bool BuildRemoteName(std::string_view areaPath, std::string_view localFile,
                     std::string& remoteName);

// The description file's content for the chosen area: false when no area of that exact name
// is in the list, in which case no description is sent.
bool BuildDescription(const CUploadWizardData& data, const CUploadAreaList& areas,
                      CUploadDescription& description);

} // namespace liftwell
