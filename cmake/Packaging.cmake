# cpack: one Debian package of the installed programs and their data. Built
# by ./scripts/dev package from a Release tree.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrava)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for the Kestrava open-banking service")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KESTRAVA_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window is laid out for Tahoma's metrics; DejaVu Sans Condensed has them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-dejavu-extra)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The synopsis is the summary above; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Sign in to the account-information API of the open-banking service Kestrava
with the client id and secret it issued, in production or test, and read the
aggregated bank accounts and every page of the transactions of a date and
time range. Results show as indented JSON, failures as the exact error texts
of the service and of the connection. The window stores nothing; the
command-line client can keep what it reads in a local SQLite store, synced
incrementally, for history and status without the network.
.
The package holds the window (kestrava), the same client for scripts and
scheduled exports (kestrava-cli) and a local stand-in for the service to try
both against (kestrava-sandbox).
.
The production service host is fixed when the programs are built (CMake
cache variable KESTRAVA_SERVICE_HOST); this build uses ${KESTRAVA_SERVICE_HOST}.")

# What dh_strip removes besides the symbols.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripPackage.cmake)

include(CPack)
