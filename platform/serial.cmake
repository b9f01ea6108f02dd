# Serial devices on termios, under the serial link.
target_sources(zb_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/serial_port.cpp)
