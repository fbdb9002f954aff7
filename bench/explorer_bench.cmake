# Opening a large area in the desktop program's main window against the plain ODBC query of
# the same first rows, with the heap at two area sizes.
if(TARGET dorvale_explorer_app AND TARGET dorvale_explorer_core_testsupport)
    add_executable(explorer_bench ${CMAKE_CURRENT_LIST_DIR}/ExplorerBench.cpp)
    target_link_libraries(explorer_bench PRIVATE dorvale_explorer_app
                                                 dorvale_explorer_core_testsupport)
endif()
