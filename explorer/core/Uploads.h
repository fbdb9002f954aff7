#pragma once
// Uploaded files waiting to be catalogued: each is a file in the directory of an area that
// accepts uploads, with its description file "<name>.desc" beside it. Posting one adds its
// catalogue rows (and takes them back if any fails), then deletes the description file; the
// uploaded file stays where it is.

#include "AdminContext.h"
#include "DateTime.h"
#include "FileRecord.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr char MSG_NO_NEW_FILES[] = "No new files found to process.";
inline constexpr char MSG_POST_FAILED[] = "Error adding file to database.";
inline constexpr char MSG_DELETE_UPLOADS[] =
    "Are you sure you want to delete the highlighted file(s)?";
inline constexpr char MSG_UPLOADS_INTRO[] =
    "Listed below are files that have been uploaded to your system but not yet processed into "
    "the Dorvale database. Press the Review button to edit the properties of any single file. "
    "When finished, mark the files that are to be added, and press OK.";

// Why a listed upload cannot be posted.
inline constexpr char MSG_UNSAFE_FILENAME[] =
    "Its description names the file \"%s\", which is not a plain file name in the area's "
    "directory.";

struct CPendingUpload {
    double fileId = -1; // not catalogued yet
    std::string fileName;
    std::string title;
    std::string version;
    std::string brief;
    std::string author;
    std::string email;
    bool reqForm = false;
    std::string detailed;
    double size = 0;
    CDateTime foundDate;
    CDateTime fileDate;
    std::vector<std::string> locations;
    std::vector<std::uint32_t> areas;

    // Where it was found.
    std::uint32_t areaId = 0;
    std::string uploadedPath;
    std::string descriptionPath;
    // Why it cannot be posted; empty when it can.
    std::string refusal;
    bool CanPost() const { return refusal.empty(); }
};

// Every upload waiting in the areas that accept uploads, in store order and, within an area,
// by name. Each is virus-checked; an infected one, or one whose description names an unsafe
// file, is listed with its refusal.
std::vector<CPendingUpload> ScanUploads(const CAdminContext& context);

// The catalogue rows of one upload; on any failure the file row added is deleted again.
bool PostUpload(CDorvaleDatabaseManager& catalogue, CPendingUpload& upload);

// Posts an upload that can be posted and deletes its description file. False (nothing done)
// for a refused upload or a failed post.
bool PostAndRemoveDescription(CAdminContext& context, CPendingUpload& upload);

// The dialog's commands over the selected rows (indexes into `uploads`, which loses the rows
// handled). Post shows "Error adding file to database." for each failure and a refusal's reason
// for each refused row, and returns the uploads posted (with their new ids); Delete asks first,
// deletes each uploaded file with its description and returns how many it deleted.
std::vector<CPendingUpload> PostUploads(CAdminContext& context,
                                        std::vector<CPendingUpload>& uploads,
                                        const std::vector<std::size_t>& rows);
std::size_t DeleteUploads(CAdminContext& context, std::vector<CPendingUpload>& uploads,
                          const std::vector<std::size_t>& rows);

class CFilePropertiesModel;

// Review: the upload as the file's property pages show it.
void UploadToRecord(const CPendingUpload& upload, CFileRecord& record);
// Review's OK: the edited values (title, version, requires form, author's name and e-mail,
// descriptions, date, areas, locations) go back into the upload, which is posted at once; when
// that succeeds its description file is deleted and it leaves `uploads`. A refused upload is
// told why; a failed post is silent and leaves the row.
bool PostReviewedUpload(CAdminContext& context, std::vector<CPendingUpload>& uploads,
                        std::size_t row, CFilePropertiesModel& edited);
