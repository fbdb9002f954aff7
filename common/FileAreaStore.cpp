#include "FileAreaStore.h"

#include "Text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

void PutUInt32(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
    at[2] = static_cast<unsigned char>((value >> 16) & 0xFF);
    at[3] = static_cast<unsigned char>((value >> 24) & 0xFF);
}

std::uint32_t GetUInt32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

void PutText(unsigned char* field, std::size_t size, const std::string& text) {
    const std::string_view fitted = base::CutUtf8Field(text, size - 1);
    std::memset(field, 0, size);
    std::memcpy(field, fitted.data(), fitted.size());
}

std::string GetText(const unsigned char* field, std::size_t size) {
    const void* nul = std::memchr(field, 0, size);
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - field)
                       : size;
    return std::string(reinterpret_cast<const char*>(field), length);
}

using RecordBuffer = std::array<unsigned char, AREA_RECORD_SIZE>;

} // namespace

void EncodeAreaStoreHeader(const AreaStoreHeader& header, unsigned char* record) {
    std::memset(record, 0, AREA_RECORD_SIZE);
    PutUInt32(record + 0, header.HeaderSize);
    PutUInt32(record + 4, header.Reserved);
    PutUInt32(record + 8, header.NextAreaId);
}

AreaStoreHeader DecodeAreaStoreHeader(const unsigned char* record) {
    AreaStoreHeader header;
    header.HeaderSize = GetUInt32(record + 0);
    header.Reserved = GetUInt32(record + 4);
    header.NextAreaId = GetUInt32(record + 8);
    return header;
}

void EncodeAreaRecord(const AreaRecord& area, unsigned char* record) {
    std::memset(record, 0, AREA_RECORD_SIZE);
    PutUInt32(record + AREA_ID_OFFSET, area.Id);
    PutText(record + AREA_NAME_OFFSET, AREA_NAME_SIZE, area.Name);
    PutText(record + AREA_PATH_OFFSET, AREA_PATH_SIZE, area.Path);
    PutText(record + AREA_FTPALIAS_OFFSET, AREA_PATH_SIZE, area.FtpAlias);
    PutText(record + AREA_HTTPALIAS_OFFSET, AREA_PATH_SIZE, area.HttpAlias);
    PutUInt32(record + AREA_FLAGS_OFFSET, area.Flags & AREA_FLAGS_MASK);
}

AreaRecord DecodeAreaRecord(const unsigned char* record) {
    AreaRecord area;
    area.Id = GetUInt32(record + AREA_ID_OFFSET);
    area.Name = GetText(record + AREA_NAME_OFFSET, AREA_NAME_SIZE);
    area.Path = GetText(record + AREA_PATH_OFFSET, AREA_PATH_SIZE);
    area.FtpAlias = GetText(record + AREA_FTPALIAS_OFFSET, AREA_PATH_SIZE);
    area.HttpAlias = GetText(record + AREA_HTTPALIAS_OFFSET, AREA_PATH_SIZE);
    area.Flags = GetUInt32(record + AREA_FLAGS_OFFSET);
    return area;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) {
        return name;
    }
    if (directory.back() == '/') {
        return directory + name;
    }
    return directory + '/' + name;
}

std::string GetFileAreaStorePath(const std::string& databasePath) {
    return JoinPath(databasePath, FILEAREA_FILE_NAME);
}

std::string GetAreaStoreProblem(const RecordFile& file, const std::string& path) {
    const std::size_t count = file.GetRecordCount();
    if (count > MAX_STORE_AREAS + 1) {
        return path + " holds " + std::to_string(count - 1) + " area records, more than the " +
               std::to_string(MAX_STORE_AREAS) + " a store may hold: it is damaged";
    }
    std::uint32_t previous = 0;
    for (std::size_t index = 1; index < count; ++index) {
        const std::uint32_t id = GetUInt32(file.GetRecord(index) + AREA_ID_OFFSET);
        if (id <= previous) {
            return path + " is damaged: its area ids are not in ascending order (record " +
                   std::to_string(index) + " has id " + std::to_string(id) + " after " +
                   std::to_string(previous) + ")";
        }
        previous = id;
    }
    return {};
}

CFileAreaStore::CFileAreaStore() : m_file(AREA_RECORD_SIZE, false) {}

bool CFileAreaStore::Check(const std::string& databasePath) {
    m_problem = GetAreaStoreProblem(m_file, GetFileAreaStorePath(databasePath));
    if (!m_problem.empty()) {
        m_file.Close();
        return false;
    }
    return true;
}

bool CFileAreaStore::OpenForReading(const std::string& databasePath) {
    Close();
    m_file = RecordFile(AREA_RECORD_SIZE, false);
    return m_file.Open(GetFileAreaStorePath(databasePath), 0) && Check(databasePath);
}

