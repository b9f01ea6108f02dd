// thrProg: the driver thread. It does nothing but ask the GUI thread to run
// the window's tick (a blocking queued call: one tick at a time, never
// overlapping) and then sleep, at the lowest priority, until it is asked to
// stop. The window stops it before it goes away (TForm1::StopDriver).
//
// The sleep is 1 ms while an update runs. While the sequencer waits in Ready
// for the user (SetIdle(true)) it is 10 ms: nothing in that stage depends on
// the tick rate (all protocol timing uses millisecond deadlines), and a
// thousand cross-thread wake-ups a second would otherwise keep a CPU core
// busy for a window that shows nothing new.
#pragma once

#include <QThread>
#include <atomic>
#include <functional>

class thrProg : public QThread {
  Q_OBJECT
 public:
  static constexpr unsigned kRunSleepMs = 1;
  static constexpr unsigned kIdleSleepMs = 10;

  // tick runs on target's thread.
  thrProg(QObject* target, std::function<void()> tick);
  ~thrProg() override;

  void SetIdle(bool idle) { idle_.store(idle, std::memory_order_relaxed); }

 protected:
  void run() override;

 private:
  QObject* target_;
  std::function<void()> tick_;
  std::atomic<bool> idle_{false};
};
