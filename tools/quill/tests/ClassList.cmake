# `quill classes` lists exactly the classes and global functions this build
# registers, in their order; a script under quill can pump messages.
#   cmake -DQUILL=<program> [-DEMULATOR=<runner>] -DEXPECTED=<list file> -DWORK=<scratch folder> -P ClassList.cmake
# The list files (one global name a line) grow with each family of host
# classes: classes-portable.txt for every build, classes-windows.txt for the
# Windows builds.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${EMULATOR} ${QUILL} classes
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "quill classes: status ${status}\n${out}\n${err}")
endif()
string(REPLACE "\r" "" out "${out}")
file(READ ${EXPECTED} expected)
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "quill classes listed:\n${out}\nexpected (${EXPECTED}):\n${expected}")
endif()

# processMsg answers true when no quit message waits.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/pump.qls "trace(\"pumped \" + processMsg() + \" \" + typeof processMsg);\n")
execute_process(COMMAND ${EMULATOR} ${QUILL} run pump.qls WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "pumped true object")
  message(FATAL_ERROR "processMsg under quill: status ${status}\n${out}\n${err}")
endif()
