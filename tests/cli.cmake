# torq32-cli: the terminal window, and the built program run against tests/cli/*.txt.
varn_add_test(test_cli SOURCES test_cli.cpp LIBS varn_terminal LABEL cli)
target_compile_definitions(test_cli PRIVATE
  TORQ32_CLI="${VARN_TEST_HOST_DRIVE}$<TARGET_FILE:torq32-cli>"
  CLI_EXPECTED_DIR="${VARN_TEST_HOST_DRIVE}${CMAKE_CURRENT_SOURCE_DIR}/cli")
add_dependencies(test_cli torq32-cli)
