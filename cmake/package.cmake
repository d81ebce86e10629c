# Debian package through CPack. Installing builds nothing by itself: scripts/package
# builds first, and packaging from a test's build tree must not relink the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
string(TIMESTAMP TABEL_PACKAGE_STAMP "%Y%m%d.%H%M%S")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tabel)
# A later package is always a newer version, so that apt upgrades a workstation
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}+${TABEL_PACKAGE_STAMP}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Табель: piecework journal, timesheets and reports of a plant")
set(CPACK_PACKAGE_DESCRIPTION "Desktop program of the accounts department and shop foremen: journal of\nwork entries per day and shift, monthly hours and piecework timesheets,\nprinted reports and .xlsx exports over the plant's PostgreSQL database.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tabel developers <tabel@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Libraries the binary links come from dpkg-shlibdeps (Qt Charts named as well:
# the month overview cannot open without it); the SQL drivers are
# plugins loaded at run time, and Qt's Russian texts are files read at
# start-up, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-psql, libqt6sql6-odbc, libqt6charts6, qt6-translations-l10n")
# psql for sql/schema.sql and create-db; the ODBC driver and tools for the legacy import
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "postgresql-client, unixodbc, odbc-postgresql")
include(CPack)
