# zb_packet: the writer frame builder. zb_restore: restore of the built-in
# images and the fatal placement failure. Both shared by the three programs.
add_library(zb_packet STATIC ${CMAKE_CURRENT_LIST_DIR}/clsPacket.cpp)
add_library(zb_restore STATIC ${CMAKE_CURRENT_LIST_DIR}/restore.cpp)
target_link_libraries(zb_restore PUBLIC zb_image)
