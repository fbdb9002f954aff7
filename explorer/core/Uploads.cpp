#include "Uploads.h"

#include "ArchiveDescriptions.h"
#include "DescriptionFile.h"
#include "DownloadLocation.h"
#include "FileOperations.h"
#include "FileRecord.h"
#include "MessageText.h"
#include "Selection.h"
#include "VirusCheck.h"

#include <algorithm>
#include <filesystem>

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EIcon;

std::vector<CPendingUpload> ScanUploads(const CAdminContext& context) {
    std::vector<CPendingUpload> uploads;
    const bool precedence = ReadDescriptionPrecedence();
    CDescriptionReadOptions options;
    options.bTrimTrailingSpaces = true;
    options.bWholeLinesOnly = true;
    for (const AreaRecord& area : context.Areas()) {
        if ((area.Flags & AREA_UPLOADABLE) == 0 || area.Path.empty()) {
            continue;
        }
        for (CDescriptionPair& pair : ScanDescriptionFiles(area.Path, options)) {
            const CUploadDescription& desc = pair.description;
            CPendingUpload upload;
            upload.fileName = desc.strFilename;
            upload.title = desc.strTitle;
            upload.version = desc.strVersion;
            upload.brief = desc.strShortDesc;
            upload.author = desc.strCompany;
            upload.email = desc.strEmail;
            upload.reqForm = desc.bReqForm;
            upload.detailed = desc.strLongDesc;
            std::error_code ec;
            const auto bytes = std::filesystem::file_size(pair.strUploadedPath, ec);
            upload.size = ec ? 0 : static_cast<double>(bytes & 0xFFFFFFFFu);
            upload.foundDate = upload.fileDate = CDateTime::GetCurrentTime();
            upload.areaId = area.Id;
            upload.areas = {area.Id};
            upload.uploadedPath = pair.strUploadedPath;
            upload.descriptionPath = pair.strDescriptionPath;
            if (!desc.IsFilenameSafe()) {
                upload.refusal = FillMessage(MSG_UNSAFE_FILENAME, {desc.strFilename});
            } else {
                upload.locations = {BuildLocalLocation(area.Id, desc.strFilename)};
            }
            if (precedence || upload.brief.empty() || upload.detailed.empty()) {
                ExtractArchiveDescriptions(upload.uploadedPath, upload.brief, BRIEF_LIMIT,
                                           upload.detailed, DETAILED_LIMIT, precedence);
            }
            const CVirusCheckResult check = RunVirusCheck(upload.uploadedPath);
            if (check.infected && upload.refusal.empty()) {
                upload.refusal = VirusFailedText(upload.uploadedPath, check.exitCode);
            }
            uploads.push_back(std::move(upload));
        }
    }
    return uploads;
}

bool PostUpload(CDorvaleDatabaseManager& catalogue, CPendingUpload& upload) {
    if (!upload.CanPost()) {
        return false;
    }
    CFileRecord file(&catalogue);
    file.m_TITLE = upload.title;
    file.m_VERSION = upload.version;
    file.m_SHORT_DESC = upload.brief;
    file.m_LONG_DESC = upload.detailed;
    file.m_UPLD_NAME = upload.author;
    file.m_UPLD_EMAIL = upload.email;
    file.m_REQ_FORM = upload.reqForm;
    file.m_SIZE = upload.size;
    // The time of the scan, unless a review changed it.
    file.m_FILE_DATE = upload.fileDate.IsNull() ? CDateTime::GetCurrentTime() : upload.fileDate;
    if (!file.Add()) {
        return false;
    }
    for (std::uint32_t area : upload.areas) {
        if (!file.AddToFileArea(area)) {
            file.Delete();
            return false;
        }
    }
    for (const std::string& location : upload.locations) {
        if (!file.AddDownloadURL(location)) {
            file.Delete();
            return false;
        }
    }
    upload.fileId = file.m_FILE_ID;
    return true;
}

