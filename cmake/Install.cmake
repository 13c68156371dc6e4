# What `cmake --install` puts where, and the Debian package (cpack -G DEB).
#
# The viewer opens its icon and its configuration file at fixed places
# (/usr/share/pixmaps, /etc/tirsk), so those two go there whatever the
# prefix; everything else follows the prefix (/usr/local by default, /usr in
# the package).

# Installing (and cpack) takes what is built: the package needs only a few
# targets, not the whole test suite.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS tirsk-mon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The catalogue builder under a name that cannot clash with other programs.
install(PROGRAMS $<TARGET_FILE:mkcatalog> DESTINATION ${CMAKE_INSTALL_BINDIR}
        RENAME tirsk-mkcatalog)
# (cpack strips only what install(TARGETS) installs.)
install(CODE "set(TIRSK_MKCATALOG \"${CMAKE_INSTALL_BINDIR}/tirsk-mkcatalog\")")
install(CODE [[
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND strip --strip-unneeded
                    "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${TIRSK_MKCATALOG}")
  endif()
]])
install(FILES data/tirsk-mon.xpm DESTINATION /usr/share/pixmaps)

# Manual pages, compressed as Debian wants them (-n: no time stamp, so the
# package is reproducible).
foreach(page tirsk-mon.1 tirsk-mkcatalog.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/data/${page} > ${page}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/data/${page} VERBATIM)
  list(APPEND TIRSK_MAN_PAGES ${PROJECT_BINARY_DIR}/${page}.gz)
endforeach()
add_custom_target(man-pages ALL DEPENDS ${TIRSK_MAN_PAGES})
install(FILES ${TIRSK_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The configuration file: every key of the viewer's section, commented out,
# with its default.  An existing one is the installer's and is kept (the
# package's copy is a conffile, which dpkg treats the same way).
set(TIRSK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tirsk-mon)
install(FILES data/tirsk.conf DESTINATION ${TIRSK_DOC_DIR}/examples)
# The install script runs without the project's variables.
install(CODE "set(TIRSK_SOURCE \"${PROJECT_SOURCE_DIR}\")")
install(CODE [[
  if(EXISTS "$ENV{DESTDIR}/etc/tirsk/tirsk.conf")
    message(STATUS "Kept: $ENV{DESTDIR}/etc/tirsk/tirsk.conf")
  else()
    file(INSTALL "${TIRSK_SOURCE}/data/tirsk.conf" DESTINATION "/etc/tirsk"
         PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
]])

# Starting with the session: a systemd user unit per display letter and an
# XDG autostart entry (both opt-in, see README.md), the event-collector
# example.
# They name the installed programs.
set(BINDIR ${CMAKE_INSTALL_FULL_BINDIR})
set(PKGLIBDIR ${CMAKE_INSTALL_PREFIX}/lib/tirsk-mon)
foreach(f tirsk-mon@.service tirsk-mon.desktop tirsk-mon-session)
  configure_file(data/${f}.in ${f} @ONLY)
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/tirsk-mon@.service DESTINATION lib/systemd/user)
install(PROGRAMS ${PROJECT_BINARY_DIR}/tirsk-mon-session data/collector-example.sh
        DESTINATION lib/tirsk-mon)
install(FILES ${PROJECT_BINARY_DIR}/tirsk-mon.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/tirsk-mon)

# Debian documentation files.
install(FILES data/copyright DESTINATION ${TIRSK_DOC_DIR})
add_custom_command(OUTPUT changelog.gz
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/data/changelog > changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog VERBATIM)
add_custom_target(changelog ALL DEPENDS changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${TIRSK_DOC_DIR})

# ---- Debian package ------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tirsk-mon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tirsk-mon developers <tirsk-mon@tirsk.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "local camera viewer of a video-surveillance installation")
set(CPACK_PACKAGE_DESCRIPTION
  "tirsk-mon shows the live pictures of the installation's cameras on a local\n"
  "screen, in layouts of up to 60 windows read from the installation's SQL\n"
  "database, with the cameras' names and states, keyboard and mouse control,\n"
  "snapshots, an HTTP remote control and an event-collector interface.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tirsk.example/doc/tirsk-mon/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The font the captions are drawn with; the database drivers by type
# (mysql is the default db-type).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-freefont-ttf")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libdbd-mysql | libdbd-pgsql | libdbd-sqlite3")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libdbd-mysql, libdbd-pgsql, libdbd-sqlite3")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
