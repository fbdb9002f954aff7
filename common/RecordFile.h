#pragma once
// A file that is a plain sequence of fixed-size records, mapped whole into memory.
//
// The sharing rule is that of the catalogue's binary files: a writable open holds the file
// exclusively, read-only opens share it. Both are taken without waiting, so a second program
// is refused at once instead of blocking behind the first.

#include <cstddef>
#include <string>

class RecordFile { // NOLINT(readability-identifier-naming): the design's name
public:
    // Nothing is opened yet.
    RecordFile(std::size_t recordSize, bool writable);
    ~RecordFile();

    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    RecordFile(RecordFile&& other) noexcept;
    RecordFile& operator=(RecordFile&& other) noexcept;

    // Opens and maps the file, creating it empty when absent (unless createWhenAbsent is
    // false), then grows it with zero records to at least minimumCount records. Fails when
    // the file cannot be opened, when another holder's sharing mode refuses it, or when
    // the file cannot be grown or mapped. An empty file opens with no records.
    bool Open(const std::string& path, std::size_t minimumCount = 0, bool createWhenAbsent = true);

    // Releases the view and the file (and with it the lock). Safe to call twice.
    void Close();

    bool IsOpen() const { return m_fd >= 0; }
    bool IsWritable() const { return m_writable; }
    std::size_t GetRecordSize() const { return m_recordSize; }

    // Whole records in the file; a trailing partial record is not counted.
    std::size_t GetRecordCount() const { return m_count; }

    // The bytes of record `index` in the view, or nullptr when there is no such record.
    // Valid until the next WriteRecord, RemoveRecord or Close.
    const unsigned char* GetRecord(std::size_t index) const;

    // Writes one record (GetRecordSize() bytes) at `index`. An index past the end first
    // fills the gap with zero records; an index equal to the count appends. Writable only.
    [[nodiscard]] bool WriteRecord(std::size_t index, const void* record);

    // Removes record `index`, moving the following records down, and shortens the file.
    // Writable only.
    [[nodiscard]] bool RemoveRecord(std::size_t index);

    // Forces the file's contents to the disk.
    [[nodiscard]] bool Flush();

private:
    bool Map();
    void Unmap();
    [[nodiscard]] bool WriteAll(const void* data, std::size_t size, std::size_t offset);
    bool RefreshCount();

    std::size_t m_recordSize;
    bool m_writable;
    int m_fd = -1;
    unsigned char* m_view = nullptr;
    std::size_t m_viewSize = 0;
    std::size_t m_count = 0;
};
