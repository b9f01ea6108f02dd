#include "ui/Layout.h"

#include <climits>
#include <cstdio>

namespace ui {

int ButtonWidthFor(int barWidth) {
  return static_cast<int>(static_cast<long double>(barWidth) * 0.31249999999999998265L);
}

MainLayout ComputeMainLayout(int clientWidth, int clientHeight) {
  MainLayout l;
  l.panel1 = {3, 3, clientWidth - 6, 0};
  l.panel1.height = clientHeight - l.panel1.top - 3;
  l.panelMain = {l.panel1.left + 6, l.panel1.top + 6, l.panel1.width - 12, l.panel1.height - 12};
  l.progress = {10, 0, l.panelMain.width - 20, 16};
  l.progress.top = l.panelMain.height - 16 - 8;

  const int bw = ButtonWidthFor(l.progress.width);
  const int bh = 2 * l.progress.height;
  const int bt = l.progress.top - bh - 5;
  l.start = {l.progress.left, bt, bw, bh};
  l.exit = {l.progress.left + l.progress.width - bw, bt, bw, bh};
  l.cancel = {(l.start.left + l.exit.left) / 2, bt, bw, bh};
  l.memo = {10, 10, l.panelMain.width - 2 * 10, l.start.top - 10 - 8};
  return l;
}

void MainWindowPosition(int screenW, int screenH, int winW, int winH, int* left, int* top) {
  *left = (screenW - winW) / 2;
  *top = static_cast<int>(((screenH - winH) / 2) * 0.8);
}

std::string CaptionFor(int progress, const std::string& title) {
  if (progress == 0) return title;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%3d", progress * 100 / 255);
  return std::string(buf) + "% - " + title;
}

Rect CenterOn(const Rect& dialog, const Rect& mainWindow) {
  Rect r = dialog;
  r.left = mainWindow.left + (mainWindow.width - dialog.width) / 2;
  r.top = mainWindow.top + (mainWindow.height - dialog.height) / 2;
  return r;
}

Rect KeepInWorkArea(Rect w, const Rect& a) {
  if (w.left + w.width > a.left + a.width) w.left = a.left + a.width - w.width;
  if (w.left < a.left) w.left = a.left;
  if (w.top + w.height > a.top + a.height) w.top = a.top + a.height - w.height;
  if (w.top < a.top) w.top = a.top;
  return w;
}

DialogLayout ComputeDialogLayout(const DialogMetrics& m, bool withMinimums) {
  DialogLayout d;
  const int u = m.charHeight;
  d.label = {u, u, m.labelWidth, m.labelHeight};
  d.edit = {m.wwWidth + d.label.left, d.label.top + d.label.height + u / 2, m.editWidth,
            m.editHeight};
  const int bw = m.buttonWidth;
  const int bh = 2 * m.okCaptionHeight;
  d.cancel = {d.label.left + d.label.width - bw, d.edit.top + 4 * d.edit.height, bw, bh};
  if (withMinimums) {
    if (d.cancel.top < 78) d.cancel.top = 78;
    if (d.cancel.left < 111) d.cancel.left = 111;
  }
  d.ok = {d.cancel.left - bw - bh / 2, d.cancel.top, bw, bh};
  d.windowWidth = m.frameWidth + 2 * d.label.left + d.label.width;
  d.windowHeight = m.frameHeight + d.cancel.top + static_cast<int>(d.cancel.height * 1.5);
  if (withMinimums) {
    if (d.windowWidth < 204) d.windowWidth = 204;
    if (d.windowHeight < 147) d.windowHeight = 147;
  }
  return d;
}

std::string TrimControls(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

long AtolValue(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool neg = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
  long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (v > (LONG_MAX - digit) / 10) return neg ? LONG_MIN : LONG_MAX;
    v = v * 10 + digit;
  }
  return neg ? -v : v;
}

bool ParseComPort(const std::string& text, int min, int max, int* value) {
  const long n = AtolValue(TrimControls(text));
  if (n < min || n > max) return false;
  *value = static_cast<int>(n);
  return true;
}

bool ParseTcpPort(const std::string& text, std::uint32_t min, std::uint32_t max,
                  std::uint32_t* value) {
  const unsigned long n = static_cast<unsigned long>(AtolValue(TrimControls(text)));
  if (n < min || n > max) return false;
  *value = static_cast<std::uint32_t>(n);
  return true;
}

}  // namespace ui
