# torq32-cli's uins, date and search run as built, against tests/cli/*.txt.
varn_add_test(test_cli_lookups SOURCES test_cli_lookups.cpp LIBS varn_platform LABEL cli)
target_compile_definitions(test_cli_lookups PRIVATE
  TORQ32_CLI="${VARN_TEST_HOST_DRIVE}$<TARGET_FILE:torq32-cli>"
  CLI_EXPECTED_DIR="${VARN_TEST_HOST_DRIVE}${CMAKE_CURRENT_SOURCE_DIR}/cli")
add_dependencies(test_cli_lookups torq32-cli)
