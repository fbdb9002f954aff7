// dorvale-regsvr against the tests' own server library, in a private registry.

#include "ComPtr.h"
#include "ComTestSupport.h"
#include "Registry.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <climits>

using comtest::CComTestEnvironment;
using testsupport::BuiltProgram;
using testsupport::RunProgram;

namespace {

const std::string SERVER = COM_TEST_SERVER;

std::string Registered(const std::string& keyName) {
    CRegKey key;
    std::string value;
    if (key.Open(HKEY_CLASSES_ROOT, keyName.c_str(), KEY_READ) != ERROR_SUCCESS ||
        key.QueryStringValue(nullptr, value) != ERROR_SUCCESS) {
        return "<absent>";
    }
    return value;
}

} // namespace

TEST(Regsvr, RegistersByAbsolutePathSoClassesCanBeCreatedThenUnregisters) {
    CComTestEnvironment env;
    // A relative path names the library too; the registry records the absolute one.
    const std::filesystem::path server(SERVER);
    const std::filesystem::path relative =
        std::filesystem::relative(server, std::filesystem::current_path());
    auto result =
        RunProgram({BuiltProgram("dorvale-regsvr"), relative.string()}, {env.RegistryEnv()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "DllRegisterServer in " + relative.string() + " succeeded.\n");
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(SERVER.c_str(), resolved), nullptr);
    EXPECT_EQ(Registered("CLSID\\" + GuidToString(CLSID_ComTestCounter) + "\\InprocServer32"),
              resolved);

    CComPtr<ICounter> counter;
    ASSERT_EQ(counter.CoCreateInstance("ComTest.Counter"), S_OK);
    counter.Release();
    CoFreeUnusedLibraries();

    result = RunProgram({BuiltProgram("dorvale-regsvr"), "-u", "-s", SERVER}, {env.RegistryEnv()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(Registered("ComTest.Counter"), "<absent>");
    EXPECT_EQ(counter.CoCreateInstance("ComTest.Counter"), CO_E_CLASSSTRING);
}

TEST(Regsvr, ReportsLibrariesItCannotUseAndBadUsage) {
    CComTestEnvironment env;
    auto result = RunProgram({BuiltProgram("dorvale-regsvr"), (env.Dir() / "libNone.so").string()},
                             {env.RegistryEnv()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot find"), std::string::npos) << result.err;

    // A file that is no shared library.
    testsupport::WriteFile(env.Dir() / "libText.so", "not an ELF file\n");
    result = RunProgram({BuiltProgram("dorvale-regsvr"), (env.Dir() / "libText.so").string()},
                        {env.RegistryEnv()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot load"), std::string::npos) << result.err;

    // A shared library that is no server.
    result = RunProgram({BuiltProgram("dorvale-regsvr"), COM_RUNTIME_LIBRARY}, {env.RegistryEnv()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("does not export DllRegisterServer"), std::string::npos)
        << result.err;

    // A hive that cannot be written makes the registration fail, and says so.
    testsupport::WriteFile(env.Dir() / "registry" / "HKEY_CLASSES_ROOT.reg", "garbage\n");
    result = RunProgram({BuiltProgram("dorvale-regsvr"), SERVER}, {env.RegistryEnv()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("DllRegisterServer in " + SERVER + " failed: 0x80040201"),
              std::string::npos)
        << result.err;

    for (const auto& args :
         std::vector<std::vector<std::string>>{{}, {"-x", SERVER}, {SERVER, SERVER}, {"-u"}}) {
        std::vector<std::string> argv{BuiltProgram("dorvale-regsvr")};
        argv.insert(argv.end(), args.begin(), args.end());
        result = RunProgram(argv, {env.RegistryEnv()});
        EXPECT_EQ(result.exitCode, 2) << args.size();
        EXPECT_NE(result.err.find("usage: dorvale-regsvr"), std::string::npos);
    }
    result = RunProgram({BuiltProgram("dorvale-regsvr"), "--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("DllUnregisterServer"), std::string::npos);
}
