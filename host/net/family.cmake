# host/net: the adapter table and the DNS servers come from the IP helper.
if(WIN32)
  target_link_libraries(paloma_host PUBLIC iphlpapi ws2_32)
endif()
