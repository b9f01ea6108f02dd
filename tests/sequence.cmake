# Sequencer tests: unit rules per program, and whole updates against the
# radio simulator (main-CPU program).
foreach(P IN LISTS ZB_PROGRAMS)
  add_executable(seq_units_${P} ${CMAKE_CURRENT_LIST_DIR}/sequence/seq_units_test.cpp)
  target_include_directories(seq_units_${P} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/sequence)
  target_link_libraries(seq_units_${P} PRIVATE zb_sequence_${P} GTest::gtest)
  gtest_discover_tests(seq_units_${P} TEST_PREFIX "${P}." DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")
endforeach()

# Whole updates against the radio simulator (main-CPU program only: the
# simulator serves the main CPU).
if(TARGET radiosim)
  add_executable(seq_e2e_ZB7152K ${CMAKE_CURRENT_LIST_DIR}/sequence/seq_e2e_test.cpp)
  target_include_directories(seq_e2e_ZB7152K PRIVATE ${CMAKE_CURRENT_LIST_DIR}/sequence)
  target_link_libraries(seq_e2e_ZB7152K PRIVATE zb_sequence_ZB7152K GTest::gtest)
  target_compile_definitions(seq_e2e_ZB7152K PRIVATE
    RADIOSIM_PATH="$<TARGET_FILE:radiosim>"
    FIRMWARE_MOT="${CMAKE_SOURCE_DIR}/builds/ZB7152K/firmware.mot")
  add_dependencies(seq_e2e_ZB7152K radiosim)
  gtest_discover_tests(seq_e2e_ZB7152K TEST_PREFIX "ZB7152K." DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}" TIMEOUT 120)
endif()
