varn_add_test(test_platform SOURCES test_platform.cpp LIBS varn_platform)
varn_add_test(test_big_folders SOURCES test_big_folders.cpp LIBS varn_platform LABEL slow)
varn_add_test(test_folder_handle SOURCES test_folder_handle.cpp LIBS varn_platform)
