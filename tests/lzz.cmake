# The lzz tool's tests run the built program through a POSIX shell (pipes, redirections,
# touch, /dev/full): Linux only. lzz.exe is held to the Linux lzz under Wine by
# lzz_same_bytes_under_wine.
if(TARGET lzz AND NOT WIN32)
  varn_add_test(test_lzz SOURCES test_lzz.cpp LIBS varn_lz ZLIB::ZLIB LABEL cli)
  target_compile_definitions(test_lzz PRIVATE LZZ_BINARY="${VARN_TEST_HOST_DRIVE}$<TARGET_FILE:lzz>")
  add_dependencies(test_lzz lzz)
endif()

# lzz.exe of the Windows build under Wine against this lzz, on the same files (among
# them an ELF and a PE program, whose version resource both must read alike); skipped
# while there is no Windows build (scripts/build-windows.sh makes one).
set(VARN_WINDOWS_LZZ "${PROJECT_SOURCE_DIR}/build-win32/tools/lzz.exe" CACHE FILEPATH
    "lzz.exe of a Windows build, for the test that runs it under Wine")
if(TARGET lzz AND NOT WIN32)
  add_test(NAME lzz_same_bytes_under_wine
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/lzz_wine_test.sh $<TARGET_FILE:lzz>
                   ${VARN_WINDOWS_LZZ} ${PROJECT_SOURCE_DIR}/LICENSE
                   ${PROJECT_SOURCE_DIR}/tests/test_lzz.cpp $<TARGET_FILE:lzz> ${VARN_WINDOWS_LZZ})
  set_tests_properties(lzz_same_bytes_under_wine PROPERTIES LABELS cli SKIP_RETURN_CODE 77
                       TIMEOUT 600)
endif()
