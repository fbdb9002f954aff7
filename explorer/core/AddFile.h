#pragma once
// Adding one file to the catalogue: the formatted file submission, the common e-mail check, the
// "Download URL" dialog's checks (and its copy into a hosting area), and the add-file wizard's
// pages as a model a front end binds its widgets to. Finish writes the catalogue.

#include "AdminContext.h"
#include "DateTime.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Field limits (bytes).
constexpr std::size_t TITLE_LIMIT = 30;
constexpr std::size_t VERSION_LIMIT = 15;
constexpr std::size_t AUTHOR_LIMIT = 254;
constexpr std::size_t EMAIL_LIMIT = 254;
constexpr std::size_t LOCAL_PATH_LIMIT = 254;

inline constexpr char MSG_ILLEGAL_EMAIL[] = "Illegal characters in e-mail address.";
inline constexpr char MSG_INVALID_EMAIL[] = "Invalid e-mail address.";
inline constexpr char MSG_NO_TITLE[] = "Please enter a valid file title.";
inline constexpr char MSG_NO_AREA[] = "Please select a file area to receive the file.";
inline constexpr char MSG_NO_URL[] = "Please enter at least one valid download URL.";
inline constexpr char MSG_DELETE_ITEM[] = "Are you sure you want to delete this item?";
inline constexpr char MSG_BAD_URL[] = "Please enter a valid ftp or http URL";
inline constexpr char MSG_BAD_FILE[] = "Please select a valid file to add";
inline constexpr char MSG_NO_HOST_AREA[] = "Please select a file area to host this file";
inline constexpr char MSG_SPACES[] =
    "FTP cannot send file names with embedded spaces. Click Yes to "
    "use the DOS filename, or click No to ignore.";
inline constexpr char MSG_COPY_TO_HOST[] =
    "The selected file needs to be copied to the host directory. Do you want to copy this file?";
inline constexpr char MSG_COPY_FAILED[] = "Could not copy the requested file to the host path";
inline constexpr char MSG_SUBMISSION_FOUND[] =
    "A formatted file submission was found on your "
    "clipboard. Would you like to process this file now?";

// ---- The formatted file submission ----

struct CSubmission {
    std::map<std::string, std::string> pairs;
    std::string detailed; // everything after the first empty line

    std::string Get(const std::string& key) const;
    // "Date" (mm/dd/yy; a two-digit year below 50 is 20yy, otherwise 19yy). False when absent
    // or not a date.
    bool GetDate(CDateTime& date) const;
    // "ReqForm": its first character is Y, y or 1.
    bool GetReqForm() const;
    // "Size": its digits, other characters skipped.
    double GetSize() const;
    // "SiteUrl1", "SiteUrl2", ... up to the first missing or empty one.
    std::vector<std::string> GetSiteUrls() const;
};

// True (and `submission` filled) when `text` holds "Title=", "SiteName1=" and "SiteUrl1="
// (letter case aside). Lines may be of any length and end in CR, LF or CR LF.
bool ParseSubmission(const std::string& text, CSubmission& submission);

// ---- Checks ----

enum class EEmailCheck { Ok, IllegalCharacters, NoAt };
EEmailCheck CheckEmailAddress(const std::string& email);
// The common e-mail check with its message (a stop box with the program's title); with
// `required`, an empty address is refused too ("Invalid e-mail address.").
bool ValidateEmail(const CAdminContext& context, const std::string& email, bool required);

// An Internet address of the ftp, http or https service with a host.
bool IsValidDownloadUrl(const std::string& url);

// ---- The "Download URL" dialog ----

struct CLocationDialogState {
    bool local = false;
    std::string url;      // remote mode
    std::string fileName; // local mode: the local file's path
    std::uint32_t areaId = 0;
};

// The dialog opened on an existing location: local mode for "local://<id>/<name>" (the file
// being the area's path joined with the name), remote mode for anything else.
CLocationDialogState ParseLocationForDialog(const CAdminContext& context,
                                            const std::string& location);

// OK in remote mode: the location, or false (the message shown, the dialog stays).
bool AcceptRemoteLocation(const CAdminContext& context, const std::string& url,
                          std::string& location);

enum class ELocalAccept {
    Accepted,   // `location` holds the local location
    StayOnFile, // the dialog stays, focus on the file name
    StayOnArea, // the dialog stays, focus on the area list
    Stay,       // the dialog stays (Cancel or No to a question, or a failed copy)
};
// OK in local mode: the file must exist, an area be chosen; a name with spaces is offered a
// copy named with '_' for each space (beside the original); a file outside the area's
// directory is copied into it, replacing a file of that name. `fileName` is updated to the
// file finally used.
ELocalAccept AcceptLocalLocation(const CAdminContext& context, std::string& fileName,
                                 std::uint32_t areaId, std::string& location);

// `path` made absolute, with links and ".." resolved as far as it exists.
std::string ResolvedPath(const std::string& path);

// ---- The wizard ----

enum class EFileKind { Web = 1, Local = 2 };

// The add-file wizard's data and page decisions. A page re-initialises its fields when
// Generation() moved since it last did (the clipboard page or the first page was left with
// Next); otherwise it keeps what was typed.
class CAddFileModel {
public:
    explicit CAddFileModel(CAdminContext& context) : m_context(context) {}

    // Reads a clipboard text: true when it is a formatted submission (the clipboard page is
    // then shown first).
    bool TakeClipboard(const std::string& text);
    bool HasSubmission() const { return m_hasSubmission; }
    const CSubmission& Submission() const { return m_submission; }
    bool UsesSubmission() const { return m_useSubmission; }
    int Generation() const { return m_generation; }
    // "Local file" can be chosen only when an area is hosted locally.
    bool CanAddLocalFile() const { return !m_context.HostingAreas().empty(); }

    // Next on the clipboard page: true goes straight to the title page.
    bool LeaveClipboardPage(bool useSubmission);
    // Next on the first page: the kind and the address or local path.
    void LeaveFirstPage(EFileKind kind, const std::string& fileText);

    void InitTitlePage();
    void ToggleArea(std::uint32_t areaId);
    bool IsAreaChosen(std::uint32_t areaId) const;
    bool LeaveTitlePage();

    void InitDetailsPage();
    bool LeaveDetailsPage();

    void InitDescriptionPage();
    // Appends the whole of a text file to the detailed description.
    bool ImportDescription(const std::string& path);
    bool LeaveDescriptionPage();

    // Fills the list; true when a local file's "Download URL" dialog must now be opened in
    // local mode on fileText (its result then goes through AddLocation).
    bool InitUrlPage();
    void AddLocation(const std::string& location) { locations.push_back(location); }
    // "&Remove" with its question; true when removed.
    bool RemoveLocation(std::size_t index);
    bool LeaveUrlPage();

    // Writes the catalogue: the file, its areas in the order chosen, its locations in list
    // order, stopping at the first failure. The new id in `fileId`.
    bool Finish(double& fileId);

    // The pages' fields.
    EFileKind kind = EFileKind::Web;
    std::string fileText;
    std::string title;
    std::vector<double> areaIds;
    std::string version;
    CDateTime date;
    double size = 0;
    bool reqForm = false;
    std::string author;
    std::string email;
    std::string brief;
    std::string detailed;
    std::vector<std::string> locations;

private:
    CAdminContext& m_context;
    CSubmission m_submission;
    bool m_hasSubmission = false;
    bool m_useSubmission = false;
    int m_generation = 0;
};

// Trims blanks (spaces, tabs, line breaks) from both ends.
std::string TrimBlanks(const std::string& text);
