#pragma once
// What the setup commands share: their common options, the terminal prompt they answer
// through, and the file-area store held exclusively while they change it.

#include "AreaEditor.h"
#include "FileAreaStore.h"
#include "IISManager.h"
#include "Prompt.h"
#include "Tool.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

struct CSetupCommon {
    prompt::EConfirm confirm = prompt::EConfirm::Ask;
    std::string dataSource = "Dorvale";
};

// Takes --yes, --no and --data-source. -1: not one of them; otherwise 0 taken, or the exit
// status of a usage error.
int TakeSetupCommon(tool::CArgs& args, const tool::CTool& tool, CSetupCommon& common);
// Moves to the next argument that is not one of those, taking them on the way. False at the
// end of the arguments (`status` -1) or after a usage error in one of them (`status` its exit
// status), so a command's loop is `while (NextOwnArgument(...)) {...}` and then
// `if (status >= 0) return status;`.
bool NextOwnArgument(tool::CArgs& args, const tool::CTool& tool, CSetupCommon& common, int& status);

// A prompt that gives fixed answers to some questions and passes the others on.
class CAnsweringPrompt : public prompt::IPrompt {
public:
    explicit CAnsweringPrompt(prompt::IPrompt& inner) : m_inner(inner) {}
    void Answer(const std::string& text, prompt::EAnswer answer) { m_answers[text] = answer; }
    prompt::EAnswer Message(const std::string& text, const std::string& caption,
                            prompt::EButtons buttons, prompt::EIcon icon) override;
    bool ChooseFile(const prompt::CFileRequest& request, std::string& path) override;
    bool ChooseFolder(const std::string& title, const std::string& start,
                      std::string& path) override;

private:
    prompt::IPrompt& m_inner;
    std::map<std::string, prompt::EAnswer> m_answers;
};

// One run of a setup command: the terminal prompt, and on request the database directory
// with its store held for writing and the server managers.
class CSetupCommandRun {
public:
    CSetupCommandRun(const tool::CTool& tool, const CSetupCommon& common);
    ~CSetupCommandRun();

    // Opens the store of the configured database directory exclusively; false (the reason
    // printed) when there is no database path or another program holds the store.
    bool OpenStore();
    CFileAreaStore& Store() { return m_store; }
    const std::string& DatabasePath() const { return m_databasePath; }
    const std::string& DataSource() const { return m_dataSource; }
    CAnsweringPrompt& Prompt() { return m_prompt; }
    CIISManagerBase* Web() { return m_web.get(); }
    CAreaEditorContext EditorContext();

    // The exit status of work that `succeeded`; a question left unanswered makes it fail.
    int Finish(bool succeeded) const;

private:
    const tool::CTool& m_tool;
    prompt::CTerminalPrompt m_terminal;
    CAnsweringPrompt m_prompt;
    std::string m_dataSource;
    std::string m_databasePath;
    CFileAreaStore m_store;
    std::unique_ptr<CIISManagerBase> m_web;
    std::unique_ptr<CIISManagerBase> m_ftp;
    bool m_vrootsChanged = false;
};

// Runs "add", "edit" or "remove" of a command: `addOrEdit(tool, args, add)` or
// `remove(tool, args)`, with args after the subcommand's name.
int RunEditCommand(const tool::CTool& tool, const std::vector<std::string>& arguments,
                   int (*addOrEdit)(const tool::CTool&, tool::CArgs&, bool),
                   int (*remove)(const tool::CTool&, tool::CArgs&));

// A whole positive id; false for anything else.
bool ParseAreaId(const std::string& text, std::uint32_t& id);
