# Image area: the ROM image, the writer frames, scrambling and restore, the
# build-time image tool, and each program's built-in records.
add_executable(image_tests
  image/motS_test.cpp image/packet_test.cpp image/restore_test.cpp image/mot2rec_test.cpp)
target_link_libraries(image_tests PRIVATE zb_image zb_packet zb_restore GTest::gtest_main)
target_compile_definitions(image_tests PRIVATE MOT2REC_PATH="$<TARGET_FILE:mot2rec>")
add_dependencies(image_tests mot2rec)
gtest_discover_tests(image_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "image."
  PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")

foreach(P IN LISTS ZB_PROGRAMS)
  add_executable(image_builtin_tests_${P} image/builtin_test.cpp)
  target_link_libraries(image_builtin_tests_${P} PRIVATE zb_images_${P} zb_restore zb_profile_${P} GTest::gtest_main)
  target_compile_definitions(image_builtin_tests_${P} PRIVATE ZB_BUILD_FOLDER="${CMAKE_SOURCE_DIR}/builds/${P}")
  gtest_discover_tests(image_builtin_tests_${P} DISCOVERY_MODE PRE_TEST TEST_PREFIX "image.${P}."
    PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")
endforeach()

# The program files themselves; only where the programs can be linked.
if(TARGET zb_ui_ZB7152K AND TARGET zb_ui_ZB7152M AND TARGET zb_ui_ZB7152L)
  add_executable(image_program_tests image/program_file_test.cpp)
  target_link_libraries(image_program_tests PRIVATE GTest::gtest_main)
  target_compile_definitions(image_program_tests PRIVATE
    ZB_PROGRAM_K="$<TARGET_FILE:ZB7152K>"
    ZB_PROGRAM_M="$<TARGET_FILE:ZB7152M>"
    ZB_PROGRAM_L="$<TARGET_FILE:ZB7152L>")
  add_dependencies(image_program_tests ZB7152K ZB7152M ZB7152L)
  gtest_discover_tests(image_program_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "image."
    PROPERTIES ENVIRONMENT "${ZB_TEST_ENV}")
endif()
