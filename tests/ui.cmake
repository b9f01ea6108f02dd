# Window side: the Qt-free log model, layout and menu computations, and the
# main window of each program offscreen; the programs as processes.
add_executable(ui_core_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/stagelog_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/layout_test.cpp
)
target_link_libraries(ui_core_tests PRIVATE zb_ui_core zb_texts GTest::gtest_main)
gtest_discover_tests(ui_core_tests TEST_PREFIX "ui." DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")

foreach(P IN LISTS ZB_PROGRAMS)
  if(NOT TARGET zb_ui_${P} OR NOT TARGET ${P})
    continue()
  endif()
  add_executable(ui_window_${P} ${CMAKE_CURRENT_SOURCE_DIR}/ui/window_test.cpp)
  target_link_libraries(ui_window_${P} PRIVATE zb_ui_${P} Qt6::Test GTest::gtest)
  if(TARGET radiosim)
    target_compile_definitions(ui_window_${P} PRIVATE ZB_RADIOSIM="$<TARGET_FILE:radiosim>")
    add_dependencies(ui_window_${P} radiosim)
  endif()
  gtest_discover_tests(ui_window_${P} TEST_PREFIX "ui.${P}." DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}" TIMEOUT 180)
endforeach()

if(TARGET ZB7152K AND TARGET ZB7152M)
  add_test(NAME ui.processes
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/ui/process_test.sh
            $<TARGET_FILE:ZB7152K> $<TARGET_FILE:ZB7152M>)
  set_tests_properties(ui.processes PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}" TIMEOUT 120)
endif()
