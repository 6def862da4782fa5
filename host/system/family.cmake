# The system family's Windows classes use the shell's objects, COM and the
# version resources.
if(WIN32)
  target_link_libraries(paloma_host PUBLIC ole32 uuid shell32 version)
endif()
