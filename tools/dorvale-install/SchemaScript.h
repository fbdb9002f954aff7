#pragma once
// The catalogue's schema as a script of batches, from the catalogue library's own table
// definitions; apart from the registry's code, whose Windows types clash with ODBC's.

#include <string>

// "CREATE TABLE ..." of files, download and areafile, each ended by a "GO" line.
std::string SchemaScript(bool sqlite);
