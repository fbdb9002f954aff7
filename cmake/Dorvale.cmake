# dorvale_add_test(NAME SOURCES src... LIBS lib...)
# A GoogleTest executable registered with CTest, one CTest test per case.
function(dorvale_add_test name)
    if(NOT DORVALE_TESTS)
        return()
    endif()
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} dorvale_testsupport GTest::gtest GTest::gtest_main GTest::gmock)
    target_compile_definitions(${name} PRIVATE
        DORVALE_BINARY_DIR="${CMAKE_BINARY_DIR}"
        DORVALE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${ARG_PROPERTIES})
endfunction()

# dorvale_add_fuzzer(NAME SOURCES src... LIBS lib...)
# A libFuzzer target, built only in the fuzzing configuration into <build>/fuzz/.
# A seed corpus may sit beside the source in corpus/<name>/.
function(dorvale_add_fuzzer name)
    if(NOT DORVALE_FUZZ)
        return()
    endif()
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/testsupport/fuzz)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
        file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${name}.seeds ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
    endif()
endfunction()
