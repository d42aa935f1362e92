# Installation into a prefix and the Debian package made from it. Only the application and what a
# desktop needs to find it are installed: no tests, demos or fuzzers.
include(GNUInstallDirs)

# The executable finds its resources as <exe-dir>/../share/torvel, so the two folders must stay siblings.
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
  message(WARNING "torvel looks for its resources in <bindir>/../share/torvel; with CMAKE_INSTALL_BINDIR="
                  "${CMAKE_INSTALL_BINDIR} and CMAKE_INSTALL_DATADIR=${CMAKE_INSTALL_DATADIR} it will not find "
                  "them unless TORVEL_RESOURCES points there")
endif()

install(TARGETS torvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Torvel's icon in XEmbed trays, a helper torvel starts itself (src/Views/CMakeLists.txt finds it there).
install(TARGETS torvel-xembed-tray RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/torvel)
# The windows' own process, which torvel starts; not a command for the user's path.
install(TARGETS torvel-windows RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/torvel)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/i18n/ DESTINATION ${CMAKE_INSTALL_DATADIR}/torvel/i18n
        FILES_MATCHING PATTERN "*.json")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/sounds/ DESTINATION ${CMAKE_INSTALL_DATADIR}/torvel/sounds
        FILES_MATCHING PATTERN "*.wav")
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/com.torvel.Torvel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/torvel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The tray's own status icons; the tray tells panels to look for them in <datadir>/icons.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
        FILES_MATCHING PATTERN "*.svg")
# The bus interface as introspection shows it, for programs that talk to Torvel (gdbus-codegen,
# qdbusxml2cpp, D-Feet).
install(FILES ${PROJECT_SOURCE_DIR}/resources/dbus/com.torvel.Torvel1.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces)
# The same icons drawn at build time for trays that show pixels, as PNG and raw ARGB32
# (cmake/TrayPixmaps.cmake).
install(FILES ${TORVEL_TRAY_PIXMAPS} DESTINATION ${CMAKE_INSTALL_DATADIR}/torvel/icons)

# The session bus starts `torvel` by its absolute path when something calls Torvel that is
# not running. That path is only known at install time (`cmake --install --prefix`, or /usr inside the
# package), so the service file is configured then rather than when the build is configured.
install(CODE "set(torvel_service_template \"${PROJECT_SOURCE_DIR}/resources/dbus/com.torvel.Torvel.service.in\")
set(torvel_staging \"${CMAKE_BINARY_DIR}/install-staging\")
set(torvel_bindir \"${CMAKE_INSTALL_BINDIR}\")
set(torvel_datadir \"${CMAKE_INSTALL_DATADIR}\")")
install(CODE [[
  set(CMAKE_INSTALL_FULL_BINDIR "${torvel_bindir}")
  if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_FULL_BINDIR}")
    set(CMAKE_INSTALL_FULL_BINDIR "${CMAKE_INSTALL_PREFIX}/${torvel_bindir}")
  endif()
  # One staging folder per prefix, so that two installs from the same build at once cannot swap files.
  string(MD5 torvel_prefix_hash "${CMAKE_INSTALL_PREFIX}")
  set(torvel_service "${torvel_staging}/${torvel_prefix_hash}/com.torvel.Torvel.service")
  configure_file("${torvel_service_template}" "${torvel_service}" @ONLY)
  set(torvel_services "${torvel_datadir}/dbus-1/services")
  if(NOT IS_ABSOLUTE "${torvel_services}")
    set(torvel_services "${CMAKE_INSTALL_PREFIX}/${torvel_services}")
  endif()
  file(INSTALL DESTINATION "${torvel_services}" TYPE FILE FILES "${torvel_service}")
  file(REMOVE_RECURSE "${torvel_staging}/${torvel_prefix_hash}")
]])

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Torvel Developers")
set(CPACK_PACKAGE_CONTACT "Torvel Developers <dev@torvel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps the computer awake, by hand or while something needs it")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Torvel holds off sleep and the screen saver for a while, until a set time or\n"
       "open-ended, through saved profiles, or by itself while an external display, a\n"
       "trusted Wi-Fi network or a watched application calls for it. It watches the\n"
       "battery and the temperature while it does so. It is driven from the torvel\n"
       "command, torvel: links and D-Bus.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Torvel Developers <dev@torvel.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (dpkg-dev) fills Depends from the libraries the executable links. Qt's plugins are
# loaded at run time, so it cannot see them: the SVG plugins draw the desktop theme's icons in the menu
# and windows, and the tray icon where its drawn PNGs are missing (a must); the Wayland plugin lets the
# windows open natively on Wayland (X11 works without it). GNOME shows the tray icon only with the
# AppIndicator extension.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# The sounds play through libpulse-simple, opened with dlopen on the first sound, which dpkg-shlibdeps
# cannot see either. Torvel works without it, silently.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, libpulse0")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Removing the package removes the polkit rule that Stayguard may have written.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/scripts/debian/postrm)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
