# The test set itself and the developer scripts: every test carries one of the labels,
# scripts/run.sh stops with exit 1 where there is no display, and no program includes
# the engine's internal header.
# A build without a window program has no window tests: that label may then select none.
set(labels_in_use ${VARN_TEST_LABELS})
if(NOT TARGET torq32)
  list(REMOVE_ITEM labels_in_use window)
endif()
add_test(NAME ctest_labels
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/labels_test.sh ${CMAKE_CTEST_COMMAND}
                 ${CMAKE_BINARY_DIR} ${labels_in_use})
set_tests_properties(ctest_labels PROPERTIES LABELS unit)
if(NOT WIN32)  # scripts/run.sh starts the Linux window
  add_test(NAME run_script_without_display
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/run_script_test.sh ${PROJECT_SOURCE_DIR}/scripts/run.sh)
  set_tests_properties(run_script_without_display PROPERTIES LABELS unit)
endif()
add_test(NAME engine_internal_header
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/engine_internal_test.sh ${PROJECT_SOURCE_DIR})
set_tests_properties(engine_internal_header PROPERTIES LABELS unit)

# The manual pages that the normal build makes from the tools' --help (where help2man is
# installed and the tools run on this machine).
find_program(VARN_HELP2MAN help2man)
if(VARN_HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME man_pages_render
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/man_pages_test.sh ${CMAKE_BINARY_DIR}/package-docs
                   $<TARGET_FILE:lzz> $<TARGET_FILE:torq32-cli>)
  set_tests_properties(man_pages_render PROPERTIES SKIP_RETURN_CODE 77 LABELS unit)
endif()

# The desktop menu's command on its first and later starts.
if(NOT WIN32)
  add_test(NAME desktop_launcher_first_start
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/desktop_launcher_test.sh
                   ${PROJECT_SOURCE_DIR}/packaging/torq32-desktop)
  set_tests_properties(desktop_launcher_first_start PROPERTIES LABELS unit)
endif()
