#include "tools/radiosim/radio.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace radiosim {

namespace {

struct FaultName {
  const char* name;
  FaultKind kind;
  bool takesN;
  int defaultN;
};
constexpr FaultName kFaultNames[] = {
    {"no-boot", FaultKind::NoBoot, false, 1},
    {"bitrate", FaultKind::Bitrate, false, 1},
    {"size-echo", FaultKind::SizeEcho, true, 1},
    {"silent-after", FaultKind::SilentAfter, true, 1},
    {"refuse", FaultKind::Refuse, true, 1},
    {"refuse-sum", FaultKind::RefuseSum, false, 1},
    {"close-after", FaultKind::CloseAfter, true, 1},
    {"garbage-before-55", FaultKind::GarbageBefore55, false, 1},
    {"no-flachchk", FaultKind::NoFlachChk, true, 1},
    {"silent-upload", FaultKind::SilentUpload, false, 1},
};

constexpr uint8_t kBootAnswer = 0x55, kConfirm = 0xAA, kRefusal = 0xFC;
constexpr uint8_t kWrongConfirm = 0xA5;
constexpr uint8_t kGarbage[] = {0x3C, 0x81, 0xE7, 0x0F};
constexpr char kBootCall[] = "QARN";
constexpr int kMaxPreamble = 6;
constexpr int64_t kBurstGapNs = 5'000'000;  // writer bytes further apart start a new burst

std::string Hex(uint8_t b) {
  char s[8];
  std::snprintf(s, sizeof s, "0x%02X", b);
  return s;
}

double Ms(int64_t ns) { return static_cast<double>(ns) / 1e6; }

std::string Dump(const std::vector<uint8_t>& in, size_t offset) {
  const size_t from = offset > 16 ? offset - 16 : 0;
  const size_t to = std::min(in.size(), offset + 17);
  std::string s;
  char b[8];
  for (size_t i = from; i < to; ++i) {
    if (!s.empty()) s += ' ';
    std::snprintf(b, sizeof b, i == offset ? "[%02X]" : "%02X", in[i]);
    s += b;
  }
  return s;
}

}  // namespace

std::optional<Fault> ParseFault(std::string_view text, std::string* why) {
  const size_t colon = text.find(':');
  const std::string_view name = text.substr(0, colon);
  for (const FaultName& f : kFaultNames) {
    if (name != f.name) continue;
    Fault out{f.kind, f.defaultN};
    if (colon != std::string_view::npos) {
      if (!f.takesN) {
        if (why) *why = "fault '" + std::string(name) + "' takes no number";
        return std::nullopt;
      }
      const std::string num(text.substr(colon + 1));
      char* end = nullptr;
      const long n = std::strtol(num.c_str(), &end, 10);
      if (num.empty() || *end != '\0' || n < 1 || n > 1'000'000) {
        if (why) *why = "fault '" + std::string(text) + "': N must be a number from 1";
        return std::nullopt;
      }
      out.n = static_cast<int>(n);
    }
    if (out.kind == FaultKind::SizeEcho && out.n > 2) {
      if (why) *why = "size-echo:N takes 1 (high byte) or 2 (low byte)";
      return std::nullopt;
    }
    if (out.kind == FaultKind::NoFlachChk && out.n > 4) {
      if (why) *why = "no-flachchk:N takes 1..4";
      return std::nullopt;
    }
    return out;
  }
  if (why) *why = "unknown fault '" + std::string(name) + "'";
  return std::nullopt;
}

std::string FaultText(const Fault& f) {
  for (const FaultName& n : kFaultNames)
    if (n.kind == f.kind) return n.takesN ? std::string(n.name) + ":" + std::to_string(f.n) : n.name;
  return "?";
}

bool FaultEndsUpdate(FaultKind k) { return k != FaultKind::GarbageBefore55; }

Radio::Radio(const RadioConfig& config, LinkKind link, int64_t startNs)
    : cfg_(config),
      v_(*config.variant),
      link_(link),
      startNs_(startNs),
      state_(link == LinkKind::Serial && !config.variant->serialBaudCommand.empty() ? State::BaudCmd
                                                                                    : State::UpdateCmd),
      flash_(config.variant->flashSize, 0xFF),
      decoder_(config.variant->form) {}

