#pragma once
// The settings the administration core reads from the registry, kept apart from the catalogue's
// headers (the registry's and ODBC's Windows type names do not meet in one source).

#include <string>

// DatabasePath and HttpPath, each ending in '/' unless empty.
void ReadAdminDirectories(std::string& databasePath, std::string& httpPath);

// HttpServer with one trailing "/" removed; empty when it is not set.
std::string ReadHttpServerBase();
// The address of a file's detail page on the site: "%s/dorvale/details/%d.asp" with the server
// and the file's id; empty without a server.
std::string FileDetailsAddress(const std::string& serverBase, double fileId);
