# The radio simulator: a stand-alone program (C++20 + POSIX, no Qt) that
# plays the radio's side of an update over a pseudo-terminal or loopback TCP.
# It shares no code with the tool's frame builder or sequencer on purpose.
add_library(radiosim_core STATIC
  radiosim/frame.cpp
  radiosim/radio.cpp
  radiosim/report.cpp
  radiosim/server.cpp
  radiosim/sha256.cpp
  radiosim/srec.cpp
  radiosim/variant.cpp
)
target_include_directories(radiosim_core PUBLIC ${CMAKE_SOURCE_DIR})

add_executable(radiosim radiosim/main.cpp)
target_link_libraries(radiosim PRIVATE radiosim_core)
set_target_properties(radiosim PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