bool CFileAreaStore::OpenForWriting(const std::string& databasePath) {
    Close();
    m_file = RecordFile(AREA_RECORD_SIZE, true);
    if (!m_file.Open(GetFileAreaStorePath(databasePath), 0) || !Check(databasePath)) {
        return false;
    }
    if (!Initialise()) {
        Close();
        return false;
    }
    return true;
}

bool CFileAreaStore::Initialise() {
    if (!IsWritable()) {
        return false;
    }
    if (m_file.GetRecordCount() == 0) {
        RecordBuffer record;
        EncodeAreaStoreHeader(AreaStoreHeader{}, record.data());
        if (!m_file.WriteRecord(0, record.data())) {
            return false;
        }
    }
    if (!ReadHeader(m_header)) {
        return false;
    }
    m_initialised = true;
    return true;
}

void CFileAreaStore::Close() {
    m_file.Close();
    m_problem.clear();
    m_header = AreaStoreHeader{};
    m_initialised = false;
}

bool CFileAreaStore::ReadHeader(AreaStoreHeader& header) const {
    const unsigned char* record = m_file.GetRecord(0);
    if (record == nullptr) {
        return false;
    }
    header = DecodeAreaStoreHeader(record);
    return true;
}

std::size_t CFileAreaStore::GetAreaCount() const {
    const std::size_t count = m_file.GetRecordCount();
    return count > 0 ? count - 1 : 0;
}

bool CFileAreaStore::GetAreaAt(std::size_t position, AreaRecord& area) const {
    if (position >= GetAreaCount()) {
        return false;
    }
    const unsigned char* record = m_file.GetRecord(position + 1);
    if (record == nullptr) {
        return false;
    }
    area = DecodeAreaRecord(record);
    return true;
}

std::vector<AreaRecord> CFileAreaStore::EnumerateAreas() const {
    std::vector<AreaRecord> areas;
    const std::size_t count = GetAreaCount();
    areas.reserve(count);
    for (std::size_t position = 0; position < count; ++position) {
        AreaRecord area;
        if (GetAreaAt(position, area)) {
            areas.push_back(std::move(area));
        }
    }
    return areas;
}

std::uint32_t CFileAreaStore::GetIdAt(std::size_t index) const {
    const unsigned char* record = m_file.GetRecord(index);
    return record != nullptr ? GetUInt32(record + AREA_ID_OFFSET) : 0;
}

std::size_t CFileAreaStore::FindArea(std::uint32_t id) const {
    const std::size_t count = m_file.GetRecordCount();
    if (count < 2) {
        return 0;
    }
    std::size_t low = 1;
    std::size_t high = count - 1;
    while (low <= high) {
        const std::size_t probe = (low + high) / 2;
        const std::uint32_t probeId = GetIdAt(probe);
        if (probeId == id) {
            return probe;
        }
        if (probeId < id) {
            low = probe + 1;
        } else {
            high = probe - 1; // probe >= 1: no wrap-around, the loop ends with high 0
        }
    }
    return 0;
}

bool CFileAreaStore::FindArea(std::uint32_t id, AreaRecord& area) const {
    const std::size_t index = FindArea(id);
    if (index == 0) {
        return false;
    }
    area = DecodeAreaRecord(m_file.GetRecord(index));
    return true;
}

bool CFileAreaStore::AddArea(AreaRecord& area) {
    if (!IsWritable() || !m_initialised) {
        return false;
    }
    const std::size_t count = m_file.GetRecordCount();
    // A damaged header whose next id is not above the last area's would hand out an id in
    // use and break the ascending order that finding relies on; continue after the last one.
    std::uint64_t id = std::max<std::uint64_t>(m_header.NextAreaId, 1);
    if (count > 1) {
        id = std::max<std::uint64_t>(id, static_cast<std::uint64_t>(GetIdAt(count - 1)) + 1);
    }
    if (id >= std::numeric_limits<std::uint32_t>::max()) {
        return false; // the next id would no longer fit
    }

    AreaRecord stored = area;
    stored.Id = static_cast<std::uint32_t>(id);
    RecordBuffer record;
    EncodeAreaRecord(stored, record.data());
    if (!m_file.WriteRecord(count, record.data())) {
        return false;
    }
    // The area is in the store from here on, so the caller learns its id even when the
    // header cannot be rewritten.
    area.Id = stored.Id;
    m_header.NextAreaId = static_cast<std::uint32_t>(id + 1);
    EncodeAreaStoreHeader(m_header, record.data());
    return m_file.WriteRecord(0, record.data());
}

bool CFileAreaStore::UpdateArea(const AreaRecord& area) {
    if (!IsWritable()) {
        return false;
    }
    const std::size_t index = FindArea(area.Id);
    if (index == 0) {
        return false;
    }
    RecordBuffer record;
    EncodeAreaRecord(area, record.data());
    return m_file.WriteRecord(index, record.data());
}

bool CFileAreaStore::DeleteArea(std::uint32_t id) {
    if (!IsWritable()) {
        return false;
    }
    const std::size_t index = FindArea(id);
    if (index == 0) {
        return false;
    }
    return m_file.RemoveRecord(index);
}
