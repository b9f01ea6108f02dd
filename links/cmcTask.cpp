#include "links/cmcTask.h"

cmcTask::cmcTask() : QTimer(nullptr) {
  setTimerType(Qt::PreciseTimer);
  SetInterval(-1);
  QObject::connect(this, &QTimer::timeout, this, [this] { OnTick(); });
}

void cmcTask::SetHandler(Handler handler, void* context) {
  handler_ = handler;
  context_ = context;
}

void cmcTask::SetInterval(int ms) {
  interval_ = ms;
  if (ms < 0) {
    stop();
  } else {
    setInterval(ms == 0 ? 1 : ms);
    if (!isActive()) start();
  }
  stopped_ = !isActive();
}

void cmcTask::Detach() {
  handler_ = nullptr;
  context_ = nullptr;
  SetInterval(-1);
}

void cmcTask::Release() {
  release_ = true;
  SetInterval(1);
}

void cmcTask::OnTick() {
  if (release_) {
    stop();
    stopped_ = true;
    deleteLater();
    return;
  }
  if (busy_ || handler_ == nullptr) return;
  busy_ = true;
  handler_(context_);
  busy_ = false;
}

void DisposeTask(cmcTask*& task) {
  if (task == nullptr) return;
  if (!task->IsStopped()) {
    task->Detach();
    task->Release();
  } else {
    delete task;
  }
  task = nullptr;
}
