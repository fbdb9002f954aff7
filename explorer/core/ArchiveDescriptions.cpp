#include "ArchiveDescriptions.h"

#include "FileAreaStore.h"
#include "Settings.h"
#include "Text.h"
#include "Unzip.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

// "flsexplore" and the first number from 0 to 98 that makes a new directory in the
// temporary directory.
bool MakeWorkingDirectory(std::string& path) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) {
        return false;
    }
    for (int i = 0; i < 99; ++i) {
        const std::filesystem::path candidate = base / ("flsexplore" + std::to_string(i));
        if (std::filesystem::create_directory(candidate, ec) && !ec) {
            path = candidate.string();
            return true;
        }
    }
    return false;
}

// A line read as text, without its line feed (and the CR before it).
bool ReadLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

} // namespace

bool IsZipArchive(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    if (!in.read(magic, 4)) {
        return false;
    }
    return magic[0] == 'P' && magic[1] == 'K' &&
           ((magic[2] == 3 && magic[3] == 4) || (magic[2] == 5 && magic[3] == 6));
}

void ExtractArchiveDescriptions(const std::string& path, std::string& brief, std::size_t briefLimit,
                                std::string& detailed, std::size_t detailedLimit, bool precedence) {
    if (!IsZipArchive(path)) {
        return;
    }
    std::string work;
    if (!MakeWorkingDirectory(work)) {
        return;
    }
    unsigned char block[DUNZIP_BLOCK_SIZE];
    unzip::BuildExtractBlock(block, path.c_str(), "file_id.diz desc.sdi", work.c_str());
    std::error_code ec;
    if (dunzip(block) != 0) {
        std::filesystem::remove_all(work, ec);
        return;
    }
    if (precedence || brief.empty()) {
        std::ifstream sdi(work + "/desc.sdi");
        std::string line;
        if (sdi && ReadLine(sdi, line)) {
            // Read with the brief limit: at most limit - 1 characters.
            brief = base::CutUtf8Field(line, briefLimit - 1);
        }
    }
    if (precedence || detailed.empty()) {
        std::ifstream diz(work + "/file_id.diz");
        if (diz) {
            detailed.clear();
            std::string line;
            bool full = false;
            while (!full && ReadLine(diz, line)) {
                // Lines were read 79 characters at a time: each piece is a line of its own.
                std::size_t start = 0;
                do {
                    std::string piece = line.substr(start, 79);
                    start += 79;
                    while (!piece.empty() && piece.back() == ' ') {
                        piece.pop_back();
                    }
                    piece += "\r\n";
                    if (detailed.size() + piece.size() > detailedLimit - 1) {
                        detailed += piece.substr(0, detailedLimit - 1 - detailed.size());
                        detailed = base::CutUtf8Field(detailed, detailedLimit - 1);
                        full = true;
                        break;
                    }
                    detailed += piece;
                } while (start < line.size());
            }
        }
    }
    if (brief.empty() && !detailed.empty()) {
        brief = base::CutUtf8Field(detailed.substr(0, detailed.find('\r')), briefLimit - 1);
    }
    std::filesystem::remove_all(work, ec);
}

bool ReadDescriptionPrecedence() {
    DWORD precedence = 0;
    ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DIZSDIPrecedence,
                       precedence);
    return precedence != 0;
}
