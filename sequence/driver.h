// Headless driver of the sequencer: steps it the way the window's tick does
// (settings pushed while the stage is at most Ready, one Step, the links'
// queued work run by the Qt event loop, then about 1 ms of sleep), records
// every error code a step returns and clears it, and runs whole updates with
// a time limit. For tests, benchmarks and scripted updates; it needs a
// QCoreApplication (the links' drain tasks are Qt timers).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sequence/clsMainSeq.h"

class clsSeqDriver {
 public:
  struct Settings {
    int portSel = 0;
    int comPort = 1;
    std::string tcpIp = "127.0.0.1";
    std::uint32_t tcpPort = 0;
  };

  // How a run ended.
  struct RunResult {
    bool completed = false;   // passed Completed and came back to Ready
    int error = 0;            // first error code returned, 0 when none
    bool aborted = false;     // back in Standby/Ready without error (Cancel, Abort)
    bool timedOut = false;    // neither within the time limit
    int steps = 0;
    double ms = 0;            // wall time of the run
    // Milliseconds between successive acknowledged ROM blocks (the round
    // trip of one frame).
    std::vector<double> blockMs;
  };

  explicit clsSeqDriver(clsMainSeq& seq) : seq_(seq) {}

  void SetSettings(const Settings& settings) { settings_ = settings; }
  const Settings& GetSettings() const { return settings_; }
  // Sleep between ticks (1 ms like the window's driver thread; 0 only spins
  // the event loop).
  void SetPauseMs(unsigned ms) { pauseMs_ = ms; }

  // One tick; returns the error code the step returned (already cleared).
  int Tick();
  // Ticks until the sequencer is Ready (start-up: Opening, Reset, Standby).
  bool TickUntilReady(int limitMs = 5000);
  // Start (when CanStart) and tick until Completed -> Ready, an error, or an
  // abort (Cancel from the after-step hook).
  RunResult Run(int limitMs);

  // Called after each step with the stage and the error code of that step;
  // tests use it to act at a given point of a run (Cancel, closing a peer).
  void SetAfterStep(std::function<void(clsMainSeq&, int stage, int error)> hook) {
    afterStep_ = std::move(hook);
  }
  // Every non-zero error code returned, in order.
  const std::vector<int>& Errors() const { return errors_; }
  // Stage after each step in which it changed.
  const std::vector<int>& Stages() const { return stages_; }
  void ClearRecords() {
    errors_.clear();
    stages_.clear();
  }

 private:
  void PushSettings();

  clsMainSeq& seq_;
  Settings settings_;
  unsigned pauseMs_ = 1;
  std::function<void(clsMainSeq&, int, int)> afterStep_;
  std::vector<int> errors_;
  std::vector<int> stages_;
};
