# The COM family uses the automation library and OLE.
if(WIN32)
  target_link_libraries(paloma_host PUBLIC ole32 oleaut32 uuid)
endif()
