# Project-wide compiler settings and the helpers every folder uses.
#
# Conventions the helpers rely on:
#   - a source named *Win.cpp is built only for Windows, *Posix.cpp only elsewhere;
#   - a test source named *_test.cpp runs in every preset, *_wintest.cpp only on
#     Windows; tests of one folder of tests/ form one test binary.

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

add_compile_options(-Wall -Wextra)
# GCC 12 at -O2 reports impossible overlaps inside std::string when a literal
# is prepended ("L" + text): a known false positive of its -Wrestrict.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
include_directories(${PROJECT_SOURCE_DIR})

if(PALOMA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(CMAKE_CROSSCOMPILING AND WIN32)
  # A cross build must not see the host's /usr/include as a whole: it gets a
  # folder of its own that links just the header-only trees it needs.
  set(PALOMA_XINCLUDE ${CMAKE_BINARY_DIR}/xinclude)
  file(MAKE_DIRECTORY ${PALOMA_XINCLUDE})
  foreach(tree boost nlohmann rapidxml)
    if(EXISTS /usr/include/${tree} AND NOT EXISTS ${PALOMA_XINCLUDE}/${tree})
      file(CREATE_LINK /usr/include/${tree} ${PALOMA_XINCLUDE}/${tree} SYMBOLIC)
    endif()
  endforeach()
  include_directories(SYSTEM ${PALOMA_XINCLUDE})
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

# Sources of a folder, with the platform suffix rule applied.
function(paloma_glob_sources out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB files CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    foreach(f ${files})
      get_filename_component(name ${f} NAME_WE)
      if(name MATCHES "Win$" AND NOT WIN32)
        continue()
      elseif(name MATCHES "Posix$" AND WIN32)
        continue()
      endif()
      list(APPEND result ${f})
    endforeach()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Libraries every test binary links; subsystems append themselves with
# target_link_libraries(paloma_test_deps INTERFACE <lib>).
add_library(paloma_test_deps INTERFACE)

# What users ship leaves the build stripped; its symbols stay beside it in
# <file>.debug, which the stripped file names through its debug link, so a
# debugger started on the executable finds them.
function(paloma_ship_stripped target)
  if(NOT WIN32 OR NOT CMAKE_OBJCOPY)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
