# Tests of the radio simulator: its decoder and helpers as a unit, and the
# program itself driven by a scripted host over a pty and loopback TCP.
if(TARGET radiosim_core)
  add_executable(radiosim_decoder_test radiosim/decoder_test.cpp)
  target_link_libraries(radiosim_decoder_test PRIVATE radiosim_core GTest::gtest_main)
  gtest_discover_tests(radiosim_decoder_test DISCOVERY_MODE PRE_TEST PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")

  add_executable(radiosim_host_test radiosim/host_test.cpp)
  target_link_libraries(radiosim_host_test PRIVATE radiosim_core GTest::gtest_main)
  target_compile_definitions(radiosim_host_test PRIVATE RADIOSIM_PATH="$<TARGET_FILE:radiosim>")
  add_dependencies(radiosim_host_test radiosim)
  gtest_discover_tests(radiosim_host_test DISCOVERY_MODE PRE_TEST PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")
endif()
