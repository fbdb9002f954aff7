#include "UploadWizardData.h"

#include "Fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace liftwell {

namespace {

bool HasControlCharacter(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

bool OpensForReading(const std::string& path) {
    const base::CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info{};
    return fd.IsOpen() && ::fstat(fd.Get(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

const char* CheckFilePage(const std::string& localFile) {
    if (localFile.empty()) {
        return MESSAGE_NO_FILENAME;
    }
    // A directory opens for reading too, but there is nothing in it to send.
    if (!OpensForReading(localFile)) {
        return MESSAGE_NO_FILE;
    }
    if (HasControlCharacter(BareFileName(localFile))) {
        return MESSAGE_BAD_FILENAME;
    }
    return nullptr;
}

const char* CheckDetailsPage(const CUploadWizardData& data) {
    if (data.email.empty()) {
        return MESSAGE_NO_EMAIL;
    }
    if (data.title.empty()) {
        return MESSAGE_NO_TITLE;
    }
    return nullptr;
}

const char* CheckDescriptionPage(const CUploadWizardData& data) {
    return data.briefDescription.empty() ? MESSAGE_NO_BRIEF : nullptr;
}

std::string BareFileName(std::string_view localFile) {
    const std::size_t slash = localFile.rfind('/');
    return std::string(slash == std::string_view::npos ? localFile : localFile.substr(slash + 1));
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string LimitDetailedDescription(std::string_view text) {
    std::string lines = WithCrLf(text);
    std::string counted;
    counted.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != '\r') {
            counted += lines[i];
        }
    }
    return WithCrLf(CutText(counted, DETAILED_DESCRIPTION_LIMIT));
}

bool BuildRemoteName(std::string_view areaPath, std::string_view localFile,
                     std::string& remoteName) {
    remoteName.clear();
    const std::string fileName = BareFileName(localFile);
    if (fileName.empty() || fileName == "." || fileName == ".." ||
        HasControlCharacter(fileName) || HasControlCharacter(areaPath)) {
        return false;
    }
    if (!areaPath.empty() && (areaPath.front() == '/' || areaPath.front() == '\\')) {
        return false;
    }
    if (areaPath.size() >= 2 && areaPath[1] == ':') {
        return false; // a drive letter names a place outside the login directory
    }
    std::string name;
    std::size_t pos = 0;
    while (pos <= areaPath.size()) {
        const std::size_t end = areaPath.find_first_of("/\\", pos);
        const std::size_t stop = end == std::string_view::npos ? areaPath.size() : end;
        const std::string_view segment = areaPath.substr(pos, stop - pos);
        if (segment == "..") {
            return false;
        }
        if (!segment.empty() && segment != ".") {
            name.append(segment);
            name += '/';
        }
        pos = stop + 1;
    }
    remoteName = name + fileName;
    return true;
}

bool BuildDescription(const CUploadWizardData& data, const CUploadAreaList& areas,
                      CUploadDescription& description) {
    const CUploadArea* area = areas.Find(data.areaName);
    if (!area) {
        return false;
    }
    description = CUploadDescription{};
    description.strFilename = BareFileName(data.localFile);
    description.strArea = area->name;
    description.strTitle = data.title;
    description.strVersion = data.version;
    description.strShortDesc = data.briefDescription;
    description.strCompany = data.company;
    description.strEmail = data.email;
    description.bReqForm = data.collectContactInformation;
    description.strLongDesc = data.detailedDescription;
    return true;
}

} // namespace liftwell
