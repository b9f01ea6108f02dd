// Holds the program's global objects the way the program does, for the process
// tests. A second instance ends at once with code 0. The first instance sets
// the COM port given as its argument (if any), prints "ready" and runs an event
// loop until SIGTERM, SIGINT or SIGHUP; main then returns and the globals'
// destructors save the INI file next to this program file.
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#include "platform/signals.h"
#include "texts/globals.h"

int main(int argc, char** argv) {
  if (!g_Environ.IsFirstInstance()) return 0;
  QCoreApplication app(argc, argv);
  if (argc > 1) g_Environ.SetComPort(std::atoi(argv[1]));
  platform::InstallOrderlyEndSignals([&app] { app.quit(); });
  if (!platform::OrderlyEndSignalsInstalled()) return 2;
  std::printf("ready\n");
  std::fflush(stdout);
  return app.exec();
}
