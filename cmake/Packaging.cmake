# Installation and the Debian package: the executable in bin/, the module of the windows opened on demand
# in lib/morvel/, the read-only program files in share/morvel/, the menu entry, icon, AppStream metadata,
# manual page and package documents.
# `cmake --install build` installs; `cmake --build build --target package` makes morvel_<version>_<arch>.deb.
include(GNUInstallDirs)

set(MORVEL_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/morvel)
set(MORVEL_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/resources/desktop)
set(MORVEL_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package)

install(TARGETS morvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS morvel_ondemand LIBRARY DESTINATION ${MORVEL_MODULE_INSTALL_DIR})
install(FILES
    ${CMAKE_SOURCE_DIR}/resources/First_Instruct.rtf
    ${CMAKE_SOURCE_DIR}/resources/Second_Instruct.rtf
    ${CMAKE_SOURCE_DIR}/resources/help/morvel.html
    DESTINATION ${MORVEL_SHARE_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/group DESTINATION ${MORVEL_SHARE_DIR})
install(DIRECTORY ${MORVEL_PROGRAM_DIR}/help DESTINATION ${MORVEL_SHARE_DIR} FILES_MATCHING PATTERN "*.png"
    PATTERN "help-window.png" EXCLUDE)
install(FILES ${MORVEL_PROGRAM_DIR}/Templates/morvel.xlsx DESTINATION ${MORVEL_SHARE_DIR}/Templates)
# The demo portraits that a user's data directory is seeded with on first start.
install(DIRECTORY ${MORVEL_PACKAGE_FILES}/Images DESTINATION ${MORVEL_SHARE_DIR})

install(FILES ${MORVEL_DESKTOP_DIR}/org.example.morvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${MORVEL_DESKTOP_DIR}/morvel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${MORVEL_DESKTOP_DIR}/org.example.morvel.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${MORVEL_PACKAGE_FILES}/morvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${MORVEL_DESKTOP_DIR}/copyright ${MORVEL_PACKAGE_FILES}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morvel)

# Compressed documents as Debian wants them (no time stamp in the gzip header).
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${MORVEL_PACKAGE_FILES}/morvel.1.gz ${MORVEL_PACKAGE_FILES}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${MORVEL_PACKAGE_FILES}
    COMMAND ${GZIP} -9nc ${MORVEL_DESKTOP_DIR}/morvel.1 > ${MORVEL_PACKAGE_FILES}/morvel.1.gz
    COMMAND ${GZIP} -9nc ${MORVEL_DESKTOP_DIR}/changelog > ${MORVEL_PACKAGE_FILES}/changelog.gz
    DEPENDS ${MORVEL_DESKTOP_DIR}/morvel.1 ${MORVEL_DESKTOP_DIR}/changelog
    COMMENT "Compressing the manual page and the changelog")
add_custom_target(package_documents ALL
    DEPENDS ${MORVEL_PACKAGE_FILES}/morvel.1.gz ${MORVEL_PACKAGE_FILES}/changelog.gz)
add_custom_target(package_portraits ALL
    COMMAND make-portraits ${MORVEL_PACKAGE_FILES}/Images
    COMMENT "Checking the portraits to install"
    VERBATIM)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Morvel developers <morvel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "run and score the portrait-choice test")
# The long description; CPack puts the summary above it as the synopsis and indents every line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A desktop program with which an examiner runs a portrait-choice test on
screen or enters a paper answer sheet, keeps testees, groups and test
records in an embedded database, and reads profile tables, indices, drawn
formulas and bar charts. Results are saved as a spreadsheet report.
The interface and the built-in manual are Russian.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.example.org/morvel/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not tell: libpq (loaded when a server store is first opened) and libsodium
# (loaded when a password is first hashed or checked), the screen plugins of Qt, Qt's Russian texts, and
# the fonts the formulas and the report are drawn with.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libpq5, libsodium23, qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation2, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
