# The Debian package (cmake --build build/release --target package): every program, library,
# template, desktop entry and help page that "cmake --install" puts in place, a man page for
# each program, and maintainer scripts that run dorvale-install on configure and
# dorvale-uninstall on removal.

# Man pages from each program's --help; pwencode, whose one argument is the password, has one
# written by hand.
find_program(HELP2MAN_PROGRAM help2man)
set(dorvale_man_programs
    "dorvale|administer a Dorvale file library from the command line"
    "dorvale-explorer|the Dorvale administrator's desktop program"
    "dorvale-setup|configure a Dorvale file library"
    "sheetforge|write the Dorvale site's pages"
    "sheetforge-tmpl|check and render Dorvale page templates"
    "dorvale-serve|serve the Dorvale site with nginx and ProFTPD"
    "dorvale-reg|read and write the Dorvale registry"
    "dorvale-dsn|create, show, check and remove the Dorvale data source"
    "dorvale-regsvr|register Dorvale's automation classes"
    "dorvale-auto|create a Dorvale automation object and ask it"
    "dorvale-seed|fill a Dorvale library with a made-up sample"
    "liftwell|the visitor's upload wizard of a Dorvale site"
    "dorvale-install|install Dorvale into a directory"
    "dorvale-uninstall|remove what dorvale-install made"
    "dorvale-service|start and stop services that dorvale-install made")
set(dorvale_man_pages)
if(HELP2MAN_PROGRAM)
    foreach(entry IN LISTS dorvale_man_programs)
        string(REPLACE "|" ";" parts "${entry}")
        list(GET parts 0 program)
        list(GET parts 1 description)
        if(NOT TARGET ${program})
            continue()
        endif()
        set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
        add_custom_command(OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                    ${HELP2MAN_PROGRAM} --no-info --no-discard-stderr
                    --version-string=${PROJECT_VERSION} --name=${description}
                    --output=${page} $<TARGET_FILE:${program}>
            COMMAND gzip -9nf ${page}
            DEPENDS ${program}
            COMMENT "Man page of ${program}"
            VERBATIM)
        list(APPEND dorvale_man_pages ${page}.gz)
    endforeach()
else()
    message(WARNING "help2man not found: the package gets no man pages (Debian package help2man)")
endif()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/pwencode.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/man/pwencode.1 > ${CMAKE_BINARY_DIR}/man/pwencode.1.gz
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/man/pwencode.1
    VERBATIM)
list(APPEND dorvale_man_pages ${CMAKE_BINARY_DIR}/man/pwencode.1.gz)
add_custom_target(man_pages ALL DEPENDS ${dorvale_man_pages})
install(FILES ${dorvale_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dorvale)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Dorvale maintainers <dorvale@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web file library: catalogue, site generator and servers")
set(CPACK_PACKAGE_DESCRIPTION
    "An administrator keeps a catalogue of downloadable files in file areas and groups;\n"
    "a generator writes the web site from it, nginx serves it, visitors download,\n"
    "upload and review files. Installing the package runs dorvale-install.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
# Libraries the programs link come from dpkg-shlibdeps; Dorvale's own are found in the
# package itself. What is loaded at run time or run as a program is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_DEPENDS "unixodbc, odbcinst, libsqliteodbc, acl")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "nginx, odbc-postgresql, proftpd-core, proftpd-mod-vroot, clamav, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
