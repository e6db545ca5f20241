# The Restore button and the backup check, headless on drives of temporary folders; and
# torq32-cli restore and verify, run as built.
varn_add_test(test_restore SOURCES test_restore.cpp test_restore_safety.cpp LIBS varn_backup)
varn_add_test(test_restore_cli SOURCES test_restore_cli.cpp LIBS varn_lz LABEL cli)
target_compile_definitions(test_restore_cli PRIVATE TORQ32_CLI="${VARN_TEST_HOST_DRIVE}$<TARGET_FILE:torq32-cli>")
add_dependencies(test_restore_cli torq32-cli)
