#include "OdbcCatalogue.h"

#include "Formatting.h"
#include "Recordset.h"
#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

constexpr const char* SORT_SUFFIXES[SORT_COUNT] = {"title", "downloads desc", "file_date desc"};

// The lists are read row by row, so a result never needs to be held whole: the SQLite driver
// steps through it (StepAPI) and the PostgreSQL driver reads it through a cursor
// (UseDeclareFetch), 1000 rows a round trip (Fetch) rather than its usual 100: a run reads
// every row of the catalogue several times, and a row takes a few hundred bytes. A driver
// ignores the other's attributes.
constexpr const char* STREAMING_OPTIONS = ";StepAPI=1;UseDeclareFetch=1;Fetch=1000;";

// PostgreSQL's usual costs take a row found through an index to cost four pages read in
// order, so it plans an area's list as a hash join over the whole files table: a run then
// reads every file once for each area and sort, and the time grows with areas times files.
// A run reads the same few tables over and over, so they lie in the server's cache, where a
// row found by its key costs about what a row read in order does; the session says so (a
// lower value the administrator chose stays), and the lists are read through the keys.
constexpr const char* POSTGRESQL_LIST_COSTS =
    "SELECT set_config('random_page_cost', "
    "LEAST(current_setting('random_page_cost')::float8, 1.1)::text, false)";

CDate ToDate(const CDateTime& value) {
    if (value.IsNull()) {
        return {};
    }
    return CDate{value.GetYear(), value.GetMonth(), value.GetDay()};
}

