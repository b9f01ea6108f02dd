#include "ui/MenuModel.h"

#include <algorithm>

#include "texts/clsStrCom.h"

namespace ui {

std::vector<MenuEntry> BuildMenuList(const std::function<std::string(int)>& line) {
  std::vector<MenuEntry> out;
  int lastAtDepth[kMenuMaxDepth + 1] = {};
  int prevDepth = 0;
  for (int n = 0; n < kMenuItemCount; ++n) {
    clsStrCom split;
    split.SetText(line(n));
    if (split.CountPieces("+") < 2) break;
    int d = static_cast<int>(split.GetPiece("+", 0).size());
    if (n == 0) d = 0;
    d = std::min({d, prevDepth + 1, kMenuMaxDepth});
    // Skip the first d + 1 characters (the lead and the "+" when d was not
    // cut down), then keep the text in front of the first comma.
    clsStrCom caption;
    caption.SetText(split.GetText().substr(std::min<std::size_t>(d + 1, split.GetText().size())));
    MenuEntry e{n, d, d == 0 ? -1 : lastAtDepth[d - 1], caption.GetPiece(",", 0)};
    out.push_back(e);
    lastAtDepth[d] = n;
    prevDepth = d;
  }
  return out;
}

int CheckedMenuLine(int portSel, int comPort, int ipAddressLine) {
  if (portSel != 0) return ipAddressLine;
  return 3 + std::clamp(comPort, 1, 5);
}

}  // namespace ui
