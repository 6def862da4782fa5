# host/dialogs: the common dialogs and the folder browser.
if(WIN32)
  target_link_libraries(paloma_host PUBLIC comdlg32 shell32 ole32 gdi32 user32)
endif()
