# Fails when a file of torvel_core includes a Qt, D-Bus or Linux-only header.
file(GLOB_RECURSE files ${SOURCE_DIR}/Models/* ${SOURCE_DIR}/Core/* ${SOURCE_DIR}/Monitors/*
     ${SOURCE_DIR}/Services/* ${SOURCE_DIR}/UI/* ${SOURCE_DIR}/Platform/Sim/*)
file(GLOB ports ${SOURCE_DIR}/Platform/*.h)
set(bad "")
foreach(f ${files} ${ports})
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]+|qt|dbus|systemd/|sys/|linux/|unistd\\.h|fcntl\\.h|poll\\.h)")
  foreach(l ${lines})
    string(APPEND bad "${f}: ${l}\n")
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "torvel_core includes platform headers:\n${bad}")
endif()
