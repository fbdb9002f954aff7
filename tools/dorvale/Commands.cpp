#include "Commands.h"

#include "AddFile.h"
#include "AddFiles.h"
#include "AdminContext.h"
#include "ArchiveDescriptions.h"
#include "CatalogStatements.h"
#include "CatalogueTree.h"
#include "FileList.h"
#include "FileOperations.h"
#include "Output.h"
#include "Process.h"
#include "Reviews.h"
#include "SetupCommands.h"
#include "Tool.h"
#include "Uploads.h"
#include "Usage.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>
#include <unistd.h>

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EConfirm;
using prompt::EIcon;

namespace {

// Options every subcommand takes.
struct CCommon {
    EConfirm confirm = EConfirm::Ask;
    std::string dataSource = CDorvaleDatabaseManager::DEFAULT_DATA_SOURCE_NAME;
    bool json = false;
};

// Takes --yes, --no, --data-source and (where allowed) --json. -1: not one of them; otherwise
// 0 taken, or the exit status of a usage error.
int TakeCommon(tool::CArgs& args, const tool::CTool& tool, CCommon& common, bool json) {
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
    if (json && args.Is("--json")) {
        common.json = true;
        return 0;
    }
    return -1;
}

// What a subcommand's own argument handler returns besides an exit status.
constexpr int TAKEN = -1;    // the argument was its own and is taken
constexpr int NOT_MINE = -2; // the argument is unexpected

// Walks a subcommand's arguments: --help, the options every command takes, and the others
// through `take`. Returns -1 when all were taken, otherwise the exit status to end with.
template <class TTake>
int WalkArguments(const std::vector<std::string>& words, const tool::CTool& tool, CCommon& common,
                  bool json, TTake take) {
    tool::CArgs args(words);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    while (args.Next()) {
        const int commonTaken = TakeCommon(args, tool, common, json);
        if (commonTaken > 0) {
            return commonTaken;
        }
        if (commonTaken == 0) {
            continue;
        }
        const int taken = take(args);
        if (taken == NOT_MINE) {
            return tool.UsageError(args.Unexpected());
        }
        if (taken != TAKEN) {
            return taken;
        }
    }
    return -1;
}

// A prompt that gives fixed answers to some questions and passes the others on.
class COverridePrompt : public prompt::IPrompt {
public:
    explicit COverridePrompt(prompt::IPrompt& inner) : m_inner(inner) {}
    void Answer(const std::string& text, EAnswer answer) { m_answers[text] = answer; }
    EAnswer Message(const std::string& text, const std::string& caption, EButtons buttons,
                    EIcon icon) override {
        auto it = m_answers.find(text);
        return it != m_answers.end() ? it->second : m_inner.Message(text, caption, buttons, icon);
    }
    bool ChooseFile(const prompt::CFileRequest& request, std::string& path) override {
        return m_inner.ChooseFile(request, path);
    }
    bool ChooseFolder(const std::string& title, const std::string& start,
                      std::string& path) override {
        return m_inner.ChooseFolder(title, start, path);
    }

private:
    prompt::IPrompt& m_inner;
    std::map<std::string, EAnswer> m_answers;
};

// The core as one subcommand uses it: the terminal prompt and the started context.
class CSession {
public:
    CSession(const tool::CTool& tool, const CCommon& common)
        : m_tool(tool), m_terminal(common.confirm, EXPLORER_TITLE), m_prompt(m_terminal),
          m_context(m_prompt), m_dataSource(common.dataSource) {}

    // False when the program could not start (the reason printed); `catalogue`: the data
    // source must be open too.
    bool Start(bool catalogue = true) {
        if (!m_context.Start(m_dataSource)) {
            return false;
        }
        if (catalogue && !m_context.IsCatalogueOpen()) {
            m_tool.Report("cannot connect to the data source " + m_dataSource);
            return false;
        }
        return true;
    }
    CAdminContext& Context() { return m_context; }
    COverridePrompt& Prompt() { return m_prompt; }