bool PostAndRemoveDescription(CAdminContext& context, CPendingUpload& upload) {
    if (!PostUpload(context.Catalogue(), upload)) {
        return false;
    }
    // The description file found, whatever name its Filename line gives: a description left
    // behind would offer the same upload again.
    std::error_code ec;
    std::filesystem::remove(upload.descriptionPath, ec);
    return true;
}

namespace {

// "<file>: <why>" for an upload that cannot be posted.
void TellRefusal(const CAdminContext& context, const CPendingUpload& upload) {
    context.Tell(std::filesystem::path(upload.uploadedPath).filename().string() + ": " +
                     upload.refusal,
                 {}, EIcon::Warning);
}

} // namespace

std::vector<CPendingUpload> PostUploads(CAdminContext& context,
                                        std::vector<CPendingUpload>& uploads,
                                        const std::vector<std::size_t>& rows) {
    std::vector<std::size_t> handled;
    std::vector<CPendingUpload> posted;
    for (std::size_t row : ValidRows(rows, uploads.size())) {
        CPendingUpload& upload = uploads[row];
        if (!upload.CanPost()) {
            TellRefusal(context, upload);
            continue;
        }
        if (!PostAndRemoveDescription(context, upload)) {
            context.Tell(MSG_POST_FAILED, {}, EIcon::Error);
            continue;
        }
        handled.push_back(row);
        posted.push_back(upload);
    }
    EraseRows(uploads, handled);
    return posted;
}

std::size_t DeleteUploads(CAdminContext& context, std::vector<CPendingUpload>& uploads,
                          const std::vector<std::size_t>& rows) {
    const std::vector<std::size_t> selected = ValidRows(rows, uploads.size());
    if (selected.empty() || context.Ask(MSG_DELETE_UPLOADS, CAPTION_WARNING, EButtons::YesNo,
                                        EIcon::Warning) != EAnswer::Yes) {
        return 0;
    }
    for (std::size_t row : selected) {
        // The files found, not whatever the description's Filename line names.
        std::error_code ec;
        std::filesystem::remove(uploads[row].uploadedPath, ec);
        std::filesystem::remove(uploads[row].descriptionPath, ec);
    }
    EraseRows(uploads, selected);
    return selected.size();
}

void UploadToRecord(const CPendingUpload& upload, CFileRecord& record) {
    record.m_TITLE = upload.title;
    record.m_VERSION = upload.version;
    record.m_SHORT_DESC = upload.brief;
    record.m_LONG_DESC = upload.detailed;
    record.m_UPLD_NAME = upload.author;
    record.m_UPLD_EMAIL = upload.email;
    record.m_REQ_FORM = upload.reqForm;
    record.m_SIZE = upload.size;
    record.m_FILE_DATE = upload.fileDate;
}

bool PostReviewedUpload(CAdminContext& context, std::vector<CPendingUpload>& uploads,
                        std::size_t row, CFilePropertiesModel& edited) {
    if (row >= uploads.size()) {
        return false;
    }
    CPendingUpload& upload = uploads[row];
    const CFileRecord& file = edited.File();
    upload.title = file.m_TITLE;
    upload.version = file.m_VERSION;
    upload.reqForm = file.m_REQ_FORM;
    upload.author = file.m_UPLD_NAME;
    upload.email = file.m_UPLD_EMAIL;
    upload.brief = file.m_SHORT_DESC;
    upload.detailed = file.m_LONG_DESC;
    upload.fileDate = file.m_FILE_DATE;
    upload.areas = edited.Areas();
    upload.locations = edited.Locations();
    if (!upload.CanPost()) {
        TellRefusal(context, upload);
        return false;
    }
    if (!PostAndRemoveDescription(context, upload)) {
        return false;
    }
    uploads.erase(uploads.begin() + static_cast<std::ptrdiff_t>(row));
    return true;
}
