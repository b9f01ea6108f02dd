# The serial and TCP links. cmcTcpClient and the socket start live in object
# files of their own: a program that never names them (the front-panel
# build) links no socket call at all.
target_sources(zb_links PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/cmcComm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cmcTcpClient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net.cpp
)
