// thrProg: the driver thread. It does nothing but ask the GUI thread to run
// the window's tick (a blocking queued call: one tick at a time, never
// overlapping) and then sleep 1 ms, at the lowest priority, until it is asked
// to stop. The window stops it before it goes away (TForm1::StopDriver).
#pragma once

#include <QThread>
#include <functional>

class thrProg : public QThread {
  Q_OBJECT
 public:
  static constexpr unsigned kSleepMs = 1;

  // tick runs on target's thread.
  thrProg(QObject* target, std::function<void()> tick);
  ~thrProg() override;

 protected:
  void run() override;

 private:
  QObject* target_;
  std::function<void()> tick_;
};