const Fault* Radio::FaultOf(FaultKind k) const {
  for (const Fault& f : cfg_.faults)
    if (f.kind == k) return &f;
  return nullptr;
}

std::string Radio::StateName() const {
  switch (state_) {
    case State::BaudCmd: return "bit-rate command";
    case State::UpdateCmd: return "firmware-update command";
    case State::BootCall: return "boot call";
    case State::BootAnswered: return "boot call answered, waiting for 0x00";
    case State::Zeros: return "bit-rate adjustment (0x00)";
    case State::Locked: return "locked, waiting for 0x55";
    case State::FlachChk: return "FlachChk query";
    case State::SizeHigh: return "writer size (high byte)";
    case State::SizeLow: return "writer size (low byte)";
    case State::Writer: return "writer upload";
    case State::Preamble: return "0xFE preamble";
    case State::Between: return "between frames";
    case State::FrameStart2: return "second frame start byte";
    case State::FrameBody: return "frame body";
    case State::AfterFault: return "after the injected fault";
    case State::Broken: return "after a violation";
    case State::Done: return "after the reset request";
  }
  return "?";
}

void Radio::Send(std::vector<uint8_t> bytes, bool isBlockAnswer, bool closeAfter) {
  bytesOut_ += bytes.size();
  out_.push_back({std::move(bytes), closeAfter});
  unwritten_.push_back(isBlockAnswer);
}

std::vector<Answer> Radio::TakeAnswers() {
  std::vector<Answer> a;
  a.swap(out_);
  return a;
}

void Radio::AnswerWritten(int64_t ns) {
  if (unwritten_.empty()) return;
  if (unwritten_.front() && frameEndNs_ >= 0) answerMs_.push_back(Ms(ns - frameEndNs_));
  unwritten_.pop_front();
  lastWrittenNs_ = ns;
}

void Radio::NoteRate(int64_t ns, uint32_t baud) {
  if (rates_.empty() || rates_.back().second != baud) rates_.emplace_back(Ms(ns - startNs_), baud);
}

void Radio::Event(const char* name, int64_t ns) {
  for (auto& e : events_)
    if (e.first == name) {
      e.second = Ms(ns - startNs_);
      return;
    }
  events_.emplace_back(name, Ms(ns - startNs_));
}

void Radio::Violate(std::string message) {
  Violation v;
  v.offset = offset_;
  v.state = StateName();
  v.message = std::move(message);
  violations_.push_back(std::move(v));
  state_ = State::Broken;
  settling_ = true;
}

void Radio::AddViolation(std::string message) {
  Violate(std::move(message));
  violations_.back().offset = in_.empty() ? 0 : in_.size() - 1;
}

void Radio::ApplyFault(State next) {
  faultApplied_ = true;
  settling_ = true;
  state_ = next;
}

bool Radio::CheckAnswered(int64_t arrivalNs, const char* what) {
  if (!unwritten_.empty() || arrivalNs < lastWrittenNs_) {
    Violate(std::string(what) + " sent before the radio's answer to the previous byte or frame");
    return false;
  }
  return true;
}

void Radio::CheckRate(uint32_t expected, uint32_t before, uint32_t after, const char* what) {
  if (link_ != LinkKind::Serial) return;
  if (before == expected || after == expected) return;
  Violate(std::string(what) + " arrived while the line was set to " + std::to_string(after) +
          " bit/s, expected " + std::to_string(expected));
}

uint16_t Radio::FlashSum() const {
  uint32_t s = 0;
  for (uint32_t a = 0; a <= v_.sumLast && a < flash_.size(); ++a) s += flash_[a];
  return static_cast<uint16_t>(s);
}

