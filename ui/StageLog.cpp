#include "ui/StageLog.h"

#include <cstdio>
#include <utility>

#include "texts/clsStrCom.h"
#include "ui/Layout.h"

namespace {
constexpr const char* kCrLf = "\r\n";
}

StageLog::StageLog() { lines_.emplace_back(); }

std::vector<std::string> StageLog::SplitLines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (true) {
    std::size_t br = text.find(kCrLf, pos);
    if (br == std::string::npos) {
      if (pos < text.size()) out.push_back(text.substr(pos));
      break;
    }
    out.push_back(text.substr(pos, br - pos));
    pos = br + 2;
  }
  return out;
}

void StageLog::SetText(const std::string& text) {
  lines_ = SplitLines(text);
  if (lines_.empty()) lines_.emplace_back();
  edits_.clear();
  edits_.push_back({LogEdit::kReset, {}, {}, 0});
}

void StageLog::AddLines(std::vector<std::string> lines) {
  if (lines.empty()) return;
  lines_.insert(lines_.end(), lines.begin(), lines.end());
  edits_.push_back({LogEdit::kAddLines, {}, std::move(lines), 0});
}

void StageLog::AppendText(const std::string& suffix) {
  // The text always ends with CR LF, so the suffix starts a new line.
  AddLines(SplitLines(suffix));
}

std::string StageLog::Text() const {
  std::string out;
  for (const auto& l : lines_) {
    out += l;
    out += kCrLf;
  }
  return out;
}

void StageLog::AppendToCurrent(const std::string& piece) {
  if (piece.empty()) return;
  lines_.back() += piece;
  if (!edits_.empty() && edits_.back().kind == LogEdit::kAppendToCurrent)
    edits_.back().text += piece;
  else
    edits_.push_back({LogEdit::kAppendToCurrent, piece, {}, 0});
}

void StageLog::NewLine(const std::string& text) {
  lines_.push_back(text);
  if (!edits_.empty() && edits_.back().kind == LogEdit::kAddLines)
    edits_.back().lines.push_back(text);
  else
    edits_.push_back({LogEdit::kAddLines, {}, {text}, 0});
}

int StageLog::TrimLog() {
  int removed = 0;
  while (LineCount() > kMaxLines) {
    // Never remove the current line itself: a log keeps at least one line.
    int n = kTrimBlock;
    if (n >= LineCount()) n = LineCount() - 1;
    lines_.erase(lines_.begin(), lines_.begin() + n);
    removed += n;
  }
  if (removed > 0) edits_.push_back({LogEdit::kDropFirst, {}, {}, removed});
  return removed;
}

void StageLog::RenderTip(const std::string& tipLine, const std::function<int()>& unitNumber,
                         const std::function<std::uint16_t()>& imageSum) {
  clsStrCom split;
  split.SetText(tipLine);
  const int pieces = split.CountPieces("@");
  for (int i = 1; i < pieces; ++i) {
    std::string p = split.GetPiece("@", i);
    if (p == "$") {
      NewLine();
    } else if (p == "%R") {
      NewLine(SumLine(imageSum()));
    } else if (p == "%C") {
      AppendToCurrent(std::to_string(unitNumber()));
    } else {
      AppendToCurrent(p);
    }
  }
}

std::string StageLog::MakeErrorMessage(const std::string& top, const std::string& errorLine,
                                       bool* fatal) {
  if (fatal) *fatal = false;
  std::string msg = top;
  clsStrCom split;
  split.SetText(errorLine);
  const int pieces = split.CountPieces("@");
  for (int i = 1; i < pieces; ++i) {
    std::string p = split.GetPiece("@", i);
    if (p == "$")
      msg += kCrLf;
    else if (p == "%F") {
      if (fatal) *fatal = true;
    } else
      msg += p;
  }
  return msg;
}

void StageLog::AddErrorBlock(const std::string& message) {
  AppendText(std::string(kCrLf) + kRule + kCrLf + message + kCrLf + kRule + kCrLf + kCrLf);
}

void StageLog::AddCancel(const std::string& cancelLine) {
  AppendText(std::string(kCrLf) + kCrLf + cancelLine + kCrLf + kCrLf);
}

std::string StageLog::SumLine(std::uint16_t sum) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "Sum=$%04X", static_cast<unsigned>(sum));
  return buf;
}

std::string StageLog::StartupText(const std::function<std::string(int)>& line,
                                  const std::string& failText) {
  std::string out;
  for (int i = 0;; ++i) {
    std::string l = line(i);
    if (l == failText || ui::TrimControls(l) == "#") break;
    if (i > 0) out += kCrLf;
    out += l;
  }
  return out + kCrLf + kCrLf;
}

std::vector<LogEdit> StageLog::TakeEdits() {
  std::vector<LogEdit> out;
  out.swap(edits_);
  return out;
}

StageUpdate::StageUpdate(StageLog& log, StageLogHost& host, int readyStage, int lastShownStart)
    : log_(log), host_(host), readyStage_(readyStage), lastShown_(lastShownStart) {}

void StageUpdate::RunAndShowStep() {
  if (host_.GetStage() <= readyStage_) host_.PushSettings();
  const int code = host_.Step();
  if (code != 0) {
    ShowError(code);
    return;
  }
  const int stage = host_.GetStage();
  if (stage == lastShown_) return;
  lastShown_ = stage;
  log_.RenderTip(host_.GetLine("Seq_Mess_SequenceTips", stage),
                 [this] { return host_.GetUnitCount() + 1; },
                 [this] { return host_.LogSum(); });
}

void StageUpdate::ShowError(int code) {
  host_.ClearError();
  bool fatal = false;
  std::string msg = StageLog::MakeErrorMessage(host_.GetLine("Seq_Mess_Error_Top", 0),
                                               host_.GetLine("Seq_Mess_Error_Main", code), &fatal);
  host_.ShowErrorBox(msg);
  if (fatal) {
    host_.EndProgram();
    return;
  }
  log_.AddErrorBlock(msg);
}