    // The exit status of work that `succeeded`, a refused question making it a failure.
    int Finish(bool succeeded) const {
        if (m_terminal.Refused()) {
            return m_tool.Fail("refused: \"" + m_terminal.RefusedQuestion() +
                               "\" needs an answer (give --yes or --no, or run on a terminal)");
        }
        return succeeded ? tool::EXIT_DONE : tool::EXIT_FAILED;
    }

private:
    const tool::CTool& m_tool;
    prompt::CTerminalPrompt m_terminal;
    COverridePrompt m_prompt;
    CAdminContext m_context;
    std::string m_dataSource;
};

std::string FlagsText(std::uint32_t flags) {
    std::string text;
    text += (flags & AREA_DOWNLOADABLE) ? 'D' : '-';
    text += (flags & AREA_UPLOADABLE) ? 'U' : '-';
    text += (flags & AREA_HOSTED_LOCALLY) ? 'H' : '-';
    return text;
}

bool ParseId(const std::string& text, long long& id) {
    return tool::ParseNumber(text, 1, 0x7FFFFFFF, id);
}

// ---- areas, groups ----

int Areas(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale areas", USAGE_AREAS);
    CCommon common;
    const int walked =
        WalkArguments(words, tool, common, true, [](tool::CArgs&) { return NOT_MINE; });
    if (walked >= 0) {
        return walked;
    }
    CSession session(tool, common);
    if (!session.Start(false)) {
        return tool::EXIT_FAILED;
    }
    const auto& areas = session.Context().Areas();
    if (common.json) {
        CJsonArrayWriter out(stdout);
        for (const AreaRecord& area : areas) {
            out.Add(CJsonObject()
                        .Number("id", area.Id)
                        .Text("name", area.Name)
                        .Text("path", area.Path)
                        .Text("ftpAlias", area.FtpAlias)
                        .Text("httpAlias", area.HttpAlias)
                        .Bool("downloadable", (area.Flags & AREA_DOWNLOADABLE) != 0)
                        .Bool("uploadable", (area.Flags & AREA_UPLOADABLE) != 0)
                        .Bool("hostedLocally", (area.Flags & AREA_HOSTED_LOCALLY) != 0)
                        .Str());
        }
        out.End();
    } else {
        CTextTable table(stdout, {"ID", "Name", "Flags", "Path", "HTTP alias"});
        for (const AreaRecord& area : areas) {
            table.Add({std::to_string(area.Id), area.Name, FlagsText(area.Flags), area.Path,
                       area.HttpAlias});
        }
        table.End();
    }
    return session.Finish(true);
}

int Groups(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale groups", USAGE_GROUPS);
    CCommon common;
    const int walked =
        WalkArguments(words, tool, common, true, [](tool::CArgs&) { return NOT_MINE; });
    if (walked >= 0) {
        return walked;
    }
    CSession session(tool, common);
    if (!session.Start(false)) {
        return tool::EXIT_FAILED;
    }
    CCatalogueTree tree;
    tree.Load(session.Context().DatabasePath(), session.Context().Areas());
    std::vector<std::string> groups;
    for (const CNodeRow& group : ListChildren(*tree.Root())) {
        if (group.node->GetKind() != TREEITEM_GROUP) {
            continue;
        }
        std::vector<std::string> areas;
        if (!common.json) {
            std::printf("%s\n", group.name.c_str());
        }
        for (const auto& child : group.node->GetChildren()) {
            const auto* area = static_cast<const CFolderTreeItem*>(child.get());
            if (common.json) {
                areas.push_back(CJsonObject()
                                    .Number("id", area->GetIdentifier())
                                    .Text("name", area->GetName())
                                    .Str());
            } else {
                std::printf("  %u  %s\n", area->GetIdentifier(), area->GetName().c_str());
            }
        }
        groups.push_back(
            CJsonObject().Text("name", group.name).Raw("areas", JsonArray(areas)).Str());
    }
    if (common.json) {
        std::printf("%s\n", JsonArray(groups).c_str());
    }
    return session.Finish(true);
}

// ---- files, search ----

int ListFiles(CFileListSource& list, const CCommon& common) {
    if (common.json) {
        CJsonArrayWriter out(stdout);
        CFileListRow row;
        for (std::size_t r = 0; r < list.GetCount(); ++r) {
            if (!list.GetRow(r, row)) {
                return tool::EXIT_FAILED;
            }
            out.Add(CJsonObject()
                        .Number("id", row.fileId)
                        .Text("title", row.title)
                        .Number("size", row.size)
                        .Text("fileDate", row.fileDate.IsNull() ? "" : row.fileDate.Format())
                        .Text("lastDownload",
                              row.lastDownload.IsNull() ? "" : row.lastDownload.Format())
                        .Text("description", row.shortDesc)
                        .Str());
        }
        out.End();
        return tool::EXIT_DONE;
    }
    CTextTable table(stdout, {"ID", "Title", "Size", "File Date", "Last Download", "Description"});
    CFileListRow row;
    for (std::size_t r = 0; r < list.GetCount(); ++r) {
        if (!list.GetRow(r, row)) {
            table.End();
            return tool::EXIT_FAILED;
        }
        table.Add({FormatWhole(row.fileId), row.title, FormatWhole(row.size),
                   FormatListDate(row.fileDate), FormatListDate(row.lastDownload), row.shortDesc});
    }
    table.End();
    return tool::EXIT_DONE;
}

int Files(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale files", USAGE_FILES);
    CCommon common;
    std::string area;
    const int walked = WalkArguments(words, tool, common, true, [&](tool::CArgs& args) -> int {
        if (args.IsPositional() && area.empty()) {
            area = args.Current();
        } else {
            return NOT_MINE;
        }
        return TAKEN;
    });
    if (walked >= 0) {
        return walked;
    }
    long long areaId = 0;
    if (!ParseId(area, areaId)) {
        return tool.UsageError(area.empty() ? "an area id is needed" : "not an area id: " + area);
    }
    CSession session(tool, common);
    if (!session.Start()) {
        return tool::EXIT_FAILED;
    }
    if (session.Context().FindArea(static_cast<std::uint32_t>(areaId)) == nullptr) {
        return tool.Fail("no area has the id " + area);
    }
    CFileListSource list(session.Context().Catalogue());
    if (!list.OpenArea(static_cast<double>(areaId))) {
        return tool.Fail("cannot read the catalogue");
    }
    const int status = ListFiles(list, common);
    return status != tool::EXIT_DONE ? tool.Fail("cannot read the catalogue")
                                     : session.Finish(true);
}

int Search(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale search", USAGE_SEARCH);
    CCommon common;
    std::string text;
    bool haveText = false;
    unsigned mask = SEARCH_ALL;
    const int walked = WalkArguments(words, tool, common, true, [&](tool::CArgs& args) -> int {
        if (args.Is("--in")) {
            std::string fields;
            if (!args.TakeValue(fields)) {
                return tool.UsageError("--in needs a list of fields");
            }
            mask = 0;
            const char* names[SEARCH_FIELD_COUNT] = {"title",  "short", "long",
                                                     "author", "email", "url"};
            std::size_t start = 0;
            while (start <= fields.size()) {
                const std::size_t comma = std::min(fields.find(',', start), fields.size());
                const std::string field = fields.substr(start, comma - start);
                bool known = false;
                for (int bit = 0; bit < SEARCH_FIELD_COUNT; ++bit) {
                    if (field == names[bit]) {
                        mask |= 1u << bit;
                        known = true;
                    }
                }
                if (!known) {
                    return tool.UsageError("unknown field \"" + field +
                                           "\" (title, short, long, author, email, url)");
                }
                start = comma + 1;
            }
        } else if (args.IsPositional() && !haveText) {
            text = args.Current();
            haveText = true;
        } else {
            return NOT_MINE;
        }
        return TAKEN;
    });
    if (walked >= 0) {
        return walked;
    }
    if (text.empty()) {
        return tool.UsageError("a text to search for is needed");
    }
    CSession session(tool, common);
    if (!session.Start()) {
        return tool::EXIT_FAILED;
    }
    CFileListSource list(session.Context().Catalogue());
    if (!list.OpenSearch(text, mask)) {
        return tool.Fail("cannot read the catalogue");
    }
    if (list.GetCount() == 0 && !common.json) {
        session.Context().Tell(MSG_NOTHING_FOUND);
        return session.Finish(true);
    }
    const int status = ListFiles(list, common);
    return status != tool::EXIT_DONE ? tool.Fail("cannot read the catalogue")
                                     : session.Finish(true);
}

// ---- add-file ----

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), {});
    return true;
}

