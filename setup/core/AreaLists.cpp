#include "AreaLists.h"

#include "GroupFiles.h"
#include "SettingsModel.h"
#include "SetupText.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EIcon;

bool AskDelete(const std::string& name, prompt::IPrompt& prompt) {
    return prompt.Message("Are you sure you want to delete \"" + name + "\"?", "Warning",
                          EButtons::YesNo, EIcon::Question) == EAnswer::Yes;
}

void ShowProblems(const CRemovalReport& report, prompt::IPrompt& prompt) {
    if (report.problems.empty()) {
        return;
    }
    std::string text = "Some files were left as they were:";
    for (const std::string& problem : report.problems) {
        text += "\n" + problem;
    }
    prompt.Message(text, "Warning", EButtons::Ok, EIcon::Warning);
}

} // namespace

std::vector<CAreaLine> SortedAreaLines(const std::vector<AreaRecord>& areas) {
    std::vector<CAreaLine> lines;
    lines.reserve(areas.size());
    for (const AreaRecord& area : areas) {
        lines.push_back({area.Id, area.Name});
    }
    std::stable_sort(lines.begin(), lines.end(), [](const CAreaLine& a, const CAreaLine& b) {
        return setuptext::LessForList(a.name, b.name);
    });
    return lines;
}

std::vector<std::string> SortedGroupNames(const std::string& databasePath) {
    std::vector<std::string> names = EnumerateGroups(databasePath);
    std::sort(names.begin(), names.end(), setuptext::LessForList);
    return names;
}

std::vector<CAreaLine> MoveTargets(const std::vector<AreaRecord>& areas, const AreaRecord& source) {
    std::vector<AreaRecord> targets;
    const bool hosted = (source.Flags & AREA_HOSTED_LOCALLY) != 0;
    for (const AreaRecord& area : areas) {
        if (area.Id != source.Id && (!hosted || (area.Flags & AREA_HOSTED_LOCALLY) != 0)) {
            targets.push_back(area);
        }
    }
    return SortedAreaLines(targets);
}

bool RemoveArea(CFileAreaStore& store, std::uint32_t id, const std::string& dataSource,
                prompt::IPrompt& prompt, IAreaRemovalUi& ui, CRemovalReport& report) {
    AreaRecord area;
    if (id == 0 || !store.FindArea(id, area) || !AskDelete(area.Name, prompt)) {
        return false;
    }
    CAreaCatalogue catalogue(dataSource);
    if (catalogue.Open() && catalogue.CountFiles(id) > 0) {
        const ERemoveAction action = ui.ChooseRemoveAction();
        if (action == ERemoveAction::Cancel) {
            return false;
        }
        const std::vector<AreaRecord> areas = store.EnumerateAreas();
        if (action == ERemoveAction::Delete) {
            bool deleteLocal = false;
            if ((area.Flags & AREA_HOSTED_LOCALLY) != 0) {
                const EAnswer answer =
                    prompt.Message("Do you want to delete files from local file storage?",
                                   "Warning", EButtons::YesNoCancel, EIcon::Warning);
                if (answer != EAnswer::Yes && answer != EAnswer::No) {
                    return false;
                }
                deleteLocal = answer == EAnswer::Yes;
            }
            catalogue.DeleteFiles(area, deleteLocal, report);
        } else {
            if (areas.size() < 2) {
                prompt.Message("There are no other file areas to move this area to.", "Error",
                               EButtons::Ok, EIcon::Error);
                return false;
            }
            const std::vector<CAreaLine> targets = MoveTargets(areas, area);
            if (targets.empty()) {
                prompt.Message(
                    "You can only move files from a locally hosted area to another locally "
                    "hosted area. There are no other locally hosted file areas in the Dorvale. "
                    "Either add a new locally hosted file area to your Dorvale or modify one of "
                    "your current areas to be locally hosted.",
                    "Error", EButtons::Ok, EIcon::Error);
                return false;
            }
            std::uint32_t targetId = 0;
            AreaRecord target;
            if (!ui.SelectArea(targets, targetId) || !store.FindArea(targetId, target)) {
                return false;
            }
            catalogue.MoveFiles(area, target, report);
        }
    }
    const bool removed = store.DeleteArea(id);
    ShowProblems(report, prompt);
    return removed;
}

bool CanAddGroup(const CFileAreaStore& store, prompt::IPrompt& prompt) {
    if (store.GetAreaCount() > 0) {
        return true;
    }
    prompt.Message("You must define at least one File Area before adding a group", PROGRAM_TITLE,
                   EButtons::Ok, EIcon::None);
    return false;
}

CGroupEditor::CGroupEditor(const std::string& databasePath, const CFileAreaStore& store,
                           const std::string& openedName)
    : name(openedName), lines(SortedAreaLines(store.EnumerateAreas())),
      checked(lines.size(), false), selected(lines.size(), false), m_databasePath(databasePath),
      m_openedName(openedName) {
    std::vector<std::uint32_t> ids;
    if (!openedName.empty() && ReadGroup(databasePath, openedName, ids)) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            checked[i] = std::find(ids.begin(), ids.end(), lines[i].id) != ids.end();
        }
    }
}

void CGroupEditor::SelectAll() {
    std::fill(selected.begin(), selected.end(), true);
}

void CGroupEditor::ClearAll() {
    std::fill(selected.begin(), selected.end(), false);
}

void CGroupEditor::Toggle() {
    const auto first = std::find(selected.begin(), selected.end(), true);
    if (first == selected.end()) {
        return;
    }
    const bool mark = !checked[static_cast<std::size_t>(first - selected.begin())];
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (selected[i]) {
            checked[i] = mark;
        }
    }
}

bool CGroupEditor::Check(std::uint32_t id, bool on) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].id == id) {
            checked[i] = on;
            return true;
        }
    }
    return false;
}

bool CGroupEditor::Validate(prompt::IPrompt& prompt) {
    const auto refuse = [&prompt](const std::string& text) {
        prompt.Message(text, PROGRAM_TITLE, EButtons::Ok, EIcon::None);
        return false;
    };
    name = setuptext::Trim(name);
    if (name.empty()) {
        return refuse("The Group Name field cannot be blank.");
    }
    if (const std::string problem = GetGroupNameProblem(name); !problem.empty()) {
        return refuse(problem);
    }
    std::error_code ec;
    if (name != m_openedName &&
        std::filesystem::exists(GetGroupFilePath(m_databasePath, name), ec)) {
        return refuse("A duplicate group name already exists");
    }
    if (std::find(checked.begin(), checked.end(), true) == checked.end()) {
        return refuse("You must select at least one file area into the group.");
    }
    return true;
}

bool CGroupEditor::Save(prompt::IPrompt& prompt) {
    std::vector<std::uint32_t> ids;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (checked[i]) {
            ids.push_back(lines[i].id);
        }
    }
    if (WriteGroup(m_databasePath, name, ids, m_openedName)) {
        m_openedName = name;
        return true;
    }
    prompt.Message("The group file " + GetGroupFilePath(m_databasePath, name) +
                       " could not be written.",
                   PROGRAM_TITLE, EButtons::Ok, EIcon::Error);
    return false;
}

bool RemoveGroup(const std::string& databasePath, const std::string& name,
                 prompt::IPrompt& prompt) {
    return AskDelete(name, prompt) && DeleteGroup(databasePath, name);
}
