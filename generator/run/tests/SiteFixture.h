#pragma once
// A whole installation for generation tests: its own registry with the settings and the
// registered Catalink library, a file-area store with group files, a catalogue on SQLite or
// PostgreSQL behind the data source "Dorvale", the templates and the output directory.

#include "GenerationRun.h"
#include "OdbcTestSupport.h"
#include "TestSupport.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace runtest {

struct CSiteArea {
    std::uint32_t id;
    std::string name;
    std::uint32_t flags;
    std::string httpAlias;
    std::string ftpAlias;
};

struct CSiteFile {
    std::string title;
    std::vector<std::uint32_t> areas;
    std::vector<std::string> locations;
    double size = 1000;
    double downloads = 0;
    int year = 2001, month = 1, day = 1;
    std::string shortDesc;
    std::string version;
    bool reqForm = false;
};

// Through DorvaleDb, on a data source of this process.
bool CreateCatalogueTables(const std::string& dataSource);
std::vector<long long> AddCatalogueFiles(const std::string& dataSource,
                                         const std::vector<CSiteFile>& files);

class CSite {
public:
    explicit CSite(testsupport::EEngine engine);
    ~CSite();

    // False (with the reason in `why`) when the engine is not reachable here.
    bool IsAvailable() const { return m_available; }
    std::string why;

    // Writes filearea.dat (areas in id order) and one group file per group.
    void WriteAreas(const std::vector<CSiteArea>& areas,
                    const std::vector<std::pair<std::string, std::vector<std::uint32_t>>>& groups);
    // Adds catalogue files; returns their ids in order.
    std::vector<long long> AddFiles(const std::vector<CSiteFile>& files);

    // The settings as the program reads them, with the data source of this process.
    CGenerationSettings Settings() const;
    // "NAME=VALUE" entries that give a child program this installation (its data source is
    // "Dorvale").
    std::vector<std::string> ChildEnvironment() const;

    const std::filesystem::path& Dir() const { return m_dir.Path(); }
    std::filesystem::path SitePath() const { return m_dir.Path() / "site"; }
    std::filesystem::path InstallPath() const { return m_dir.Path() / "install"; }
    std::string Log() const;

private:
    testsupport::CTempDir m_dir;
    std::unique_ptr<testsupport::CTestDataSource> m_source;
    bool m_available = false;
    std::string m_previousRegistry;
    bool m_hadRegistry = false;
};

} // namespace runtest
