# Page rendering against Google's ctemplate and mstch.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CTEMPLATE REQUIRED IMPORTED_TARGET libctemplate)
find_package(mstch REQUIRED)
add_executable(template_bench ${CMAKE_CURRENT_LIST_DIR}/TemplateBench.cpp)
target_link_libraries(template_bench PRIVATE sheetforge_pages benchmark::benchmark
    PkgConfig::CTEMPLATE mstch::mstch)
