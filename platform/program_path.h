// The program's own INI file: the program file's full path (from /proc/self/exe)
// with its extension replaced by ".INI", or ".INI" appended when the file name
// has none (/opt/zb/ZB7152K -> /opt/zb/ZB7152K.INI).
#pragma once
#include <string>

namespace platform {

// The INI path: the override when one is set, else the path derived from the
// program file. Empty when /proc/self/exe cannot be read (no override set).
std::string ProgramIniPath();

// Replaces the derived path (tests, tools); an empty text removes the override.
// Objects that read the INI while the program starts (the settings store is built
// before main) have read it before main can call this.
void SetProgramIniPath(std::string path);

// The INI name for a given program path: the extension of the last path
// component replaced by ".INI", or ".INI" appended.
std::string IniPathFor(const std::string& programPath);

}  // namespace platform
