# dorvale add-files of a whole directory against the plain prepared INSERTs of the same rows,
# with the command's peak memory at two directory sizes.
add_executable(add_files_bench ${CMAKE_CURRENT_LIST_DIR}/AddFilesBench.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/AddFilesBenchSettings.cpp)
target_link_libraries(add_files_bench PRIVATE dorvale_plain_insert dorvale_odbc_testsupport
                                              dorvale_common dorvale_process DorvaleDb)
add_dependencies(add_files_bench dorvale)
target_compile_definitions(add_files_bench PRIVATE DORVALE_BINARY_DIR="${CMAKE_BINARY_DIR}")
