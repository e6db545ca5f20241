# The Windows programs' identity and the Windows they run on, read from the built files.
if(WIN32)
  add_test(NAME windows_identity
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_identity_test.sh ${CMAKE_OBJDUMP}
                   ${CMAKE_RC_COMPILER} ${VARN_WINDOWS_MINIMUM} ${VARN_VERSION_QUAD}
                   $<TARGET_FILE:torq32> $<TARGET_FILE:torq32-cli> $<TARGET_FILE:lzz>)
  set_tests_properties(windows_identity PROPERTIES LABELS cli)
endif()