// A database error's text, or a plain one for anything else a driver may throw.
std::string ErrorText(const std::exception& exception) {
    std::string text = exception.what();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

class CCountRecordset : public CRecordset {
public:
    explicit CCountRecordset(CDatabase* database) : CRecordset(database) { m_nFields = 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Long(pFX, "count(file_id)", count); }
    long count = 0;
};

class CListRecordset : public CRecordset {
public:
    explicit CListRecordset(CDatabase* database) : CRecordset(database) { m_nFields = 5; }
    void DoFieldExchange(CFieldExchange* pFX) override {
        RFX_Long(pFX, "FILE_ID", fileId);
        RFX_Text(pFX, "TITLE", title, 255);
        RFX_Text(pFX, "SHORT_DESC", shortDesc, 255);
        RFX_Long(pFX, "DOWNLOADS", downloads);
        RFX_Date(pFX, "FILE_DATE", fileDate);
    }
    long fileId = 0;
    std::string title;
    std::string shortDesc;
    long downloads = 0;
    CDateTime fileDate;
};

class CDetailRecordset : public CRecordset {
public:
    explicit CDetailRecordset(CDatabase* database) : CRecordset(database) { m_nFields = 11; }
    void DoFieldExchange(CFieldExchange* pFX) override {
        RFX_Long(pFX, "FILE_ID", fileId);
        RFX_Text(pFX, "TITLE", title, 255);
        RFX_Long(pFX, "SIZE", size);
        RFX_Text(pFX, "SHORT_DESC", shortDesc, 255);
        RFX_Text(pFX, "LONG_DESC", longDesc, 65535, SQL_LONGVARCHAR);
        RFX_Text(pFX, "UPLD_NAME", upldName, 255);
        RFX_Text(pFX, "UPLD_EMAIL", upldEmail, 255);
        RFX_Long(pFX, "DOWNLOADS", downloads);
        RFX_Date(pFX, "FILE_DATE", fileDate);
        RFX_Text(pFX, "VERSION", version, 255);
        RFX_Bool(pFX, "REQ_FORM", reqForm);
    }
    long fileId = 0;
    std::string title;
    long size = 0;
    std::string shortDesc;
    std::string longDesc;
    std::string upldName;
    std::string upldEmail;
    long downloads = 0;
    CDateTime fileDate;
    std::string version;
    bool reqForm = false;
};

class CLocationRecordset : public CRecordset {
public:
    explicit CLocationRecordset(CDatabase* database) : CRecordset(database) { m_nFields = 2; }
    void DoFieldExchange(CFieldExchange* pFX) override {
        RFX_Long(pFX, "file_id", fileId);
        RFX_Text(pFX, "url", url, 255);
    }
    long fileId = 0;
    std::string url;
};

// Walks an open recordset whose first row is current: the first Fetch takes that row, each
// later one moves on first.
template <class TRecordset> class CCursor {
public:
    CCursor(std::unique_ptr<TRecordset> recordset, std::string& lastError)
        : m_recordset(std::move(recordset)), m_lastError(lastError) {}

    template <class TCopy> EFetchResult Fetch(TCopy copy) {
        if (m_done) {
            return m_failed ? EFetchResult::Error : EFetchResult::End;
        }
        try {
            if (m_started) {
                m_recordset->MoveNext();
            }
            m_started = true;
            if (m_recordset->IsEOF()) {
                m_done = true;
                return EFetchResult::End;
            }
            copy(*m_recordset);
            return EFetchResult::Row;
        } catch (const std::exception& exception) {
            m_lastError = ErrorText(exception);
            m_done = m_failed = true;
            return EFetchResult::Error;
        }
    }

private:
    std::unique_ptr<TRecordset> m_recordset;
    std::string& m_lastError;
    bool m_started = false;
    bool m_done = false;
    bool m_failed = false;
};

class CFileList : public IFileListSource {
public:
    CFileList(std::unique_ptr<CListRecordset> recordset, std::string& lastError)
        : m_cursor(std::move(recordset), lastError) {}
    EFetchResult Fetch(CFileListRow& row) override {
        return m_cursor.Fetch([&row](CListRecordset& rs) {
            row.fileId = rs.fileId;
            row.title = rs.title;
            row.shortDesc = rs.shortDesc;
            row.downloads = rs.downloads;
            row.fileDate = ToDate(rs.fileDate);
        });
    }

private:
    CCursor<CListRecordset> m_cursor;
};

class CFileDetails : public IFileDetailSource {
public:
    CFileDetails(std::unique_ptr<CDetailRecordset> recordset, std::string& lastError)
        : m_cursor(std::move(recordset), lastError) {}
    EFetchResult Fetch(CFileDetail& file) override {
        return m_cursor.Fetch([&file](CDetailRecordset& rs) {
            file.fileId = rs.fileId;
            file.title = rs.title;
            file.size = rs.size;
            file.shortDesc = rs.shortDesc;
            file.longDesc = rs.longDesc;
            file.upldName = rs.upldName;
            file.upldEmail = rs.upldEmail;
            file.downloads = rs.downloads;
            file.fileDate = ToDate(rs.fileDate);
            file.version = rs.version;
            file.reqForm = rs.reqForm;
        });
    }

private:
    CCursor<CDetailRecordset> m_cursor;
};

template <class TRecordset>
EOpenResult OpenRecordset(CDatabase* database, const std::string& sql, unsigned type,
                          std::unique_ptr<TRecordset>& recordset, std::string& lastError) {
    recordset = std::make_unique<TRecordset>(database);
    try {
        if (!recordset->Open(type, sql.c_str(), CRecordset::readOnly)) {
            recordset.reset();
            return EOpenResult::NotOpened;
        }
        return EOpenResult::Opened;
    } catch (const std::exception& exception) {
        lastError = ErrorText(exception);
        recordset.reset();
        return EOpenResult::Error;
    }
}

} // namespace

void TuneSessionForLists(CDatabase& database, const std::string& dbmsName) {
    if (!base::StartsWithNoCase(dbmsName, "postgresql")) {
        return;
    }
    try {
        database.ExecuteSQL(POSTGRESQL_LIST_COSTS);
    } catch (const std::exception&) {
        // The lists come out the same, only slower.
    }
}

