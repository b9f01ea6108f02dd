#include "ui/MessageBox.h"

#include <QFile>
#include <QMessageBox>

namespace ui {
namespace {
ErrorBoxHook& Hook() {
  static ErrorBoxHook hook;
  return hook;
}
}  // namespace

void SetErrorBoxHook(ErrorBoxHook hook) { Hook() = std::move(hook); }

void ShowErrorBox(QWidget* parent, const QString& caption, const QString& text) {
  if (Hook()) {
    Hook()(caption, text);
    return;
  }
  const QByteArray logPath = qgetenv("ZB_UI_ERRORBOX_LOG");
  if (!logPath.isEmpty()) {
    QFile f(QString::fromLocal8Bit(logPath));
    if (f.open(QIODevice::Append)) {
      f.write((caption + "\n" + text + "\n----\n").toUtf8());
      return;
    }
  }
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

}  // namespace ui
