#pragma once
// What the upload control keeps between uses: the FTP server's address, the account, and the
// areas a visitor may upload to, each a name shown in the wizard and a directory on the FTP
// server relative to the account's login directory. Texts are UTF-8; limits count bytes.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace liftwell {

inline constexpr std::size_t FTP_ADDRESS_LIMIT = 259;
inline constexpr std::size_t USERNAME_LIMIT = 63;
inline constexpr std::size_t PASSWORD_LIMIT = 31;
// Each name and path read from the Areas text form.
inline constexpr std::size_t AREA_FIELD_LIMIT = 259;

// The names under which a page (or a link) gives the control its properties.
inline constexpr const char* PROPERTY_FTP_ADDRESS = "FTP Address";
inline constexpr const char* PROPERTY_USER_NAME = "User Name";
inline constexpr const char* PROPERTY_USER_PASSWORD = "User Password";
inline constexpr const char* PROPERTY_FILE_AREAS = "File Areas";

// `text` cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string CutText(std::string_view text, std::size_t limit);

struct CUploadArea {
    std::string name; // shown to the visitor
    std::string path; // directory on the FTP server, relative to the login directory
};

// The area list in order. The Areas text form is, for each pair, the name, a carriage
// return, the path, a carriage return (no line feeds).
class CUploadAreaList {
public:
    // Appends one pair as given, whatever its length.
    void Add(std::string name, std::string path);
    void Clear() { m_areas.clear(); }

    // The list in the Areas text form.
    std::string Format() const;
    // Replaces the list with the pairs of `text`: alternating name and path fields, each
    // ended by a carriage return or by the end of the text and cut to AREA_FIELD_LIMIT; a
    // pair is kept only when both its name and its path are not empty.
    void Parse(std::string_view text);

    // The first pair whose name is exactly `name`; null when none.
    const CUploadArea* Find(std::string_view name) const;

    const std::vector<CUploadArea>& Items() const { return m_areas; }
    bool Empty() const { return m_areas.empty(); }

private:
    std::vector<CUploadArea> m_areas;
};

// The control's properties, each stored cut to its limit.
class CUploadProperties {
public:
    void SetFtpAddress(std::string_view value) { m_ftpAddress = CutText(value, FTP_ADDRESS_LIMIT); }
    void SetUsername(std::string_view value) { m_username = CutText(value, USERNAME_LIMIT); }
    void SetUserPassword(std::string_view value) {
        m_userPassword = CutText(value, PASSWORD_LIMIT);
    }

    const std::string& FtpAddress() const { return m_ftpAddress; }
    const std::string& Username() const { return m_username; }
    const std::string& UserPassword() const { return m_userPassword; }
    CUploadAreaList& Areas() { return m_areas; }
    const CUploadAreaList& Areas() const { return m_areas; }

private:
    std::string m_ftpAddress;
    std::string m_username;
    std::string m_userPassword;
    CUploadAreaList m_areas;
};

} // namespace liftwell
