#include "Reviews.h"

#include "Fd.h"
#include "Selection.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EIcon;

namespace {

std::vector<std::string> SplitLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        const bool last = end == std::string_view::npos;
        if (last) {
            end = bytes.size();
        }
        std::string line(bytes.substr(pos, end - pos));
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        pos = last ? end : end + 1;
    }
    return lines;
}

// Walks the records: `fields` header lines, then text lines until a line starting with TAB.
template <class TEntry, class TAssign>
std::vector<TEntry> ParseRecords(std::string_view bytes, std::size_t fields, TAssign assign) {
    std::vector<TEntry> entries;
    TEntry entry;
    std::size_t line = 0;
    for (const std::string& text : SplitLines(bytes)) {
        if (!text.empty() && text[0] == '\t') {
            entries.push_back(entry);
            entry = TEntry();
            line = 0;
            continue;
        }
        if (line < fields) {
            assign(entry, line, text);
        } else {
            if (line > fields) {
                entry.text += "\r\n";
            }
            entry.text += text;
        }
        ++line;
    }
    return entries; // an unfinished last record is dropped
}

// A line written that began with a TAB would end its record when read back, and the rest of
// the record would become a broken one of its own: such a TAB is written as a space.
char LineStart(char c, bool atLineStart) {
    return atLineStart && c == '\t' ? ' ' : c;
}

// One field line: a field holds no line break, whatever it was given.
std::string FieldLine(const std::string& field) {
    std::string line;
    for (char c : field) {
        line += (c == '\r' || c == '\n') ? ' ' : LineStart(c, line.empty());
    }
    return line + "\r\n";
}

std::string TextLines(const std::string& text) {
    std::string lines;
    bool atLineStart = true;
    for (char c : text) {
        if (c == '\r') {
            continue;
        }
        lines += c == '\n' ? std::string("\r\n") : std::string(1, LineStart(c, atLineStart));
        atLineStart = c == '\n';
    }
    return lines + "\r\n\t\r\n";
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : std::string();
}

