#pragma once
// What every operation of the administration program shares for the program's whole run: the
// settings read at start, the file-area store held open for reading, the catalogue's manager,
// and the prompt through which every message reaches the user.

#include "DorvaleDatabaseManager.h"
#include "FileAreaStore.h"
#include "Prompt.h"

#include <cstdint>
#include <string>
#include <vector>

// The program's title: the caption of messages that name no other.
inline constexpr char EXPLORER_TITLE[] = "Dorvale Explorer";

// Start-up messages (caption "Warning").
inline constexpr char MSG_STORE_LOCKED[] =
    "Dorvale Explorer cannot access the FileAreas database. If you are running Dorvale Setup, "
    "please close it and try again.";
inline constexpr char MSG_NO_AREAS[] = "No file areas are defined. Please run Dorvale Setup.";

// Captions of the design's messages.
inline constexpr char CAPTION_WARNING[] = "Warning";
inline constexpr char CAPTION_ERROR[] = "Error";
inline constexpr char CAPTION_QUESTION[] = "Question";
inline constexpr char CAPTION_INFORMATION[] = "Information";

class CAdminContext {
public:
    explicit CAdminContext(prompt::IPrompt& prompt);

    // Start-up: reads DatabasePath and HttpPath, opens the file-area store (refusing with the
    // design's message while the setup program holds it, or when it has no header) and opens
    // the catalogue's data source. False when the program cannot start; a catalogue that cannot
    // be opened does not stop it (IsCatalogueOpen tells).
    bool Start(const std::string& dataSource = CDorvaleDatabaseManager::DEFAULT_DATA_SOURCE_NAME);

    prompt::IPrompt& Prompt() const { return m_prompt; }
    // Shows a message with its caption (the program's title when empty).
    prompt::EAnswer Ask(const std::string& text, const std::string& caption,
                        prompt::EButtons buttons, prompt::EIcon icon) const;
    void Tell(const std::string& text, const std::string& caption = {},
              prompt::EIcon icon = prompt::EIcon::Information) const;

    // Settings, read once at start. Both end in '/' unless empty.
    const std::string& DatabasePath() const { return m_databasePath; }
    const std::string& HttpPath() const { return m_httpPath; }

    // The file areas in store order.
    const std::vector<AreaRecord>& Areas() const { return m_areas; }
    const AreaRecord* FindArea(std::uint32_t id) const;
    // The areas with AREA_HOSTED_LOCALLY, sorted by name (the order of the host-area lists).
    std::vector<AreaRecord> HostingAreas() const;

    CDorvaleDatabaseManager& Catalogue() { return m_catalogue; }
    bool IsCatalogueOpen() const { return m_catalogue.IsOpen(); }

private:
    prompt::IPrompt& m_prompt;
    std::string m_databasePath;
    std::string m_httpPath;
    CFileAreaStore m_store;
    std::vector<AreaRecord> m_areas;
    CDorvaleDatabaseManager m_catalogue;
};
