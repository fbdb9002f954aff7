#include "CommandState.h"

bool IsCommandEnabled(ECommand command, const CCommandState& state) {
    const bool files = state.node == TREEITEM_AREA || state.node == TREEITEM_SEARCH;
    const bool anyEntry = state.selectedEntries > 0;
    const bool oneEntry = state.selectedEntries == 1;
    switch (command) {
    case ECommand::Open:
        return (state.node == TREEITEM_ROOT || state.node == TREEITEM_GROUP || files) && oneEntry;
    case ECommand::OpenAsHtml:
        return files && oneEntry && state.httpServerSet;
    case ECommand::VirusCheck:
        return state.virusCheckerSet && files && anyEntry;
    case ECommand::Properties:
        return state.listHasFocus && oneEntry;
    case ECommand::DeleteFile:
        return state.listHasFocus && files && anyEntry;
    case ECommand::RemoveFromArea:
        return state.node == TREEITEM_AREA && anyEntry;
    case ECommand::Sheetforge:
        return state.generatorFound;
    case ECommand::Up:
        return state.node == TREEITEM_GROUP || files;
    case ECommand::TreeProperties:
        return state.node == TREEITEM_GROUP || state.node == TREEITEM_AREA;
    case ECommand::ScanForNewFiles:
    case ECommand::ScanForNewReviews:
    case ECommand::Close:
    case ECommand::New:
    case ECommand::AddMultiple:
    case ECommand::FindFiles:
    case ECommand::Toolbar:
    case ECommand::StatusBar:
    case ECommand::LargeIcons:
    case ECommand::SmallIcons:
    case ECommand::List:
    case ECommand::Details:
    case ECommand::Refresh:
    case ECommand::HelpTopics:
    case ECommand::Guide:
    case ECommand::About:
        break;
    }
    return true;
}
