#pragma once
// The File Areas and File Groups tabs' work that is not drawing: their lists, removing an
// area (with its files moved to another area or deleted), and the group editor
// ("File Group Properties").

#include "AreaCatalogue.h"
#include "FileAreaStore.h"
#include "Prompt.h"

#include <cstdint>
#include <string>
#include <vector>

// One line of a list: what it shows and the id it holds.
struct CAreaLine {
    std::uint32_t id = 0;
    std::string name;
};

// Every area, sorted by name as the lists show them.
std::vector<CAreaLine> SortedAreaLines(const std::vector<AreaRecord>& areas);
// The group files of the database directory, sorted by name.
std::vector<std::string> SortedGroupNames(const std::string& databasePath);

// The areas the files of `source` may move to: every other area, and only those hosted
// locally when the source is.
std::vector<CAreaLine> MoveTargets(const std::vector<AreaRecord>& areas, const AreaRecord& source);

enum class ERemoveAction { Move, Delete, Cancel };

// The two dialogs removal may need besides message boxes.
class IAreaRemovalUi {
public:
    virtual ~IAreaRemovalUi() = default;
    // Move, Delete or Cancel for an area that still has files.
    virtual ERemoveAction ChooseRemoveAction() = 0;
    // The area to move to, among `targets`; false when cancelled.
    virtual bool SelectArea(const std::vector<CAreaLine>& targets, std::uint32_t& id) = 0;
};

// Removes the area with this id after asking, moving or deleting its files in the catalogue
// of `dataSource`. True when the area left the store. Files and copies left as they were are
// listed in `report` and shown to the user.
bool RemoveArea(CFileAreaStore& store, std::uint32_t id, const std::string& dataSource,
                prompt::IPrompt& prompt, IAreaRemovalUi& ui, CRemovalReport& report);

// Adding a group while the store has no area is refused with this message.
bool CanAddGroup(const CFileAreaStore& store, prompt::IPrompt& prompt);

class CGroupEditor {
public:
    // A new group (empty name) or the group of that name, whose member areas are checked.
    CGroupEditor(const std::string& databasePath, const CFileAreaStore& store,
                 const std::string& openedName);

    std::string name;
    // The areas by name, each with its check mark and selection.
    std::vector<CAreaLine> lines;
    std::vector<bool> checked;
    std::vector<bool> selected;

    const std::string& OpenedName() const { return m_openedName; }
    void SelectAll();
    void ClearAll();
    // Every selected line gets the opposite of the first selected line's check mark.
    void Toggle();
    // Checks the line holding `id`; false when no line does.
    bool Check(std::uint32_t id, bool on = true);

    // OK: the name trimmed and checked, at least one area checked. False after telling why.
    bool Validate(prompt::IPrompt& prompt);
    // Writes the group file (removing the old one when renamed). False after telling why.
    bool Save(prompt::IPrompt& prompt);

private:
    std::string m_databasePath;
    std::string m_openedName;
};

// Deletes a group's file after asking; true when it is gone.
bool RemoveGroup(const std::string& databasePath, const std::string& name, prompt::IPrompt& prompt);
