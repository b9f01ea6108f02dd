# Sequencer tests: unit rules per program, and whole updates against the
# radio simulator (main-CPU program).
foreach(P IN LISTS ZB_PROGRAMS)
  add_executable(seq_units_${P} ${CMAKE_CURRENT_LIST_DIR}/sequence/seq_units_test.cpp)
  target_include_directories(seq_units_${P} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/sequence)
  target_link_libraries(seq_units_${P} PRIVATE zb_sequence_${P} GTest::gtest)
  gtest_discover_tests(seq_units_${P} TEST_PREFIX "${P}." DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")
endforeach()
