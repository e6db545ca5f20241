varn_add_test(test_collect_files SOURCES test_collect_files.cpp LIBS varn_backup)
varn_add_test(test_backup SOURCES test_backup.cpp test_backup_round_trip.cpp LIBS varn_backup)
