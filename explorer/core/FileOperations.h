#pragma once
// The main window's operations on catalogue files: deletion (with the hosted copies), removal
// from an area, the virus check of the hosted copies, the file properties, and starting the
// generator.

#include "AdminContext.h"
#include "FileRecord.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr char MSG_DELETE_LOCAL[] =
    "One or more of the file locations points to a local file area.\nWould you like to delete "
    "the file from local storage?";
inline constexpr char MSG_NOT_DELETED[] = "The file %s could not be deleted from disk.";
inline constexpr char MSG_DELETE_FILES[] = "Are you sure you want to delete the selected item(s)?";
inline constexpr char MSG_REMOVE_FILES[] =
    "Are you sure you want to remove the selected item(s) from this file area?";
inline constexpr char MSG_ONLY_AREA[] =
    "%s exists only in the selected file area. Removing this file will delete it from the "
    "system. Are you sure you want to remove this file?";
inline constexpr char MSG_NO_FILE_AREA[] = "You must select the file into at least one file area.";
inline constexpr char MSG_REMOVE_URL[] = "Are you sure you want to remove this URL?";
inline constexpr char MSG_NO_URL_FOR_FILE[] = "Please add at least one URL for this file.";

// A download location as a hosted copy.
enum class ELocalCopy {
    NotLocal, // a URL
    NoArea,   // local, but malformed, or its area does not exist or has no directory: skipped
    Unsafe,   // its name leads out of the area's directory: never touched
    Found,    // `path` is the copy's path
};
ELocalCopy FindLocalCopy(const CAdminContext& context, const std::string& location,
                         std::string& path);

enum class EDeleteResult { Deleted, Cancelled, Failed };
// Deletes a catalogue file: asks whether its hosted copies go too (when it has any local
// location), deletes them on Yes (a copy that cannot be deleted, or whose name leaves its
// area's directory, is reported and skipped), then the catalogue entry.
EDeleteResult DeleteCatalogueFile(CAdminContext& context, CFileRecord& file);

// Delete File: asks once, then deletes each file in order (Cancel skips that file only).
// Returns how many were deleted.
std::size_t DeleteFiles(CAdminContext& context, std::vector<CFileRecord>& files);

// Remove from Area: asks once; a file in this area only asks again and is deleted on Yes;
// another is unlinked from the area. Returns how many left the area.
std::size_t RemoveFilesFromArea(CAdminContext& context, std::vector<CFileRecord>& files,
                                std::uint32_t areaId);

// Virus Check of one file's hosted copies, with its message (the program's title as caption).
enum class EVirusCheckOutcome {
    Passed,        // every copy checked passed (or no checker ran)
    Infected,      // a copy failed: the check stopped there
    NoLocalCopies, // nothing was checked
};
EVirusCheckOutcome VirusCheckFile(CAdminContext& context, CFileRecord& file);

// The generator program: "sheetforge" beside the running program, else on PATH; empty when
// there is none.
std::string FindGenerator();
// Starts the generator with "/autorun" and leaves it running. False when it is not found or
// cannot be started.
bool LaunchGenerator(std::string& error);

// The "File Properties" sheet of a catalogued file (or, with `pending`, of an upload being
// reviewed: its areas and locations are then edited in memory only).
class CFilePropertiesModel {
public:
    // A catalogued file: areas and locations read from the catalogue.
    CFilePropertiesModel(CAdminContext& context, const CFileRecord& file);
    // An upload under review.
    CFilePropertiesModel(CAdminContext& context, const CFileRecord& file,
                         std::vector<std::uint32_t> areas, std::vector<std::string> locations);

    CFileRecord& File() { return m_file; }
    const std::vector<std::uint32_t>& Areas() const { return m_areas; }
    const std::vector<std::string>& Locations() const { return m_locations; }
    bool IsPending() const { return m_pending; }
    // Once a change went to the catalogue, Cancel becomes Close.
    bool HasCommittedChanges() const { return m_committed; }

    // General: with "Requires Form", the e-mail address must pass the check and not be empty.
    bool LeaveGeneralPage();
    // Description: appends a text file to the detailed description.
    bool ImportDescription(const std::string& path);

    // File Areas: double click toggles the area (in the catalogue at once, for a catalogued
    // file). Returns whether it is marked afterwards.
    bool ToggleArea(std::uint32_t areaId);
    bool IsAreaMarked(std::uint32_t areaId) const;
    bool LeaveAreasPage();

    // URLs: add, replace and remove (asking first) a location.
    bool AddLocation(const std::string& location);
    bool ReplaceLocation(std::size_t index, const std::string& location);
    bool RemoveLocation(std::size_t index);
    bool LeaveUrlsPage();

    // OK: writes the General and Description fields of a catalogued file (fetched again by its
    // key). False when the update failed (the database library logs why).
    bool Save();

private:
    CAdminContext& m_context;
    CFileRecord m_file;
    std::vector<std::uint32_t> m_areas;
    std::vector<std::string> m_locations;
    bool m_pending;
    bool m_committed = false;
};
