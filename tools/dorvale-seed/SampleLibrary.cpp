#include "SampleLibrary.h"

#include "Text.h"

#include <algorithm>
#include <array>
#include <cstdio>

// ---- Random numbers ----

std::uint64_t CSeedRandom::Next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t CSeedRandom::Below(std::uint64_t bound) {
    if (bound == 0) {
        return 0;
    }
    // Rejection keeps every value equally likely.
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % bound;
    std::uint64_t value;
    do {
        value = Next();
    } while (value >= limit);
    return value % bound;
}

long long CSeedRandom::Between(long long low, long long high) {
    if (high <= low) {
        return low;
    }
    return low + static_cast<long long>(Below(static_cast<std::uint64_t>(high - low) + 1));
}

// ---- Words ----

namespace {

// Group names become directory names in the site; the awkward sample renames the last group to
// one that every page must escape or URL-escape.
const char* const AWKWARD_GROUP_NAME = "Tom & Jerry's <Corner>";
const char* const GROUP_NAMES[] = {"Utilities",   "Games",      "Graphics",      "Internet",
                                   "Programming", "Multimedia", "Business",      "Education",
                                   "Science",     "Fonts",      "Desktop",       "Security",
                                   "Networking",  "Text Tools", "Home and Hobby"};

const char* const AREA_NAMES[] = {
    "Archivers",       "Disk Tools",     "File Managers", "Backup",        "Arcade Games",
    "Board Games",     "Puzzles",        "Adventure",     "Image Viewers", "Paint Programs",
    "Icons",           "3D Modelling",   "Web Browsers",  "Mail Clients",  "FTP Clients",
    "Compilers",       "Editors",        "Debuggers",     "Libraries",     "Audio Players",
    "Video Tools",     "MIDI",           "Spreadsheets",  "Accounting",    "Databases",
    "Mathematics",     "Languages",      "Typing Tutors", "Astronomy",     "Chemistry",
    "TrueType Fonts",  "Bitmap Fonts",   "Screen Savers", "Wallpapers",    "Clocks",
    "Virus Scanners",  "Encryption",     "Firewalls",     "Terminals",     "Network Monitors",
    "Word Processors", "Outliners",      "Converters",    "Recipes",       "Genealogy",
    "Gardening",       "Music Notation", "Flight Sims",   "Card Games",    "System Info"};

const char* const PREFIXES[] = {"Quick", "Turbo", "Smart", "Easy",   "Power",   "Tiny",
                                "Super", "Hyper", "Mega",  "Pocket", "Crystal", "Silver",
                                "Blue",  "Red",   "Nova",  "Astro",  "Pixel",   "Retro",
                                "Handy", "Swift", "Open",  "Free",   "Magic",   "Wise"};
const char* const NOUNS[] = {"Zip",    "Edit", "Paint", "Calc",   "Mail",  "Chess", "Term",
                             "Backup", "Sync", "Note",  "Draw",   "Tune",  "Scan",  "Font",
                             "Clock",  "Disk", "Find",  "View",   "Deck",  "Tris",  "Byte",
                             "Star",   "Word", "Chart", "Ledger", "Atlas", "Beat",  "Frame"};
const char* const SUFFIXES[] = {"",        "",         "",        " Pro",     " Lite",
                                " Plus",   " Deluxe",  " Studio", " Manager", " Commander",
                                " Wizard", " Toolkit", " 2000",   " Gold",    " Express"};
const char* const VERBS[] = {"organises", "speeds up", "simplifies", "automates", "improves",
                             "tidies",    "explores",  "visualises", "checks",    "converts"};
const char* const OBJECTS[] = {"your files",   "archives",      "pictures",    "e-mail",
                               "spreadsheets", "music",         "source code", "fonts",
                               "backups",      "web pages",     "notes",       "the desktop",
                               "disk space",   "network links", "documents",   "photographs"};
const char* const FEATURES[] = {"Drag and drop support",
                                "Long file names",
                                "Built-in help with examples",
                                "Runs from a floppy or USB stick",
                                "Command line and window modes",
                                "Unicode text throughout",
                                "Keyboard shortcuts for everything",
                                "Undo and redo without limits",
                                "Printing with preview",
                                "Skins and colour themes",
                                "Plug-in interface",
                                "Batch processing of whole folders",
                                "Multi-language user interface",
                                "Automatic update check (optional)",
                                "Small memory footprint",
                                "Portable settings file"};
const char* const LICENCES[] = {
    "Freeware.",      "Shareware, 30 days trial.", "Open source (MIT).",
    "Public domain.", "Free for personal use.",    "Open source (GPL)."};
const char* const FIRST_NAMES[] = {"Ada",   "Brian", "Chloe", "Dmitri", "Elena", "Farid",
                                   "Grace", "Hiro",  "Ines",  "Jonas",  "Kira",  "Lars",
                                   "Maya",  "Nils",  "Olga",  "Pedro",  "Quinn", "Rosa"};
const char* const LAST_NAMES[] = {"Archer", "Bauer",  "Costa",   "Dahl",   "Evans", "Fischer",
                                  "Garcia", "Hansen", "Ivanova", "Jensen", "Kato",  "Lopez",
                                  "Moreau", "Novak",  "Okafor",  "Petrov", "Rossi", "Silva"};
const char* const MIRRORS[] = {
    "https://files.example.com/pub", "https://mirror.example.net/dorvale",
    "https://downloads.example.org/library", "http://ftp.example.edu/mirrors/dorvale"};

int DaysInMonth(int year, int month) {
    static const int DAYS_IN_MONTH[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : DAYS_IN_MONTH[month - 1];
}

CSampleDate RandomDate(CSeedRandom& random, int firstYear, int lastYear) {
    CSampleDate date;
    date.year = static_cast<int>(random.Between(firstYear, lastYear));
    date.month = static_cast<int>(random.Between(1, 12));
    date.day = static_cast<int>(random.Between(1, DaysInMonth(date.year, date.month)));
    date.hour = static_cast<int>(random.Between(0, 23));
    date.minute = static_cast<int>(random.Between(0, 59));
    date.second = static_cast<int>(random.Between(0, 59));
    return date;
}

// Most files are fetched rarely, a few very often.
long long RandomDownloads(CSeedRandom& random) {
    const std::uint64_t tier = random.Below(1000);
    if (tier < 500) {
        return random.Between(0, 99);
    }
    if (tier < 850) {
        return random.Between(100, 1999);
    }
    if (tier < 980) {
        return random.Between(2000, 29999);
    }
    return random.Between(30000, 250000);
}

std::string RandomVersion(CSeedRandom& random) {
    std::string version =
        std::to_string(random.Between(0, 9)) + "." + std::to_string(random.Between(0, 20));
    if (random.Chance(30)) {
        version += "." + std::to_string(random.Between(0, 9));
    }
    if (random.Chance(8)) {
        version += random.Chance(50) ? " beta" : "b";
    }
    return version;
}

// The text file inside a locally hosted archive: the description and filler up to `size`.
std::string ArchiveReadme(const CSampleFile& file, long long size) {
    std::string text = file.title + " " + file.version + "\r\n\r\n" + file.shortDesc + "\r\n\r\n";
    for (char c : file.longDesc) {
        if (c == '\n') {
            text += "\r\n";
        } else {
            text += c;
        }
    }
    text += "\r\n\r\n";
    int line = 1;
    while (static_cast<long long>(text.size()) < size) {
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "%04d  This line only makes the sample bigger.\r\n",
                      line++);
        text += buffer;
    }
    return text;
}

void PutLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

} // namespace

