# The Debian package: cmake --build BUILD --target package writes
# BUILD/quillonburner_VERSION_ARCH.deb with everything 'cmake --install'
# installs below /usr, its dependencies computed by dpkg-shlibdeps.

set(QUILLON_PACKAGE_MAINTAINER "Quillon Burner developers <quillon@example.org>" CACHE STRING
    "Maintainer field of the Debian package")

# What Debian wants beside the files: the copyright and the changelog of a
# native package, compressed without a time stamp.
set(debian_dir ${CMAKE_BINARY_DIR}/debian)
configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/changelog.in ${debian_dir}/changelog @ONLY)
add_custom_command(OUTPUT ${debian_dir}/changelog.gz
  COMMAND gzip -9nc ${debian_dir}/changelog > ${debian_dir}/changelog.gz
  DEPENDS ${debian_dir}/changelog)
add_custom_target(quillon_debian_changelog ALL DEPENDS ${debian_dir}/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/copyright ${debian_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillonburner)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillonburner)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "data-disc burner for CD and DVD writers")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillon Burner burns files and folders as ISO 9660 + Joliet data discs onto\n"
    "CD and DVD writers, in one or several sessions, erases rewritable CDs,\n"
    "formats DVD+RW discs and tells what a writer and its disc can do.\n"
    "It holds the desktop application quillonburner (Qt 6), the command-line\n"
    "program quillon with its 'quillon doctor' drive check, and their engine.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLON_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CPACK_PACKAGING_INSTALL_PREFIX}/${QUILLON_PRIVATE_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
