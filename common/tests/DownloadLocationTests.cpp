#include "DownloadLocation.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using testsupport::CTempDir;

namespace {

std::vector<AreaRecord> SampleAreas() {
    AreaRecord three;
    three.Id = 3;
    three.Name = "Three";
    three.Path = "/srv/three";
    three.Flags = AREA_HOSTED_LOCALLY;
    AreaRecord twelve;
    twelve.Id = 12;
    twelve.Name = "Twelve";
    twelve.Path = "/srv/twelve/";
    AreaRecord remote;
    remote.Id = 20;
    remote.Name = "Remote";
    return {three, twelve, remote};
}

struct CResolved {
    bool ok;
    std::uint32_t id;
    std::string path;
};

CResolved Resolve(const std::string& location) {
    AreaRecord area;
    std::string path;
    const bool ok = ResolveLocalLocation(location, SampleAreas(), area, path);
    return {ok, ok ? area.Id : 0, ok ? path : ""};
}

} // namespace

TEST(DownloadLocation, BuildAndClassify) {
    EXPECT_EQ(BuildLocalLocation(3, "a.zip"), "local://3/a.zip");
    EXPECT_EQ(BuildLocalLocation(4294967295u, "sub/b.zip"), "local://4294967295/sub/b.zip");
    EXPECT_EQ(BuildLocalLocation(10, "x"), "local://10/x");

    EXPECT_TRUE(IsLocalLocation("local://3/a.zip"));
    EXPECT_TRUE(IsLocalLocation("LOCAL://3/a.zip"));
    EXPECT_TRUE(IsLocalLocation("LoCaL://"));
    EXPECT_FALSE(IsLocalLocation("local:/3/a.zip"));
    EXPECT_FALSE(IsLocalLocation("local:"));
    EXPECT_FALSE(IsLocalLocation(""));
    EXPECT_FALSE(IsLocalLocation("http://example.org/local://3/a.zip"));
    EXPECT_FALSE(IsLocalLocation("ftp://ftp.example.org/pub/a.zip"));
}

TEST(DownloadLocation, ResolveJoinsAreaPathAndName) {
    CResolved r = Resolve("local://3/a.zip");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.id, 3u);
    EXPECT_EQ(r.path, "/srv/three/a.zip");
    // Capitals in the prefix resolve alike; a Path ending in `/` gets no second one.
    r = Resolve("LOCAL://12/a.zip");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.path, "/srv/twelve/a.zip");
    r = Resolve("local://3/sub/dir/b.zip");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.path, "/srv/three/sub/dir/b.zip");
    // Names that only look like `..` are ordinary names.
    EXPECT_TRUE(Resolve("local://3/..a/b..").ok);
    EXPECT_TRUE(Resolve("local://3/a.../x").ok);
    // Leading zeros are read as the same number.
    EXPECT_EQ(Resolve("local://003/a.zip").id, 3u);

    std::uint32_t id = 0;
    std::string name;
    ASSERT_TRUE(ParseLocalLocation("local://42/x y.zip", id, name));
    EXPECT_EQ(id, 42u);
    EXPECT_EQ(name, "x y.zip");
}

TEST(DownloadLocation, MalformedOrUnknownResolvesToNoLocalFile) {
    for (const std::string location : {
             "local://",              // nothing after the prefix
             "local://x/",            // no digits
             "local:///a.zip",        // no digits
             "local://12",            // no slash after the digits
             "local://12a.zip",       // something else after the digits
             "local://7/a.zip",       // no area 7
             "local://20/a.zip",      // area without a directory
             "local://99999999999/a", // id too large for any area
             "local://4294967299/a",  // would wrap around to 3
             "http://host/a.zip",     // a URL
             "",
         }) {
        EXPECT_FALSE(Resolve(location).ok) << location;
    }
}

TEST(DownloadLocation, NamesLeadingOutOfTheAreaAreRefused) {
    for (const std::string& location : std::vector<std::string>{
             "local://3/../secret",
             "local://3/..",
             "local://3/sub/../../etc/passwd",
             "local://3/sub/..",
             "local://3//etc/passwd",
             "local://3/",
             std::string("local://3/a\0b", 13),
         }) {
        EXPECT_FALSE(Resolve(location).ok) << location;
        std::uint32_t id = 0;
        std::string name;
        EXPECT_FALSE(ParseLocalLocation(location, id, name)) << location;
    }
}

TEST(DownloadLocation, ResolveThroughTheStore) {
    CTempDir dir;
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForWriting(dir.Path().string()));
    AreaRecord first;
    first.Name = "First";
    first.Path = "/srv/first";
    first.Flags = AREA_HOSTED_LOCALLY;
    AreaRecord second = first;
    second.Name = "Second";
    second.Path = "/srv/second";
    ASSERT_TRUE(store.AddArea(first));
    ASSERT_TRUE(store.AddArea(second));

    AreaRecord area;
    std::string path;
    const std::string location = BuildLocalLocation(second.Id, "file.zip");
    ASSERT_TRUE(ResolveLocalLocation(location, store, area, path));
    EXPECT_EQ(area.Name, "Second");
    EXPECT_EQ(path, "/srv/second/file.zip");

    ASSERT_TRUE(store.DeleteArea(second.Id));
    EXPECT_FALSE(ResolveLocalLocation(location, store, area, path));
}
