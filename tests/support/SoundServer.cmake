# The sound server fixture: tests that call paloma_use_sound_server() run
# while a private PulseAudio daemon with a null sink and a null source is up
# (tests/support/pulse-server.sh, started before the first of them and
# stopped after the last). Wine's audio driver finds it through PULSE_SERVER,
# so the multimedia layer reports real mixer and wave devices.
set(PALOMA_SOUND_SERVER_DIR ${CMAKE_BINARY_DIR}/sound-server)
set(PALOMA_SOUND_SERVER_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/pulse-server.sh)

# paloma_use_sound_server(test...): called in the directory that added the tests.
function(paloma_use_sound_server)
  get_property(defined GLOBAL PROPERTY PALOMA_SOUND_SERVER_DEFINED)
  if(NOT defined)
    set_property(GLOBAL PROPERTY PALOMA_SOUND_SERVER_DEFINED TRUE)
    add_test(NAME sound_server.start COMMAND ${PALOMA_SOUND_SERVER_SCRIPT} start ${PALOMA_SOUND_SERVER_DIR})
    add_test(NAME sound_server.stop COMMAND ${PALOMA_SOUND_SERVER_SCRIPT} stop ${PALOMA_SOUND_SERVER_DIR})
    set_tests_properties(sound_server.start PROPERTIES FIXTURES_SETUP sound_server TIMEOUT 30)
    set_tests_properties(sound_server.stop PROPERTIES FIXTURES_CLEANUP sound_server TIMEOUT 30)
  endif()
  foreach(t ${ARGN})
    set_property(TEST ${t} APPEND PROPERTY FIXTURES_REQUIRED sound_server)
    set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT "PULSE_SERVER=unix:${PALOMA_SOUND_SERVER_DIR}/native")
    # One process at a time drives the shared mixer.
    set_property(TEST ${t} APPEND PROPERTY RESOURCE_LOCK sound_server)
  endforeach()
endfunction()
