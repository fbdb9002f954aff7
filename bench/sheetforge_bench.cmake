# A whole generation run on a seeded catalogue against a plain loop that writes the same
# files, and hugo's build of an equivalent site when it is installed, with peak memory, at two
# catalogue sizes.
if(TARGET sheetforge_site_testsupport)
    add_executable(sheetforge_bench ${CMAKE_CURRENT_LIST_DIR}/SheetforgeBench.cpp)
    target_link_libraries(sheetforge_bench PRIVATE sheetforge_site_testsupport)
    target_compile_definitions(sheetforge_bench PRIVATE
        SHEETFORGE_TEMPLATES="${CMAKE_SOURCE_DIR}/templates")
    add_dependencies(sheetforge_bench sheetforge dorvale-seed)
endif()
