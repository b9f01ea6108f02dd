# zb_texts: the overlay table, the token splitter and the three built-in
# overlays. Each overlay is its own object file in this static library, so a
# program that calls only its own Overlay_<program>() links only its lines.
add_library(zb_texts STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/clsGTex.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/clsStrCom.cpp
)
foreach(P IN LISTS ZB_PROGRAMS)
  target_sources(zb_texts PRIVATE ${CMAKE_SOURCE_DIR}/builds/${P}/overlay.cpp)
endforeach()
target_include_directories(zb_texts PUBLIC ${CMAKE_SOURCE_DIR})
