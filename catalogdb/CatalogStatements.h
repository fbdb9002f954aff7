#pragma once
// The catalogue's statements: table definitions per product, and values written into
// statement text.

#include "DatabaseManager.h"

#include <cstdint>
#include <string>

enum class ECatalogTable { Files, Download, Areafile };

// The CREATE TABLE statement of `table` for `type`; empty for DBTYPE_NONE.
const char* GetCreateTableStatement(CDatabaseType type, ECatalogTable table);

// A number written without decimals ("%.0f"), whatever the locale.
std::string FormatWhole(double value);
// A number in its shortest exact form ("%g" for values below one million), whatever the
// locale; large identifiers are written in full instead of being rounded to six digits.
std::string FormatShortest(double value);
// A text between single quotes, each quote in it doubled.
std::string QuoteText(const std::string& text);
