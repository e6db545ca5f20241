# torq32-cli: the terminal window, and the built program run against tests/cli/*.txt.
varn_add_test(test_cli SOURCES test_cli.cpp LIBS varn_terminal LABEL cli)
target_compile_definitions(test_cli PRIVATE
  TORQ32_CLI="${VARN_TEST_HOST_DRIVE}$<TARGET_FILE:torq32-cli>"
  CLI_EXPECTED_DIR="${VARN_TEST_HOST_DRIVE}${CMAKE_CURRENT_SOURCE_DIR}/cli")
add_dependencies(test_cli torq32-cli)
# Two copies of torq32-cli on one folder at once (fork, setpriv: not on Windows).
if(NOT WIN32)
  varn_add_test(test_cli_locks SOURCES test_cli_locks.cpp LIBS varn_backup LABEL cli)
  target_compile_definitions(test_cli_locks PRIVATE TORQ32_CLI="$<TARGET_FILE:torq32-cli>")
  add_dependencies(test_cli_locks torq32-cli)
endif()
