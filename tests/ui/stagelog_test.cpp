// The stage log against the built-in main-CPU overlay, driven by a scripted
// sequencer: the texts the technician reads at start, during a run, after an
// error and after a cancel, and the trimming of a long log.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "texts/clsGTex.h"
#include "texts/overlays.h"
#include "ui/StageLog.h"

namespace {

constexpr int kReady = 6;

// Sequencer stand-in: each Step moves to the next scripted stage (and may
// report an error); the unit counter advances when Completed (46) is left.
class ScriptHost : public StageLogHost {
 public:
  struct StepResult {
    int stage;
    int error;
  };
  explicit ScriptHost(clsGTex& tex) : tex_(tex) {}

  void Script(std::vector<StepResult> steps) { steps_ = std::move(steps), next_ = 0; }
  int GetStage() override { return stage_; }
  int Step() override {
    if (next_ < steps_.size()) {
      if (stage_ == 46) ++units_;
      stage_ = steps_[next_].stage;
      error_ = steps_[next_].error;
      ++next_;
    }
    return error_;
  }
  void ClearError() override { error_ = 0; }
  int GetUnitCount() override { return units_; }
  std::uint16_t LogSum() override { return 0xFEFD; }
  void PushSettings() override { pushedAtStage.push_back(stage_); }
  std::string GetLine(const std::string& key, int index) override { return tex_.GetLine(key, index); }
  void ShowErrorBox(const std::string& message) override {
    boxes.push_back(message);
    logLinesAtBox = log ? log->LineCount() : -1;
  }
  void EndProgram() override { ++ended; }

  std::vector<std::string> boxes;
  std::vector<int> pushedAtStage;
  int logLinesAtBox = -1;
  int ended = 0;
  StageLog* log = nullptr;

 private:
  clsGTex& tex_;
  std::vector<StepResult> steps_;
  size_t next_ = 0;
  int stage_ = 0;
  int error_ = 0;
  int units_ = 0;
};

class StageLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const OverlayLines o = Overlay_ZB7152K();
    ASSERT_TRUE(tex.AttachLines(o.lines, o.count));
    log.SetText(StageLog::StartupText([this](int i) { return tex.GetLine("Seq_Message_00", i); },
                                      clsGTex::kFailText));
    host.log = &log;
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) update.RunAndShowStep();
  }
  std::string Startup() {
    return tex.GetLine("Seq_Message_00", 0) + "\r\n" + tex.GetLine("Seq_Message_00", 1) + "\r\n" +
           tex.GetLine("Seq_Message_00", 2) + "\r\n\r\n";
  }
  static std::string ReadyBlock(int unit) {
    return "=========================\r\nConnect Transceiver (No." + std::to_string(unit) +
           ").\r\nThen Push [OK] to Start Writing.\r\n\r\n";
  }

  clsGTex tex;
  StageLog log;
  ScriptHost host{tex};
  StageUpdate update{log, host, kReady, 50};
};

TEST_F(StageLogTest, StartShowsSumLineAndReadyBlock) {
  host.Script({{1, 0}, {2, 0}, {6, 0}, {6, 0}, {6, 0}});
  Ticks(5);
  EXPECT_EQ(log.Text(), Startup() + "Sum=$FEFD\r\n" + ReadyBlock(1));
  EXPECT_EQ(update.LastShownStage(), 6);
  // Settings go to the sequencer on every tick while it is at most Ready.
  EXPECT_EQ(host.pushedAtStage.size(), 5u);
}

TEST_F(StageLogTest, CompleteRunThenNextReady) {
  // Ready, then a run whose tips render in order; stages in between show nothing.
  host.Script({{1, 0}, {2, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0}, {12, 0}, {20, 0}, {26, 0},
               {30, 0}, {38, 0}, {39, 0}, {42, 0}, {45, 0}, {46, 0}, {6, 0}});
  Ticks(16);
  EXPECT_EQ(log.Text(), Startup() + "Sum=$FEFD\r\n" + ReadyBlock(1) +
                            "COM Open.....[OK]\r\n"
                            "Connecting.....[OK]\r\n"
                            "Pre Processing.....[OK]\r\n"
                            "Writing ROM Data.....[OK]\r\n"
                            "Disconnecting.....[OK]\r\n"
                            "\r\n"
                            "Completed (No.1).\r\n"
                            "\r\n" +
                            ReadyBlock(2));
  // No settings reach the sequencer during the run (stages 7..46).
  for (int s : host.pushedAtStage) EXPECT_LE(s, kReady);
}

