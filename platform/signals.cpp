#include "platform/signals.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, read on the event loop. Made once, never closed: a
// handler may run at any moment, even while the process ends.
int g_pipe[2] = {-1, -1};

struct State {
  std::function<void()> onSignal;
  QSocketNotifier* notifier = nullptr;
  bool installed = false;
};

State& TheState() {
  static State s;
  return s;
}

extern "C" void OnEndSignal(int signo) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signo);
  // A full pipe already holds a wake-up; nothing else can be done here.
  [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

void SetHandlers(void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigfillset(&sa.sa_mask);
  sa.sa_flags = handler == SIG_DFL ? 0 : SA_RESTART;
  for (int s : kSignals) ::sigaction(s, &sa, nullptr);
}

void DrainAndCall() {
  unsigned char buffer[64];
  bool any = false;
  for (;;) {
    const ssize_t n = ::read(g_pipe[0], buffer, sizeof buffer);
    if (n > 0) {
      any = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;  // empty (EAGAIN) or closed
  }
  State& s = TheState();
  if (any && s.onSignal) s.onSignal();
}

}  // namespace

void InstallOrderlyEndSignals(std::function<void()> onSignal) {
  State& s = TheState();
  s.onSignal = std::move(onSignal);
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    s.installed = false;
    return;
  }
  if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_pipe[0] = g_pipe[1] = -1;
    s.installed = false;
    return;
  }
  if (!s.notifier) {
    s.notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, app);
    QObject::connect(s.notifier, &QSocketNotifier::activated, s.notifier, [] { DrainAndCall(); });
    // Without an event loop nobody would read the pipe: give the signals their
    // default action back when the application object goes.
    QObject::connect(s.notifier, &QObject::destroyed, [] {
      SetHandlers(SIG_DFL);
      TheState().notifier = nullptr;
      TheState().installed = false;
    });
  }
  SetHandlers(OnEndSignal);
  s.installed = true;
}

bool OrderlyEndSignalsInstalled() { return TheState().installed; }

}  // namespace platform
