varn_add_test(test_check_uin SOURCES test_check_uin.cpp LIBS varn_backup)
