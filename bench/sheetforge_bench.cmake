# A whole generation run on a seeded catalogue against a plain loop that writes the same
# files, with the generator's peak memory at two catalogue sizes.
if(TARGET sheetforge_site_testsupport)
    add_executable(sheetforge_bench ${CMAKE_CURRENT_LIST_DIR}/SheetforgeBench.cpp)
    target_link_libraries(sheetforge_bench PRIVATE sheetforge_site_testsupport)
    add_dependencies(sheetforge_bench sheetforge dorvale-seed)
endif()
