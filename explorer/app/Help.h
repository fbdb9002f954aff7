#pragma once
// The program's help: HTML pages of a short administrator's guide, shipped with the program and
// opened in the desktop's browser. Each window names its topic, an anchor of the guide.

#include <QString>

class QWidget;

// Topics (anchors of guide.html).
namespace help {
inline constexpr const char* MAIN_WINDOW = "main-window";
inline constexpr const char* FIND_FILES = "find-files";
inline constexpr const char* AREA_PROPERTIES = "area-properties";
inline constexpr const char* ADD_FILE = "add-file";
inline constexpr const char* DOWNLOAD_URL = "download-url";
inline constexpr const char* ADD_FILES = "add-files";
inline constexpr const char* UPLOADS = "uploads";
inline constexpr const char* REVIEWS = "reviews";
inline constexpr const char* FILE_PROPERTIES = "file-properties";
inline constexpr const char* GENERATOR = "generator";
} // namespace help

// Where the pages are: set by the program at start (or by tests).
void SetHelpDirectory(const QString& directory);
QString HelpDirectory();
// The pages' place for a program in `programDirectory`: ../share/dorvale/help.
QString DefaultHelpDirectory(const QString& programDirectory);

// "Help Topics": the index page.
bool OpenHelpTopics();
// The administrator's guide, at its beginning or at a topic.
bool OpenGuide(const QString& topic = {});
// Opens `address` in the desktop's browser (or whatever handles its scheme).
bool OpenInBrowser(const QString& address);
