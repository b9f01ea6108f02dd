// Program entry: one instance per build, the built-in overlay with its marker
// check, the socket library in builds with TCP/IP, the main window and the
// message loop. SIGTERM, SIGINT and SIGHUP end the loop in order, so that the
// global objects are destroyed and the settings are saved.
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <string>

#include "links/net.h"
#include "overlay.h"
#include "platform/program_path.h"
#include "platform/signals.h"
#include "profile.h"
#include "sequence/restore.h"
#include "texts/globals.h"
#include "ui/frmMain.h"
#include "ui/MessageBox.h"

namespace {

std::string ProgramFileName() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  const std::string path(buf, static_cast<size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void ShowRomCheckFailure() {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("RomCheck"),
                  QStringLiteral("Inside RomImage Error"), QMessageBox::Ok);
  if (qEnvironmentVariableIsSet("ZB_UI_ERRORBOX_LOG")) {
    ui::ShowErrorBox(nullptr, box.windowTitle(), box.text());
    return;
  }
  box.exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (!g_Environ.IsFirstInstance()) return 0;

  const OverlayLines overlay = BuiltInOverlay();
  g_GTex.AttachLines(overlay.lines, overlay.count);
  if (g_GTex.GetLine("Sys_Ovl", 0) != "OVL") {
    QApplication app(argc, argv);
    ui::ShowErrorBox(nullptr, QString::fromStdString(ProgramFileName()),
                     QStringLiteral("Fatal error !\nCannot open OVL file.\nInstall this application again !"));
    return 0;
  }

  if constexpr (profile::kHasTcp) NetStartup();
  int rc = 0;
  {
    QApplication app(argc, argv);
    platform::InstallOrderlyEndSignals([] { QCoreApplication::quit(); });
    SetRomCheckFailureHandler(&ShowRomCheckFailure);
    const QString problem = TForm1::OverlayProblem();
    if (!problem.isEmpty()) {
      ui::ShowErrorBox(nullptr, QString::fromUtf8(profile::kAppTitle), problem);
    } else {
      try {
        TForm1 form;
        form.show();
        rc = app.exec();
      } catch (const std::exception& e) {
        ui::ShowErrorBox(nullptr, QString::fromUtf8(profile::kAppTitle), QString::fromUtf8(e.what()));
      }
    }
  }
  if constexpr (profile::kHasTcp) NetCleanup();
  (void)rc;
  return 0;
}