std::string MakeSlug(const std::string& text) {
    std::string slug;
    bool dash = false;
    for (unsigned char c : text) {
        c = static_cast<unsigned char>(base::LowerAscii(static_cast<char>(c)));
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80) {
            if (dash && !slug.empty()) {
                slug += '-';
            }
            dash = false;
            slug += static_cast<char>(c);
        } else {
            dash = true;
        }
    }
    return slug.empty() ? std::string("file") : slug;
}

std::uint32_t Crc32(const std::string& bytes) {
    static const std::array<std::uint32_t, 256> CRC_TABLE = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFU;
    for (unsigned char b : bytes) {
        crc = CRC_TABLE[(crc ^ b) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFU;
}

std::string MakeZipArchive(const std::string& memberName, const std::string& content,
                           const CSampleDate& date) {
    const std::uint32_t crc = Crc32(content);
    const auto size = static_cast<std::uint32_t>(content.size());
    const auto nameSize = static_cast<std::uint32_t>(memberName.size());
    const int year = std::clamp(date.year, 1980, 2107);
    const std::uint32_t dosTime = (date.hour << 11) | (date.minute << 5) | (date.second / 2);
    const std::uint32_t dosDate = ((year - 1980) << 9) | (date.month << 5) | date.day;

    std::string zip;
    // Local file header.
    PutLe(zip, 0x04034B50, 4);
    PutLe(zip, 10, 2); // version needed: 1.0
    PutLe(zip, 0, 2);  // flags
    PutLe(zip, 0, 2);  // stored
    PutLe(zip, dosTime, 2);
    PutLe(zip, dosDate, 2);
    PutLe(zip, crc, 4);
    PutLe(zip, size, 4);
    PutLe(zip, size, 4);
    PutLe(zip, nameSize, 2);
    PutLe(zip, 0, 2);
    zip += memberName;
    zip += content;
    const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
    // Central directory entry.
    PutLe(zip, 0x02014B50, 4);
    PutLe(zip, 20, 2); // made by
    PutLe(zip, 10, 2);
    PutLe(zip, 0, 2);
    PutLe(zip, 0, 2);
    PutLe(zip, dosTime, 2);
    PutLe(zip, dosDate, 2);
    PutLe(zip, crc, 4);
    PutLe(zip, size, 4);
    PutLe(zip, size, 4);
    PutLe(zip, nameSize, 2);
    PutLe(zip, 0, 2); // extra
    PutLe(zip, 0, 2); // comment
    PutLe(zip, 0, 2); // disk
    PutLe(zip, 0, 2); // internal attributes
    PutLe(zip, 0, 4); // external attributes
    PutLe(zip, 0, 4); // offset of the local header
    zip += memberName;
    const auto directorySize = static_cast<std::uint32_t>(zip.size()) - directoryOffset;
    // End of central directory.
    PutLe(zip, 0x06054B50, 4);
    PutLe(zip, 0, 2);
    PutLe(zip, 0, 2);
    PutLe(zip, 1, 2);
    PutLe(zip, 1, 2);
    PutLe(zip, directorySize, 4);
    PutLe(zip, directoryOffset, 4);
    PutLe(zip, 0, 2);
    return zip;
}

// ---- The library ----

CSampleLibrary::CSampleLibrary(const CSampleOptions& options)
    : m_options(options), m_random(options.seed) {
    MakeAreas();
    MakeGroups();
}

int CSampleLibrary::GetLocalAreaCount() const {
    return static_cast<int>(m_localIds.size());
}

long long CSampleLibrary::GetFileCount() const {
    return m_options.files + (m_options.awkward ? SAMPLE_AWKWARD_FILES : 0);
}

void CSampleLibrary::MakeAreas() {
    const int count = std::max(1, m_options.areas);
    int local = m_options.localAreas < 0 ? std::max(1, count / 5) : m_options.localAreas;
    local = std::min(local, count);
    const std::size_t names = std::size(AREA_NAMES);
    for (int i = 0; i < count; ++i) {
        CSampleArea area;
        area.id = static_cast<std::uint32_t>(i + 1);
        area.name = AREA_NAMES[i % names];
        if (i >= static_cast<int>(names)) {
            area.name += " " + std::to_string(i / names + 1);
        }
        area.slug = MakeSlug(area.name);
        area.flags = 1; // downloadable
        // Spread the locally hosted areas over the list, so that every group tends to get one.
        area.local = local > 0 && (static_cast<long long>(i) * local) / count !=
                                      (static_cast<long long>(i + 1) * local) / count;
        if (area.local) {
            area.flags |= 2 | 4; // uploadable, hosted locally
            area.path = m_options.directory + "/files/" + area.slug;
            area.httpAlias = "/downloads/" + area.slug;
            if (m_options.ftpAliases) {
                area.ftpAlias = "/pub/" + area.slug;
            }
            m_localIds.push_back(area.id);
        }
        m_areas.push_back(area);
    }
}

void CSampleLibrary::MakeGroups() {
    const int count = std::max(1, std::min(m_options.groups, static_cast<int>(m_areas.size())));
    const std::size_t names = std::size(GROUP_NAMES);
    for (int i = 0; i < count; ++i) {
        CSampleGroup group;
        group.name = GROUP_NAMES[i % names];
        if (i >= static_cast<int>(names)) {
            group.name += " " + std::to_string(i / names + 1);
        }
        m_groups.push_back(group);
    }
    if (m_options.awkward) {
        m_groups.back().name = AWKWARD_GROUP_NAME;
    }
    // Consecutive areas share a group, as related areas do.
    for (std::size_t i = 0; i < m_areas.size(); ++i) {
        m_groups[i * m_groups.size() / m_areas.size()].areaIds.push_back(m_areas[i].id);
    }
}

bool CSampleLibrary::NextFile(CSampleFile& file) {
    if (m_next >= GetFileCount()) {
        return false;
    }
    file = CSampleFile();
    if (m_next < m_options.files) {
        MakeFile(file);
    } else {
        MakeAwkwardFile(static_cast<int>(m_next - m_options.files), file);
    }
    ++m_next;
    return true;
}

std::string CSampleLibrary::UniqueName(std::uint32_t areaId, const std::string& baseName) {
    std::set<std::string>& used = m_usedNames[areaId];
    std::string name = baseName + ".zip";
    for (int n = 2; used.count(name); ++n) {
        name = baseName + "-" + std::to_string(n) + ".zip";
    }
    used.insert(name);
    return name;
}

// Gives the file its areas and locations: a file in a locally hosted area is a real archive
// there (and sometimes mirrored on the web); others are on one or two web mirrors.
void CSampleLibrary::PlaceFile(CSampleFile& file, const std::string& baseName) {
    const CSampleArea& first = m_areas[file.areas.front() - 1];
    const std::string mirrorName = MakeSlug(baseName) + ".zip";
    if (first.local) {
        file.localName = UniqueName(first.id, baseName);
        file.locations.push_back("local://" + std::to_string(first.id) + "/" + file.localName);
        const std::string readme = ArchiveReadme(file, file.size);
        file.archive = MakeZipArchive("README.TXT", readme, file.fileDate);
        file.size = static_cast<long long>(file.archive.size());
        if (m_random.Chance(25)) {
            file.locations.push_back(std::string(m_random.Pick(MIRRORS)) + "/" + first.slug + "/" +
                                     mirrorName);
        }
    } else {
        const std::size_t mirrors = std::size(MIRRORS);
        const std::size_t one = m_random.Below(mirrors);
        file.locations.push_back(std::string(MIRRORS[one]) + "/" + first.slug + "/" + mirrorName);
        if (m_random.Chance(40)) {
            const std::size_t two = (one + 1 + m_random.Below(mirrors - 1)) % mirrors;
            file.locations.push_back(std::string(MIRRORS[two]) + "/" + first.slug + "/" +
                                     mirrorName);
        }
    }
}

void CSampleLibrary::MakeFile(CSampleFile& file) {
    CSeedRandom& r = m_random;
    const std::string prefix = r.Pick(PREFIXES);
    const std::string noun = r.Pick(NOUNS);
    file.title = prefix + noun + r.Pick(SUFFIXES);
    file.version = RandomVersion(r);
    const std::string object = r.Pick(OBJECTS);
    file.shortDesc = file.title + " " + r.Pick(VERBS) + " " + object + ".";
    std::string features;
    const int featureCount = static_cast<int>(r.Between(2, 5));
    for (int i = 0; i < featureCount; ++i) {
        features += std::string(" - ") + r.Pick(FEATURES) + "\n";
    }
    file.longDesc = file.title + " " + file.version + " is a small program that " + r.Pick(VERBS) +
                    " " + object + " without getting in the way.\n\nFeatures:\n" + features +
                    "\nRequires " + std::to_string(r.Between(1, 64)) + " MB of memory. " +
                    r.Pick(LICENCES);
    const std::string first = r.Pick(FIRST_NAMES);
    const std::string last = r.Pick(LAST_NAMES);
    file.upldName = first + " " + last;
    file.upldEmail = base::LowerAscii(first) + "." + base::LowerAscii(last) + "@example.org";
    file.upldHome = "https://www.example.org/~" + base::LowerAscii(first);
    file.downloads = RandomDownloads(r);
    file.rating = static_cast<int>(r.Between(0, 5));
    file.fileDate = RandomDate(r, 1996, 2024);
    file.lastDownload = RandomDate(r, 2024, 2025);
    file.reqForm = r.Chance(5);
    // Web files have the sizes of real downloads; local ones stay small (PlaceFile sets their
    // real size).
    file.size = r.Between(2 * 1024, 40 * 1024 * 1024);

    const std::size_t filled =
        m_areas.size() -
        std::min<std::size_t>(std::max(0, m_options.emptyAreas), m_areas.size() - 1);
    const std::uint32_t area = static_cast<std::uint32_t>(r.Below(filled)) + 1;
    file.areas.push_back(area);
    if (filled > 1 && r.Chance(20)) {
        std::uint32_t second = static_cast<std::uint32_t>(r.Below(filled - 1)) + 1;
        if (second >= area) {
            ++second;
        }
        file.areas.push_back(second);
    }
    if (m_areas[area - 1].local) {
        file.size = r.Between(300, 6000);
    }
    PlaceFile(file, MakeSlug(file.title + " " + file.version));
}

void CSampleLibrary::MakeAwkwardFile(int which, CSampleFile& file) {
    // They sit in the first locally hosted area (or the first area), so that each also has a
    // local file whose name needs escaping in a link.
    const std::uint32_t area = m_localIds.empty() ? 1 : m_localIds.front();
    file.areas.push_back(area);
    file.version = "1.0";
    file.upldName = "Sam Sample";
    file.upldEmail = "sam.sample@example.org";
    file.downloads = 7 + which;
    file.rating = 3;
    file.fileDate = CSampleDate{2020, 2, 29, 12, 0, 0};
    file.lastDownload = CSampleDate{2024, 1, 1, 0, 0, 0};
    file.size = 500;
    std::string baseName;
    switch (which) {
    case 0:
        file.title = "<script>document.title='injected';window.dorvaleInjected=1</script>Markup "
                     "Tester";
        file.shortDesc = "A title with <b>markup</b> in it & a <script> that must not run.";
        file.longDesc = "Line one.\n<img src=x onerror=\"window.dorvaleInjected=2\">\nLine three.";
        baseName = "markup <tester>";
        break;
    case 1:
        file.title = "Tom & Jerry's \"Best\" Utilities";
        file.shortDesc = "Ampersands & 'quotes' & \"double quotes\" & &amp; written out.";
        file.longDesc = "Fish & chips.\nA < B > C.";
        file.upldName = "O'Brien & Sons";
        file.upldEmail = "o'brien+files@example.org";
        baseName = "Tom & Jerry's Utilities";
        break;
    case 2:
        file.title = "Café Ünïcode Ëditor — 日本語 Edition";
        file.shortDesc = "Non-English text: naïve façade, Grüße, Ελληνικά, 中文.";
        file.longDesc = "Zeile eins: Ä Ö Ü ß.\nLigne deux: é è ê.\nСтрока три.";
        file.upldName = "Zoë Åström";
        baseName = "Café Ünïcode";
        break;
    case 3:
        file.title = "Averyveryverylongtitlewithoutanyspacesthatmustwraponasmallscreen"
                     "AndStillBeReadableOnAPhoneAndOnTheDesktopToo";
        file.shortDesc = std::string(250, 'w');
        file.longDesc = "Short.";
        baseName = "long title";
        break;
    case 4:
        file.title = "Empty Descriptions";
        baseName = "empty descriptions";
        break;
    default:
        file.title = "100% Pure @home #1 ~tilde? file=yes";
        file.shortDesc = "Characters that URLs and templates treat specially: % @ # ~ ? = + /";
        file.longDesc = "Percent: 100%\nAt: a@b\nPlus: 1+1";
        baseName = "100% pure #1 ~tilde";
        break;
    }
    if (m_areas[area - 1].local) {
        PlaceFile(file, baseName);
    } else {
        PlaceFile(file, MakeSlug(baseName));
    }
}
