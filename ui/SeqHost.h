// The stage update's host over the real program objects: the sequencer, the
// settings store and the overlay table. Compiled per program: what the tick
// hands to the sequencer and how the log's sum is taken come from the
// program's menu_table.h. The error box and the program end are callbacks,
// so that the window shows a message box and tests record the text instead.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "menu_table.h"
#include "sequence/clsMainSeq.h"
#include "texts/clsEnviron.h"
#include "texts/clsGTex.h"
#include "ui/StageLog.h"

class SeqHost : public StageLogHost {
 public:
  SeqHost(clsMainSeq& seq, clsEnviron& env, clsGTex& tex,
          std::function<void(const std::string&)> errorBox, std::function<void()> endProgram)
      : seq_(seq), env_(env), tex_(tex), errorBox_(std::move(errorBox)),
        endProgram_(std::move(endProgram)) {}

  int GetStage() override { return seq_.GetStage(); }
  int Step() override { return seq_.Step(); }
  void ClearError() override { seq_.ClearError(); }
  int GetUnitCount() override { return seq_.GetUnitCount(); }
  std::uint16_t LogSum() override {
    unsigned sum = 0;
    for (const auto& r : menutable::kLogSumRanges) sum += seq_.FirmwareImage().Sum(r.first, r.last);
    return static_cast<std::uint16_t>(sum);
  }
  void PushSettings() override {
    if constexpr (menutable::kHasLinkSelection) {
      seq_.SetPortSel(env_.GetPortSel());
      seq_.SetComPort(env_.GetComPort());
      seq_.SetTcpIp(env_.GetTcpIp());
      seq_.SetTcpPort(env_.GetTcpPort());
    } else {
      seq_.SetComPort(env_.GetComPort());
    }
  }
  std::string GetLine(const std::string& key, int index) override {
    return tex_.GetLine(key, index);
  }
  void ShowErrorBox(const std::string& message) override {
    if (errorBox_) errorBox_(message);
  }
  void EndProgram() override {
    if (endProgram_) endProgram_();
  }

 private:
  clsMainSeq& seq_;
  clsEnviron& env_;
  clsGTex& tex_;
  std::function<void(const std::string&)> errorBox_;
  std::function<void()> endProgram_;
};
