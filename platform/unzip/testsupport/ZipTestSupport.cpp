#include "ZipTestSupport.h"

#include <cstring>
#include <zip.h>

namespace testsupport {

namespace {

// A source of `size` zero bytes, produced as libzip reads.
zip_int64_t ZerosCallback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* remaining = static_cast<std::uint64_t*>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_READ: {
        const zip_uint64_t n = length < *remaining ? length : *remaining;
        std::memset(data, 0, n);
        *remaining -= n;
        return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_STAT: {
        auto* info = static_cast<zip_stat_t*>(data);
        zip_stat_init(info);
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_FREE:
        delete remaining;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_FREE, -1);
    default:
        return -1;
    }
}

} // namespace

bool MakeZip(const std::string& path, const std::vector<CZipMember>& members) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (zip == nullptr) {
        return false;
    }
    for (const CZipMember& member : members) {
        zip_source_t* source = nullptr;
        if (member.zeros != 0) {
            source = zip_source_function(zip, ZerosCallback, new std::uint64_t(member.zeros));
        } else {
            // libzip copies nothing: the data must stay until zip_close.
            source = zip_source_buffer(zip, member.data.data(), member.data.size(), 0);
        }
        if (source == nullptr || zip_file_add(zip, member.name.c_str(), source,
                                              ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            zip_discard(zip);
            return false;
        }
    }
    return zip_close(zip) == 0;
}

} // namespace testsupport
