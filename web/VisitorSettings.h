#pragma once
// What dorvale-web takes from the registry, and the bounds of what a visitor may send. Kept
// apart from the catalogue's headers: the registry's and ODBC's Windows types collide.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// Bounds of what a visitor may send.
inline constexpr std::size_t MAX_FORM_BODY = 256 * 1024; // a form without a file
inline constexpr std::size_t MAX_NAME = 80;
inline constexpr std::size_t MAX_EMAIL = 254;
inline constexpr std::size_t MAX_REVIEW_TEXT = 8000;
inline constexpr std::size_t MAX_LONG_TEXT = 32768;
inline constexpr std::size_t MAX_LOCATION = 254;
inline constexpr std::size_t MAX_UPLOAD_NAME = 200;
// The upload size limit when UploadLimit is not set, in MiB (settings::UPLOAD_LIMIT_DEFAULT_MIB,
// which this header cannot include for the Windows types of the registry).
inline constexpr std::uint32_t DEFAULT_UPLOAD_LIMIT_MIB = 64;

struct CVisitorSettings {
    std::string httpPath;     // where the site and reviews/ live
    std::string httpServer;   // the site's address, for local downloads
    std::string adminEmail;   // where file submissions go
    std::string databasePath; // the file-area store's directory
    std::string badPath;      // refused uploads; empty: refused uploads are dropped
    std::uint32_t allowUploads = 0;
    std::uint32_t overwrite = 0;
    std::uint64_t freeSpaceThreshold = 5ull << 20;
    std::uint64_t uploadLimit = std::uint64_t(DEFAULT_UPLOAD_LIMIT_MIB) << 20;
    std::string dataSourceName = "Dorvale";
    std::string databaseLog; // the catalogue's error log; empty for none
    // How long a download location the catalogue listed is taken as listed without asking
    // again (so a download costs no database round trip).
    std::chrono::milliseconds listedLocationKeep{5000};
};

// Reads the settings from the registry; false when HttpPath is not set.
bool ReadVisitorSettings(CVisitorSettings& settings, std::string& error);
