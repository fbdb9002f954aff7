#pragma once
// Profile (INI) files as the install and uninstall programs read and write them: "[section]"
// lines, "key=value" entries below them. Section and key names are compared without regard
// to ASCII case. Every line this reader does not change (comments, blank lines, other
// sections, lines it cannot make sense of) is written back exactly as it was read, line
// ending included, so a file others also write keeps what they put in it.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace inifile {

class CIniFile {
public:
    // Reads `path`; a missing file is an empty one (`exists` false). False with the reason
    // when the file is there but cannot be read.
    [[nodiscard]] bool Load(const std::string& path, std::string& error);
    void Parse(std::string_view text);

    bool Exists() const { return m_exists; }

    // The entries of a section in file order, keys and values trimmed of blanks (and a value
    // of one pair of surrounding double quotes). Empty when the section is absent.
    std::vector<std::pair<std::string, std::string>> Section(std::string_view section) const;
    // False when the section or key is absent.
    bool Get(std::string_view section, std::string_view key, std::string& value) const;

    // Replaces the entry's value in place, or adds "key=value" after the section's last
    // entry, or a new section at the end.
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // Removes the entry; false when it was absent.
    bool Remove(std::string_view section, std::string_view key);

    std::string Text() const;
    // Replaces the file whole (temporary file, fsync, rename), so a reader sees the old
    // file or the new one. False with the reason.
    [[nodiscard]] bool Save(const std::string& path, std::string& error) const;

private:
    struct CLine {
        std::string text;   // as read, without its line ending
        std::string ending; // "\n", "\r\n" or "" (the last line of a file without one)
    };
    // The section a line opens, when it is a "[name]" line.
    static bool SectionName(const std::string& line, std::string& name);
    // The key and value of an entry line; false for comments and other lines.
    static bool Entry(const std::string& line, std::string& key, std::string& value);
    // The index of the section's header line, or npos.
    std::size_t FindSection(std::string_view section) const;
    // The end (exclusive) of the section whose header is at `header`.
    std::size_t SectionEnd(std::size_t header) const;
    std::size_t FindEntry(std::string_view section, std::string_view key) const;

    std::vector<CLine> m_lines;
    bool m_exists = false;
};

// Reads one file, sets one entry and stores it again; false with the reason.
[[nodiscard]] bool WriteEntry(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view value, std::string& error);

} // namespace inifile
