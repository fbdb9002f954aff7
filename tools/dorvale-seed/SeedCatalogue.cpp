#include "DorvaleDatabaseManager.h"
#include "FileRecord.h"
#include "SeedWriters.h"

namespace {

// One number out of a query.
class CCountRecord : public CPartialDatabaseRecord {
public:
    using CPartialDatabaseRecord::CPartialDatabaseRecord;
    std::string GetDefaultSQL() override { return "files"; }
    int GetFields() override { return 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Double(pFX, "N", m_value); }
    double m_value = 0;
};

CDateTime ToDateTime(const CSampleDate& date) {
    return CDateTime(date.year, date.month, date.day, date.hour, date.minute, date.second);
}

} // namespace

struct CSeedCatalogue::CImpl {
    CDorvaleDatabaseManager manager;
    std::string logFile;
};

CSeedCatalogue::CSeedCatalogue() : m_impl(std::make_unique<CImpl>()) {}

CSeedCatalogue::~CSeedCatalogue() {
    Rollback();
}

bool CSeedCatalogue::Open(const std::string& dataSource, const std::string& logFile,
                          std::string& error) {
    m_impl->logFile = logFile;
    m_impl->manager.SetLogFilename(logFile);
    m_impl->manager.SetDataSourceName(dataSource);
    if (!m_impl->manager.Open(nullptr, nullptr)) {
        error = "cannot connect to the data source " + dataSource + " (dorvale-dsn check --name " +
                dataSource + " tells why; details in " + logFile + ")";
        return false;
    }
    return true;
}

bool CSeedCatalogue::CountFiles(long long& count, std::string& error) {
    CCountRecord record(&m_impl->manager);
    if (!record.Open("select count(file_id) from files", false, true)) {
        error = "the data source " + m_impl->manager.GetDataSourceName() +
                " has no catalogue tables (dorvale-dsn create ... --tables makes them)";
        return false;
    }
    count = static_cast<long long>(record.m_value);
    return true;
}

bool CSeedCatalogue::Begin(std::string& error) {
    try {
        if (m_impl->manager.BeginTrans()) {
            return true;
        }
    } catch (const CDBException& e) {
        m_impl->manager.LogError(e.m_strError);
    }
    error = "cannot start a transaction on the catalogue (details in " + m_impl->logFile + ")";
    return false;
}

bool CSeedCatalogue::Add(const CSampleFile& file, long long& fileId, std::string& error) {
    CFileRecord record(&m_impl->manager);
    record.m_TITLE = file.title;
    record.m_SIZE = static_cast<double>(file.size);
    record.m_SHORT_DESC = file.shortDesc;
    record.m_LONG_DESC = file.longDesc;
    record.m_UPLD_NAME = file.upldName;
    record.m_UPLD_EMAIL = file.upldEmail;
    record.m_UPLD_HOME = file.upldHome;
    record.m_RATING = file.rating;
    record.m_DOWNLOADS = static_cast<double>(file.downloads);
    record.m_LAST_DWNLD = ToDateTime(file.lastDownload);
    record.m_FILE_DATE = ToDateTime(file.fileDate);
    record.m_VERSION = file.version;
    record.m_REQ_FORM = file.reqForm;
    if (!record.Add()) {
        error = "cannot add the file \"" + file.title + "\" (details in " + m_impl->logFile + ")";
        return false;
    }
    for (std::uint32_t area : file.areas) {
        if (!record.AddToFileArea(area)) {
            error = "cannot link the file \"" + file.title + "\" to the area " +
                    std::to_string(area) + " (details in " + m_impl->logFile + ")";
            return false;
        }
    }
    for (const std::string& location : file.locations) {
        if (!record.AddDownloadURL(location)) {
            error = "cannot add the location " + location + " (details in " + m_impl->logFile + ")";
            return false;
        }
    }
    fileId = static_cast<long long>(record.m_FILE_ID);
    return true;
}

bool CSeedCatalogue::Commit(std::string& error) {
    try {
        if (m_impl->manager.CommitTrans()) {
            return true;
        }
    } catch (const CDBException& e) {
        m_impl->manager.LogError(e.m_strError);
    }
    error = "cannot commit the new files (details in " + m_impl->logFile + ")";
    return false;
}

void CSeedCatalogue::Rollback() {
    if (!m_impl->manager.IsInTransaction()) {
        return;
    }
    try {
        m_impl->manager.Rollback();
    } catch (const CDBException& e) {
        m_impl->manager.LogError(e.m_strError);
    }
}
