#include "PlainCatalogueInsert.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void CheckOdbc(SQLRETURN rc, SQLHANDLE statement, const char* what) {
    if (!SQL_SUCCEEDED(rc)) {
        CDBException error = CDBException::FromHandle(SQL_HANDLE_STMT, statement, rc, what);
        std::fprintf(stderr, "bench: %s: %s\n", what, error.m_strError.c_str());
        std::exit(1);
    }
}

double AddThroughPlainOdbc(CDatabase& db, int files, const CPlainColumns& columns,
                           const std::function<void(int, CPlainRow&)>& fill,
                           bool inOneTransaction) {
    CSqlHandle fileInsert = db.AllocStatement();
    CSqlHandle linkInsert = db.AllocStatement();
    CSqlHandle locationInsert = db.AllocStatement();
    auto prepare = [](CSqlHandle& statement, const char* sql) {
        CheckOdbc(SQLPrepare(statement.Get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)),
                             SQL_NTS),
                  statement.Get(), "SQLPrepare");
    };
    prepare(fileInsert,
            "INSERT INTO files (FILE_ID,TITLE,SIZE,SHORT_DESC,LONG_DESC,UPLD_NAME,UPLD_EMAIL,"
            "UPLD_HOME,TYPE_ID,RATING,DOWNLOADS,LAST_DWNLD,FILE_DATE,PRICE,VERSION,REQ_FORM) "
            "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    prepare(linkInsert, "INSERT INTO areafile (AREA_ID,FILE_ID) VALUES (?,?)");
    prepare(locationInsert, "INSERT INTO download (FILE_ID,URL) VALUES (?,?)");

    double id = 0, size = 0, zero = 0, area = 0;
    unsigned char no = 0;
    char title[256], url[256];
    SQL_TIMESTAMP_STRUCT now{2024, 1, 2, 3, 4, 5, 0};
    SQLLEN titleLength = 0, urlLength = 0, nts = SQL_NTS, fixed = 0,
           longLength = static_cast<SQLLEN>(columns.longDesc.size());
    auto bindText = [&](SQLHANDLE statement, SQLUSMALLINT n, const char* text, SQLLEN* length) {
        CheckOdbc(SQLBindParameter(statement, n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 255, 0,
                                   const_cast<char*>(text), 0, length),
                  statement, "SQLBindParameter");
    };
    auto bindNumber = [&](SQLHANDLE statement, SQLUSMALLINT n, double* value) {
        CheckOdbc(SQLBindParameter(statement, n, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                                   value, 0, &fixed),
                  statement, "SQLBindParameter");
    };
    SQLHANDLE f = fileInsert.Get();
    bindNumber(f, 1, &id);
    bindText(f, 2, title, &titleLength);
    bindNumber(f, 3, &size);
    bindText(f, 4, columns.shortDesc.c_str(), &nts);
    CheckOdbc(SQLBindParameter(f, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR,
                               columns.longDesc.size() + 1, 0,
                               const_cast<char*>(columns.longDesc.c_str()), 0, &longLength),
              f, "SQLBindParameter");
    bindText(f, 6, columns.name.c_str(), &nts);
    bindText(f, 7, columns.email.c_str(), &nts);
    bindText(f, 8, columns.home.c_str(), &nts);
    bindNumber(f, 9, &zero);
    bindNumber(f, 10, &zero);
    bindNumber(f, 11, &zero);
    for (SQLUSMALLINT n : {12, 13}) {
        CheckOdbc(SQLBindParameter(f, n, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP,
                                   19, 0, &now, 0, &fixed),
                  f, "SQLBindParameter");
    }
    bindNumber(f, 14, &zero);
    bindText(f, 15, columns.version.c_str(), &nts);
    CheckOdbc(SQLBindParameter(f, 16, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 0, 0, &no, 0, &fixed), f,
              "SQLBindParameter");
    bindNumber(linkInsert.Get(), 1, &area);
    bindNumber(linkInsert.Get(), 2, &id);
    bindNumber(locationInsert.Get(), 1, &id);
    bindText(locationInsert.Get(), 2, url, &urlLength);

    if (inOneTransaction) {
        db.BeginTrans();
    }
    const auto start = std::chrono::steady_clock::now();
    CPlainRow row;
    for (int i = 0; i < files; ++i) {
        fill(i, row);
        id = i + 1;
        size = row.size;
        area = row.area;
        titleLength = static_cast<SQLLEN>(row.title.copy(title, sizeof title - 1));
        urlLength = static_cast<SQLLEN>(row.url.copy(url, sizeof url - 1));
        CheckOdbc(SQLExecute(f), f, "SQLExecute");
        CheckOdbc(SQLExecute(linkInsert.Get()), linkInsert.Get(), "SQLExecute");
        CheckOdbc(SQLExecute(locationInsert.Get()), locationInsert.Get(), "SQLExecute");
    }
    if (inOneTransaction) {
        db.CommitTrans();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
