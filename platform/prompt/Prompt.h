#pragma once
// How a program asks its user: message boxes (text, caption, buttons, icon -> answer) and
// file and folder choosers. The logic of the programs asks through IPrompt only, so that the
// same decision reads the same whether a window, a terminal or a test script answers it.
//
// Implementations: CTerminalPrompt (command-line programs), CScriptedPrompt (tests), and
// CQtPrompt in QtPrompt.h (desktop programs; a library of its own that only Qt programs link).

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace prompt {

enum class EButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class EIcon { None, Information, Warning, Error, Question };
enum class EAnswer { Ok, Cancel, Yes, No };

// A file-open request. `filter` is written "Label|patterns|Label|patterns||", patterns
// separated by ';' (see ParseFilter).
struct CFileRequest {
    std::string title;
    std::string filter = "All Files (*.*)|*.*||";
    std::string initialPath;
    bool mustExist = true; // the chosen file and its directory must exist
};

class IPrompt {
public:
    virtual ~IPrompt() = default;
    virtual EAnswer Message(const std::string& text, const std::string& caption, EButtons buttons,
                            EIcon icon) = 0;
    // False when nothing was chosen.
    virtual bool ChooseFile(const CFileRequest& request, std::string& path) = 0;
    virtual bool ChooseFolder(const std::string& title, const std::string& start,
                              std::string& path) = 0;
};

// The answer a box gives when it is dismissed without a choice: Cancel where offered, else No,
// else Ok.
EAnswer DismissAnswer(EButtons buttons);
// Whether a box with these buttons can give this answer.
bool Offers(EButtons buttons, EAnswer answer);

struct CFilterEntry {
    std::string label;
    std::vector<std::string> patterns;
};
// "Text Files (.txt)|*.txt|All Files (*.*)|*.*||" -> {"Text Files (.txt)", {"*.txt"}},
// {"All Files (*.*)", {"*.*"}}. An entry without patterns is dropped.
std::vector<CFilterEntry> ParseFilter(std::string_view filter);

// ---- Terminal ----

// What a command-line program does with a question: ask it, or take the answer given on its
// command line (--yes, --no).
enum class EConfirm { Ask, Yes, No };

// Questions are asked on the terminal when standard input is one; otherwise the answer comes
// from --yes/--no, or the question is refused (answered as dismissed, and Refused() is set).
// Messages that only inform (an OK button alone) are printed: errors and warnings on standard
// error, the others on standard output. A caption other than `title` is printed before the
// text ("Warning: ...").
class CTerminalPrompt : public IPrompt {
public:
    explicit CTerminalPrompt(EConfirm confirm, std::string title = {});
    // For tests: read answers from `in`, write everything to `out`, and treat `in` as a
    // terminal when `interactive`.
    CTerminalPrompt(EConfirm confirm, std::string title, std::FILE* in, std::FILE* out,
                    bool interactive);

    EAnswer Message(const std::string& text, const std::string& caption, EButtons buttons,
                    EIcon icon) override;
    bool ChooseFile(const CFileRequest& request, std::string& path) override;
    bool ChooseFolder(const std::string& title, const std::string& start,
                      std::string& path) override;

    // A question went unanswered: no terminal and neither --yes nor --no.
    bool Refused() const { return m_refused; }
    // The first question refused, for the program's failure line.
    const std::string& RefusedQuestion() const { return m_refusedQuestion; }

private:
    void Print(std::FILE* stream, const std::string& caption, const std::string& text) const;
    bool ReadLine(std::string& line) const;
    void Refuse(const std::string& text);

    EConfirm m_confirm;
    std::string m_title;
    std::FILE* m_in;
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_interactive;
    bool m_refused = false;
    std::string m_refusedQuestion;
};

// ---- Scripted ----

struct CAsked {
    std::string text;
    std::string caption;
    EButtons buttons = EButtons::Ok;
    EIcon icon = EIcon::None;
};

// Answers from a script, in order, and checks each message against the text and caption the
// script expects. Every message must be scripted, informing ones too. Problems() lists every
// difference; a message beyond the script is answered as dismissed.
class CScriptedPrompt : public IPrompt {
public:
    // The next message must have this text and caption; it gets `answer`.
    CScriptedPrompt& Expect(std::string text, std::string caption, EAnswer answer = EAnswer::Ok);
    // The next file or folder chooser returns `path` (empty: nothing chosen).
    CScriptedPrompt& ChooseNext(std::string path);

    EAnswer Message(const std::string& text, const std::string& caption, EButtons buttons,
                    EIcon icon) override;
    bool ChooseFile(const CFileRequest& request, std::string& path) override;
    bool ChooseFolder(const std::string& title, const std::string& start,
                      std::string& path) override;

    const std::vector<CAsked>& Asked() const { return m_asked; }
    // Mismatches, unexpected messages and (once the work is done) script left unused.
    std::vector<std::string> Problems() const;

private:
    struct CStep {
        std::string text;
        std::string caption;
        EAnswer answer;
    };
    std::vector<CStep> m_steps;
    std::size_t m_next = 0;
    std::vector<std::string> m_choices;
    std::size_t m_nextChoice = 0;
    std::vector<CAsked> m_asked;
    std::vector<std::string> m_problems;
};

} // namespace prompt
