varn_add_test(test_platform SOURCES test_platform.cpp LIBS varn_platform)
varn_add_test(test_big_folders SOURCES test_big_folders.cpp LIBS varn_platform LABEL slow)
# The folder handles against symbolic links, and the run lock between processes made with
# fork and a child that drops to another user: POSIX only.
if(NOT WIN32)
  varn_add_test(test_folder_handle SOURCES test_folder_handle.cpp LIBS varn_platform)
  varn_add_test(test_run_lock SOURCES test_run_lock.cpp LIBS varn_platform)
endif()
# The Win32 layer against the system's own answers, with a version resource of its own.
if(WIN32)
  varn_add_test(test_platform_win32 SOURCES test_platform_win32.cpp version_sample.rc
                LIBS varn_platform)
endif()
