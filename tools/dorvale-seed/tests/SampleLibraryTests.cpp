// The made-up library: repeatable from its seed, well formed, and with real archives.

#include "SampleLibrary.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

CSampleOptions Options(long long files, int groups, int areas) {
    CSampleOptions options;
    options.files = files;
    options.groups = groups;
    options.areas = areas;
    options.directory = "/srv/lib";
    return options;
}

std::vector<CSampleFile> AllFiles(CSampleLibrary& library) {
    std::vector<CSampleFile> files;
    CSampleFile file;
    while (library.NextFile(file)) {
        files.push_back(file);
    }
    return files;
}

std::string Describe(const CSampleFile& f) {
    std::string text = f.title + "|" + f.version + "|" + f.shortDesc + "|" + f.longDesc + "|" +
                       f.upldName + "|" + f.upldEmail + "|" + std::to_string(f.size) + "|" +
                       std::to_string(f.downloads) + "|" + std::to_string(f.fileDate.year) + "-" +
                       std::to_string(f.fileDate.month) + "-" + std::to_string(f.fileDate.day) +
                       "|" + f.localName + "|" + f.archive;
    for (auto a : f.areas) {
        text += "|a" + std::to_string(a);
    }
    for (const auto& l : f.locations) {
        text += "|" + l;
    }
    return text;
}

} // namespace

TEST(SeedRandom, KnownSequenceAndRanges) {
    // splitmix64's published first output for the seed 0.
    CSeedRandom zero(0);
    EXPECT_EQ(zero.Next(), 0xE220A8397B1DCDAFULL);
    CSeedRandom random(42);
    std::set<long long> seen;
    for (int i = 0; i < 2000; ++i) {
        const long long value = random.Between(-3, 3);
        ASSERT_GE(value, -3);
        ASSERT_LE(value, 3);
        seen.insert(value);
    }
    EXPECT_EQ(seen.size(), 7u);
    EXPECT_EQ(random.Below(0), 0u);
    EXPECT_EQ(random.Between(5, 5), 5);
    EXPECT_EQ(random.Between(9, 2), 9);
}

TEST(SampleLibrary, SameSeedSameLibraryOtherSeedAnother) {
    CSampleLibrary one(Options(300, 4, 12));
    CSampleLibrary two(Options(300, 4, 12));
    const auto a = AllFiles(one);
    const auto b = AllFiles(two);
    ASSERT_EQ(a.size(), 300u);
    ASSERT_EQ(b.size(), 300u);
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(Describe(a[i]), Describe(b[i])) << "file " << i;
    }
    CSampleOptions other = Options(300, 4, 12);
    other.seed = 2;
    CSampleLibrary three(other);
    const auto c = AllFiles(three);
    int same = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        same += Describe(a[i]) == Describe(c[i]);
    }
    EXPECT_LT(same, 5);
}

TEST(SampleLibrary, AreasAndGroups) {
    CSampleLibrary library(Options(0, 10, 50));
    const auto& areas = library.GetAreas();
    ASSERT_EQ(areas.size(), 50u);
    EXPECT_EQ(library.GetLocalAreaCount(), 10);
    std::set<std::string> names, slugs;
    int local = 0;
    for (std::size_t i = 0; i < areas.size(); ++i) {
        const CSampleArea& area = areas[i];
        EXPECT_EQ(area.id, i + 1);
        names.insert(area.name);
        slugs.insert(area.slug);
        if (area.local) {
            ++local;
            EXPECT_EQ(area.flags, 7u);
            EXPECT_EQ(area.path, "/srv/lib/files/" + area.slug);
            EXPECT_EQ(area.httpAlias, "/downloads/" + area.slug);
            EXPECT_EQ(area.ftpAlias, "");
        } else {
            EXPECT_EQ(area.flags, 1u);
            EXPECT_EQ(area.path, "");
            EXPECT_EQ(area.httpAlias, "");
        }
    }
    EXPECT_EQ(local, 10);
    EXPECT_EQ(names.size(), 50u);
    EXPECT_EQ(slugs.size(), 50u);

    const auto& groups = library.GetGroups();
    ASSERT_EQ(groups.size(), 10u);
    std::map<std::uint32_t, int> membership;
    std::set<std::string> groupNames;
    for (const CSampleGroup& group : groups) {
        EXPECT_FALSE(group.areaIds.empty()) << group.name;
        groupNames.insert(group.name);
        for (auto id : group.areaIds) {
            ++membership[id];
        }
    }
    EXPECT_EQ(groupNames.size(), 10u);
    EXPECT_EQ(membership.size(), 50u);
    for (const auto& [id, count] : membership) {
        EXPECT_EQ(count, 1) << "area " << id;
    }

    // More areas and groups than there are names: numbered, still unique; groups never
    // outnumber areas; the number of local areas follows the option.
    CSampleOptions many = Options(0, 40, 120);
    many.localAreas = 0;
    many.ftpAliases = true;
    CSampleLibrary big(many);
    std::set<std::string> bigNames;
    for (const auto& area : big.GetAreas()) {
        bigNames.insert(area.name);
        EXPECT_FALSE(area.local);
    }
    EXPECT_EQ(bigNames.size(), 120u);
    EXPECT_EQ(big.GetLocalAreaCount(), 0);
    CSampleLibrary few(Options(0, 10, 3));
    EXPECT_EQ(few.GetGroups().size(), 3u);
    EXPECT_EQ(few.GetLocalAreaCount(), 1);
    CSampleOptions allLocal = Options(0, 2, 4);
    allLocal.localAreas = 4;
    allLocal.ftpAliases = true;
    CSampleLibrary everyLocal(allLocal);
    for (const auto& area : everyLocal.GetAreas()) {
        EXPECT_TRUE(area.local);
        EXPECT_EQ(area.ftpAlias, "/pub/" + area.slug);
    }
}

