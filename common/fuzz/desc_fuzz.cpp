// Feeds arbitrary bytes to the description-file reader. Besides not crashing, what it reads must
// stay within the limits, and a header it read must survive being written and read again.
#include "DescriptionFile.h"
#include "FuzzCheck.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CUploadDescription desc;
    Check(ReadDescription(text, desc));
    Check(desc.strFilename.size() <= DESC_MAX_FILENAME);
    Check(desc.strTitle.size() <= DESC_MAX_TITLE);
    Check(desc.strVersion.size() <= DESC_MAX_VERSION);
    Check(desc.strShortDesc.size() <= DESC_MAX_SHORTDESC);
    Check(desc.strCompany.size() <= DESC_MAX_COMPANY);
    Check(desc.strEmail.size() <= DESC_MAX_EMAIL);
    Check(desc.strLongDesc.size() <= DESC_MAX_LONGDESC);
    Check(desc.strArea.empty());
    Check(!desc.IsFilenameSafe() || IsBareFileName(desc.strFilename));
    Check(desc.bHeaderEnded || desc.strLongDesc.empty());

    CUploadDescription copy = desc;
    copy.strLongDesc.clear();
    std::string written;
    if (FormatDescription(copy, written)) {
        CUploadDescription again;
        Check(ReadDescription(written, again));
        Check(again.strFilename == desc.strFilename && again.strTitle == desc.strTitle &&
              again.strVersion == desc.strVersion && again.strShortDesc == desc.strShortDesc &&
              again.strCompany == desc.strCompany && again.strEmail == desc.strEmail &&
              again.bReqForm == desc.bReqForm && again.IsFilenameSafe() && again.bHeaderEnded &&
              again.strLongDesc.empty());
    }
    return 0;
}
