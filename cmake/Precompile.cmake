# Precompiled headers: the standard library, Qt and GoogleTest headers are most of what a source file
# costs to compile (a D-Bus adapter test: 8.4 s of CPU without, 5.6 s with them under gcc -O2; 5.5 s and
# 3.4 s under clang with the sanitizers), so each target parses them once. The ThreadSanitizer and
# fuzzing builds leave them off and compile every file on its own includes, so a Qt-free file that leans
# on a precompiled header fails there.
#
# torvel_precompile(target [QT] [WIDGETS] [TEST]): the standard headers, and with QT the Qt Core and D-Bus
# headers (all the resident's libraries may see), WIDGETS also Qt GUI's and Widgets', TEST GoogleTest's and
# Google Mock's.
function(torvel_precompile target)
  if(NOT TORVEL_PCH)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 pch "QT;WIDGETS;TEST" "" "")
  set(headers <algorithm> <chrono> <cstdint> <functional> <map> <memory> <optional> <string>
              <string_view> <utility> <vector>)
  if(pch_QT OR pch_WIDGETS)
    list(APPEND headers <QtCore/QObject> <QtCore/QString> <QtCore/QVariant> <QtCore/QTimer>
                        <QtDBus/QDBusConnection> <QtDBus/QDBusMessage>)
  endif()
  if(pch_WIDGETS)
    list(APPEND headers <QtGui/QImage> <QtWidgets/QWidget> <QtWidgets/QLabel> <QtWidgets/QLayout>)
  endif()
  if(pch_TEST)
    list(APPEND headers <gtest/gtest.h>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