void Radio::Feed(uint8_t b, int64_t arrivalNs, int64_t nowNs, uint32_t rateBefore, uint32_t rateAfter) {
  offset_ = in_.size();
  in_.push_back(b);
  auto unexpected = [&](const std::string& wanted) {
    Violate("unexpected byte " + Hex(b) + ", expected " + wanted);
  };

  switch (state_) {
    case State::BaudCmd:
    case State::UpdateCmd: {
      const bool baud = state_ == State::BaudCmd;
      const std::vector<uint8_t>& cmd =
          baud ? v_.serialBaudCommand : (link_ == LinkKind::Serial ? v_.serialUpdateCommand : v_.tcpUpdateCommand);
      if (pos_ == 0) {
        Event(baud ? "bitrate_command" : "update_command", arrivalNs);
        CheckRate(baud ? v_.bootBaud : v_.runBaud, rateBefore, rateAfter,
                  baud ? "the bit-rate command" : "the firmware-update command");
        if (state_ == State::Broken) return;
      }
      if (b != cmd[pos_]) {
        Violate(std::string(baud ? "bit-rate" : "firmware-update") + " command differs at byte " +
                std::to_string(pos_) + ": " + Hex(b) + " instead of " + Hex(cmd[pos_]));
        return;
      }
      if (++pos_ == cmd.size()) {
        pos_ = 0;
        state_ = baud ? State::UpdateCmd : State::BootCall;
      }
      return;
    }

    case State::BootCall:
    case State::BootAnswered: {
      const bool answered = state_ == State::BootAnswered;
      if (answered && pos_ == 0 && b == 0x00) {
        if (!CheckAnswered(arrivalNs, "0x00")) return;
        state_ = State::Zeros;
        pos_ = 0;
        Event("first_zero", arrivalNs);
        break;  // counted below
      }
      if (b != static_cast<uint8_t>(kBootCall[pos_])) {
        unexpected(std::string("'") + kBootCall[pos_] + "' of the boot call" + (answered && pos_ == 0 ? " or 0x00" : ""));
        return;
      }
      if (++pos_ < 4) return;
      pos_ = 0;
      ++bootCalls_;
      if (bootCalls_ == 1) Event("first_boot_call", arrivalNs);
      if (answered) return;  // a repeat sent while the answer was on its way
      if (FaultOf(FaultKind::NoBoot)) {
        ApplyFault(State::BootCall);  // keep taking the calls, never answer
        return;
      }
      if (bootCalls_ < cfg_.bootAfter) return;
      if (FaultOf(FaultKind::GarbageBefore55)) {
        faultApplied_ = true;
        Send({std::begin(kGarbage), std::end(kGarbage)});
      }
      Send({kBootAnswer});
      Event("boot_answer", nowNs);
      state_ = State::BootAnswered;
      return;
    }

    case State::Zeros:
    case State::Locked:
      break;

    case State::FlachChk: {
      const uint8_t want = static_cast<uint8_t>('D' - flachIndex_);
      if (b != want) return unexpected(std::string("FlachChk query '") + static_cast<char>(want) + "'");
      if (!CheckAnswered(arrivalNs, "a FlachChk query")) return;
      if (const Fault* f = FaultOf(FaultKind::NoFlachChk); f && f->n == flachIndex_ + 1)
        return ApplyFault(State::AfterFault);
      const uint8_t reply = cfg_.flachReplies[flachIndex_];
      Send({reply});
      char hx[4];
      std::snprintf(hx, sizeof hx, "%02X", reply);
      flachSent_ += hx;
      if (++flachIndex_ == 4) {
        Event("flachchk_done", nowNs);
        state_ = v_.writerUpload ? State::SizeHigh : State::Preamble;
      }
      return;
    }

    case State::SizeHigh:
    case State::SizeLow: {
      const bool high = state_ == State::SizeHigh;
      if (high) {
        if (!CheckAnswered(arrivalNs, "the writer size")) return;
        sizeHigh_ = b;
      }
      uint8_t echo = b;
      if (const Fault* f = FaultOf(FaultKind::SizeEcho); f && f->n == (high ? 1 : 2)) {
        echo = static_cast<uint8_t>(b ^ 0x01);
        faultApplied_ = true;
        settling_ = true;
      }
      Send({echo});
      if (high) {
        state_ = State::SizeLow;
        return;
      }
      writerSize_ = uint32_t(sizeHigh_) << 8 | b;
      if (FaultOf(FaultKind::SizeEcho)) return ApplyFault(State::AfterFault);
      if (writerSize_ == 0) return Violate("writer size 0: nothing to start");
      state_ = State::Writer;
      return;
    }

    case State::Writer: {
      if (writerGot_ == 0) Event("upload_start", arrivalNs);
      if (lastWriterNs_ < 0 || arrivalNs - lastWriterNs_ > kBurstGapNs) ++writerBursts_;
      lastWriterNs_ = arrivalNs;
      sha_.Update(&b, 1);
      if (++writerGot_ < writerSize_) return;
      writerSha_ = sha_.HexFinal();
      Event("upload_end", arrivalNs);
      if (FaultOf(FaultKind::SilentUpload)) return ApplyFault(State::AfterFault);
      Send({kConfirm});
      Event("writer_started", nowNs);
      state_ = State::Preamble;
      feRun_ = 0;
      return;
    }

    case State::Preamble:
      if (b == kFrameStart) {
        if (feRun_ == 0) {
          if (!CheckAnswered(arrivalNs, "the 0xFE preamble")) return;
          CheckRate(v_.runBaud, rateBefore, rateAfter, "the 0xFE preamble");
          if (state_ == State::Broken) return;
          Event("preamble_start", arrivalNs);
        }
        ++feRun_;
        return;
      }
      if (feRun_ < 2 + 1) return unexpected("0xFE (preamble of 1.." + std::to_string(kMaxPreamble) + " bytes, then FE FE)");
      preamble_ = feRun_ - 2;
      if (preamble_ > kMaxPreamble)
        return Violate("preamble of " + std::to_string(preamble_) + " 0xFE bytes, at most " +
                       std::to_string(kMaxPreamble) + " expected");
      Event("first_frame", arrivalNs);
      decoder_.Reset();
      state_ = State::FrameBody;
      [[fallthrough]];
    case State::FrameBody:
      switch (decoder_.Feed(b)) {
        case FrameDecoder::Status::More: return;
        case FrameDecoder::Status::Error: return Violate("malformed frame: " + decoder_.Error());
        case FrameDecoder::Status::Done: return FrameDone(nowNs);
      }
      return;

    case State::Between:
      if (b != kFrameStart) return unexpected("0xFE (start of the next frame)");
      if (!CheckAnswered(arrivalNs, "a new frame")) return;
      if (frameEndNs_ >= 0 && sum_ == std::nullopt) nextFrameMs_.push_back(Ms(arrivalNs - frameEndNs_));
      state_ = State::FrameStart2;
      return;

    case State::FrameStart2:
      if (b != kFrameStart) return unexpected("0xFE (second start byte)");
      decoder_.Reset();
      state_ = State::FrameBody;
      return;

    case State::AfterFault:
      return Violate("byte " + Hex(b) + " after the injected fault: the host should have given up");
    case State::Done:
      return Violate("byte " + Hex(b) + " after the reset request");
    case State::Broken:
      return;
  }

  // Zeros / Locked (and the first 0x00 handed over from BootAnswered).
  if (state_ == State::Zeros) {
    if (b != 0x00) return unexpected("0x00 (bit-rate adjustment)");
    if (++zeros_ >= cfg_.lockAfter) {
      Send({0x00});
      Event("lock_answer", nowNs);
      state_ = State::Locked;
    }
    return;
  }
  // Locked: 0x00 bytes already on their way are fine, then 0x55.
  if (b == 0x00) {
    ++zeros_;
    return;
  }
  if (b != kBootAnswer) return unexpected("0x55 or a late 0x00");
  if (!CheckAnswered(arrivalNs, "0x55")) return;
  Event("confirm_request", arrivalNs);
  if (FaultOf(FaultKind::Bitrate)) {
    Send({kWrongConfirm});
    return ApplyFault(State::AfterFault);
  }
  Send({kConfirm});
  state_ = v_.flachChk ? State::FlachChk : (v_.writerUpload ? State::SizeHigh : State::Preamble);
}

