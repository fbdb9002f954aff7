// Parsing of dorvale-auto's member paths.

#include "AutoExpression.h"

#include "Text.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace autohost {

namespace {

class CParser {
public:
    // With `sequence`, a path may also end at ';', where the next one starts.
    CParser(const std::string& text, bool sequence) : m_text(text), m_sequence(sequence) {}

    bool Parse(std::vector<CMemberCall>& path, std::string& error) {
        path.clear();
        SkipSpaces();
        if (AtEnd()) {
            return Fail("the expression is empty", error);
        }
        for (;;) {
            CMemberCall call;
            if (!ParseName(call.name)) {
                return Fail("a member name was expected", error);
            }
            SkipSpaces();
            if (Peek() == '(') {
                call.hasParentheses = true;
                ++m_pos;
                SkipSpaces();
                if (Peek() != ')') {
                    for (;;) {
                        Argument argument;
                        if (!ParseArgument(argument, error)) {
                            return false;
                        }
                        call.arguments.push_back(std::move(argument));
                        SkipSpaces();
                        if (Peek() == ',') {
                            ++m_pos;
                            SkipSpaces();
                            continue;
                        }
                        break;
                    }
                }
                if (Peek() != ')') {
                    return Fail("',' or ')' was expected", error);
                }
                ++m_pos;
                SkipSpaces();
            }
            path.push_back(std::move(call));
            if (AtEnd() || (m_sequence && Peek() == ';')) {
                return true;
            }
            if (Peek() != '.') {
                return Fail(m_sequence ? "'.', ';' or the end was expected"
                                       : "'.' or the end was expected",
                            error);
            }
            ++m_pos;
            SkipSpaces();
        }
    }

    bool AtEnd() const { return m_pos >= m_text.size(); }
    // Steps over the ';' that ends a path of a sequence.
    void NextPath() { ++m_pos; }

private:
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    void SkipSpaces() {
        while (!AtEnd() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) {
            ++m_pos;
        }
    }
    static bool IsNameStart(char c) {
        return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
    }
    static bool IsNameChar(char c) {
        return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c));
    }
    bool Fail(const std::string& what, std::string& error) const {
        error = what + " at character " + std::to_string(m_pos + 1);
        return false;
    }

    bool ParseName(std::string& name) {
        if (!IsNameStart(Peek())) {
            return false;
        }
        const std::size_t start = m_pos;
        while (IsNameChar(Peek())) {
            ++m_pos;
        }
        name = m_text.substr(start, m_pos - start);
        return true;
    }

    bool ParseArgument(Argument& argument, std::string& error) {
        const char c = Peek();
        if (c == '"') {
            ++m_pos;
            std::string value;
            for (;;) {
                if (AtEnd()) {
                    return Fail("the text has no closing '\"'", error);
                }
                const char d = m_text[m_pos++];
                if (d == '"') {
                    if (Peek() == '"') {
                        value += '"';
                        ++m_pos;
                        continue;
                    }
                    break;
                }
                value += d;
            }
            argument = std::move(value);
            return true;
        }
        if (c == '-' || c == '+' || std::isdigit(static_cast<unsigned char>(c))) {
            const std::size_t start = m_pos;
            ++m_pos;
            while (std::isdigit(static_cast<unsigned char>(Peek()))) {
                ++m_pos;
            }
            const std::string digits = m_text.substr(start, m_pos - start);
            if (digits == "-" || digits == "+") {
                m_pos = start;
                return Fail("a number was expected", error);
            }
            errno = 0;
            const long long value = std::strtoll(digits.c_str(), nullptr, 10);
            if (errno == ERANGE) {
                m_pos = start;
                return Fail("the number is too large", error);
            }
            if (IsNameChar(Peek())) {
                return Fail("a number was expected", error);
            }
            argument = value;
            return true;
        }
        std::string word;
        const std::size_t start = m_pos;
        if (ParseName(word)) {
            if (base::EqualsNoCase(word, "true") || base::EqualsNoCase(word, "false")) {
                argument = CBoolean{base::EqualsNoCase(word, "true")};
                return true;
            }
            m_pos = start;
        }
        return Fail("an argument (\"text\", a number, True or False) was expected", error);
    }

    const std::string& m_text;
    const bool m_sequence;
    std::size_t m_pos = 0;
};

} // namespace

bool ParseMemberPath(const std::string& text, std::vector<CMemberCall>& path, std::string& error) {
    return CParser(text, false).Parse(path, error);
}

bool ParseMemberPaths(const std::string& text, std::vector<std::vector<CMemberCall>>& paths,
                      std::string& error) {
    paths.clear();
    CParser parser(text, true);
    for (;;) {
        std::vector<CMemberCall> path;
        if (!parser.Parse(path, error)) {
            return false;
        }
        paths.push_back(std::move(path));
        if (parser.AtEnd()) {
            return true;
        }
        parser.NextPath();
    }
}

std::string FormatMemberCall(const CMemberCall& call) {
    std::string text = call.name;
    if (!call.hasParentheses) {
        return text;
    }
    text += "(";
    for (std::size_t i = 0; i < call.arguments.size(); ++i) {
        if (i > 0) {
            text += ",";
        }
        const Argument& argument = call.arguments[i];
        if (const auto* s = std::get_if<std::string>(&argument)) {
            text += "\"";
            for (const char c : *s) {
                text += c == '"' ? std::string("\"\"") : std::string(1, c);
            }
            text += "\"";
        } else if (const auto* n = std::get_if<long long>(&argument)) {
            text += std::to_string(*n);
        } else {
            text += std::get<CBoolean>(argument).value ? "True" : "False";
        }
    }
    return text + ")";
}

} // namespace autohost
