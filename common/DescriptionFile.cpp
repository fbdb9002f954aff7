#include "DescriptionFile.h"

#include "Fd.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using base::CFd;

constexpr std::string_view CRLF = "\r\n";

// Header keys as written; the reader compares them exactly, letter case included.
constexpr std::string_view KEY_FILENAME = "Filename";
constexpr std::string_view KEY_AREA = "Area";
constexpr std::string_view KEY_TITLE = "Title";
constexpr std::string_view KEY_VERSION = "Version";
constexpr std::string_view KEY_SHORTDESC = "ShortDesc";
constexpr std::string_view KEY_COMPANY = "Company";
constexpr std::string_view KEY_EMAIL = "Email";
constexpr std::string_view KEY_REQFORM = "ReqForm";
constexpr std::string_view KEY_SEPARATOR = ": ";

void AssignCut(std::string& target, std::string_view value, std::size_t max) {
    target.assign(base::CutUtf8(value, max));
}

// Hands out the input in line pieces of at most DESC_MAX_LINE bytes. Reads through a small
// buffer of its own, so the whole input is never held in memory.
class CPieceReader {
public:
    using ReadFn = std::function<std::ptrdiff_t(char*, std::size_t)>; // bytes read, 0 end, -1 error

    enum EPiece {
        PIECE_END,  // nothing more to read
        PIECE_LINE, // the piece ends its line
        PIECE_PART, // the line goes on in the next piece
    };

    explicit CPieceReader(ReadFn read) : m_read(std::move(read)) {}

    EPiece ReadPiece(std::string& piece) {
        piece.clear();
        int c = Next();
        if (c < 0) {
            return PIECE_END;
        }
        for (;; c = Next()) {
            if (c < 0 || c == '\n') {
                return PIECE_LINE;
            }
            if (c == '\r' && Peek() == '\n') {
                Next();
                return PIECE_LINE;
            }
            piece.push_back(static_cast<char>(c));
            if (piece.size() == DESC_MAX_LINE) {
                return EndFullPiece(piece);
            }
        }
    }

    bool Failed() const { return m_bFailed; }
    std::size_t Consumed() const { return m_consumed; }

private:
    // A piece that filled up ends its line only when the line end comes next; a line of exactly
    // DESC_MAX_LINE bytes is therefore one piece, not a piece and an empty line.
    EPiece EndFullPiece(std::string& piece) {
        const int c = Peek();
        if (c < 0) {
            return PIECE_LINE;
        }
        if (c == '\n') {
            Next();
            return PIECE_LINE;
        }
        if (c == '\r') {
            Next();
            if (Peek() == '\n') {
                Next();
                return PIECE_LINE;
            }
            PushBack("\r");
            return PIECE_PART;
        }
        // Pieces become lines of their own, so a character must not straddle two of them.
        const std::size_t keep = base::Utf8CutBefore(piece, static_cast<char>(c));
        PushBack(std::string_view(piece).substr(keep));
        piece.resize(keep);
        return PIECE_PART;
    }

    int Peek() {
        if (m_pendingPos < m_pending.size()) {
            return static_cast<unsigned char>(m_pending[m_pendingPos]);
        }
        if (m_pos == m_len && !Fill()) {
            return -1;
        }
        return static_cast<unsigned char>(m_buffer[m_pos]);
    }

    int Next() {
        const int c = Peek();
        if (c < 0) {
            return c;
        }
        if (m_pendingPos < m_pending.size()) {
            ++m_pendingPos;
        } else {
            ++m_pos;
        }
        ++m_consumed;
        return c;
    }

    // Only ever called with the previous hand-back used up (it holds at most three bytes and a
    // piece is far longer).
    void PushBack(std::string_view bytes) {
        m_pending.assign(bytes);
        m_pendingPos = 0;
        m_consumed -= bytes.size();
    }

    bool Fill() {
        if (m_bEnd) {
            return false;
        }
        const std::ptrdiff_t n = m_read(m_buffer, sizeof m_buffer);
        if (n <= 0) {
            m_bEnd = true;
            m_bFailed = n < 0;
            return false;
        }
        m_pos = 0;
        m_len = static_cast<std::size_t>(n);
        return true;
    }