TEST(SampleLibrary, FilesAreWellFormed) {
    CSampleLibrary library(Options(2000, 5, 20));
    const auto& areas = library.GetAreas();
    std::map<std::uint32_t, std::set<std::string>> localNames;
    int local = 0, twoAreas = 0, twoLocations = 0, maxDownloads = 0;
    for (const CSampleFile& file : AllFiles(library)) {
        EXPECT_FALSE(file.title.empty());
        EXPECT_LE(file.title.size(), 255u);
        EXPECT_LE(file.shortDesc.size(), 255u);
        EXPECT_THAT(file.longDesc, HasSubstr("\n"));
        EXPECT_FALSE(file.version.empty());
        EXPECT_THAT(file.upldEmail, HasSubstr("@example.org"));
        EXPECT_GE(file.fileDate.year, 1996);
        EXPECT_LE(file.fileDate.year, 2024);
        EXPECT_GE(file.fileDate.day, 1);
        EXPECT_LE(file.fileDate.day, 31);
        EXPECT_GE(file.downloads, 0);
        EXPECT_LE(file.downloads, 250000);
        maxDownloads = std::max<int>(maxDownloads, static_cast<int>(file.downloads));
        ASSERT_GE(file.areas.size(), 1u);
        ASSERT_LE(file.areas.size(), 2u);
        if (file.areas.size() == 2) {
            ++twoAreas;
            EXPECT_NE(file.areas[0], file.areas[1]);
        }
        for (auto id : file.areas) {
            EXPECT_GE(id, 1u);
            EXPECT_LE(id, areas.size());
        }
        ASSERT_GE(file.locations.size(), 1u);
        ASSERT_LE(file.locations.size(), 2u);
        twoLocations += file.locations.size() == 2;
        const CSampleArea& home = areas[file.areas[0] - 1];
        if (home.local) {
            ++local;
            EXPECT_EQ(file.locations[0],
                      "local://" + std::to_string(home.id) + "/" + file.localName);
            EXPECT_TRUE(localNames[home.id].insert(file.localName).second)
                << "name used twice: " << file.localName;
            EXPECT_EQ(static_cast<long long>(file.archive.size()), file.size);
            EXPECT_THAT(file.localName, testing::EndsWith(".zip"));
        } else {
            EXPECT_TRUE(file.localName.empty());
            EXPECT_TRUE(file.archive.empty());
            EXPECT_THAT(file.locations[0], testing::MatchesRegex("https?://[a-z.]+/.*\\.zip"));
            EXPECT_GE(file.size, 2048);
        }
        if (file.locations.size() == 2) {
            EXPECT_NE(file.locations[0], file.locations[1]);
            EXPECT_THAT(file.locations[1], StartsWith("http"));
        }
    }
    // Enough of each kind for a site to show them all.
    EXPECT_GT(local, 100);
    EXPECT_GT(twoAreas, 100);
    EXPECT_GT(twoLocations, 100);
    EXPECT_GT(maxDownloads, 30000);
}

