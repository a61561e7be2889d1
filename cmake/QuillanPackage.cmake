# The Debian package: `cpack -G DEB` in the build folder (or the package_deb
# target) makes quillan_VERSION_ARCH.deb from the install rules, installed
# under /usr. Its dependencies are those of the program and libraries as
# built, found by dpkg-shlibdeps, plus the fonts the graph asks for by name.

set(QUILLAN_MAINTAINER "Quillan developers <developers@quillan.io>")
set(QUILLAN_DEB_RELEASE 1)
set(QUILLAN_DEB_VERSION "${PROJECT_VERSION}-${QUILLAN_DEB_RELEASE}")

# What Debian wants beside every package: the copyright and the changelog
# (compressed with -n, so the file depends on the text alone).
set(quillan_docdir ${CMAKE_INSTALL_DATADIR}/doc/quillan)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
  COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/packaging/changelog.Debian > ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.Debian
  COMMENT "Compressing the Debian changelog")
add_custom_target(quillan_package_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION ${quillan_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillan)
set(CPACK_PACKAGE_VENDOR "The Quillan developers")
set(CPACK_PACKAGE_CONTACT "${QUILLAN_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scriptable graphing workbench")
# The control file's long description (under the summary line), in lines
# short enough to show as they are.
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Quillan runs VBScript and JScript programs, written in its colouring"
  "editor, that draw two-dimensional line graphs through an object named"
  "Graf: series with their own colour and transparency, axis titles with"
  "Greek letters, superscripts and subscripts, a magnifier, Bessel functions"
  "and complex numbers. A batch mode runs a script without a display and"
  "writes the graph as a JPEG, PNG, SVG or PDF picture.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUILLAN_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLAN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The runtime and component libraries are private to the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# "Arial", "Courier New" and "Symbol" are fontconfig aliases these fonts
# answer; the graph's Greek letters need the symbol font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, fonts-urw-base35, fontconfig")
# The help manual opens in the desktop's browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
