// Orderly end on SIGTERM, SIGINT and SIGHUP: the signal handler only writes a
// byte to a pipe (async-signal-safe); a QSocketNotifier on the thread that called
// InstallOrderlyEndSignals reads it on the Qt event loop and calls onSignal there.
// onSignal quits the event loop, main returns, and the global objects are
// destroyed in order (the settings store saves the INI file). Signals that
// cannot be caught (SIGKILL) or a crash end the process without saving.
#pragma once
#include <functional>

namespace platform {

// Call on the thread that runs the Qt event loop, after the QCoreApplication
// (or QApplication) exists. Calling again replaces onSignal. When the
// application object is destroyed the three signals get their default action
// back. OrderlyEndSignalsInstalled() tells whether the set-up succeeded (it
// fails without an application object or when no pipe can be made).
void InstallOrderlyEndSignals(std::function<void()> onSignal);
bool OrderlyEndSignalsInstalled();

}  // namespace platform
