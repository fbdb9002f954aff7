// The upload page in a whole run, from the registered Catalink library: written from the
// eighth template when it is installed, and not otherwise.

#include "RunTestSupport.h"
#include "SiteFixture.h"

#include <clocale>
#include <gtest/gtest.h>

using namespace runtest;

namespace {

TEST(UploadPageRun, WrittenFromTheEighthTemplateOnlyWhileItIsInstalled) {
    std::setlocale(LC_ALL, "C");
    CSite site(testsupport::EEngine::SQLite);
    ASSERT_TRUE(site.IsAvailable()) << site.why;
    site.WriteAreas({{1, "Games", 5, "/games", "pub/games"},
                     {2, "Up & in", 6, "", "/incoming"},
                     {3, "Web form only", 2, "", ""}},
                    {{"Main", {1, 2, 3}}});
    std::unique_ptr<IGenerationEnvironment> environment = CreateSystemEnvironment();
    CRecordingWindow window;
    CManualResetEvent stop;
    CGenerationSettings settings = site.Settings();
    settings.allowUploads = 3;
    const std::filesystem::path page = site.SitePath() / "upload.asp";
    const std::filesystem::path source = site.InstallPath() / "templates" / "upload.tmpl";
    auto generate = [&] {
        CGenerationRun run(settings, *environment, window, stop);
        run.Run();
        return !run.HasError();
    };

    ASSERT_TRUE(generate()) << site.Log();
    EXPECT_FALSE(std::filesystem::exists(page));
    const std::map<std::string, std::string> withoutTemplate = ReadTree(site.SitePath());

    testsupport::WriteFile(source, "@allowuploads@|@loop@@areaid@:@area@:@ftpalias@;@endloop@|"
                                   "@uploadlink@\n");
    ASSERT_TRUE(generate()) << site.Log();
    EXPECT_EQ(testsupport::ReadFile(page),
              "3|2:Up &amp; in:/incoming;3:Web form only:;|dorvale-upload:?FTP%20Address=ftp%3A%2F%2F"
              "ftp.example.com&amp;File%20Areas=Up%20%26%20in%0Dincoming%0D\n");
    // Every other page is as it was without the template.
    std::map<std::string, std::string> withTemplate = ReadTree(site.SitePath());
    withTemplate.erase("upload.asp");
    EXPECT_EQ(withTemplate, withoutTemplate);

    // A broken template is reported like the others'; a removed one takes its page along.
    testsupport::WriteFile(source, "@if allowuploads@\n");
    EXPECT_FALSE(generate());
    EXPECT_NE(site.Log().find("Compile error on file upload.tmpl"), std::string::npos) << site.Log();
    std::filesystem::remove(source);
    ASSERT_TRUE(generate()) << site.Log();
    EXPECT_FALSE(std::filesystem::exists(page));
}

} // namespace
