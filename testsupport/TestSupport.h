#pragma once
// Helpers shared by the tests: a private temporary directory and running a program.

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh directory under $TMPDIR, removed with everything in it on destruction.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

struct CProgramResult {
    int exitCode = -1; // the exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// Runs argv[0] (a path) with the current environment plus `env` ("NAME=VALUE"),
// feeding `input` to its standard input, and collects both outputs.
CProgramResult RunProgram(const std::vector<std::string>& argv,
                          const std::vector<std::string>& env = {}, const std::string& input = {});

// The path of a program built into <build>/bin.
std::string BuiltProgram(const std::string& name);

// Reads and writes a whole file as bytes.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

} // namespace testsupport

namespace testsupport {

// Switches the process to German (de_DE.UTF-8), a locale whose numbers and dates differ from
// English. Where the system does not have it, it is compiled once with localedef into
// ~/.cache/dorvale-locales and found through LOCPATH. False, with the reason, when neither
// works.
bool UseGermanLocale(std::string& why);

} // namespace testsupport