EQueryForm QueryFormForProduct(const std::string& dbmsName) {
    if (base::StartsWithNoCase(dbmsName, "sqlite") ||
        base::StartsWithNoCase(dbmsName, "postgresql")) {
        return EQueryForm::Limit;
    }
    return EQueryForm::Top;
}

std::string BuildFileListQuery(EQueryForm form, long long areaKey, int sort) {
    const char* suffix = SORT_SUFFIXES[sort >= 0 && sort < SORT_COUNT ? sort : SORT_TITLE];
    if (areaKey == AREA_KEY_NEWEST || areaKey == AREA_KEY_POPULAR) {
        const char* order = areaKey == AREA_KEY_NEWEST ? "FILE_DATE" : "DOWNLOADS";
        std::string sql = "SELECT FILE_ID, TITLE, SHORT_DESC, DOWNLOADS, FILE_DATE FROM FILES "
                          "WHERE FILE_ID IN (SELECT ";
        sql += form == EQueryForm::Top ? "TOP 10 FILE_ID FROM FILES ORDER BY "
                                       : "FILE_ID FROM FILES ORDER BY ";
        sql += order;
        sql += form == EQueryForm::Top ? " DESC) order by " : " DESC LIMIT 10) order by ";
        sql += suffix;
        return sql;
    }
    char sql[512];
    std::snprintf(sql, sizeof sql,
                  "select files.file_id, title, short_desc, downloads, file_date from files, "
                  "areafile where files.file_id = areafile.file_id and areafile.area_id = %d "
                  "order by %s",
                  static_cast<int>(areaKey), suffix);
    return sql;
}

// The download locations of one file at a time, read from one stream of every location in
// file order: the files are asked for in the same order (the detail query's), so each file's
// locations are the next rows, and a run makes one query for all of them instead of one per
// file (which bounded a run on a server by its round trips). A file asked for out of order,
// or after a failure, starts the stream again.
class COdbcCatalogue::CDownloads : public IDownloadSource {
public:
    CDownloads(CDatabase* database, std::string& lastError)
        : m_database(database), m_lastError(lastError) {}

    bool Open(long long fileId) override {
        if (!m_stream || m_failed || fileId < m_fileId) {
            if (!Restart()) {
                return false;
            }
        }
        m_fileId = fileId;
        // Locations of files that have no detail row are passed over.
        while (m_state == EFetchResult::Row && m_row.fileId < fileId) {
            Advance();
        }
        return m_state != EFetchResult::Error;
    }
    EFetchResult Fetch(std::string& url) override {
        if (m_state == EFetchResult::Row && m_row.fileId == m_fileId) {
            url = m_row.url;
            Advance();
            return EFetchResult::Row;
        }
        return m_state == EFetchResult::Error ? EFetchResult::Error : EFetchResult::End;
    }
    void Close() override {}

private:
    struct CRow {
        long long fileId = 0;
        std::string url;
    };

    bool Restart() {
        m_stream.reset();
        m_failed = false;
        std::unique_ptr<CLocationRecordset> recordset;
        if (OpenRecordset(m_database, "select file_id, url from download order by file_id, url",
                          CRecordset::forwardOnly, recordset, m_lastError) != EOpenResult::Opened) {
            m_failed = true;
            return false;
        }
        m_stream = std::make_unique<CCursor<CLocationRecordset>>(std::move(recordset), m_lastError);
        Advance();
        return m_state != EFetchResult::Error;
    }
    void Advance() {
        m_state = m_stream->Fetch([this](CLocationRecordset& rs) {
            m_row.fileId = rs.fileId;
            m_row.url = rs.url;
        });
        m_failed = m_state == EFetchResult::Error;
    }

    CDatabase* m_database;
    std::string& m_lastError;
    std::unique_ptr<CCursor<CLocationRecordset>> m_stream;
    EFetchResult m_state = EFetchResult::End;
    CRow m_row;
    long long m_fileId = 0;
    bool m_failed = false;
};

