# The lzz tool's tests run the built program.
if(TARGET lzz)
  varn_add_test(test_lzz SOURCES test_lzz.cpp LIBS varn_lz ZLIB::ZLIB LABEL cli)
  target_compile_definitions(test_lzz PRIVATE LZZ_BINARY="$<TARGET_FILE:lzz>")
  add_dependencies(test_lzz lzz)
endif()