int AddFileCommand(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale add-file", USAGE_ADD_FILE);
    CCommon common;
    std::vector<std::string> urls;
    std::vector<long long> areas;
    std::string copyArea, copyFile, submissionFile, longFile, date;
    std::map<std::string, std::string> fields; // --title, --version, ... as given
    bool requiresForm = false;
    const int walked = WalkArguments(words, tool, common, false, [&](tool::CArgs& args) -> int {
        std::string value;
        if (args.Is("--url")) {
            if (!args.TakeValue(value)) {
                return tool.UsageError("--url needs an address");
            }
            urls.push_back(value);
        } else if (args.Is("--area")) {
            long long id = 0;
            if (!args.TakeNumber(id, 1, 0xFFFFFFFFLL)) {
                return tool.UsageError("--area needs an area id");
            }
            areas.push_back(id);
        } else if (args.Is("--copy-to")) {
            if (!args.TakeValue(copyArea) || !args.TakeValue(copyFile)) {
                return tool.UsageError("--copy-to needs an area id and a file");
            }
        } else if (args.Is("--submission")) {
            if (!args.TakeValue(submissionFile)) {
                return tool.UsageError("--submission needs a file");
            }
        } else if (args.Is("--long-file")) {
            if (!args.TakeValue(longFile)) {
                return tool.UsageError("--long-file needs a file");
            }
        } else if (args.Is("--date")) {
            if (!args.TakeValue(date)) {
                return tool.UsageError("--date needs a date (YYYY-MM-DD)");
            }
        } else if (args.Is("--requires-form")) {
            requiresForm = true;
        } else if (args.Is("--title") || args.Is("--version") || args.Is("--author") ||
                   args.Is("--email") || args.Is("--short")) {
            const std::string name = args.Current().substr(0, args.Current().find('='));
            if (!args.TakeValue(value, true)) {
                return tool.UsageError(name + " needs a value");
            }
            fields[name] = value;
        } else {
            return NOT_MINE;
        }
        return TAKEN;
    });
    if (walked >= 0) {
        return walked;
    }
    const int kinds =
        (urls.empty() ? 0 : 1) + (copyFile.empty() ? 0 : 1) + (submissionFile.empty() ? 0 : 1);
    if (kinds == 0) {
        return tool.UsageError("give --url, --copy-to or --submission");
    }
    if (!submissionFile.empty() && kinds > 1) {
        return tool.UsageError("--submission brings its own addresses: no --url or --copy-to");
    }
    long long hostId = 0;
    if (!copyFile.empty() && !ParseId(copyArea, hostId)) {
        return tool.UsageError("not an area id: " + copyArea);
    }
    const std::pair<const char*, std::size_t> limits[] = {{"--title", TITLE_LIMIT},
                                                          {"--version", VERSION_LIMIT},
                                                          {"--author", AUTHOR_LIMIT},
                                                          {"--email", EMAIL_LIMIT},
                                                          {"--short", BRIEF_LIMIT}};
    for (const auto& [name, limit] : limits) {
        auto it = fields.find(name);
        if (it != fields.end() && it->second.size() > limit) {
            return tool.UsageError(std::string(name) + " is longer than " + std::to_string(limit) +
                                   " bytes");
        }
    }
    CDateTime fileDate;
    if (!date.empty()) {
        int y = 0, m = 0, d = 0;
        char extra = 0;
        if (std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &extra) != 3 ||
            !CDateTime(y, m, d).IsValid()) {
            return tool.UsageError("--date needs a date written YYYY-MM-DD");
        }
        fileDate = CDateTime(y, m, d);
    }

    CSession session(tool, common);
    if (!session.Start()) {
        return tool::EXIT_FAILED;
    }
    CAdminContext& context = session.Context();
    CAddFileModel model(context);
    if (!submissionFile.empty()) {
        std::string text;
        if (!ReadWholeFile(submissionFile, text)) {
            return tool.Fail("cannot read " + submissionFile);
        }
        if (!model.TakeClipboard(text)) {
            return tool.Fail(submissionFile +
                             " is not a formatted file submission (Title=, SiteName1=, SiteUrl1=)");
        }
        model.LeaveClipboardPage(true);
    } else if (!copyFile.empty()) {
        if (!model.CanAddLocalFile()) {
            return tool.Fail("no file area is hosted locally");
        }
        model.LeaveFirstPage(EFileKind::Local, copyFile);
        if (areas.empty()) {
            areas.push_back(hostId);
        }
    } else {
        model.LeaveFirstPage(EFileKind::Web, urls.front());
    }
    for (long long id : areas) {
        if (context.FindArea(static_cast<std::uint32_t>(id)) == nullptr) {
            return tool.Fail("no area has the id " + std::to_string(id));
        }
    }

    // The wizard's pages in order, each with the values given.
    model.InitTitlePage();
    if (fields.count("--title")) {
        model.title = fields["--title"];
    }
    for (long long id : areas) {
        if (!model.IsAreaChosen(static_cast<std::uint32_t>(id))) {
            model.ToggleArea(static_cast<std::uint32_t>(id));
        }
    }
    if (!model.LeaveTitlePage()) {
        return session.Finish(false);
    }
    model.InitDetailsPage();
    if (fields.count("--version")) {
        model.version = fields["--version"];
    }
    if (fields.count("--author")) {
        model.author = fields["--author"];
    }
    if (fields.count("--email")) {
        model.email = fields["--email"];
    }
    if (requiresForm) {
        model.reqForm = true;
    }
    if (!fileDate.IsNull()) {
        model.date = fileDate;
    }
    if (!model.LeaveDetailsPage()) {
        return session.Finish(false);
    }
    model.InitDescriptionPage();
    if (fields.count("--short")) {
        model.brief = fields["--short"];
    }
    if (!longFile.empty()) {
        model.detailed.clear();
        if (!model.ImportDescription(longFile)) {
            return tool.Fail("cannot read " + longFile);
        }
    }
    model.LeaveDescriptionPage();
    if (model.InitUrlPage()) {
        std::string file = copyFile;
        std::string location;
        if (AcceptLocalLocation(context, file, static_cast<std::uint32_t>(hostId), location) !=
            ELocalAccept::Accepted) {
            return session.Finish(false);
        }
        model.AddLocation(location);
    }
    for (std::size_t i = copyFile.empty() ? 1 : 0; i < urls.size(); ++i) {
        std::string location;
        if (!AcceptRemoteLocation(context, urls[i], location)) {
            return session.Finish(false);
        }
        model.AddLocation(location);
    }
    if (!copyFile.empty() || !submissionFile.empty()) {
        // The first address of a web file was taken by the first page unchecked.
    } else if (!IsValidDownloadUrl(urls.front())) {
        context.Tell(MSG_BAD_URL, {}, EIcon::Warning);
        return session.Finish(false);
    }
    if (!model.LeaveUrlPage()) {
        return session.Finish(false);
    }
    double fileId = 0;
    if (!model.Finish(fileId)) {
        if (fileId != 0) {
            return tool.Fail("file " + FormatWhole(fileId) +
                             " was added, but not all its areas and locations");
        }
        return tool.Fail("the catalogue refused the file");
    }
    std::printf("Added file %s: %s\n", FormatWhole(fileId).c_str(), model.title.c_str());
    return session.Finish(true);
}

