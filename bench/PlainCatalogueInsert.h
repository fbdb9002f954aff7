#pragma once
// The peer of the catalogue writes: rows added with three prepared INSERTs (files, areafile,
// download) through plain ODBC, the ids given by the program.

#include "Database.h"

#include <functional>
#include <string>

// Columns that are the same in every row.
struct CPlainColumns {
    std::string shortDesc;
    std::string longDesc;
    std::string name;
    std::string email;
    std::string home;
    std::string version;
};

// The values of row i.
struct CPlainRow {
    std::string title;
    std::string url;
    double size = 0;
    double area = 0;
};

// Exits the program with the driver's message when `rc` is a failure.
void CheckOdbc(SQLRETURN rc, SQLHANDLE statement, const char* what);

// Adds `files` rows (ids 1 .. files), each statement executed on its own (automatic commit), or
// all in one transaction. Exits the program on a database error. Returns the seconds taken.
double AddThroughPlainOdbc(CDatabase& db, int files, const CPlainColumns& columns,
                           const std::function<void(int, CPlainRow&)>& fill, bool inOneTransaction);
