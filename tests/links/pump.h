// Helpers shared by the link tests: pumping the Qt event loop (the links'
// tasks tick there) until a condition holds or a generous deadline passes.
#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>

namespace linktest {

// Processes events until done() is true; false when timeoutMs ran out first.
template <typename Done>
bool PumpUntil(Done done, int timeoutMs = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

inline void PumpFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace linktest
