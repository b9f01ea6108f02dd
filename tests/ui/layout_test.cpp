// Window-side computations: main window and dialog geometry, the caption,
// placement, the menu tree of each built-in overlay with its check marks, and
// the value dialogs' input checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "texts/clsGTex.h"
#include "texts/overlays.h"
#include "ui/Layout.h"
#include "ui/MenuModel.h"

namespace {

TEST(MainLayout, FromTheClientArea) {
  // 560 x 400 window without a frame and a 22-pixel menu bar.
  const ui::MainLayout l = ui::ComputeMainLayout(560, 378);
  EXPECT_EQ(l.panel1, (ui::Rect{3, 3, 554, 372}));
  EXPECT_EQ(l.panelMain, (ui::Rect{9, 9, 542, 360}));
  EXPECT_EQ(l.progress, (ui::Rect{10, 336, 522, 16}));
  EXPECT_EQ(l.start, (ui::Rect{10, 299, 163, 32}));
  EXPECT_EQ(l.exit, (ui::Rect{10 + 522 - 163, 299, 163, 32}));
  EXPECT_EQ(l.cancel.left, (10 + 369) / 2);
  EXPECT_EQ(l.memo, (ui::Rect{10, 10, 522, 281}));
}

TEST(MainLayout, ButtonWidthJustBelowFiveSixteenths) {
  for (auto [bar, button] : {std::pair{320, 99}, {516, 161}, {16, 4}, {522, 163}, {0, 0}})
    EXPECT_EQ(ui::ButtonWidthFor(bar), button) << bar;
}

TEST(MainLayout, PositionOnScreen) {
  int left, top;
  ui::MainWindowPosition(1920, 1080, 560, 400, &left, &top);
  EXPECT_EQ(left, 680);
  EXPECT_EQ(top, 272);  // 340 * 0.8
  ui::MainWindowPosition(800, 300, 560, 401, &left, &top);
  EXPECT_EQ(top, -40);  // taller than the screen: (-101 / 2) * 0.8, no lower bound
}

TEST(Caption, PercentOfTheProgressBar) {
  EXPECT_EQ(ui::CaptionFor(0, "ZB-7152K"), "ZB-7152K");
  EXPECT_EQ(ui::CaptionFor(1, "ZB-7152K"), "  0% - ZB-7152K");
  EXPECT_EQ(ui::CaptionFor(128, "ZB-7152K"), " 50% - ZB-7152K");
  EXPECT_EQ(ui::CaptionFor(254, "ZB-7152K"), " 99% - ZB-7152K");
  EXPECT_EQ(ui::CaptionFor(255, "ZB-7152K"), "100% - ZB-7152K");
}

TEST(Placement, CenterAndKeepInWorkArea) {
  const ui::Rect work{0, 0, 1000, 700};
  EXPECT_EQ(ui::CenterOn({0, 0, 200, 100}, {100, 100, 560, 400}), (ui::Rect{280, 250, 200, 100}));
  EXPECT_EQ(ui::KeepInWorkArea({900, 650, 200, 100}, work), (ui::Rect{800, 600, 200, 100}));
  EXPECT_EQ(ui::KeepInWorkArea({-50, -5, 200, 100}, work), (ui::Rect{0, 0, 200, 100}));
  // Larger than the work area: ends at its left and top edges.
  EXPECT_EQ(ui::KeepInWorkArea({300, 300, 1200, 800}, work), (ui::Rect{0, 0, 1200, 800}));
}

TEST(DialogLayout, PlainAndWithMinimums) {
  ui::DialogMetrics m{};
  m.charHeight = 15;
  m.labelWidth = 200;
  m.labelHeight = 15;
  m.wwWidth = 24;
  m.editWidth = 60;
  m.editHeight = 15;
  m.buttonWidth = 70;
  m.okCaptionHeight = 15;
  ui::DialogLayout d = ui::ComputeDialogLayout(m, false);
  EXPECT_EQ(d.label, (ui::Rect{15, 15, 200, 15}));
  EXPECT_EQ(d.edit, (ui::Rect{39, 37, 60, 15}));
  EXPECT_EQ(d.cancel, (ui::Rect{145, 97, 70, 30}));  // right edge on the label's
  EXPECT_EQ(d.ok, (ui::Rect{60, 97, 70, 30}));        // 145 - 70 - 15
  EXPECT_EQ(d.windowWidth, 230);
  EXPECT_EQ(d.windowHeight, 97 + 45);

  // A short prompt: the IP and port dialogs keep Cancel at (111, 78) at
  // least and the window at 204 x 147 at least.
  m.labelWidth = 100;
  m.editHeight = 5;
  m.charHeight = 5;
  m.labelHeight = 5;
  d = ui::ComputeDialogLayout(m, true);
  EXPECT_EQ(d.cancel.left, 111);
  EXPECT_EQ(d.cancel.top, 78);
  EXPECT_EQ(d.ok.left, 111 - 70 - 15);
  EXPECT_EQ(d.windowWidth, 204);
  EXPECT_EQ(d.windowHeight, 147);
  d = ui::ComputeDialogLayout(m, false);
  EXPECT_LT(d.cancel.left, 111);
  EXPECT_LT(d.windowWidth, 204);
}

TEST(DialogInput, ComPortTable) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  } cases[] = {{"256", true, 256}, {"257", false, 0}, {"0", false, 0},   {"12ab", true, 12},
               {"", false, 0},     {"  7 \t", true, 7}, {"-3", false, 0}, {"+4", true, 4},
               {"abc", false, 0},  {"99999999999999999999", false, 0}};
  for (const auto& c : cases) {
    int v = -1;
    EXPECT_EQ(ui::ParseComPort(c.text, 1, 256, &v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(DialogInput, TcpPortTable) {
  struct Case {
    const char* text;
    bool ok;
  } cases[] = {{"1023", false}, {"1024", true}, {"65535", true}, {"65536", false},
               {"99999", false}, {"-1", false},  {"-64512", false}, {"4294968320", false},
               {" 41020 ", true}, {"", false}};
  for (const auto& c : cases) {
    std::uint32_t v = 0;
    EXPECT_EQ(ui::ParseTcpPort(c.text, 1024, 65535, &v), c.ok) << c.text;
  }
}

TEST(DialogInput, TrimRemovesBlanksAndControls) {
  EXPECT_EQ(ui::TrimControls("\t 127.0.0.1 \r\n"), "127.0.0.1");
  EXPECT_EQ(ui::TrimControls(" a b "), "a b");
  EXPECT_EQ(ui::TrimControls("   "), "");
}

std::vector<ui::MenuEntry> MenuOf(OverlayLines o) {
  static std::vector<std::unique_ptr<clsGTex>> keep;
  keep.push_back(std::make_unique<clsGTex>());
  clsGTex* tex = keep.back().get();
  tex->AttachLines(o.lines, o.count);
  return ui::BuildMenuList([tex](int n) { return tex->GetLine("App_MenuList", n); });
}

std::vector<std::string> Captions(const std::vector<ui::MenuEntry>& m) {
  std::vector<std::string> out;
  for (const auto& e : m) out.push_back(std::to_string(e.parent) + ":" + e.caption);
  return out;
}

TEST(MenuTree, BuiltInLists) {
  EXPECT_EQ(Captions(MenuOf(Overlay_ZB7152K())),
            (std::vector<std::string>{"-1:&File", "0:&Open", "0:E&xit", "-1:&COM Port", "3:COM &1",
                                      "3:COM &2", "3:COM &3", "3:COM &4", "3:&More...", "3:-",
                                      "3:Normal Speed", "3:High Speed", "3:Full Speed",
                                      "-1:&TCP/IP", "13:&IP Address", "13:&Port"}));
  EXPECT_EQ(MenuOf(Overlay_ZB7152M()).size(), 9u);
  const auto dsp = Captions(MenuOf(Overlay_ZB7152L()));
  ASSERT_EQ(dsp.size(), 12u);
  EXPECT_EQ(dsp[9], "-1:&TCP/IP");
  EXPECT_EQ(dsp[10], "9:&IP Address");
}

TEST(MenuTree, DepthRulesAndCommas) {
  const std::vector<std::string> lines = {" +Lead", "+Top", "   +Deep,hidden", " +A,B", "+Next", ""};
  const auto m = ui::BuildMenuList([&](int n) { return n < (int)lines.size() ? lines[n] : ""; });
  ASSERT_EQ(m.size(), 5u);
  // Line 0 is top level whatever its lead; its caption starts at its 2nd character.
  EXPECT_EQ(m[0].depth, 0);
  EXPECT_EQ(m[0].caption, "+Lead");
  // Three levels deeper than its predecessor: one level deeper, keeping part of its lead.
  EXPECT_EQ(m[2].depth, 1);
  EXPECT_EQ(m[2].parent, 1);
  EXPECT_EQ(m[2].caption, " +Deep");
  EXPECT_EQ(m[3].caption, "A");
  EXPECT_EQ(m[4].depth, 0);
  // A list without "+" on line 0 gives an empty menu bar.
  EXPECT_TRUE(ui::BuildMenuList([](int) { return std::string(clsGTex::kFailText); }).empty());
}

TEST(MenuTree, CheckMarks) {
  for (auto [port, line] : {std::pair{1, 4}, {2, 5}, {3, 6}, {4, 7}, {5, 8}, {7, 8}, {256, 8}})
    EXPECT_EQ(ui::CheckedMenuLine(0, port, 14), line) << port;
  EXPECT_EQ(ui::CheckedMenuLine(1, 3, 14), 14);
  EXPECT_EQ(ui::CheckedMenuLine(2, 3, 10), 10);  // any selection but 0 is TCP/IP
}

}  // namespace
