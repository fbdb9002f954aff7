// Archives from anywhere: dunzip must extract at most the named members, only into its output
// directory, and never crash.
#include "Unzip.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path WORK_DIRECTORY = [] {
        char pattern[] = "/tmp/dunzip-fuzz-XXXXXX";
        return std::filesystem::path(::mkdtemp(pattern));
    }();
    const std::string archive = (WORK_DIRECTORY / "input.zip").string();
    const std::string output = (WORK_DIRECTORY / "out").string();
    std::error_code ignored;
    std::filesystem::remove_all(output, ignored);
    std::filesystem::create_directory(output, ignored);
    if (std::FILE* file = std::fopen(archive.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    unsigned char block[DUNZIP_BLOCK_SIZE];
    unzip::BuildExtractBlock(block, archive.c_str(), "file_id.diz desc.sdi ../x", output.c_str());
    dunzip(block);
    for (const auto& entry : std::filesystem::directory_iterator(WORK_DIRECTORY, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name != "input.zip" && name != "out") {
            std::abort(); // something was written beside the output directory
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(output, ignored)) {
        const std::string name = entry.path().filename().string();
        if ((name != "file_id.diz" && name != "desc.sdi") ||
            entry.file_size(ignored) > DUNZIP_MEMBER_LIMIT) {
            std::abort();
        }
    }
    return 0;
}
