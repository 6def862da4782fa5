# host/media: the multimedia layer.
if(WIN32)
  target_link_libraries(paloma_host PUBLIC winmm user32 gdi32)
endif()
