// The Debian package, built from this build with cpack, installed with dpkg and removed
// again. Its maintainer scripts run dorvale-install and dorvale-uninstall; the test points
// them at a private prefix, registry and ODBC files through the environment, so that only
// the package's own files reach the system, and those go with it.

#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {

// Everything below `dir`, as paths and contents.
std::map<std::string, std::string> Tree(const fs::path& dir) {
    std::map<std::string, std::string> tree;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir, ec)) {
        tree[entry.path().string()] =
            entry.is_regular_file() ? testsupport::ReadFile(entry.path()) : "<dir>";
    }
    return tree;
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef DORVALE_PACKAGE_TEST
        GTEST_SKIP() << "the package is built and tried from the release configuration";
#endif
        if (::geteuid() != 0) {
            GTEST_SKIP() << "dpkg can install a package only as root";
        }
        if (testsupport::RunProgram({"/usr/bin/dpkg", "--version"}).exitCode != 0 ||
            testsupport::RunProgram({"/usr/bin/cpack", "--version"}).exitCode != 0) {
            GTEST_SKIP() << "dpkg or cpack cannot run here";
        }
        // One package test at a time on this machine, whoever runs it.
        m_lock = ::open("/tmp/dorvale-package-test.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        ASSERT_GE(m_lock, 0);
        ASSERT_EQ(::flock(m_lock, LOCK_EX), 0);
        const testsupport::CProgramResult status = testsupport::RunProgram(
            {"/usr/bin/dpkg-query", "-W", "-f=${db:Status-Status}", "dorvale"});
        if (status.out == "installed" || status.out == "config-files" ||
            status.out == "half-installed" || status.out == "unpacked") {
            GTEST_SKIP() << "a dorvale package is installed on this machine; it is left alone";
        }
        // The prefix's parent is the machine's: only the prefix is the installation's.
        fs::create_directories(m_dir.Path() / "srv");
        fs::create_directories(m_dir.Path() / "registry");
        fs::create_directories(m_dir.Path() / "odbc");
        testsupport::WriteFile(m_dir / "odbc/odbc.ini", "");
        testsupport::WriteFile(m_dir / "odbc/odbcinst.ini", "");
        testsupport::WriteFile(m_dir / "odbc/user.ini", "");
        m_env = {"DORVALE_REGISTRY=" + (m_dir / "registry"), "ODBCSYSINI=" + (m_dir / "odbc"),
                 "ODBCINI=" + (m_dir / "odbc/user.ini"), "DORVALE_PREFIX=" + Prefix(),
                 "DEBIAN_FRONTEND=noninteractive"};
        m_ready = true;
    }
    void TearDown() override {
        if (m_ready && Installed()) {
            Dpkg({"--purge", "dorvale"});
        }
        if (m_lock >= 0) {
            ::close(m_lock);
        }
    }

    std::string Prefix() const {
        return m_dir / "srv/dorvale";
    }

    bool Installed() const {
        return testsupport::RunProgram(
                   {"/usr/bin/dpkg-query", "-W", "-f=${db:Status-Status}", "dorvale"})
                   .out == "installed";
    }

    // dpkg, waiting while another installation holds its lock.
    testsupport::CProgramResult Dpkg(std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/bin/dpkg");
        testsupport::CProgramResult result;
        for (int attempt = 0; attempt < 60; ++attempt) {
            result = testsupport::RunProgram(args, m_env);
            if (result.exitCode == 0 || result.err.find("lock") == std::string::npos) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::seconds(2));
        }
        return result;
    }

    std::map<std::string, std::string> State() const {
        return Tree(m_dir.Path());
    }

    testsupport::CTempDir m_dir;
    std::vector<std::string> m_env;
    int m_lock = -1;
    bool m_ready = false;
};

TEST_F(PackageTest, BuiltInstalledRemovedAndPurged) {
    const std::string out = m_dir / "package";
    testsupport::CProgramResult result = testsupport::RunProgram(
        {"/usr/bin/cpack", "--config", std::string(DORVALE_BINARY_DIR) + "/CPackConfig.cmake", "-B",
         out});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    std::string deb;
    for (const fs::directory_entry& entry : fs::directory_iterator(out)) {
        if (entry.path().extension() == ".deb") {
            deb = entry.path().string();
        }
    }
    ASSERT_FALSE(deb.empty()) << result.out;
    result = testsupport::RunProgram({"/usr/bin/dpkg-deb", "--contents", deb});
    for (const char* file :
         {"./usr/bin/dorvale-install", "./usr/bin/dorvale-uninstall", "./usr/bin/sheetforge",
          "./usr/lib/libinstallext.so", "./usr/lib/libuninstext.so", "./usr/lib/libCatalink.so",
          "./usr/share/dorvale/templates/grouplist.tmpl", "./usr/share/man/man1/pwencode.1.gz",
          "./usr/share/man/man1/dorvale-install.1.gz", "./usr/share/man/man1/dorvale.1.gz",
          "./usr/share/applications/dorvale-explorer.desktop"}) {
        EXPECT_THAT(result.out, HasSubstr(file));
    }
    result = testsupport::RunProgram({"/usr/bin/dpkg-deb", "--field", deb, "Depends"});
    EXPECT_THAT(result.out, HasSubstr("libsqliteodbc"));
    EXPECT_THAT(result.out, Not(HasSubstr("dorvale")));

    const auto before = State();
    ASSERT_FALSE(fs::exists("/usr/bin/dorvale-install"));
    result = Dpkg({"--install", deb});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_TRUE(Installed());
    EXPECT_THAT(result.out, HasSubstr("dorvale-install: Dorvale is installed in " + Prefix()));
    // The installed programs run from the system's own directories.
    result = testsupport::RunProgram({"/usr/bin/dorvale", "config", "show"}, m_env);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr(Prefix() + "/site"));
    EXPECT_TRUE(fs::exists(Prefix() + "/templates/filelist.tmpl"));
    EXPECT_THAT(testsupport::ReadFile(m_dir / "odbc/odbc.ini"), HasSubstr("[Dorvale]"));

    // Removed: everything but the catalogue, which purging takes too.
    result = Dpkg({"--remove", "dorvale"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_FALSE(fs::exists("/usr/bin/dorvale-install"));
    auto removed = State();
    EXPECT_TRUE(removed.count(Prefix() + "/data/dorvale.db"));
    EXPECT_EQ(testsupport::ReadFile(m_dir / "odbc/odbc.ini"), "");
    result = Dpkg({"--purge", "dorvale"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_FALSE(Installed());
    const auto purged = State();
    // The registry's hives stay as files, empty of what the installation wrote.
    for (const auto& [path, text] : purged) {
        if (before.count(path) == 0) {
            EXPECT_THAT(path, HasSubstr("/registry/")) << path;
            EXPECT_THAT(text, Not(HasSubstr("Halvren"))) << path;
            EXPECT_THAT(text, Not(HasSubstr("Catalink"))) << path;
            EXPECT_THAT(text, Not(HasSubstr("dorvale"))) << path;
        } else {
            EXPECT_EQ(text, before.at(path)) << path;
        }
    }
    EXPECT_FALSE(fs::exists(Prefix()));
}

} // namespace
