# Catalogue writes and reads through libDorvaleDb against plain prepared ODBC statements.
add_executable(catalog_bench ${CMAKE_CURRENT_LIST_DIR}/CatalogBench.cpp)
target_link_libraries(catalog_bench PRIVATE DorvaleDb dorvale_odbc_testsupport)
