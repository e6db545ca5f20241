varn_add_test(test_check_date SOURCES test_check_date.cpp LIBS varn_backup)
