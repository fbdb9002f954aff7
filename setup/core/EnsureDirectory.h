#pragma once
// Making sure a directory the user typed exists, offering to create it.

#include "Prompt.h"

#include <string>

enum class EEnsureForm {
    Asking,   // Yes creates, No refuses (Quick Setup, General and HTTP Uploads pages)
    ThreeWay, // Yes creates, No accepts it as it is, Cancel refuses (area editor)
};

// True when the directory is accepted. An empty text counts as existing. A directory is
// created with every missing parent; when it still does not exist afterwards the user is
// told and it is refused.
bool EnsureDirectory(const std::string& path, EEnsureForm form, prompt::IPrompt& prompt);

// Whether the program can use it as a directory (it exists and may be entered).
bool IsUsableDirectory(const std::string& path);
