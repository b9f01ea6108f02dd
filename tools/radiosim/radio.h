// The radio's side of one update, independent of the transport: the normal-
// operation commands, the boot program (boot call, bit-rate lock, FlachChk,
// writer upload) and the flash writer (preamble, data, sum and reset frames).
// Every byte is checked against what the protocol allows at that point; the
// first byte that is not allowed is recorded as a violation and the radio
// then stays silent for the rest of the update.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/radiosim/frame.h"
#include "tools/radiosim/report.h"
#include "tools/radiosim/sha256.h"
#include "tools/radiosim/variant.h"

namespace radiosim {

enum class FaultKind {
  NoBoot,           // never answer the boot call
  Bitrate,          // answer 0x55 with a wrong byte instead of 0xAA
  SizeEcho,         // echo writer-size byte N (1 = high, 2 = low) wrongly
  SilentAfter,      // no answer to data block N
  Refuse,           // answer data block N with 0xFC
  RefuseSum,        // answer the sum frame with 0xFC
  CloseAfter,       // accept data block N, then close the link
  GarbageBefore55,  // a few stray bytes before the boot answer (the host must ride through)
  NoFlachChk,       // no reply to FlachChk query N (1..4)
  SilentUpload,     // take the writer but never send 0xAA
};

struct Fault {
  FaultKind kind;
  int n = 1;
};

std::optional<Fault> ParseFault(std::string_view text, std::string* why);
std::string FaultText(const Fault& f);
// True for every fault after which the host is expected to give up.
bool FaultEndsUpdate(FaultKind k);

enum class LinkKind { Serial, Tcp };

struct RadioConfig {
  const Variant* variant = nullptr;
  std::vector<Fault> faults;  // in force for this update
  int bootAfter = 1;          // answer the n-th boot call
  int lockAfter = 1;          // answer the n-th 0x00 byte
  std::array<uint8_t, 4> flachReplies{0x01, 0x23, 0x45, 0x67};  // to 'D', 'C', 'B', 'A'
};

struct Answer {
  std::vector<uint8_t> bytes;
  bool closeAfter = false;  // close the link once written (close-after fault)
};

class Radio {
 public:
  // Times are nanoseconds on one monotonic clock.
  Radio(const RadioConfig& config, LinkKind link, int64_t startNs);

  // One inbound byte. arrivalNs: when it was read from the link; nowNs: when
  // it is handled (later than arrival when a UART is emulated). rateBefore /
  // rateAfter: the line's bit rate sampled before and after the read that
  // brought it (0 on TCP).
  void Feed(uint8_t byte, int64_t arrivalNs, int64_t nowNs, uint32_t rateBefore, uint32_t rateAfter);
  std::vector<Answer> TakeAnswers();
  void AnswerWritten(int64_t ns);  // one call per answer, in order
  void NoteRate(int64_t ns, uint32_t baud);
  void AddViolation(std::string message);  // found by the transport (e.g. link left open)

  bool Done() const { return state_ == State::Done; }
  // A fault took effect or a violation was found: the radio has nothing more
  // to say, the update ends once the host goes quiet.
  bool Settling() const { return settling_; }
  bool PastRateSwitch() const { return state_ != State::BaudCmd && state_ != State::UpdateCmd; }
  bool FaultApplied() const { return faultApplied_; }
  bool Broken() const { return state_ == State::Broken; }
  std::string StateName() const;
  const std::vector<uint8_t>& Flash() const { return flash_; }
  uint16_t FlashSum() const;

  // Builds the report; verified/passed are left to the caller.
  UpdateReport Finish(const std::string& endReason, int64_t nowNs) const;

 private:
  enum class State {
    BaudCmd, UpdateCmd, BootCall, BootAnswered, Zeros, Locked, FlachChk, SizeHigh, SizeLow, Writer,
    Preamble, Between, FrameStart2, FrameBody, AfterFault, Broken, Done
  };
  const Fault* FaultOf(FaultKind k) const;
  void Send(std::vector<uint8_t> bytes, bool isBlockAnswer = false, bool closeAfter = false);
  void Violate(std::string message);
  void ApplyFault(State next);
  bool CheckAnswered(int64_t arrivalNs, const char* what);
  void CheckRate(uint32_t expected, uint32_t before, uint32_t after, const char* what);
  void Event(const char* name, int64_t ns);
  void FrameDone(int64_t nowNs);

  RadioConfig cfg_;
  const Variant& v_;
  LinkKind link_;
  int64_t startNs_;
  State state_;
  bool settling_ = false;
  bool faultApplied_ = false;
  size_t pos_ = 0;          // position in a command or in "QARN"
  size_t offset_ = 0;       // index of the byte being handled
  std::vector<uint8_t> in_;  // every inbound byte of the update
  std::vector<Answer> out_;
  std::deque<bool> unwritten_;  // per answer not yet written: answers a data block
  int64_t lastWrittenNs_ = -1;
  size_t bytesOut_ = 0;
  std::vector<uint8_t> flash_;
  int bootCalls_ = 0, zeros_ = 0, preamble_ = 0, feRun_ = 0;
  int flachIndex_ = 0;
  std::string flachSent_;
  uint8_t sizeHigh_ = 0;
  uint32_t writerSize_ = 0;
  size_t writerGot_ = 0;
  int writerBursts_ = 0;
  int64_t lastWriterNs_ = -1;
  Sha256 sha_;
  std::string writerSha_;
  FrameDecoder decoder_;
  size_t frames_ = 0, blankSkipped_ = 0, blankSent_ = 0;
  int64_t firstAddr_ = -1, lastAddr_ = -1;
  bool sumAccepted_ = false;
  std::optional<uint16_t> sum_;
  bool completed_ = false;
  int64_t frameEndNs_ = -1;     // end of the last data frame
  std::vector<double> answerMs_, nextFrameMs_;
  std::vector<std::pair<double, uint32_t>> rates_;
  std::vector<std::pair<std::string, double>> events_;
  std::vector<Violation> violations_;
};

}  // namespace radiosim
