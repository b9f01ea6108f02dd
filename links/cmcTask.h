// cmcTask: a periodic call of a handler with a context pointer, on the thread
// that runs the Qt event loop (the GUI thread). Each link owns one and uses it
// to drain its send queue between the sequencer's steps.
#pragma once
#include <QTimer>

class cmcTask : public QTimer {
 public:
  using Handler = void (*)(void* context);

  cmcTask();
  ~cmcTask() override = default;

  void SetHandler(Handler handler, void* context);
  // Negative: stop. 0 or more: run with that period (0 counts as 1 ms).
  void SetInterval(int ms);
  int Interval() const { return interval_; }
  bool IsStopped() const { return stopped_; }
  bool IsBusy() const { return busy_; }
  // Forget the handler and stop.
  void Detach();
  // Delete the task on its next tick (for a task that may be inside its
  // handler when its owner goes away).
  void Release();
  // The timer's tick; public so that tests can drive it directly.
  void OnTick();

 private:
  Handler handler_ = nullptr;
  void* context_ = nullptr;
  int interval_ = -1;
  bool busy_ = false;
  bool release_ = false;
  bool stopped_ = true;
};

// Disposal by an owner whose link is closed (task stopped): delete it at once;
// a task still running is detached and deletes itself on its next tick.
void DisposeTask(cmcTask*& task);