// ---- add-files ----

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
    g_interrupted = true;
}

// The progress of add-files on a terminal: one line redrawn; elsewhere nothing until the end.
class CTerminalProgress : public IAddFilesProgress {
public:
    explicit CTerminalProgress(bool terminal) : m_terminal(terminal) {}
    bool SetRange(std::size_t count) override {
        m_count = count;
        return true;
    }
    bool SetPosition(std::size_t position) override {
        m_position = position;
        Draw();
        return true;
    }
    bool ShowCurrentFile(const std::string& text) override {
        m_current = std::filesystem::path(text).filename().string();
        return true;
    }
    void Completed() override {
        m_done = true;
        if (m_terminal) {
            std::fprintf(stderr, "\r\033[K");
        }
    }
    bool Done() const { return m_done; }

private:
    void Draw() {
        if (!m_terminal || m_count == 0) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_position != m_count && now - m_drawn < std::chrono::milliseconds(100)) {
            return;
        }
        m_drawn = now;
        constexpr std::size_t WIDTH = 30;
        const std::size_t filled = m_position * WIDTH / m_count;
        std::fprintf(stderr, "\r\033[K[%s%s] %zu/%zu %.40s", std::string(filled, '#').c_str(),
                     std::string(WIDTH - filled, ' ').c_str(), m_position, m_count,
                     m_current.c_str());
        std::fflush(stderr);
    }
    bool m_terminal;
    std::size_t m_count = 0;
    std::size_t m_position = 0;
    std::string m_current;
    std::chrono::steady_clock::time_point m_drawn{};
    std::atomic<bool> m_done{false};
};

