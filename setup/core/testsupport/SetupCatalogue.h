#pragma once
// The catalogue as the setup tests look at it, kept apart from the registry's headers.

#include <cstdint>
#include <string>
#include <vector>

// Creates the tables on the data source; false when it cannot be opened.
bool CreateCatalogue(const std::string& dataSource);
// Adds a file listed in one area with these locations; its id (0 on failure).
double AddCatalogueFile(const std::string& dataSource, const std::string& title,
                        std::uint32_t areaId, const std::vector<std::string>& locations);
long CountFilesInArea(const std::string& dataSource, std::uint32_t areaId);
std::vector<std::string> FileLocations(const std::string& dataSource, double fileId);
