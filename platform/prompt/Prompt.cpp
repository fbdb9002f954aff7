#include "Prompt.h"

#include "Text.h"

#include <unistd.h>

namespace prompt {

EAnswer DismissAnswer(EButtons buttons) {
    switch (buttons) {
    case EButtons::OkCancel:
    case EButtons::YesNoCancel:
        return EAnswer::Cancel;
    case EButtons::YesNo:
        return EAnswer::No;
    case EButtons::Ok:
        break;
    }
    return EAnswer::Ok;
}

bool Offers(EButtons buttons, EAnswer answer) {
    switch (buttons) {
    case EButtons::Ok:
        return answer == EAnswer::Ok;
    case EButtons::OkCancel:
        return answer == EAnswer::Ok || answer == EAnswer::Cancel;
    case EButtons::YesNo:
        return answer == EAnswer::Yes || answer == EAnswer::No;
    case EButtons::YesNoCancel:
        return answer != EAnswer::Ok;
    }
    return false;
}

std::vector<CFilterEntry> ParseFilter(std::string_view filter) {
    std::vector<std::string_view> parts;
    while (!filter.empty()) {
        const std::size_t bar = filter.find('|');
        parts.push_back(filter.substr(0, bar));
        if (bar == std::string_view::npos) {
            break;
        }
        filter.remove_prefix(bar + 1);
    }
    std::vector<CFilterEntry> entries;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) {
            break; // the "||" that ends the list
        }
        CFilterEntry entry{std::string(parts[i]), {}};
        std::string_view patterns = parts[i + 1];
        while (!patterns.empty()) {
            const std::size_t semicolon = patterns.find(';');
            std::string_view pattern = patterns.substr(0, semicolon);
            if (!pattern.empty()) {
                entry.patterns.emplace_back(pattern);
            }
            if (semicolon == std::string_view::npos) {
                break;
            }
            patterns.remove_prefix(semicolon + 1);
        }
        if (!entry.patterns.empty()) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

// ---- CTerminalPrompt ----

CTerminalPrompt::CTerminalPrompt(EConfirm confirm, std::string title)
    : m_confirm(confirm), m_title(std::move(title)), m_in(stdin), m_out(stdout), m_err(stderr),
      m_interactive(::isatty(STDIN_FILENO) == 1) {}

CTerminalPrompt::CTerminalPrompt(EConfirm confirm, std::string title, std::FILE* in, std::FILE* out,
                                 bool interactive)
    : m_confirm(confirm), m_title(std::move(title)), m_in(in), m_out(out), m_err(out),
      m_interactive(interactive) {}

void CTerminalPrompt::Print(std::FILE* stream, const std::string& caption,
                            const std::string& text) const {
    if (!caption.empty() && caption != m_title) {
        std::fprintf(stream, "%s: ", caption.c_str());
    }
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
}

bool CTerminalPrompt::ReadLine(std::string& line) const {
    line.clear();
    int c = 0;
    while ((c = std::fgetc(m_in)) != EOF && c != '\n') {
        line += static_cast<char>(c);
    }
    if (c == EOF && line.empty()) {
        return false;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    while (!line.empty() && line.front() == ' ') {
        line.erase(0, 1);
    }
    return true;
}

void CTerminalPrompt::Refuse(const std::string& text) {
    if (!m_refused) {
        m_refused = true;
        m_refusedQuestion = text;
    }
}

EAnswer CTerminalPrompt::Message(const std::string& text, const std::string& caption,
                                 EButtons buttons, EIcon icon) {
    if (buttons == EButtons::Ok) {
        const bool bad = icon == EIcon::Error || icon == EIcon::Warning;
        Print(bad ? m_err : m_out, caption, text);
        return EAnswer::Ok;
    }
    const bool okCancel = buttons == EButtons::OkCancel;
    if (m_confirm == EConfirm::Yes) {
        return okCancel ? EAnswer::Ok : EAnswer::Yes;
    }
    if (m_confirm == EConfirm::No) {
        return okCancel ? EAnswer::Cancel : EAnswer::No;
    }
    if (!m_interactive) {
        Refuse(text);
        return DismissAnswer(buttons);
    }
    const char* choices = okCancel                     ? "[o]k/[c]ancel"
                          : buttons == EButtons::YesNo ? "[y]es/[n]o"
                                                       : "[y]es/[n]o/[c]ancel";
    while (true) {
        Print(m_err, caption, text);
        std::fprintf(m_err, "%s? ", choices);
        std::fflush(m_err);
        std::string line;
        if (!ReadLine(line)) {
            std::fputc('\n', m_err);
            Refuse(text);
            return DismissAnswer(buttons);
        }
        line = base::LowerAscii(line);
        EAnswer answer = EAnswer::Ok;
        bool known = true;
        if (line == "y" || line == "yes") {
            answer = EAnswer::Yes;
        } else if (line == "n" || line == "no") {
            answer = EAnswer::No;
        } else if (line == "c" || line == "cancel") {
            answer = EAnswer::Cancel;
        } else if (line == "o" || line == "ok") {
            answer = EAnswer::Ok;
        } else {
            known = false;
        }
        if (known && Offers(buttons, answer)) {
            return answer;
        }
    }
}

bool CTerminalPrompt::ChooseFile(const CFileRequest& request, std::string& path) {
    if (!m_interactive) {
        Refuse(request.title);
        return false;
    }
    std::fprintf(m_err, "%s: ", request.title.empty() ? "File" : request.title.c_str());
    std::fflush(m_err);
    return ReadLine(path) && !path.empty();
}

bool CTerminalPrompt::ChooseFolder(const std::string& title, const std::string&,
                                   std::string& path) {
    return ChooseFile({title, {}, {}, true}, path);
}

// ---- CScriptedPrompt ----

namespace {

const char* AnswerName(EAnswer answer) {
    switch (answer) {
    case EAnswer::Ok:
        return "Ok";
    case EAnswer::Cancel:
        return "Cancel";
    case EAnswer::Yes:
        return "Yes";
    case EAnswer::No:
        return "No";
    }
    return "?";
}

} // namespace

CScriptedPrompt& CScriptedPrompt::Expect(std::string text, std::string caption, EAnswer answer) {
    m_steps.push_back({std::move(text), std::move(caption), answer});
    return *this;
}

CScriptedPrompt& CScriptedPrompt::ChooseNext(std::string path) {
    m_choices.push_back(std::move(path));
    return *this;
}

EAnswer CScriptedPrompt::Message(const std::string& text, const std::string& caption,
                                 EButtons buttons, EIcon icon) {
    m_asked.push_back({text, caption, buttons, icon});
    if (m_next >= m_steps.size()) {
        m_problems.push_back("unexpected message \"" + text + "\" (caption \"" + caption + "\")");
        return DismissAnswer(buttons);
    }
    const CStep& step = m_steps[m_next++];
    if (step.text != text || step.caption != caption) {
        m_problems.push_back("message " + std::to_string(m_next) + ": expected \"" + step.text +
                             "\" (caption \"" + step.caption + "\"), got \"" + text +
                             "\" (caption \"" + caption + "\")");
    }
    if (!Offers(buttons, step.answer)) {
        m_problems.push_back("message " + std::to_string(m_next) + " \"" + text + "\" offers no " +
                             AnswerName(step.answer));
        return DismissAnswer(buttons);
    }
    return step.answer;
}

bool CScriptedPrompt::ChooseFile(const CFileRequest& request, std::string& path) {
    if (m_nextChoice >= m_choices.size()) {
        m_problems.push_back("unexpected chooser \"" + request.title + "\"");
        return false;
    }
    path = m_choices[m_nextChoice++];
    return !path.empty();
}

bool CScriptedPrompt::ChooseFolder(const std::string& title, const std::string&,
                                   std::string& path) {
    return ChooseFile({title, {}, {}, true}, path);
}

std::vector<std::string> CScriptedPrompt::Problems() const {
    std::vector<std::string> problems = m_problems;
    for (std::size_t i = m_next; i < m_steps.size(); ++i) {
        problems.push_back("expected message not asked: \"" + m_steps[i].text + "\"");
    }
    for (std::size_t i = m_nextChoice; i < m_choices.size(); ++i) {
        problems.push_back("chooser answer not used: \"" + m_choices[i] + "\"");
    }
    return problems;
}

} // namespace prompt
