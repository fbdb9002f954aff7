#include "EnsureDirectory.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

bool IsUsableDirectory(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

bool EnsureDirectory(const std::string& path, EEnsureForm form, prompt::IPrompt& prompt) {
    if (path.empty() || IsUsableDirectory(path)) {
        return true;
    }
    const std::string question =
        "The directory \"" + path + "\" does not exist. Would you like to create it?";
    if (form == EEnsureForm::Asking) {
        if (prompt.Message(question, "Question", prompt::EButtons::YesNo,
                           prompt::EIcon::Question) != prompt::EAnswer::Yes) {
            return false;
        }
    } else {
        const prompt::EAnswer answer = prompt.Message(
            question, "Warning", prompt::EButtons::YesNoCancel, prompt::EIcon::Warning);
        if (answer == prompt::EAnswer::No) {
            return true;
        }
        if (answer != prompt::EAnswer::Yes) {
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (!IsUsableDirectory(path)) {
        prompt.Message("Could not create specified directory.", "Warning", prompt::EButtons::Ok,
                       prompt::EIcon::None);
        return false;
    }
    return true;
}
