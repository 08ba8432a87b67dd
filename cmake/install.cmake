# A program people install: the version text of --version, the manual page, the installed tree and
# the Debian package (cpack -G DEB in the build folder). The tree is relocatable: the program finds
# its compiler process relative to itself, so it runs from any prefix and unpacked anywhere.
#
#   bin/vantrisk                               the program
#   libexec/vantrisk/vantrisk-shaderc          its compiler process
#   share/vantrisk/demo/demo.dat               the bundled show
#   share/man/man1/vantrisk.1.gz               manual page, made from --help by help2man
#   share/applications/vantrisk.desktop        plays the bundled show
#   share/icons/hicolor/{48x48,256x256}/apps/vantrisk.png   drawn by tools/appIcon.cpp
#   share/doc/vantrisk/copyright, changelog.gz
#
# Sections: [version] [manual page] [tree] [package]

# ---------------------------------------------------------------------------------------------------
# Version: written at every build, so that the commit it names is never stale.
set(VANTRISK_VERSION_SOURCE ${CMAKE_BINARY_DIR}/generated/version.cpp)
add_custom_target(vantrisk_version
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT=${VANTRISK_VERSION_SOURCE}
        -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/cmake/version.cmake
    BYPRODUCTS ${VANTRISK_VERSION_SOURCE}
    VERBATIM)
target_sources(vantrisk PRIVATE ${VANTRISK_VERSION_SOURCE})
add_dependencies(vantrisk vantrisk_version)

# The package's changelog names the version it describes; the two must not drift apart.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog VANTRISK_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT VANTRISK_CHANGELOG_TOP MATCHES "^vantrisk \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog must start with an entry for version ${PROJECT_VERSION}")
endif()

# ---------------------------------------------------------------------------------------------------
# Manual page: help2man runs the built program's --help and --version, so the page cannot fall out
# of step with them; packaging/vantrisk.h2m adds what --help does not say.
find_program(HELP2MAN help2man)
if(HELP2MAN)
    add_custom_command(
        OUTPUT ${CMAKE_BINARY_DIR}/vantrisk.1.gz
        # A sanitizer build's program must not fail help2man over what it leaves to process exit.
        COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 ${HELP2MAN} --no-info --section 1 --include ${CMAKE_SOURCE_DIR}/packaging/vantrisk.h2m
            --output vantrisk.1 $<TARGET_FILE:vantrisk>
        COMMAND gzip -9nf vantrisk.1
        DEPENDS vantrisk ${CMAKE_SOURCE_DIR}/packaging/vantrisk.h2m
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        COMMENT "Writing the manual page from vantrisk --help"
        VERBATIM)
    add_custom_target(vantrisk_manual ALL DEPENDS ${CMAKE_BINARY_DIR}/vantrisk.1.gz)
    if(TARGET vantrisk_tests)
        add_dependencies(vantrisk_tests vantrisk_manual)
    endif()
else()
    message(WARNING "help2man is missing (scripts/install-deps installs it): no manual page is made")
endif()

add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog)
add_custom_target(vantrisk_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)

# ---------------------------------------------------------------------------------------------------
# Installed tree. The folders are fixed, not configurable: the program finds its compiler process
# at ../libexec/vantrisk from its own folder. Installing and packing take what the build made and
# never build themselves: a test packs the build folder while other tests run its programs.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
install(TARGETS vantrisk RUNTIME DESTINATION bin)
install(TARGETS vantrisk-shaderc RUNTIME DESTINATION libexec/vantrisk)
install(FILES ${CMAKE_BINARY_DIR}/demo.dat DESTINATION share/vantrisk/demo)
if(HELP2MAN)
    install(FILES ${CMAKE_BINARY_DIR}/vantrisk.1.gz DESTINATION share/man/man1)
endif()
foreach(size 48 256)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/icon${size}.png
        DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME vantrisk.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/changelog.gz
    DESTINATION share/doc/vantrisk)
# The desktop entry names the installed program and show by their final paths, known only when the
# tree is installed; it is written straight into the tree, so that installs running side by side
# (a test's prefix and a package's staging) share no file in the build folder.
install(CODE "
    set(VANTRISK_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/bin/vantrisk\")
    set(VANTRISK_DEMO \"\${CMAKE_INSTALL_PREFIX}/share/vantrisk/demo\")
    set(entry \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications/vantrisk.desktop\")
    message(STATUS \"Installing: \${entry}\")
    configure_file(\"${CMAKE_SOURCE_DIR}/packaging/vantrisk.desktop.in\" \"\${entry}\" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${entry}\")
")

# ---------------------------------------------------------------------------------------------------
# Debian package: vantrisk_VERSION_ARCH.deb, its dependencies computed from the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrisk)
set(CPACK_PACKAGE_VENDOR "The Vantrisk developers")
set(CPACK_PACKAGE_CONTACT "The Vantrisk developers <developers@vantrisk.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audiovisual demo player")
set(CPACK_PACKAGE_DESCRIPTION "Vantrisk plays one piece of music and, locked to its play position,
renders a scripted show of 3D scenes and full-screen image effects. A show
is data: a script, music, shaders, pictures and colour tables in an archive
or a folder, reloaded while it plays. It also renders a show frame by frame
without a display, to pictures or to a video with its music.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The desktop entry is written with the final prefix, not the staging folder's.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Video capture runs ffmpeg as a process; nothing links it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS ffmpeg)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