TEST(SampleLibrary, EmptyAreasGetNoFiles) {
    CSampleOptions options = Options(500, 2, 6);
    options.emptyAreas = 2;
    CSampleLibrary library(options);
    std::set<std::uint32_t> used;
    for (const CSampleFile& file : AllFiles(library)) {
        used.insert(file.areas.begin(), file.areas.end());
    }
    EXPECT_EQ(used, (std::set<std::uint32_t>{1, 2, 3, 4}));
    // Every area but one may be left empty; more is taken as that.
    options.emptyAreas = 99;
    CSampleLibrary single(options);
    for (const CSampleFile& file : AllFiles(single)) {
        EXPECT_EQ(file.areas, std::vector<std::uint32_t>{1});
    }
}

TEST(SampleLibrary, AwkwardFilesComeAfterTheOthers) {
    CSampleOptions options = Options(10, 2, 5);
    options.awkward = true;
    CSampleLibrary library(options);
    EXPECT_EQ(library.GetFileCount(), 10 + SAMPLE_AWKWARD_FILES);
    const auto files = AllFiles(library);
    ASSERT_EQ(files.size(), 10u + SAMPLE_AWKWARD_FILES);
    std::uint32_t firstLocal = 0;
    for (const auto& area : library.GetAreas()) {
        if (area.local && firstLocal == 0) {
            firstLocal = area.id;
        }
    }
    ASSERT_NE(firstLocal, 0u);
    std::vector<std::string> titles;
    for (std::size_t i = 10; i < files.size(); ++i) {
        titles.push_back(files[i].title);
        EXPECT_FALSE(files[i].localName.empty()) << files[i].title;
        EXPECT_EQ(files[i].areas, std::vector<std::uint32_t>{firstLocal});
    }
    EXPECT_THAT(titles[0], HasSubstr("<script>"));
    EXPECT_THAT(titles[1], HasSubstr("&"));
    EXPECT_THAT(titles[2], HasSubstr("日本語"));
    EXPECT_GT(titles[3].size(), 100u);
    EXPECT_TRUE(files[14].shortDesc.empty());
    EXPECT_TRUE(files[14].longDesc.empty());
    EXPECT_EQ(files[10].localName, "markup <tester>.zip");
    EXPECT_EQ(files[15].localName, "100% pure #1 ~tilde.zip");
    EXPECT_EQ(library.GetGroups().back().name, "Tom & Jerry's <Corner>");
}

TEST(SampleLibrary, SlugsAndChecksums) {
    EXPECT_EQ(MakeSlug("Disk Tools"), "disk-tools");
    EXPECT_EQ(MakeSlug("  Home & Hobby!! "), "home-hobby");
    EXPECT_EQ(MakeSlug("TrueType Fonts 2"), "truetype-fonts-2");
    EXPECT_EQ(MakeSlug("Café"), "café");
    EXPECT_EQ(MakeSlug("!!!"), "file");
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926U);
    EXPECT_EQ(Crc32(""), 0U);
}

TEST(SampleLibrary, ArchivesOpenWithAnotherZipReader) {
    // Python's zipfile reads and checks them (CRC included), as any unzip program would.
    testsupport::CTempDir dir;
    CSampleLibrary library(Options(40, 2, 4));
    std::vector<std::string> paths;
    CSampleFile file;
    while (library.NextFile(file)) {
        if (!file.archive.empty()) {
            const std::string path = dir / ("a" + std::to_string(paths.size()) + ".zip");
            testsupport::WriteFile(path, file.archive);
            paths.push_back(path);
            ASSERT_THAT(file.archive, HasSubstr(file.title));
        }
    }
    ASSERT_FALSE(paths.empty());
    std::vector<std::string> argv = {"/usr/bin/python3", "-c",
                                     "import sys, zipfile\n"
                                     "for p in sys.argv[1:]:\n"
                                     "    z = zipfile.ZipFile(p)\n"
                                     "    assert z.testzip() is None, p\n"
                                     "    assert z.namelist() == ['README.TXT'], z.namelist()\n"
                                     "    assert len(z.read('README.TXT')) > 200, p\n"
                                     "print('ok', len(sys.argv) - 1)\n"};
    argv.insert(argv.end(), paths.begin(), paths.end());
    const auto result = testsupport::RunProgram(argv);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "ok " + std::to_string(paths.size()) + "\n");
}
