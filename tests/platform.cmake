varn_add_test(test_platform SOURCES test_platform.cpp LIBS varn_platform)
