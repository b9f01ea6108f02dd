// The menu tree as read from the overlay's App_MenuList lines, without Qt:
// one entry per line, nested by the number of characters in front of the
// first "+", and the check-mark rule of the port selection.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ui {

struct MenuEntry {
  int line;             // line of App_MenuList; also the index of the menu item
  int depth;            // 0 = menu bar
  int parent;           // line of the entry it hangs under, -1 at depth 0
  std::string caption;  // with its "&" access key; "-" is a separator
};

inline constexpr int kMenuItemCount = 100;  // menu items the window keeps
inline constexpr int kMenuMaxDepth = 63;    // deepest level of the depth table

// Reads lines 0, 1, ... until one holds no "+" (or kMenuItemCount lines were
// read). A line deeper than the previous one + 1 is placed one level deeper
// than it; deeper than kMenuMaxDepth is placed at kMenuMaxDepth.
std::vector<MenuEntry> BuildMenuList(const std::function<std::string(int)>& line);

// The line whose entry carries the check mark, or -1 for none. A link
// selection other than 0 means TCP/IP (ipAddressLine; -1 when the build has
// none); with the serial link, ports 1..4 check lines 4..7 and every higher
// port checks line 8 (More...).
int CheckedMenuLine(int portSel, int comPort, int ipAddressLine);

}  // namespace ui
