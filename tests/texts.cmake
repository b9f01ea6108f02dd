# Overlay table, built-in overlays and token splitter.
add_executable(texts_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/texts/gtex_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/texts/overlays_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/texts/strcom_test.cpp
)
target_link_libraries(texts_tests PRIVATE zb_texts GTest::gtest_main)
gtest_discover_tests(texts_tests TEST_PREFIX "texts." DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")
