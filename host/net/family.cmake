# host/net: Windows Sockets. The IP helper (adapters, DNS servers, ICMP) is
# loaded by name, so the runtime starts where it is missing.
if(WIN32)
  target_link_libraries(paloma_host PUBLIC ws2_32)
endif()
