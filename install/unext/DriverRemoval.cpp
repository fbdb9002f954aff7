#include "DriverRemoval.h"

#include <odbcinst.h>

bool ConfigRemoveDataSource(bool system, const std::string& driver, const std::string& name) {
    // Every "|" of "DSN=%s|Driver=%s||" a terminator.
    const std::string list = "DSN=" + name + '\0' + "Driver=" + driver + '\0' + '\0';
    if (SQLConfigDataSource(nullptr, system ? ODBC_REMOVE_SYS_DSN : ODBC_REMOVE_DSN, driver.c_str(),
                            list.c_str())) {
        return true;
    }
    // The installer's error is read, so the next call does not meet it, and dropped.
    DWORD code = 0;
    char message[512];
    WORD length = 0;
    while (SQLInstallerError(1, &code, message, sizeof message, &length) == SQL_SUCCESS) {
        break;
    }
    return false;
}