void Radio::FrameDone(int64_t nowNs) {
  std::string why;
  const std::optional<Frame> f = Interpret(decoder_.Body(), v_.form, &why);
  if (!f) return Violate("malformed frame: " + why);

  if (f->kind == Frame::Kind::Data) {
    if (sum_) return Violate("data frame after the sum frame");
    if (f->address % kBlockSize != 0) return Violate("block address " + std::to_string(f->address) + " is not a multiple of 128");
    if (f->address + uint64_t(kBlockSize) > flash_.size())
      return Violate("block address " + std::to_string(f->address) + " lies outside the flash");
    if (lastAddr_ >= 0 && int64_t(f->address) <= lastAddr_)
      return Violate("block address " + std::to_string(f->address) + " does not rise above the previous " +
                     std::to_string(lastAddr_));
    if (lastAddr_ >= 0) blankSkipped_ += (f->address - lastAddr_) / kBlockSize - 1;
    if (firstAddr_ < 0) firstAddr_ = f->address;
    lastAddr_ = f->address;
    std::copy(f->data.begin(), f->data.end(), flash_.begin() + f->address);
    if (std::all_of(f->data.begin(), f->data.end(), [](uint8_t x) { return x == 0xFF; })) ++blankSent_;
    ++frames_;
    frameEndNs_ = nowNs;
    Event("last_frame_end", nowNs);
    const int n = static_cast<int>(frames_);
    if (const Fault* x = FaultOf(FaultKind::SilentAfter); x && x->n == n) return ApplyFault(State::AfterFault);
    if (const Fault* x = FaultOf(FaultKind::Refuse); x && x->n == n) {
      Send({kRefusal});
      return ApplyFault(State::AfterFault);
    }
    if (const Fault* x = FaultOf(FaultKind::CloseAfter); x && x->n == n) {
      Send({kAccepted}, true, true);
      return ApplyFault(State::AfterFault);
    }
    Send({kAccepted}, true);
    state_ = State::Between;
    return;
  }

  const uint16_t flashSum = FlashSum();
  if (f->kind == Frame::Kind::Sum) {
    Event("sum_frame", nowNs);
    if (sum_) return Violate("second sum frame");
    sum_ = f->sum;
    char s[64];
    std::snprintf(s, sizeof s, "sum 0x%04X differs from the flash sum 0x%04X", f->sum, flashSum);
    if (f->sum != flashSum) {
      Send({kRefusal});
      return Violate(s);
    }
    if (FaultOf(FaultKind::RefuseSum)) {
      Send({kRefusal});
      return ApplyFault(State::AfterFault);
    }
    Send({kAccepted});
    sumAccepted_ = true;
    state_ = State::Between;
    return;
  }

  Event("reset_request", nowNs);
  if (!sumAccepted_) return Violate("reset request before an accepted sum frame");
  if (f->sum != flashSum) {
    char s[80];
    std::snprintf(s, sizeof s, "reset request carries sum 0x%04X, the flash sum is 0x%04X", f->sum, flashSum);
    return Violate(s);
  }
  completed_ = violations_.empty();
  state_ = State::Done;
}

