# The Windows window (torq32.exe) under Wine on Xvfb: its picture, and its reports held to
# the Linux program's. The two take turns: both look for the one window in one prefix.
if(WIN32)
  # Reads the running window from outside (its texts and where its controls are), finding
  # the controls by the form.
  add_executable(window_probe window_probe_win32.cpp)
  target_link_libraries(window_probe PRIVATE varn_form user32)

  set(VARN_LINUX_TORQ32_CLI "${PROJECT_SOURCE_DIR}/build/tools/torq32-cli" CACHE FILEPATH
      "The Linux torq32-cli whose reports the Windows window's are held to")
  set(wine_window_prefix ${CMAKE_CURRENT_BINARY_DIR}/wine-window)
  add_test(NAME windows_window_screenshot
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32_window_screenshot_test.sh
                   $<TARGET_FILE:torq32> $<TARGET_FILE:window_probe> ${wine_window_prefix}
                   ${CMAKE_CURRENT_SOURCE_DIR}/cli/banner.txt)
  add_test(NAME windows_window_reports
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/win32_window_reports_test.sh
                   $<TARGET_FILE:torq32> $<TARGET_FILE:window_probe> ${wine_window_prefix}
                   ${VARN_LINUX_TORQ32_CLI})
  # Exit 77: wine, Xvfb, xdotool, ImageMagick or the Linux torq32-cli is missing.
  set_tests_properties(windows_window_screenshot windows_window_reports PROPERTIES
                       SKIP_RETURN_CODE 77 TIMEOUT 420 LABELS window RESOURCE_LOCK wine_window)
endif()