TEST_F(StageLogTest, ErrorShowsBoxThenBlockThenReady) {
  host.Script({{1, 0}, {2, 0}, {6, 0}, {7, 0}, {8, 0}, {2, 3}, {6, 0}});
  Ticks(5);
  const int linesBefore = log.LineCount();
  Ticks(1);
  const std::string message =
      "Error \r\nCannot open COM port.\r\n\r\nCheck the following:\r\n\r\n- The COM port settings.";
  ASSERT_EQ(host.boxes, std::vector<std::string>{message});
  EXPECT_EQ(host.logLinesAtBox, linesBefore);  // the box comes before the block
  EXPECT_EQ(update.LastShownStage(), 8);         // the failed step's stage is not "shown"
  Ticks(1);
  EXPECT_EQ(host.boxes.size(), 1u);  // reported once
  EXPECT_EQ(log.Text(), Startup() + "Sum=$FEFD\r\n" + ReadyBlock(1) + "COM Open.....\r\n" +
                            "\r\n***********************\r\n" + message +
                            "\r\n***********************\r\n\r\n" + ReadyBlock(1));
}

TEST_F(StageLogTest, ErrorTextsFollowTheirMarkup) {
  bool fatal = true;
  // A first piece that is text continues the "Error " line.
  EXPECT_EQ(StageLog::MakeErrorMessage("Error ", tex.GetLine("Seq_Mess_Error_Main", 6), &fatal)
                .substr(0, 25),
            "Error in bitrate setting.");
  EXPECT_FALSE(fatal);
  EXPECT_EQ(StageLog::MakeErrorMessage("Error ", "Name  @$@Bad.@%F@!", &fatal), "Error \r\nBad.!");
  EXPECT_TRUE(fatal);
  // A missing line has no "@": the message is the top alone.
  EXPECT_EQ(StageLog::MakeErrorMessage("Error ", clsGTex::kFailText, &fatal), "Error ");
  // "%R" and "%C" mean nothing in an error text.
  EXPECT_EQ(StageLog::MakeErrorMessage("E", "n@%R@%C", &fatal), "E%R%C");
}

TEST_F(StageLogTest, FatalErrorEndsProgramWithoutBlock) {
  class FatalHost : public ScriptHost {
   public:
    using ScriptHost::ScriptHost;
    std::string GetLine(const std::string& key, int index) override {
      if (key == "Seq_Mess_Error_Main") return "Fatal           @$@Broken.@%F";
      return ScriptHost::GetLine(key, index);
    }
  } fatalHost(tex);
  StageUpdate u(log, fatalHost, kReady, 50);
  fatalHost.Script({{2, 9}});
  const std::string before = log.Text();
  u.RunAndShowStep();
  EXPECT_EQ(fatalHost.boxes, std::vector<std::string>{"Error \r\nBroken."});
  EXPECT_EQ(fatalHost.ended, 1);
  EXPECT_EQ(log.Text(), before);
}

TEST_F(StageLogTest, CancelLines) {
  log.NewLine("Writing ROM Data.....");
  log.AddCancel(tex.GetLine("Seq_Mess_Cancel", 0));
  EXPECT_TRUE(log.Text().ends_with("\r\nWriting ROM Data.....\r\n\r\n\r\n* Cancel *\r\n\r\n"))
      << log.Text();
}

TEST(StageLogTrim, CutsInBlocksOfTen) {
  for (auto [lines, expected] : {std::pair{121, 111}, {131, 111}, {120, 120}, {130, 120}}) {
    StageLog log;
    std::string text;
    for (int i = 0; i < lines; ++i) text += "line " + std::to_string(i) + "\r\n";
    log.SetText(text);
    log.TakeEdits();
    log.TrimLog();
    EXPECT_EQ(log.LineCount(), expected) << lines;
    EXPECT_EQ(log.Lines().back(), "line " + std::to_string(lines - 1));
    if (lines > 120) {
      auto edits = log.TakeEdits();
      ASSERT_EQ(edits.size(), 1u);
      EXPECT_EQ(edits[0].kind, LogEdit::kDropFirst);
      EXPECT_EQ(edits[0].count, lines - expected);
    }
  }
}

TEST(StageLogEdits, IncrementalEditsRebuildTheSameText) {
  // Replaying the edit list onto the previous lines gives the model's lines:
  // what the window's control relies on.
  StageLog log;
  log.SetText("a\r\nb\r\n\r\n");
  std::vector<std::string> mirror = log.Lines();
  log.TakeEdits();
  log.RenderTip("x@$@COM Open.....@[OK]@$@%R@%C", [] { return 7; }, [] { return 0x1A2B; });
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"a", "b", "", "COM Open.....[OK]", "", "Sum=$1A2B7"}));
  log.AddErrorBlock("Error \r\nX");
  for (int i = 0; i < 130; ++i) log.NewLine("n");
  log.TrimLog();
  for (const auto& e : log.TakeEdits()) {
    switch (e.kind) {
      case LogEdit::kReset: mirror = log.Lines(); break;
      case LogEdit::kAppendToCurrent: mirror.back() += e.text; break;
      case LogEdit::kAddLines: mirror.insert(mirror.end(), e.lines.begin(), e.lines.end()); break;
      case LogEdit::kDropFirst: mirror.erase(mirror.begin(), mirror.begin() + e.count); break;
    }
  }
  EXPECT_EQ(mirror, log.Lines());
}

}  // namespace
