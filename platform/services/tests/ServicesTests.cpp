// Service control over a service of the test's own (a shell script that keeps a process
// running and writes its pid file), the access-list tool on a real directory read back with
// getfacl, and what may be published.

#include "AccessList.h"
#include "Process.h"
#include "Publishing.h"
#include "Services.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

class ServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_dir.Path() / "registry");
        setenv("DORVALE_REGISTRY", (m_dir.Path() / "registry").c_str(), 1);
    }
    void TearDown() override {
        std::string ignored;
        if (services::IsServiceRunning("TESTSVC")) {
            services::StopService("TESTSVC", ignored);
        }
        unsetenv("DORVALE_REGISTRY");
    }
    testsupport::CTempDir m_dir;
};

TEST_F(ServicesTest, StartStopReloadAndRestartThroughTheServiceKey) {
    bool known = true;
    EXPECT_FALSE(services::IsServiceRunning("TESTSVC", &known));
    EXPECT_FALSE(known);
    std::string error;
    EXPECT_FALSE(services::StartService("TESTSVC", error));
    EXPECT_THAT(error, HasSubstr("not configured"));

    const std::string pidFile = m_dir / "svc.pid";
    const std::string script = m_dir / "ctl.sh";
    // start: a sleeping process of its own; reload: refused, saying why.
    testsupport::WriteFile(script, "#!/bin/sh\ncase \"$1\" in\n"
                                   // The pid file names the process once it is sleep, as a
                                   // server writes its own pid file.
                                   "start) sleep 60 </dev/null >/dev/null 2>&1 & pid=$!\n"
                                   "  while [ \"$(cat /proc/$pid/comm)\" != sleep ]; do :; done\n"
                                   "  echo $pid >\"$2\" ;;\n"
                                   "reload) echo \"configuration refused: $3\"; exit 1 ;;\n"
                                   "*) exit 2 ;;\nesac\n");
    services::CServiceConfig config;
    config.imagePath = "/bin/sh " + process::QuoteArgument(script) + " " +
                       process::QuoteArgument(pidFile) + " 'bad line'";
    config.pidFile = pidFile;
    config.processName = "sleep";
    ASSERT_TRUE(services::RegisterService("TESTSVC", config, error)) << error;
    // Registered but stopped.
    EXPECT_FALSE(services::IsServiceRunning("TESTSVC", &known));
    EXPECT_TRUE(known);
    EXPECT_FALSE(services::RestartService("TESTSVC", error))
        << "a stopped service is not restarted";

    // "<ImagePath> start" puts the control word after the program: sh ctl.sh start ... fails
    // here, since the script wants it first; the command line names the script as the program.
    config.imagePath = script + " " + process::QuoteArgument(pidFile) + " 'bad line'";
    fs::permissions(script, fs::perms::owner_all);
    ASSERT_TRUE(services::RegisterService("TESTSVC", config, error));
    ASSERT_TRUE(services::StartService("TESTSVC", error)) << error;
    EXPECT_TRUE(services::IsServiceRunning("TESTSVC"));
    const long first = services::ServicePid("TESTSVC");
    EXPECT_GT(first, 0);

    EXPECT_FALSE(services::ReloadService("TESTSVC", error));
    EXPECT_EQ(error, "configuration refused: bad line");
    EXPECT_TRUE(services::IsServiceRunning("TESTSVC")) << "a refused reload keeps it running";

    ASSERT_TRUE(services::RestartService("TESTSVC", error)) << error;
    const long second = services::ServicePid("TESTSVC");
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);

    // A pid file naming a process of another name does not count.
    testsupport::WriteFile(pidFile, std::to_string(getpid()) + "\n");
    EXPECT_FALSE(services::IsServiceRunning("TESTSVC"));
    testsupport::WriteFile(pidFile, std::to_string(second) + "\n");
    ASSERT_TRUE(services::StopService("TESTSVC", error)) << error;
    for (int i = 0; i < 100 && services::IsServiceRunning("TESTSVC"); ++i) {
        usleep(20 * 1000);
    }
    EXPECT_FALSE(services::IsServiceRunning("TESTSVC"));
    EXPECT_FALSE(services::StopService("TESTSVC", error));
    EXPECT_THAT(error, HasSubstr("does not run"));
}

TEST_F(ServicesTest, AccessListSetOnTheDirectoryAndAsItsDefault) {
    const fs::path area = m_dir.Path() / "area one";
    fs::create_directories(area);
    const auto acl = [&] {
        return testsupport::RunProgram({"/usr/bin/getfacl", "-p", "--omit-header", area.string()})
            .out;
    };
    std::string error;
    ASSERT_TRUE(
        services::SetDirectoryAccess(area, "nobody", services::EDirectoryAccess::Change, error))
        << error;
    EXPECT_THAT(acl(), HasSubstr("user:nobody:rwx\n"));
    EXPECT_THAT(acl(), HasSubstr("default:user:nobody:rwx\n"));
    ASSERT_TRUE(
        services::SetDirectoryAccess(area, "nobody", services::EDirectoryAccess::Read, error));
    EXPECT_THAT(acl(), HasSubstr("user:nobody:r-x\n"));
    ASSERT_TRUE(
        services::SetDirectoryAccess(area, "nobody", services::EDirectoryAccess::None, error));
    EXPECT_THAT(acl(), HasSubstr("user:nobody:---\n"));
    EXPECT_THAT(acl(), HasSubstr("default:user:nobody:---\n"));

    EXPECT_FALSE(services::SetDirectoryAccess(area, "no-such-account-here",
                                              services::EDirectoryAccess::Read, error));
    EXPECT_FALSE(
        services::SetDirectoryAccess(area, "a:rwx,u:b", services::EDirectoryAccess::Read, error));
    EXPECT_THAT(error, HasSubstr("not an account name"));
    EXPECT_FALSE(services::SetDirectoryAccess(m_dir / "missing", "nobody",
                                              services::EDirectoryAccess::Read, error));
}

TEST_F(ServicesTest, WhatMayBePublished) {
    const fs::path base = m_dir.Path();
    const fs::path database = base / "db";
    const fs::path files = base / "srv" / "files";
    fs::create_directories(database);
    fs::create_directories(files);
    fs::create_symlink("/etc", base / "etc-link");
    const std::vector<std::string> kept = {(base / "registry").string(), database.string()};
    std::string resolved;
    std::string why;
    EXPECT_TRUE(services::CheckPublishable(files.string() + "/", resolved, why, kept)) << why;
    EXPECT_EQ(resolved, files.string());
    for (const std::string& refused :
         {std::string("/"), files.string() + "/../../../../../../..", std::string("/etc"),
          std::string("/etc/ssl"), std::string("/proc/self"), std::string("/var/lib/dorvale"),
          database.string(), base.string(), (base / "etc-link").string(),
          (base / "registry/..").string(), std::string("relative/dir")}) {
        EXPECT_FALSE(services::CheckPublishable(refused, resolved, why, kept)) << refused;
        EXPECT_FALSE(why.empty());
    }
    EXPECT_TRUE(services::CheckPublishable((database / "inside").string(), resolved, why, kept));

    std::string user;
    std::string group;
    ASSERT_TRUE(
        services::ChooseWorkerAccount({"no-such-account-here", "nobody"}, user, group, why));
    if (geteuid() == 0) {
        EXPECT_EQ(user, "nobody");
        EXPECT_FALSE(
            services::ChooseWorkerAccount({"root", "no-such-account-here"}, user, group, why));
        EXPECT_THAT(why, HasSubstr("refusing to run it as root"));
    } else {
        EXPECT_NE(user, "root");
    }
}

} // namespace
