#pragma once
// A library for the administration core: its own registry, a database directory with areas and
// groups, a web directory, a catalogue on SQLite or PostgreSQL, a scripted prompt and the
// started context.

#include "AdminContext.h"
#include "OdbcTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Area ids of the standard library: 1 "Games" (hosted, uploads), 2 "Tools" (hosted),
// 3 "Mirrors" (web only), 4 "Orphan" (in no group, hosted).
class CCoreTest : public ::testing::TestWithParam<testsupport::EEngine> {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the areas and groups (and the settings) before Start.
    void
    WriteLibrary(const std::vector<AreaRecord>& areas,
                 const std::vector<std::pair<std::string, std::vector<std::uint32_t>>>& groups);
    void WriteStandardLibrary();
    // Starts the context on the prompt; false when it refused to start.
    bool Start();

    std::filesystem::path AreaDir(std::uint32_t id) const;
    // The catalogue AddFile and Count work on: the started context's.
    virtual CDorvaleDatabaseManager& Catalogue() { return m_context->Catalogue(); }
    std::string Problems() const;
    // ClamAV as the virus checker, with a signature database of the test's own: files holding
    // `infected` are found (exit code 1). False, said on the output, without clamscan.
    [[nodiscard]] bool UseClamAv(const std::string& infected);
    double AddFile(const std::string& title, const std::vector<std::uint32_t>& areas,
                   const std::vector<std::string>& locations);
    long Count(const std::string& table, const std::string& where = {});

    testsupport::CTempDir m_dir;
    std::filesystem::path m_db;
    std::filesystem::path m_site;
    std::unique_ptr<testsupport::CTestDataSource> m_source;
    prompt::CScriptedPrompt m_prompt;
    std::unique_ptr<CAdminContext> m_context;
};

#define INSTANTIATE_FOR_ENGINES(Suite)                                                             \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Engines, Suite,                                                                            \
        ::testing::Values(testsupport::EEngine::SQLite, testsupport::EEngine::PostgreSQL),         \
        [](const auto& info) { return testsupport::EngineName(info.param); })
