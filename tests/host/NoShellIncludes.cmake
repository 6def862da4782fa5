# Fails when a file under host/ includes a header of app/shell: host classes
# reach the shell only through host/HostServices.h.
#   cmake -DROOT=<source dir> -P NoShellIncludes.cmake
file(GLOB_RECURSE files ${ROOT}/host/*.h ${ROOT}/host/*.hpp ${ROOT}/host/*.cpp ${ROOT}/host/*.c
     ${ROOT}/host/*.cmake ${ROOT}/host/CMakeLists.txt)
set(offenders)
foreach(f ${files})
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]app/shell/")
  if(lines)
    file(RELATIVE_PATH rel ${ROOT} ${f})
    list(APPEND offenders "${rel}: ${lines}")
  endif()
endforeach()
if(offenders)
  string(REPLACE ";" "\n  " text "${offenders}")
  message(FATAL_ERROR "host/ must not use app/shell:\n  ${text}")
endif()
list(LENGTH files count)
message(STATUS "${count} files under host/, none uses app/shell")
