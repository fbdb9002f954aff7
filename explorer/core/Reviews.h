#pragma once
// Reviews of catalogued files and the visitors' review submissions, kept as text below HttpPath:
// "reviews/<FILE_ID>.txt" (the reviews the site shows for a file) and "reviews/submissions.txt"
// (reviews waiting for moderation). Lines end with CR LF; a record ends with a line holding a
// single TAB.
//
// Lines are read whole, however long: a long review line stays one line of its record, and a
// long name or date stays one field, so the record keeps its structure.

#include "AdminContext.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char MSG_REVIEW_FILE_FAILED[] =
    "Dorvale was unable to create the new review file.";
inline constexpr char MSG_NAME_REQUIRED[] = "Name field is required.";
inline constexpr char MSG_EMAIL_REQUIRED[] = "Email field is required.";
inline constexpr char MSG_DATE_REQUIRED[] = "Date field is required.";
inline constexpr char MSG_REVIEW_REQUIRED[] = "Review field is required.";
inline constexpr char MSG_DELETE_REVIEW[] =
    "Are you sure you want to delete the highlighted review?";
inline constexpr char MSG_DELETE_SUBMISSION[] = "Are you sure you want to delete this review?";
inline constexpr char MSG_DELETE_SUBMISSIONS[] =
    "Are you sure you want to delete the highlighted review(s)?";

// NOLINTBEGIN(readability-identifier-naming): the design's record names.
struct ReviewEntry {
    std::string name;
    std::string email;
    bool anonymous = false;
    std::string date;
    std::string text; // lines separated by CR LF
};

struct SubmissionEntry : ReviewEntry {
    long fileId = 0;
    std::string fileName;
};
// NOLINTEND(readability-identifier-naming)

std::string ReviewFilePath(const std::string& httpPath, long fileId);
std::string SubmissionsFilePath(const std::string& httpPath);

// Parsing and writing the files' bytes. An unfinished last record is dropped.
std::vector<ReviewEntry> ParseReviews(std::string_view bytes);
std::vector<SubmissionEntry> ParseSubmissions(std::string_view bytes);
std::string FormatReview(const ReviewEntry& review);
std::string FormatSubmission(const SubmissionEntry& submission);

// An unreadable or missing file reads as empty.
std::vector<ReviewEntry> ReadReviewFile(const std::string& path);
std::vector<SubmissionEntry> ReadSubmissionsFile(const std::string& path);
// Rewrites a file from its records; with none, deletes it. Failures are not reported.
void WriteReviewFile(const std::string& path, const std::vector<ReviewEntry>& reviews);
void WriteSubmissionsFile(const std::string& path, const std::vector<SubmissionEntry>& entries);

// The visitors' service appends to the submissions file while the administration program may
// rewrite it, possibly on other machines. Both hold an exclusive flock on the file while they
// change it; whoever waited on a file that a rewrite replaced or removed takes the lock again on
// the file the path names now.
class CSubmissionsLock {
public:
    // Opens (creating it, and its directory, when `create`) and locks the file; Held() tells.
    CSubmissionsLock(const std::string& path, bool create);
    ~CSubmissionsLock();
    CSubmissionsLock(const CSubmissionsLock&) = delete;
    CSubmissionsLock& operator=(const CSubmissionsLock&) = delete;
    bool Held() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

// Appends one submission in one write under the lock, creating the file when absent. False
// with the reason in `error`.
bool AppendSubmission(const std::string& path, const SubmissionEntry& submission,
                      std::string& error);

// Appends a submission to its file's review file (creating it); on failure shows "Dorvale was
// unable to create the new review file." (caption "Error").
bool AppendReview(const CAdminContext& context, const SubmissionEntry& submission);

// The "Edit Review" dialog's OK: name, e-mail, date and text must not be empty. Returns the
// index of the first empty field (0 name, 1 e-mail, 2 date, 3 text; its message shown), or -1.
int ValidateReview(const CAdminContext& context, const ReviewEntry& review);

// The "Reviews" page of a file's properties.
class CReviewsPage {
public:
    CReviewsPage(const CAdminContext& context, long fileId, std::string title);
    // "%s Reviews" with the file's title.
    std::string Caption() const { return m_title + " Reviews"; }
    const std::vector<ReviewEntry>& Reviews() const { return m_reviews; }

    void Add(const ReviewEntry& review);
    void Replace(std::size_t index, const ReviewEntry& review);
    // Asks first; true when deleted.
    bool Delete(std::size_t index);
    // Leaving the page: a changed list is written back (an empty one deletes the file).
    void Leave();
    bool IsChanged() const { return m_changed; }

private:
    const CAdminContext& m_context;
    long m_fileId;
    std::string m_title;
    std::vector<ReviewEntry> m_reviews;
    bool m_changed = false;
};

// The "Review New File Reviews" dialog: the submissions, posted or deleted.
class CSubmissionsModel {
public:
    explicit CSubmissionsModel(const CAdminContext& context);
    const std::vector<SubmissionEntry>& Submissions() const { return m_entries; }
    // "Edit Submission - %s" with the file name.
    static std::string EditCaption(const SubmissionEntry& submission);

    // Posts one submission as edited (validated first); on success it leaves the list.
    bool PostEdited(std::size_t index, const SubmissionEntry& edited);
    // "Dele&te" in the edit dialog: asks, then removes it.
    bool DeleteOne(std::size_t index);
    // Post and Delete over selected rows; return how many were handled.
    std::size_t Post(const std::vector<std::size_t>& rows);
    std::size_t Delete(const std::vector<std::size_t>& rows);
    // "Close": a changed list is written back (none left: the file is deleted). Submissions
    // the site appended while the dialog was open are kept after them.
    void Close();
    bool IsChanged() const { return m_changed; }

private:
    const CAdminContext& m_context;
    std::string m_loaded; // the file's bytes when it was read
    std::vector<SubmissionEntry> m_entries;
    bool m_changed = false;
};
