# Settings area: profile files, program path, COM port mapping, instance lock
# (shared), the settings store (once per program) and real processes of the
# programs' settings holders.
add_executable(settings_platform_tests settings/profile_file_test.cpp)
target_link_libraries(settings_platform_tests PRIVATE zb_platform GTest::gtest_main)
gtest_discover_tests(settings_platform_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")

foreach(P IN LISTS ZB_PROGRAMS)
  add_executable(settings_environ_tests_${P} settings/environ_test.cpp)
  target_link_libraries(settings_environ_tests_${P} PRIVATE zb_settings_${P} GTest::gtest_main)
  gtest_discover_tests(settings_environ_tests_${P} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${P}."
    PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")
endforeach()

if(TARGET zb_globals_ZB7152K)
  foreach(P IN LISTS ZB_PROGRAMS)
    add_executable(settings_holder_${P} settings/settings_holder.cpp)
    target_link_libraries(settings_holder_${P} PRIVATE zb_globals_${P} zb_signals)
  endforeach()
  add_executable(settings_process_tests settings/process_test.cpp)
  target_link_libraries(settings_process_tests PRIVATE zb_platform GTest::gtest_main)
  target_compile_definitions(settings_process_tests PRIVATE
    ZB_HOLDER_K="$<TARGET_FILE:settings_holder_ZB7152K>"
    ZB_HOLDER_M="$<TARGET_FILE:settings_holder_ZB7152M>"
    ZB_HOLDER_L="$<TARGET_FILE:settings_holder_ZB7152L>")
  add_dependencies(settings_process_tests settings_holder_ZB7152K settings_holder_ZB7152M settings_holder_ZB7152L)
  gtest_discover_tests(settings_process_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")
endif()
