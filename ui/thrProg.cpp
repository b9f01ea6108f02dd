#include "ui/thrProg.h"

thrProg::thrProg(QObject* target, const char* tick) : target_(target), tick_(tick) {}

thrProg::~thrProg() {
  requestInterruption();
  wait();
}

void thrProg::run() {
  while (!isInterruptionRequested()) {
    QMetaObject::invokeMethod(target_, tick_, Qt::BlockingQueuedConnection);
    QThread::msleep(1);
  }
}
