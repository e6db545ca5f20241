# The Windows torq32-cli and the Linux one make the same backup of the same folder and
# restore each other's. It runs in the Windows build, given the Linux build's program
# (scripts/test.sh sets VARN_LINUX_TORQ32_CLI); without it the test is skipped.
if(WIN32)
  set(VARN_LINUX_TORQ32_CLI "" CACHE FILEPATH "The Linux build's torq32-cli, for the interchange test")
  add_test(NAME interchange_with_linux
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/interchange_test.sh $<TARGET_FILE:torq32-cli>
                   "${VARN_LINUX_TORQ32_CLI}" ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(interchange_with_linux PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600
                       LABELS cli)
endif()
