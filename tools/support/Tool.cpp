#include "Tool.h"

#include <cstdio>

namespace tool {

int CTool::Help() const {
    std::fputs(m_usage, stdout);
    return EXIT_DONE;
}

void CTool::Report(std::string_view message) const {
    std::fprintf(stderr, "%s: %.*s\n", m_name, static_cast<int>(message.size()), message.data());
}

int CTool::Fail(std::string_view message) const {
    Report(message);
    return EXIT_FAILED;
}

int CTool::UsageError(std::string_view message) const {
    Report(message);
    std::fprintf(stderr, "Try '%s --help'.\n", m_name);
    return EXIT_USAGE;
}

void CTool::Warn(std::string_view message) const {
    std::fprintf(stderr, "%s: warning: %.*s\n", m_name, static_cast<int>(message.size()),
                 message.data());
}

CArgs::CArgs(int argc, char** argv, int first) {
    for (int i = first; i < argc; ++i) {
        m_args.emplace_back(argv[i]);
    }
}

CArgs::CArgs(std::vector<std::string> args) : m_args(std::move(args)) {}

bool CArgs::HelpAsked() const {
    for (const std::string& arg : m_args) {
        if (arg == "--") {
            return false;
        }
        if (arg == "--help" || arg == "-h") {
            return true;
        }
    }
    return false;
}

bool CArgs::Next() {
    m_name.clear();
    m_inlineValue.clear();
    m_hasInline = false;
    if (m_next < m_args.size() && !m_endOfOptions && m_args[m_next] == "--") {
        m_endOfOptions = true;
        ++m_next;
    }
    if (m_next >= m_args.size()) {
        m_current.clear();
        m_positional = false;
        return false;
    }
    m_current = m_args[m_next++];
    m_positional = m_endOfOptions || m_current.size() < 2 || m_current[0] != '-';
    if (!m_positional) {
        const std::size_t equals = m_current.find('=');
        if (m_current.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            m_name = m_current.substr(0, equals);
            m_inlineValue = m_current.substr(equals + 1);
            m_hasInline = true;
        } else {
            m_name = m_current;
        }
    }
    return true;
}

bool CArgs::Is(std::string_view option) const {
    return !m_positional && m_name == option;
}

bool CArgs::TakeValue(std::string& value, bool allowEmpty) {
    if (m_hasInline) {
        if (m_inlineValue.empty() && !allowEmpty) {
            return false;
        }
        value = m_inlineValue;
        return true;
    }
    if (m_next >= m_args.size() || (m_args[m_next].empty() && !allowEmpty)) {
        return false;
    }
    value = m_args[m_next++];
    return true;
}

bool CArgs::TakeNumber(long long& value, long long min, long long max) {
    const std::size_t before = m_next;
    std::string text;
    if (!TakeValue(text) || !ParseNumber(text, min, max, value)) {
        m_next = before;
        return false;
    }
    return true;
}

std::string CArgs::Unexpected() const {
    return "unexpected \"" + m_current + "\"";
}

bool ParseNumber(std::string_view text, long long min, long long max, long long& value) {
    if (text.empty() || text.size() > 18) {
        return false;
    }
    long long number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    if (number < min || number > max) {
        return false;
    }
    value = number;
    return true;
}

} // namespace tool
