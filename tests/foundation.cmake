add_executable(foundation_tests
  foundation/buff_test.cpp
  foundation/tick_task_test.cpp
)
target_link_libraries(foundation_tests PRIVATE zb_links GTest::gtest_main)
gtest_discover_tests(foundation_tests DISCOVERY_MODE PRE_TEST PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")
