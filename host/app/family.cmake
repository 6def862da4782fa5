# host/app: registerASMethods defines the bridge's forwarding functions.
target_link_libraries(paloma_host PUBLIC paloma_bridge)
if(WIN32)
  target_link_libraries(paloma_host PUBLIC advapi32 user32)
endif()