    ReadFn m_read;
    char m_buffer[16384];
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
    std::string m_pending;
    std::size_t m_pendingPos = 0;
    std::size_t m_consumed = 0;
    bool m_bEnd = false;
    bool m_bFailed = false;
};

void ParseHeaderLine(std::string_view line, bool bLineGoesOn, CUploadDescription& desc,
                     bool& bFilenameCut) {
    const std::size_t separator = line.find(KEY_SEPARATOR);
    if (separator == std::string_view::npos) {
        return;
    }
    const std::string_view key = line.substr(0, separator);
    const std::string_view value = line.substr(separator + KEY_SEPARATOR.size());
    if (key == KEY_FILENAME) {
        AssignCut(desc.strFilename, value, DESC_MAX_FILENAME);
        // A name that lost its end names some other file.
        bFilenameCut = bLineGoesOn || value.size() > DESC_MAX_FILENAME;
    } else if (key == KEY_TITLE) {
        AssignCut(desc.strTitle, value, DESC_MAX_TITLE);
    } else if (key == KEY_VERSION) {
        AssignCut(desc.strVersion, value, DESC_MAX_VERSION);
    } else if (key == KEY_SHORTDESC) {
        AssignCut(desc.strShortDesc, value, DESC_MAX_SHORTDESC);
    } else if (key == KEY_COMPANY) {
        AssignCut(desc.strCompany, value, DESC_MAX_COMPANY);
    } else if (key == KEY_EMAIL) {
        AssignCut(desc.strEmail, value, DESC_MAX_EMAIL);
    } else if (key == KEY_REQFORM) {
        desc.bReqForm = !value.empty() && (value[0] == 'Y' || value[0] == 'y' || value[0] == '1');
    }
}

// Appends one line of the long description; false once nothing more can be added.
bool AppendLongLine(std::string line, std::string& text, const CDescriptionReadOptions& options) {
    if (options.bTrimTrailingSpaces) {
        const std::size_t end = line.find_last_not_of(' ');
        line.resize(end == std::string::npos ? 0 : end + 1);
    }
    line += CRLF;
    const std::size_t room = DESC_MAX_LONGDESC - text.size();
    if (line.size() <= room) {
        text += line;
        return text.size() < DESC_MAX_LONGDESC;
    }
    if (!options.bWholeLinesOnly) {
        text += base::CutUtf8(line, room);
    }
    return false;
}

bool Parse(CPieceReader& reader, CUploadDescription& desc, const CDescriptionReadOptions& options) {
    desc = CUploadDescription{};
    bool bFilenameCut = false;
    std::string piece;
    for (;;) {
        const auto kind = reader.ReadPiece(piece);
        if (kind == CPieceReader::PIECE_END) {
            break;
        }
        if (piece.empty()) { // only a line end yields an empty piece
            desc.bHeaderEnded = true;
            break;
        }
        ParseHeaderLine(piece, kind == CPieceReader::PIECE_PART, desc, bFilenameCut);
        if (reader.Consumed() >= DESC_MAX_HEADER_BYTES) {
            desc.bHeaderTooLong = true;
            break;
        }
    }
    if (desc.bHeaderEnded) {
        // Once the text is full the rest of the file cannot change it: stop reading there.
        while (reader.ReadPiece(piece) != CPieceReader::PIECE_END &&
               AppendLongLine(piece, desc.strLongDesc, options)) {
        }
    }
    desc.bFilenameSafe = !bFilenameCut && IsBareFileName(desc.strFilename);
    return !reader.Failed();
}

bool HasLineBreak(std::string_view value) {
    return value.find_first_of("\r\n") != value.npos;
}

} // namespace

std::string DescriptionFileName(std::string_view uploadedName) {
    std::string name(uploadedName);
    name += DESC_EXTENSION;
    return name;
}

