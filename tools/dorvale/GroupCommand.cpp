// dorvale group: adding, changing and removing file groups.

#include "AreaLists.h"
#include "SetupCommandSupport.h"
#include "SetupCommands.h"
#include "SetupUsage.h"

#include <algorithm>
#include <optional>

namespace {

int AddOrEdit(const tool::CTool& tool, tool::CArgs& args, bool add) {
    CSetupCommon common;
    std::optional<std::string> name;
    std::optional<std::string> newName;
    std::optional<std::vector<std::uint32_t>> areas;
    std::vector<std::uint32_t> added;
    std::vector<std::uint32_t> removed;
    int status = -1;
    while (NextOwnArgument(args, tool, common, status)) {
        const auto takeId = [&](std::vector<std::uint32_t>& ids) {
            std::string text;
            std::uint32_t id = 0;
            if (!args.TakeValue(text) || !ParseAreaId(text, id)) {
                return false;
            }
            ids.push_back(id);
            return true;
        };
        if (args.Is("--area")) {
            if (!areas) {
                areas.emplace();
            }
            if (!takeId(*areas)) {
                return tool.UsageError("--area needs an area's id");
            }
        } else if (!add && (args.Is("--add-area") || args.Is("--remove-area"))) {
            if (!takeId(args.Is("--add-area") ? added : removed)) {
                return tool.UsageError(args.Current() + " needs an area's id");
            }
        } else if (!add && args.Is("--name")) {
            std::string text;
            if (!args.TakeValue(text, true)) {
                return tool.UsageError("--name needs a name");
            }
            newName = text;
        } else if (!name && args.IsPositional()) {
            name = args.Current();
        } else {
            return tool.UsageError(args.Unexpected());
        }
    }
    if (status >= 0) {
        return status;
    }
    if (!name) {
        return tool.UsageError("the group's name is needed");
    }
    if (add && !areas) {
        return tool.UsageError("add needs at least one --area");
    }
    CSetupCommandRun run(tool, common);
    if (!run.OpenStore()) {
        return tool::EXIT_FAILED;
    }
    if (add && !CanAddGroup(run.Store(), run.Prompt())) {
        return run.Finish(false);
    }
    std::vector<std::string> groups = SortedGroupNames(run.DatabasePath());
    if (!add && std::find(groups.begin(), groups.end(), *name) == groups.end()) {
        return tool.Fail("no group is named \"" + *name + "\"");
    }
    CGroupEditor editor(run.DatabasePath(), run.Store(), add ? std::string() : *name);
    editor.name = add ? *name : newName.value_or(*name);
    if (areas) {
        std::fill(editor.checked.begin(), editor.checked.end(), false);
    }
    for (const auto& [ids, on] : {std::pair{areas.value_or(std::vector<std::uint32_t>{}), true},
                                  std::pair{added, true}, std::pair{removed, false}}) {
        for (std::uint32_t id : ids) {
            if (!editor.Check(id, on)) {
                return tool.Fail("no area has the id " + std::to_string(id));
            }
        }
    }
    return run.Finish(editor.Validate(run.Prompt()) && editor.Save(run.Prompt()));
}

int Remove(const tool::CTool& tool, tool::CArgs& args) {
    CSetupCommon common;
    std::optional<std::string> name;
    int status = -1;
    while (NextOwnArgument(args, tool, common, status)) {
        if (name || !args.IsPositional()) {
            return tool.UsageError(args.Unexpected());
        }
        name = args.Current();
    }
    if (status >= 0) {
        return status;
    }
    if (!name) {
        return tool.UsageError("the group's name is needed");
    }
    CSetupCommandRun run(tool, common);
    if (!run.OpenStore()) {
        return tool::EXIT_FAILED;
    }
    const std::vector<std::string> groups = SortedGroupNames(run.DatabasePath());
    if (std::find(groups.begin(), groups.end(), *name) == groups.end()) {
        return tool.Fail("no group is named \"" + *name + "\"");
    }
    return run.Finish(RemoveGroup(run.DatabasePath(), *name, run.Prompt()));
}

} // namespace

int GroupCommand(const std::vector<std::string>& arguments) {
    const tool::CTool tool("dorvale group", USAGE_GROUP);
    return RunEditCommand(tool, arguments, AddOrEdit, Remove);
}