UpdateReport Radio::Finish(const std::string& endReason, int64_t nowNs) const {
  UpdateReport r;
  r.transport = link_ == LinkKind::Serial ? "serial" : "tcp";
  r.cpu = std::string(v_.name);
  for (const Fault& f : cfg_.faults) r.fault += (r.fault.empty() ? "" : ",") + FaultText(f);
  r.faultApplied = faultApplied_;
  r.completed = completed_ && violations_.empty();
  r.endReason = endReason;
  r.violations = violations_;
  for (Violation& v : r.violations) v.dump = Dump(in_, v.offset);
  r.frames = frames_;
  r.blankBlocksSkipped = blankSkipped_;
  r.blankBlocksSent = blankSent_;
  r.firstAddress = firstAddr_;
  r.lastAddress = lastAddr_;
  r.preambleBytes = preamble_;
  r.bootCalls = bootCalls_;
  r.zeroBytes = zeros_;
  r.flachChkReplies = flachSent_;
  r.writerSize = writerSize_;
  r.writerBytes = writerGot_;
  r.writerBursts = writerBursts_;
  r.writerSha256 = writerSha_;
  r.sum = sum_;
  r.flashSum = FlashSum();
  r.bitRates = rates_;
  r.events = events_;
  r.answerMs = Summarize(answerMs_);
  r.nextFrameMs = Summarize(nextFrameMs_);
  r.bytesIn = in_.size();
  r.bytesOut = bytesOut_;
  r.durationMs = Ms(nowNs - startNs_);
  return r;
}

}  // namespace radiosim