bool IsBareFileName(std::string_view name) {
    // '\\' is an ordinary byte here, but it separated directories where these files come from and
    // still does for anything that hands the name to such a system.
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

bool FormatDescription(const CUploadDescription& desc, std::string& out) {
    const std::pair<std::string_view, std::string_view> header[] = {
        {KEY_FILENAME, desc.strFilename},   {KEY_AREA, desc.strArea},
        {KEY_TITLE, desc.strTitle},         {KEY_VERSION, desc.strVersion},
        {KEY_SHORTDESC, desc.strShortDesc}, {KEY_COMPANY, desc.strCompany},
        {KEY_EMAIL, desc.strEmail},         {KEY_REQFORM, desc.bReqForm ? "Yes" : "No"},
    };
    if (!IsBareFileName(desc.strFilename)) {
        return false;
    }
    std::string text;
    for (const auto& [key, value] : header) {
        if (HasLineBreak(value)) {
            return false;
        }
        text += key;
        text += KEY_SEPARATOR;
        text += value;
        text += CRLF;
    }
    text += CRLF;
    text += desc.strLongDesc;
    out = std::move(text);
    return true;
}

bool WriteDescriptionFile(const CUploadDescription& desc, const std::string& directory,
                          std::string& path) {
    std::string text;
    if (!FormatDescription(desc, text)) {
        return false;
    }
    std::string dir = directory;
    if (dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        dir = tmp && *tmp ? tmp : "/tmp";
    }
    if (dir.back() != '/') {
        dir += '/';
    }
    std::string name = dir + "desXXXXXX";
    CFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.Get() < 0) {
        return false;
    }
    const bool bWritten = base::WriteAll(fd.Get(), text);
    const bool bClosed = fd.Close();
    if (!bWritten || !bClosed) {
        ::unlink(name.c_str());
        return false;
    }
    path = std::move(name);
    return true;
}

bool ReadDescription(std::string_view text, CUploadDescription& desc,
                     const CDescriptionReadOptions& options) {
    CPieceReader reader([&text](char* buffer, std::size_t size) -> std::ptrdiff_t {
        const std::size_t n = std::min(size, text.size());
        std::memcpy(buffer, text.data(), n);
        text.remove_prefix(n);
        return static_cast<std::ptrdiff_t>(n);
    });
    return Parse(reader, desc, options);
}

bool ReadDescription(std::istream& in, CUploadDescription& desc,
                     const CDescriptionReadOptions& options) {
    CPieceReader reader([&in](char* buffer, std::size_t size) -> std::ptrdiff_t {
        if (in.bad()) {
            return -1;
        }
        in.read(buffer, static_cast<std::streamsize>(size));
        if (in.bad()) {
            return -1;
        }
        return static_cast<std::ptrdiff_t>(in.gcount());
    });
    return Parse(reader, desc, options);
}

bool ReadDescriptionFile(const std::string& path, CUploadDescription& desc,
                         const CDescriptionReadOptions& options) {
    // Non-blocking, so that a FIFO planted under a ".desc" name cannot stall the reader; it is
    // then refused as not a regular file.
    CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    CPieceReader reader([&fd](char* buffer, std::size_t size) -> std::ptrdiff_t {
        for (;;) {
            const ssize_t n = ::read(fd.Get(), buffer, size);
            if (n >= 0 || errno != EINTR) {
                return n;
            }
        }
    });
    return Parse(reader, desc, options);
}

std::vector<CDescriptionPair> ScanDescriptionFiles(const std::string& directory,
                                                   const CDescriptionReadOptions& options) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() > DESC_EXTENSION.size() && name.ends_with(DESC_EXTENSION)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());

    std::string dir = directory;
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    std::vector<CDescriptionPair> pairs;
    for (const auto& name : names) {
        CDescriptionPair pair;
        pair.strDescriptionPath = dir + name;
        pair.strUploadedPath = pair.strDescriptionPath.substr(0, pair.strDescriptionPath.size() -
                                                                     DESC_EXTENSION.size());
        if (!fs::is_regular_file(pair.strUploadedPath, ec)) {
            continue;
        }
        if (!ReadDescriptionFile(pair.strDescriptionPath, pair.description, options)) {
            continue;
        }
        pairs.push_back(std::move(pair));
    }
    return pairs;
}
