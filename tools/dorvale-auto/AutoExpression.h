#pragma once
// The member path that dorvale-auto evaluates: names with optional argument lists, joined
// by dots, as in  Item(2).Name  or  Find("Games").Count  or  SendMail("a@x", "b@x", "Hi", "")

#include <string>
#include <variant>
#include <vector>

namespace autohost {

// An argument: text ("..." with "" for a quote), a whole number, or True/False.
struct CBoolean {
    bool value;
    bool operator==(const CBoolean&) const = default;
};
using Argument = std::variant<std::string, long long, CBoolean>;

struct CMemberCall {
    std::string name;
    std::vector<Argument> arguments;
    bool hasParentheses = false;
};

// Parses the whole expression; on failure returns false with `error` saying what is wrong
// and where ("at character N").
bool ParseMemberPath(const std::string& text, std::vector<CMemberCall>& path, std::string& error);
// Member paths separated by ';', as in  AddFileArea("Files", "in"); Areas  (each one is asked
// of the created object in turn).
bool ParseMemberPaths(const std::string& text, std::vector<std::vector<CMemberCall>>& paths,
                      std::string& error);

// The member call as written back, for messages ("Item(2)", "Find(\"Games\")").
std::string FormatMemberCall(const CMemberCall& call);

} // namespace autohost
