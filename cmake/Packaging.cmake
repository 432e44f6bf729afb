# What `cmake --install` puts where, and the two Debian packages CPack builds from it:
#   velgated  the headless gateway, its systemd unit, velgated(8) and the help pages; velgatectl,
#             velgatectl(8) and its bash completion
#   velgate   the desktop program, velgate(1), its desktop entry and icon
#   velgate-monitor  the monitor client for a terminal and velgate-monitor(1)
# `make deb` builds them all (release build in build/, packages in packages/).

include(GNUInstallDirs)

# The manual pages, compressed as Debian keeps them.
set(VELGATE_MAN_PAGES velgated.8 velgatectl.8 velgate-monitor.1)
if(VELGATE_WINDOW)
  list(APPEND VELGATE_MAN_PAGES velgate.1)
endif()
foreach(page IN LISTS VELGATE_MAN_PAGES)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/docs/man/${page} > ${CMAKE_BINARY_DIR}/man/${page}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/${page}
    COMMENT "Compressing the manual page ${page}")
  list(APPEND VELGATE_MAN_OUTPUTS ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(velgate_man_pages ALL DEPENDS ${VELGATE_MAN_OUTPUTS})

# The headless gateway and the tool that operates it, their unit, manual pages and completion,
# and the help pages.
install(TARGETS velgated velgatectl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT daemon)
install(FILES ${CMAKE_BINARY_DIR}/man/velgated.8.gz ${CMAKE_BINARY_DIR}/man/velgatectl.8.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT daemon)
install(FILES contrib/bash-completion/velgatectl
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT daemon)
install(DIRECTORY docs/help/ DESTINATION ${VELGATE_HELP_INSTALL_DIR}
  COMPONENT daemon FILES_MATCHING PATTERN "*.html")
# The unit starts the program where this prefix puts it (/usr/bin/velgated in the package).
install(CODE "
  file(READ \"${CMAKE_SOURCE_DIR}/contrib/velgated.service\" unit)
  string(REPLACE \"/usr/bin/velgated\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/velgated\"
    unit \"\${unit}\")
  file(WRITE \"${CMAKE_BINARY_DIR}/unit/velgated.service\" \"\${unit}\")
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" TYPE FILE
    FILES \"${CMAKE_BINARY_DIR}/unit/velgated.service\")
" COMPONENT daemon)

# The monitor client and its manual page.
install(TARGETS velgate-monitor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT monitor)
install(FILES ${CMAKE_BINARY_DIR}/man/velgate-monitor.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT monitor)

# The desktop program, its manual page, desktop entry and icon.
if(VELGATE_WINDOW)
  install(TARGETS velgate RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
  install(FILES ${CMAKE_BINARY_DIR}/man/velgate.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT window)
  install(FILES contrib/velgate.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT window)
  install(FILES contrib/velgate.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT window)
endif()

# The Debian packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velgate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velgate maintainers <maintainers@users.noreply.c-seed-123003d2.example>")
# The packages install under /usr whatever prefix this build has; the install runs with
# DESTDIR, so the unit names /usr/bin/velgated, not the staging folder.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL daemon monitor)
if(VELGATE_WINDOW)
  list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The runtime libraries each program links, found by dpkg-shlibdeps (dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DAEMON_PACKAGE_NAME velgated)
set(CPACK_COMPONENT_DAEMON_DESCRIPTION
  "telnet gateway for a DX cluster server (headless)
Velgate stands between many telnet users and one DX cluster server: every
user connection gets a stream, and all streams travel over one framed TCP
link to the cluster server. It limits connections per address, keeps a
lock-out list, turns away nuisance callers and recycles quiet listeners.
.
This package holds velgated, the gateway without a window, with a systemd
unit (velgated.service) that runs it in /var/lib/velgate, and velgatectl,
which operates the running gateway: its state and streams, ending a stream,
the lock-out list, reading the settings again.")
set(CPACK_DEBIAN_DAEMON_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/contrib/debian/postinst
  ${CMAKE_SOURCE_DIR}/contrib/debian/prerm
  ${CMAKE_SOURCE_DIR}/contrib/debian/postrm)

set(CPACK_DEBIAN_MONITOR_PACKAGE_NAME velgate-monitor)
set(CPACK_COMPONENT_MONITOR_DESCRIPTION
  "terminal monitor client for the Velgate DX cluster gateway
velgate-monitor watches a running Velgate gateway through its monitor port,
from the same machine or another: who is on, from where and in which state,
the highwater marks and the listeners, and the traffic of one user in both
directions. It runs full screen in a terminal (ncurses), or prints one line
per event for scripts and logs. It needs no other part of Velgate.")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME velgate)
set(CPACK_COMPONENT_WINDOW_DESCRIPTION
  "telnet gateway for a DX cluster server (desktop program)
Velgate stands between many telnet users and one DX cluster server. This
package holds velgate, the same gateway with a Qt window: a row per stream,
counters, the listeners, the configuration and lock-out windows.")
# The help pages the windows open come with the headless package.
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "velgated (= ${PROJECT_VERSION})")

include(CPack)
