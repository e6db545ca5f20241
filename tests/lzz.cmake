# The lzz tool's tests run the built program through a POSIX shell (pipes, redirections,
# touch, /dev/full): Linux only. lzz.exe is held to the Linux lzz under Wine by
# lzz_same_bytes_under_wine.
if(TARGET lzz AND NOT WIN32)
  varn_add_test(test_lzz SOURCES test_lzz.cpp LIBS varn_lz ZLIB::ZLIB LABEL cli)
  target_compile_definitions(test_lzz PRIVATE LZZ_BINARY="${VARN_TEST_HOST_DRIVE}$<TARGET_FILE:lzz>")
  add_dependencies(test_lzz lzz)
endif()
