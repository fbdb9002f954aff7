#pragma once
// The catalogue side of the seed tests, kept apart from the registry side (the ODBC and
// registry headers each define the Windows integer types their own way).

#include <string>
#include <vector>

namespace seedtest {

struct CStoredFile {
    long long id = 0;
    std::string title, version, shortDesc, longDesc, upldName, upldEmail, upldHome;
    long long size = 0;
    long long downloads = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool reqForm = false;
    std::vector<long long> areas;
    std::vector<std::string> locations;
};

bool CreateTables(const std::string& dataSource);
// -1 when the files table cannot be read.
long long CountFiles(const std::string& dataSource);
// Every file in id order, with its areas and locations.
std::vector<CStoredFile> ReadFiles(const std::string& dataSource);

} // namespace seedtest
