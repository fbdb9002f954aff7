#pragma once
// The file-area store `filearea.dat`: record 0 is the header, records 1 .. count - 1 are the
// file areas in ascending order of id. Every record is 868 bytes, integers little-endian,
// text fields NUL-terminated inside their fixed width.

#include "RecordFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Area flag bits; no other bit is ever set.
constexpr std::uint32_t AREA_DOWNLOADABLE = 1;
constexpr std::uint32_t AREA_UPLOADABLE = 2;
constexpr std::uint32_t AREA_HOSTED_LOCALLY = 4;
constexpr std::uint32_t AREA_FLAGS_MASK = AREA_DOWNLOADABLE | AREA_UPLOADABLE | AREA_HOSTED_LOCALLY;

// The most areas a store may hold, far above real use (a site has tens or hundreds):
// a bigger store is damaged (a sparse or foreign file) and is refused rather than read.
constexpr std::size_t MAX_STORE_AREAS = 100000;

// The store's file name inside the database directory.
inline constexpr char FILEAREA_FILE_NAME[] = "filearea.dat";

// Record layout.
constexpr std::size_t AREA_RECORD_SIZE = 868;
constexpr std::size_t AREA_HEADER_SIZE = 12; // bytes of the header that carry meaning
constexpr std::size_t AREA_ID_OFFSET = 0;
constexpr std::size_t AREA_NAME_OFFSET = 4;
constexpr std::size_t AREA_NAME_SIZE = 80;
constexpr std::size_t AREA_PATH_OFFSET = 84;
constexpr std::size_t AREA_FTPALIAS_OFFSET = 344;
constexpr std::size_t AREA_HTTPALIAS_OFFSET = 604;
constexpr std::size_t AREA_PATH_SIZE = 260; // also the size of FtpAlias and HttpAlias
constexpr std::size_t AREA_FLAGS_OFFSET = 864;

// The design's record layouts and field names.
// NOLINTBEGIN(readability-identifier-naming)
struct AreaStoreHeader {
    std::uint32_t HeaderSize = AREA_HEADER_SIZE;
    std::uint32_t Reserved = 0;
    std::uint32_t NextAreaId = 1;
};

struct AreaRecord {
    std::uint32_t Id = 0;
    std::string Name;
    std::string Path;
    std::string FtpAlias;
    std::string HttpAlias;
    std::uint32_t Flags = 0;
};
// NOLINTEND(readability-identifier-naming)

// Converting between records and their AREA_RECORD_SIZE bytes. Encoding fills every byte
// (unused ones zero); text longer than its field is cut to field size - 1 bytes at a
// character boundary. Decoding takes each text field up to its first NUL and never reads
// past the field when the NUL is missing.
void EncodeAreaStoreHeader(const AreaStoreHeader& header, unsigned char* record);
AreaStoreHeader DecodeAreaStoreHeader(const unsigned char* record);
void EncodeAreaRecord(const AreaRecord& area, unsigned char* record);
AreaRecord DecodeAreaRecord(const unsigned char* record);

// `directory` and `name` joined with one `/`; an empty directory leaves `name` relative to
// the current directory.
std::string JoinPath(const std::string& directory, const std::string& name);

// The path of `filearea.dat` in the database directory.
std::string GetFileAreaStorePath(const std::string& databasePath);

// Why an opened store cannot be used, as a sentence naming the file; empty when it can.
// Finding an area is a binary search over ids in ascending order: a store with more than
// MAX_STORE_AREAS areas, an id of 0, or ids not ascending would lose areas without a word.
std::string GetAreaStoreProblem(const RecordFile& file, const std::string& path);

class CFileAreaStore {
public:
    CFileAreaStore();

    // Opens the store read-only (shared with other readers), creating an empty file when
    // absent. Fails while a writer holds it, and for a damaged store (GetProblem says why).
    bool OpenForReading(const std::string& databasePath);
    // Opens the store for writing (exclusive) and initialises it. Fails while anyone else
    // holds it, and for a damaged store (GetProblem says why).
    bool OpenForWriting(const std::string& databasePath);
    // Why the last open was refused for damage; empty otherwise.
    const std::string& GetProblem() const { return m_problem; }
    // Writes the header of a new store when there is none, then reads the header into
    // memory. Writable stores only; OpenForWriting already does this.
    bool Initialise();
    void Close();

    bool IsOpen() const { return m_file.IsOpen(); }
    bool IsWritable() const { return m_file.IsOpen() && m_file.IsWritable(); }
    // False for a store without even a header (an empty file).
    bool HasHeader() const { return m_file.GetRecordCount() > 0; }
    bool ReadHeader(AreaStoreHeader& header) const;

    // The areas in record order: area `position` is record position + 1.
    std::size_t GetAreaCount() const;
    bool GetAreaAt(std::size_t position, AreaRecord& area) const;
    std::vector<AreaRecord> EnumerateAreas() const;

    // The record index of the area with that id, or 0 when there is none.
    std::size_t FindArea(std::uint32_t id) const;
    bool FindArea(std::uint32_t id, AreaRecord& area) const;

    // Appends a new area; its id (set in area.Id) is the next unused one.
    bool AddArea(AreaRecord& area);
    // Rewrites the area with area.Id from the given values.
    bool UpdateArea(const AreaRecord& area);
    bool DeleteArea(std::uint32_t id);

private:
    std::uint32_t GetIdAt(std::size_t index) const;

    // Keeps the file open only when GetAreaStoreProblem finds nothing wrong with it.
    bool Check(const std::string& databasePath);

    RecordFile m_file;
    std::string m_problem;
    AreaStoreHeader m_header;
    bool m_initialised = false;
};
