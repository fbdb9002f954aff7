#pragma once
// What every command-line program shares: its name in messages, the usage text behind
// --help, the one-line failure "program: message", the exit codes, and the option loop.
//
// A program's main is meant to read as: set up a CTool, walk the arguments with CArgs,
// make one call into its library, turn the result into an exit code.

#include <string>
#include <string_view>
#include <vector>

namespace tool {

inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_FAILED = 1; // failed or refused
inline constexpr int EXIT_USAGE = 2;  // the command line was wrong

class CTool {
public:
    // `name` as the user types it ("dorvale-serve", or "dorvale uploads" for a subcommand);
    // `usage` the whole text --help prints. Both must outlive the tool.
    CTool(const char* name, const char* usage) : m_name(name), m_usage(usage) {}

    const char* Name() const { return m_name; }

    // Prints the usage text on standard output; returns EXIT_DONE.
    int Help() const;
    // Prints "name: message" on standard error; returns EXIT_FAILED.
    int Fail(std::string_view message) const;
    // Prints "name: message" and "Try 'name --help'." on standard error; returns EXIT_USAGE.
    int UsageError(std::string_view message) const;
    // Prints "name: warning: message" on standard error.
    void Warn(std::string_view message) const;
    // Prints "name: message" on standard error, for failures with an exit code of their own.
    void Report(std::string_view message) const;

private:
    const char* m_name;
    const char* m_usage;
};

// Walks a command line. Options are "--name", "--name=value" or "--name value"; "-x" short
// forms are compared whole; a lone "--" ends the options and everything after it is
// positional.
//
//     tool::CArgs args(argc, argv);
//     if (args.HelpAsked()) return tool.Help();
//     while (args.Next()) {
//         if (args.Is("--dir")) {
//             if (!args.TakeValue(options.dir)) return tool.UsageError("--dir needs a directory");
//         } else if (args.IsPositional()) {
//             words.push_back(args.Current());
//         } else {
//             return tool.UsageError(args.Unexpected());
//         }
//     }
class CArgs {
public:
    CArgs(int argc, char** argv, int first = 1);
    explicit CArgs(std::vector<std::string> args);

    // True when --help or -h comes before any "--".
    bool HelpAsked() const;
    bool Empty() const { return m_args.empty(); }
    const std::vector<std::string>& All() const { return m_args; }

    // Moves to the next argument; false when there is none.
    bool Next();
    // The current argument as written (for "--name=value", the whole of it).
    const std::string& Current() const { return m_current; }
    // A word that is not an option: anything after "--", "-" alone, or not starting with '-'.
    bool IsPositional() const { return m_positional; }
    // True when the current argument is `option` or `option=VALUE`.
    bool Is(std::string_view option) const;

    // The value of the current option: the text after '=' or else the next argument.
    // False (and nothing consumed) when there is none, or when it is empty and
    // `allowEmpty` is false.
    bool TakeValue(std::string& value, bool allowEmpty = false);
    // The value as a whole decimal number within [min, max]; false otherwise.
    bool TakeNumber(long long& value, long long min, long long max);
    // The current option takes no value; false when one was given with '='.
    bool NoValue() const { return m_inlineValue.empty() && !m_hasInline; }

    // "unexpected \"ARG\"", for the usage error of an argument nobody claimed.
    std::string Unexpected() const;

private:
    std::vector<std::string> m_args;
    std::size_t m_next = 0;
    bool m_endOfOptions = false;
    std::string m_current;
    std::string m_name;        // the option's name without an inline value
    std::string m_inlineValue; // the text after '=' in "--name=value"
    bool m_hasInline = false;
    bool m_positional = false;
};

// Parses a non-negative whole decimal number within [min, max]; false for anything else (a
// sign, spaces, too many digits).
[[nodiscard]] bool ParseNumber(std::string_view text, long long min, long long max,
                               long long& value);

} // namespace tool