COdbcCatalogue::COdbcCatalogue()
    : m_database(std::make_unique<CDatabase>()), m_locationDatabase(std::make_unique<CDatabase>()) {
}

COdbcCatalogue::~COdbcCatalogue() {
    m_downloads.reset();
    m_locationDatabase->Close();
    m_database->Close();
}

std::unique_ptr<COdbcCatalogue> COdbcCatalogue::Open(const std::string& dataSource,
                                                     std::string& error) {
    std::unique_ptr<COdbcCatalogue> catalogue(new COdbcCatalogue());
    try {
        if (!catalogue->m_database->OpenEx("DSN=" + dataSource + STREAMING_OPTIONS,
                                           CDatabase::openReadOnly | CDatabase::useCursorLib |
                                               CDatabase::noOdbcDialog)) {
            error = "The data source " + dataSource + " was not opened";
            return nullptr;
        }
        const std::string product = catalogue->m_database->GetInfoString(SQL_DBMS_NAME);
        catalogue->m_form = QueryFormForProduct(product);
        TuneSessionForLists(*catalogue->m_database, product);
        if (!catalogue->m_locationDatabase->OpenEx("DSN=" + dataSource + STREAMING_OPTIONS,
                                                   CDatabase::openReadOnly |
                                                       CDatabase::noOdbcDialog)) {
            error = "The data source " + dataSource + " was not opened";
            return nullptr;
        }
    } catch (const std::exception& exception) {
        error = ErrorText(exception);
        return nullptr;
    }
    catalogue->m_downloads =
        std::make_unique<CDownloads>(catalogue->m_locationDatabase.get(), catalogue->m_lastError);
    return catalogue;
}

EOpenResult COdbcCatalogue::CountFiles(long long& count) {
    std::unique_ptr<CCountRecordset> recordset;
    const EOpenResult opened = OpenRecordset(m_database.get(), "select count(file_id) from files",
                                             CRecordset::forwardOnly, recordset, m_lastError);
    if (opened != EOpenResult::Opened) {
        return opened;
    }
    try {
        count = recordset->IsEOF() ? 0 : recordset->count;
        recordset->Close();
    } catch (const std::exception& exception) {
        m_lastError = ErrorText(exception);
        return EOpenResult::Error;
    }
    return EOpenResult::Opened;
}

EOpenResult COdbcCatalogue::OpenFileList(long long areaKey, int sort,
                                         std::unique_ptr<IFileListSource>& list) {
    // The lists are only ever read forward, so no list needs a scrollable cursor (which some
    // drivers build by reading every row into memory first).
    std::unique_ptr<CListRecordset> recordset;
    const EOpenResult opened =
        OpenRecordset(m_database.get(), BuildFileListQuery(m_form, areaKey, sort),
                      CRecordset::forwardOnly, recordset, m_lastError);
    if (opened == EOpenResult::Opened) {
        list = std::make_unique<CFileList>(std::move(recordset), m_lastError);
    }
    return opened;
}

EOpenResult COdbcCatalogue::OpenDetails(std::unique_ptr<IFileDetailSource>& details) {
    std::unique_ptr<CDetailRecordset> recordset;
    const EOpenResult opened =
        OpenRecordset(m_database.get(),
                      "SELECT FILE_ID, TITLE, SIZE, SHORT_DESC, LONG_DESC, UPLD_NAME, UPLD_EMAIL, "
                      "DOWNLOADS, FILE_DATE, VERSION, REQ_FORM FROM FILES ORDER BY FILE_ID",
                      CRecordset::forwardOnly, recordset, m_lastError);
    if (opened == EOpenResult::Opened) {
        details = std::make_unique<CFileDetails>(std::move(recordset), m_lastError);
    }
    return opened;
}

IDownloadSource& COdbcCatalogue::GetDownloads() {
    return *m_downloads;
}
