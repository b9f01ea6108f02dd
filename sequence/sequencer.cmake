# zb_sequence_<program>: the update sequencer of one program and its headless
# driver, compiled against the program's profile and stage table.
foreach(P IN LISTS ZB_PROGRAMS)
  add_library(zb_sequence_${P} STATIC
    ${CMAKE_CURRENT_LIST_DIR}/clsMainSeq.cpp
    ${CMAKE_CURRENT_LIST_DIR}/driver.cpp
  )
  target_link_libraries(zb_sequence_${P} PUBLIC
    zb_profile_${P} zb_links zb_image zb_packet zb_restore zb_images_${P} Qt6::Core)
endforeach()

# Scripted updates and the benchmark: zbupdate_<program> runs whole updates
# against a radio (or the simulator) from the command line.
foreach(P IN LISTS ZB_PROGRAMS)
  add_executable(zbupdate_${P} EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/zbupdate.cpp)
  target_link_libraries(zbupdate_${P} PRIVATE zb_sequence_${P})
endforeach()