int AddFilesCommand(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale add-files", USAGE_ADD_FILES);
    CCommon common;
    std::string directory;
    long long areaId = 0;
    bool recursive = false, extract = false;
    const int walked = WalkArguments(words, tool, common, false, [&](tool::CArgs& args) -> int {
        if (args.Is("--area")) {
            if (!args.TakeNumber(areaId, 1, 0xFFFFFFFFLL)) {
                return tool.UsageError("--area needs an area id");
            }
        } else if (args.Is("--recursive")) {
            recursive = true;
        } else if (args.Is("--extract-descriptions")) {
            extract = true;
        } else if (args.IsPositional() && directory.empty()) {
            directory = args.Current();
        } else {
            return NOT_MINE;
        }
        return TAKEN;
    });
    if (walked >= 0) {
        return walked;
    }
    if (directory.empty()) {
        return tool.UsageError("a directory is needed");
    }
    if (areaId == 0) {
        return tool.UsageError("--area is needed: the locally hosted area that gets the files");
    }
    CSession session(tool, common);
    if (!session.Start()) {
        return tool::EXIT_FAILED;
    }
    CAdminContext& context = session.Context();
    if (context.HostingAreas().empty()) {
        context.Tell(MSG_NO_HOSTING_AREAS, {}, EIcon::Warning);
        return session.Finish(false);
    }
    const AreaRecord* area = context.FindArea(static_cast<std::uint32_t>(areaId));
    if (area != nullptr && (area->Flags & AREA_HOSTED_LOCALLY) == 0) {
        area = nullptr; // not a hosting area: as if none was chosen
    }
    std::vector<std::string> files;
    if (!ChooseFilesToAdd(context, area, directory, recursive, files)) {
        return session.Finish(false);
    }
    CAddFilesJob job(context, *area, std::move(files), extract);
    if (!job.ConfirmCopy()) {
        return session.Finish(false);
    }
    CTerminalProgress progress(::isatty(STDERR_FILENO) == 1);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    job.Start(progress);
    while (!progress.Done() && !g_interrupted) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    job.Stop();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::string log = job.Log();
    std::string text;
    for (char c : log) {
        if (c != '\r') {
            text += c;
        }
    }
    std::fputs(text.c_str(), stdout);
    if (g_interrupted) {
        return tool.Fail("stopped after " + std::to_string(job.Added()) + " file(s)");
    }
    // The summary line alone means every file went in.
    const bool allAdded = text.find('\n') == text.size() - 1;
    return session.Finish(allAdded);
}

// ---- uploads ----

// The rows an upload NAME (or AREA/NAME) selects; a failure line printed when none or many.
bool SelectUpload(const tool::CTool& tool, const std::vector<CPendingUpload>& uploads,
                  const std::string& name, std::size_t& row) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < uploads.size(); ++i) {
        const std::string file = std::filesystem::path(uploads[i].uploadedPath).filename().string();
        if (file == name || std::to_string(uploads[i].areaId) + "/" + file == name) {
            found.push_back(i);
        }
    }
    if (found.empty()) {
        tool.Report("no upload is named " + name);
        return false;
    }
    if (found.size() > 1) {
        tool.Report("several areas hold an upload named " + name + ": name it AREA/" + name);
        return false;
    }
    row = found.front();
    return true;
}

