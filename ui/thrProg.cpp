#include "ui/thrProg.h"

thrProg::thrProg(QObject* target, std::function<void()> tick)
    : target_(target), tick_(std::move(tick)) {}

thrProg::~thrProg() {
  requestInterruption();
  wait();
}

void thrProg::run() {
  while (!isInterruptionRequested()) {
    QMetaObject::invokeMethod(target_, tick_, Qt::BlockingQueuedConnection);
    QThread::msleep(kSleepMs);
  }
}
