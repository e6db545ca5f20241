varn_add_test(test_collect_files SOURCES test_collect_files.cpp LIBS varn_backup)
# The backup suites run twice: compressing on the backup's own thread, and in three
# worker threads that compress ahead of the file in progress.
varn_add_test(test_backup SOURCES test_backup.cpp test_backup_round_trip.cpp LIBS varn_backup)
varn_add_test(test_backup_workers SOURCES test_backup.cpp test_backup_round_trip.cpp
  LIBS varn_backup PREFIX "Workers.")
target_compile_definitions(test_backup_workers PRIVATE VARN_TEST_PACK_WORKERS=3)
# A backup over an earlier one, killed and stopped by a full disk all over its run (the
# kills are of forked children: not on Windows).
if(NOT WIN32)
  varn_add_test(test_backup_commit SOURCES test_backup_commit.cpp LIBS varn_backup)
endif()
varn_add_test(test_backup_cli SOURCES test_backup_cli.cpp LIBS varn_app LABEL cli)
target_compile_definitions(test_backup_cli PRIVATE TORQ32_CLI="${VARN_TEST_HOST_DRIVE}$<TARGET_FILE:torq32-cli>")
add_dependencies(test_backup_cli torq32-cli)
varn_add_test(test_pack_workers SOURCES test_pack_workers.cpp LIBS varn_backup)
# The actions on folders another process holds (fork: not on Windows).
if(NOT WIN32)
  varn_add_test(test_action_locks SOURCES test_action_locks.cpp LIBS varn_backup)
endif()
