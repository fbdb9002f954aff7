// dorvale area: adding, changing and removing file areas.

#include "AreaEditor.h"
#include "AreaLists.h"
#include "SetupCommandSupport.h"
#include "SetupCommands.h"
#include "SetupUsage.h"

#include <cstdio>
#include <optional>

namespace {

// The area options as given; absent ones leave the editor's value.
struct CAreaOptions {
    std::optional<std::string> name;
    std::optional<std::string> path;
    std::optional<std::string> httpAlias;
    std::optional<std::string> ftpAlias;
    std::optional<bool> uploads;
    std::optional<bool> downloads;
    bool notHosted = false;
};

// -1: not an area option; otherwise 0 taken, or a usage error's exit status.
int TakeAreaOption(tool::CArgs& args, const tool::CTool& tool, CAreaOptions& options) {
    const auto value = [&](std::optional<std::string>& field, const char* what) {
        std::string text;
        if (!args.TakeValue(text, true)) {
            return tool.UsageError(std::string(args.Current()) + " needs " + what);
        }
        field = text;
        return 0;
    };
    if (args.Is("--name")) {
        return value(options.name, "a name");
    }
    if (args.Is("--path")) {
        return value(options.path, "a directory");
    }
    if (args.Is("--http-alias")) {
        return value(options.httpAlias, "an alias");
    }
    if (args.Is("--ftp-alias")) {
        return value(options.ftpAlias, "an alias");
    }
    for (const auto& [flag, field, on] :
         {std::tuple{"--uploads", &options.uploads, true},
          std::tuple{"--no-uploads", &options.uploads, false},
          std::tuple{"--downloads", &options.downloads, true},
          std::tuple{"--no-downloads", &options.downloads, false}}) {
        if (args.Is(flag)) {
            *field = on;
            return 0;
        }
    }
    if (args.Is("--not-hosted")) {
        options.notHosted = true;
        return 0;
    }
    return -1;
}

// Applies the options as a user would fill the editor in: the upload box, the hosting box,
// the directory (which proposes the aliases), then the aliases typed over them.
bool FillEditor(CAreaEditor& editor, const CAreaOptions& options, const tool::CTool& tool) {
    if (options.notHosted && (options.path || options.uploads.value_or(false))) {
        tool.UsageError("--not-hosted excludes --path and --uploads");
        return false;
    }
    if (options.name) {
        editor.name = *options.name;
    }
    if (options.downloads) {
        editor.downloads = *options.downloads;
    }
    if (options.uploads) {
        if (*options.uploads && !editor.IsUploadsEnabled()) {
            tool.Report("uploads are not allowed (AllowUploads is 0): see dorvale config");
            return false;
        }
        editor.SetUploads(*options.uploads);
    }
    if (options.notHosted) {
        if (!editor.IsHostedLocallyEnabled()) {
            tool.Report("an area taking uploads is hosted locally: give --no-uploads too");
            return false;
        }
        editor.SetHostedLocally(false);
    }
    if (options.path) {
        editor.SetHostedLocally(true);
        editor.PathEdited(NormaliseAreaPath(*options.path));
    }
    if (options.ftpAlias) {
        editor.ftpAlias = *options.ftpAlias;
    }
    if (options.httpAlias) {
        editor.httpAlias = *options.httpAlias;
    }
    return true;
}

// Removal's dialogs answered from the command line.
class CRemovalOptions : public IAreaRemovalUi {
public:
    CRemovalOptions(const tool::CTool& tool, std::uint32_t moveTo, bool deleteFiles)
        : m_tool(tool), m_moveTo(moveTo), m_deleteFiles(deleteFiles) {}
    ERemoveAction ChooseRemoveAction() override {
        if (m_moveTo != 0) {
            return ERemoveAction::Move;
        }
        if (m_deleteFiles) {
            return ERemoveAction::Delete;
        }
        m_tool.Report("the area still has files: give --move-to ID or --delete-files");
        return ERemoveAction::Cancel;
    }
    bool SelectArea(const std::vector<CAreaLine>& targets, std::uint32_t& id) override {
        for (const CAreaLine& line : targets) {
            if (line.id == m_moveTo) {
                id = m_moveTo;
                return true;
            }
        }
        std::string ids;
        for (const CAreaLine& line : targets) {
            ids += (ids.empty() ? "" : ", ") + std::to_string(line.id);
        }
        m_tool.Report("the files cannot move to area " + std::to_string(m_moveTo) +
                      "; they can move to: " + ids);
        return false;
    }

private:
    const tool::CTool& m_tool;
    std::uint32_t m_moveTo;
    bool m_deleteFiles;
};

int AddOrEdit(const tool::CTool& tool, tool::CArgs& args, bool add) {
    CSetupCommon common;
    CAreaOptions options;
    std::optional<std::uint32_t> id;
    int status = -1;
    while (NextOwnArgument(args, tool, common, status)) {
        const int taken = TakeAreaOption(args, tool, options);
        if (taken > 0) {
            return taken;
        }
        if (taken == 0) {
            continue;
        }
        std::uint32_t value = 0;
        if (!add && !id && args.IsPositional() && ParseAreaId(args.Current(), value)) {
            id = value;
            continue;
        }
        return tool.UsageError(args.Unexpected());
    }
    if (status >= 0) {
        return status;
    }
    if (add && !options.name) {
        return tool.UsageError("add needs --name");
    }
    if (!add && !id) {
        return tool.UsageError("edit needs the area's id");
    }
    CSetupCommandRun run(tool, common);
    if (!run.OpenStore()) {
        return tool::EXIT_FAILED;
    }
    AreaRecord stored;
    if (!add && !run.Store().FindArea(*id, stored)) {
        return tool.Fail("no area has the id " + std::to_string(*id));
    }
    CAreaEditor editor(add ? nullptr : &stored, run.EditorContext());
    if (!FillEditor(editor, options, tool)) {
        return tool::EXIT_FAILED;
    }
    EAreaField focus = EAreaField::None;
    if (!editor.Validate(focus)) {
        return run.Finish(false);
    }
    AreaRecord record = editor.BuildRecord(add ? 0 : *id);
    if (add ? !run.Store().AddArea(record) : !run.Store().UpdateArea(record)) {
        return tool.Fail("cannot write " + GetFileAreaStorePath(run.DatabasePath()));
    }
    if (add) {
        std::printf("%u\n", record.Id);
    }
    return run.Finish(true);
}

int Remove(const tool::CTool& tool, tool::CArgs& args) {
    CSetupCommon common;
    std::optional<std::uint32_t> id;
    std::uint32_t moveTo = 0;
    bool deleteFiles = false;
    bool keepLocal = false;
    int status = -1;
    while (NextOwnArgument(args, tool, common, status)) {
        std::uint32_t value = 0;
        if (args.Is("--move-to")) {
            std::string text;
            if (!args.TakeValue(text) || !ParseAreaId(text, moveTo)) {
                return tool.UsageError("--move-to needs an area's id");
            }
        } else if (args.Is("--delete-files")) {
            deleteFiles = true;
        } else if (args.Is("--keep-local")) {
            keepLocal = true;
        } else if (!id && args.IsPositional() && ParseAreaId(args.Current(), value)) {
            id = value;
        } else {
            return tool.UsageError(args.Unexpected());
        }
    }
    if (status >= 0) {
        return status;
    }
    if (!id) {
        return tool.UsageError("remove needs the area's id");
    }
    if (moveTo != 0 && deleteFiles) {
        return tool.UsageError("--move-to and --delete-files exclude each other");
    }
    if (keepLocal && !deleteFiles) {
        return tool.UsageError("--keep-local goes with --delete-files");
    }
    CSetupCommandRun run(tool, common);
    if (!run.OpenStore()) {
        return tool::EXIT_FAILED;
    }
    if (run.Store().FindArea(*id) == 0) {
        return tool.Fail("no area has the id " + std::to_string(*id));
    }
    run.Prompt().Answer("Do you want to delete files from local file storage?",
                        keepLocal ? prompt::EAnswer::No : prompt::EAnswer::Yes);
    CRemovalOptions ui(tool, moveTo, deleteFiles);
    CRemovalReport report;
    const bool removed = RemoveArea(run.Store(), *id, run.DataSource(), run.Prompt(), ui, report);
    if (removed) {
        std::printf("removed area %u: %zu files %s, %zu local copies %s\n", *id, report.files,
                    moveTo != 0 ? "moved" : "deleted", report.localFiles,
                    moveTo != 0 ? "moved" : "deleted");
    }
    return run.Finish(removed && report.problems.empty());
}

} // namespace

int AreaCommand(const std::vector<std::string>& arguments) {
    const tool::CTool tool("dorvale area", USAGE_AREA);
    return RunEditCommand(tool, arguments, AddOrEdit, Remove);
}
