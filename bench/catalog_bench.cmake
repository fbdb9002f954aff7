# Catalogue writes and reads through libDorvaleDb against plain prepared ODBC statements.
add_library(dorvale_plain_insert STATIC ${CMAKE_CURRENT_LIST_DIR}/PlainCatalogueInsert.cpp)
target_include_directories(dorvale_plain_insert PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(dorvale_plain_insert PUBLIC dorvale_odbc)
add_executable(catalog_bench ${CMAKE_CURRENT_LIST_DIR}/CatalogBench.cpp)
target_link_libraries(catalog_bench PRIVATE DorvaleDb dorvale_odbc_testsupport dorvale_plain_insert)
