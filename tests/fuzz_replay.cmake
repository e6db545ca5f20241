# Every fuzz target replays its checked-in seed corpus in the normal build, as a plain
# program (fuzz/replay_main.cpp feeds it each file), so a seed that once found a fault
# stays a regression test.
include(${PROJECT_SOURCE_DIR}/fuzz/targets.cmake)
add_library(varn_fuzz_replay_support STATIC
  ${PROJECT_SOURCE_DIR}/fuzz/fuzz_support.cpp ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
target_link_libraries(varn_fuzz_replay_support PUBLIC varn_lz)
foreach(target ${VARN_FUZZ_TARGETS})
  add_executable(replay_${target} ${PROJECT_SOURCE_DIR}/fuzz/fuzz_${target}.cpp)
  target_link_libraries(replay_${target} PRIVATE varn_fuzz_replay_support)
  add_test(NAME fuzz_replay.${target}
           COMMAND replay_${target} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${target})
  set_tests_properties(fuzz_replay.${target} PROPERTIES LABELS slow)
endforeach()
