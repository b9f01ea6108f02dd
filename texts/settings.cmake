# zb_settings_<program>: the settings store of one program, compiled against
# its profile. zb_globals_<program>: the program's two global objects (settings
# store, then overlay table).
foreach(P IN LISTS ZB_PROGRAMS)
  add_library(zb_settings_${P} STATIC ${CMAKE_CURRENT_LIST_DIR}/clsEnviron.cpp)
  target_link_libraries(zb_settings_${P} PUBLIC zb_profile_${P} zb_platform)

  if(TARGET zb_texts)
    add_library(zb_globals_${P} STATIC ${CMAKE_CURRENT_LIST_DIR}/globals.cpp)
    target_link_libraries(zb_globals_${P} PUBLIC zb_settings_${P} zb_texts)
  endif()
endforeach()
