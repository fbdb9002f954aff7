#include "SetupCommandSupport.h"

#include "ServerConnection.h"
#include "Settings.h"
#include "SettingsModel.h"

using prompt::EAnswer;
using prompt::EConfirm;

int TakeSetupCommon(tool::CArgs& args, const tool::CTool& tool, CSetupCommon& common) {
    if (args.Is("--yes") || args.Is("--no")) {
        const EConfirm answer = args.Is("--yes") ? EConfirm::Yes : EConfirm::No;
        if (common.confirm != EConfirm::Ask && common.confirm != answer) {
            return tool.UsageError("--yes and --no exclude each other");
        }
        common.confirm = answer;
        return 0;
    }
    if (args.Is("--data-source")) {
        return args.TakeValue(common.dataSource) ? 0
                                                 : tool.UsageError("--data-source needs a name");
    }
    return -1;
}

bool NextOwnArgument(tool::CArgs& args, const tool::CTool& tool, CSetupCommon& common,
                     int& status) {
    status = -1;
    while (args.Next()) {
        status = TakeSetupCommon(args, tool, common);
        if (status != 0) {
            return status < 0;
        }
    }
    status = -1;
    return false;
}

EAnswer CAnsweringPrompt::Message(const std::string& text, const std::string& caption,
                                  prompt::EButtons buttons, prompt::EIcon icon) {
    const auto it = m_answers.find(text);
    return it != m_answers.end() ? it->second : m_inner.Message(text, caption, buttons, icon);
}

bool CAnsweringPrompt::ChooseFile(const prompt::CFileRequest& request, std::string& path) {
    return m_inner.ChooseFile(request, path);
}

bool CAnsweringPrompt::ChooseFolder(const std::string& title, const std::string& start,
                                    std::string& path) {
    return m_inner.ChooseFolder(title, start, path);
}

CSetupCommandRun::CSetupCommandRun(const tool::CTool& tool, const CSetupCommon& common)
    : m_tool(tool), m_terminal(common.confirm, PROGRAM_TITLE), m_prompt(m_terminal),
      m_dataSource(common.dataSource) {}

CSetupCommandRun::~CSetupCommandRun() = default;

bool CSetupCommandRun::OpenStore() {
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath,
                     m_databasePath);
    if (m_databasePath.empty()) {
        m_tool.Report("no database path is set: set one with 'dorvale config set DatabasePath "
                      "DIR'");
        return false;
    }
    if (!m_store.OpenForWriting(m_databasePath)) {
        m_tool.Report("cannot open " + GetFileAreaStorePath(m_databasePath) +
                      " for writing: another Dorvale program (Dorvale Setup or Dorvale Explorer) "
                      "holds it, or the directory is not writable");
        return false;
    }
    // The servers' virtual roots as the setup program finds them: through the admin base
    // object when it can be made, else in the services' registry keys.
    std::string error;
    ConnectServerManagers(m_web, m_ftp, error);
    if (!error.empty()) {
        m_tool.Report("the web server cannot be reached: " + error);
    }
    return true;
}

CAreaEditorContext CSetupCommandRun::EditorContext() {
    return MakeAreaEditorContext(m_web.get(), m_ftp.get(), m_prompt, m_vrootsChanged,
                                 SystemAccessSetter());
}

int CSetupCommandRun::Finish(bool succeeded) const {
    if (m_terminal.Refused()) {
        return m_tool.Fail("refused: \"" + m_terminal.RefusedQuestion() +
                           "\" needs an answer (give --yes or --no, or run on a terminal)");
    }
    return succeeded ? tool::EXIT_DONE : tool::EXIT_FAILED;
}

bool ParseAreaId(const std::string& text, std::uint32_t& id) {
    long long value = 0;
    if (!tool::ParseNumber(text, 1, 0xFFFFFFFFLL, value)) {
        return false;
    }
    id = static_cast<std::uint32_t>(value);
    return true;
}

int RunEditCommand(const tool::CTool& tool, const std::vector<std::string>& arguments,
                   int (*addOrEdit)(const tool::CTool&, tool::CArgs&, bool),
                   int (*remove)(const tool::CTool&, tool::CArgs&)) {
    tool::CArgs args(arguments);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    if (!args.Next()) {
        return tool.UsageError("add, edit or remove is needed");
    }
    const std::string command = args.Current();
    if (command == "add" || command == "edit") {
        return addOrEdit(tool, args, command == "add");
    }
    if (command == "remove") {
        return remove(tool, args);
    }
    return tool.UsageError("unknown subcommand \"" + command + "\"");
}
