// Error boxes of the window side: a critical-icon message box with one OK
// button, application-modal. Tests and unattended runs replace the box:
// SetErrorBoxHook() in-process, or the environment variable
// ZB_UI_ERRORBOX_LOG naming a file to which each box's caption and text are
// appended (followed by a line "----") instead of being shown.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace ui {

using ErrorBoxHook = std::function<void(const QString& caption, const QString& text)>;
void SetErrorBoxHook(ErrorBoxHook hook);

void ShowErrorBox(QWidget* parent, const QString& caption, const QString& text);

}  // namespace ui
