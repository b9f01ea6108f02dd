// thrProg: the driver thread. It does nothing but ask the GUI thread to run
// the window's tick (a blocking queued call: one tick at a time, never
// overlapping) and sleep 1 ms, at the lowest priority, until it is asked to
// stop. The window stops it before it goes away (TForm1::StopDriver).
#pragma once

#include <QThread>

class thrProg : public QThread {
  Q_OBJECT
 public:
  // target: the object whose slot `tick` is run on its own thread.
  thrProg(QObject* target, const char* tick);
  ~thrProg() override;

 protected:
  void run() override;

 private:
  QObject* target_;
  const char* tick_;
};
