#pragma once
// The configured virus checker: VirusChecker (the program), VirusCmdLine (its arguments before
// the file) and VirusExitCode (the code by which it reports an infected file). The checker is
// started without a shell: its command line is split into words, the file's path (quoted)
// being the last, and waited for without limit.

#include <string>

struct CVirusCheckResult {
    bool ran = false;      // a checker ran to its end (exitCode is valid)
    bool infected = false; // ...and returned exactly VirusExitCode
    int exitCode = 0;
};

// Not configured (no VirusChecker, or no VirusExitCode), or a checker that cannot be started,
// counts as a pass with `ran` false.
CVirusCheckResult RunVirusCheck(const std::string& path);

// Whether a checker is configured (the Virus Check command is enabled only then).
bool IsVirusCheckerConfigured();

inline constexpr char MSG_VIRUS_FAILED[] =
    "File %s failed virus checking!\n(Virus checker return code: %d)";
inline constexpr char MSG_VIRUS_PASSED[] =
    "The selected file passed virus checking.\n(Virus checker return code: %d)";
inline constexpr char MSG_NO_LOCAL_COPIES[] = "No local copies of the selected file were found.";

// The design's formats filled in.
std::string VirusFailedText(const std::string& path, int exitCode);
std::string VirusPassedText(int exitCode);