int UploadsCommand(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale uploads", USAGE_UPLOADS);
    CCommon common;
    std::string action, name;
    bool all = false;
    const int walked = WalkArguments(words, tool, common, true, [&](tool::CArgs& args) -> int {
        if (args.Is("--all")) {
            all = true;
        } else if (args.IsPositional() && action.empty() &&
                   (args.Current() == "post" || args.Current() == "delete")) {
            action = args.Current();
        } else if (args.IsPositional() && !action.empty() && name.empty()) {
            name = args.Current();
        } else {
            return NOT_MINE;
        }
        return TAKEN;
    });
    if (walked >= 0) {
        return walked;
    }
    if (!action.empty() && name.empty() && !(all && action == "post")) {
        return tool.UsageError("uploads " + action + " needs an upload's name" +
                               (action == "post" ? " or --all" : ""));
    }
    if ((action.empty() || action == "delete") && all) {
        return tool.UsageError("--all goes with uploads post");
    }
    if (all && !name.empty()) {
        return tool.UsageError("give a name or --all, not both");
    }
    CSession session(tool, common);
    if (!session.Start(!action.empty())) {
        return tool::EXIT_FAILED;
    }
    CAdminContext& context = session.Context();
    std::vector<CPendingUpload> uploads = ScanUploads(context);
    if (action.empty()) {
        if (common.json) {
            CJsonArrayWriter out(stdout);
            for (const CPendingUpload& upload : uploads) {
                out.Add(CJsonObject()
                            .Text("name",
                                  std::filesystem::path(upload.uploadedPath).filename().string())
                            .Number("area", upload.areaId)
                            .Text("filename", upload.fileName)
                            .Text("title", upload.title)
                            .Text("version", upload.version)
                            .Text("description", upload.brief)
                            .Text("author", upload.author)
                            .Text("email", upload.email)
                            .Number("size", upload.size)
                            .Text("refusal", upload.refusal)
                            .Str());
            }
            out.End();
        } else if (uploads.empty()) {
            context.Tell(MSG_NO_NEW_FILES);
        } else {
            CTextTable table(stdout, {"Name", "Area", "Title", "Size", "Cannot be posted"});
            for (const CPendingUpload& upload : uploads) {
                table.Add({std::filesystem::path(upload.uploadedPath).filename().string(),
                           std::to_string(upload.areaId), upload.title, FormatWhole(upload.size),
                           upload.refusal});
            }
            table.End();
        }
        return session.Finish(true);
    }
    std::vector<std::size_t> rows;
    if (all) {
        for (std::size_t i = 0; i < uploads.size(); ++i) {
            rows.push_back(i);
        }
        if (rows.empty()) {
            context.Tell(MSG_NO_NEW_FILES);
            return session.Finish(true);
        }
    } else {
        std::size_t row = 0;
        if (!SelectUpload(tool, uploads, name, row)) {
            return tool::EXIT_FAILED;
        }
        rows.push_back(row);
    }
    if (action == "post") {
        const std::vector<CPendingUpload> posted = PostUploads(context, uploads, rows);
        for (const CPendingUpload& upload : posted) {
            std::printf("Posted %s as file %s: %s\n",
                        std::filesystem::path(upload.uploadedPath).filename().string().c_str(),
                        FormatWhole(upload.fileId).c_str(), upload.title.c_str());
        }
        return session.Finish(posted.size() == rows.size());
    }
    const std::string deleted =
        std::filesystem::path(uploads[rows.front()].uploadedPath).filename().string();
    if (DeleteUploads(context, uploads, rows) != rows.size()) {
        return session.Finish(false);
    }
    std::printf("Deleted %s\n", deleted.c_str());
    return session.Finish(true);
}

// ---- reviews ----

