#include "Unzip.h"

#include "Fd.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace {

template <class T> T ReadField(const unsigned char* block, std::size_t offset) {
    T value{};
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

template <class T> void WriteField(unsigned char* block, std::size_t offset, T value) {
    std::memcpy(block + offset, &value, sizeof value);
}

// A name that lands directly inside the output directory.
bool IsBareName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::vector<std::string> SplitNames(const char* text) {
    std::vector<std::string> names;
    std::string name;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == ' ') {
            if (!name.empty()) {
                names.push_back(std::move(name));
                name.clear();
            }
        } else {
            name += *c;
        }
    }
    if (!name.empty()) {
        names.push_back(std::move(name));
    }
    return names;
}

class CArchive {
public:
    explicit CArchive(const char* path) {
        int error = 0;
        m_zip = zip_open(path, ZIP_RDONLY, &error);
    }
    ~CArchive() {
        if (m_zip != nullptr) {
            zip_discard(m_zip);
        }
    }
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;
    zip_t* Get() const { return m_zip; }

private:
    zip_t* m_zip = nullptr;
};

enum class EMemberResult { Extracted, Skipped, WriteFailed };

// Streams one member into a new file in the output directory, then gives it its name. A member
// whose data runs past the limit (its header may understate it) is abandoned and leaves nothing.
EMemberResult ExtractMember(zip_t* zip, zip_int64_t index, int outputFd, const std::string& name,
                            bool overwrite, bool quiet) {
    struct stat existing {};
    if (!overwrite && ::fstatat(outputFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        return EMemberResult::Skipped;
    }
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(zip, static_cast<zip_uint64_t>(index), 0, &info) != 0 ||
        ((info.valid & ZIP_STAT_SIZE) != 0 && info.size > DUNZIP_MEMBER_LIMIT)) {
        if (!quiet) {
            std::fprintf(stderr, "dunzip: %s is larger than the member limit\n", name.c_str());
        }
        return EMemberResult::Skipped;
    }
    zip_file_t* member = zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0);
    if (member == nullptr) {
        return EMemberResult::Skipped;
    }
    const std::string temporary = "." + name + ".dunzip";
    base::CFd out(::openat(outputFd, temporary.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out.IsOpen()) {
        zip_fclose(member);
        return EMemberResult::WriteFailed;
    }
    EMemberResult result = EMemberResult::Extracted;
    std::uint64_t total = 0;
    char buffer[65536];
    while (true) {
        const zip_int64_t got = zip_fread(member, buffer, sizeof buffer);
        if (got < 0) {
            result = EMemberResult::Skipped; // damaged data
            break;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::uint64_t>(got);
        if (total > DUNZIP_MEMBER_LIMIT) {
            if (!quiet) {
                std::fprintf(stderr, "dunzip: %s is larger than the member limit\n", name.c_str());
            }
            result = EMemberResult::Skipped;
            break;
        }
        if (!base::WriteAll(out.Get(), std::string_view(buffer, static_cast<std::size_t>(got)))) {
            result = EMemberResult::WriteFailed;
            break;
        }
    }
    zip_fclose(member);
    if (!out.Close() && result == EMemberResult::Extracted) {
        result = EMemberResult::WriteFailed;
    }
    if (result == EMemberResult::Extracted &&
        ::renameat(outputFd, temporary.c_str(), outputFd, name.c_str()) != 0) {
        result = EMemberResult::WriteFailed;
    }
    if (result != EMemberResult::Extracted) {
        ::unlinkat(outputFd, temporary.c_str(), 0);
    }
    return result;
}

} // namespace

extern "C" int dunzip(void* parameters) {
    if (parameters == nullptr) {
        return DUNZIP_BAD_BLOCK;
    }
    const auto* block = static_cast<const unsigned char*>(parameters);
    const auto size = ReadField<std::uint32_t>(block, DUNZIP_OFFSET_SIZE);
    const auto operation = ReadField<std::uint32_t>(block, DUNZIP_OFFSET_OPERATION);
    const auto* archivePath = ReadField<const char*>(block, DUNZIP_OFFSET_ARCHIVE);
    const auto* members = ReadField<const char*>(block, DUNZIP_OFFSET_MEMBERS);
    const auto* output = ReadField<const char*>(block, DUNZIP_OFFSET_OUTPUT);
    const auto count = ReadField<std::int32_t>(block, DUNZIP_OFFSET_COUNT);
    const bool overwrite = ReadField<std::uint32_t>(block, DUNZIP_OFFSET_OVERWRITE) != 0;
    const bool quiet = ReadField<std::uint32_t>(block, DUNZIP_OFFSET_QUIET) != 0;
    if (size != DUNZIP_BLOCK_SIZE || operation != DUNZIP_EXTRACT || archivePath == nullptr ||
        members == nullptr || output == nullptr) {
        return DUNZIP_BAD_BLOCK;
    }
    CArchive archive(archivePath);
    if (archive.Get() == nullptr) {
        return DUNZIP_NO_ARCHIVE;
    }
    const base::CFd outputDirectory(::open(output, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!outputDirectory.IsOpen()) {
        return DUNZIP_NO_OUTPUT;
    }
    const int outputFd = outputDirectory.Get();
    int result = 0;
    int extracted = 0;
    for (const std::string& name : SplitNames(members)) {
        if (count >= 0 && extracted >= count) {
            break;
        }
        if (!IsBareName(name)) {
            continue;
        }
        // Flags 0: the whole stored name, letter case included.
        const zip_int64_t index = zip_name_locate(archive.Get(), name.c_str(), 0);
        if (index < 0) {
            continue;
        }
        switch (ExtractMember(archive.Get(), index, outputFd, name, overwrite, quiet)) {
        case EMemberResult::Extracted:
            ++extracted;
            break;
        case EMemberResult::WriteFailed:
            result = DUNZIP_WRITE_FAILED;
            break;
        case EMemberResult::Skipped:
            break;
        }
    }
    return result;
}

namespace unzip {

void BuildExtractBlock(unsigned char* block, const char* archive, const char* members,
                       const char* outputDirectory) {
    std::memset(block, 0, DUNZIP_BLOCK_SIZE);
    WriteField<std::uint32_t>(block, DUNZIP_OFFSET_SIZE, DUNZIP_BLOCK_SIZE);
    WriteField<std::uint32_t>(block, DUNZIP_OFFSET_OPERATION, DUNZIP_EXTRACT);
    WriteField<const char*>(block, DUNZIP_OFFSET_ARCHIVE, archive);
    WriteField<const char*>(block, DUNZIP_OFFSET_MEMBERS, members);
    WriteField<std::int32_t>(block, DUNZIP_OFFSET_COUNT, -1);
    WriteField<const char*>(block, DUNZIP_OFFSET_OUTPUT, outputDirectory);
    WriteField<std::uint32_t>(block, DUNZIP_OFFSET_OVERWRITE, 1);
    WriteField<std::uint32_t>(block, DUNZIP_OFFSET_QUIET, 1);
}

} // namespace unzip
