# The window side.
#   zb_ui_core      Qt-free: stage log model, layout and dialog checks, menu tree
#   zb_ui_widgets   shared Qt widgets: value dialogs, error boxes, driver thread
#   zb_ui_<program> the main window of one program (per-build data from its
#                   profile.h and menu_table.h)
add_library(zb_ui_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/StageLog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MenuModel.cpp
)
target_link_libraries(zb_ui_core PUBLIC zb_texts)

add_library(zb_ui_widgets STATIC
  ${CMAKE_CURRENT_LIST_DIR}/MessageBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ValueDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/thrProg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ValueDialog.h
  ${CMAKE_CURRENT_LIST_DIR}/thrProg.h
)
set_target_properties(zb_ui_widgets PROPERTIES AUTOMOC ON)
target_link_libraries(zb_ui_widgets PUBLIC zb_ui_core Qt6::Widgets)

foreach(P IN LISTS ZB_PROGRAMS)
  if(TARGET zb_sequence_${P} AND TARGET zb_globals_${P})
    add_library(zb_ui_${P} STATIC
      ${CMAKE_CURRENT_LIST_DIR}/frmMain.cpp
      ${CMAKE_CURRENT_LIST_DIR}/frmMain.h
    )
    set_target_properties(zb_ui_${P} PROPERTIES AUTOMOC ON)
    target_link_libraries(zb_ui_${P} PUBLIC
      zb_profile_${P} zb_sequence_${P} zb_globals_${P} zb_texts zb_links zb_signals
      zb_ui_widgets Qt6::Widgets)
    if(TARGET zb_restore)
      target_link_libraries(zb_ui_${P} PUBLIC zb_restore)
    endif()
  endif()
endforeach()