int ReviewsCommand(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale reviews", USAGE_REVIEWS);
    CCommon common;
    std::string action;
    std::vector<std::size_t> numbers;
    bool all = false;
    const int walked = WalkArguments(words, tool, common, true, [&](tool::CArgs& args) -> int {
        long long n = 0;
        if (args.Is("--all")) {
            all = true;
        } else if (args.IsPositional() && action.empty() &&
                   (args.Current() == "post" || args.Current() == "delete")) {
            action = args.Current();
        } else if (args.IsPositional() && !action.empty() &&
                   tool::ParseNumber(args.Current(), 1, 1000000000, n)) {
            numbers.push_back(static_cast<std::size_t>(n - 1));
        } else {
            return NOT_MINE;
        }
        return TAKEN;
    });
    if (walked >= 0) {
        return walked;
    }
    if (!action.empty() && numbers.empty() && !all) {
        return tool.UsageError("reviews " + action + " needs submission numbers or --all");
    }
    if (action.empty() && all) {
        return tool.UsageError("--all goes with post or delete");
    }
    CSession session(tool, common);
    if (!session.Start(false)) {
        return tool::EXIT_FAILED;
    }
    CSubmissionsModel model(session.Context());
    const auto& submissions = model.Submissions();
    if (action.empty()) {
        if (common.json) {
            CJsonArrayWriter out(stdout);
            for (std::size_t i = 0; i < submissions.size(); ++i) {
                const SubmissionEntry& s = submissions[i];
                out.Add(CJsonObject()
                            .Number("number", static_cast<double>(i + 1))
                            .Number("fileId", static_cast<double>(s.fileId))
                            .Text("fileName", s.fileName)
                            .Text("name", s.name)
                            .Text("email", s.email)
                            .Bool("anonymous", s.anonymous)
                            .Text("date", s.date)
                            .Text("text", s.text)
                            .Str());
            }
            out.End();
        } else {
            CTextTable table(stdout, {"N", "File", "Filename", "Name", "Email", "Date"});
            for (std::size_t i = 0; i < submissions.size(); ++i) {
                const SubmissionEntry& s = submissions[i];
                table.Add({std::to_string(i + 1), std::to_string(s.fileId), s.fileName, s.name,
                           s.email, s.date});
            }
            table.End();
        }
        return session.Finish(true);
    }
    if (all) {
        numbers.clear();
        for (std::size_t i = 0; i < submissions.size(); ++i) {
            numbers.push_back(i);
        }
    }
    for (std::size_t n : numbers) {
        if (n >= submissions.size()) {
            return tool.Fail("there is no submission " + std::to_string(n + 1) + " (" +
                             std::to_string(submissions.size()) + " waiting)");
        }
    }
    const std::size_t handled = action == "post" ? model.Post(numbers) : model.Delete(numbers);
    model.Close();
    std::printf("%s %zu submission(s)\n", action == "post" ? "Posted" : "Deleted", handled);
    return session.Finish(handled == numbers.size());
}

// ---- file ----

int FileCommand(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale file", USAGE_FILE);
    CCommon common;
    std::string action, id;
    long long areaId = 0;
    bool keepLocal = false;
    const int walked = WalkArguments(words, tool, common, true, [&](tool::CArgs& args) -> int {
        if (args.Is("--area")) {
            if (!args.TakeNumber(areaId, 1, 0xFFFFFFFFLL)) {
                return tool.UsageError("--area needs an area id");
            }
        } else if (args.Is("--keep-local")) {
            keepLocal = true;
        } else if (args.IsPositional() && action.empty()) {
            action = args.Current();
            if (action != "show" && action != "delete" && action != "remove") {
                return tool.UsageError("unknown file command \"" + action + "\"");
            }
        } else if (args.IsPositional() && !action.empty() && id.empty()) {
            id = args.Current();
        } else {
            return NOT_MINE;
        }
        return TAKEN;
    });
    if (walked >= 0) {
        return walked;
    }
    long long fileId = 0;
    if (action.empty()) {
        return tool.UsageError("file needs show, delete or remove");
    }
    if (!ParseId(id, fileId)) {
        return tool.UsageError(id.empty() ? "a file id is needed" : "not a file id: " + id);
    }
    if (action == "remove" && areaId == 0) {
        return tool.UsageError("file remove needs --area");
    }
    CSession session(tool, common);
    if (!session.Start()) {
        return tool::EXIT_FAILED;
    }
    CAdminContext& context = session.Context();
    CFileRecord file(&context.Catalogue());
    if (!file.Get(static_cast<std::int32_t>(fileId), false)) {
        return tool.Fail("no file has the id " + id);
    }
    if (keepLocal) {
        session.Prompt().Answer(MSG_DELETE_LOCAL, EAnswer::No);
    }
    if (action == "delete") {
        std::vector<CFileRecord> files{file};
        const bool deleted = DeleteFiles(context, files) == 1;
        if (deleted) {
            std::printf("Deleted file %s: %s\n", id.c_str(), file.m_TITLE.c_str());
        }
        return session.Finish(deleted);
    }
    if (action == "remove") {
        if (context.FindArea(static_cast<std::uint32_t>(areaId)) == nullptr) {
            return tool.Fail("no area has the id " + std::to_string(areaId));
        }
        std::vector<CFileRecord> files{file};
        const bool removed =
            RemoveFilesFromArea(context, files, static_cast<std::uint32_t>(areaId)) == 1;
        if (removed) {
            std::printf("Removed file %s from area %lld\n", id.c_str(), areaId);
        }
        return session.Finish(removed);
    }
    std::vector<double> areaIds;
    std::vector<std::string> locations;
    context.Catalogue().GetAreaIDsForFile(file.m_FILE_ID, areaIds);
    context.Catalogue().GetDownloadURLs(file.m_FILE_ID, locations);
    auto areaName = [&](double areaIdValue) {
        const AreaRecord* area = context.FindArea(static_cast<std::uint32_t>(areaIdValue));
        return area != nullptr ? area->Name : std::string();
    };
    if (common.json) {
        std::vector<std::string> areaJson, locationJson;
        for (double a : areaIds) {
            areaJson.push_back(CJsonObject().Number("id", a).Text("name", areaName(a)).Str());
        }
        for (const std::string& l : locations) {
            locationJson.push_back(JsonString(l));
        }
        std::printf("%s\n", CJsonObject()
                                .Number("id", file.m_FILE_ID)
                                .Text("title", file.m_TITLE)
                                .Text("version", file.m_VERSION)
                                .Number("size", file.m_SIZE)
                                .Text("fileDate", file.m_FILE_DATE.Format())
                                .Text("lastDownload", file.m_LAST_DWNLD.Format())
                                .Number("downloads", file.m_DOWNLOADS)
                                .Bool("requiresForm", file.m_REQ_FORM)
                                .Text("author", file.m_UPLD_NAME)
                                .Text("email", file.m_UPLD_EMAIL)
                                .Text("shortDescription", file.m_SHORT_DESC)
                                .Text("longDescription", file.m_LONG_DESC)
                                .Raw("areas", JsonArray(areaJson))
                                .Raw("locations", JsonArray(locationJson))
                                .Str()
                                .c_str());
        return session.Finish(true);
    }
    std::printf("ID:             %s\nTitle:          %s\nVersion:        %s\nSize:           %s "
                "bytes\nFile date:      %s\nLast download:  %s\nDownloads:      %s\n"
                "Requires form:  %s\nAuthor:         %s\nEmail:          %s\n"
                "Brief:          %s\n",
                FormatWhole(file.m_FILE_ID).c_str(), file.m_TITLE.c_str(), file.m_VERSION.c_str(),
                FormatWhole(file.m_SIZE).c_str(), FormatListDate(file.m_FILE_DATE).c_str(),
                FormatListDate(file.m_LAST_DWNLD).c_str(), FormatWhole(file.m_DOWNLOADS).c_str(),
                file.m_REQ_FORM ? "yes" : "no", file.m_UPLD_NAME.c_str(), file.m_UPLD_EMAIL.c_str(),
                file.m_SHORT_DESC.c_str());
    for (double a : areaIds) {
        std::printf("Area:           %s %s\n", FormatWhole(a).c_str(), areaName(a).c_str());
    }
    for (const std::string& l : locations) {
        std::printf("Location:       %s\n", l.c_str());
    }
    if (!file.m_LONG_DESC.empty()) {
        std::string text;
        for (char c : file.m_LONG_DESC) {
            if (c != '\r') {
                text += c;
            }
        }
        std::printf("\n%s\n", text.c_str());
    }
    return session.Finish(true);
}

