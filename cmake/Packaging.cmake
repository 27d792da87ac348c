# What a Debian package holds beyond the programs and the desktop files: the man pages, the
# bash completion and the Debian documentation files, and how `cpack -G DEB` builds it
# (see scripts/package.sh for the build it is meant to run in).
include(GNUInstallDirs)

find_program(TOLVANE_GZIP gzip REQUIRED)

# Debian wants man pages and changelogs compressed, the same bytes at every build (-n: no
# name or time in the header).
function(tolvane_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND ${TOLVANE_GZIP} -9 -n -c ${source} > ${output}
        DEPENDS ${source}
        VERBATIM)
endfunction()

set(_packaged ${CMAKE_BINARY_DIR}/packaged)
file(MAKE_DIRECTORY ${_packaged})
foreach(page tolvane.1 kvc.1)
    tolvane_gzip(${CMAKE_SOURCE_DIR}/doc/${page} ${_packaged}/${page}.gz)
    list(APPEND _compressed ${_packaged}/${page}.gz)
endforeach()
tolvane_gzip(${CMAKE_SOURCE_DIR}/resources/debian/changelog ${_packaged}/changelog.gz)
add_custom_target(tolvane_packaged_docs ALL DEPENDS ${_compressed} ${_packaged}/changelog.gz)

install(FILES ${_packaged}/tolvane.1.gz ${_packaged}/kvc.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/resources/completion/tolvane.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME tolvane)
# Not CMAKE_INSTALL_DOCDIR: that ends in the project name, and the program looks in
# share/doc/tolvane.
install(FILES ${_packaged}/changelog.gz ${CMAKE_SOURCE_DIR}/resources/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tolvane)

set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VENDOR Miravelt)
set(CPACK_PACKAGE_CONTACT "Miravelt <support@miravelt.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "erase files, folders and free space beyond recovery")
# Lines of at most 80 characters: the long description is shown as it stands.
set(CPACK_PACKAGE_DESCRIPTION "\
Tolvane overwrites the files, folders and free space it is given with 0 to 9
passes of random and inverted data, renames every file twice to a meaningless
name, cuts it to zero length, scrambles its times and deletes it. It runs from
the command line (confirmation in a small window or in the terminal) or as a
main window with a file browser and an erase list, and adds an 'Erase with
Brevorn' entry to file managers.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://miravelt.example/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries from the programs themselves (Qt 6 Core, Gui, Widgets, the C++ runtime);
# the platform plugins are loaded at run time, so they are named here: xcb comes with
# libqt6gui6, Wayland is its own package. The medium check reads the kernel's own tables
# (mountinfo, sysfs, ioctls) and runs no file-system tools.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
