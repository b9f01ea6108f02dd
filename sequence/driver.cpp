#include "sequence/driver.h"

#include <QCoreApplication>
#include <chrono>

#include "platform/clock.h"

namespace {
using Clock = std::chrono::steady_clock;
double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}
}  // namespace

void clsSeqDriver::PushSettings() {
  if (seq_.GetStage() > StageNo(St::Ready)) return;
  if constexpr (profile::kHasTcp) {
    seq_.SetPortSel(settings_.portSel);
    seq_.SetComPort(settings_.comPort);
    seq_.SetTcpIp(settings_.tcpIp);
    seq_.SetTcpPort(settings_.tcpPort);
  } else {
    seq_.SetComPort(settings_.comPort);
  }
}

int clsSeqDriver::Tick() {
  PushSettings();
  const int before = seq_.GetStage();
  const int error = seq_.Step();
  if (error != 0) {
    errors_.push_back(error);
    seq_.ClearError();
  }
  if (seq_.GetStage() != before) stages_.push_back(seq_.GetStage());
  if (afterStep_) afterStep_(seq_, seq_.GetStage(), error);
  QCoreApplication::processEvents();
  if (pauseMs_ > 0) platform::SleepMs(pauseMs_);
  return error;
}

bool clsSeqDriver::TickUntilReady(int limitMs) {
  const auto t0 = Clock::now();
  while (seq_.GetStage() != StageNo(St::Ready)) {
    if (MsSince(t0) > limitMs) return false;
    Tick();
  }
  return true;
}

clsSeqDriver::RunResult clsSeqDriver::Run(int limitMs) {
  RunResult result;
  if (!TickUntilReady(limitMs)) {
    result.timedOut = true;
    return result;
  }
  PushSettings();
  if (!seq_.CanStart()) return result;
  seq_.Start();
  const auto t0 = Clock::now();
  Clock::time_point lastBlock = t0;
  int lastBlocks = seq_.GetBlocksWritten();
  bool sawCompleted = false;
  for (;;) {
    if (MsSince(t0) > limitMs) {
      result.timedOut = true;
      break;
    }
    const int error = Tick();
    ++result.steps;
    if (seq_.GetStage() == StageNo(St::RomW_Data) || seq_.GetBlocksWritten() != lastBlocks) {
      const int blocks = seq_.GetBlocksWritten();
      const auto now = Clock::now();
      if (blocks == 0 || blocks < lastBlocks) {
        lastBlock = now;  // data stage entered: the first frame goes out now
      } else if (blocks > lastBlocks) {
        result.blockMs.push_back(std::chrono::duration<double, std::milli>(now - lastBlock).count());
        lastBlock = now;
      }
      lastBlocks = blocks;
    }
    if (error != 0) {
      result.error = error;
      break;
    }
    if (!sawCompleted && seq_.CanStart()) {
      result.aborted = true;
      break;
    }
    if (seq_.GetStage() == StageNo(St::Completed)) sawCompleted = true;
    if (sawCompleted && seq_.GetStage() == StageNo(St::Ready)) {
      result.completed = true;
      break;
    }
  }
  result.ms = MsSince(t0);
  return result;
}
