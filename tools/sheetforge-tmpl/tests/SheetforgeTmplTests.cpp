#include "TestSupport.h"

#include <gtest/gtest.h>

using testsupport::BuiltProgram;
using testsupport::CProgramResult;
using testsupport::CTempDir;
using testsupport::RunProgram;
using testsupport::WriteFile;

namespace {

CProgramResult Tmpl(std::vector<std::string> args) {
    args.insert(args.begin(), BuiltProgram("sheetforge-tmpl"));
    return RunProgram(args, {"LC_ALL=C"});
}

} // namespace

TEST(SheetforgeTmpl, CheckIsSilentForGoodTemplatesAndNamesFileAndLineOfBadOnes) {
    CTempDir dir;
    WriteFile(dir.Path() / "good.tmpl",
              "<p>@title@</p>\n@if a@x@else@y@endif@\n@loop@r@endloop@\n");
    WriteFile(dir.Path() / "bad.tmpl", "line one\n@loop@\n@endif@\n");
    WriteFile(dir.Path() / "open.tmpl", "@if a@\nstill open\n");
    WriteFile(dir.Path() / "args.tmpl", "\n\n@includedef areaid@\n");

    const auto good = Tmpl({"check", dir / "good.tmpl"});
    EXPECT_EQ(good.exitCode, 0);
    EXPECT_EQ(good.out, "");
    EXPECT_EQ(good.err, "");

    const auto bad = Tmpl({"check", dir / "good.tmpl", dir / "bad.tmpl", dir / "open.tmpl",
                           dir / "missing.tmpl", dir / "args.tmpl"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.out, dir / "bad.tmpl" + ":3: if expected\n" + dir / "open.tmpl" +
                           ":2: endif expected\n" + dir / "missing.tmpl" +
                           ": Could not load missing.tmpl\n" + dir / "args.tmpl" +
                           ":3: includedef expectsts two parameters\n");
}

TEST(SheetforgeTmpl, RenderWritesThePageWithTheGivenVariablesAndIncludes) {
    CTempDir dir;
    std::filesystem::create_directories(dir.Path() / "site" / "files" / "header");
    std::filesystem::create_directories(dir.Path() / "templates");
    WriteFile(dir.Path() / "templates" / "head.inc", "[local head]");
    WriteFile(dir.Path() / "site" / "head.inc", "[site head]");
    WriteFile(dir.Path() / "site" / "files" / "header" / "default.asp", "[default]");
    WriteFile(dir.Path() / "site" / "files" / "header" / "7.asp", "[seven]");
    WriteFile(dir.Path() / "templates" / "page.tmpl",
              "@include head.inc@<h1>@title@</h1>@unset@ x=@x@\n"
              "@if title=\"hello\"@lower@else@other@endif@"
              "@loop@row@endloop@@includedef areaid,files/header/default.asp@\n");

    const auto local = Tmpl({"render", dir / "templates/page.tmpl", "title=<b>Hi</b>", "x=a=b"});
    EXPECT_EQ(local.exitCode, 0) << local.err;
    EXPECT_EQ(local.out, "[local head]<h1><b>Hi</b></h1>@unset@ x=a=b\nother\n");
    EXPECT_EQ(local.err, "");

    const auto site = Tmpl({"render", "--include-dir", dir / "site", dir / "templates/page.tmpl",
                            "title=hello", "areaid=7"});
    EXPECT_EQ(site.exitCode, 0) << site.err;
    EXPECT_EQ(site.out, "[site head]<h1>hello</h1>@unset@ x=@x@\nlower[seven]\n");

    const auto fallback = Tmpl(
        {"render", "--include-dir=" + dir / "site", dir / "templates/page.tmpl", "areaid=../head"});
    EXPECT_EQ(fallback.exitCode, 0);
    EXPECT_TRUE(fallback.out.ends_with("[default]\n")) << fallback.out;

    WriteFile(dir.Path() / "broken.tmpl", "@loop@\n");
    const auto broken = Tmpl({"render", dir / "broken.tmpl"});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_EQ(broken.out, "");
    EXPECT_EQ(broken.err, dir / "broken.tmpl" + ":1: endloop expected\n");
}

TEST(SheetforgeTmpl, HelpAndUsageErrors) {
    const auto help = Tmpl({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("sheetforge-tmpl check"), std::string::npos);
    EXPECT_NE(help.out.find("sheetforge-tmpl render"), std::string::npos);
    EXPECT_NE(help.out.find("--include-dir"), std::string::npos);
    EXPECT_EQ(Tmpl({"render", "-h"}).exitCode, 0);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{},
          {"frobnicate", "x"},
          {"check"},
          {"render"},
          {"render", "f.tmpl", "novalue"},
          {"render", "f.tmpl", "=v"},
          {"check", "--bogus", "f"},
          {"check", "--include-dir"},
          {"check", "--include-dir", "/nonexistent/dir", "f"}}) {
        const auto r = Tmpl(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("Usage: sheetforge-tmpl"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
}
