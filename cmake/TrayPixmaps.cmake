# The tray's status icons drawn for hosts that show pixels rather than look icons up by name: each
# SVG in a dark, a light and a mid-grey glyph at every tray size, as PNG files and as raw ARGB32 (network
# byte order, no header) in share/torvel/icons, by a small Qt program of this tree (Qt's SVG image plugin,
# libqt6svg6, does the drawing). The resident reads the raw files, the windows' side the PNGs. The sizes
# and names must match kTrayPixmapSizes and trayPixmapFile() in src/Tray/TrayIconArt.
set(TORVEL_STATUS_ICONS torvel-active-symbolic torvel-inactive-symbolic)
set(TORVEL_TRAY_PIXMAP_SIZES 16 22 24 32 48)
set(TORVEL_TRAY_PIXMAP_DIR ${CMAKE_BINARY_DIR}/share/torvel/icons)

add_executable(torvel-render-tray-icons ${PROJECT_SOURCE_DIR}/tools/RenderTrayIcons.cpp
               ${PROJECT_SOURCE_DIR}/src/Tray/TrayIconArt.cpp
               ${PROJECT_SOURCE_DIR}/src/Views/TrayGlyphArt.cpp
               ${PROJECT_SOURCE_DIR}/src/Views/ColourContrast.cpp)
target_include_directories(torvel-render-tray-icons PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(torvel-render-tray-icons PRIVATE Qt6::Gui torvel_warnings)
# A build tool, not a program of the product: kept out of bin/.
set_target_properties(torvel-render-tray-icons PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

set(torvel_status_svgs)
set(TORVEL_TRAY_PIXMAPS)
foreach(icon ${TORVEL_STATUS_ICONS})
  list(APPEND torvel_status_svgs ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/scalable/status/${icon}.svg)
  foreach(shade dark light mid)
    foreach(size ${TORVEL_TRAY_PIXMAP_SIZES})
      list(APPEND TORVEL_TRAY_PIXMAPS ${TORVEL_TRAY_PIXMAP_DIR}/${icon}-${shade}-${size}.png
           ${TORVEL_TRAY_PIXMAP_DIR}/${icon}-${shade}-${size}.argb)
    endforeach()
  endforeach()
endforeach()

add_custom_command(OUTPUT ${TORVEL_TRAY_PIXMAPS}
                   COMMAND torvel-render-tray-icons ${TORVEL_TRAY_PIXMAP_DIR} ${torvel_status_svgs}
                   DEPENDS torvel-render-tray-icons ${torvel_status_svgs}
                   COMMENT "Drawing the tray icons for pixel-only tray hosts" VERBATIM)
add_custom_target(torvel_tray_pixmaps DEPENDS ${TORVEL_TRAY_PIXMAPS})
add_dependencies(torvel_resources torvel_tray_pixmaps)
