#include "SchemaScript.h"

#include "CatalogStatements.h"

std::string SchemaScript(bool sqlite) {
    std::string text;
    for (ECatalogTable table :
         {ECatalogTable::Files, ECatalogTable::Download, ECatalogTable::Areafile}) {
        text += std::string(
                    GetCreateTableStatement(sqlite ? DBTYPE_SQLITE : DBTYPE_POSTGRESQL, table)) +
                "\nGO\n";
    }
    return text;
}
