#pragma once
// Descriptions held in a zip archive: "desc.sdi" (a one-line brief description) and
// "file_id.diz" (the detailed description), extracted through dunzip into a working
// directory of their own that is removed afterwards.

#include <cstddef>
#include <string>

// The limits the programs use.
constexpr std::size_t BRIEF_LIMIT = 60;
constexpr std::size_t DETAILED_LIMIT = 65535;

// True when the file begins with "PK\3\4" or "PK\5\6".
bool IsZipArchive(const std::string& path);

// Fills `brief` and `detailed` from the archive at `path`, which come in with the caller's
// texts. With `precedence` 0 only empty texts are filled; otherwise the archive's replace them.
// A brief description still empty afterwards becomes the detailed description's first line.
// Never fails visibly: anything that goes wrong leaves the texts as far as they got.
void ExtractArchiveDescriptions(const std::string& path, std::string& brief, std::size_t briefLimit,
                                std::string& detailed, std::size_t detailedLimit, bool precedence);

// The DIZSDIPrecedence setting (false when absent).
bool ReadDescriptionPrecedence();
