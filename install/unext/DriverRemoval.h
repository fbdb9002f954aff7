#pragma once
// The ODBC installer's removal of a data source through its driver's setup, apart from the
// registry's code, whose Windows types clash with the ODBC headers' own.

#include <string>

// Asks the installer to remove the system (or user) data source `name` of `driver`, the
// attribute list "DSN=name|Driver=driver||". False when it refused.
bool ConfigRemoveDataSource(bool system, const std::string& driver, const std::string& name);