// ---- virus-check, generate ----

int VirusCheckCommand(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale virus-check", USAGE_VIRUS_CHECK);
    CCommon common;
    std::string id;
    const int walked = WalkArguments(words, tool, common, false, [&](tool::CArgs& args) -> int {
        if (args.IsPositional() && id.empty()) {
            id = args.Current();
        } else {
            return NOT_MINE;
        }
        return TAKEN;
    });
    if (walked >= 0) {
        return walked;
    }
    long long fileId = 0;
    if (!ParseId(id, fileId)) {
        return tool.UsageError(id.empty() ? "a file id is needed" : "not a file id: " + id);
    }
    CSession session(tool, common);
    if (!session.Start()) {
        return tool::EXIT_FAILED;
    }
    CFileRecord file(&session.Context().Catalogue());
    if (!file.Get(static_cast<std::int32_t>(fileId), false)) {
        return tool.Fail("no file has the id " + id);
    }
    return session.Finish(VirusCheckFile(session.Context(), file) !=
                          EVirusCheckOutcome::Infected);
}

int GenerateCommand(const std::vector<std::string>& words) {
    tool::CTool tool("dorvale generate", USAGE_GENERATE);
    tool::CArgs args(words);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    while (args.Next()) {
        return tool.UsageError(args.Unexpected());
    }
    const std::string generator = FindGenerator();
    if (generator.empty()) {
        return tool.Fail("sheetforge not found beside dorvale or on PATH");
    }
    process::CExitStatus status;
    std::string error;
    if (!process::RunAndWait(generator, {"--console"}, {}, status, error)) {
        return tool.Fail(error);
    }
    return status.exited ? status.code : 128 + status.signal;
}

} // namespace

int RunDorvale(const std::vector<std::string>& args) {
    tool::CTool tool("dorvale", USAGE_DORVALE);
    if (args.empty()) {
        return tool.UsageError("a command is needed");
    }
    const std::string& command = args.front();
    if (command == "--help" || command == "-h" || command == "help") {
        return tool.Help();
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    using THandler = int (*)(const std::vector<std::string>&);
    const std::pair<const char*, THandler> commands[] = {
        {"areas", Areas},
        {"groups", Groups},
        {"files", Files},
        {"search", Search},
        {"add-file", AddFileCommand},
        {"add-files", AddFilesCommand},
        {"uploads", UploadsCommand},
        {"reviews", ReviewsCommand},
        {"file", FileCommand},
        {"virus-check", VirusCheckCommand},
        {"generate", GenerateCommand},
        {"config", ConfigCommand},
        {"area", AreaCommand},
        {"group", GroupCommand},
    };
    for (const auto& [name, handler] : commands) {
        if (command == name) {
            return handler(rest);
        }
    }
    return tool.UsageError("unknown command \"" + command + "\"");
}
