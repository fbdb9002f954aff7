#pragma once
// A made-up file library for demonstrations and benchmarks: groups, areas and files with
// descriptions, versions, dates and download counts, drawn from a seed so that the same seed
// always gives the same library. Plain data only; writing it out is elsewhere.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// splitmix64: small, fast, and the same sequence on every machine and compiler (the standard
// distributions are not).
class CSeedRandom {
public:
    explicit CSeedRandom(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next();
    // A whole number in [0, bound); 0 when bound is 0.
    std::uint64_t Below(std::uint64_t bound);
    // A whole number in [low, high].
    long long Between(long long low, long long high);
    // True with the chance percent / 100.
    bool Chance(int percent) { return Below(100) < static_cast<std::uint64_t>(percent); }
    template <class T, std::size_t N> const T& Pick(const T (&items)[N]) { return items[Below(N)]; }

private:
    std::uint64_t m_state;
};

struct CSampleDate {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

struct CSampleArea {
    std::uint32_t id = 0;
    std::string name;
    std::string slug; // the area's directory and alias name
    bool local = false;
    std::string path; // the area's directory (locally hosted areas only)
    std::string httpAlias;
    std::string ftpAlias;
    std::uint32_t flags = 0;
};

struct CSampleGroup {
    std::string name;
    std::vector<std::uint32_t> areaIds;
};

struct CSampleFile {
    std::string title;
    std::string version;
    std::string shortDesc;
    std::string longDesc;
    std::string upldName;
    std::string upldEmail;
    std::string upldHome;
    long long size = 0;
    long long downloads = 0;
    int rating = 0;
    CSampleDate fileDate;
    CSampleDate lastDownload;
    bool reqForm = false;
    std::vector<std::uint32_t> areas;   // the first one hosts the file when it is local
    std::vector<std::string> locations; // local:// locations and URLs
    std::string localName;              // the file's name in its area's directory, or empty
    std::string archive;                // the bytes of the local file (a zip archive)
};

struct CSampleOptions {
    long long files = 100000;
    int groups = 10;
    int areas = 50;
    int localAreas = -1; // -1: one area in five, at least one
    int emptyAreas = 0;  // the last areas get no files (fewer than `areas`)
    std::uint64_t seed = 1;
    // The library's directory: area directories go below DIR/files.
    std::string directory;
    // Give locally hosted areas an FTP alias as well (when an FTP server is configured).
    bool ftpAliases = false;
    // Add files whose texts try a site's escaping: markup, ampersands, quotes, non-ASCII,
    // a very long title, empty descriptions.
    bool awkward = false;
};

// How many awkward files --awkward adds (in addition to `files`).
constexpr int SAMPLE_AWKWARD_FILES = 6;

class CSampleLibrary {
public:
    explicit CSampleLibrary(const CSampleOptions& options);

    const std::vector<CSampleArea>& GetAreas() const { return m_areas; }
    const std::vector<CSampleGroup>& GetGroups() const { return m_groups; }
    int GetLocalAreaCount() const;
    long long GetFileCount() const;

    // The next file, in order; false after the last. Files must be taken in order: local file
    // names are kept unique per area directory as they are given out.
    bool NextFile(CSampleFile& file);

private:
    void MakeAreas();
    void MakeGroups();
    void MakeFile(CSampleFile& file);
    void MakeAwkwardFile(int which, CSampleFile& file);
    void PlaceFile(CSampleFile& file, const std::string& baseName);
    std::string UniqueName(std::uint32_t areaId, const std::string& baseName);

    CSampleOptions m_options;
    CSeedRandom m_random;
    std::vector<CSampleArea> m_areas;
    std::vector<CSampleGroup> m_groups;
    std::vector<std::uint32_t> m_localIds;
    std::map<std::uint32_t, std::set<std::string>> m_usedNames;
    long long m_next = 0;
};

// A lowercase name of letters, digits and single '-' for directories and file names;
// bytes outside ASCII are kept so that non-English names stay readable.
std::string MakeSlug(const std::string& text);

// A zip archive (stored, not compressed) holding one file.
std::string MakeZipArchive(const std::string& memberName, const std::string& content,
                           const CSampleDate& date);
// The CRC-32 (ISO-HDLC) of the bytes, as zip archives carry it.
std::uint32_t Crc32(const std::string& bytes);
