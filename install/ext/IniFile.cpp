#include "IniFile.h"

#include "Fd.h"
#include "Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace inifile {

namespace {

constexpr std::size_t NPOS = std::string::npos;
// A record file is small; anything larger is not one.
constexpr std::size_t MAX_FILE_BYTES = 16 << 20;

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

bool CIniFile::Load(const std::string& path, std::string& error) {
    m_lines.clear();
    m_exists = false;
    base::CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) {
        if (errno == ENOENT) {
            return true;
        }
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    if (!base::ReadAll(fd.Get(), text, MAX_FILE_BYTES)) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    Parse(text);
    m_exists = true;
    return true;
}

void CIniFile::Parse(std::string_view text) {
    m_lines.clear();
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        CLine line;
        if (end == std::string_view::npos) {
            line.text = std::string(text);
            text = {};
        } else {
            line.text = std::string(text.substr(0, end));
            line.ending = "\n";
            text.remove_prefix(end + 1);
        }
        if (!line.ending.empty() && !line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.ending = "\r\n";
        }
        m_lines.push_back(std::move(line));
    }
}

bool CIniFile::SectionName(const std::string& line, std::string& name) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') {
        return false;
    }
    const std::size_t close = trimmed.find(']');
    if (close == std::string_view::npos) {
        return false;
    }
    name = std::string(Trim(trimmed.substr(1, close - 1)));
    return true;
}

bool CIniFile::Entry(const std::string& line, std::string& key, std::string& value) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#' ||
        trimmed.front() == '[') {
        return false;
    }
    const std::size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return false;
    }
    key = std::string(Trim(trimmed.substr(0, equals)));
    std::string_view rest = Trim(trimmed.substr(equals + 1));
    // One pair of quotes around the whole value goes; a value that merely begins and ends
    // with a quoted word ("prog" -u "lib") is kept as it is.
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"' &&
        rest.substr(1, rest.size() - 2).find('"') == std::string_view::npos) {
        rest = rest.substr(1, rest.size() - 2);
    }
    value = std::string(rest);
    return !key.empty();
}

std::size_t CIniFile::FindSection(std::string_view section) const {
    std::string name;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i].text, name) && base::EqualsNoCase(name, section)) {
            return i;
        }
    }
    return NPOS;
}

std::size_t CIniFile::SectionEnd(std::size_t header) const {
    std::string name;
    std::size_t i = header + 1;
    while (i < m_lines.size() && !SectionName(m_lines[i].text, name)) {
        ++i;
    }
    return i;
}

std::size_t CIniFile::FindEntry(std::string_view section, std::string_view key) const {
    const std::size_t header = FindSection(section);
    if (header == NPOS) {
        return NPOS;
    }
    std::string entryKey;
    std::string value;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (Entry(m_lines[i].text, entryKey, value) && base::EqualsNoCase(entryKey, key)) {
            return i;
        }
    }
    return NPOS;
}

std::vector<std::pair<std::string, std::string>> CIniFile::Section(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> entries;
    const std::size_t header = FindSection(section);
    if (header == NPOS) {
        return entries;
    }
    std::string key;
    std::string value;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (Entry(m_lines[i].text, key, value)) {
            entries.emplace_back(key, value);
        }
    }
    return entries;
}

bool CIniFile::Get(std::string_view section, std::string_view key, std::string& value) const {
    const std::size_t line = FindEntry(section, key);
    std::string entryKey;
    return line != NPOS && Entry(m_lines[line].text, entryKey, value);
}

void CIniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string text = std::string(key) + "=" + std::string(value);
    const std::size_t line = FindEntry(section, key);
    if (line != NPOS) {
        m_lines[line].text = text;
        return;
    }
    // New lines take the ending the file already uses.
    const std::string ending = !m_lines.empty() && m_lines.front().ending == "\r\n" ? "\r\n" : "\n";
    if (!m_lines.empty() && m_lines.back().ending.empty()) {
        m_lines.back().ending = ending;
    }
    std::size_t header = FindSection(section);
    if (header == NPOS) {
        m_lines.push_back({"[" + std::string(section) + "]", ending});
        m_lines.push_back({text, ending});
        return;
    }
    // After the section's last entry, so blank lines and comments before the next section
    // stay where they are.
    std::size_t insertAt = header + 1;
    std::string entryKey;
    std::string entryValue;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (Entry(m_lines[i].text, entryKey, entryValue)) {
            insertAt = i + 1;
        }
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), CLine{text, ending});
}

bool CIniFile::Remove(std::string_view section, std::string_view key) {
    const std::size_t line = FindEntry(section, key);
    if (line == NPOS) {
        return false;
    }
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(line));
    return true;
}

std::string CIniFile::Text() const {
    std::string text;
    for (const CLine& line : m_lines) {
        text += line.text;
        text += line.ending;
    }
    return text;
}

bool CIniFile::Save(const std::string& path, std::string& error) const {
    std::string temporary = path + ".XXXXXX";
    base::CFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.IsOpen()) {
        error = path + ": cannot make a temporary file: " + std::strerror(errno);
        return false;
    }
    // A file keeps its permissions; a new one is its owner's alone (a record may hold a
    // connection's password).
    struct stat info {};
    const mode_t mode = ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0600;
    if (::fchmod(fd.Get(), mode) != 0 || !base::WriteAll(fd.Get(), Text()) ||
        ::fsync(fd.Get()) != 0 || !fd.Close() || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool WriteEntry(const std::string& path, std::string_view section, std::string_view key,
                std::string_view value, std::string& error) {
    CIniFile file;
    if (!file.Load(path, error)) {
        return false;
    }
    file.Set(section, key, value);
    return file.Save(path, error);
}

} // namespace inifile
