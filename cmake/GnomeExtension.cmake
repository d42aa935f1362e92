# The GNOME Shell extension: staged in the build tree as it is installed (the sources and Torvel's two
# status icons in one folder), packed as the zip that `gnome-extensions install` takes, and installed
# as a system extension.
set(TORVEL_EXTENSION_UUID "torvel@torvel.com")
set(TORVEL_EXTENSION_DIR ${CMAKE_BINARY_DIR}/share/gnome-shell/extensions/${TORVEL_EXTENSION_UUID})
set(TORVEL_EXTENSION_ZIP ${CMAKE_BINARY_DIR}/${TORVEL_EXTENSION_UUID}.shell-extension.zip)

set(torvel_extension_sources metadata.json extension.js client.js indicator.js compat.js)
set(torvel_extension_icons torvel-active-symbolic.svg torvel-inactive-symbolic.svg)
set(torvel_extension_inputs)
set(torvel_extension_files)
foreach(file IN LISTS torvel_extension_sources)
  list(APPEND torvel_extension_inputs ${PROJECT_SOURCE_DIR}/extensions/gnome/${file})
  list(APPEND torvel_extension_files ${file})
endforeach()
foreach(file IN LISTS torvel_extension_icons)
  list(APPEND torvel_extension_inputs ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/scalable/status/${file})
  list(APPEND torvel_extension_files icons/${file})
endforeach()

add_custom_command(
  OUTPUT ${TORVEL_EXTENSION_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TORVEL_EXTENSION_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TORVEL_EXTENSION_DIR}/icons
  COMMAND ${CMAKE_COMMAND} -E copy ${torvel_extension_sources} ${TORVEL_EXTENSION_DIR}
  COMMAND ${CMAKE_COMMAND} -E chdir ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/scalable/status
          ${CMAKE_COMMAND} -E copy ${torvel_extension_icons} ${TORVEL_EXTENSION_DIR}/icons
  COMMAND ${CMAKE_COMMAND} -E chdir ${TORVEL_EXTENSION_DIR}
          ${CMAKE_COMMAND} -E tar cf ${TORVEL_EXTENSION_ZIP} --format=zip ${torvel_extension_files}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/extensions/gnome
  DEPENDS ${torvel_extension_inputs}
  COMMENT "Staging and packing the GNOME Shell extension")
add_custom_target(gnome-extension ALL DEPENDS ${TORVEL_EXTENSION_ZIP})

install(DIRECTORY ${TORVEL_EXTENSION_DIR}/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/gnome-shell/extensions/${TORVEL_EXTENSION_UUID})
