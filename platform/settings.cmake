# Profile files, program path, COM port mapping and the single-instance lock
# belong to zb_platform (plain POSIX). The orderly end on signals needs the Qt
# event loop and lives in its own small library.
target_sources(zb_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/profile_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/program_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/instance_lock.cpp
)

add_library(zb_signals STATIC ${CMAKE_CURRENT_LIST_DIR}/signals.cpp)
target_link_libraries(zb_signals PUBLIC Qt6::Core)
