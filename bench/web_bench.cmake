# Counted download redirects through nginx and dorvale-web against nginx's own redirect, and
# review posts, with wrk (Debian's package), in one run.
if(TARGET dorvale-web)
    add_executable(web_bench ${CMAKE_CURRENT_LIST_DIR}/WebBench.cpp)
    target_link_libraries(web_bench PRIVATE dorvale_explorer_core dorvale_odbc_testsupport
                                            dorvale_testsupport)
    add_dependencies(web_bench dorvale-web dorvale-serve dorvale-reg)
endif()
