# Serial link on pseudo-terminals, TCP link on loopback, and the check that
# the front-panel program carries no socket call.
add_executable(links_tests
  links/main.cpp
  links/serial_test.cpp
  links/tcp_test.cpp
)
target_link_libraries(links_tests PRIVATE zb_links zb_platform Qt6::Core GTest::gtest util)
gtest_discover_tests(links_tests DISCOVERY_MODE PRE_TEST PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")

add_test(NAME links_front_panel_has_no_sockets
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:ZB7152M> -DEXPECT=none
          -P ${CMAKE_CURRENT_SOURCE_DIR}/links/socket_symbols.cmake)
add_test(NAME links_main_cpu_has_sockets
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:ZB7152K> -DEXPECT=some
          -P ${CMAKE_CURRENT_SOURCE_DIR}/links/socket_symbols.cmake)
