# The window: TMain on Qt's offscreen platform, and the real program under Xvfb.
if(TARGET varn_window)
  varn_add_test(test_window SOURCES test_window.cpp LIBS varn_window Qt6::Test LABEL window)

  # Needs Xvfb, xdotool and ImageMagick's import; the script skips (code 77) without them.
  add_test(NAME window_repaints_during_action
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/window_xvfb_test.sh $<TARGET_FILE:torq32>
                   $<TARGET_FILE:lzz>)
  set_tests_properties(window_repaints_during_action PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 420
                       LABELS window)

  # Needs Xvfb, openbox and xdotool; the script skips (code 77) without them.
  add_test(NAME window_close_stops_action
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/window_stop_xvfb_test.sh $<TARGET_FILE:torq32>)
  set_tests_properties(window_close_stops_action PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 420
                       LABELS window)
endif()

# The Qt program; the Windows one has tests of its own (window_win32.cmake).
if(TARGET torq32 AND NOT WIN32)
  add_test(NAME window_refuses_start_on_no_drive
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/window_start_refusal_test.sh $<TARGET_FILE:torq32>)
  set_tests_properties(window_refuses_start_on_no_drive PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60
                       LABELS window)
endif()
