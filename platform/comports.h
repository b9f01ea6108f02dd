// COM port numbers -> device paths. COM port N is the value of key COM<N> in
// section Ports of the program's INI file when present, else /dev/ttyS<N-1>.
#pragma once
#include <string>

namespace platform {

std::string ComDevicePath(int port);

}  // namespace platform
