// dorvale config: the settings pages' values, shown and set.

#include "IISRegistryManager.h"
#include "Settings.h"
#include "SettingsModel.h"
#include "SetupCommandSupport.h"
#include "SetupCommands.h"
#include "SetupText.h"
#include "SetupUsage.h"
#include "Text.h"

#include <cstdio>
#include <vector>

namespace {

// A list's value given as its index or its text.
bool ListIndex(const std::string& value, const char* const* texts, int count, std::string& index) {
    for (int i = 0; i < count; ++i) {
        if (value == std::to_string(i) || base::EqualsNoCase(value, texts[i])) {
            index = std::to_string(i);
            return true;
        }
    }
    return false;
}

std::string Shown(const CSettingsModel& model, ESetting setting) {
    const std::string& value = model.Value(setting);
    switch (setting) {
    case ESetting::AllowUploads:
        return value + " (" + settings::ALLOW_UPLOADS_TEXTS[model.Number(setting)] + ")";
    case ESetting::Overwrite:
        return value + " (" + settings::OVERWRITE_TEXTS[model.Number(setting)] + ")";
    case ESetting::FreeSpaceThreshold:
        return value + " MiB";
    default:
        return value;
    }
}

int Show(const tool::CTool& tool, tool::CArgs& args) {
    while (args.Next()) {
        return tool.UsageError(args.Unexpected());
    }
    CSettingsModel model;
    model.LoadUploadPages();
    model.LoadGeneral(ConnectRegistryManager(WEB_SERVICE_NAME).get());
    for (std::size_t i = 0; i < SETTING_COUNT; ++i) {
        const ESetting setting = static_cast<ESetting>(i);
        std::printf("%-19s %s\n", GetSettingInfo(setting).name, Shown(model, setting).c_str());
    }
    return tool::EXIT_DONE;
}

int Set(const tool::CTool& tool, tool::CArgs& args) {
    CSetupCommon common;
    std::vector<std::string> words;
    int status = -1;
    while (NextOwnArgument(args, tool, common, status)) {
        if (!args.IsPositional()) {
            return tool.UsageError(args.Unexpected());
        }
        words.push_back(args.Current());
    }
    if (status >= 0) {
        return status;
    }
    if (words.empty() || words.size() % 2 != 0) {
        return tool.UsageError("set needs NAME VALUE pairs");
    }
    CSettingsModel model;
    model.LoadUploadPages();
    model.LoadGeneral(nullptr);
    std::vector<ESetting> given;
    for (std::size_t i = 0; i < words.size(); i += 2) {
        const auto setting = FindSetting(words[i]);
        if (!setting) {
            return tool.UsageError("no setting is named \"" + words[i] + "\"");
        }
        std::string value = words[i + 1];
        if (*setting == ESetting::AllowUploads &&
            !ListIndex(value, settings::ALLOW_UPLOADS_TEXTS, settings::ALLOW_UPLOADS_COUNT,
                       value)) {
            return tool.UsageError("AllowUploads is 0, 1, 2 or 3");
        }
        if (*setting == ESetting::Overwrite &&
            !ListIndex(value, settings::OVERWRITE_TEXTS, settings::OVERWRITE_COUNT, value)) {
            return tool.UsageError("Overwrite is 0, 1 or 2");
        }
        model.Value(*setting) = value;
        given.push_back(*setting);
    }
    CSetupCommandRun run(tool, common);
    for (ESetting setting : given) {
        if (!model.Validate(setting, run.Prompt())) {
            tool.Report(std::string(GetSettingInfo(setting).name) +
                        " was refused; nothing was written");
            return run.Finish(false);
        }
    }
    for (ESetting setting : given) {
        model.Write(setting);
    }
    return run.Finish(true);
}

} // namespace

int ConfigCommand(const std::vector<std::string>& arguments) {
    tool::CTool tool("dorvale config", USAGE_CONFIG);
    tool::CArgs args(arguments);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    if (!args.Next()) {
        return tool.UsageError("show or set is needed");
    }
    if (args.Current() == "show") {
        return Show(tool, args);
    }
    if (args.Current() == "set") {
        return Set(tool, args);
    }
    return tool.UsageError("unknown subcommand \"" + args.Current() + "\"");
}
