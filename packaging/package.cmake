# Installing and the Debian package (scripts/package).
#
# The program folder, where a register CTF.MDB beside the program and the
# manual are looked for, is /usr/lib/ctfadmin: the executable lives there and
# /usr/bin/ctfadmin is a link to it (the program folder is the folder of the
# running executable, links resolved). The manual is in
# /usr/share/ctfadmin/manual, linked from the program folder.
include(GNUInstallDirs)
set(CTF_PROGRAM_DIR lib/ctfadmin)

install(TARGETS ctfadmin RUNTIME DESTINATION ${CTF_PROGRAM_DIR})
set(links ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${links}/bin ${links}/program)
file(CREATE_LINK ../lib/ctfadmin/ctfadmin ${links}/bin/ctfadmin SYMBOLIC)
file(CREATE_LINK ../../share/ctfadmin/manual ${links}/program/manual SYMBOLIC)
install(FILES ${links}/bin/ctfadmin DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${links}/program/manual DESTINATION ${CTF_PROGRAM_DIR})
install(DIRECTORY docs/manual/ DESTINATION ${CMAKE_INSTALL_DATADIR}/ctfadmin/manual)

install(FILES packaging/org.ctfadmin.ctfadmin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/ctfadmin.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/org.ctfadmin.ctfadmin.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page and the changelog (of a native package: no Debian
# revision) compressed as Debian wants them
# (gzip -9, no name or time stamp inside).
set(gz ${CMAKE_BINARY_DIR}/gz)
add_custom_command(OUTPUT ${gz}/ctfadmin.1.gz ${gz}/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${gz}
                   COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/packaging/ctfadmin.1 > ${gz}/ctfadmin.1.gz
                   COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${gz}/changelog.gz
                   DEPENDS packaging/ctfadmin.1 packaging/changelog)
add_custom_target(compressed-docs ALL DEPENDS ${gz}/ctfadmin.1.gz ${gz}/changelog.gz)
install(FILES ${gz}/ctfadmin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${gz}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ctfadmin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The ctfadmin developers <ctfadmin@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "administration of a credit union's Child Trust Fund accounts")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "ctfadmin keeps the register of Child Trust Fund entries (vouchers, RAAs,
endowments, exceptions, transfers in, child deaths), writes the periodic
return IRReturn.txt for the Inland Revenue and the annual return
CTFANRTN.txt from the credit union's Tarnwell administration data, held in
Access files or on SQL Server, for a separate submission program.")
# Shared libraries from dpkg-shlibdeps; the Qt SQLite driver is loaded at
# run time, so shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-odbc, tdsodbc, unixodbc, mdbtools, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
