#pragma once
// The description file that travels with an uploaded file: named after the upload with ".desc"
// appended, a header of "Key: value" lines ended by CR LF, an empty line, then the long
// description. The upload control writes it; the administration program reads it back.

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view DESC_EXTENSION = ".desc";

// Longest piece of a line the reader takes at once; a longer line arrives in several pieces.
inline constexpr std::size_t DESC_MAX_LINE = 254;
// How much of each value the reader keeps (bytes; a cut never splits a UTF-8 sequence).
inline constexpr std::size_t DESC_MAX_FILENAME = 260;
inline constexpr std::size_t DESC_MAX_TITLE = 30;
inline constexpr std::size_t DESC_MAX_VERSION = 15;
inline constexpr std::size_t DESC_MAX_SHORTDESC = 60;
inline constexpr std::size_t DESC_MAX_COMPANY = 254;
inline constexpr std::size_t DESC_MAX_EMAIL = 254;
inline constexpr std::size_t DESC_MAX_LONGDESC = 65535;
// A header that has not ended after this many bytes is not a description file's header; the
// reader gives up on it rather than scanning an arbitrarily large file.
inline constexpr std::size_t DESC_MAX_HEADER_BYTES = 64 * 1024;

struct CUploadDescription {
    std::string strFilename;  // "Filename": the uploaded file's bare name
    std::string strArea;      // "Area": written for the administrator's eyes, never read back
    std::string strTitle;     // "Title"
    std::string strVersion;   // "Version"
    std::string strShortDesc; // "ShortDesc"
    std::string strCompany;   // "Company"
    std::string strEmail;     // "Email"
    bool bReqForm = false;    // "ReqForm"
    std::string strLongDesc;  // everything after the empty line

    // Filled in by the reader.
    // False unless strFilename is a bare file name that can safely name a file inside an area's
    // directory: not empty, not "." or "..", no '/', '\\' or NUL, and not cut short by the reader.
    bool bFilenameSafe = false;
    bool bHeaderEnded = false;   // the empty line that ends the header was found
    bool bHeaderTooLong = false; // gave up after DESC_MAX_HEADER_BYTES without an empty line

    bool IsFilenameSafe() const { return bFilenameSafe; }
};

// How the long description is gathered. The defaults keep every line piece and cut the text at
// DESC_MAX_LONGDESC; the scan of uploads drops trailing spaces and whole lines that no longer fit.
struct CDescriptionReadOptions {
    bool bTrimTrailingSpaces = false; // each line loses its trailing spaces before CR LF is added
    bool bWholeLinesOnly = false;     // stop at the first line that does not fit whole
};

// One description file found beside its uploaded file.
struct CDescriptionPair {
    std::string strDescriptionPath; // <dir>/<N>.desc
    std::string strUploadedPath;    // <dir>/<N>
    CUploadDescription description;
};

// N + ".desc".
std::string DescriptionFileName(std::string_view uploadedName);

// True for a name that names a file directly inside a directory and nothing else.
bool IsBareFileName(std::string_view name);

// The file's bytes: the eight header lines in order, the empty line, the long description as
// is. Fails (returns false, `out` untouched) when a header value holds a line break, which would
// forge further header lines, or when the file name is not a bare file name.
bool FormatDescription(const CUploadDescription& desc, std::string& out);

// Writes the description into a new temporary file "desXXXXXX" in `directory` (the temporary
// directory, $TMPDIR or /tmp, when empty) and returns its path in `path`. On failure nothing is
// left behind.
[[nodiscard]] bool WriteDescriptionFile(const CUploadDescription& desc, const std::string& directory,
                          std::string& path);

// Parses description text. CR LF and LF both end a line; a CR not followed by LF is an ordinary
// byte. Reads no more than it needs: the header up to DESC_MAX_HEADER_BYTES, the long description
// up to its limit. Returns false only when the input could not be read.
[[nodiscard]] bool ReadDescription(std::string_view text, CUploadDescription& desc,
                     const CDescriptionReadOptions& options = {});
[[nodiscard]] bool ReadDescription(std::istream& in, CUploadDescription& desc,
                     const CDescriptionReadOptions& options = {});

// Opens and parses one description file; false when it is not a readable regular file.
[[nodiscard]] bool ReadDescriptionFile(const std::string& path, CUploadDescription& desc,
                         const CDescriptionReadOptions& options = {});

// Every "*.desc" in `directory` (sorted by name) whose uploaded file (its path without ".desc")
// exists as a regular file and which itself can be read. Pairs with an unsafe file name are
// returned too, marked; the caller refuses them.
std::vector<CDescriptionPair> ScanDescriptionFiles(const std::string& directory,
                                                   const CDescriptionReadOptions& options = {});
