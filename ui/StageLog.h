// The stage log: the lines the main window's log control shows, and the
// rendering of the overlay's tip and error markup into them. Qt-free, so that
// the texts can be checked without a window.
//
// The log is a sequence of lines; the last one is the current line, to which
// text is appended. As text, every line is followed by CR LF. The control
// mirrors the model through the edit list (TakeEdits), which holds cheap
// incremental changes (append to the current line, add lines, drop lines at
// the top) instead of a new copy of the whole text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct LogEdit {
  enum Kind {
    kReset,            // the whole text was replaced: show Lines() afresh
    kAppendToCurrent,  // `text` was appended to the current line
    kAddLines,         // `lines` were added after the current line; the last is current now
    kDropFirst,        // the first `count` lines were removed
  };
  Kind kind;
  std::string text;
  std::vector<std::string> lines;
  int count = 0;
};

class StageLog {
 public:
  static constexpr int kMaxLines = 120;
  static constexpr int kTrimBlock = 10;
  static constexpr const char* kRule = "***********************";

  StageLog();

  // Replaces the whole text (CR LF separated; the remainder after the last
  // CR LF is a line only when it is not empty).
  void SetText(const std::string& text);
  // text := text + suffix.
  void AppendText(const std::string& suffix);
  std::string Text() const;
  const std::vector<std::string>& Lines() const { return lines_; }
  int LineCount() const { return static_cast<int>(lines_.size()); }

  void AppendToCurrent(const std::string& piece);
  void NewLine(const std::string& text = std::string());

  // While the log holds more than kMaxLines lines, removes kTrimBlock lines
  // from its top. Returns the number of lines removed.
  int TrimLog();

  // Renders a tip line ("name@piece@piece..."): "$" starts a new line, "%R" adds
  // the sum line, "%C" appends the unit number; other pieces are appended.
  // The callbacks are asked only when their piece is rendered.
  void RenderTip(const std::string& tipLine, const std::function<int()>& unitNumber,
                 const std::function<std::uint16_t()>& imageSum);

  // Adds the error block: an empty line, the rule, the message's lines, the
  // rule, and an empty current line.
  void AddErrorBlock(const std::string& message);

  // The cancel button's lines: text + CR LF CR LF + line + CR LF CR LF.
  void AddCancel(const std::string& cancelLine);

  // Builds the error message from "Error " (top) and an error line of the
  // overlay. "$" gives CR LF; "%F" sets *fatal and adds nothing.
  static std::string MakeErrorMessage(const std::string& top, const std::string& errorLine,
                                      bool* fatal);
  // "Sum=$%04X".
  static std::string SumLine(std::uint16_t sum);
  // Startup text: lines up to the first one that is "#" after trimming (or
  // the first failed lookup), joined with CR LF, then CR LF CR LF.
  static std::string StartupText(const std::function<std::string(int)>& line,
                                 const std::string& failText);

  std::vector<LogEdit> TakeEdits();
  bool HasEdits() const { return !edits_.empty(); }

 private:
  static std::vector<std::string> SplitLines(const std::string& text);
  void AddLines(std::vector<std::string> lines);

  std::vector<std::string> lines_;
  std::vector<LogEdit> edits_;
};

// What the stage update needs of the rest of the program. The window's
// implementation talks to the sequencer, the settings, the overlay table and
// a message box; tests substitute their own.
class StageLogHost {
 public:
  virtual ~StageLogHost() = default;
  virtual int GetStage() = 0;
  virtual int Step() = 0;
  virtual void ClearError() = 0;
  virtual int GetUnitCount() = 0;
  virtual std::uint16_t LogSum() = 0;
  // Hands the link settings to the sequencer (called while it is idle).
  virtual void PushSettings() = 0;
  virtual std::string GetLine(const std::string& key, int index) = 0;
  // Shows the error box and returns when the user has closed it.
  virtual void ShowErrorBox(const std::string& message) = 0;
  // Ends the program in the orderly way of the Exit button. If it returns
  // (tests), the stage update leaves the log unchanged.
  virtual void EndProgram() = 0;
};

// One tick's stage update (RunAndShowStep) over a log and a host.
class StageUpdate {
 public:
  StageUpdate(StageLog& log, StageLogHost& host, int readyStage, int lastShownStart);

  void RunAndShowStep();
  int LastShownStage() const { return lastShown_; }

 private:
  void ShowError(int code);

  StageLog& log_;
  StageLogHost& host_;
  int readyStage_;
  int lastShown_;
};