void WriteOrDelete(const std::string& path, const std::string& bytes) {
    std::error_code ec;
    if (bytes.empty()) {
        std::filesystem::remove(path, ec);
        return;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace

std::string ReviewFilePath(const std::string& httpPath, long fileId) {
    return httpPath + "reviews/" + std::to_string(fileId) + ".txt";
}

std::string SubmissionsFilePath(const std::string& httpPath) {
    return httpPath + "reviews/submissions.txt";
}

std::vector<ReviewEntry> ParseReviews(std::string_view bytes) {
    return ParseRecords<ReviewEntry>(bytes, 4,
                                     [](ReviewEntry& e, std::size_t line, const std::string& text) {
                                         switch (line) {
                                         case 0:
                                             e.name = text;
                                             break;
                                         case 1:
                                             e.email = text;
                                             break;
                                         case 2:
                                             e.anonymous = base::EqualsNoCase(text, "true");
                                             break;
                                         default:
                                             e.date = text;
                                             break;
                                         }
                                     });
}

std::vector<SubmissionEntry> ParseSubmissions(std::string_view bytes) {
    return ParseRecords<SubmissionEntry>(
        bytes, 6, [](SubmissionEntry& e, std::size_t line, const std::string& text) {
            switch (line) {
            case 0:
                e.fileId = std::strtol(text.c_str(), nullptr, 10);
                break;
            case 1:
                e.fileName = text;
                break;
            case 2:
                e.name = text;
                break;
            case 3:
                e.email = text;
                break;
            case 4:
                e.anonymous = base::EqualsNoCase(text, "true");
                break;
            default:
                e.date = text;
                break;
            }
        });
}

std::string FormatReview(const ReviewEntry& review) {
    return FieldLine(review.name) + FieldLine(review.email) +
           FieldLine(review.anonymous ? "true" : "false") + FieldLine(review.date) +
           TextLines(review.text);
}

std::string FormatSubmission(const SubmissionEntry& submission) {
    return FieldLine(std::to_string(submission.fileId)) + FieldLine(submission.fileName) +
           FormatReview(submission);
}

std::vector<ReviewEntry> ReadReviewFile(const std::string& path) {
    return ParseReviews(ReadAll(path));
}

std::vector<SubmissionEntry> ReadSubmissionsFile(const std::string& path) {
    return ParseSubmissions(ReadAll(path));
}

void WriteReviewFile(const std::string& path, const std::vector<ReviewEntry>& reviews) {
    std::string bytes;
    for (const ReviewEntry& review : reviews) {
        bytes += FormatReview(review);
    }
    WriteOrDelete(path, bytes);
}

void WriteSubmissionsFile(const std::string& path, const std::vector<SubmissionEntry>& entries) {
    std::string bytes;
    for (const SubmissionEntry& entry : entries) {
        bytes += FormatSubmission(entry);
    }
    WriteOrDelete(path, bytes);
}

CSubmissionsLock::CSubmissionsLock(const std::string& path, bool create) {
    if (create) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(path.c_str(),
                              (create ? O_RDWR | O_CREAT : O_RDWR) | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            return;
        }
        int locked;
        while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        struct stat held {};
        struct stat named {};
        if (locked == 0 && ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
            m_fd = fd;
            return;
        }
        ::close(fd);
        if (locked != 0) {
            return;
        }
    }
}

CSubmissionsLock::~CSubmissionsLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool AppendSubmission(const std::string& path, const SubmissionEntry& submission,
                      std::string& error) {
    CSubmissionsLock lock(path, true);
    if (!lock.Held()) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    // One write at the end, so that even a reader without the lock sees whole records.
    if (::lseek(lock.Fd(), 0, SEEK_END) < 0 ||
        !base::WriteAll(lock.Fd(), FormatSubmission(submission))) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool AppendReview(const CAdminContext& context, const SubmissionEntry& submission) {
    const std::string path = ReviewFilePath(context.HttpPath(), submission.fileId);
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        context.Tell(MSG_REVIEW_FILE_FAILED, CAPTION_ERROR, EIcon::Error);
        return false;
    }
    const std::string bytes = FormatReview(submission);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

int ValidateReview(const CAdminContext& context, const ReviewEntry& review) {
    const std::string* fields[] = {&review.name, &review.email, &review.date, &review.text};
    const char* messages[] = {MSG_NAME_REQUIRED, MSG_EMAIL_REQUIRED, MSG_DATE_REQUIRED,
                              MSG_REVIEW_REQUIRED};
    for (int i = 0; i < 4; ++i) {
        if (fields[i]->empty()) {
            context.Tell(messages[i], CAPTION_ERROR, EIcon::Error);
            return i;
        }
    }
    return -1;
}

CReviewsPage::CReviewsPage(const CAdminContext& context, long fileId, std::string title)
    : m_context(context), m_fileId(fileId), m_title(std::move(title)),
      m_reviews(ReadReviewFile(ReviewFilePath(context.HttpPath(), fileId))) {}

void CReviewsPage::Add(const ReviewEntry& review) {
    m_reviews.push_back(review);
    m_changed = true;
}

void CReviewsPage::Replace(std::size_t index, const ReviewEntry& review) {
    if (index < m_reviews.size()) {
        m_reviews[index] = review;
        m_changed = true;
    }
}

bool CReviewsPage::Delete(std::size_t index) {
    if (index >= m_reviews.size() ||
        m_context.Ask(MSG_DELETE_REVIEW, CAPTION_WARNING, EButtons::YesNo, EIcon::Warning) !=
            EAnswer::Yes) {
        return false;
    }
    m_reviews.erase(m_reviews.begin() + static_cast<std::ptrdiff_t>(index));
    m_changed = true;
    return true;
}

void CReviewsPage::Leave() {
    if (m_changed) {
        WriteReviewFile(ReviewFilePath(m_context.HttpPath(), m_fileId), m_reviews);
        m_changed = false;
    }
}

CSubmissionsModel::CSubmissionsModel(const CAdminContext& context)
    : m_context(context), m_loaded(ReadAll(SubmissionsFilePath(context.HttpPath()))),
      m_entries(ParseSubmissions(m_loaded)) {}

std::string CSubmissionsModel::EditCaption(const SubmissionEntry& submission) {
    return "Edit Submission - " + submission.fileName;
}

bool CSubmissionsModel::PostEdited(std::size_t index, const SubmissionEntry& edited) {
    if (index >= m_entries.size() || ValidateReview(m_context, edited) >= 0 ||
        !AppendReview(m_context, edited)) {
        return false;
    }
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    m_changed = true;
    return true;
}

bool CSubmissionsModel::DeleteOne(std::size_t index) {
    if (index >= m_entries.size() ||
        m_context.Ask(MSG_DELETE_SUBMISSION, CAPTION_WARNING, EButtons::YesNo, EIcon::Warning) !=
            EAnswer::Yes) {
        return false;
    }
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    m_changed = true;
    return true;
}

std::size_t CSubmissionsModel::Post(const std::vector<std::size_t>& rows) {
    std::vector<std::size_t> posted;
    for (std::size_t row : ValidRows(rows, m_entries.size())) {
        if (AppendReview(m_context, m_entries[row])) {
            posted.push_back(row);
        }
    }
    EraseRows(m_entries, posted);
    m_changed = m_changed || !posted.empty();
    return posted.size();
}

std::size_t CSubmissionsModel::Delete(const std::vector<std::size_t>& rows) {
    const std::vector<std::size_t> selected = ValidRows(rows, m_entries.size());
    if (selected.empty() || m_context.Ask(MSG_DELETE_SUBMISSIONS, CAPTION_WARNING, EButtons::YesNo,
                                          EIcon::Warning) != EAnswer::Yes) {
        return 0;
    }
    EraseRows(m_entries, selected);
    m_changed = true;
    return selected.size();
}

void CSubmissionsModel::Close() {
    if (!m_changed) {
        return;
    }
    const std::string path = SubmissionsFilePath(m_context.HttpPath());
    // The site appends under this lock; between reading what it appended and writing the
    // file back, nothing may arrive. A file removed meanwhile is made anew to hold the lock on,
    // or the site could begin one unseen and have it overwritten.
    CSubmissionsLock lock(path, true);
    // What the site appended since the file was read: its records beyond those read, matched
    // one by one rather than as leading bytes, as the file may have been removed and begun
    // anew by the site meanwhile.
    std::vector<std::string> read;
    for (const SubmissionEntry& entry : ParseSubmissions(m_loaded)) {
        read.push_back(FormatSubmission(entry));
    }
    std::string bytes;
    for (const SubmissionEntry& entry : m_entries) {
        bytes += FormatSubmission(entry);
    }
    // The next Close keeps what it finds beyond the list as it is now.
    m_loaded = bytes;
    for (const SubmissionEntry& entry : ParseSubmissions(ReadAll(path))) {
        std::string record = FormatSubmission(entry);
        const auto seen = std::find(read.begin(), read.end(), record);
        if (seen != read.end()) {
            read.erase(seen);
        } else {
            bytes += record;
        }
    }
    WriteOrDelete(path, bytes);
    m_changed = false;
}
