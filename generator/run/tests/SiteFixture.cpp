#include "SiteFixture.h"

#include "ComTestSupport.h"
#include "FileAreaStore.h"
#include "GroupFiles.h"
#include "RunTestSupport.h"
#include "Settings.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace runtest {

CSite::CSite(testsupport::EEngine engine) {
    if (const char* previous = std::getenv("DORVALE_REGISTRY")) {
        m_hadRegistry = true;
        m_previousRegistry = previous;
    }
    std::filesystem::create_directories(Dir() / "registry");
    std::filesystem::create_directories(Dir() / "db");
    std::filesystem::create_directories(SitePath());
    setenv("DORVALE_REGISTRY", (Dir() / "registry").c_str(), 1);
    WriteTemplates(InstallPath());

    const char* key = settings::SettingsKey;
    WriteRegistryText(HKEY_LOCAL_MACHINE, key, settings::DatabasePath, (Dir() / "db").c_str());
    WriteRegistryText(HKEY_LOCAL_MACHINE, key, settings::HttpServer, "http://www.example.com/");
    WriteRegistryText(HKEY_LOCAL_MACHINE, key, settings::FtpServer, "ftp://ftp.example.com");
    WriteRegistryText(HKEY_LOCAL_MACHINE, key, settings::HttpPath,
                      (SitePath().string() + "/").c_str());
    WriteRegistryText(HKEY_LOCAL_MACHINE, key, settings::InstallDir, InstallPath().c_str());
    if (comtest::CallRegistrationEntry(CATALINK_LIBRARY) != S_OK) {
        why = "Catalink could not be registered";
        return;
    }

    m_source = std::make_unique<testsupport::CTestDataSource>(engine, Dir());
    if (!m_source->IsAvailable()) {
        why = testsupport::NO_POSTGRES;
        return;
    }
    // The program always opens "Dorvale"; this process uses a name of its own, since the
    // driver manager keeps what it once read about a name.
    if (engine == testsupport::EEngine::SQLite) {
        testsupport::WriteSqliteDataSource("Dorvale", m_source->DatabaseFile());
    } else {
        testsupport::WriteDataSource("Dorvale", m_source->Schema()->Attributes());
    }
    if (!CreateCatalogueTables(m_source->Name())) {
        why = "the catalogue tables could not be created";
        return;
    }
    m_available = true;
}

CSite::~CSite() {
    if (m_hadRegistry) {
        setenv("DORVALE_REGISTRY", m_previousRegistry.c_str(), 1);
    } else {
        unsetenv("DORVALE_REGISTRY");
    }
}

void CSite::WriteAreas(
    const std::vector<CSiteArea>& areas,
    const std::vector<std::pair<std::string, std::vector<std::uint32_t>>>& groups) {
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForWriting((Dir() / "db").string()));
    std::uint32_t next = 1;
    for (const CSiteArea& area : areas) {
        // Ids are given in order; areas skipped by the test are added and deleted again.
        while (next <= area.id) {
            AreaRecord record;
            record.Name = next == area.id ? area.name : "deleted";
            record.Path = (Dir() / "files").string();
            record.HttpAlias = area.httpAlias;
            record.FtpAlias = area.ftpAlias;
            record.Flags = next == area.id ? area.flags : 0;
            ASSERT_TRUE(store.AddArea(record));
            if (next != area.id) {
                ASSERT_TRUE(store.DeleteArea(record.Id));
            }
            ++next;
        }
    }
    store.Close();
    for (const auto& [name, ids] : groups) {
        ASSERT_TRUE(WriteGroup((Dir() / "db").string(), name, ids));
    }
}

std::vector<long long> CSite::AddFiles(const std::vector<CSiteFile>& files) {
    return AddCatalogueFiles(m_source->Name(), files);
}

CGenerationSettings CSite::Settings() const {
    CGenerationSettings settings;
    settings.httpServer = "http://www.example.com";
    settings.ftpServer = "ftp://ftp.example.com";
    settings.httpPath = SitePath().string();
    settings.installDir = InstallPath().string();
    settings.dataSource = m_source ? m_source->Name() : "Dorvale";
    return settings;
}

std::vector<std::string> CSite::ChildEnvironment() const {
    std::vector<std::string> env = {"DORVALE_REGISTRY=" + (Dir() / "registry").string(),
                                    "LC_ALL=C"};
    if (m_source) {
        for (const auto& [name, value] : m_source->Environment()) {
            env.push_back(name + "=" + value);
        }
    }
    return env;
}

std::string CSite::Log() const {
    const auto path = InstallPath() / "Sheetforge.log";
    return std::filesystem::exists(path) ? testsupport::ReadFile(path) : std::string();
}

} // namespace runtest
